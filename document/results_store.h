#pragma once
// The analyses database as the chromatogram file sees it. Reading a file checks
// that the analysis row its passport names still belongs to it; a successful
// write of the file saves the results there. The database library implements
// this and installs it; with none installed the key is kept and nothing is saved.

#include <ctime>
#include <filesystem>
#include <memory>

namespace zelmora {

class CZelmoraDoc;
class MessageSink;

class ResultsStore {
  public:
    enum class KeyCheck {
        Matches,      // the row exists with the passport's analysis and sampling times
        Mismatch,     // no such row, or one of its dates differs: the key is dropped
        Unavailable,  // the database cannot be asked now: the key is kept
    };

    virtual ~ResultsStore() = default;

    // Whether the analysis row `key` is the one of a passport with these
    // analysis ("AnDate") and sampling ("Date") times.
    virtual KeyCheck checkAnalysisKey(int key, std::time_t analysisTime,
                                      std::time_t samplingTime) = 0;

    // Saves the results of `doc`, which has just been written to `file`. A new
    // row's key goes into doc.passport and into the file (RewritePassport).
    virtual bool saveResults(CZelmoraDoc& doc, const std::filesystem::path& file,
                             MessageSink& sink) = 0;
};

// The store the chromatogram files use; nullptr when none is installed.
// Installation is guarded by a mutex inside; the store itself is used on the
// user-interface thread only.
std::shared_ptr<ResultsStore> resultsStore();
void installResultsStore(std::shared_ptr<ResultsStore> store);

}  // namespace zelmora
