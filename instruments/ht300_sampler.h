#pragma once
// The "Дозатор HT300" liquid autosampler (device type 4, no channels of its
// own): it works through a tray of vials (10, 40 or 110 places, as the
// sampler reports), injects each vial marked for use "Repeat" times and,
// after every injection, starts the recording on the chosen device's
// channels ("DeviceIndex", "StartChannelBits0" for the near injector,
// "StartChannelBits1" for the far one) with the vial number and the sample
// name in the chromatogram's passport.
//
// The link (wire/ht300_frame.h) is one request, one answer: the link thread
// sends the next pending command and waits up to 1000 ms for its answer; a
// missing or damaged answer is written to the work log and the command is
// sent again, at most twice more, before it is given up (a series that
// needed it stops, and so does one whose step the sampler refuses with an
// error bit). With nothing pending, the status (command 5) is asked
// every second, continuously while an injection is awaited. Every answer
// carries the sampler's mode, which drives the sequencer:
//   0 initialisation (3, 17, 2) → 1 waiting → the operator's start (10) →
//   2 start (7, 19) → 3 until the sampler idles (mode 0) → 4 until the
//   recording device is ready (6) → 5 until the sample is drawn (mode 15) →
//   6 until the device is ready again (4) → 7 until injected (mode 18):
//   the recording starts, and the next injection goes back to 2, or to 1
//   when the series is done.
//
// Volumes are kept in hundredths of a microlitre, as in the settings, and
// sent as 16-bit values in tenths of a microlitre: 30 µl is sent as 300,
// never cut to its low byte. Every value is checked against its range
// before a command with it goes out.
//
// Threads: the device's reader parses answers and hands them to the link
// thread; the link thread sends, waits and runs the sequencer; the interface
// thread changes settings and vials and starts or stops a series. mutex_
// guards every member from settings_ to linkStop_ (work-log lines may be
// written under it: the log's own lock is taken last and calls nothing);
// the counters are atomics; parser_ belongs to the reader.

#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "instruments/device.h"
#include "instruments/wire/ht300_frame.h"

namespace zelmora {

// The sampler's settings, in the device's key under these names.
struct Ht300Settings {
    int intStandartVial = 9;    // "IntStandartVial"
    int predSolvent = 0;        // "PredSolvent"
    int postSolvent = 0;        // "PostSolvent"
    int handWashSolvent = 0;    // "HandWashSolvent"
    int handWashVolume = 500;   // "HandWashVolume", hundredths of a µl
    int handWashCount = 3;      // "HandWashCount"
    int aspSpeed = 0;           // "AspSpeed", µl/s; 0 = the sampler's own speed
    int bubbleDelay = 1;        // "BUBBLE_delay", s
    int bubbleStrokes = 1;      // "BUBBLE_strokes"
    int clnCountPost = 1;       // "CLNCOUNT_post"
    int clnCountPre = 1;        // "CLNCOUNT_pre"
    int clnModePost = 0;        // "CLNMODE_post"
    int clnModePre = 0;         // "CLNMODE_pre"
    int clnSamp = 0;            // "CLNSAMP": washings with the sample
    int ejeSpeed = 100;         // "EjeSpeed", µl/s
    int isAir = 0;              // "ISAir"
    int isMode = 0;             // "ISMode"
    int isoEnab = 0;            // "ISOENAB": internal standard in use
    int isSolv = 9;             // "ISSolv"
    int posTime = 0;            // "POSTIME": s inside the injector
    int preTime = 0;            // "PRETIME": s before the injection
    int preVol = 0;             // "PREVOL": wash before the injection, hundredths of a µl
    int postVol = 0;            // "POSTVOL": wash after the injection, hundredths of a µl
    int isVol = 0;              // "ISVOL": internal standard, hundredths of a µl
    int volAir = 0;             // "VOLAIR", hundredths of a µl
    int volFill = 500;          // "VOLFILL": wash with the sample, hundredths of a µl
    int volSamp = 500;          // "VOLSAMP": the dose, hundredths of a µl
    int deviceIndex = 0;        // "DeviceIndex": the device whose channels start
    int startChannelBits0 = 1;  // "StartChannelBits0": channels of the near injector
    int startChannelBits1 = 2;  // "StartChannelBits1": channels of the far injector
    int injectors = 0;          // "Injectors": 0 near, 1 far, 2 both in turn (two passes)
    int repeat = 3;             // "Repeat": injections per vial

    void load(const SettingsStore& store, const std::string& key);
    void save(SettingsStore& store, const std::string& key) const;
    bool operator==(const Ht300Settings&) const = default;
};

// One place of the tray.
struct Ht300Vial {
    std::string name;  // "SampleName_%d"
    bool use = false;  // "SampleUse_%d"
};

inline constexpr int kHt300MaxVials = 110;

// The first rule the settings break, as the settings dialog shows it
// (volumes against the syringe, speeds 1-100 µl/s, times 0-99 s, the
// recording device); nothing when they are usable. `deviceUsable` says
// whether "DeviceIndex" names a device with channels.
std::optional<std::string> validateHt300Settings(const Ht300Settings& s, double syringeUl,
                                                 bool deviceUsable);
// The values the commands carry, each within what its field holds; the
// first one out of range, named, when one is.
std::optional<std::string> checkHt300Ranges(const Ht300Settings& s);

// Texts of the sequencer's states and of the sampler's modes.
const char* ht300StateText(int state);
const char* ht300ModeText(int mode);
// The texts of the error bits of an answer, one per set bit.
std::vector<std::string> ht300ErrorTexts(int errorBits);
// Places of a tray code (0 when the code is unknown) and µl of a syringe
// code (0 when unknown).
int ht300TrayPlaces(int code);
double ht300SyringeUl(int code);

// Data of the commands, built from the settings (exposed for the tests and
// the simulator).
std::vector<std::uint8_t> ht300SelectSampleData(const Ht300Settings& s, int vial, int places,
                                                bool farPass);
std::vector<std::uint8_t> ht300InjectData(const Ht300Settings& s, bool far);
std::vector<std::uint8_t> ht300HandWashData(const Ht300Settings& s);
std::vector<std::uint8_t> ht300SettingsBlock(const Ht300Settings& s);
// A volume in hundredths of a µl as the sampler takes it: tenths of a µl,
// rounded to 0.1 µl below 100 µl and to 1 µl from there on.
int ht300VolumeTenths(int hundredths);

// One injection, for the recording it starts.
struct Ht300Injection {
    int deviceIndex = 0;
    unsigned channelBits = 0;
    int vial = 0;       // 1-based place in the tray
    int injection = 0;  // 1-based injection of that vial
    std::string sampleName;
};

// Where the injections start recordings: the front end's side (the device
// list, the channels). Both calls come on the link thread and must not
// block: they look at states the front end keeps and post the work.
class Ht300RecordingTarget {
  public:
    virtual ~Ht300RecordingTarget() = default;
    // The device and the channels of `channelBits` can start a recording.
    virtual bool readyToRecord(int deviceIndex, unsigned channelBits) = 0;
    virtual void startRecording(const Ht300Injection& injection) = 0;
};

class CHt300Sampler : public CDevice {
  public:
    static constexpr int kAnswerTimeoutMs = 1000;
    static constexpr int kStatusPeriodMs = 1000;
    static constexpr int kIdleSleepMs = 500;
    // A command goes out at most 1 + kRetries times.
    static constexpr int kRetries = 2;

    enum State {
        Init = 0,
        Waiting,
        Start,
        AwaitIdle,
        AwaitReady,
        AwaitSample,
        AwaitReady2,
        AwaitInjection
    };

    CHt300Sampler();
    ~CHt300Sampler() override;

    int type() const override { return 4; }
    std::string statusText() const override;
    void saveSettings(SettingsStore& store, const std::string& key) const override;
    void loadSettings(const SettingsStore& store, const std::string& key) override;

    Ht300Settings settings() const;
    void setSettings(const Ht300Settings& s);
    // The whole tray (110 places); only the first vialPlaces() are offered.
    std::vector<Ht300Vial> vials() const;
    void setVial(int index, const Ht300Vial& v);
    int vialPlaces() const;
    double syringeUl() const;
    std::string identification() const;

    void setRecordingTarget(std::shared_ptr<Ht300RecordingTarget> target);

    // The operator's start: the rules of a series (injections per vial,
    // a vial in use, usable settings); then the series begins with the
    // first vial in use.
    Status startSeries();
    // Ends the series: the sampler is told to stop (command 1).
    void stopSeries();
    // A hand wash of the syringe (command 11).
    Status handWash();

    int state() const { return state_.load(); }
    int mode() const { return mode_.load(); }
    int currentVial() const;  // 1-based; 0 outside a series
    int injectionsDone() const { return injections_.load(); }
    std::uint64_t missedAnswers() const { return missedAnswers_.load(); }
    std::uint64_t badAnswers() const { return badAnswers_.load(); }
    std::uint64_t commandsGivenUp() const { return givenUp_.load(); }
    std::uint64_t answers() const { return answers_.load(); }

    // Time the link waits for an answer (1000 ms; tests shorten it).
    void setAnswerTimeoutMs(int ms) { answerTimeoutMs_.store(ms); }
    void setStatusPeriodMs(int ms) { statusPeriodMs_.store(ms); }

  protected:
    // Command 3, then any byte within the handshake time-out.
    bool handshake() override;
    void onReceive(const std::uint8_t* bytes, std::size_t count) override;
    // The link thread times its own answers.
    bool ignoreReceiveTimeout() override { return true; }
    bool startWorkers() override;
    void stopWorkers() override;

  private:
    struct Command {
        int code = 0;
        std::vector<std::uint8_t> data;
    };
    enum class Outcome { Answer, NoAnswer, Bad, Stopped };

    void linkLoop();
    // Sends and waits; retries as above; the answer when one came.
    std::optional<wire::Ht300Answer> transact(const Command& c, bool retry);
    Outcome sendOnce(const Command& c, wire::Ht300Answer& answer);
    void handleAnswer(const Command& c, const wire::Ht300Answer& a);
    // Ends a running series with a work-log line saying why.
    void endSeries(const std::string& why);
    void stepSequencer();
    // With mutex_ held: queue a command.
    void pushLocked(int code, std::vector<std::uint8_t> data = {});
    // With mutex_ held: the next vial in use after `index`, or -1.
    int nextVialLocked(int fromIndex) const;
    void beginInjectionLocked();
    void setStateLocked(int s);
    void log(const std::string& line) const;
    bool linkPause(int ms);

    mutable std::mutex mutex_;  // guards the members up to linkStop_
    std::condition_variable wake_;
    Ht300Settings settings_;
    std::array<Ht300Vial, kHt300MaxVials> vials_;
    int places_ = 10;
    double syringeUl_ = 10;
    std::string identification_;
    std::shared_ptr<Ht300RecordingTarget> target_;
    std::deque<Command> pending_;
    int vialIndex_ = -1;                      // 0-based vial of the series
    int injectionNo_ = 0;                     // injections of that vial so far
    bool farPass_ = false;                    // the injection goes to the far injector
    std::deque<wire::Ht300Answer> received_;  // from the reader
    std::uint64_t badReceived_ = 0;           // damaged answers from the reader
    wire::Ht300Fault lastBad_ = wire::Ht300Fault::None;
    bool linkStop_ = false;

    std::thread link_;  // started and joined under the device's open/close
    std::atomic<int> state_{Init};
    std::atomic<int> mode_{0};
    std::atomic<int> injections_{0};
    std::atomic<int> answerTimeoutMs_{kAnswerTimeoutMs};
    std::atomic<int> statusPeriodMs_{kStatusPeriodMs};
    std::atomic<std::uint64_t> missedAnswers_{0};
    std::atomic<std::uint64_t> badAnswers_{0};
    std::atomic<std::uint64_t> givenUp_{0};
    std::atomic<std::uint64_t> answers_{0};
    wire::Ht300AnswerParser parser_;  // reader thread only
    int statusMisses_ = 0;            // link thread only: unanswered status requests in a row
};

}  // namespace zelmora
