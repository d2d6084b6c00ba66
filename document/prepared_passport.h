#pragma once
// The passport prepared for the next recording of a method: when the
// operator fills in the passport while a run is being prepared, it is kept
// in "<method>.ps" (the passport stream's own layout, as in the chromatogram
// file) in the user's data folder, and the next preparation of that method
// starts from it. So each method remembers the sample last entered for it.
//
// A method name is a file title; characters a file name cannot hold ('/'
// and NUL) are replaced by '_'. A method without a name keeps no passport.

#include <filesystem>
#include <optional>
#include <string_view>

#include "app/result.h"
#include "document/passport.h"

namespace zelmora {

inline constexpr const char* kPreparedPassportExtension = ".ps";

// The file of `method` in `folder`; empty for an empty method name.
std::filesystem::path preparedPassportFile(const std::filesystem::path& folder,
                                           std::string_view method);

// Writes the passport to its method's file, replacing it only once the new
// content is complete.
Status writePreparedPassport(const std::filesystem::path& folder, const Passport& passport);

// The passport kept for `method`: nullopt when there is none; a damaged file
// is a failure saying why.
Result<std::optional<Passport>> readPreparedPassport(const std::filesystem::path& folder,
                                                     std::string_view method);

}  // namespace zelmora
