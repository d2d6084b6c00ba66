// zelmora-cli synth: writes a synthetic chromatogram (Gaussian peaks on a
// drifting baseline with noise) for demonstrations and comparisons.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/text.h"
#include "cli/cli.h"
#include "document/message_sink.h"
#include "document/zelmora_doc.h"
#include "processing/synthetic.h"

namespace zelmora::cli {
namespace {

bool number(const Args& args, const char* name, double& out) {
    if (auto v = args.option(name)) {
        auto parsed = text::parseDouble(*v);
        if (!parsed)
            return false;
        out = *parsed;
    }
    return true;
}

// ", площадь каждого A мВ*мин" when the peaks are alike, otherwise the
// smallest and the largest area.
std::string areaText(const std::vector<SyntheticPeak>& peaks) {
    if (peaks.empty())
        return {};
    double low = peaks.front().area(), high = low;
    for (const SyntheticPeak& p : peaks) {
        low = std::min(low, p.area());
        high = std::max(high, p.area());
    }
    if (high - low <= 1e-9 * std::max(std::fabs(low), std::fabs(high)))
        return text::format(", площадь каждого %.6g мВ*мин", low);
    return text::format(", площади от %.6g до %.6g мВ*мин", low, high);
}

int run(Args& args) {
    if (!args.parse({"--calibration"},
                    {"--samples", "--peaks", "--dt", "--height", "--sigma", "--drift", "--noise",
                     "--seed", "--raw", "--peak", "--method", "--analysis-time", "--sample"}))
        return kExitUsage;
    if (args.positional().size() != 1)
        return args.usageError("нужен файл хроматограммы для записи");
    double samples = 10000, peaks = 20, dt = 0.001, height = 10, sigma = 0.02, drift = 0, noise = 0,
           seed = 1;
    for (auto [name, v] : {std::pair{"--samples", &samples},
                           {"--peaks", &peaks},
                           {"--dt", &dt},
                           {"--height", &height},
                           {"--sigma", &sigma},
                           {"--drift", &drift},
                           {"--noise", &noise},
                           {"--seed", &seed}})
        if (!number(args, name, *v))
            return args.usageError(std::string("неверное значение ") + name);
    if (!(samples >= 3 && samples <= 1e9) || !(dt > 0) || !(peaks >= 0) || !(sigma > 0))
        return args.usageError("нужны --samples >= 3, --dt > 0, --sigma > 0, --peaks >= 0");
    SyntheticChromatogram spec;
    spec.samples = static_cast<std::int64_t>(samples);
    spec.dt = dt;
    spec.level = 1;
    spec.drift = drift;
    spec.noise = noise;
    spec.seed = static_cast<std::uint64_t>(seed);
    spec.peaks = evenlySpacedPeaks(spec, static_cast<int>(peaks), height, sigma);
    if (!args.options("--peak").empty()) {
        // Peaks given one by one as time:height[:sigma] replace the even ones.
        spec.peaks.clear();
        for (const std::string& given : args.options("--peak")) {
            std::vector<double> parts;
            std::size_t from = 0;
            for (;;) {
                const std::size_t colon = given.find(':', from);
                auto v = text::parseDouble(given.substr(from, colon - from));
                if (!v)
                    return args.usageError("неверный пик \"" + given + "\" (ВРЕМЯ:ВЫСОТА[:СИГМА])");
                parts.push_back(*v);
                if (colon == std::string::npos)
                    break;
                from = colon + 1;
            }
            if (parts.size() < 2 || parts.size() > 3 || (parts.size() == 3 && !(parts[2] > 0)))
                return args.usageError("неверный пик \"" + given + "\" (ВРЕМЯ:ВЫСОТА[:СИГМА])");
            spec.peaks.push_back({parts[0], parts[1], parts.size() == 3 ? parts[2] : sigma});
        }
    }
    CZelmoraDoc doc;
    doc.signal = makeSyntheticSignal(spec);
    doc.peaks.attach(&doc.signal);
    doc.keepUndoCopy();
    if (auto m = args.option("--method"))
        doc.passport.method = *m;
    if (auto sample = args.option("--sample"))
        doc.passport.sample = *sample;
    doc.passport.calibration = args.flag("--calibration") ? 1 : 0;
    if (auto t = args.option("--analysis-time")) {
        auto v = text::parseInt(*t);
        if (!v || *v < 0 || *v > 0xFFFFFFFFll)
            return args.usageError("неверное время анализа (секунды с 1970 года)");
        doc.passport.analysisTime = static_cast<std::time_t>(*v);
    }
    const std::filesystem::path path = args.positional()[0];
    SilentMessageSink sink;
    if (!doc.Write(path, sink, false))
        return failure("не удалось записать " + path.string());
    if (auto raw = args.option("--raw")) {
        // The samples alone, as little-endian 32-bit floats, for other programs.
        std::ofstream out(*raw, std::ios::binary);
        out.write(reinterpret_cast<const char*>(doc.signal.samples.data()),
                  static_cast<std::streamsize>(doc.signal.samples.size() * sizeof(float)));
        if (!out)
            return failure("не удалось записать " + *raw);
    }
    std::printf("Записано %s: %zu точек, %zu пиков%s\n", path.string().c_str(), doc.signal.size(),
                spec.peaks.size(), areaText(spec.peaks).c_str());
    return kExitOk;
}

}  // namespace

extern const CliCommand kCommand_synth = {
    "synth", "синтетическая хроматограмма для проверок",
    "Использование: zelmora-cli synth ФАЙЛ.stg [--samples N] [--peaks K] [--dt МИН]\n"
    "         [--height МВ] [--sigma МИН] [--drift МВ/МИН] [--noise МВ] [--seed S] [--raw ФАЙЛ]\n"
    "         [--peak ВРЕМЯ:ВЫСОТА[:СИГМА]]... [--method М] [--calibration] [--analysis-time СЕК]\n"
    "         [--sample ТЕКСТ]\n"
    "Записывает хроматограмму из K гауссовых пиков равной высоты, равномерно\n"
    "расставленных по N точкам с шагом dt, на базовой линии с дрейфом и шумом\n"
    "(стандартное отклонение, мВ; S задаёт последовательность шума).\n"
    "  --raw ФАЙЛ   ещё и отсчёты как 32-битные числа с плавающей точкой\n"
    "  --peak ВРЕМЯ:ВЫСОТА[:СИГМА]  пик по отдельности (можно повторять; вместо --peaks)\n"
    "  --method М   метод в паспорте хроматограммы\n"
    "  --calibration         отметить хроматограмму как градуировочную\n"
    "  --analysis-time СЕК   время анализа в паспорте, секунды с 1970 года\n"
    "  --sample ТЕКСТ        описание пробы в паспорте\n",
    run};

}  // namespace zelmora::cli
