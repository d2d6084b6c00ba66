#include "database/schema.h"

#include <system_error>

#include "app/text.h"
#include "database/schema_upgrade.h"

namespace zelmora::db {

namespace {

// SQLite's own types and collations only. The comments inside the CREATE
// statements are kept in the file, where other tools show them.
constexpr const char* kDataTablesSql = R"SQL(
CREATE TABLE Analyses (
    KeyAnalys INTEGER PRIMARY KEY AUTOINCREMENT,
    Station   TEXT NOT NULL DEFAULT '',
    Place     TEXT NOT NULL DEFAULT '',
    Date      TEXT,
    Operator  TEXT NOT NULL DEFAULT '',
    AnDate    TEXT,
    FileName  TEXT NOT NULL DEFAULT '',
    Comment   TEXT NOT NULL DEFAULT '',
    Sample    TEXT NOT NULL DEFAULT '',
    Method    TEXT NOT NULL DEFAULT '',
    -- Station, Place, Operator, Sample and Method in lower case, written by
    -- Zelmora with every row: searched and sorted without regard to case
    StationFold  TEXT NOT NULL,
    PlaceFold    TEXT NOT NULL,
    OperatorFold TEXT NOT NULL,
    SampleFold   TEXT NOT NULL,
    MethodFold   TEXT NOT NULL
);
CREATE TABLE Results (
    Analys   INTEGER NOT NULL REFERENCES Analyses (KeyAnalys) ON DELETE CASCADE,
    Parametr TEXT NOT NULL,
    Value    REAL,
    -- Parametr in lower case: one result per component, whatever its case
    ParametrFold TEXT NOT NULL,
    UNIQUE (Analys, ParametrFold)
);
CREATE TABLE Parametres (
    KeyParametr INTEGER PRIMARY KEY AUTOINCREMENT,
    Parametr    TEXT NOT NULL,
    Quant       TEXT NOT NULL DEFAULT '',
    DefValue    REAL NOT NULL DEFAULT 0,
    -- Parametr and Quant in lower case: component names are unique whatever their case
    ParametrFold TEXT NOT NULL UNIQUE,
    QuantFold    TEXT NOT NULL
);
CREATE TABLE Stations (
    KeyStation INTEGER PRIMARY KEY AUTOINCREMENT,
    Station    TEXT NOT NULL,
    -- Station in lower case: station names are unique whatever their case
    StationFold TEXT NOT NULL UNIQUE
);
CREATE TABLE Places (
    KeyPlace INTEGER PRIMARY KEY AUTOINCREMENT,
    Place    TEXT NOT NULL,
    Station  INTEGER NOT NULL REFERENCES Stations (KeyStation) ON DELETE CASCADE,
    -- Place in lower case: point names are unique per station whatever their case
    PlaceFold TEXT NOT NULL,
    UNIQUE (Station, PlaceFold)
);
CREATE TABLE CritValues (
    Place       INTEGER NOT NULL REFERENCES Places (KeyPlace) ON DELETE CASCADE,
    KeyParametr INTEGER NOT NULL REFERENCES Parametres (KeyParametr) ON DELETE CASCADE,
    CritValue   REAL,
    UNIQUE (Place, KeyParametr)
);
)SQL";

constexpr const char* kIndexesSql = R"SQL(
CREATE INDEX AnalysesByDate ON Analyses (Date);
CREATE INDEX AnalysesByPlace ON Analyses (StationFold, PlaceFold, Date);
CREATE INDEX CritValuesByParametr ON CritValues (KeyParametr);
)SQL";

constexpr const char* kStoredQueriesTableSql = R"SQL(
CREATE TABLE StoredQueries (
    Name TEXT PRIMARY KEY,
    Sql  TEXT NOT NULL
);
)SQL";

const char* const kRequiredTables[] = {"Analyses", "Results",    "Parametres",   "Stations",
                                       "Places",   "CritValues", "StoredQueries"};

Status runCheck(Connection& db, const char* pragma) {
    Statement s = db.prepare(pragma);
    std::string findings;
    int lines = 0;
    while (s.next()) {
        const std::string line = s.text(0);
        if (line == "ok")
            continue;
        if (++lines <= 10)
            findings += (findings.empty() ? "" : "\n") + line;
    }
    if (!s.ok())
        return s.status();
    if (lines > 0)
        return Status::failure(findings);
    return {};
}

}  // namespace

const std::vector<StoredQuery>& storedQueries() {
    static const std::vector<StoredQuery> queries = {
        {kCritValuesQuery0,
         "SELECT Parametres.Parametr AS Parametr, Parametres.Quant AS Quant, "
         "CritValues.CritValue AS CritValue "
         "FROM CritValues INNER JOIN Parametres ON Parametres.KeyParametr = CritValues.KeyParametr "
         "WHERE CritValues.Place = :QueryPlace ORDER BY Parametres.ParametrFold"},
        {kCritValuesQuery1,
         "SELECT Parametres.Parametr AS Parametr, Parametres.Quant AS Quant, "
         "CritValues.CritValue AS CritValue "
         "FROM CritValues INNER JOIN Parametres ON Parametres.KeyParametr = CritValues.KeyParametr "
         "INNER JOIN Places ON Places.KeyPlace = CritValues.Place "
         "INNER JOIN Stations ON Stations.KeyStation = Places.Station "
         "WHERE Places.PlaceFold = :QueryPlace AND Stations.StationFold = :QueryStation "
         "ORDER BY Parametres.ParametrFold"},
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
         "ORDER BY ParametrFold"},
        {kLeftResultsQuery,
         "SELECT Parametr FROM Parametres WHERE NOT EXISTS "
         "(SELECT 1 FROM Results WHERE Results.Analys = :QueryAnalys "
         "AND Results.ParametrFold = Parametres.ParametrFold) ORDER BY ParametrFold"},
        {kPlacesQuery,
         "SELECT Place, Station, KeyPlace FROM Places WHERE Station = :QueryStation "
         "ORDER BY PlaceFold"},
        {kResultsQuery,
         "SELECT Parametr, Value, Analys FROM Results WHERE Analys = :QueryAnalys "
         "ORDER BY Results.rowid"},
        {kResultsExQuery,
         "SELECT Results.Parametr AS Parametr, Results.Value AS Value, "
         "Results.Analys AS Analys, Parametres.Quant AS Quant, "
         "CritValues.CritValue AS CritValue "
         "FROM Results LEFT JOIN Parametres ON Parametres.ParametrFold = Results.ParametrFold "
         "LEFT JOIN CritValues ON CritValues.KeyParametr = Parametres.KeyParametr "
         "AND CritValues.Place = :QueryPlace "
         "WHERE Results.Analys = :QueryAnalys ORDER BY Results.rowid"},
    };
    return queries;
}

const std::vector<FoldedColumn>& foldedColumns(std::string_view table) {
    static const std::vector<FoldedColumn> none;
    static const std::vector<FoldedColumn> analyses = {{"StationFold", "Station"},
                                                       {"PlaceFold", "Place"},
                                                       {"OperatorFold", "Operator"},
                                                       {"SampleFold", "Sample"},
                                                       {"MethodFold", "Method"}};
    static const std::vector<FoldedColumn> results = {{"ParametrFold", "Parametr"}};
    static const std::vector<FoldedColumn> parametres = {{"ParametrFold", "Parametr"},
                                                         {"QuantFold", "Quant"}};
    static const std::vector<FoldedColumn> stations = {{"StationFold", "Station"}};
    static const std::vector<FoldedColumn> places = {{"PlaceFold", "Place"}};
    if (table == "Analyses")
        return analyses;
    if (table == "Results")
        return results;
    if (table == "Parametres")
        return parametres;
    if (table == "Stations")
        return stations;
    if (table == "Places")
        return places;
    return none;
}

std::string schemaSql() {
    return std::string(kDataTablesSql) + kIndexesSql + kStoredQueriesTableSql;
}

std::string dataTablesSql() {
    return kDataTablesSql;
}

std::string indexesSql() {
    return kIndexesSql;
}

Status createSchema(Connection& db) {
    Transaction t(db);
    if (!t.status())
        return t.status();
    if (Status s = db.exec(schemaSql()); !s)
        return s;
    Statement insert = db.prepare("INSERT INTO StoredQueries (Name, Sql) VALUES (?, ?)");
    for (const StoredQuery& q : storedQueries()) {
        insert.reset();
        if (Status s = insert.bind(1, q.name).bind(2, q.sql).run(); !s)
            return s;
    }
    if (Status s = db.exec(text::format("PRAGMA application_id = %d; PRAGMA user_version = %d",
                                        kApplicationId, kSchemaVersion));
        !s)
        return s;
    return t.commit();
}

Status checkSchema(Connection& db) {
    Statement s =
        db.prepare("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?");
    for (const char* table : kRequiredTables) {
        s.reset();
        s.bind(1, table);
        if (!s.next())
            return s.ok() ? Status::failure("нет ответа") : s.status();
        if (s.int64(0) == 0)
            return Status::failure(std::string("в базе данных нет таблицы ") + table);
    }
    return {};
}

Result<Connection> openAnalysesDatabase(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
        return Status::failure("файл базы данных не найден: " + file.string());
    Result<Connection> c = Connection::open(file, Connection::Mode::ReadWrite);
    if (!c)
        return c;
    if (Status s = checkSchema(c.value()); !s)
        return Status::failure(s.message() + ": " + file.string());
    Result<long long> version = c.value().scalar("PRAGMA user_version");
    if (!version)
        return version.status();
    if (*version > kSchemaVersion)
        return Status::failure(
            text::format("база данных создана более новой версией программы (схема %lld): %s",
                         *version, file.string().c_str()));
    if (*version < kSchemaVersion) {
        Result<SchemaUpgrade> upgraded = upgradeSchema(c.value());
        if (!upgraded)
            return upgraded.status();
    }
    return c;
}

Result<Connection> createAnalysesDatabase(const std::filesystem::path& file) {
    std::error_code ec;
    if (std::filesystem::exists(file, ec)) {
        Result<Connection> existing = Connection::open(file, Connection::Mode::ReadOnly);
        if (existing && checkSchema(existing.value()))
            return Status::failure("база данных уже существует: " + file.string());
        return Status::failure("файл уже существует и не является базой данных анализов: " +
                               file.string());
    }
    if (file.has_parent_path())
        std::filesystem::create_directories(file.parent_path(), ec);
    Result<Connection> c = Connection::open(file, Connection::Mode::ReadWriteCreate);
    if (!c)
        return c;
    if (Status s = createSchema(c.value()); !s) {
        c.value().close();
        std::filesystem::remove(file, ec);
        return s;
    }
    return c;
}

Result<std::string> storedQuerySql(Connection& db, std::string_view name) {
    Statement s = db.prepare("SELECT Sql FROM StoredQueries WHERE Name = ?");
    s.bind(1, name);
    if (s.next())
        return s.text(0);
    if (!s.ok())
        return s.status();
    return Status::failure("в базе данных нет запроса " + std::string(name));
}

Status quickCheck(Connection& db) {
    return runCheck(db, "PRAGMA quick_check");
}

Status integrityCheck(Connection& db) {
    return runCheck(db, "PRAGMA integrity_check");
}

}  // namespace zelmora::db
