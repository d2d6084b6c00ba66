#pragma once
// Bringing an analyses database file of an older schema to the current one,
// when the program opens it.
//
// Files of the first schema declared the program's own collation (RUNOCASE)
// on their name columns: without this program no other tool could so much as
// count the rows of Results. The current schema keeps each name as typed and
// beside it the name folded to lower case (schema.h). The upgrade
//
// 1. refuses a file that fails the quick integrity check (repair it first);
// 2. takes the write lock and, under it, writes a copy of the untouched file
//    beside it ("Zelmora.v1-YYYYMMDD-HHMMSS.db");
// 3. in one transaction rebuilds the six data tables with their folded
//    columns, keeping every row with its key and its row order, every column
//    that was added to them by hand, the key counters (no key is handed out
//    twice), the indexes and triggers added by hand, and every stored query:
//    those of the program that were never edited get their current text,
//    edited ones and queries of the laboratory are kept as they are;
// 4. checks that every table has as many rows as before, and commits.
//
// On success the work log gets a line naming the copy. A failure at any step
// rolls everything back: the file stays as it was, the copy is removed, and
// the message (and a "!" line of the work log) says that the file was not
// changed.

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "database/sqlite_db.h"

namespace zelmora::db {

struct SchemaUpgrade {
    int fromVersion = 0;
    std::filesystem::path copy;  // the untouched file, beside it
    // Stored queries of the program that had been edited in the file and
    // were kept with their own text.
    std::vector<std::string> editedQueriesKept;
};

// Brings the file open on `db` to the current schema as described above.
Result<SchemaUpgrade> upgradeSchema(Connection& db);

// The name of the copy of `file`, of schema `version`, kept before an upgrade.
std::filesystem::path upgradeCopyName(const std::filesystem::path& file, int version,
                                      std::time_t now);

}  // namespace zelmora::db
