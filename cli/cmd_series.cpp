// zelmora-cli series: the HT300 autosampler works through a list of vials
// headless, and every injection records one chromatogram on a channel of
// another device through the same channel code as the desktop program
// (method, resampling, journal, processing, saving, database). Each file is
// printed on stdout as it is finished; the sampler's states and the
// recordings' progress go to stderr.

#include <chrono>
#include <cstdio>
#include <set>

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
#include "instruments/ht300_recording.h"
#include "instruments/ht300_sampler.h"

namespace zelmora::cli {
namespace {

// The command's main loop stands for the interface thread.
class SeriesHost : public LoopChannelHost {
  public:
    SeriesHost() : LoopChannelHost("zelmora-cli series: ") {}
    void recordingStarted(CChannel& channel) override {
        ++started;
        const CZelmoraDoc* doc = channel.document();
        std::fprintf(stderr, "Начало записи: виала %d (%s), %.3g мин\n",
                     doc ? doc->passport.vial : 0, doc ? doc->passport.sample.c_str() : "",
                     minutes > 0 ? minutes : channel.runTime());
    }
    std::string describe(const CZelmoraDoc& doc, const FinishedRecording& f) const override {
        return text::format("Хроматограмма: %s, виала %d, точек %zu, пиков %zu", f.path.c_str(),
                            doc.passport.vial, doc.sampleCount(), doc.peakCount());
    }

    int started = 0;
};

// "1-5", "2,4,9-11": the vials, from 1, in ascending order.
std::optional<std::set<int>> parseVials(const std::string& textIn) {
    std::set<int> vials;
    std::size_t from = 0;
    while (from <= textIn.size()) {
        std::size_t comma = textIn.find(',', from);
        if (comma == std::string::npos)
            comma = textIn.size();
        const std::string p(text::trim(std::string_view(textIn).substr(from, comma - from)));
        from = comma + 1;
        const auto dash = p.find('-');
        const auto a = text::parseInt(dash == std::string::npos ? p : p.substr(0, dash));
        const auto b = dash == std::string::npos ? a : text::parseInt(p.substr(dash + 1));
        if (!a || !b || *a < 1 || *b < *a || *b > kHt300MaxVials)
            return std::nullopt;
        for (long long v = *a; v <= *b; ++v)
            vials.insert(static_cast<int>(v));
    }
    if (vials.empty())
        return std::nullopt;
    return vials;
}

int run(Args& args) {
    if (!args.parse({"--no-db"}, {"--sampler", "--vials", "--device", "--channel", "--method",
                                  "--repeat", "--minutes", "--timeout-ms"}))
        return kExitUsage;
    if (!args.positional().empty())
        return args.usageError("лишние аргументы");
    const auto samplerText = args.option("--sampler");
    const auto vialsText = args.option("--vials");
    const auto deviceText = args.option("--device");
    const auto channelText = args.option("--channel");
    const auto method = args.option("--method");
    if (!samplerText || !vialsText || !deviceText || !channelText || !method)
        return args.usageError("нужны --sampler, --vials, --device, --channel и --method");
    const auto samplerNo = text::parseInt(*samplerText);
    const auto deviceNo = text::parseInt(*deviceText);
    const auto channelNo = text::parseInt(*channelText);
    if (!samplerNo || !deviceNo || !channelNo)
        return args.usageError("номера дозатора, прибора и канала считаются с 1");
    const auto vials = parseVials(*vialsText);
    if (!vials)
        return args.usageError(text::format("виалы — номера от 1 до %d, например 1-5 или 2,4,7: %s",
                                            kHt300MaxVials, vialsText->c_str()));
    int repeat = 1;
    if (const auto r = args.option("--repeat")) {
        const auto v = text::parseInt(*r);
        if (!v || *v < 1 || *v > 99)
            return args.usageError("число дозирований одной пробы от 1 до 99: " + *r);
        repeat = static_cast<int>(*v);
    }
    SeriesHost host;
    int timeoutMs = kDefaultReceiveTimeoutMs;
    if (const auto usage = readRecordingLimits(args, host.minutes, timeoutMs))
        return *usage;
    host.database = !args.flag("--no-db");

    const WorkLogSession session;
    RecordingDatabase database;
    if (host.database)
        if (const Status opened = database.open(); !opened)
            return failure(opened);

    CDeviceManager m(userSettings());
    m.setChannelFactory(CChannel::factory(&host));
    m.load();
    if (*samplerNo < 1 || *samplerNo > m.count())
        return failure(text::format("нет прибора %lld (в списке %d)", *samplerNo, m.count()));
    const int si = static_cast<int>(*samplerNo) - 1;
    auto* sampler = dynamic_cast<CHt300Sampler*>(&m.device(si));
    if (sampler == nullptr)
        return failure(text::format("прибор %d — не %s", si + 1,
                                    deviceTypeName(static_cast<int>(DeviceType::Ht300))));
    if (*deviceNo == *samplerNo)
        return failure(text::format("нет прибора %lld для записи", *deviceNo));
    const auto recording = chooseRecordingTarget<CChannel>(m, *deviceNo, *channelNo, timeoutMs);
    if (!recording)
        return failure(recording.message());
    const int di = recording->deviceIndex;
    const int ci = recording->channelIndex;
    CDevice& dev = *recording->device;
    CChannel* channel = recording->channel;
    sampler->setHandshakeTimeoutMs(timeoutMs);

    // This run's settings: the chosen device and channel, the chosen vials
    // (the stored list is not changed), every other value as stored.
    Ht300Settings s = sampler->settings();
    s.deviceIndex = di;
    s.startChannelBits0 = 1 << ci;
    s.startChannelBits1 = 1 << ci;
    s.repeat = repeat;
    sampler->setSettings(s);
    for (int i = 0; i < kHt300MaxVials; ++i) {
        Ht300Vial v = sampler->vials()[static_cast<std::size_t>(i)];
        v.use = vials->count(i + 1) > 0;
        sampler->setVial(i, v);
    }
    auto target = std::make_shared<Ht300DeviceListTarget>(
        m, [&host](std::function<void()> w) { host.post(std::move(w)); });
    sampler->setRecordingTarget(target);
    channel->SetMethod(*method, 1, true);

    for (int i : {di, si}) {
        if (const Status connected = connectRecordingDevice(m, i); !connected) {
            m.disconnect(di);
            return failure(connected, "Подключить прибор не удалось. ");
        }
    }
    auto disconnect = [&] {
        m.disconnect(si);
        m.disconnect(di);
    };
    // The sampler reports its tray and syringe while it initialises.
    const auto initDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (sampler->state() == CHt300Sampler::Init &&
           std::chrono::steady_clock::now() < initDeadline)
        host.run(50);
    if (sampler->state() != CHt300Sampler::Waiting) {
        disconnect();
        return failure("дозатор HT300 не закончил инициализацию");
    }
    if (*vials->rbegin() > sampler->vialPlaces()) {
        disconnect();
        return failure(text::format("виала %d вне лотка дозатора (%d мест)", *vials->rbegin(),
                                    sampler->vialPlaces()));
    }
    if (auto e = validateHt300Settings(s, sampler->syringeUl(), true)) {
        disconnect();
        return failure(*e);
    }
    const int expected = static_cast<int>(vials->size()) * repeat;
    std::fprintf(stderr, "Серия: %zu виал по %d дозирования, лоток %d мест, шприц %.0f мкл\n",
                 vials->size(), repeat, sampler->vialPlaces(), sampler->syringeUl());
    const InterruptSignals interrupt;
    if (const Status started = sampler->startSeries(); !started) {
        disconnect();
        return failure(started);
    }

    std::string lastStatus;
    bool lost = false;
    bool stopped = false;
    int lastShown = -1;
    auto t0 = std::chrono::steady_clock::now();
    for (;;) {
        host.run(50);
        channel->flushJournal();
        if (InterruptSignals::caught() != 0 && !stopped) {
            stopped = true;
            sampler->stopSeries();
            if (channel->isRecording())
                channel->Stop(true);
        }
        if ((!dev.isRunning() || !sampler->isRunning()) && !lost) {
            lost = true;
            sampler->stopSeries();
        }
        const std::string status = sampler->statusText();
        if (status != lastStatus) {
            lastStatus = status;
            std::fprintf(stderr, "HT300: %s\n", status.c_str());
        }
        const bool busy =
            channel->isRecording() || channel->isFinishing() || host.started > host.finished;
        if (sampler->state() == CHt300Sampler::Waiting && !busy &&
            (host.finished >= sampler->injectionsDone() || lost || stopped)) {
            host.run(0);
            if (!channel->isRecording() && !channel->isFinishing())
                break;
        }
        // --minutes: the recording ends there, as if the method's run time
        // were that long.
        if (host.minutes > 0 && channel->isRecording() &&
            channel->recordedMinutes() >= host.minutes)
            channel->Stop(false);
        if (channel->isRecording()) {
            const int sec = static_cast<int>(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
            if (sec != lastShown) {
                lastShown = sec;
                std::fprintf(stderr,
                             stderrIsTerminal() ? "\r%.2f мин / %.3g мин, точек %zu"
                                                : "%.2f мин / %.3g мин, точек %zu\n",
                             channel->recordedMinutes(),
                             host.minutes > 0 ? host.minutes : channel->runTime(),
                             channel->pointCount());
            }
        } else {
            t0 = std::chrono::steady_clock::now();
        }
    }
    disconnect();
    if (stderrIsTerminal())
        std::fputc('\n', stderr);
    std::fprintf(stderr, "Записано хроматограмм: %d из %d\n", host.finished - host.failed,
                 expected);
    if (const int signal = InterruptSignals::caught(); signal != 0) {
        std::fprintf(stderr, "zelmora-cli series: серия прервана (сигнал %d)\n", signal);
        return 128 + signal;
    }
    if (lost)
        return failure("прибор отключился, серия прервана");
    if (host.failed > 0 || host.finished - host.failed < expected)
        return failure(text::format("серия не закончена: хроматограмм %d из %d (см. журнал)",
                                    host.finished - host.failed, expected));
    return kExitOk;
}

}  // namespace

extern const CliCommand kCommand_series = {
    "series", "серия анализов с дозатором HT300: по хроматограмме на виалу",
    "Использование: zelmora-cli series --sampler N --vials СПИСОК --device D --channel C\n"
    "                                 --method МЕТОД [--repeat K] [--minutes МИН]\n"
    "                                 [--timeout-ms T] [--no-db]\n"
    "Подключает дозатор HT300 (прибор N из списка zelmora-cli devices list) и прибор D,\n"
    "дозирует пробы из виал СПИСКА (например 1-5 или 2,4,7-9) и после каждого\n"
    "дозирования записывает канал C прибора D по методу. В паспорте хроматограммы —\n"
    "номер виалы, имя пробы из списка дозатора и номер ввода. Законченная запись\n"
    "обрабатывается, сохраняется и попадает в базу данных, как в zelmora-cli record.\n"
    "Путь каждого файла печатается на stdout, ход серии — на stderr.\n"
    "  --repeat K      дозирований одной пробы (по умолчанию 1)\n"
    "  --minutes МИН   время записи вместо времени анализа метода\n"
    "  --timeout-ms T  сколько ждать данных от прибора (по умолчанию 5000)\n"
    "  --no-db         не сохранять результаты в базу данных\n"
    "Код выхода 0 — записаны все хроматограммы серии; 1 — серия не закончена\n"
    "(дозатор не ответил, прибор замолчал, запись не удалась); 130 — Ctrl+C.\n",
    run};

}  // namespace zelmora::cli
