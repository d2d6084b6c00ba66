#pragma once
// Saving a chromatogram's results into the analyses database: its Analyses
// row (made on the first save, updated afterwards) and one Results row per
// component. The whole save is one transaction: when any statement fails, or
// the new key cannot be written into the chromatogram file, nothing is
// committed; so a save either happens completely or not at all, and saving
// again never makes a second analysis of the same file.
//
// Which rows: a calibration chromatogram, or one without a method, writes
// one row per named peak (its concentration); any other writes one row per
// component of its method (the concentration of the first peak identified as
// that component, 0 when none is). Rows of other components already in the
// database are kept.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "database/analyses_database.h"
#include "database/sqlite_db.h"
#include "document/passport.h"
#include "document/results_store.h"

namespace zelmora {
class CZelmoraDoc;
}

namespace zelmora::db {

struct ResultValue {
    std::string parametr;
    double value = 0;
};

// The rows a chromatogram writes; `methodComponents` are its method's
// component names, nullopt when the chromatogram has no method.
std::vector<ResultValue> chooseResultRows(
    const CZelmoraDoc& doc, const std::optional<std::vector<std::string>>& methodComponents);

// The file name stored for a chromatogram: its real path. Only when the
// database lies on a Windows network share ("\\server\...") and the file has
// a Windows drive-letter path ("C:\Data\x.stg") is it written as the share
// named after the drive on this computer ("\\LAB1\C\Data\x.stg").
std::string storedFileName(const std::string& filePath, const std::string& pathSaveDb,
                           const std::string& computerName);
std::string computerName();

// Stores a passport in the chromatogram file (the key of a new analysis).
using PassportWriter =
    std::function<bool(const std::filesystem::path& file, const Passport& passport)>;

struct SavedAnalysis {
    int key = 0;
    bool created = false;  // a new Analyses row was made (and its key written to the file)
};

// Saves one analysis in one transaction. `passport.databaseKey` names the row
// to update (0, or a key of a deleted row, makes a new one); the new key is
// written into `file` through `writePassport` before the transaction commits.
// `passport` itself is not changed: the caller takes the key from the result.
Result<SavedAnalysis> saveAnalysis(Connection& db, const Passport& passport,
                                   const std::vector<ResultValue>& rows,
                                   const std::string& storedFile, const std::filesystem::path& file,
                                   const PassportWriter& writePassport);

// Whether the row `key` belongs to a passport with these times.
ResultsStore::KeyCheck checkAnalysisKey(Connection& db, int key, std::time_t analysisTime,
                                        std::time_t samplingTime);

// The database as the chromatogram files see it (installed with
// installResultsStore at start-up).
class CAnalysesStore : public ResultsStore {
  public:
    // The component names of a chromatogram's method, nullopt when it has none
    // loaded; supplied by the method library.
    using MethodComponents =
        std::function<std::optional<std::vector<std::string>>(const CZelmoraDoc& doc)>;

    CAnalysesStore(CAnalysesDatabase& db, MethodComponents methodComponents = {},
                   PassportWriter writePassport = {});

    KeyCheck checkAnalysisKey(int key, std::time_t analysisTime, std::time_t samplingTime) override;
    // On failure the operator is told, the work log gets a "! " line and the
    // passport keeps its old key; nothing is in the database.
    bool saveResults(CZelmoraDoc& doc, const std::filesystem::path& file,
                     MessageSink& sink) override;

  private:
    CAnalysesDatabase& db_;
    MethodComponents methodComponents_;
    PassportWriter writePassport_;
};

// Caption and text shown when a save failed.
inline constexpr const char* kSaveFailedCaption = "Сохранение в базу данных";
std::string saveFailedText(const std::string& file, const std::string& reason);

}  // namespace zelmora::db
