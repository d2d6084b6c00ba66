#pragma once
// Writes the report's rich text as RTF that word processors open: the font
// and colour tables, the page size and margins, then the text paragraph by
// paragraph, each opened with its full paragraph format and every change of
// character format written in full, tables row by row with their row
// definition in front, pictures as PNG (or their own blip) in hex. Letters
// outside ASCII are written as \uN with a fallback byte in the document's
// code page, so that both old and new readers get the right text. Raw RTF
// that the reader kept is written back where it stood.
//
// Writing what the reader gave and reading it again gives the same document.

#include <filesystem>
#include <string>

#include "app/result.h"
#include "reports/rtf_document.h"

namespace zelmora::rtf {

std::string writeRtf(const RtfDocument& doc);
// Writes through a temporary file renamed over the target, so a failure
// leaves an existing file as it was.
Status writeRtfFile(const RtfDocument& doc, const std::filesystem::path& path);

}  // namespace zelmora::rtf
