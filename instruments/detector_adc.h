#pragma once
// The "КД+АЦП" detector converter: the Ostrel's frame, scaled to ±11000 mV
// (channel 1 ten times that), and a 6-byte command that sets the detector's
// offset (1 ... 1022) and temperature (0 ... 100). The command is built from
// the stored settings and again when the operator applies new ones; a
// writer thread wakes every second and sends it when one is pending.
//
// Each device keeps its settings in its own key ("OffSet", "Temperature",
// "Invert") and in the key "Ostrel" that all such converters share; a device
// without values of its own, and one just added to the list, takes the
// shared ones, so that a converter added again or replaced keeps the offset
// and temperature its detector was set to instead of sending zeros.
//
// mutex_ guards settings_, pendingCommand_ and writerStop_; invert_ is
// an atomic read by the reader.

#include <array>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "instruments/device.h"
#include "instruments/start_buttons.h"
#include "instruments/wire/ostrel_frame.h"

namespace zelmora {

struct DetectorAdcSettings {
    int offset = 0;
    int temperature = 0;
    bool invert = false;
};

class CDetectorAdc : public CDevice {
  public:
    static constexpr int kMinOffset = 1;
    static constexpr int kMaxOffset = 1022;
    static constexpr int kMaxTemperature = 100;
    static constexpr int kDefaultWriterPeriodMs = 1000;

    CDetectorAdc();
    ~CDetectorAdc() override;
    int type() const override { return 3; }

    void saveSettings(SettingsStore& store, const std::string& key) const override;
    void loadSettings(const SettingsStore& store, const std::string& key) override;
    void loadCommonSettings(const SettingsStore& store) override;

    DetectorAdcSettings settings() const;
    // The dialog's "Применить": false (and nothing changes) when a value is
    // out of its range; otherwise the command is marked pending.
    bool applySettings(const DetectorAdcSettings& s);
    // "Контрольная сумма" as the dialog shows it.
    static int checksum(int offset, int temperature);
    std::optional<std::array<std::uint8_t, wire::kDetectorCommandSize>> pendingCommand() const;

    void setWriterPeriodMs(int ms) { writerPeriodMs_.store(ms); }
    double convert(int channel, std::uint32_t raw) const;

  protected:
    bool rtsOn() const override { return false; }
    void onLinkOpened() override;
    void onReceive(const std::uint8_t* bytes, std::size_t count) override;
    bool startWorkers() override;
    void stopWorkers() override;

  private:
    void writerLoop();
    void decodeFrame(const wire::OstrelFrame& f);

    mutable std::mutex mutex_;  // guards settings_, pendingCommand_, writerStop_
    std::condition_variable writerWake_;
    DetectorAdcSettings settings_;
    std::optional<std::array<std::uint8_t, wire::kDetectorCommandSize>> pendingCommand_;
    bool writerStop_ = false;
    std::thread writer_;  // started and joined under the device's open/close
    std::atomic<bool> invert_{false};
    std::atomic<int> writerPeriodMs_{kDefaultWriterPeriodMs};
    wire::OstrelFrameParser parser_;  // reader thread only
    StartButtons buttons_;            // reader thread only
};

}  // namespace zelmora
