#pragma once
// The two plain forms in which a chromatogram leaves the program besides its
// ".stg" file.
//
// The text export ("...data.txt") carries the passport headline, the peak
// table and every sample, in Windows-1251 with CR LF line ends and "%f"
// numbers, for spreadsheets and the laboratory's own tools. It runs on the
// operator's command and automatically after a recording when the method asks
// for it.
//
// The result export hands the hydrocarbon concentrations of one analysis to
// the laboratory's outside program (the value "Prg" of the user settings): an
// XML file with the analysis number from the sample text and the
// concentrations of ethane to the hexanes as fractions, given to that program
// together with the chromatogram's file. When the program accepts the results
// (exit code 0) the chromatogram is saved and may be closed.
//
// A failure is always reported: by a message to the operator for a command,
// by a work-log line for an automatic run.

#include <array>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "app/process.h"
#include "app/result.h"

namespace zelmora {

class CZelmoraDoc;
class MessageSink;
class SettingsStore;

// Who hears of a failure: the operator (message boxes) or the work log.
enum class ExportMode { Interactive, Automatic };

// --- text export

inline constexpr const char* kTextExportSuffix = "data.txt";
inline constexpr const char* kTextExportFolder = "Data";
inline constexpr const char* kTextExportTitle = "Экспорт в текстовый файл";
inline constexpr const char* kTextExportFilter =
    "Текстовые файлы Win-1251 (*.txt)|*.txt|Все файлы (*.*)|*.*||";

// "%A, %B %d, %Y" of `t` in local time with the English day and month names,
// whatever the process locale ("Tuesday, December 08, 2026").
std::string formatEnglishLongDate(std::time_t t);

// The whole content of the text export file as it goes to disk: Windows-1251
// bytes, every line ending in CR LF.
std::string textExportBytes(const CZelmoraDoc& doc);

// The file name that the text export derives from a save name: the save name
// cut at its first "." followed by "data.txt" ("Газ_081226_143005.stg" gives
// "Газ_081226_143005data.txt", an empty save name "data.txt").
std::string textExportFileName(std::string_view saveName);

// Where the text export of a chromatogram with this save name goes without
// asking: a name with a "." into the "Data" folder of the program folder, a
// name without one into the current folder. nullopt for an empty save name:
// then the operator chooses the file.
std::optional<std::filesystem::path> textExportTarget(std::string_view saveName,
                                                      const std::filesystem::path& programFolder,
                                                      const std::filesystem::path& currentFolder);

// What the save-file dialog of the text export is asked to show.
struct SaveFileRequest {
    std::string title;
    std::string defaultExtension;
    std::string filter;  // "label|pattern|label|pattern||"
    std::string fileName;
    std::filesystem::path initialFolder;
    bool overwritePrompt = true;
    bool hideReadOnly = true;
};

// The save-file dialog, supplied by the front end.
class SaveFileChooser {
  public:
    virtual ~SaveFileChooser() = default;
    // The chosen file, or nullopt when the operator cancels.
    virtual std::optional<std::filesystem::path> chooseSaveFile(const SaveFileRequest& request) = 0;
};

// The folders the text export works with; empty ones are the program's
// writable data folder (paths::defaultDataFolder(), under ZELMORA_HOME when
// set: the installed program folder is read-only) and the process's current
// folder.
struct TextExportFolders {
    std::filesystem::path programFolder;
    std::filesystem::path currentFolder;
};

// Writes the text export of `doc` to `file`, replacing it only once the new
// content is complete. Reports nothing; a failure comes back with the message
// the operator is to see.
Status writeTextExport(const CZelmoraDoc& doc, const std::filesystem::path& file);

// The command "Экспорт хроматограммы" and the automatic export after a
// recording: the file from the save name (the "Data" folder is created when
// missing), or from `chooser` when the chromatogram has no save name. An
// automatic run never asks; without a save name it fails. Every failure to
// write is reported (message box or work-log line by `mode`) and comes back as
// the failure. On success the file written, or an empty path when the operator
// cancelled the choice of the file.
Result<std::filesystem::path> ExportText(const CZelmoraDoc& doc, MessageSink& sink,
                                         SaveFileChooser* chooser,
                                         ExportMode mode = ExportMode::Interactive,
                                         const TextExportFolders& folders = {});

// --- result export (XML)

// The element names, in their order: ethane, propane, isobutane, butane,
// isopentane, pentane, hexanes and isohexanes, as the receiving program
// expects them.
inline constexpr std::array<const char*, 8> kResultExportKeys = {"c2",  "c3", "ic4", "c4",
                                                                 "ic5", "c5", "c6",  "ic6"};
// The value of an element whose component has no peak.
inline constexpr double kResultExportMissingValue = 0.001;
// At most this many characters of the sample text make the analysis number.
inline constexpr std::size_t kAnalysisNumberMaxChars = 100;

inline constexpr const char* kNoAnalysisNumberMessage =
    "Не могу экспортировать хроматограмму. Не найден уникальный номер анализа!";

// The analysis number in a sample text: the text from the second character
// after the first "#" (the one right after "#" is always skipped), at most
// kAnalysisNumberMaxChars characters, never cut inside a character. nullopt
// when there is no "#" or nothing (or only blanks) follows the skipped
// character. "Газ # 1234" gives "1234", "Газ #1234" gives "234".
std::optional<std::string> analysisNumber(std::string_view sample);

// A number as the text of an "r8" element: the shortest decimal form that
// reads back as the same double, with a point whatever the locale ("0.125",
// "0.001", "1e-07"); non-finite values as "NaN", "INF" and "-INF".
std::string formatXmlNumber(double value);

// The result XML of `doc` with the analysis number `number`: root "Document"
// (xmlns:dt="urn:schemas-microsoft-com:datatypes"), its child "analyse" with
// "id" (dt:dt="string") and then, per key, one "r8" element for every peak
// whose component name equals the key without regard to case, with its
// concentration / 100, or a single one with 0.001 when no peak matches. UTF-8
// text beginning with the XML declaration.
std::string resultExportXml(const CZelmoraDoc& doc, std::string_view number);

// --- export to the outside program

// The value of the user settings that names the outside program.
inline constexpr const char* kExportProgramValue = "Prg";

struct ProgramExportOptions {
    const SettingsStore* settings = nullptr;  // nullptr: userSettings()
    std::filesystem::path tempFolder;         // empty: temporaryFolder() (TMPDIR or /tmp)
};

struct ProgramExportResult {
    enum class Status {
        Done,              // the program took the results and the chromatogram was saved
        NotConfigured,     // no program in "Prg"
        NoAnalysisNumber,  // no "#" with a number in the sample text
        NoFile,            // the chromatogram has no file to name
        TempFileFailed,    // the XML file could not be written
        StartFailed,       // the program could not be started
        ProgramFailed,     // it ended with a non-zero code or by a signal
        SaveFailed,        // it accepted the results, but saving the chromatogram failed
    };
    Status status = Status::NotConfigured;
    // True only when the program accepted the results and the chromatogram
    // was saved: the front end then closes the chromatogram.
    bool closeChromatogram = false;
    std::string message;  // what was reported, for a failure
    ProcessResult process;
    std::filesystem::path xmlFile;  // the temporary file the program got; removed by now
};

// The toolbar command "export to the outside program": the program from the
// "Prg" setting is started with its own words (double quotes group blanks),
// then the XML file and the chromatogram's file as two further arguments, and
// waited for. On exit code 0 the chromatogram is saved with its save hook.
// The temporary XML file is removed on every path.
ProgramExportResult ExportToProgram(CZelmoraDoc& doc, MessageSink& sink,
                                    ExportMode mode = ExportMode::Interactive,
                                    const ProgramExportOptions& options = {});

}  // namespace zelmora
