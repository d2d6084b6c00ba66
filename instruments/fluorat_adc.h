#pragma once
// The "Флюорат" fluorimeter: one channel, 4 points per second, 4-byte
// frames; the program drives it with key codes (CR when a recording starts,
// ESC when it stops, a key sequence that starts the instrument's method).
// The instrument is silent between measurements, so the line needs no
// handshake and silence never closes it: the first data after a method
// start is the start signal, and silence after a started run ends that
// recording as interrupted.

#include <atomic>

#include "instruments/device.h"
#include "instruments/wire/fluorat_frame.h"

namespace zelmora {

class CFluoratAdc : public CDevice {
  public:
    ~CFluoratAdc() override;
    int type() const override { return 7; }

    void onRecordingStarted(int channel) override;
    void onRecordingStopped(int channel) override;
    void onMethodStarted(int channel) override;

  protected:
    bool handshake() override { return true; }
    void onLinkOpened() override;
    void onReceive(const std::uint8_t* bytes, std::size_t count) override;
    bool ignoreReceiveTimeout() override;

  private:
    std::atomic<bool> runStarted_{false};
    wire::FluoratFrameParser parser_;  // reader thread only
};

}  // namespace zelmora
