#pragma once
// The program's one connection to the analyses database file ("Zelmora.db" in
// the folder "PathSaveDb"), held by the application object, with the two
// commands of the menu "База данных" that work on the whole file:
//
// - "Сжатие БД" compacts the file in place (VACUUM): the file is never
//   deleted and replaced, since other workstations may have it open.
// - "Реставрация БД" runs the full integrity check; a sound file is left as
//   it is. A damaged one is salvaged row by row into a new file (readable
//   rows keep their keys, unreadable stretches are skipped), the damaged
//   original is kept beside it under a dated name, and the new file takes
//   the original's name.
//
// Used on the user-interface thread only.

#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "database/sqlite_db.h"

namespace zelmora::db {

// Strings of the database commands.
inline constexpr const char* kCompactDoneText = "Сжатие базы данных завершено";      // 206
inline constexpr const char* kRepairDoneText = "Реставрация базы данных завершена";  // 205
inline constexpr const char* kOpenFailedQuestion =
    "Ошибка открытия базы данных, произвести попытку реставрации ?";

struct SalvageReport {
    struct Table {
        std::string name;
        long long rowsCopied = 0;
        int damagedStretches = 0;  // runs of rows that could not be read
    };
    std::vector<Table> tables;
    int placeholderAnalyses = 0;  // made for results whose analysis was lost
    int placeholderStations = 0;  // made for points whose station was lost
    int droppedCritValues = 0;    // critical values of a lost point or component
};

struct RepairReport {
    bool wasDamaged = false;
    std::string findings;               // what the integrity check found
    std::filesystem::path damagedCopy;  // where the damaged original was kept
    SalvageReport salvage;
};

// Copies every readable row of a damaged analyses database into a new file
// `target` (which must not exist). The source is only read.
Result<SalvageReport> salvageDatabase(const std::filesystem::path& damaged,
                                      const std::filesystem::path& target);

class CAnalysesDatabase {
  public:
    explicit CAnalysesDatabase(std::filesystem::path file);
    ~CAnalysesDatabase() = default;
    CAnalysesDatabase(const CAnalysesDatabase&) = delete;
    CAnalysesDatabase& operator=(const CAnalysesDatabase&) = delete;

    const std::filesystem::path& file() const { return file_; }

    // Opens the existing file (never creates one), brings a file of the
    // first schema up to date (schema_upgrade.h) and runs the quick integrity
    // check; a failure of any leaves the connection closed.
    Status open();
    // Makes a new file and opens it.
    Status create();
    void close() { connection_.reset(); }
    bool isOpen() const { return connection_.has_value(); }
    // The open connection; only while isOpen().
    Connection& connection() { return *connection_; }

    // Compacts the file in place; the connection stays open (it is reopened
    // when it was closed).
    Status compact();
    // Checks and, when damaged, salvages the file as described above. On
    // every path, failed or not, the connection is reopened afterwards when
    // it is closed; a failure to reopen is added to the repair's message.
    // After a failed salvage or replacement the original file is in place and
    // the connection is opened on it without the start-up check, so the
    // program goes on with what can still be read.
    Result<RepairReport> repair();

    // How the repair moves files (the damaged original aside, the salvaged
    // file into its place): std::filesystem::rename unless replaced, so a
    // test can make a move fail as a full or read-only disk would.
    using MoveFile = std::function<void(const std::filesystem::path& from,
                                        const std::filesystem::path& to, std::error_code& ec)>;
    void setMoveFile(MoveFile move) { moveFile_ = std::move(move); }

  private:
    // Opens the connection as open() does, without the quick check.
    Status reconnect();
    // The repair itself; leaves the connection closed on failure.
    Result<RepairReport> repairFile();

    std::filesystem::path file_;
    std::optional<Connection> connection_;
    MoveFile moveFile_;
};

// The name under which a damaged database file is kept, beside it.
std::filesystem::path damagedCopyName(const std::filesystem::path& file, std::time_t now);

}  // namespace zelmora::db
