#pragma once
// The analyses database file: its tables, keys and stored queries.
//
//   Analyses    one row per analysed sample (station and point by name, so an
//               analysis keeps its point when the catalogue changes)
//   Results     one value per component of an analysis, at most one row per
//               (Analys, Parametr); deleted with their analysis
//   Parametres  the catalogue of components, names unique
//   Stations    sampling stations, names unique
//   Places      sampling points of a station, names unique per station;
//               deleted with their station
//   CritValues  critical value of a component at a point; deleted with the
//               point or the component
//
// Every key is AUTOINCREMENT: a key is never handed out twice, because the
// chromatogram files keep the key of their analysis. Date-times are local ISO
// text.
//
// Names compare and sort without regard to case, Cyrillic included, and the
// file needs nothing of this program to be read: every name column has a
// companion "...Fold" column holding the name in lower case (text::foldCase),
// which the program writes with every name. Uniqueness, lookups, grouping and
// ordering of names go by the folded columns with SQLite's own binary
// collation, so the sqlite3 shell, a spreadsheet or a report tool sees the
// same stations, points and components as the program. Whoever writes a name
// into the file writes its folded form too; the columns are NOT NULL so that
// a row without one is refused rather than lost to the searches.
//
// The stored queries are kept in the file, in the table StoredQueries, under
// the names the windows open them by; their parameters are named
// (":QueryPlace", ":QueryStation", ":QueryAnalys"). A parameter that is a
// name is passed folded.
//
// Files of the first schema (version 1) declared a collation of the
// program's own on their name columns; they are brought to the current
// schema when opened (schema_upgrade.h).

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "database/sqlite_db.h"

namespace zelmora::db {

inline constexpr const char* kDatabaseFileName = "Zelmora.db";
// "ZELM" in the file header marks a file made by this program.
inline constexpr int kApplicationId = 0x5A454C4D;
inline constexpr int kSchemaVersion = 2;

// Stands for a missing station or point name in Analyses (string 209).
inline constexpr const char* kNoName = "-нет-";

inline constexpr const char* kCritValuesQuery0 = "CritValuesQuery0";
inline constexpr const char* kCritValuesQuery1 = "CritValuesQuery1";
inline constexpr const char* kCritValuesQuery = "CritValuesQuery";
inline constexpr const char* kLeftCritValuesQuery = "LeftCritValuesQuery";
inline constexpr const char* kLeftResultsQuery = "LeftResusultsQuery";
inline constexpr const char* kPlacesQuery = "PlacesQuery";
inline constexpr const char* kResultsQuery = "ResultsQuery";
inline constexpr const char* kResultsExQuery = "ResultsExQuery";

struct StoredQuery {
    const char* name;
    const char* sql;
};

// A column that holds a name of another column folded to lower case.
struct FoldedColumn {
    const char* fold;    // "StationFold"
    const char* source;  // "Station"
};
// The folded columns of a table (none for CritValues and StoredQueries).
const std::vector<FoldedColumn>& foldedColumns(std::string_view table);

// The tables of the analyses database with their keys and values, parents
// before children, without StoredQueries.
inline constexpr const char* kDataTables[] = {"Stations",   "Places",   "Parametres",
                                              "CritValues", "Analyses", "Results"};
// The eight stored queries as a new file gets them.
const std::vector<StoredQuery>& storedQueries();

// The statements that make the tables, indexes and stored queries.
std::string schemaSql();
// Only the six data tables, only their indexes.
std::string dataTablesSql();
std::string indexesSql();

// Creates the schema in an empty database, in one transaction.
Status createSchema(Connection& db);
// Whether the file holds the tables of an analyses database.
Status checkSchema(Connection& db);

// Opens an existing analyses database; a missing file is an error and is
// never created here. A file of an older schema is brought to the current
// one first (upgradeSchema); a file of a newer one is refused.
Result<Connection> openAnalysesDatabase(const std::filesystem::path& file);
// Makes a new analyses database file. An existing analyses database is an
// error (nothing is changed); so is any other existing file.
Result<Connection> createAnalysesDatabase(const std::filesystem::path& file);

// The text of a stored query; a failure names the query when the file lacks it.
Result<std::string> storedQuerySql(Connection& db, std::string_view name);

// "PRAGMA quick_check" (the start-up check) or the full integrity check; the
// failure lists the engine's findings.
Status quickCheck(Connection& db);
Status integrityCheck(Connection& db);

}  // namespace zelmora::db
