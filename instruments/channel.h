#pragma once
// The recording channel: one detector signal of an instrument turned into a
// chromatogram. The operator arms it with a method (it then waits for its
// start signal: the instrument's start button, the autosampler's injection,
// the operator) or records at once; the driver's samples are brought to the
// method's point rate (ChannelResampler) into the signal array, which is
// sized to the method's run time; the recording stops when the array is
// full (completed), by the operator, or when the instrument falls silent
// (interrupted). The finished recording becomes a processed, saved
// chromatogram (finishRecording) and a series of analyses arms the channel
// again until none remain.
//
// States: idle → armed (waiting window) → recording (recording window) →
// idle; idle → recording at once by "Записать хроматограмму"; armed → idle
// by a cancel.
//
// Threads and locks:
// - addSample(), triggerStart(), triggerCancel() and stop() may come from any
//   thread (the device's reader, the interface);
// - everything else runs on the interface thread, and so does all that the
//   host is asked to do: the channel posts to it (ChannelHost::post);
// - mutex_ guards points_, capacity_, polarity_, resampler_ and journal_ (pointer);
//   the state flags and the series counters are atomics. No lock is held
//   while the channel calls the device, the host, the queue or the work log;
//   the journal's own lock is taken inside mutex_ only to buffer points
//   (it never calls out);
// - stopping is one exchange of the recording flag, so a stop from the
//   reader (full array, silence) and one from the operator at the same moment
//   stop once.
// Every recording is journalled (RecordingJournal) so that a crash loses at
// most its last second.

#include <atomic>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/program_settings.h"
#include "app/result.h"
#include "instruments/acquisition_channel.h"
#include "instruments/channel_resampler.h"
#include "instruments/recording_journal.h"

namespace zelmora {

class CChannel;
class CZelmoraDoc;
struct Method;
class MessageSink;
struct Passport;

// Where a finished recording went.
struct FinishedRecording {
    std::filesystem::path path;  // its file (written when `saved`)
    bool saved = false;
    bool exported = false;  // the text export was written as the method asks
    // The queue's export program took the results of its sample: the
    // chromatogram is saved and need not be opened.
    bool handedOver = false;
    // The recording's journal when the file was not written ("AutoSave"
    // off): the front end removes it once the chromatogram is saved or
    // given up, so that a crash before then still recovers it.
    std::filesystem::path journal;
};

// What a front end does for its channels. Every call but post() comes on the
// interface thread.
class AnalysisQueueLink;

class ChannelHost {
  public:
    virtual ~ChannelHost() = default;
    // Runs `work` later on the interface thread; may be called from any
    // thread and must only queue (the posted window message).
    virtual void post(std::function<void()> work) = 0;
    virtual MessageSink& messages() = 0;
    // The analysis queue's side of the recordings (channels made after the
    // link was set take it from here); null without a queue.
    virtual AnalysisQueueLink* queueLink() { return nullptr; }
    // The options at the moment they are needed.
    virtual ProgramOptions options() const = 0;
    // The recording's analysis time (AnalysisStartTime).
    virtual std::time_t startTime() = 0;
    // Where the journals of recordings are kept; empty = no journal.
    virtual std::filesystem::path journalFolder() const = 0;
    // "start.wav", "stop.wav": played when "UseSound" is on (the channel asks).
    virtual void playSound(const std::string& /*name*/) {}
    // The armed channel's waiting window opens and closes.
    virtual void showWaiting(CChannel& /*channel*/) {}
    virtual void closeWaiting(CChannel& /*channel*/) {}
    // The passport dialog of a prepared recording ("CheckOpenPassport").
    virtual void editPassport(CZelmoraDoc& /*doc*/) {}
    // The recording window opens; it closes at recordingEnded.
    virtual void recordingStarted(CChannel& /*channel*/) {}
    virtual void recordingEnded(CChannel& /*channel*/) {}
    // The finished chromatogram: the front end shows it or closes it
    // ("AutoClose"). Also called for a recording that made no chromatogram,
    // with `finished` the failure.
    virtual void chromatogramReady(CChannel& /*channel*/, std::unique_ptr<CZelmoraDoc> /*doc*/,
                                   const Result<FinishedRecording>& /*finished*/) {}
};

// The analysis queue's side of a recording on its channel (option
// "EnableKGK"): the queue decides whether the channel is its own ("Canal",
// "Adc"), fills the passport from its first new entry at the start and marks
// the entry in work at the end (a stale or missing entry in work is the
// queue's to check). Both calls on the interface thread, with no lock held.
class AnalysisQueueLink {
  public:
    virtual ~AnalysisQueueLink() = default;
    virtual void recordingStarting(CChannel& channel, Passport& passport) = 0;
    virtual void recordingStopped(CChannel& channel, bool interrupted) = 0;
    // A completed recording has become the chromatogram `doc` (`finished`
    // says whether and where it was saved): the queue hands the sample's
    // results on. True when the export program took them.
    virtual bool resultReady(CChannel& /*channel*/, CZelmoraDoc& /*doc*/,
                             const FinishedRecording& /*finished*/) {
        return false;
    }
};

class CChannel : public AcquisitionChannel {
  public:
    static constexpr double kDefaultRunTime = 30.0;   // min
    static constexpr double kDefaultPointRate = 3.0;  // points per second
    static constexpr double kAddedMinutes = 5.0;      // "Добавить 5 минут"

    CChannel(CDevice& owner, int index, ChannelHost* host);
    ~CChannel() override;

    // Channels of every device made from now on record through `host` (which
    // must outlive the devices).
    static ChannelFactory factory(ChannelHost* host);
    void setHost(ChannelHost* host);
    void setQueueLink(std::shared_ptr<AnalysisQueueLink> link);
    // The channel's own link, else the host's.
    AnalysisQueueLink* queueLink() const;

    // The method, the number of analyses of the series and whether the
    // method's instrument settings go to the instrument.
    void SetMethod(const std::string& name, int seriesCount, bool useMethodSettings);
    // Prepares and starts at once; a failure (no method, method not read)
    // has been told to the operator and comes back as well.
    Status RecordNow();
    // Prepares and waits for the start signal.
    Status Arm();
    // Any thread: the start (or cancel) goes to the waiting window once.
    void TriggerStart();
    void TriggerCancel();
    // The waiting window's buttons.
    void StartFromWaiting(bool notifyDevice);  // "Начать запись" / "Просмотр канала"
    void CancelWaiting();                      // "&Отмена"
    void PrepareForAnalysis();  // "Начать подготовку к анализу"
    // Any thread.
    void Stop(bool interrupted);
    void AddTime();
    // Edits the prepared or recording document's passport (the passport
    // dialog) and journals the result. A recording that ends meanwhile is
    // finished only after the edit, so the editor never outlives its
    // document. Interface thread.
    void EditPassport(const std::function<void(CZelmoraDoc&)>& edit);
    // A run time other than the method's for the prepared recording (the
    // command-line tool's --minutes); ignored while recording.
    void SetRunTime(double minutes);
    // "Остановить запись серии анализов": this analysis is the series' last.
    void EndSeries();

    // AcquisitionChannel
    bool isRecording() const override { return recording_.load(); }
    bool isWaitingForStart() const override { return waiting_.load(); }
    // Stopped, with its chromatogram not made yet (the end is posted).
    bool isFinishing() const { return finishing_.load() && !recording_.load(); }
    double recordedMinutes() const override;
    void addSample(double valueMv) override;
    void triggerStart() override { TriggerStart(); }
    void stop(bool interrupted) override { Stop(interrupted); }

    bool available() const;
    bool useMethodSettings() const override { return useMethodSettings_.load(); }
    int seriesTotal() const { return total_.load(); }
    int seriesRemaining() const { return remaining_.load(); }
    double runTime() const;    // min
    double pointRate() const;  // points per second
    double pointStep() const;  // min
    std::size_t capacity() const;
    std::size_t pointCount() const;
    // Appends the points from `from` on to `out`; the count written so far.
    std::size_t copyPoints(std::size_t from, std::vector<float>& out) const;
    float lastValue() const;
    // +1, or −1 while the prepared recording's method inverts this
    // channel's detector signal: every sample is multiplied by it before it
    // is brought to the method's rate.
    int polarity() const;
    std::string unit() const { return "мВ"; }
    // The document being prepared or recorded (interface thread), or null.
    CZelmoraDoc* document() const { return doc_.get(); }
    // Writes the journal's buffer when it is a second old; the recording
    // window's timer calls it so that a silent instrument loses nothing.
    void flushJournal();
    std::filesystem::path journalPath() const;

    // Sample-passport data of the autosampler, taken by the next RecordNow.
    void setSamplePassport(int vial, int injection, std::string sample);

    // A recording that made no chromatogram (ended with no point) or a
    // chromatogram, once per recording; for the front ends and tests.
    int finishedCount() const { return finished_.load(); }

  private:
    Status prepare(bool recordNow);
    void startRecording(bool notifyDevice);
    void endOfRecording(bool interrupted);
    void discardPrepared();
    // The device's method-started hook, keeping its last loaded method
    // when the method's instrument settings are not used.
    void methodStarted();
    void post(std::function<void()> work);
    void playSound(const char* name);

    ChannelHost* host_ = nullptr;               // interface thread; set before the device opens
    std::shared_ptr<AnalysisQueueLink> queue_;  // interface thread
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);  // posted work checks it

    std::atomic<bool> waiting_{false};
    std::atomic<bool> recording_{false};
    std::atomic<bool> startPosted_{false};
    std::atomic<bool> finishing_{false};
    std::atomic<bool> notified_{false};  // the device was told of this recording
    std::atomic<bool> useMethodSettings_{true};
    std::atomic<int> total_{1};
    std::atomic<int> remaining_{1};
    std::atomic<int> finished_{0};

    // Interface thread only.
    std::unique_ptr<CZelmoraDoc> doc_;
    bool editingPassport_ = false;
    int pendingEnd_ = -1;  // the end of a recording that came during an edit: 0/1 interrupted
    bool samplePassport_ = false;
    int sampleVial_ = 0;
    int sampleInjection_ = 0;
    std::string sampleText_;

    mutable std::mutex mutex_;  // guards the fields below
    std::vector<float> points_;
    std::size_t capacity_ = 0;
    double runTime_ = kDefaultRunTime;
    double pointRate_ = kDefaultPointRate;
    double deviceRate_ = 0;
    int polarity_ = 1;
    ChannelResampler resampler_;
    std::shared_ptr<RecordingJournal> journal_;
};

// The polarity a method asks for on channel `channel` of its instrument: −1
// when its chromatograph settings invert that detector ("Инверсия Дет1" ...
// "Инверсия Дет4", detector channels 1-4), else +1. A method without
// chromatograph settings, and any other channel, records the signal as it
// comes.
int signalPolarity(const Method* method, int channel);

// Device-wide: trigger every waiting channel, cancel every waiting channel,
// and start the idle channels in use (waiting ones are triggered, the others
// get "Записать хроматограмму" unless a series is under way on them).
void TriggerAll(CDevice& device);
void CancelAll(CDevice& device);
void StartIdleChannels(CDevice& device);

// Makes a finished recording a chromatogram: CreateFromRecording (method,
// processing, file name, folder, the automatic save with the database and the
// backup copy), the report request of the method, and, when `exportNow`, the
// method's text export. `alwaysSave` writes the file even with "AutoSave"
// off (the command-line tool and recovered recordings).
Result<FinishedRecording> finishRecording(CZelmoraDoc& doc, MessageSink& sink,
                                          const ProgramOptions& options, bool alwaysSave,
                                          bool exportNow);

// A journal left by a recording that did not finish, made a chromatogram
// through finishRecording (saved always), with "Запись прервана" and the
// time of its last point in the passport's comment. The journal is removed
// once the file is written.
struct RecoveredRecording {
    FinishedRecording finished;
    std::size_t points = 0;
    JournalInfo info;
};
Result<RecoveredRecording> recoverRecording(const std::filesystem::path& journal, MessageSink& sink,
                                            const ProgramOptions& options);

}  // namespace zelmora
