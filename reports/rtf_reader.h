#pragma once
// Reads the RTF that word processors save (report templates, saved reports)
// into the report's rich text. Text comes as plain bytes in the document's
// code page (\ansicpg1251 for Cyrillic templates, or the font's character
// set), as \'xx escapes or as \uN escapes with their fallback characters;
// all of it becomes UTF-8. Fonts, colours, paragraph and character formats,
// tables, page margins and pictures are read into the model; everything
// else is kept as raw RTF (see rtf_document.h).
//
// The bytes come from outside the program. The reader never recurses over
// groups, checks every length before it uses it, and refuses a file that is
// not RTF, whose groups nest deeper than any word processor writes, or whose
// binary data runs past the end. A file that simply stops before its last
// closing braces is read as far as it goes, as word processors do.

#include <filesystem>
#include <string_view>

#include "app/result.h"
#include "reports/rtf_document.h"

namespace zelmora::rtf {

inline constexpr int kMaxGroupDepth = 512;

Result<RtfDocument> readRtf(std::string_view bytes);
// Reads a file; the failure names the file and the reason.
Result<RtfDocument> readRtfFile(const std::filesystem::path& path);

}  // namespace zelmora::rtf
