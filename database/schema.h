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
// chromatogram files keep the key of their analysis. Names compare and sort
// without regard to case (Cyrillic included). Date-times are local ISO text.
//
// The stored queries are kept in the file, in the table StoredQueries, under
// the names the windows open them by; their parameters are named
// (":QueryPlace", ":QueryStation", ":QueryAnalys").

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "database/sqlite_db.h"

namespace zelmora::db {

inline constexpr const char* kDatabaseFileName = "Zelmora.db";
// "ZELM" in the file header marks a file made by this program.
inline constexpr int kApplicationId = 0x5A454C4D;
inline constexpr int kSchemaVersion = 1;

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
// The eight stored queries as a new file gets them.
const std::vector<StoredQuery>& storedQueries();

// The statements that make the tables, indexes and stored queries.
std::string schemaSql();

// Creates the schema in an empty database, in one transaction.
Status createSchema(Connection& db);
// Whether the file holds the tables of an analyses database.
Status checkSchema(Connection& db);

// Opens an existing analyses database; a missing file is an error and is
// never created here.
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
