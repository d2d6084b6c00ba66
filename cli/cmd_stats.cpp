// zelmora-cli stats: the statistics of repeated injections of one sample —
// mean and RSD of retention time, height, area, concentration and retention
// index of every component, the noise and drift of the baseline and the
// detection limits — as the desktop program's window "Статистическая
// обработка" computes them, and its report "Отчёт поверки прибора".

#include <cstdio>
#include <ctime>

#include "app/paths.h"
#include "app/program_settings.h"
#include "app/settings_store.h"
#include "app/text.h"
#include "cli/cli.h"
#include "cli/json.h"
#include "processing/injection_statistics.h"
#include "reports/report_stat.h"
#include "reports/rtf_writer.h"

namespace zelmora::cli {
namespace {

std::string rsd(const std::optional<double>& v) {
    return v ? text::format("%.3f", *v) : std::string("—");
}

void jsonRsd(JsonWriter& j, const char* key, const std::optional<double>& v) {
    j.key(key);
    if (v)
        j.value(*v);
    else
        j.null();
}

int run(Args& args) {
    if (!args.parse({"--json"}, {"--reference", "--zero", "--kacp", "--report"}))
        return kExitUsage;
    if (args.positional().empty())
        return args.usageError("нужны файлы хроматограмм");
    const ProgramOptions o = programOptions();
    StatEntryList list;
    for (const std::string& file : args.positional()) {
        Result<StatEntry> e = readStatEntry(file, o);
        if (!e)
            return failure(e.status());
        StatEntry entry = std::move(e).value();
        entry.listPath = statListPath(file, o.chromatogramFolder());
        list.add(std::move(entry));
    }
    std::optional<std::size_t> current = 0;
    if (auto r = args.option("--reference")) {
        const std::optional<long long> n = text::parseInt(*r);
        if (!n || *n < 1 || static_cast<std::size_t>(*n) > list.size())
            return args.usageError("--reference: номер хроматограммы в списке, от 1 до " +
                                   std::to_string(list.size()));
        current = static_cast<std::size_t>(*n - 1);
    }
    std::optional<StatEntry> zero;
    if (auto z = args.option("--zero")) {
        Result<StatEntry> e = readStatEntry(*z, o);
        if (!e)
            return failure(e.status());
        zero = std::move(e).value();
    }
    const std::string kacp =
        args.option("--kacp").value_or(userSettings().readString(kRootKey, "Kacp", ""));
    const StatisticsResult r =
        computeStatistics(list.entries(), current, zero ? &*zero : nullptr, o);
    const ConvertedNoise c = convertNoise(kacp, r.noise, r.drift);

    if (auto out = args.option("--report")) {
        CPreview view;
        if (Status s = view.loadTemplate(CReportStat::templatePath(paths::programFolder())); !s)
            return failure(s, "шаблон отчёта: ");
        StatReportInput in;
        in.entries = &list.entries();
        in.current = current;
        for (const ComponentStatistics& comp : r.components)
            in.components.push_back(&comp);
        in.noise = noiseText(r.noise, c);
        in.drift = driftText(r.drift, c);
        in.options = o;
        in.now = std::time(nullptr);
        CReportStat::fill(view, in);
        if (Status s = rtf::writeRtfFile(view.document(), *out); !s)
            return failure(s, "отчёт: ");
    }

    if (args.flag("--json")) {
        JsonWriter j;
        j.beginObject().key("chromatograms").beginArray();
        for (std::size_t i = 0; i < list.size(); ++i) {
            const StatEntry& e = list.entries()[i];
            j.beginObject()
                .field("file", e.listPath)
                .field("sample", e.sample)
                .field("reference", current == i)
                .field("noiseMv", e.noise)
                .field("driftMvPerHour", e.drift)
                .endObject();
        }
        j.endArray().field("noiseMv", r.noise).field("driftMvPerHour", r.drift);
        j.key("converted");
        if (c.converted)
            j.beginObject()
                .field("noise", c.noise)
                .field("drift", c.drift)
                .field("unit", c.unit)
                .endObject();
        else
            j.null();
        j.key("components").beginArray();
        for (const ComponentStatistics& s : r.components) {
            j.beginObject().field("name", s.name).field("peaks", s.peakCount);
            j.field("meanTime", s.meanTime);
            jsonRsd(j, "rsdTime", s.rsdTime);
            j.field("meanHeight", s.meanHeight);
            jsonRsd(j, "rsdHeight", s.rsdHeight);
            j.field("meanArea", s.meanArea);
            jsonRsd(j, "rsdArea", s.rsdArea);
            j.field("meanConcentration", s.meanConcentration);
            jsonRsd(j, "rsdConcentration", s.rsdConcentration);
            j.field("indices", s.indexCount);
            j.key("meanIndex");
            if (s.indexCount > 0)
                j.value(s.meanIndex);
            else
                j.null();
            jsonRsd(j, "rsdIndex", s.rsdIndex);
            j.key("detectionLimit");
            if (s.detectionLimit != 0)
                j.value(s.detectionLimit);
            else
                j.null();
            j.field("detectionLimitText", detectionLimitText(s.detectionLimit, o)).endObject();
        }
        j.endArray().endObject();
        std::fputs(j.str().c_str(), stdout);
        return kExitOk;
    }
    for (std::size_t i = 0; i < list.size(); ++i)
        std::printf("%s%zu  %s  %s\n", current == i ? "*" : " ", i + 1,
                    list.entries()[i].listPath.c_str(), list.entries()[i].sample.c_str());
    std::printf("\n%-20s %10s %8s %12s %8s %12s %8s %12s %8s %10s %8s  %s\n", "Компонент", "Время",
                "ОСКО,%", "Высота", "ОСКО,%", "Площадь", "ОСКО,%", "Концентр.", "ОСКО,%", "Индекс",
                "ОСКО,%", "Предел детектирования");
    for (const ComponentStatistics& s : r.components)
        std::printf("%-20s %10.3f %8s %12.5g %8s %12.5g %8s %12.5g %8s %10s %8s  %s\n",
                    s.name.c_str(), s.meanTime, rsd(s.rsdTime).c_str(), s.meanHeight,
                    rsd(s.rsdHeight).c_str(), s.meanArea, rsd(s.rsdArea).c_str(),
                    s.meanConcentration, rsd(s.rsdConcentration).c_str(),
                    s.indexCount ? text::format("%.2f", s.meanIndex).c_str() : "—",
                    rsd(s.rsdIndex).c_str(), detectionLimitText(s.detectionLimit, o).c_str());
    std::printf("\nШум:   %s\nДрейф: %s\n", noiseText(r.noise, c).c_str(),
                driftText(r.drift, c).c_str());
    return kExitOk;
}

}  // namespace

extern const CliCommand kCommand_stats = {
    "stats", "статистика повторных вводов одной пробы (поверка прибора)",
    "Использование: zelmora-cli stats ФАЙЛ.stg... [--reference N] [--zero ФАЙЛ.stg]\n"
    "       [--kacp ТЕКСТ] [--report ОТЧЁТ.rtf] [--json]\n"
    "Среднее и ОСКО времени удерживания, высоты, площади, концентрации и индекса\n"
    "каждого компонента, шум и дрейф нулевой линии, предел детектирования.\n"
    "  --reference N   опорная хроматограмма для предела детектирования (номер в\n"
    "                  списке, упорядоченном по путям; по умолчанию 1)\n"
    "  --zero ФАЙЛ     хроматограмма нулевой линии: её шум и дрейф\n"
    "  --kacp ТЕКСТ    коэффициент \"K ацп\", например \"0.5 мкг/мВ\" (по умолчанию из\n"
    "                  настройки \"Kacp\")\n"
    "  --report ФАЙЛ   записать \"Отчёт поверки прибора\" (RTF) по шаблону test.rpt\n"
    "  --json          вывод в формате JSON\n",
    run};

}  // namespace zelmora::cli
