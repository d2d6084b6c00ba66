#pragma once
// The "ЭХД+КД" detector unit (device type 6): an electrochemical measuring
// cell with a detector thermostat and a column thermostat on a serial line.
// It sends one signal at 14.06 points per second in 11-byte frames and
// reports in them, frame kind by frame kind, every setting it works with.
// The driver keeps the settings the operator wants (from the settings and
// the settings page), compares them with what the instrument reports and
// sends commands on a writer thread until the two agree. Its own run
// states: waiting (0), setting parameters (1), setting the detector
// temperature (4), ready (5), analysis (6), analysis ended (15).
//
// Threads: the reader decodes frames (reported values, averages, the
// channel, the run-state step); the writer compares and sends; the
// interface thread changes the wanted settings and reads the rest.
// mutex_ guards wanted_, reported_, seenKinds_, writerStop_ and the
// averages; runState_, stateEnteredMs_ and skip_ are atomics, and
// stateMutex_ makes every change of the run state one step (the reader's
// step moves on only from the state it looked at, so that a recording
// started meanwhile is not undone); the frame parser belongs to the reader.

#include <array>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "instruments/device.h"
#include "instruments/wire/ehd_frame.h"

namespace zelmora {

struct MethodEhdSettings;

// The detector's settings as codes of the instrument (see wire/ehd_frame.h).
struct EhdSettings {
    int measuringPotential = 2047;   // "Urel"
    int cleaningPotential = 2047;    // "Uoch"
    int restoringPotential = 2047;   // "Uwost"
    int detectorTemperature = 819;   // "Tdet" (20 °C)
    int columnTemperature = 819;     // "Tkol"
    int cleaningTime = 3;            // "Toch" (× 40 s)
    int restoringTime = 3;           // "Twost"
    int delayTime = 3;               // "Tzad"
    int mode = 0;                    // "DetRezhim" 0 d.c., 1 pulsed, 2 conductometer
    int range = 0;                   // "Diapazon" 0 fine, 1 coarse
    bool detectorThermostat = true;  // "TermostatDEnable"
    bool columnThermostat = true;    // "TermostatKEnable"
    bool invert = false;             // "InvertSignal"

    bool operator==(const EhdSettings&) const = default;

    // Settings of a method's detector block, through the code grids.
    static EhdSettings fromMethod(const MethodEhdSettings& m, bool invert);
    // The method's block from these codes (the inversion is not part of it).
    MethodEhdSettings toMethod() const;
};

// What the instrument reported last.
struct EhdReported {
    EhdSettings settings;  // invert unused
    bool analysis = false;
    bool ready = false;
    double signal = 0;  // in the detector's unit, inverted as wanted
    std::uint32_t raw = 0;
    double detectorTemperature = 0;  // measured, °C
    double columnTemperature = 0;
    double signalAverage = 0;  // running averages over about 28 frames
    double detectorTemperatureAverage = 0;
    double columnTemperatureAverage = 0;
};

class CEhdDetector : public CDevice {
  public:
    static constexpr int kSkipFrames = 56;
    static constexpr std::int64_t kSettleMs = 2000;
    static constexpr double kTemperatureTolerance = 0.3;
    // A pause on the line this long means the next byte starts a frame.
    static constexpr std::int64_t kFrameGapMs = 30;

    CEhdDetector();
    ~CEhdDetector() override;

    int type() const override { return 6; }
    int runState() const override { return runState_.load(); }
    std::string statusText() const override;
    double sampleRate(int) const override { return wire::kEhdSampleRate; }
    void saveSettings(SettingsStore& store, const std::string& key) const override;
    void loadSettings(const SettingsStore& store, const std::string& key) override;

    void onRecordingStarted(int channel) override;
    void onRecordingStopped(int channel) override;
    void onMethodStarted(int channel) override;

    EhdSettings wanted() const;
    // The settings page's "Применить": the new wanted settings, and the
    // run state back to setting parameters.
    void applyWanted(const EhdSettings& s);
    EhdReported reported() const;
    // True once a frame of every kind arrived since the link opened.
    bool knowsReported() const;
    bool wantedAnalysis() const;

    void setRunState(int state);
    // Pause after each of the 127 link-opening commands (10 ms; tests shorten it).
    void setSweepPauseMs(int ms) { sweepPauseMs_.store(ms); }
    std::uint64_t commandsSent() const { return commandsSent_.load(); }

  protected:
    void onLinkOpened() override;
    void onReceive(const std::uint8_t* bytes, std::size_t count) override;
    bool startWorkers() override;
    void stopWorkers() override;

  private:
    void decodeFrame(const wire::EhdFrame& f);
    void feedChannel(double value);
    void step();
    // Moves from `from` to `to` unless another thread changed the state
    // since the step looked at it.
    void advanceState(int from, int to);
    void setRunStateLocked(int state);  // with stateMutex_ held
    void writerLoop();
    // Sends the commands of every differing setting, in the instrument's
    // order; false when the writer is asked to stop. `sent` counts them.
    bool sendDifferences(const EhdSettings& want, bool wantAnalysis, const EhdReported& got,
                         int& sent);
    bool sendCode12(int firstCommand, int code);
    void send(int command, int value);
    // Waits `ms` or until the writer is asked to stop; false when stopped.
    bool pause(int ms);

    mutable std::mutex mutex_;  // guards the members up to writerStop_
    std::condition_variable writerWake_;
    EhdSettings wanted_;
    bool wantedAnalysis_ = false;
    EhdReported reported_;
    unsigned seenKinds_ = 0;
    std::array<bool, 3> haveAverage_{};  // signal, detector, column
    bool writerStop_ = false;

    std::thread writer_;     // started and joined under the device's open/close
    std::mutex stateMutex_;  // serialises changes of runState_ and stateEnteredMs_
    std::atomic<int> runState_{0};
    std::atomic<std::int64_t> stateEnteredMs_{0};
    std::atomic<int> skip_{0};
    std::atomic<int> sweepPauseMs_{10};
    std::atomic<std::uint64_t> commandsSent_{0};
    wire::EhdFrameParser parser_;     // reader thread only
    std::int64_t lastReceiveMs_ = 0;  // reader thread only
};

}  // namespace zelmora
