#include "instruments/channel.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "app/text.h"
#include "app/work_log.h"
#include "document/chromatogram_export.h"
#include "document/message_sink.h"
#include "document/zelmora_doc.h"
#include "instruments/device.h"
#include "instruments/device_types.h"
#include "method/document_method.h"
#include "processing/recorded_chromatogram.h"

namespace zelmora {

namespace fs = std::filesystem;

namespace {

std::int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Points of a run: the whole run time at the point rate, at least one. The
// method keeps both in single precision (0.05 min is 0.0500000007): a
// millionth of a point is rounding, not a point more.
std::size_t pointsFor(double runTime, double pointRate) {
    const double exact = runTime * 60.0 * pointRate;
    const double n = std::ceil(exact - 1e-6 * std::max(1.0, exact));
    return n < 1 ? 1 : static_cast<std::size_t>(n);
}

// Everything up to here is kept for at most this many points (a day at the
// fastest rate); larger run times grow the array as the points come.
constexpr std::size_t kReserveLimit = std::size_t{1} << 22;

}  // namespace

CChannel::CChannel(CDevice& owner, int index, ChannelHost* host)
    : AcquisitionChannel(owner, index), host_(host) {}

CChannel::~CChannel() {
    std::shared_ptr<RecordingJournal> journal;
    {
        std::lock_guard lock(mutex_);
        journal = journal_;
    }
    // A channel destroyed while recording keeps its journal for recovery.
    if (journal)
        journal->flush();
}

ChannelFactory CChannel::factory(ChannelHost* host) {
    return [host](CDevice& d, int i) -> std::unique_ptr<AcquisitionChannel> {
        return std::make_unique<CChannel>(d, i, host);
    };
}

void CChannel::setHost(ChannelHost* host) {
    host_ = host;
}

void CChannel::setQueueLink(std::shared_ptr<AnalysisQueueLink> link) {
    queue_ = std::move(link);
}

AnalysisQueueLink* CChannel::queueLink() const {
    if (queue_)
        return queue_.get();
    return host_ != nullptr ? host_->queueLink() : nullptr;
}

void CChannel::post(std::function<void()> work) {
    if (host_ == nullptr)
        return;
    std::weak_ptr<int> alive = alive_;
    host_->post([alive, work = std::move(work)] {
        if (alive.lock())
            work();
    });
}

void CChannel::playSound(const char* name) {
    if (host_ != nullptr && host_->options().useSound)
        host_->playSound(name);
}

void CChannel::SetMethod(const std::string& name, int seriesCount, bool useMethodSettings) {
    setMethodName(name);
    useMethodSettings_.store(useMethodSettings);
    const int n = std::max(1, seriesCount);
    total_.store(n);
    remaining_.store(n);
}

bool CChannel::available() const {
    return inUse() && device().isRunning();
}

double CChannel::runTime() const {
    std::lock_guard lock(mutex_);
    return runTime_;
}

double CChannel::pointRate() const {
    std::lock_guard lock(mutex_);
    return pointRate_;
}

double CChannel::pointStep() const {
    return 1.0 / (pointRate() * 60.0);
}

std::size_t CChannel::capacity() const {
    std::lock_guard lock(mutex_);
    return capacity_;
}

std::size_t CChannel::pointCount() const {
    std::lock_guard lock(mutex_);
    return points_.size();
}

std::size_t CChannel::copyPoints(std::size_t from, std::vector<float>& out) const {
    std::lock_guard lock(mutex_);
    if (from < points_.size())
        out.insert(out.end(), points_.begin() + static_cast<std::ptrdiff_t>(from), points_.end());
    return points_.size();
}

int CChannel::polarity() const {
    std::lock_guard lock(mutex_);
    return polarity_;
}

float CChannel::lastValue() const {
    std::lock_guard lock(mutex_);
    return points_.empty() ? 0.0f : points_.back();
}

double CChannel::recordedMinutes() const {
    std::lock_guard lock(mutex_);
    return static_cast<double>(points_.size()) / (pointRate_ * 60.0);
}

fs::path CChannel::journalPath() const {
    std::lock_guard lock(mutex_);
    return journal_ ? journal_->path() : fs::path();
}

void CChannel::flushJournal() {
    std::shared_ptr<RecordingJournal> journal;
    {
        std::lock_guard lock(mutex_);
        journal = journal_;
    }
    if (journal)
        journal->flushIfDue(steadyMs());
}

void CChannel::setSamplePassport(int vial, int injection, std::string sample) {
    samplePassport_ = true;
    sampleVial_ = vial;
    sampleInjection_ = injection;
    sampleText_ = std::move(sample);
}

Status CChannel::RecordNow() {
    // A stopped recording whose chromatogram is not made yet still owns the
    // channel's document.
    if (recording_.load() || waiting_.load() || finishing_.load())
        return Status::failure("канал уже занят");
    return prepare(true);
}

Status CChannel::Arm() {
    if (recording_.load() || waiting_.load() || finishing_.load())
        return Status::failure("канал уже занят");
    return prepare(false);
}

Status CChannel::prepare(bool recordNow) {
    if (host_ == nullptr)
        return Status::failure("канал не подключён к программе");
    MessageSink& sink = host_->messages();
    const std::string method = methodName();
    const int d = device().deviceIndex() + 1;
    const std::string name = device().displayName();
    if (recordNow && text::trim(method).empty()) {
        const std::string m = text::format(
            "Не могу запустить запись по каналу %d, прибор %d (%s), поскольку на данном канале "
            "записи не выбран какой-либо метод.",
            index() + 1, d, name.c_str());
        sink.messageBox("Zelmora", m, MessageIcon::Warning);
        return Status::failure(m);
    }
    auto doc = std::make_unique<CZelmoraDoc>();
    doc->passport = Passport(std::time(nullptr));
    double runTime = kDefaultRunTime;
    double pointRate = kDefaultPointRate;
    int polarity = 1;
    if (!text::trim(method).empty()) {
        doc->passport.method = method;
        if (!doc->reloadMethod(sink))
            return Status::failure("метод " + method + " не прочитан");
        if (const Method* m = documentMethod(*doc)) {
            // A run time or rate of 0 would give no signal at all: the
            // defaults stand in for them.
            if (m->capture.analysisTime > 0)
                runTime = m->capture.analysisTime;
            if (m->capture.samplingRate > 0)
                pointRate = m->capture.samplingRate;
            // The inverted detector of the method's chromatograph settings:
            // its peaks are recorded upright, the same whether the channel
            // was armed or told to record at once. An instrument that
            // inverts the detector itself has already done so.
            if (!device().invertsDetectorsItself())
                polarity = signalPolarity(m, index());
        }
    }
    if (recordNow && samplePassport_) {
        doc->passport.sample = sampleText_;
        doc->passport.vial = sampleVial_;
        doc->passport.sample2 = text::format("Инжекция %d", sampleInjection_);
    }
    const double step = 1.0 / (pointRate * 60.0);
    doc->signal.dt = step;
    doc->signal.t0 = step / 2;
    {
        std::lock_guard lock(mutex_);
        runTime_ = runTime;
        pointRate_ = pointRate;
        deviceRate_ = device().sampleRate(index());
        capacity_ = pointsFor(runTime, pointRate);
        polarity_ = polarity;
        points_.clear();
    }
    doc_ = std::move(doc);
    if (recordNow) {
        total_.store(1);
        remaining_.store(1);
        startRecording(true);
    } else {
        startPosted_.store(false);
        waiting_.store(true);
        host_->showWaiting(*this);
        methodStarted();
    }
    if (host_->options().checkOpenPassport && doc_)
        EditPassport([this](CZelmoraDoc& doc) { host_->editPassport(doc); });
    return {};
}

void CChannel::EditPassport(const std::function<void(CZelmoraDoc&)>& edit) {
    if (doc_ == nullptr || editingPassport_)
        return;
    editingPassport_ = true;
    edit(*doc_);
    editingPassport_ = false;
    std::shared_ptr<RecordingJournal> journal;
    {
        std::lock_guard lock(mutex_);
        journal = journal_;
    }
    if (journal && doc_)
        journal->appendPassport(doc_->passport);
    if (pendingEnd_ >= 0) {
        const bool interrupted = pendingEnd_ == 1;
        pendingEnd_ = -1;
        endOfRecording(interrupted);
    }
}

void CChannel::TriggerStart() {
    if (!waiting_.load() || startPosted_.exchange(true))
        return;
    post([this] {
        if (waiting_.load())
            StartFromWaiting(true);
    });
}

void CChannel::TriggerCancel() {
    if (!waiting_.load() || startPosted_.exchange(true))
        return;
    post([this] {
        if (waiting_.load())
            CancelWaiting();
    });
}

void CChannel::StartFromWaiting(bool notifyDevice) {
    if (!waiting_.load() || doc_ == nullptr)
        return;
    if (notifyDevice && !device().beginRun()) {
        CancelWaiting();
        return;
    }
    startRecording(notifyDevice);
}

void CChannel::CancelWaiting() {
    if (!waiting_.exchange(false))
        return;
    if (host_ != nullptr)
        host_->closeWaiting(*this);
    device().onStartCancelled(index());
    discardPrepared();
}

void CChannel::PrepareForAnalysis() {
    device().prepareForAnalysis();
    methodStarted();
}

void CChannel::methodStarted() {
    // Only a method whose instrument settings go to the instrument becomes
    // its last loaded method.
    const std::string before = device().lastLoadMethod();
    device().onMethodStarted(index());
    if (!useMethodSettings_.load())
        device().setLastLoadMethod(before);
}

void CChannel::discardPrepared() {
    doc_.reset();
    std::lock_guard lock(mutex_);
    points_.clear();
    points_.shrink_to_fit();
}

void CChannel::startRecording(bool notifyDevice) {
    if (waiting_.exchange(false) && host_ != nullptr)
        host_->closeWaiting(*this);
    const ProgramOptions options = host_->options();
    doc_->passport.analysisTime = host_->startTime();
    if (AnalysisQueueLink* q = queueLink(); options.enableKGK && q)
        q->recordingStarting(*this, doc_->passport);

    JournalInfo info;
    info.device = device().deviceIndex();
    info.channel = index();
    info.deviceName = device().displayName();
    info.method = doc_->passport.method;
    info.t0 = doc_->signal.t0;
    info.dt = doc_->signal.dt;
    info.analysisTime = doc_->passport.analysisTime;
    info.seriesTotal = total_.load();
    info.seriesRemaining = remaining_.load();
    std::shared_ptr<RecordingJournal> journal;
    const fs::path folder = host_->journalFolder();
    {
        std::lock_guard lock(mutex_);
        info.runTime = runTime_;
    }
    if (!folder.empty()) {
        auto made = RecordingJournal::create(folder, info, doc_->passport);
        if (made)
            journal = std::move(*made);
        else
            CWorkLog::instance().write("! Журнал записи не создан: " + made.message());
    }
    {
        std::lock_guard lock(mutex_);
        points_.clear();
        points_.reserve(std::min(capacity_, kReserveLimit));
        resampler_.reset(pointRate_, deviceRate_);
        journal_ = std::move(journal);
    }
    notified_.store(notifyDevice);
    // Up before recording_, down when the chromatogram is made: no one sees
    // the channel idle between the stop and its chromatogram.
    finishing_.store(true);
    recording_.store(true);
    if (notifyDevice)
        device().onRecordingStarted(index());
    playSound("start.wav");
    CWorkLog::instance().write(text::format("  Начало записи, прибор %d (%s), канал %d",
                                            device().deviceIndex() + 1,
                                            device().displayName().c_str(), index() + 1));
    host_->recordingStarted(*this);
}

void CChannel::addSample(double valueMv) {
    if (!recording_.load())
        return;
    bool full = false;
    std::shared_ptr<RecordingJournal> journal;
    {
        std::lock_guard lock(mutex_);
        if (!recording_.load() || points_.size() >= capacity_)
            return;
        const std::size_t before = points_.size();
        resampler_.add(polarity_ * valueMv, points_);
        if (points_.size() > capacity_)
            points_.resize(capacity_);
        if (journal_ && points_.size() > before)
            journal_->appendPoints(points_.data() + before, points_.size() - before);
        full = points_.size() >= capacity_;
        journal = journal_;
    }
    if (journal)
        journal->flushIfDue(steadyMs());
    if (full)
        Stop(false);
}

void CChannel::Stop(bool interrupted) {
    if (!recording_.exchange(false))
        return;
    if (notified_.exchange(false))
        device().onRecordingStopped(index());
    std::shared_ptr<RecordingJournal> journal;
    {
        std::lock_guard lock(mutex_);
        journal = journal_;
    }
    if (journal)
        journal->appendEnd(interrupted);
    CWorkLog::instance().write(text::format(
        "  Конец записи, прибор %d (%s), канал %d%s", device().deviceIndex() + 1,
        device().displayName().c_str(), index() + 1, interrupted ? ": запись прервана" : ""));
    post([this, interrupted] { endOfRecording(interrupted); });
}

void CChannel::AddTime() {
    std::shared_ptr<RecordingJournal> journal;
    {
        std::lock_guard lock(mutex_);
        runTime_ += kAddedMinutes;
        capacity_ = pointsFor(runTime_, pointRate_);
        journal = journal_;
        if (journal)
            journal->appendRunTime(runTime_);
    }
}

void CChannel::SetRunTime(double minutes) {
    if (recording_.load() || !(minutes > 0))
        return;
    std::lock_guard lock(mutex_);
    runTime_ = minutes;
    capacity_ = pointsFor(runTime_, pointRate_);
}

void CChannel::EndSeries() {
    if (remaining_.load() > 1)
        remaining_.store(1);
}

void CChannel::endOfRecording(bool interrupted) {
    if (editingPassport_) {
        pendingEnd_ = interrupted ? 1 : 0;
        return;
    }
    if (host_ == nullptr || doc_ == nullptr) {
        finishing_.store(false);
        return;
    }
    playSound("stop.wav");
    host_->recordingEnded(*this);
    std::unique_ptr<CZelmoraDoc> doc = std::move(doc_);
    std::shared_ptr<RecordingJournal> journal;
    {
        std::lock_guard lock(mutex_);
        doc->signal.samples = std::move(points_);
        points_ = {};
        journal = std::move(journal_);
    }
    // The autosampler's sample data belonged to this injection only.
    samplePassport_ = false;
    const int total = total_.load();
    const int remaining = remaining_.load();
    if (doc->passport.numberInSeries <= 0)
        doc->passport.numberInSeries = total - remaining + 1;
    const ProgramOptions options = host_->options();
    if (AnalysisQueueLink* q = queueLink(); options.enableKGK && q)
        q->recordingStopped(*this, interrupted);

    MessageSink& sink = host_->messages();
    Result<FinishedRecording> finished =
        finishRecording(*doc, sink, options, false, options.autoClose);
    if (AnalysisQueueLink* q = queueLink(); options.enableKGK && q && !interrupted && finished)
        finished->handedOver = q->resultReady(*this, *doc, *finished);
    if (journal) {
        if (!finished || finished->saved)
            journal->remove();
        else
            finished->journal = journal->path();
    }
    ++finished_;
    remaining_.store(std::max(0, remaining - 1));
    finishing_.store(false);
    if (available() && remaining_.load() > 0)
        Arm();
    host_->chromatogramReady(*this, finished ? std::move(doc) : nullptr, finished);
}

int signalPolarity(const Method* method, int channel) {
    if (method == nullptr || !method->kalder || channel < 0 ||
        channel >= MethodKalderSettings::kDetectors)
        return 1;
    return method->kalder->invertDetector[static_cast<std::size_t>(channel)] != 0 ? -1 : 1;
}

void TriggerAll(CDevice& device) {
    for (int c = 0; c < device.channelCount(); ++c)
        if (device.channel(c).isWaitingForStart())
            device.channel(c).triggerStart();
}

void CancelAll(CDevice& device) {
    for (int c = 0; c < device.channelCount(); ++c)
        if (auto* ch = dynamic_cast<CChannel*>(&device.channel(c)))
            ch->TriggerCancel();
}

void StartIdleChannels(CDevice& device) {
    for (int c = 0; c < device.channelCount(); ++c) {
        AcquisitionChannel& ch = device.channel(c);
        if (!ch.inUse() || ch.isRecording())
            continue;
        if (ch.isWaitingForStart()) {
            ch.triggerStart();
            continue;
        }
        // A channel between the analyses of its series is not started anew
        // with "Записать хроматограмму": its series arms it again.
        if (const auto* own = dynamic_cast<const CChannel*>(&ch);
            own != nullptr && own->seriesTotal() > 1 && own->seriesRemaining() > 0 &&
            own->seriesRemaining() < own->seriesTotal())
            continue;
        device.postCommand(command::kRecord + command::channelKey(device.deviceIndex(), c));
    }
}

Result<FinishedRecording> finishRecording(CZelmoraDoc& doc, MessageSink& sink,
                                          const ProgramOptions& options, bool alwaysSave,
                                          bool exportNow) {
    const Result<RecordedChromatogram> made = CreateFromRecording(doc, sink, options);
    if (!made)
        return made.status();
    FinishedRecording f;
    f.path = made->path;
    f.saved = made->saved;
    const Method* method = documentMethod(doc);
    if (method != nullptr)
        doc.reportState = method->report.autoPrint ? 2 : (method->report.autoGenerate ? 1 : 0);
    if (!f.saved && alwaysSave) {
        f.saved = doc.OnSaveDocument(f.path, sink, options);
        if (!f.saved)
            return Status::failure(messageText(kMsgSaveError, f.path.string()));
    }
    if (exportNow && method != nullptr && method->report.autoExport) {
        const auto exported = ExportText(doc, sink, nullptr, ExportMode::Automatic);
        f.exported = exported.ok();
    }
    return f;
}

Result<RecoveredRecording> recoverRecording(const fs::path& journalPath, MessageSink& sink,
                                            const ProgramOptions& options) {
    auto read = RecordingJournal::read(journalPath);
    if (!read)
        return read.status();
    JournalContents& c = *read;
    CZelmoraDoc doc;
    if (c.hasPassport)
        doc.passport = c.passport;
    doc.passport.analysisTime = c.info.analysisTime;
    if (doc.passport.method.empty())
        doc.passport.method = c.info.method;
    doc.signal.t0 = c.info.t0;
    doc.signal.dt = c.info.dt;
    doc.signal.samples = std::move(c.points);
    RecoveredRecording out;
    out.points = doc.signal.size();
    out.info = c.info;
    const double last = doc.signal.empty() ? 0.0 : doc.signal.timeAt(doc.signal.size() - 1.0);
    const std::string note =
        c.ended && !c.interrupted
            ? text::format("Запись восстановлена после сбоя программы (%.2f мин).", last)
            : text::format("Запись прервана: восстановлена после сбоя программы, %.2f мин из %.3g.",
                           last, c.info.runTime);
    doc.passport.comment =
        doc.passport.comment.empty() ? note : doc.passport.comment + "\r\n" + note;
    if (doc.signal.empty()) {
        // Nothing to make a chromatogram of: the journal goes.
        std::error_code ec;
        fs::remove(journalPath, ec);
        return Status::failure(journalPath.string() + ": в журнале нет ни одной точки");
    }
    auto finished = finishRecording(doc, sink, options, true, true);
    if (!finished)
        return finished.status();
    out.finished = *finished;
    std::error_code ec;
    fs::remove(journalPath, ec);
    CWorkLog::instance().write(text::format("  Восстановлена запись %s: %zu точек, %s",
                                            journalPath.filename().c_str(), out.points,
                                            out.finished.path.c_str()));
    return out;
}

}  // namespace zelmora
