#pragma once
// What the dialog "Открытие хроматограммы" knows about a folder of
// chromatograms: one entry per sub-folder and per ".stg" file with the date,
// sample, method, place and point of its passport (read without the samples),
// the filters by type and by method, place and point, the joint selection of
// chromatograms recorded together on several channels, and the copying,
// moving and deleting of the chosen files.

#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/result.h"

namespace zelmora {

struct BrowserEntry {
    bool isFolder = false;
    std::string name;  // file title without extension, folder name, ".." for the parent
    std::time_t analysisTime = 0;
    std::string sample;  // "????" when the passport cannot be read
    std::string method, place, point;
    bool passportRead = false;
    std::int32_t calibration = 0;  // 0 when the passport cannot be read
};

inline constexpr const char* kUnreadableSample = "????";
inline constexpr const char* kAnyMethod = "* (любой)";  // string 118
inline constexpr const char* kAnyPlace = "* (любой)";   // string 118
inline constexpr const char* kAnyPoint = "* (любая)";   // string 119
inline constexpr const char* kPreviewUp = "<ВВЕРХ>";
inline constexpr const char* kPreviewFolder = "<ПАПКА>";
inline constexpr const char* kPreviewUnreadable = "Ошибка чтения !!!";

// "Тип:": every chromatogram, calibration chromatograms only, all others.
enum class BrowserType { All = 0, Calibration = 1, Others = 2 };

struct BrowserFilter {
    BrowserType type = BrowserType::All;
    // Empty or the "any" entry: no condition; otherwise equal without regard
    // to letter case.
    std::string method, place, point;
};

// Whether a text filter lets `value` through.
bool textFilterPasses(const std::string& filter, const std::string& value);
bool typeFilterPasses(BrowserType type, const BrowserEntry& entry);
bool filterPasses(const BrowserFilter& filter, const BrowserEntry& entry);

// The entries of `folder`: ".." first (unless the folder is a root), then its
// sub-folders by name, then the ".stg" files that pass the type filter, the
// newest analysis first. A folder that cannot be listed gives what could be
// read (possibly nothing).
std::vector<BrowserEntry> listFolder(const std::filesystem::path& folder, BrowserType type);

// The path of an entry of `folder`: the parent folder for "..", the
// sub-folder's path for a folder, "<folder>/<name>.stg" for a file.
std::filesystem::path entryPath(const std::filesystem::path& folder, const BrowserEntry& entry);

// The preview text of an entry: "<ВВЕРХ>", "<ПАПКА>", the passport's text or
// "Ошибка чтения !!!".
std::string previewText(const std::filesystem::path& folder, const BrowserEntry& entry);

// "Совместный выбор": the indexes of the files in `entries` recorded less than
// 10 seconds from entry `selected` (itself included); only `selected` when it
// is a folder or has no readable passport.
std::vector<std::size_t> jointSelection(const std::vector<BrowserEntry>& entries,
                                        std::size_t selected);

// The answer to "the file is there already" during copying or moving.
enum class OverwriteAnswer { Replace, Skip, Stop };
using AskOverwrite = std::function<OverwriteAnswer(const std::filesystem::path& target)>;

struct TransferReport {
    int done = 0;
    int skipped = 0;
    std::vector<std::string> failures;  // "<file>: <reason>", the messages of transferFile()
    bool sameFolder = false;            // the target is the current folder: nothing done
};

// Copies (or moves) `files` into `target`. Nothing happens when `target` is
// `current` (paths compared without regard to case, trailing separators
// ignored). An existing file is replaced only when `ask` says so; a copy is
// written under a temporary name and renamed, so a failure never leaves a
// half-written chromatogram in place of a good one. A moved file is deleted
// only after its copy is complete.
TransferReport transferFiles(const std::vector<std::filesystem::path>& files,
                             const std::filesystem::path& current,
                             const std::filesystem::path& target, bool move,
                             const AskOverwrite& ask);

// Copies (or moves) one file to `target`, through "<target>.part" renamed
// over it, so that a failure never leaves a half-written chromatogram there;
// a moved file is deleted only after its copy is complete. A failure says
// "<file>: <reason>".
Status transferFile(const std::filesystem::path& file, const std::filesystem::path& target,
                    bool move);

// Strings 193 "Удалить %1 ?" and 194 "Выделено хромaтограмм: %d. Удалить все ?".
std::string deleteQuestion(const std::vector<std::filesystem::path>& files);
// "Удалить" moves the files into the desktop's trash, from where the file
// manager can restore them. Files that no trash can take are not touched:
// they are listed in `noTrash`, for the question whether to delete them for
// good; the other failures as "<file>: <reason>".
struct DeleteReport {
    std::vector<std::filesystem::path> noTrash;
    std::vector<std::string> failures;
};
DeleteReport moveFilesToTrash(const std::vector<std::filesystem::path>& files);
// The question for the files no trash can take.
std::string deleteForGoodQuestion(const std::vector<std::filesystem::path>& files);
// Deletes one file for good; a failure says "<file>: <reason>".
Status deleteFile(const std::filesystem::path& file);
// Deletes the files for good; the messages of the failures.
std::vector<std::string> deleteFiles(const std::vector<std::filesystem::path>& files);

// The failures of a batch of files as one: success when there are none,
// otherwise their messages one per line.
Status joinFailures(const std::vector<std::string>& failures);

bool samePathNoCase(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace zelmora
