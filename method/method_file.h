#pragma once
// The method file ".mtd": a flat archive of signature 0x5C394583, a version
// and the parts of the method in a fixed order, followed (from version 5 on)
// by tagged blocks of instrument settings ended by the tag -1. Version 57 is
// written; every version from 0 to 57 is read, each field only from the
// version that introduced it.

#include <cstdint>
#include <string>
#include <string_view>

#include "app/result.h"
#include "method/method_records.h"

namespace zelmora {

inline constexpr std::uint32_t kMethodSignature = 0x5C394583;
inline constexpr std::int32_t kMethodVersion = 57;

// Tags of the blocks after the method's parts.
inline constexpr std::int32_t kMethodTagKalder = 1;
inline constexpr std::int32_t kMethodTagEhd = 10;
inline constexpr std::int32_t kMethodTagEnd = -1;

// Reads a method file's bytes; the file's version, or a failure saying why the
// file was refused (a version that is not supported is named). `method` holds
// the values that fields the file's version lacks keep, and the settings
// blocks the file has none for. It is changed only when the whole file was
// read; on failure it is left as it was.
Result<int> readMethodFile(std::string_view bytes, Method& method);

// The bytes of `method` as a version-57 file.
std::string writeMethodFile(const Method& method);

}  // namespace zelmora
