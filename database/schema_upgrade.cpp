#include "database/schema_upgrade.h"

#include <fcntl.h>
#include <unistd.h>

#include <optional>
#include <system_error>

#include "app/text.h"
#include "app/work_log.h"
#include "database/schema.h"

namespace zelmora::db {

namespace {

// The stored queries as the first schema's files got them; a file that still
// has one of these texts gets the current one.
const StoredQuery kFirstSchemaQueries[] = {
    {kCritValuesQuery0,
     "SELECT Parametres.Parametr AS Parametr, Parametres.Quant AS Quant, "
     "CritValues.CritValue AS CritValue "
     "FROM CritValues INNER JOIN Parametres ON Parametres.KeyParametr = CritValues.KeyParametr "
     "WHERE CritValues.Place = :QueryPlace ORDER BY Parametres.Parametr"},
    {kCritValuesQuery1,
     "SELECT Parametres.Parametr AS Parametr, Parametres.Quant AS Quant, "
     "CritValues.CritValue AS CritValue "
     "FROM CritValues INNER JOIN Parametres ON Parametres.KeyParametr = CritValues.KeyParametr "
     "INNER JOIN Places ON Places.KeyPlace = CritValues.Place "
     "INNER JOIN Stations ON Stations.KeyStation = Places.Station "
     "WHERE Places.Place = :QueryPlace AND Stations.Station = :QueryStation "
     "ORDER BY Parametres.Parametr"},
    {kCritValuesQuery,
     "SELECT Parametres.Parametr AS Parametr, CritValues.CritValue AS CritValue, "
     "CritValues.Place AS Place, Parametres.Quant AS Quant, "
     "CritValues.KeyParametr AS KeyParametr "
     "FROM CritValues INNER JOIN Parametres ON Parametres.KeyParametr = CritValues.KeyParametr "
     "WHERE CritValues.Place = :QueryPlace ORDER BY CritValues.rowid"},
    {kLeftCritValuesQuery,
     "SELECT Parametr, KeyParametr, DefValue FROM Parametres "
     "WHERE KeyParametr NOT IN "
     "(SELECT KeyParametr FROM CritValues WHERE CritValues.Place = :QueryPlace) "
     "ORDER BY Parametr"},
    {kLeftResultsQuery,
     "SELECT Parametr FROM Parametres WHERE NOT EXISTS "
     "(SELECT 1 FROM Results WHERE Results.Analys = :QueryAnalys "
     "AND Results.Parametr = Parametres.Parametr) ORDER BY Parametr"},
    {kPlacesQuery,
     "SELECT Place, Station, KeyPlace FROM Places WHERE Station = :QueryStation "
     "ORDER BY Place"},
    {kResultsQuery,
     "SELECT Parametr, Value, Analys FROM Results WHERE Analys = :QueryAnalys "
     "ORDER BY Results.rowid"},
    {kResultsExQuery,
     "SELECT Results.Parametr AS Parametr, Results.Value AS Value, "
     "Results.Analys AS Analys, Parametres.Quant AS Quant, "
     "CritValues.CritValue AS CritValue "
     "FROM Results LEFT JOIN Parametres ON Parametres.Parametr = Results.Parametr "
     "LEFT JOIN CritValues ON CritValues.KeyParametr = Parametres.KeyParametr "
     "AND CritValues.Place = :QueryPlace "
     "WHERE Results.Analys = :QueryAnalys ORDER BY Results.rowid"},
};

// The indexes the program makes itself; everything else on the data tables
// was added by hand and is carried over.
const char* const kOwnIndexes[] = {"AnalysesByDate", "AnalysesByPlace", "CritValuesByParametr"};

constexpr const char* kOldPrefix = "zelmora_v1_";

std::string sqlName(std::string_view name) {
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"')
            out += '"';
    }
    return out + '"';
}

struct Column {
    std::string name;
    std::string type;
    std::optional<std::string> defaultSql;
};

Result<std::vector<Column>> tableColumns(Connection& db, const std::string& table) {
    Statement s = db.prepare("SELECT name, type, dflt_value FROM pragma_table_info(?)");
    s.bind(1, table);
    std::vector<Column> out;
    while (s.next())
        out.push_back({s.text(0), s.text(1),
                       s.isNull(2) ? std::nullopt : std::optional<std::string>(s.text(2))});
    if (!s.ok())
        return s.status();
    if (out.empty())
        return Status::failure("в базе данных нет таблицы " + table);
    return out;
}

bool hasColumn(const std::vector<Column>& columns, std::string_view name) {
    for (const Column& c : columns) {
        if (text::equalsNoCase(c.name, name))
            return true;
    }
    return false;
}

bool isFoldColumn(std::string_view table, std::string_view name) {
    for (const FoldedColumn& f : foldedColumns(table)) {
        if (text::equalsNoCase(f.fold, name))
            return true;
    }
    return false;
}

// Results and CritValues have no key column: their row ids keep the order in
// which results were added, which the windows show.
bool keepsRowId(std::string_view table) {
    return table == "Results" || table == "CritValues";
}

Result<long long> rowCount(Connection& db, const std::string& table) {
    return db.scalar("SELECT count(*) FROM " + sqlName(table));
}

// Copies the rows of the renamed old table into the new one, with the
// folded names and the columns that were added by hand.
Status copyRows(Connection& db, const std::string& table) {
    const std::string old = kOldPrefix + table;
    Result<std::vector<Column>> oldColumns = tableColumns(db, old);
    if (!oldColumns)
        return oldColumns.status();
    Result<std::vector<Column>> newColumns = tableColumns(db, table);
    if (!newColumns)
        return newColumns.status();
    std::string into, from;
    auto add = [&](const std::string& target, const std::string& source) {
        into += (into.empty() ? "" : ", ") + target;
        from += (from.empty() ? "" : ", ") + source;
    };
    if (keepsRowId(table))
        add("rowid", "rowid");
    for (const Column& c : *oldColumns) {
        if (isFoldColumn(table, c.name))
            continue;
        if (!hasColumn(*newColumns, c.name)) {
            std::string sql = "ALTER TABLE " + sqlName(table) + " ADD COLUMN " + sqlName(c.name);
            if (!c.type.empty())
                sql += " " + c.type;
            if (c.defaultSql)
                sql += " DEFAULT " + *c.defaultSql;
            if (Status s = db.exec(sql); !s)
                return Status::failure("столбец " + table + "." + c.name + ": " + s.message());
        }
        add(sqlName(c.name), sqlName(c.name));
    }
    for (const FoldedColumn& f : foldedColumns(table)) {
        const std::string source = hasColumn(*oldColumns, f.source) ? sqlName(f.source) : "''";
        add(f.fold, std::string(kFoldFunction) + "(" + source + ")");
    }
    if (Status s = db.exec("INSERT INTO " + sqlName(table) + " (" + into + ") SELECT " + from +
                           " FROM " + sqlName(old) + " ORDER BY rowid");
        !s)
        return Status::failure("таблица " + table + ": " + s.message());
    Result<long long> before = rowCount(db, old);
    Result<long long> after = rowCount(db, table);
    if (!before)
        return before.status();
    if (!after)
        return after.status();
    if (*before != *after)
        return Status::failure(text::format("в таблицу %s перенесено %lld строк из %lld",
                                            table.c_str(), *after, *before));
    return {};
}

struct SavedObject {
    std::string name;
    std::string sql;
};

Result<std::vector<SavedObject>> handMadeObjects(Connection& db) {
    std::string tables, own;
    for (const char* t : kDataTables)
        tables += std::string(tables.empty() ? "" : ", ") + "'" + t + "'";
    for (const char* i : kOwnIndexes)
        own += std::string(own.empty() ? "" : ", ") + "'" + i + "'";
    // Indexes before triggers, each in the order they were made.
    Statement s = db.prepare(
        "SELECT name, sql FROM sqlite_master WHERE type IN ('index', 'trigger') "
        "AND sql IS NOT NULL AND tbl_name IN (" +
        tables + ") AND name NOT IN (" + own + ") ORDER BY type = 'trigger', rowid");
    std::vector<SavedObject> out;
    while (s.next())
        out.push_back({s.text(0), s.text(1)});
    if (!s.ok())
        return s.status();
    return out;
}

Result<std::vector<std::pair<std::string, long long>>> keyCounters(Connection& db) {
    Result<long long> exists =
        db.scalar("SELECT count(*) FROM sqlite_master WHERE name = 'sqlite_sequence'");
    if (!exists)
        return exists.status();
    std::vector<std::pair<std::string, long long>> out;
    if (*exists == 0)
        return out;
    Statement s = db.prepare("SELECT name, seq FROM sqlite_sequence");
    while (s.next())
        out.emplace_back(s.text(0), s.int64(1));
    if (!s.ok())
        return s.status();
    return out;
}

Status carryKeyCounters(Connection& db,
                        const std::vector<std::pair<std::string, long long>>& counters) {
    Statement ensure = db.prepare(
        "INSERT INTO sqlite_sequence (name, seq) SELECT ?1, 0 WHERE NOT EXISTS "
        "(SELECT 1 FROM sqlite_sequence WHERE name = ?1)");
    Statement raise = db.prepare("UPDATE sqlite_sequence SET seq = max(seq, ?) WHERE name = ?");
    for (const auto& [name, seq] : counters) {
        bool ours = false;
        for (const char* t : kDataTables)
            ours = ours || name == t;
        if (!ours)
            continue;
        ensure.reset();
        if (Status s = ensure.bind(1, name).run(); !s)
            return s;
        raise.reset();
        if (Status s = raise.bind(1, seq).bind(2, name).run(); !s)
            return s;
    }
    return {};
}

Status updateStoredQueries(Connection& db, SchemaUpgrade& report) {
    Statement read = db.prepare("SELECT Sql FROM StoredQueries WHERE Name = ?");
    Statement write = db.prepare("INSERT OR REPLACE INTO StoredQueries (Name, Sql) VALUES (?, ?)");
    for (const StoredQuery& q : storedQueries()) {
        std::string firstText;
        for (const StoredQuery& old : kFirstSchemaQueries) {
            if (std::string_view(old.name) == q.name)
                firstText = old.sql;
        }
        read.reset();
        read.bind(1, q.name);
        if (read.next()) {
            const std::string sql = read.text(0);
            if (sql != firstText && sql != q.sql) {
                report.editedQueriesKept.push_back(q.name);
                continue;
            }
        } else if (!read.ok()) {
            return read.status();
        }
        read.reset();
        write.reset();
        if (Status s = write.bind(1, q.name).bind(2, q.sql).run(); !s)
            return s;
    }
    return {};
}

Status upgradeInPlace(Connection& db, SchemaUpgrade& report) {
    Result<std::vector<std::pair<std::string, long long>>> counters = keyCounters(db);
    if (!counters)
        return counters.status();
    Result<std::vector<SavedObject>> handMade = handMadeObjects(db);
    if (!handMade)
        return handMade.status();
    for (const char* t : kDataTables) {
        if (Status s = db.exec("ALTER TABLE " + sqlName(t) + " RENAME TO " +
                               sqlName(std::string(kOldPrefix) + t));
            !s)
            return Status::failure(std::string("таблица ") + t + ": " + s.message());
    }
    if (Status s = db.exec(dataTablesSql()); !s)
        return s;
    for (const char* t : kDataTables) {
        if (Status s = copyRows(db, t); !s)
            return s;
    }
    for (auto it = std::rbegin(kDataTables); it != std::rend(kDataTables); ++it) {
        if (Status s = db.exec("DROP TABLE " + sqlName(std::string(kOldPrefix) + *it)); !s)
            return s;
    }
    if (Status s = db.exec(indexesSql()); !s)
        return s;
    for (const SavedObject& o : *handMade) {
        if (Status s = db.exec(o.sql); !s)
            return Status::failure(o.name + ": " + s.message());
    }
    if (Status s = carryKeyCounters(db, *counters); !s)
        return s;
    if (Status s = updateStoredQueries(db, report); !s)
        return s;
    return db.exec(text::format("PRAGMA user_version = %d", kSchemaVersion));
}

// Copies the file and flushes the copy to the disk before the upgrade
// changes the original.
Status copyDurably(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::error_code ec;
    if (!std::filesystem::copy_file(from, to, std::filesystem::copy_options::none, ec) || ec)
        return Status::failure("не удалось сохранить копию " + to.string() + ": " +
                               (ec ? ec.message() : std::string("файл уже существует")));
    const int fd = ::open(to.c_str(), O_RDONLY | O_CLOEXEC);
    const bool flushed = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!flushed) {
        std::filesystem::remove(to, ec);
        return Status::failure("не удалось записать копию " + to.string() + " на диск");
    }
    return {};
}

}  // namespace

std::filesystem::path upgradeCopyName(const std::filesystem::path& file, int version,
                                      std::time_t now) {
    std::tm tm{};
    localtime_r(&now, &tm);
    const std::string stem = text::format(
        "%s.v%d-%04d%02d%02d-%02d%02d%02d", file.stem().string().c_str(), version,
        tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    std::filesystem::path p = file;
    p.replace_filename(stem + file.extension().string());
    for (int n = 2; std::filesystem::exists(p); ++n)
        p.replace_filename(stem + "-" + std::to_string(n) + file.extension().string());
    return p;
}

Result<SchemaUpgrade> upgradeSchema(Connection& db) {
    SchemaUpgrade report;
    const std::filesystem::path file = db.file();
    auto fail = [&](const std::string& why) {
        const std::string message = text::format(
            "База данных %s не переведена на схему версии %d: %s. Файл оставлен "
            "без изменений.",
            file.string().c_str(), kSchemaVersion, why.c_str());
        CWorkLog::instance().write("! " + message);
        return Status::failure(message);
    };
    Result<long long> version = db.scalar("PRAGMA user_version");
    if (!version)
        return fail(version.message());
    report.fromVersion = static_cast<int>(*version);
    if (Status s = quickCheck(db); !s)
        return fail("файл повреждён, сначала нужна реставрация (" + s.message() + ")");
    // Foreign keys would delete the children of a rebuilt table, and renaming
    // must leave the references of other tables and views alone; neither
    // setting can change inside the transaction.
    if (Status s = db.exec("PRAGMA foreign_keys = OFF; PRAGMA legacy_alter_table = ON"); !s)
        return fail(s.message());
    Status status;
    {
        Transaction t(db);
        status = t.status();
        if (status) {
            // Our write lock keeps every other writer out of the file and a
            // crashed writer's journal has been rolled back on taking it: the
            // bytes on disk are the database exactly as the upgrade finds it.
            report.copy = upgradeCopyName(file, report.fromVersion, std::time(nullptr));
            status = copyDurably(file, report.copy);
            if (!status)
                report.copy.clear();
        }
        if (status)
            status = upgradeInPlace(db, report);
        if (status)
            status = t.commit();
    }
    const Status restored = db.exec("PRAGMA legacy_alter_table = OFF; PRAGMA foreign_keys = ON");
    if (!status) {
        std::error_code ec;
        if (!report.copy.empty())
            std::filesystem::remove(report.copy, ec);
        return fail(status.message());
    }
    CWorkLog::instance().write(text::format(
        ". База данных %s переведена со схемы версии %d на схему версии %d; прежний файл "
        "сохранён как %s",
        file.string().c_str(), report.fromVersion, kSchemaVersion, report.copy.string().c_str()));
    if (!report.editedQueriesKept.empty()) {
        std::string names;
        for (const std::string& n : report.editedQueriesKept)
            names += (names.empty() ? "" : ", ") + n;
        CWorkLog::instance().write(
            "? Изменённые в базе данных запросы оставлены как были, имена в них сравниваются с "
            "учётом регистра: " +
            names);
    }
    if (!restored)
        return restored;
    return report;
}

}  // namespace zelmora::db
