// zelmora-cli noise: the noise and drift figures of a chromatogram file.

#include <cstdio>

#include "app/program_settings.h"
#include "cli/cli.h"
#include "cli/json.h"
#include "document/message_sink.h"
#include "document/zelmora_doc.h"
#include "processing/chromatogram_treatments.h"

namespace zelmora::cli {
namespace {

int run(Args& args) {
    if (!args.parse({"--json", "--max"}, {}))
        return kExitUsage;
    if (args.positional().size() != 1)
        return args.usageError("нужен один файл хроматограммы");
    const std::string path = args.positional()[0];
    CZelmoraDoc doc;
    if (const Status read = doc.Read(path); !read)
        return failure(read, messageText(kMsgOpenError, path) + " ");
    const ProgramOptions o = programOptions();
    const bool maxExcursion = args.flag("--max") || o.noiseCalcType == 1;
    const NoiseAndDrift r = EstimateNoiseAndDrift(doc, o.processor, maxExcursion);
    if (args.flag("--json")) {
        JsonWriter j;
        j.beginObject()
            .field("file", path)
            .field("noiseMv", r.noise)
            .field("driftMvPerHour", r.drift)
            .field("method", maxExcursion ? "max" : "rms")
            .field("peaks", doc.peaks.size())
            .endObject();
        std::fputs(j.str().c_str(), stdout);
        return kExitOk;
    }
    std::printf("Шум:   %.6g мВ (%s)\n", r.noise,
                maxExcursion ? "Максимальный выброс" : "Среднеквадратичное отклонение");
    std::printf("Дрейф: %.6g мВ/ч\n", r.drift);
    return kExitOk;
}

}  // namespace

extern const CliCommand kCommand_noise = {
    "noise", "шум и дрейф нулевой линии хроматограммы",
    "Использование: zelmora-cli noise ФАЙЛ.stg [--max] [--json]\n"
    "Шум (мВ) вне размеченных пиков и дрейф (мВ/ч), как в отчёте поверки прибора.\n"
    "  --max    максимальный выброс вместо среднеквадратичного отклонения\n"
    "           (так же при опции \"NoiseCalcType\" = 1)\n"
    "  --json   вывод в формате JSON\n",
    run};

}  // namespace zelmora::cli
