#pragma once
// The Ostrel two-channel converter: 18-byte frames at 10 per second, 24-bit
// counts scaled to ±10850 mV, a start button per channel and a
// high-sensitivity range flag per channel that divides the signal by 270.
//
// invert_ and factor_ are atomics: the settings dialog writes them on the
// interface thread, the reader reads them. parser_ and buttons_ belong to
// the reader thread.

#include <array>
#include <atomic>
#include <string>

#include "instruments/device.h"
#include "instruments/start_buttons.h"
#include "instruments/wire/ostrel_frame.h"

namespace zelmora {

class COstrelAdc : public CDevice {
  public:
    ~COstrelAdc() override;
    int type() const override { return 2; }

    void saveSettings(SettingsStore& store, const std::string& key) const override;
    void loadSettings(const SettingsStore& store, const std::string& key) override;

    // "CheckChn1" ... "CheckChn4": invert the signal of channel 1 ... 4.
    bool invert(int channel) const { return invert_.at(static_cast<std::size_t>(channel)).load(); }
    void setInvert(int channel, bool on) {
        invert_.at(static_cast<std::size_t>(channel)).store(on);
    }
    // 1.0, or 1/270 while the channel is on the high-sensitivity range.
    float factor(int channel) const { return factor_.at(static_cast<std::size_t>(channel)).load(); }
    // "10В    " on the normal range, "1мВ    " on the high-sensitivity one.
    std::string rangeText(int channel) const;
    // The settings dialog's status line.
    std::string statusLine() const;

    // The converter's scaling of one frame's sample.
    double convert(int channel, std::uint32_t raw) const;

  protected:
    bool rtsOn() const override { return false; }
    void onLinkOpened() override;
    void onReceive(const std::uint8_t* bytes, std::size_t count) override;
    void decodeFrame(const wire::OstrelFrame& f);

  private:
    std::array<std::atomic<bool>, 4> invert_{};
    std::array<std::atomic<float>, 2> factor_{1.0f, 1.0f};
    wire::OstrelFrameParser parser_;
    StartButtons buttons_;
};

}  // namespace zelmora
