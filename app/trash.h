#pragma once
// Deleting a file the way the desktop does: into the trash, from where the
// file manager can restore it. The trash is the freedesktop.org one: the
// file goes to "files/" of the trash folder and a "<name>.trashinfo" in
// "info/" keeps its original path and the time of deletion. A file on the
// home trash's file system goes to the home trash; one on another volume to
// that volume's ".Trash-<uid>" folder at its top.
//
// A file is never copied into the trash: it is renamed, so that it is either
// wholly in the trash or wholly where it was.

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

#include "app/result.h"

namespace zelmora {

// The trash folder that takes `file` (it exists or can be made), or nothing
// when no trash can be used for it: the caller then asks before deleting it
// for good.
std::optional<std::filesystem::path> trashFolderFor(const std::filesystem::path& file);

// Moves `file` into its trash; where it is now. `now` is the deletion time
// written down.
Result<std::filesystem::path> moveToTrash(const std::filesystem::path& file,
                                          std::time_t now = std::time(nullptr));

// The path as a trash information file writes it: every byte outside the
// unreserved characters and "/" as %XX.
std::string trashInfoPath(const std::string& path);

}  // namespace zelmora
