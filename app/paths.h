#pragma once
// Where the program keeps its files. With ZELMORA_HOME set, the settings of
// both scopes and every default folder (work log, database, methods,
// chromatograms, copies, queue) live under that one folder: tests, the demo
// and portable installations use it. Otherwise the XDG folders of the user.

#include <filesystem>
#include <string>

#include "app/result.h"

namespace zelmora::paths {

namespace fs = std::filesystem;

// The ZELMORA_HOME folder, or empty when it is not set.
fs::path homeOverride();

// Settings files of the two scopes (per user, read-write; machine-wide, read-only).
fs::path userSettingsFile();
fs::path machineSettingsFile();

// Folder of the work log when "UserFiles" is empty.
fs::path defaultLogFolder();
// Folder for the program's user data (database, methods, chromatograms, copies).
fs::path defaultDataFolder();
fs::path defaultDatabaseFolder();
fs::path defaultMethodFolder();
fs::path defaultChromatogramFolder();
fs::path defaultCopiesFolder();
fs::path defaultQueueFolder();

// The desktop's trash of the user (the freedesktop.org home trash,
// "~/.local/share/Trash"); "Trash" in ZELMORA_HOME when that is set, so
// that tests and portable use leave the user's own trash alone.
fs::path homeTrashFolder();

// The program folder: the installed share folder, or the source tree's
// "share" folder when the program runs from its build tree.
fs::path programFolder();

// Creates a folder and its parents; true when it exists afterwards as a folder.
bool ensureFolder(const fs::path& folder);

// Writes `content` to `target` through a temporary file in the same folder,
// flushed to disk before it is renamed over the target, so that a failure at
// any point leaves the old file as it was. A failure says why.
Status writeFileAtomically(const fs::path& target, std::string_view content);
// Writes all of `bytes` to the descriptor, retrying short and interrupted
// writes; 0, or the errno of the failure.
int writeAll(int fd, std::string_view bytes);

}  // namespace zelmora::paths
