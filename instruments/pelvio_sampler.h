#pragma once
// The Pelvio liquid autosampler: an accessory of the chromatograph with a
// serial line of its own. The chromatograph resets it when a run begins,
// tells it after every status frame whether it is ready (so the sampler
// injects only into a ready instrument), and takes its injections as the
// start of a recording on the bound channel. The link: the sampler
// identifies itself and is acknowledged, receives its parameters and the
// start or stop code (each repeated until acknowledged), asks for the
// chromatograph's status, and reports injections, the end of the series and
// its faults (alarm 45 with the fault's text, which also ends the series).
//
// Threads: the sampler's reader thread parses frames and runs the periodic
// task; the chromatograph's reader thread calls reset(), step() and
// takeInjection(). mutex_ guards the run data (settings_ and everything
// below it); portMutex_ guards writes to the line and its release.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/result.h"
#include "instruments/serial_port.h"
#include "instruments/wire/pelvio_frame.h"

namespace zelmora {

class AlarmCollector;
class SettingsStore;

// The sampler's settings in the chromatograph's key.
struct PelvioSettings {
    bool use = false;           // "Pelvio_Use"
    int firstVial = 1;          // "Pelvio_BeginViala"
    int lastVial = 1;           // "Pelvio_EndViala"
    int volumeTenths = 10;      // "Pelvio_VProba01", tenths of a microlitre
    int aspirationSpeed = 2;    // "Pelvio_SkorNabora", µl/s
    int injectionSpeed = 9;     // "Pelvio_SkorVvoda", µl/s
    int washSeconds = 5;        // "Pelvio_Promyvka"
    int injectionSeconds = 0;   // "Pelvio_TProgreva"
    int pumpings = 4;           // "Pelvio_Prokachek"
    int injectionsPerVial = 1;  // "Pelvio_NVvod"
    int portIndex = 1;          // "Pelvio_ComPort", 0 = COM1
    int syncChannel = 0;        // "Pelvio_SyncCannel", 0 = channel 1

    void load(const SettingsStore& store, const std::string& key);
    void save(SettingsStore& store, const std::string& key) const;
    bool operator==(const PelvioSettings&) const = default;
};

// The fault texts of the sampler's codes 1 ... 6 (empty for others).
std::string pelvioFaultText(int code);

class CPelvioSampler {
  public:
    static constexpr int kSilenceMs = 6000;
    static constexpr int kAlarmPelvio = 45;

    explicit CPelvioSampler(AlarmCollector& alarms);
    ~CPelvioSampler();
    CPelvioSampler(const CPelvioSampler&) = delete;
    CPelvioSampler& operator=(const CPelvioSampler&) = delete;

    PelvioSettings settings() const;
    void setSettings(const PelvioSettings& s);

    // Opens the line (`path`, or /dev/ttyS<port index> when empty) and
    // starts the reader; the parameters are to be sent once identified.
    Status open(const std::string& path = {});
    void close();
    bool isOpen() const { return running_.load(); }

    // A run begins: injection count 0, the start code to be sent twice,
    // active.
    void reset();
    // After every status frame of the chromatograph: the status the sampler
    // is answered with (3 ready, 5 analysis, 1 otherwise and while inactive).
    void step(int runState);
    // True once per injection.
    bool takeInjection();
    int syncChannel() const;
    bool isActive() const;
    bool isIdentified() const;
    int injectionCount() const;
    int faultCode() const;
    int statusCode() const;

    // Milliseconds of a monotonic clock; tests fix it.
    void setClock(std::function<std::int64_t()> nowMs);
    // The least time between two repeated commands (1500 ms).
    void setCommandIntervalMs(int ms) { commandIntervalMs_.store(ms); }
    // Wakes the reader to run the periodic task now (tests).
    void poke();

  private:
    void readerLoop();
    void handle(const std::vector<std::uint8_t>& payload);
    void periodic();
    void send(const std::vector<std::uint8_t>& payload);
    void sendStartStop(int code);
    void sendParameters();
    void endSeries();
    std::int64_t now() const;

    AlarmCollector& alarms_;
    mutable std::mutex mutex_;  // guards the members up to clock_
    PelvioSettings settings_;
    bool active_ = false;
    int startStopCode_ = 1;
    int startStopToSend_ = 0;
    int parametersToSend_ = 0;
    int injections_ = 0;
    bool injected_ = false;
    bool identified_ = false;
    int status_ = 1;
    int fault_ = 0;
    std::int64_t lastFrameMs_ = 0;
    std::int64_t lastCommandMs_ = 0;
    std::function<std::int64_t()> clock_;

    std::atomic<bool> running_{false};
    std::atomic<int> commandIntervalMs_{1500};
    std::mutex portMutex_;  // guards port_ writes and release
    SerialPort port_;
    std::thread reader_;              // started by open(), joined by close()
    wire::PelvioFrameParser parser_;  // reader thread only
};

}  // namespace zelmora
