// zelmora-cli record: a channel records as in the desktop program (the same
// channel: method, run time, resampling, series, journal), headless. Each
// finished analysis is processed, saved, put in the database and exported
// as the method asks; its file is printed on stdout, progress on stderr.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>

#include "app/paths.h"
#include "app/program_settings.h"
#include "app/settings_store.h"
#include "app/text.h"
#include "cli/cli.h"
#include "cli/interrupt_signals.h"
#include "cli/stderr_sink.h"
#include "database/analyses_database.h"
#include "database/analysis_start_time.h"
#include "database/results_saver.h"
#include "document/results_store.h"
#include "document/zelmora_doc.h"
#include "instruments/channel.h"
#include "instruments/device_manager.h"
#include "instruments/device_types.h"
#include "method/document_method.h"

namespace zelmora::cli {
namespace {

// The channel's "interface thread" is the command's main loop: posted work
// waits in a queue that the loop runs.
class CliChannelHost : public ChannelHost {
  public:
    void post(std::function<void()> work) override {
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(std::move(work));
        }
        wake_.notify_one();
    }
    // Runs what was posted, waiting up to `ms` for the first piece.
    void run(int ms) {
        std::deque<std::function<void()>> work;
        {
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return !queue_.empty(); });
            work.swap(queue_);
        }
        for (auto& w : work)
            w();
    }
    MessageSink& messages() override { return sink_; }
    ProgramOptions options() const override {
        ProgramOptions o = programOptions();
        // Headless, every analysis is written and its results saved.
        o.autoSave = true;
        o.checkSaveDb = database;
        o.autoClose = true;
        o.checkOpenPassport = !sample.empty();
        return o;
    }
    std::time_t startTime() override { return AnalysisStartTime::instance().next(); }
    std::filesystem::path journalFolder() const override {
        return RecordingJournal::folderIn(paths::defaultDataFolder());
    }
    void editPassport(CZelmoraDoc& doc) override { doc.passport.sample = sample; }
    void showWaiting(CChannel& channel) override {
        if (minutes > 0)
            channel.SetRunTime(minutes);
        if (!waitStart)
            post([&channel] { channel.StartFromWaiting(true); });
        else
            std::fprintf(stderr, "Ожидание запуска (кнопка «Пуск» прибора)\n");
    }
    void recordingStarted(CChannel& channel) override {
        if (minutes > 0)
            channel.SetRunTime(minutes);
        std::fprintf(stderr, "Начало записи: анализ %d из %d, %.3g мин\n",
                     channel.seriesTotal() - channel.seriesRemaining() + 1, channel.seriesTotal(),
                     channel.runTime());
    }
    void chromatogramReady(CChannel&, std::unique_ptr<CZelmoraDoc> doc,
                           const Result<FinishedRecording>& f) override {
        ++finished;
        if (!f) {
            std::fprintf(stderr, "zelmora-cli record: %s\n", f.message().c_str());
            ++failed;
            return;
        }
        std::printf("%s\n", f->path.c_str());
        std::fflush(stdout);
        std::fprintf(stderr, "Хроматограмма: %s, точек %zu, пиков %zu%s%s\n", f->path.c_str(),
                     doc->sampleCount(), doc->peakCount(),
                     doc->passport.databaseKey > 0
                         ? text::format(", номер анализа %d", doc->passport.databaseKey).c_str()
                         : "",
                     f->exported ? ", экспорт записан" : "");
    }

    std::string sample;
    double minutes = 0;
    bool waitStart = false;
    bool database = true;
    int finished = 0;
    int failed = 0;

  private:
    StderrMessageSink sink_{"zelmora-cli record: "};
    std::mutex mutex_;  // guards queue_
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
};

int run(Args& args) {
    if (!args.parse({"--wait-start", "--no-db"}, {"--device", "--channel", "--method", "--sample",
                                                  "--series", "--minutes", "--timeout-ms"}))
        return kExitUsage;
    if (!args.positional().empty())
        return args.usageError("лишние аргументы");
    const auto deviceText = args.option("--device");
    const auto channelText = args.option("--channel");
    const auto method = args.option("--method");
    if (!deviceText || !channelText || !method)
        return args.usageError("нужны --device, --channel и --method");
    const auto deviceNo = text::parseInt(*deviceText);
    const auto channelNo = text::parseInt(*channelText);
    if (!deviceNo || !channelNo)
        return args.usageError("номера прибора и канала считаются с 1");
    long long series = 1;
    if (const auto s = args.option("--series")) {
        const auto v = text::parseInt(*s);
        if (!v || *v < 1 || *v > 1000)
            return args.usageError("число анализов серии от 1 до 1000: " + *s);
        series = *v;
    }
    CliChannelHost host;
    if (const auto m = args.option("--minutes")) {
        const auto v = text::parseDouble(*m);
        if (!v || *v <= 0 || *v > 3000)
            return args.usageError("время записи в минутах, от 0 до 3000: " + *m);
        host.minutes = *v;
    }
    int timeoutMs = kDefaultReceiveTimeoutMs;
    if (const auto t = args.option("--timeout-ms")) {
        const auto v = text::parseInt(*t);
        if (!v || *v < 10 || *v > 600000)
            return args.usageError("время ожидания от 10 до 600000 мс: " + *t);
        timeoutMs = static_cast<int>(*v);
    }
    host.sample = args.option("--sample").value_or("");
    host.waitStart = args.flag("--wait-start");
    host.database = !args.flag("--no-db");

    const WorkLogSession session;
    // The results go to the database through the save, as in the desktop program.
    std::unique_ptr<db::CAnalysesDatabase> database;
    struct StoreGuard {
        ~StoreGuard() { installResultsStore(nullptr); }
    } storeGuard;
    if (host.database) {
        const std::filesystem::path file = programOptions().databaseFile();
        database = std::make_unique<db::CAnalysesDatabase>(file);
        std::error_code ec;
        const db::Status opened =
            std::filesystem::exists(file, ec)
                ? database->open()
                : (paths::ensureFolder(file.parent_path()), database->create());
        if (!opened)
            return failure(opened, "база данных: ");
        installResultsStore(
            std::make_shared<db::CAnalysesStore>(*database, documentMethodComponents));
    }

    CDeviceManager m(userSettings());
    m.setChannelFactory(CChannel::factory(&host));
    m.load();
    if (*deviceNo < 1 || *deviceNo > m.count())
        return failure(text::format("нет прибора %lld (в списке %d)", *deviceNo, m.count()));
    const int di = static_cast<int>(*deviceNo) - 1;
    CDevice& dev = m.device(di);
    if (*channelNo < 1 || *channelNo > dev.channelCount())
        return failure(
            text::format("у прибора %s %d каналов", dev.displayName().c_str(), dev.channelCount()));
    const int ci = static_cast<int>(*channelNo) - 1;
    auto* channel = dynamic_cast<CChannel*>(&dev.channel(ci));
    if (channel == nullptr)
        return failure("канал не поддерживает запись");
    dev.setReceiveTimeoutMs(timeoutMs);
    dev.setHandshakeTimeoutMs(timeoutMs);
    // The start buttons' commands for this channel, on the loop.
    dev.setCommandSink([&host, channel, ci](int id) {
        const auto cmd = command::decode(id);
        if (!cmd || cmd->channel != ci)
            return;
        if (cmd->kind == command::Kind::Stop)
            host.post([channel] { channel->Stop(true); });
    });
    std::fprintf(stderr, "Подключение: прибор %d (%s), %s\n", di + 1, dev.displayName().c_str(),
                 deviceHasPort(dev.type()) ? m.portPath(dev.portIndex()).c_str() : "без порта");
    if (const Status connected = m.connect(di); !connected)
        return failure(connected, "Подключить прибор не удалось. ");

    const InterruptSignals interrupt;
    channel->SetMethod(*method, static_cast<int>(series), true);
    if (const Status armed = channel->Arm(); !armed) {
        m.disconnect(di);
        return failure(armed);
    }
    bool lost = false;
    int lastShown = -1;
    const auto t0 = std::chrono::steady_clock::now();
    for (;;) {
        host.run(50);
        channel->flushJournal();
        if (InterruptSignals::caught() != 0) {
            channel->EndSeries();
            if (channel->isRecording())
                channel->Stop(true);
            else if (channel->isWaitingForStart())
                channel->CancelWaiting();
        }
        if (!dev.isRunning() && !lost) {
            lost = true;
            if (channel->isWaitingForStart())
                channel->CancelWaiting();
        }
        if (!channel->isRecording() && !channel->isWaitingForStart() && !channel->isFinishing()) {
            host.run(0);
            if (!channel->isRecording() && !channel->isWaitingForStart())
                break;
        }
        if (channel->isRecording()) {
            const int s = static_cast<int>(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
            if (s != lastShown) {
                lastShown = s;
                std::fprintf(stderr,
                             stderrIsTerminal() ? "\r%.2f мин / %.3g мин, точек %zu, %.3f мВ"
                                                : "%.2f мин / %.3g мин, точек %zu, %.3f мВ\n",
                             channel->recordedMinutes(), channel->runTime(), channel->pointCount(),
                             static_cast<double>(channel->lastValue()));
            }
        }
    }
    m.disconnect(di);
    if (stderrIsTerminal())
        std::fputc('\n', stderr);
    if (host.failed > 0)
        return kExitFailure;
    if (lost)
        return failure("прибор замолчал, запись прервана; записанное сохранено");
    if (const int signal = InterruptSignals::caught(); signal != 0) {
        std::fprintf(stderr,
                     "zelmora-cli record: запись прервана (сигнал %d); записанное сохранено\n",
                     signal);
        return 128 + signal;
    }
    return kExitOk;
}

}  // namespace

extern const CliCommand kCommand_record = {
    "record", "записать хроматограмму по методу на канале прибора",
    "Использование: zelmora-cli record --device N --channel C --method МЕТОД\n"
    "                                 [--sample ТЕКСТ] [--series K] [--wait-start]\n"
    "                                 [--minutes МИН] [--timeout-ms T] [--no-db]\n"
    "Подключает прибор N из списка (zelmora-cli devices list) и записывает канал C\n"
    "по методу: время анализа и частота точек берутся из метода. Законченная запись\n"
    "обрабатывается (фильтрация, разметка, идентификация, концентрации), сохраняется\n"
    "в папку хроматограмм, её результаты — в базу данных, экспорт и отчёт — как\n"
    "велит метод. Путь каждого файла печатается на stdout, ход записи — на stderr.\n"
    "  --sample ТЕКСТ  проба в паспорте\n"
    "  --series K      серия из K анализов (по умолчанию 1), номера 1..K в паспортах\n"
    "  --wait-start    ждать сигнала «Пуск» прибора перед каждым анализом\n"
    "  --minutes МИН   время записи вместо времени анализа метода\n"
    "  --timeout-ms T  сколько ждать данных от прибора (по умолчанию 5000)\n"
    "  --no-db         не сохранять результаты в базу данных\n"
    "Пока идёт запись, точки пишутся в журнал в папке Recovery; после сбоя запись\n"
    "восстанавливает zelmora-cli recover. Прибор замолчал — запись прерывается (код 1),\n"
    "Ctrl+C — прерывается с сохранением (код 130).\n",
    run};

}  // namespace zelmora::cli
