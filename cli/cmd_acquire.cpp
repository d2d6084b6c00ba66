// zelmora-cli acquire: connect one device and record the samples of one
// channel into a CSV file, for a quick check of a converter or simulator, or
// into a chromatogram processed and saved as every finished recording is.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/paths.h"
#include "app/program_settings.h"
#include "app/settings_store.h"
#include "app/text.h"
#include "cli/cli.h"
#include "cli/interrupt_signals.h"
#include "cli/recording_setup.h"
#include "cli/stderr_sink.h"
#include "document/zelmora_doc.h"
#include "instruments/channel.h"
#include "instruments/device_manager.h"
#include "instruments/device_types.h"
#include "processing/chromatogram_commands.h"

namespace zelmora::cli {
namespace {

int run(Args& args) {
    if (!args.parse({}, {"--device", "--channel", "--seconds", "--out", "--timeout-ms", "--method",
                         "--sample"}))
        return kExitUsage;
    if (!args.positional().empty())
        return args.usageError("лишние аргументы");
    const auto deviceText = args.option("--device");
    const auto channelText = args.option("--channel");
    const auto secondsText = args.option("--seconds");
    const auto out = args.option("--out");
    const auto method = args.option("--method");
    if (!deviceText || !channelText || !secondsText || (!out && !method))
        return args.usageError("нужны --device, --channel, --seconds и --out или --method");
    const auto deviceNo = text::parseInt(*deviceText);
    const auto channelNo = text::parseInt(*channelText);
    const auto seconds = text::parseDouble(*secondsText);
    if (!deviceNo || !channelNo)
        return args.usageError("номера прибора и канала считаются с 1");
    if (!seconds || *seconds <= 0 || *seconds > 24 * 3600)
        return args.usageError("время записи в секундах, больше 0: " + *secondsText);
    int timeoutMs = kDefaultReceiveTimeoutMs;
    double noMinutes = 0;  // the length is given in seconds here
    if (const auto usage = readRecordingLimits(args, noMinutes, timeoutMs))
        return *usage;

    const WorkLogSession session;  // outlives the devices, so their last lines are kept
    CDeviceManager m(userSettings());
    m.load();
    const auto target = chooseRecordingTarget<SampleChannel>(m, *deviceNo, *channelNo, timeoutMs);
    if (!target)
        return failure(target.message());
    const int di = target->deviceIndex;
    const int ci = target->channelIndex;
    CDevice& dev = *target->device;
    SampleChannel* channel = target->channel;
    // A start button asking to stop ends the recording early.
    std::atomic<bool> stopPressed{false};
    dev.setCommandSink([&](int id) {
        const auto cmd = command::decode(id);
        if (cmd && cmd->kind == command::Kind::Stop && cmd->channel == ci)
            stopPressed = true;
    });
    if (const Status connected = connectRecordingDevice(m, di); !connected)
        return failure(connected, "Подключить прибор не удалось. ");
    const std::time_t analysisTime = std::time(nullptr);
    // Ctrl+C ends the recording early; what was recorded is kept below.
    const InterruptSignals interrupt;
    channel->recordNow();
    const auto t0 = std::chrono::steady_clock::now();
    const auto end = t0 + std::chrono::duration<double>(*seconds);
    int lastShown = -1;
    while (std::chrono::steady_clock::now() < end && dev.isRunning() && channel->isRecording() &&
           !stopPressed && InterruptSignals::caught() == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const int s = static_cast<int>(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        if (s != lastShown) {
            lastShown = s;
            std::fprintf(stderr, stderrIsTerminal() ? "\r%d с, точек %zu" : "%d с, точек %zu\n", s,
                         channel->sampleCount());
        }
    }
    const bool lost = !dev.isRunning();
    channel->stop(lost);
    m.disconnect(di);
    if (stderrIsTerminal())
        std::fputc('\n', stderr);

    const auto values = channel->samples();
    const double rate = dev.sampleRate(ci);
    std::string csv = "time_s,value_mv\n";
    for (std::size_t i = 0; i < values.size(); ++i)
        csv += text::format("%.4f,%.6f\n", static_cast<double>(i) / rate, values[i]);
    if (out) {
        const Status written = paths::writeFileAtomically(*out, csv);
        if (!written)
            return failure(written, "не удалось записать " + *out + ": ");
        std::fprintf(stderr, "Записано точек: %zu в %s\n", values.size(), out->c_str());
    }
    if (method) {
        CZelmoraDoc doc;
        doc.signal.t0 = 0;
        doc.signal.dt = 1.0 / (rate * 60.0);
        doc.signal.samples.assign(values.begin(), values.end());
        doc.passport = Passport(analysisTime);
        doc.passport.analysisTime = analysisTime;
        doc.passport.method = *method;
        if (const auto sample = args.option("--sample"))
            doc.passport.sample = *sample;
        StderrMessageSink sink("zelmora-cli acquire: ");
        // The finishing of every recording: processing, the save (always,
        // here), the report request and the export the method asks for.
        const Result<FinishedRecording> r =
            finishRecording(doc, sink, programOptions(), true, true);
        if (!r)
            return failure(r.message());
        std::printf("%s\n", r->path.c_str());
        std::fprintf(stderr, "Хроматограмма: %s, пиков %zu%s\n", r->path.c_str(), doc.peakCount(),
                     doc.hasMethod ? "" : " (метод не загружен, без обработки)");
    }
    return recordingExit(lost, "acquire");
}

}  // namespace

extern const CliCommand kCommand_acquire = {
    "acquire", "записать сырые отсчёты канала прибора в CSV",
    "Использование: zelmora-cli acquire --device N --channel C --seconds S\n"
    "                                  [--out ФАЙЛ.csv] [--method МЕТОД [--sample ТЕКСТ]]\n"
    "                                  [--timeout-ms T]\n"
    "Подключает прибор N из списка (zelmora-cli devices list), записывает отсчёты\n"
    "канала C в течение S секунд и сохраняет их (время в секундах, сигнал в мВ).\n"
    "  --out ФАЙЛ.csv   сырые отсчёты в CSV\n"
    "  --method МЕТОД   хроматограмма по методу: фильтрация, разметка, идентификация,\n"
    "                   концентрации; файл в папке хроматограмм (её путь печатается)\n"
    "  --sample ТЕКСТ   проба в паспорте хроматограммы\n"
    "  --timeout-ms T   сколько ждать данных от прибора (по умолчанию 5000)\n"
    "Запись кончается раньше, если прибор замолчал (код 1), нажата кнопка «Стоп»\n"
    "или Ctrl+C (код 130); записанное до того сохраняется.\n",
    run};

}  // namespace zelmora::cli
