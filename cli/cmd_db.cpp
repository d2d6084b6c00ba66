// zelmora-cli db: the analyses database from the command line — make a new
// file, find analyses, show one, save a chromatogram's results, compact,
// check and repair the file.

#include <cstdio>
#include <optional>
#include <string>

#include "app/program_settings.h"
#include "app/text.h"
#include "cli/cli.h"
#include "cli/db_report_cli.h"
#include "cli/json.h"
#include "cli/stderr_sink.h"
#include "database/analyses_database.h"
#include "database/analysis_search.h"
#include "database/catalogue.h"
#include "database/db_time.h"
#include "database/recordsets.h"
#include "database/results_saver.h"
#include "database/schema.h"
#include "document/message_sink.h"
#include "document/zelmora_doc.h"
#include "method/document_method.h"

namespace zelmora::cli {
namespace {

std::optional<db::CalendarDay> parseDay(const std::string& s) {
    const std::optional<std::time_t> t = db::fromDbTime(s + " 12:00:00");
    if (!t)
        return std::nullopt;
    return db::dayOf(*t);
}

std::string timeText(const std::optional<std::time_t>& t) {
    return t ? db::displayTime(*t) : std::string();
}

void jsonTime(JsonWriter& j, const char* key, const std::optional<std::time_t>& t) {
    j.key(key);
    if (t)
        j.value(db::toDbTime(*t));
    else
        j.null();
}

void jsonAnalysis(JsonWriter& j, const db::AnalysisRow& r) {
    j.beginObject().field("key", r.keyAnalys).field("station", r.station).field("place", r.place);
    jsonTime(j, "date", r.date);
    j.field("operator", r.operatorName);
    jsonTime(j, "analysisDate", r.anDate);
    j.field("fileName", r.fileName)
        .field("comment", r.comment)
        .field("sample", r.sample)
        .field("method", r.method)
        .endObject();
}

int openExisting(db::CAnalysesDatabase& database) {
    if (db::Status s = database.open(); !s)
        return failure(s);
    return kExitOk;
}

int runInit(db::CAnalysesDatabase& database, Args&) {
    if (db::Status s = database.create(); !s)
        return failure(s);
    std::printf("Создана база данных %s\n", database.file().c_str());
    return kExitOk;
}

int runFind(db::CAnalysesDatabase& database, Args& args) {
    db::AnalysisSearch search;
    if (auto from = args.option("--from")) {
        auto d = parseDay(*from);
        if (!d)
            return args.usageError("дата не в виде ГГГГ-ММ-ДД: " + *from);
        search.from = *d;
    }
    if (auto to = args.option("--to")) {
        auto d = parseDay(*to);
        if (!d)
            return args.usageError("дата не в виде ГГГГ-ММ-ДД: " + *to);
        search.to = *d;
    }
    search.station = args.option("--station").value_or("");
    search.place = args.option("--place").value_or("");
    search.method = args.option("--method").value_or("");
    search.operatorName = args.option("--operator").value_or("");
    if (auto sort = args.option("--sort")) {
        static const char* const names[] = {"date",   "station", "place",
                                            "sample", "method",  "operator"};
        bool found = false;
        for (int i = 0; i < 6; ++i) {
            if (text::equalsNoCase(*sort, names[i])) {
                search.sort = static_cast<db::SortColumn>(i);
                found = true;
            }
        }
        if (!found)
            return args.usageError("неизвестный столбец сортировки: " + *sort);
        search.descending = false;
    }
    if (args.flag("--desc"))
        search.descending = true;
    if (args.flag("--asc"))
        search.descending = false;
    if (int rc = openExisting(database); rc != kExitOk)
        return rc;
    db::Result<db::SearchResult> found = db::findAnalyses(database.connection(), search);
    if (!found)
        return failure(found.status());
    if (args.flag("--json")) {
        JsonWriter j;
        j.beginObject().field("truncated", found->truncated).key("analyses").beginArray();
        for (const db::AnalysisRow& r : found->rows)
            jsonAnalysis(j, r);
        j.endArray().endObject();
        std::fputs(j.str().c_str(), stdout);
    } else {
        std::printf("%-8s %-19s %-20s %-20s %-20s %-15s %s\n", "Номер", "Дата отбора",
                    "Пункт отбора", "Точка отбора", "Проба", "Метод", "Оператор");
        for (const db::AnalysisRow& r : found->rows)
            std::printf("%-8d %-19s %-20s %-20s %-20s %-15s %s\n", r.keyAnalys,
                        timeText(r.date).c_str(), r.station.c_str(), r.place.c_str(),
                        r.sample.c_str(), r.method.c_str(), r.operatorName.c_str());
    }
    if (found->truncated)
        std::fprintf(stderr, "%s\n", found->notice.c_str());
    return kExitOk;
}

int runShow(db::CAnalysesDatabase& database, Args& args) {
    if (args.positional().size() != 2)
        return args.usageError("нужен номер анализа");
    const std::optional<long long> key = text::parseInt(args.positional()[1]);
    if (!key || *key <= 0 || *key > INT32_MAX)
        return args.usageError("номер анализа — целое число больше 0");
    if (int rc = openExisting(database); rc != kExitOk)
        return rc;
    db::Connection& c = database.connection();
    auto found = db::CAnalysSet(c).find(static_cast<int>(*key));
    if (!found)
        return failure(found.status());
    if (!*found)
        return failure(text::format("анализ %lld не найден", *key));
    const db::AnalysisRow& a = **found;
    // The critical values are those of the analysis's point, when the catalogue knows it.
    int keyPlace = 0;
    if (auto station = db::stationKey(c, a.station); station && *station) {
        if (auto place = db::placeKey(c, **station, a.place); place && *place)
            keyPlace = **place;
    }
    db::CResultExSet results(c);
    if (db::Status s = results.open(a.keyAnalys, keyPlace); !s)
        return failure(s);
    if (args.flag("--json")) {
        JsonWriter j;
        j.beginObject().key("analysis");
        jsonAnalysis(j, a);
        j.key("results").beginArray();
        for (const auto& r : results.rows) {
            j.beginObject().field("component", r.parametr).field("unit", r.quant).key("value");
            if (r.value)
                j.value(*r.value);
            else
                j.null();
            j.key("critical");
            if (r.critValue)
                j.value(*r.critValue);
            else
                j.null();
            j.endObject();
        }
        j.endArray().endObject();
        std::fputs(j.str().c_str(), stdout);
        return kExitOk;
    }
    std::printf("Номер БД:      %d\n", a.keyAnalys);
    std::printf("Пункт отбора:  %s\n", a.station.c_str());
    std::printf("Точка отбора:  %s\n", a.place.c_str());
    std::printf("Дата отбора:   %s\n", timeText(a.date).c_str());
    std::printf("Дата анализа:  %s\n", timeText(a.anDate).c_str());
    std::printf("Проба:         %s\n", a.sample.c_str());
    std::printf("Метод:         %s\n", a.method.c_str());
    std::printf("Оператор:      %s\n", a.operatorName.c_str());
    std::printf("Комментарий:   %s\n", a.comment.c_str());
    std::printf("Файл:          %s\n", a.fileName.c_str());
    std::printf("\n%-30s %-12s %14s %14s\n", "Компонент", "Ед. измерения", "Значение",
                "Крит. знач-е");
    for (const auto& r : results.rows)
        std::printf("%-30s %-12s %14s %14s\n", r.parametr.c_str(), r.quant.c_str(),
                    r.value ? text::format("%.5g", *r.value).c_str() : "",
                    r.critValue ? text::format("%.5g", *r.critValue).c_str() : "");
    return kExitOk;
}

int runSave(db::CAnalysesDatabase& database, Args& args) {
    if (args.positional().size() != 2)
        return args.usageError("нужен файл хроматограммы");
    const std::filesystem::path file = std::filesystem::absolute(args.positional()[1]);
    CZelmoraDoc doc;
    if (const Status read = doc.Read(file); !read)
        return failure(read, "Ошибка открытия хроматограммы " + file.string() + ": ");
    if (int rc = openExisting(database); rc != kExitOk)
        return rc;
    // Read checked the key against the database already when a store is
    // installed; here the check is made explicitly.
    if (doc.passport.databaseKey > 0 &&
        db::checkAnalysisKey(database.connection(), doc.passport.databaseKey,
                             doc.passport.analysisTime,
                             doc.passport.samplingTime) == ResultsStore::KeyCheck::Mismatch)
        doc.passport.databaseKey = 0;
    StderrMessageSink sink;
    // Which peaks are saved depends on the chromatogram's method.
    doc.reloadMethod(sink);
    db::CAnalysesStore store(database, documentMethodComponents);
    if (!store.saveResults(doc, file, sink))
        return kExitFailure;
    if (args.flag("--json")) {
        JsonWriter j;
        j.beginObject().field("key", doc.passport.databaseKey).endObject();
        std::fputs(j.str().c_str(), stdout);
    } else {
        std::printf("Результаты сохранены, номер анализа %d\n", doc.passport.databaseKey);
    }
    return kExitOk;
}

int runCompact(db::CAnalysesDatabase& database, Args&) {
    if (int rc = openExisting(database); rc != kExitOk)
        return rc;
    if (db::Status s = database.compact(); !s)
        return failure(s);
    std::printf("%s\n", db::kCompactDoneText);
    return kExitOk;
}

int runCheck(db::CAnalysesDatabase& database, Args& args) {
    if (args.flag("--repair")) {
        db::Result<db::RepairReport> r = database.repair();
        if (!r)
            return failure(r.status());
        if (r->wasDamaged) {
            std::fprintf(stderr, "Найдены повреждения:\n%s\n", r->findings.c_str());
            for (const auto& t : r->salvage.tables)
                std::printf("%-12s строк: %lld, повреждённых участков: %d\n", t.name.c_str(),
                            t.rowsCopied, t.damagedStretches);
            std::printf("Повреждённый файл сохранён как %s\n", r->damagedCopy.c_str());
        }
        std::printf("%s\n", db::kRepairDoneText);
        return kExitOk;
    }
    db::Result<db::Connection> c = db::openAnalysesDatabase(database.file());
    if (!c)
        return failure(c.status());
    if (db::Status s = db::integrityCheck(c.value()); !s)
        return failure(s, "база данных повреждена:\n");
    std::printf("База данных исправна: %s\n", database.file().c_str());
    return kExitOk;
}

int run(Args& args) {
    std::vector<std::string> options = {"--db",    "--from",   "--to",       "--station",
                                        "--place", "--method", "--operator", "--sort"};
    options.insert(options.end(), std::begin(kDbReportOptions), std::end(kDbReportOptions));
    if (!args.parse({"--json", "--asc", "--desc", "--repair"}, options))
        return kExitUsage;
    if (args.positional().empty())
        return args.usageError("нужна подкоманда: init, find, show, save, compact, check, report");
    const std::string sub = args.positional()[0];
    const std::filesystem::path file =
        args.option("--db").value_or(programOptions().databaseFile().string());
    db::CAnalysesDatabase database(file);
    const bool oneArgument = args.positional().size() == 1;
    if (sub == "init" && oneArgument)
        return runInit(database, args);
    if (sub == "find" && oneArgument)
        return runFind(database, args);
    if (sub == "show")
        return runShow(database, args);
    if (sub == "save")
        return runSave(database, args);
    if (sub == "compact" && oneArgument)
        return runCompact(database, args);
    if (sub == "check" && oneArgument)
        return runCheck(database, args);
    if (sub == "report")
        return runDbReport(file, args);
    return args.usageError("неизвестная подкоманда или лишние аргументы: " + sub);
}

}  // namespace

extern const CliCommand kCommand_db = {
    "db", "база данных анализов: создание, поиск, просмотр, сохранение, сжатие, проверка",
    "Использование: zelmora-cli db ПОДКОМАНДА [ПАРАМЕТРЫ] [--db ФАЙЛ]\n"
    "  init                 создать новый файл базы данных\n"
    "  find [--from ГГГГ-ММ-ДД] [--to ГГГГ-ММ-ДД] [--station ПУНКТ] [--place ТОЧКА]\n"
    "       [--method МЕТОД] [--operator ОПЕРАТОР]\n"
    "       [--sort date|station|place|sample|method|operator] [--asc|--desc] [--json]\n"
    "                       найти анализы (не более 1000, по умолчанию новые первыми)\n"
    "  show НОМЕР [--json]  анализ и его результаты\n"
    "  save ФАЙЛ.stg [--json]\n"
    "                       сохранить результаты хроматограммы в базе данных\n"
    "  compact              сжать файл базы данных\n"
    "  check [--repair]     проверить целостность; с --repair восстановить повреждённый\n"
    "                       файл (оригинал сохраняется рядом)\n"
    "  report date|place|parametr --out ФАЙЛ.rtf|.pdf|.csv [--method МЕТОД]\n"
    "       date:     [--date ГГГГ-ММ-ДД]\n"
    "       place:    --station ПУНКТ --place ТОЧКА [--from ГГГГ-ММ-ДД] [--to ГГГГ-ММ-ДД]\n"
    "       parametr: --component КОМПОНЕНТ [--from ГГГГ-ММ-ДД] [--to ГГГГ-ММ-ДД]\n"
    "       [--exclude-component КОМПОНЕНТ]... [--exclude-point \"ПУНКТ|ТОЧКА\"]...\n"
    "       [--definition ФАЙЛ]\n"
    "                       отчёт по базе данных по описанию Templates/<вид>.rpt\n"
    "  --db ФАЙЛ            файл базы данных (по умолчанию Zelmora.db в папке PathSaveDb)\n",
    run};

}  // namespace zelmora::cli
