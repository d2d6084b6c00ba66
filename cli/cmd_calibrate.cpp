// zelmora-cli calibrate: adds calibration chromatograms to a method as
// calibration levels and refits every component's curve.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>

#include "app/text.h"
#include "cli/cli.h"
#include "cli/stderr_sink.h"
#include "document/message_sink.h"
#include "document/zelmora_doc.h"
#include "processing/chromatogram_processing.h"
#include "processing/identification.h"

namespace zelmora::cli {
namespace {

struct Amount {
    std::string name;
    double value = 0;
};

// NAME:TIME[:CURVE] adds the component or sets its retention time and curve.
bool applyComponents(const std::vector<std::string>& given, CalculationSettings& s,
                     std::string& error) {
    for (const std::string& g : given) {
        const auto c1 = g.find(':');
        const auto c2 = c1 == std::string::npos ? c1 : g.find(':', c1 + 1);
        std::optional<double> time;
        std::optional<long long> curve;
        if (c1 != std::string::npos && c1 > 0)
            time = text::parseDouble(g.substr(c1 + 1, c2 == std::string::npos ? c2 : c2 - c1 - 1),
                                     true);
        if (c2 != std::string::npos)
            curve = text::parseInt(g.substr(c2 + 1));
        if (!time || *time < 0 ||
            (c2 != std::string::npos && (!curve || *curve < 0 || *curve >= kCurveTypes))) {
            error = "неверный компонент \"" + g + "\" (нужно ИМЯ:ВРЕМЯ[:ВИД КРИВОЙ 0-17])";
            return false;
        }
        MethodComponent& c = findOrAddComponent(s, g.substr(0, c1));
        c.retentionTime = *time;
        if (curve)
            c.curveType = static_cast<std::int32_t>(*curve);
    }
    return true;
}

bool parseAmounts(const std::vector<std::string>& given, std::vector<Amount>& out,
                  std::string& error) {
    for (const std::string& g : given) {
        const auto eq = g.rfind('=');
        std::optional<double> v;
        if (eq != std::string::npos && eq > 0)
            v = text::parseDouble(g.substr(eq + 1), true);
        if (!v || *v < 0) {
            error = "неверное количество \"" + g + "\" (нужно ИМЯ=ЧИСЛО, не меньше 0)";
            return false;
        }
        out.push_back({g.substr(0, eq), *v});
    }
    return true;
}

// Reads one calibration chromatogram and makes its peaks ready: marked and
// identified by the method when the file holds none, the amounts given on
// the command line entered.
bool prepare(CZelmoraDoc& doc, const std::filesystem::path& path, const Method& method,
             const std::vector<Amount>& amounts, std::string& error) {
    if (const Status read = doc.Read(path); !read) {
        error = "не удалось прочитать " + path.string() + ": " + read.message();
        return false;
    }
    if (doc.passport.calibration == 0)
        std::fprintf(stderr,
                     "zelmora-cli calibrate: %s: в паспорте нет отметки «Градуировочная»; "
                     "хроматограмма взята как градуировочная\n",
                     path.string().c_str());
    doc.passport.calibration = 1;
    doc.reloadMethod(methodCopyOf(method));
    if (doc.peaks.empty())
        ProcessChromatogram(doc);
    else if (std::none_of(doc.peaks.peaks.begin(), doc.peaks.peaks.end(),
                          [](const Peak& p) { return p.identified(); }))
        IdentifyPeaks(doc);
    for (const Amount& a : amounts) {
        Peak* p = doc.peakByName(a.name);
        if (p == nullptr) {
            error = path.string() + ": нет пика компонента " + a.name;
            return false;
        }
        p->concentration = a.value;
    }
    if (std::none_of(doc.peaks.peaks.begin(), doc.peaks.peaks.end(),
                     [](const Peak& p) { return p.identified(); })) {
        error = path.string() + ": ни один пик не опознан";
        return false;
    }
    return true;
}

int run(Args& args) {
    if (!args.parse({}, {"--level", "--amount", "--component", "--kind", "--response"}))
        return kExitUsage;
    if (args.positional().size() < 2)
        return args.usageError("нужны метод и хотя бы одна градуировочная хроматограмма");
    const std::vector<std::string> files(args.positional().begin() + 1, args.positional().end());
    std::vector<Amount> amounts;
    std::string error;
    if (!parseAmounts(args.options("--amount"), amounts, error))
        return args.usageError(error);
    if (!amounts.empty() && files.size() != 1)
        return args.usageError("--amount задаёт количества одной хроматограммы");

    Method method;
    std::string methodName;
    std::filesystem::path methodFile;
    if (!readMethodFrom(args.positional()[0], method, methodName, error, &methodFile))
        return failure(error);
    CalculationSettings& s = method.calculation;
    if (auto k = args.option("--kind")) {
        const auto v = text::parseInt(*k);
        if (!v || *v < 0 || *v >= kCalculationKinds)
            return args.usageError("неверный метод расчёта " + *k + " (0-8)");
        s.kind = static_cast<std::int32_t>(*v);
    }
    if (auto r = args.option("--response")) {
        if (*r != "height" && *r != "area")
            return args.usageError("отклик: height или area");
        s.response = *r == "area" ? 1 : 0;
    }
    if (!applyComponents(args.options("--component"), s, error))
        return args.usageError(error);

    std::optional<std::size_t> level;
    if (auto l = args.option("--level")) {
        const auto n = text::parseInt(*l);
        if (files.size() != 1)
            return args.usageError("--level задаёт уровень одной хроматограммы");
        if (!n || *n < 1 || static_cast<std::size_t>(*n) > levelCount(s))
            return args.usageError(
                text::format("нет уровня %s (уровней в методе: %zu)", l->c_str(), levelCount(s)));
        level = static_cast<std::size_t>(*n - 1);
    }

    StderrMessageSink sink;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (files.size() > 1)
            std::fprintf(stderr, "[%zu/%zu] %s\n", i + 1, files.size(), files[i].c_str());
        CZelmoraDoc doc;
        if (!prepare(doc, files[i], method, amounts, error))
            return failure(error + "; метод не изменён");
        if (level) {
            const int other = findLevel(s, doc.passport.analysisTime);
            if (other >= 0 && static_cast<std::size_t>(other) != *level)
                return failure(text::format("%s уже использована в уровне %d; метод не изменён",
                                            files[i].c_str(), other + 1));
            // The chosen level becomes this chromatogram's level.
            for (MethodComponent& c : s.components)
                if (*level < c.points.size())
                    c.points[*level].dateTime = doc.passport.analysisTime;
        }
        sink.prefix = "zelmora-cli calibrate: " + files[i] + ": ";
        MessageSink* tell = level ? nullptr : &sink;
        const CalibrationPointResult r = CalibrateWith(method, doc, tell);
        for (const std::string& m : r.fit.messages)
            std::fprintf(stderr, "zelmora-cli calibrate: %s\n", m.c_str());
        std::fprintf(stderr, "%s: уровень %d, компонентов %d%s\n", files[i].c_str(), r.level + 1,
                     r.components,
                     r.added > 0 ? text::format(", добавлено в метод %d", r.added).c_str() : "");
    }

    WorkLogSession log;
    if (!writeMethodTo(methodFile, method, error))
        return failure("не удалось записать метод " + methodFile.string() + ": " + error);

    const CalibrationReport fit = FitAllComponents(s);  // the statistics to show
    const bool classic = s.kind != 1 && s.kind != 3;
    std::printf("Метод %s: уровней %zu\n", methodFile.string().c_str(), levelCount(s));
    for (std::size_t i = 0; i < s.components.size(); ++i) {
        const MethodComponent& c = s.components[i];
        std::printf("%-20s %s  k0=%s k1=%s k2=%s k3=%s", c.name.c_str(),
                    classic ? "Y=k1*X" : curveTypeCaption(c.curveType),
                    formatCoefficient(c.k0).c_str(), formatCoefficient(c.k1).c_str(),
                    formatCoefficient(c.k2).c_str(), formatCoefficient(c.k3).c_str());
        if (classic)
            std::printf("  ОСКО=%.3f%% R=%.3f%%", fit.statistics[i].rsd, fit.statistics[i].range);
        std::printf("%s\n", c.manual ? "  (вручную)" : "");
    }
    return kExitOk;
}

}  // namespace

extern const CliCommand kCommand_calibrate = {
    "calibrate", "добавить градуировочные хроматограммы в метод и пересчитать градуировки",
    "Использование: zelmora-cli calibrate МЕТОД.mtd ФАЙЛ.stg... [--level N]\n"
    "         [--amount ИМЯ=КОЛИЧЕСТВО]... [--component ИМЯ:ВРЕМЯ[:ВИД]]...\n"
    "         [--kind N] [--response height|area]\n"
    "Каждая хроматограмма становится уровнем градуировки всех компонентов метода\n"
    "(уровень узнаётся по дате анализа: повторно взятая хроматограмма заменяет свой\n"
    "уровень). Пики берутся из файла; файл без пиков размечается и\n"
    "идентифицируется методом. Количества — концентрации пиков в файле или\n"
    "заданные --amount. Затем все градуировки пересчитываются по методу расчёта\n"
    "и метод записывается. При любой ошибке метод не изменяется.\n"
    "  --level N              записать хроматограмму в уровень N (с 1) вместо нового\n"
    "  --amount ИМЯ=КОЛ-ВО     количество компонента ИМЯ (только для одного файла)\n"
    "  --component ИМЯ:ВРЕМЯ[:ВИД]  добавить компонент в метод или задать его время\n"
    "                         удерживания и вид кривой (0-17) до идентификации\n"
    "  --kind N               метод расчёта 0-8\n"
    "  --response height|area отклик детектора: высота или площадь\n",
    run};

}  // namespace zelmora::cli
