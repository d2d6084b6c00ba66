// zelmora-cli oil: the dissolved-gas history of a transformer and the
// diagnosis of one of its analyses (the latest by default) — from the
// analyses database (a station and its sampling point) or from a CSV history
// kept elsewhere. Analyses of one sampling moment are merged as the desktop
// program's dialog merges them.

#include <cstdio>
#include <fstream>
#include <sstream>

#include "app/program_settings.h"
#include "app/text.h"
#include "calc/transformer_oil.h"
#include "cli/cli.h"
#include "cli/json.h"
#include "database/analyses_database.h"
#include "database/db_time.h"
#include "database/point_history.h"

namespace zelmora::cli {
namespace {

Result<std::vector<OilAnalysis>> fromDatabase(const std::filesystem::path& file,
                                              const std::string& station, const std::string& place,
                                              const OilGasList& gases) {
    db::CAnalysesDatabase database(file);
    if (Status s = database.open(); !s)
        return s;
    auto rows = db::loadPointHistory(database.connection(), station, place, std::time(nullptr));
    if (!rows)
        return rows.status();
    std::vector<OilSampleResults> samples;
    samples.reserve(rows->size());
    for (const db::PointHistoryAnalysis& a : *rows) {
        OilSampleResults s{a.date, {}};
        for (const auto& r : a.results) {
            // A result without a value is no measurement of the gas.
            if (r.value)
                s.results.push_back({r.parametr, *r.value});
        }
        samples.push_back(std::move(s));
    }
    return buildOilHistory(samples, gases);
}

Result<std::vector<OilAnalysis>> fromCsv(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return Status::failure("не удалось открыть файл " + file.string());
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        return Status::failure("ошибка чтения файла " + file.string());
    auto h = parseOilHistoryCsv(bytes.str());
    if (!h)
        return Status::failure(file.string() + ": " + h.message());
    return h;
}

void jsonNumber(JsonWriter& j, const char* key, const std::optional<double>& v) {
    j.key(key);
    if (v)
        j.value(*v);
    else
        j.null();
}

void printJson(const std::vector<OilAnalysis>& h, int k, const OilDiagnosis& d, int merged) {
    JsonWriter j;
    j.beginObject().field("analyses", static_cast<long long>(h.size()));
    j.field("mergedAway", merged);
    j.key("gases").beginArray();
    for (const char* f : kOilGasFormulas)
        j.value(f);
    j.endArray();
    j.key("table").beginArray();
    for (const OilAnalysis& a : h) {
        j.beginObject().field("date", db::toDbTime(a.moment));
        j.key("values").beginObject();
        for (std::size_t g = 0; g < kOilGasCount; ++g) {
            j.key(kOilGasFormulas[g]);
            if (a.gases[g].measured())
                j.value(a.gases[g].value);
            else
                j.null();
        }
        j.endObject().endObject();
    }
    j.endArray();
    j.field("analysis", k).field("date", db::toDbTime(h[static_cast<std::size_t>(k)].moment));
    j.key("growth").beginObject();
    for (std::size_t g = 0; g < kOilGasCount; ++g) {
        const OilGrowth& gr = d.growth[g];
        j.key(kOilGasFormulas[g]).beginObject();
        jsonNumber(j, "rate", gr.known ? std::optional<double>(gr.rate) : std::nullopt);
        jsonNumber(j, "relative", gr.known ? std::optional<double>(gr.relative) : std::nullopt);
        j.endObject();
    }
    j.endObject();
    j.key("ratios");
    if (d.ratios) {
        j.beginObject();
        jsonNumber(j, "C2H2/C2H4", d.ratios->p);
        jsonNumber(j, "CH4/H2", d.ratios->q);
        jsonNumber(j, "C2H4/C2H6", d.ratios->r);
        jsonNumber(j, "CO2/CO", d.ratios->s);
        j.endObject();
    } else {
        j.null();
    }
    j.field("code", d.code).field("allBelowBoundaries", d.allBelow);
    j.key("defect");
    if (d.base() >= 0)
        j.value(oilDefectText(d.base()));
    else
        j.null();
    j.field("solidInsulation", d.solidInsulation())
        .field("developing", d.developing())
        .field("removal", d.removal());
    j.key("verdict").beginObject().field("outOfService", d.removal());
    if (d.removal() || d.code < 0) {
        j.key("nextMonths").null().key("nextDays").null();
    } else {
        j.field("nextMonths", d.nextMonths()).field("nextDays", d.nextDays());
    }
    j.endObject();
    j.field("text", d.text()).endObject();
    std::printf("%s\n", j.str().c_str());
}

std::string ratioText(const std::optional<double>& r) {
    return r ? text::format("%.5f", *r) : std::string("нет (делитель 0)");
}

void printText(const std::vector<OilAnalysis>& h, int k, const OilDiagnosis& d, int merged) {
    std::printf("%-10s", "Дата");
    for (const char* f : kOilGasFormulas)
        std::printf(" %9s", f);
    std::printf("\n");
    for (std::size_t i = 0; i < h.size(); ++i) {
        std::printf("%s", oilDateText(h[i].moment).c_str());
        for (const OilGasValue& v : h[i].gases)
            std::printf(" %9s", v.measured() ? text::format("%.5f", v.value).c_str() : "-");
        std::printf("%s\n", static_cast<int>(i) == k ? "  <" : "");
    }
    if (merged > 0)
        std::printf("Объединено анализов одного момента отбора: %d\n", merged);
    std::printf("\nАнализ от %s\n", oilDateText(h[static_cast<std::size_t>(k)].moment).c_str());
    for (std::size_t g = 0; g < kOilGasCount; ++g) {
        const OilGrowth& gr = d.growth[g];
        if (gr.known)
            std::printf("V %-5s = %.4f %%об/мес, %.3f%%\n", kOilGasFormulas[g], gr.rate,
                        gr.relative);
        else
            std::printf("V %-5s = нет (менее суток от предыдущего анализа)\n", kOilGasFormulas[g]);
    }
    if (d.ratios) {
        std::printf("C2H2 / C2H4 = %s\n", ratioText(d.ratios->p).c_str());
        std::printf("CH4 / H2    = %s\n", ratioText(d.ratios->q).c_str());
        std::printf("C2H4 / C2H6 = %s\n", ratioText(d.ratios->r).c_str());
        std::printf("CO2 / CO    = %s\n", ratioText(d.ratios->s).c_str());
    } else {
        std::printf("Все газы ниже граничных концентраций: отношения не используются\n");
    }
    std::printf("Диагноз: %s\n", d.text().c_str());
}

int run(Args& args) {
    if (!args.parse({"--json"},
                    {"--db", "--station", "--place", "--history", "--boundaries", "--analysis"}))
        return kExitUsage;
    if (!args.positional().empty())
        return args.usageError("лишние аргументы");
    const auto history = args.option("--history");
    const auto station = args.option("--station");
    const auto place = args.option("--place");
    if (history && (station || place || args.option("--db")))
        return args.usageError("--history исключает --station, --place и --db");
    if (!history && (!station || !place))
        return args.usageError("нужны --station и --place, или --history ФАЙЛ.csv");
    if (!history && place->empty())
        return args.usageError("--place: пустое имя точки отбора");

    const ProgramOptions options = programOptions();
    OilGasList gases = options.oilGases;
    if (auto b = args.option("--boundaries")) {
        if (Status s = parseOilBoundaries(*b, gases); !s)
            return args.usageError("--boundaries: " + s.message());
    }
    Result<std::vector<OilAnalysis>> loaded =
        history ? fromCsv(*history)
                : fromDatabase(args.option("--db").value_or(options.databaseFile().string()),
                               *station, *place, gases);
    if (!loaded)
        return failure(loaded.status());
    std::vector<OilAnalysis> h = std::move(loaded).value();
    if (h.empty())
        return failure("нет анализов для диагностики");
    const int merged = mergeSameMoment(h);

    int k = static_cast<int>(h.size()) - 1;
    if (auto a = args.option("--analysis")) {
        const std::optional<long long> n = text::parseInt(*a);
        if (!n || *n < 0 || *n >= static_cast<long long>(h.size()))
            return args.usageError(
                text::format("--analysis: номер анализа от 0 до %zu", h.size() - 1));
        k = static_cast<int>(*n);
    }
    const OilDiagnosis d = DiagnoseOil(h, k, gases);
    if (args.flag("--json"))
        printJson(h, k, d, merged);
    else
        printText(h, k, d, merged);
    return kExitOk;
}

}  // namespace

extern const CliCommand kCommand_oil = {
    "oil", "диагностика трансформатора по газам, растворённым в масле",
    "Использование:\n"
    "  zelmora-cli oil --station ПУНКТ --place ТОЧКА [--db ФАЙЛ] [ПАРАМЕТРЫ]\n"
    "  zelmora-cli oil --history ФАЙЛ.csv [ПАРАМЕТРЫ]\n"
    "История анализов точки отбора (трансформатора) по семи газам: H2, CO, CO2,\n"
    "CH4, C2H2, C2H4, C2H6 (% об.), анализы одного момента отбора объединяются;\n"
    "скорости роста газов, отношения и диагноз выбранного анализа.\n"
    "  --station, --place   пункт и точка отбора в базе данных; газы ищутся под\n"
    "                       названиями из настроек (страница \"Другое...\" опций)\n"
    "  --db ФАЙЛ            файл базы данных (по умолчанию Zelmora.db в папке PathSaveDb)\n"
    "  --history ФАЙЛ.csv   история вне базы данных: заголовок\n"
    "                       date,H2,CO,CO2,CH4,C2H2,C2H4,C2H6, даты ГГГГ-ММ-ДД ЧЧ:ММ:СС,\n"
    "                       пустая ячейка - газ не найден\n"
    "  --boundaries H2=0.01,CO=0.05,...\n"
    "                       граничные концентрации, % об. (иначе из настроек)\n"
    "  --analysis N         номер анализа в объединённой таблице с 0 (по умолчанию\n"
    "                       последний)\n"
    "  --json               результат в JSON\n",
    run};

}  // namespace zelmora::cli
