#include "cli/recording_setup.h"

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "app/paths.h"
#include "app/program_settings.h"
#include "app/text.h"
#include "cli/interrupt_signals.h"
#include "database/analyses_database.h"
#include "database/analysis_start_time.h"
#include "database/results_saver.h"
#include "document/results_store.h"
#include "document/zelmora_doc.h"
#include "instruments/device_manager.h"
#include "instruments/device_types.h"
#include "instruments/recording_journal.h"
#include "method/document_method.h"

namespace zelmora::cli {

void LoopChannelHost::post(std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(work));
    }
    wake_.notify_one();
}

void LoopChannelHost::run(int ms) {
    std::deque<std::function<void()>> work;
    {
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return !queue_.empty(); });
        work.swap(queue_);
    }
    for (auto& w : work)
        w();
}

ProgramOptions LoopChannelHost::options() const {
    ProgramOptions o = programOptions();
    o.autoSave = true;
    o.checkSaveDb = database;
    o.autoClose = true;
    o.checkOpenPassport = openPassport;
    return o;
}

std::time_t LoopChannelHost::startTime() {
    return AnalysisStartTime::instance().next();
}

std::filesystem::path LoopChannelHost::journalFolder() const {
    return RecordingJournal::folderIn(paths::defaultDataFolder());
}

void LoopChannelHost::chromatogramReady(CChannel&, std::unique_ptr<CZelmoraDoc> doc,
                                        const Result<FinishedRecording>& f) {
    ++finished;
    if (!f) {
        std::fprintf(stderr, "%s%s\n", prefix_.c_str(), f.message().c_str());
        ++failed;
        return;
    }
    std::printf("%s\n", f->path.c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", describe(*doc, *f).c_str());
}

std::optional<int> readRecordingLimits(Args& args, double& minutes, int& timeoutMs) {
    if (const auto m = args.option("--minutes")) {
        const auto v = text::parseDouble(*m);
        if (!v || *v <= 0 || *v > 3000)
            return args.usageError("время записи в минутах, от 0 до 3000: " + *m);
        minutes = *v;
    }
    if (const auto t = args.option("--timeout-ms")) {
        const auto v = text::parseInt(*t);
        if (!v || *v < 10 || *v > 600000)
            return args.usageError("время ожидания от 10 до 600000 мс: " + *t);
        timeoutMs = static_cast<int>(*v);
    }
    return std::nullopt;
}

RecordingDatabase::RecordingDatabase() = default;

RecordingDatabase::~RecordingDatabase() {
    // The store goes before the database it writes to.
    if (database_)
        installResultsStore(nullptr);
}

Status RecordingDatabase::open() {
    const std::filesystem::path file = programOptions().databaseFile();
    auto database = std::make_unique<db::CAnalysesDatabase>(file);
    std::error_code ec;
    const db::Status opened = std::filesystem::exists(file, ec)
                                  ? database->open()
                                  : (paths::ensureFolder(file.parent_path()), database->create());
    if (!opened)
        return Status::failure("база данных: " + opened.message());
    database_ = std::move(database);
    installResultsStore(std::make_shared<db::CAnalysesStore>(*database_, documentMethodComponents));
    return Status();
}

Result<std::pair<int, int>> chooseRecordingChannel(CDeviceManager& devices, long long deviceNo,
                                                   long long channelNo) {
    if (deviceNo < 1 || deviceNo > devices.count())
        return Status::failure(
            text::format("нет прибора %lld (в списке %d)", deviceNo, devices.count()));
    const int di = static_cast<int>(deviceNo) - 1;
    CDevice& dev = devices.device(di);
    if (channelNo < 1 || channelNo > dev.channelCount())
        return Status::failure(
            text::format("у прибора %s %d каналов", dev.displayName().c_str(), dev.channelCount()));
    return std::pair{di, static_cast<int>(channelNo) - 1};
}

Status connectRecordingDevice(CDeviceManager& devices, int index) {
    CDevice& d = devices.device(index);
    std::fprintf(stderr, "Подключение: прибор %d (%s), %s\n", index + 1, d.displayName().c_str(),
                 deviceHasPort(d.type()) ? devices.portPath(d.portIndex()).c_str() : "без порта");
    return devices.connect(index);
}

int recordingExit(bool lost, const char* command) {
    if (lost)
        return failure("прибор замолчал, запись прервана; записанное сохранено");
    if (const int signal = InterruptSignals::caught(); signal != 0) {
        std::fprintf(stderr, "zelmora-cli %s: запись прервана (сигнал %d); записанное сохранено\n",
                     command, signal);
        return 128 + signal;
    }
    return kExitOk;
}

}  // namespace zelmora::cli
