#pragma once
// The Kalder gas chromatograph ("Zelmora Sovant", type 0, and "Zelmora
// Kalder", type 1) on its serial line.
//
// The instrument streams status packets on its own (five a second): the
// detector samples of channels 1-4 (four per packet, 20 points/s), the
// temperatures of the heated zones, the gas flows and pressures, the start
// buttons and the answer slot. The driver:
// - finds the line's baud rate (19200, then 9600) from two packet headers
//   in a row;
// - hands the samples to the recording channels; channels 5-8 record one
//   value per packet chosen by their selector ("DopCHOut%d": a zone
//   temperature, a flow, a pressure, the mains voltage, ...);
// - exchanges the modules' parameters through its parameter queue, one
//   request at a time, on a writer thread (50 ms cycle; 300 ms while
//   plug-and-play runs);
// - learns its composition from the control unit's address stack, or by
//   plug-and-play, and registers each module's parameters;
// - closes itself when the line stays silent for 6 s, stopping every
//   recording as interrupted.
//
// Threads and the locks of their shared state:
// - the reader thread (the device's) parses packets: parser_, lastSequence_
//   and buttons_ are its own;
// - the writer thread sends requests; writerStop_ is guarded by writerMutex_;
// - queue_ and pnp_ have their own locks;
// - modulesMutex_ guards modules_ and stackKnown_;
// - liveMutex_ guards live_ (the latest measured values);
// - settingsMutex_ guards auxSelector_, zoneSetTemp_, messageSink_ and
//   soundSink_;
// - the run states (run_) have their own lock;
// - linkReady_, baud_ and the counters are atomics.

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/work_log.h"
#include "instruments/device.h"
#include "instruments/kalder_live.h"
#include "instruments/kalder_run_state.h"
#include "instruments/param_queue.h"
#include "instruments/pelvio_sampler.h"
#include "instruments/plug_and_play.h"
#include "instruments/serial_storehouse.h"
#include "instruments/start_buttons.h"
#include "instruments/wire/kalder_frame.h"

namespace zelmora {

inline constexpr int kKalderReceiveTimeoutMs = 6000;
inline constexpr int kKalderWriterPeriodMs = 50;
inline constexpr int kKalderPnpPeriodMs = 300;
inline constexpr int kKalderProbeBytes = 700;
inline constexpr int kKalderProbeMs = 1000;
inline constexpr int kKalderAuxChannels = 4;
// Time after the link started within which the composition must be known.
inline constexpr std::int64_t kKalderCompositionMs = 80000;

// A module the chromatograph knows, with its registered parameters.
struct KalderModule {
    std::uint8_t address = 0;
    std::uint32_t word = 0;  // with the serial when plug-and-play found it
    std::vector<ParamPtr> params;
};

class CKalderInstrument : public CDevice {
  public:
    // type: 0 "Zelmora Sovant" or 1 "Zelmora Kalder".
    explicit CKalderInstrument(int type = 1);
    ~CKalderInstrument() override;
    int type() const override { return type_; }

    void saveSettings(SettingsStore& store, const std::string& key) const override;
    void loadSettings(const SettingsStore& store, const std::string& key) override;

    // Where compositions are remembered (the user's settings); none: not
    // remembered.
    void setStorehouseStore(SettingsStore* store);
    // Messages for the operator (time-outs of plug-and-play); must only post.
    void setMessageSink(std::function<void(const std::string&)> sink);
    void setWriterPeriodsMs(int normal, int plugAndPlay);

    // The run states (readiness, analysis, faults) and the settings they
    // follow. Settings given here replace those loaded from the registry
    // and are written into the instrument.
    CKalderRunState& runStates() { return *run_; }
    const CKalderRunState& runStates() const { return *run_; }
    void setRunSettings(const KalderRunSettings& s);
    KalderRunSettings runSettings() const { return run_->settings(); }
    // Plays a sound of the program's sound folder ("ready.wav"); must only
    // post. None: silent.
    void setSoundSink(std::function<void(const char*)> sink);

    int runState() const override { return run_->runState(); }
    std::string statusText() const override { return run_->statusText(); }
    bool isReadyToRecord() const override { return run_->isReadyToRecord(); }
    std::string detectorName(int channel) const override { return run_->detectorName(channel); }
    bool invertsDetectorsItself() const override { return true; }
    // With the Pelvio autosampler in use the run begins with its series: the
    // chromatograph waits for its injections (state 20) instead of recording.
    // The start an injection gives a waiting channel records at once.
    bool beginRun() override;
    CPelvioSampler& pelvio() { return pelvio_; }
    // The sampler's line: /dev/ttyS<"Pelvio_ComPort"> unless set (tests, a
    // USB adapter).
    void setPelvioPortPath(std::string path);
    std::string pelvioPath() const;
    void onRecordingStarted(int channel) override;
    void onRecordingStopped(int channel) override;
    void onMethodStarted(int channel) override;
    void prepareForAnalysis() override { run_->prepareForAnalysis(); }

    bool linkReady() const { return linkReady_.load(); }
    int baudRate() const { return baud_.load(); }
    CParamQueue& queue() { return queue_; }
    CPlugAndPlay& plugAndPlay() { return pnp_; }

    // Starts plug-and-play (work-log line "# Начало Plug-and-Play (Прибор %d)").
    // Without autoConfirm it stops at the composition found until
    // plugAndPlay().confirm() or cancel(); the parameter queue is not served
    // while it runs.
    void startPlugAndPlay(bool autoConfirm);

    std::vector<KalderModule> modules() const;
    // True once the composition is known (stack read or plug-and-play done).
    bool compositionKnown() const;
    // "ИМТ1 ДТП1 ГН12 ..."
    std::string compositionText() const;
    KalderLiveValues live() const;

    // "Запуск каналов": a start starts every channel of the chromatograph.
    bool startsAllChannels() const override { return startsAll_.load(); }
    void setStartsAllChannels(bool on) { startsAll_.store(on); }
    // "Не ожидать завершения температ. программы".
    bool noWaitProgramme() const { return noWaitProgramme_.load(); }
    void setNoWaitProgramme(bool on) { noWaitProgramme_.store(on); }
    // The Pelvio sampler's settings (kept with the chromatograph).
    PelvioSettings pelvioSettings() const { return pelvio_.settings(); }
    void setPelvioSettings(const PelvioSettings& s) { pelvio_.setSettings(s); }

    // Auxiliary channel selector ("DopCHOut%d"), channel 0-3 = device
    // channel 5-8.
    int auxSelector(int aux) const;
    void setAuxSelector(int aux, int selector);

    // Loading: parameters of the identification set (and, from access
    // level 4, the extended set) still to be exchanged.
    std::size_t remainingToLoad(int accessLevel) const;
    // The parameter report and the list of modules that do not answer.
    std::string paramStatistics(int accessLevel) const;
    std::string notAnsweringModules() const;
    bool moduleNotAnswering(std::uint8_t address) const;

    std::uint64_t checksumErrors() const { return checksumErrors_.load(); }
    std::uint64_t sequenceBreaks() const { return sequenceBreaks_.load(); }

  protected:
    bool openDevice() override;
    bool rtsOn() const override { return false; }
    bool handshake() override;
    void onLinkOpened() override;
    void onReceive(const std::uint8_t* bytes, std::size_t count) override;
    bool startWorkers() override;
    void stepAutosampler();
    void stopWorkers() override;

  private:
    // `streamEnd`: the position in the received stream where it ended.
    void processPacket(const wire::KalderPacket& p, std::uint64_t streamEnd);
    void writerLoop();
    bool sleepWriter(int ms);
    void registerControlUnit();
    void forgetModules();
    // The composition from the control unit's stack or plug-and-play.
    void adoptComposition(const std::vector<std::uint32_t>& words);
    // Under modulesMutex_: true when a known composition changed.
    bool adoptLocked(const std::vector<std::uint32_t>& words);
    void checkStack();
    void message(const std::string& text) const;

    const int type_;
    // The parameter queue's and plug-and-play's lines: a request, then
    // (from the reader thread) its answer on the same line.
    CWorkLogSource requestLog_;
    CParamQueue queue_;
    CPlugAndPlay pnp_;

    wire::KalderFrameParser parser_;  // reader thread
    int lastSequence_ = -1;           // reader thread
    std::uint8_t lastButtons_ = 0;    // reader thread
    bool haveButtons_ = false;        // reader thread
    bool compositionWarned_ = false;  // reader thread
    std::atomic<std::int64_t> linkStartMs_{0};
    std::uint64_t checksumsCounted_ = 0;     // reader thread
    bool pnpWasActive_ = false;              // reader thread
    StartButtons buttons_;                   // reader thread
    std::atomic<bool> clearButtons_{false};  // set by the run states on any thread

    // Detector channels 1-4 recorded with their sign turned.
    std::array<std::atomic<bool>, 4> inverted_{};
    std::atomic<bool> startsAll_{false};
    std::atomic<bool> noWaitProgramme_{false};
    std::atomic<bool> linkReady_{false};
    std::atomic<int> baud_{0};
    std::atomic<std::uint64_t> checksumErrors_{0};
    std::atomic<std::uint64_t> sequenceBreaks_{0};
    std::atomic<int> writerPeriodMs_{kKalderWriterPeriodMs};
    std::atomic<int> pnpPeriodMs_{kKalderPnpPeriodMs};

    std::mutex writerMutex_;  // guards writerStop_
    std::condition_variable writerWake_;
    bool writerStop_ = false;
    std::thread writer_;  // started and joined by the device's open and close

    mutable std::mutex modulesMutex_;  // guards modules_, stackKnown_
    std::vector<KalderModule> modules_;
    bool stackKnown_ = false;
    std::vector<ParamPtr> controlUnit_;  // guarded by modulesMutex_

    mutable std::mutex liveMutex_;  // guards live_
    KalderLiveValues live_;

    // Every value and subkey stored with the instrument, also those of the
    // settings this driver does not read itself (gases, valves, zones),
    // written back on save so that moving the device in the list or
    // saving it loses nothing. Interface thread only.
    std::unique_ptr<CDevice> kept_;

    mutable std::mutex settingsMutex_;  // guards the fields below
    std::array<int, kKalderAuxChannels> auxSelector_{0, 1, 2, 3};
    std::array<double, wire::kKalderZones> zoneSetTemp_{};
    std::function<void(const std::string&)> messageSink_;
    std::function<void(const char*)> soundSink_;

    // Created in the constructor, never replaced; has its own lock.
    std::unique_ptr<CKalderRunState> run_;
    CPelvioSampler pelvio_{alarms()};  // its own line and reader thread
    std::string pelvioPortPath_;       // guarded by settingsMutex_
    // Set when an injection triggers a waiting channel; the run-begin of
    // that start takes it and records at once.
    std::atomic<bool> injectionStart_{false};
};

// The run settings stored with the chromatograph in the device list.
KalderRunSettings readKalderRunSettings(const SettingsStore& store, const std::string& key);
void writeKalderRunSettings(SettingsStore& store, const std::string& key,
                            const KalderRunSettings& s);

}  // namespace zelmora
