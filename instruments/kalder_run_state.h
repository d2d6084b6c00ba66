#pragma once
// The chromatograph's run states: from cold start to ready to record,
// through the analysis, and to a stop on a fault. One step is taken after
// every good status packet.
//
//    1 preparing ─┬─> 4 temperatures and gases ──> 5 ready ──> 6..14 analysis
//                 └─> 2 detector warm-up ──> 3 ignition ──┘        │
//   17 cooling, 20 waiting for the autosampler, 19 error stop <── any fault
//
// Ignition: gases go into their ignition flows 5 s before each pulse and
// back 2 s after it; a pulse of min(0.7 + 0.05 n, 0.9) s is sent every 30 s
// until the flame burns or the attempts are used up (alarm 89, state 19).
// Readiness: every heated zone within its tolerance and every gas
// regulator within its tolerance for "GotovDelay" seconds in a row.
//
// The step also looks for faults: the error byte and the control unit's
// fault words it points to, zone readings that stop changing (a failed
// temperature converter), bad mains, valve and conductivity-detector
// faults, detectors without a heated zone. Faults up to code 86 (and 89)
// move the state to 19, which leaves nothing hot or flowing: the heaters'
// set points, the hydrogen and the bridge voltages are switched off, since
// the operator may be away and a fault that stopped the analysis may be an
// overheat or a hydrogen leak. Leaving 19 needs a method start, the end of a
// recording or a reconnection (state 1), which loads the set points again.
//
// Threads: the step runs on the chromatograph's reader thread; the
// recording hooks and the status texts are called from the interface
// thread (and from the reader thread when a start button or the end of a
// recording calls them). mutex_ (recursive, because a hook may be reached
// from within a step on the same thread) guards every field below it; the
// run state, the reasons word and the lamp word are also kept in atomics
// for readers that must not wait.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "instruments/alarm_collector.h"
#include "instruments/kalder_gas.h"
#include "instruments/kalder_live.h"
#include "instruments/kalder_valves.h"
#include "instruments/param_queue.h"

namespace zelmora {

namespace run_state {
inline constexpr int kStopped = 0;
inline constexpr int kPreparing = 1;
inline constexpr int kBeforeIgnition = 2;
inline constexpr int kIgnition = 3;
inline constexpr int kSettling = 4;
inline constexpr int kReady = 5;
inline constexpr int kAnalysis = 6;
inline constexpr int kAnalysisEnd = 14;
inline constexpr int kPurge = 16;
inline constexpr int kCooling = 17;
inline constexpr int kError = 19;
inline constexpr int kAutosampler = 20;
}  // namespace run_state

// Readiness reasons (bits of the reasons word).
namespace reason {
inline constexpr std::uint32_t kDetectorWarmUp = 0x1;
inline constexpr std::uint32_t kBridgeZone = 0x2;  // << detector
inline constexpr std::uint32_t kDelay = 0x20;
inline constexpr std::uint32_t kFilamentOverheat = 0x40;  // << detector
inline constexpr std::uint32_t kBridgeVoltage = 0x400;    // << detector
inline constexpr std::uint32_t kIgnitionWait = 0x4000;
inline constexpr std::uint32_t kTemperatures = 0x8000;
inline constexpr std::uint32_t kGases = 0x10000;
inline constexpr std::uint32_t kZoneNames = 0x20000;
inline constexpr std::uint32_t kAmplifierVersion = 0x40000;
inline constexpr std::uint32_t kValveZones = 0x80000;
}  // namespace reason

// Lamps of the instrument's front panel (control unit parameter 80); bits
// 8-12 make the same lamps blink.
namespace lamp {
inline constexpr std::uint32_t kPreparing = 0x1;
inline constexpr std::uint32_t kReady = 0x2;
inline constexpr std::uint32_t kAlarm = 0x4;
inline constexpr std::uint32_t kAnalysis1 = 0x8;
inline constexpr std::uint32_t kAnalysis2 = 0x10;
inline constexpr int kBlinkShift = 8;
}  // namespace lamp

// "Прибор готов к записи", ... for a run state; the ignition text with the
// attempt number.
std::string runStateText(int state, int attempt = 0);

// A heated zone of the control unit as the settings describe it.
struct KalderZoneConfig {
    double setTemp = 0;  // zones 1-7; zone 0 follows the programme
    double tolerance = 1.0;
    double maxTemp = 200.0;
};

// The chromatograph's settings that the run states use.
struct KalderRunSettings {
    // Set points (zones, programme, gases, bridge voltages) are written to
    // the instrument only when the settings were given: by the operator, a
    // method or the stored settings. A chromatograph connected for the
    // first time keeps the set points it has.
    bool given = false;
    int ignitionAttempts = 0;     // "m_PopytPodzh"
    int readyDelaySeconds = 10;   // "GotovDelay"
    double flameThreshold = 0.1;  // "FlameValue", mV of the flame amplifier
    std::array<KalderZoneConfig, 8> zones{};
    // Column programme: T1-T5, isotherms, rates V12-V45.
    std::array<double, 5> programTemp{};
    std::array<double, 5> programTime{100, 100, 100, 100, 100};
    std::array<double, 4> programRate{};
    std::array<GasChannelConfig, kGasChannels> gas{};
    std::array<double, 4> bridgeVoltage{};  // "DTPUmosta_%d"
    // Balance of the conductivity detectors (parameter 7), -100 ... 100.
    std::array<double, 4> balance{};
    // Detector channels 1-4 whose signal is recorded with its sign turned.
    std::array<bool, 4> invertDetector{};
    // The zone names (codes of control-unit parameter 320 + zone) the
    // settings were made for; -1: not stored.
    std::array<int, 8> zoneNameCode{-1, -1, -1, -1, -1, -1, -1, -1};
    // "Tкол < Tдет" (control unit 174): the column may not be heated above
    // a detector zone.
    bool columnBelowDetector = false;
    bool closeFlap = false;               // "CloseDoorFlag"
    bool silentMode = true;               // "SilentFun"
    std::array<int, 2> buttonFunction{};  // "StartButton%02dFunc", 0-17
    // The heated zones of the valve blocks ("Зона 5" ... "Зона 8" of the
    // valve page), in the order of the blocks' valves.
    std::array<KalderZoneConfig, 4> valveZones{};
    // Per valve block in composition order ("AvailabilityKran_%d" and the
    // valves' settings).
    std::vector<std::uint32_t> valveAvailability;
    std::vector<std::vector<ValveConfig>> valves;
};

// What the run states need of the rest of the driver.
struct KalderRunHooks {
    std::function<std::int64_t()> nowMs;
    std::function<void(std::string_view)> log;
    // A sound of the program's sound folder ("ready.wav").
    std::function<void(const char*)> playSound;
    // Detector channel c (0-7): records, is used by the operator, minutes
    // from the start to its last point.
    std::function<bool(int)> recording;
    std::function<bool(int)> inUse;
    std::function<double(int)> recordedMinutes;
    // The start-button presses seen so far are forgotten.
    std::function<void()> clearButtons;
    // The autosampler is in use and works through its series: the ready
    // chromatograph waits for its injection (state 20) until it is done.
    std::function<bool()> autosamplerActive;
};

class CKalderRunState {
  public:
    // number: the device as users count it; queue: where the parameters of
    // the modules go (the chromatograph's parameter queue).
    CKalderRunState(CParamQueue& queue, AlarmCollector& alarms, KalderRunHooks hooks);
    ~CKalderRunState();

    void setDevice(int number, std::string name);
    void setSettings(const KalderRunSettings& s);
    KalderRunSettings settings() const;

    // The link came up: the control unit's parameters are registered, the
    // modules forgotten, state 1.
    void linkStarted();
    // The composition (module addresses) became known.
    void setComposition(const std::vector<std::uint8_t>& addresses);
    void linkClosed();

    // One step after a good status packet.
    void step(const KalderLiveValues& live);

    void setRunState(int state);
    int runState() const { return state_.load(); }
    std::uint32_t reasons() const { return reasons_.load(); }
    std::uint32_t lampWord() const { return lamps_.load(); }
    int ignitionAttempt() const { return attempt_.load(); }
    // The state's text, then the readiness reasons and, in state 19, the
    // stop reason, one per line.
    std::string statusText() const;
    // The lines of the reasons word, each ending in "\r\n".
    std::string readinessText() const;
    // The state with its ignition attempt, lamps and readiness lines as
    // one step left them (the values above, read one by one, may straddle
    // a step).
    struct Snapshot {
        int state = 0;
        int ignitionAttempt = 0;
        std::uint32_t lamps = 0;
        std::string readiness;
        std::string status;  // statusText()
    };
    Snapshot snapshot() const;
    // "ТЕМПЕРАТУРЫ { ... }" as the periodic work-log line writes it.
    std::string currentValuesText() const;
    bool isReadyToRecord() const;
    // The detector module of detector channel `channel` (0-3), by its long
    // name ("Измеритель малых токов 1"); empty before the composition is
    // known and for a channel without a detector.
    std::string detectorName(int channel) const;

    // Recording hooks of the device.
    void onRecordingStarted(int channel);
    void onRecordingStopped(int channel);
    void onMethodStarted(int channel);
    void prepareForAnalysis();
    // Cooling from the monitor: on enters 17, off returns to 1.
    void setCooling(bool on);

    // Gas channels for the settings windows and the tests; nullptr when the
    // chromatograph has no such channel.
    template <class F>
    auto withGas(int channel, F f) {
        std::lock_guard lock(mutex_);
        return f(gasChannel(channel));
    }
    template <class F>
    auto withValves(F f) {
        std::lock_guard lock(mutex_);
        return f(valves_);
    }
    // The names of the zones as the control unit reports them.
    std::string zoneName(int zone) const;
    // The name code the control unit reported for a zone; -1 while unknown.
    int reportedZoneCode(int zone) const;
    // Zone present in the instrument (named and not switched off).
    bool zonePresent(int zone) const;
    // The module addresses of the known composition.
    std::vector<std::uint8_t> composition() const;

  private:
    struct Zone {
        int nameCode = -1;  // -1: not yet read
        bool present = false;
        double measured = 0;
        int power = 0;
        float lastReading = 0;
        int unchangedFrames = 0;
        bool frozen = false;
        std::int64_t withinSinceMs = -1;
    };
    struct Detector {
        std::uint8_t address = 0;
        int channel = 0;     // detector channel 0-3
        bool flame = false;  // flame amplifier, else conductivity detector
        int zone = -1;
        ParamPtr firmware, bridge, filamentTemp, bridgeCurrent, filamentMax, status, filamentType,
            balance;
        bool bridgeOn = false;
        double limitZoneTemp = 0;
    };

    void enterState(int state);
    void writeLamps();
    std::uint32_t computeLamps() const;
    void detectFaults(const KalderLiveValues& live);
    void checkErrorWords();
    void checkFirmware();
    void checkConductivity(std::uint32_t& reasons);
    void assignDetectorZones();
    bool zoneWithin(int z) const;
    bool zonesWithin() const;
    bool gasesReady();
    // The readiness check; sets reasons and the readiness timer.
    bool readinessPasses(std::uint32_t& reasons);
    bool flamePresent() const;
    bool needsFlame() const;
    bool zonesKnown() const;
    void allGasIgnition(bool on, int attempt);
    void stateSwitch(std::uint32_t& reasons);
    void applySettingsLocked();
    void buildModulesLocked();
    // The queue for the set points; none while no settings were given.
    CParamQueue* setPointQueue() { return settings_.given ? &queue_ : nullptr; }
    void switchBridge(Detector& d, bool on);
    CGasChannel* gasChannel(int n);
    void log(const std::string& line) const;
    std::string zoneNameLocked(int zone) const;
    std::string currentValuesLocked() const;
    std::string mainsText() const;
    std::int64_t now() const { return hooks_.nowMs(); }

    CParamQueue& queue_;
    AlarmCollector& alarms_;
    const KalderRunHooks hooks_;

    std::atomic<int> state_{run_state::kPreparing};
    std::atomic<std::uint32_t> reasons_{0};
    std::atomic<std::uint32_t> lamps_{0};
    std::atomic<int> attempt_{0};

    mutable std::recursive_mutex mutex_;  // guards everything below
    int number_ = 0;
    std::string name_;
    KalderRunSettings settings_;
    KalderLiveValues live_;
    bool haveLive_ = false;
    bool compositionKnown_ = false;
    std::int64_t linkStartMs_ = 0;
    std::int64_t stateEntryMs_ = 0;
    std::int64_t analysisStartMs_ = 0;
    std::int64_t attemptStartMs_ = 0;
    bool ignitionInProgress_ = false;
    std::int64_t readinessTimerMs_ = 0;
    std::int64_t lastPeriodicMs_ = -1;
    std::int64_t lastMainsAlarmMs_ = -1;
    std::int64_t lastValveReadMs_ = -1;
    std::uint8_t lastErrByte_ = 0;
    std::uint8_t pendingErrBits_ = 0;  // error-byte bits whose fault words are being read
    std::array<Zone, 8> zones_{};
    bool zonesAssigned_ = false;
    bool firmwareChecked_ = false;

    // Control unit parameters.
    ParamPtr lampParam_, analysisParam_, ignitionParam_, relayParam_, firmwareParam_;
    std::array<ParamPtr, 3> errorWords_{};  // 96 overheat, 97 short circuit, 98 open sensor
    std::array<ParamPtr, 8> zoneNames_{};
    std::array<ParamPtr, 5> programTemp_{}, programTime_{};
    std::array<ParamPtr, 4> programRate_{};
    std::array<ParamPtr, 4> zoneSet_{};  // zones 1-4
    std::array<ParamPtr, 5> zoneMax_{};
    ParamPtr columnBelowDetectorParam_;  // control unit 174

    std::vector<std::unique_ptr<CGasChannel>> gas_;
    std::vector<CValveBlock> valves_;
    std::vector<Detector> detectors_;
    std::vector<std::uint8_t> composition_;
};

}  // namespace zelmora
