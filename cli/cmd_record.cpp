// zelmora-cli record: a channel records as in the desktop program (the same
// channel: method, run time, resampling, series, journal), headless. Each
// finished analysis is processed, saved, put in the database and exported
// as the method asks; its file is printed on stdout, progress on stderr.

#include <chrono>
#include <cstdio>

#include "app/program_settings.h"
#include "app/settings_store.h"
#include "app/text.h"
#include "cli/cli.h"
#include "cli/interrupt_signals.h"
#include "cli/recording_setup.h"
#include "document/zelmora_doc.h"
#include "instruments/channel.h"
#include "instruments/device_manager.h"
#include "instruments/device_types.h"

namespace zelmora::cli {
namespace {

// The channel's "interface thread" is the command's main loop.
class CliChannelHost : public LoopChannelHost {
  public:
    CliChannelHost() : LoopChannelHost("zelmora-cli record: ") {}
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
    std::string describe(const CZelmoraDoc& doc, const FinishedRecording& f) const override {
        return text::format(
            "Хроматограмма: %s, точек %zu, пиков %zu%s%s", f.path.c_str(), doc.sampleCount(),
            doc.peakCount(),
            doc.passport.databaseKey > 0
                ? text::format(", номер анализа %d", doc.passport.databaseKey).c_str()
                : "",
            f.exported ? ", экспорт записан" : "");
    }

    std::string sample;
    bool waitStart = false;
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
    int timeoutMs = kDefaultReceiveTimeoutMs;
    if (const auto usage = readRecordingLimits(args, host.minutes, timeoutMs))
        return *usage;
    host.sample = args.option("--sample").value_or("");
    host.openPassport = !host.sample.empty();
    host.waitStart = args.flag("--wait-start");
    host.database = !args.flag("--no-db");

    const WorkLogSession session;
    // The results go to the database through the save, as in the desktop program.
    RecordingDatabase database;
    if (host.database)
        if (const Status opened = database.open(); !opened)
            return failure(opened);

    CDeviceManager m(userSettings());
    m.setChannelFactory(CChannel::factory(&host));
    m.load();
    const auto target = chooseRecordingTarget<CChannel>(m, *deviceNo, *channelNo, timeoutMs);
    if (!target)
        return failure(target.message());
    const int di = target->deviceIndex;
    const int ci = target->channelIndex;
    CDevice& dev = *target->device;
    CChannel* channel = target->channel;
    // The start buttons' commands for this channel, on the loop.
    dev.setCommandSink([&host, channel, ci](int id) {
        const auto cmd = command::decode(id);
        if (!cmd || cmd->channel != ci)
            return;
        if (cmd->kind == command::Kind::Stop)
            host.post([channel] { channel->Stop(true); });
    });
    if (const Status connected = connectRecordingDevice(m, di); !connected)
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
    return recordingExit(lost, "record");
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
