#pragma once
// A finished recording becomes a chromatogram: the document a channel filled
// is processed with its method, named after the method and the analysis time
// ("<method or Zelmora>_DDMMYY_HHMMSS.stg") and placed in the chromatogram
// folder by the "SaveFolderType" option (by year and month, by method, or
// both), or in the method's own folder; a name already taken gets a number.

#include <ctime>
#include <filesystem>
#include <string>

#include "app/program_settings.h"
#include "app/result.h"
#include "document/message_sink.h"

namespace zelmora {

class CZelmoraDoc;

// "<method or Zelmora>_DDMMYY_HHMMSS.stg" from the analysis time.
std::string recordingFileName(std::time_t analysisTime, const std::string& methodName);
// The month folder "MM-monthname" ("12-декабрь").
std::string monthFolderName(int month);
// The folder of a new chromatogram for "SaveFolderType" under `chromatograms`,
// made level by level; `now` gives the year and month.
std::filesystem::path recordingFolder(const std::filesystem::path& chromatograms,
                                      int saveFolderType, const std::string& methodName,
                                      std::time_t now);
// `path`, or "<stem> (2).stg", "<stem> (3).stg", ... when that file exists.
std::filesystem::path uniqueFilePath(const std::filesystem::path& path);

// Where the new chromatogram went.
struct RecordedChromatogram {
    std::filesystem::path path;  // its file, written or to be written
    bool saved = false;          // written by the automatic save
};

// Turns a document whose signal and passport a channel has filled into a
// chromatogram: undo copy, duration, method, filtering, marking,
// identification, concentrations, the file name and folder, and the
// automatic save, by `options` ("SaveFolderType", "AutoSave", the folders).
// A recording without samples is refused with the reason.
Result<RecordedChromatogram> CreateFromRecording(CZelmoraDoc& doc, MessageSink& sink,
                                                 const ProgramOptions& options,
                                                 std::time_t now = std::time(nullptr));

}  // namespace zelmora
