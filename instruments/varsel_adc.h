#pragma once
// The Varsel spectrophotometric detector: one channel, 39-byte frames at 10
// per second carrying the absorbance signal, a state byte whose every change
// is the instrument's start (or stop) signal, and the current wavelength and
// division factor. The driver keeps the instrument at the wanted wavelength
// and division factor: on every second frame it sends the wanted
// wavelength when it differs, else the wanted division factor when that
// differs. The wanted values are taken from the instrument at first, unless
// the operator applied others.
//
// wanted values and flags are atomics (the interface thread applies them,
// the reader reads them); the parser and frame state belong to the reader.

#include <atomic>

#include "instruments/device.h"
#include "instruments/wire/varsel_frame.h"

namespace zelmora {

class CVarselAdc : public CDevice {
  public:
    static constexpr std::int64_t kStopToggleAfterMs = 5000;

    ~CVarselAdc() override;
    int type() const override { return 8; }

    void onRecordingStarted(int channel) override;
    void onRecordingStopped(int channel) override;

    // The settings dialog's "Применить": values of 1 ... 65535.
    bool applyWanted(int wavelengthNm, int division);
    // False until the instrument reported its values or the operator applied some.
    bool hasWanted() const { return haveWanted_.load(); }
    int wantedWavelength() const { return wantedWavelength_.load(); }
    int wantedDivision() const { return wantedDivision_.load(); }
    int currentWavelength() const { return currentWavelength_.load(); }
    int currentDivision() const { return currentDivision_.load(); }

  protected:
    bool rtsOn() const override { return false; }
    void onLinkOpened() override;
    void onReceive(const std::uint8_t* bytes, std::size_t count) override;

  private:
    void decodeFrame(const wire::VarselFrame& f);

    std::atomic<int> wantedWavelength_{0};
    std::atomic<int> wantedDivision_{0};
    std::atomic<bool> haveWanted_{false};
    std::atomic<int> currentWavelength_{0};
    std::atomic<int> currentDivision_{0};
    std::atomic<std::int64_t> recordingStartMs_{0};
    // Reader thread only:
    wire::VarselFrameParser parser_;
    bool firstFrame_ = true;
    std::uint8_t state_ = 0;
    bool sendTurn_ = false;
};

}  // namespace zelmora
