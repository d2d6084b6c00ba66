#pragma once
// The program's options: one object that every part of the program reads at
// the moment it needs an option. Values live in the per-user settings store
// under "Software\Quendal\Zelmora" with the value names below (flags and
// integers as DWORD, folders as strings, real numbers as "%f" text); a stored
// value of the wrong kind or outside its range reads as the default.
//
// The machine-wide scope supplies "UserFiles" and, when the user has no
// database folder of their own, the database, methods and chromatograms
// folders; those fallbacks are never written back into the user's scope.

#include <array>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "app/result.h"

namespace zelmora {

class SettingsStore;

// One dissolved gas of the transformer-oil analysis: its formula, the
// component name that stands for it in methods, and its boundary
// concentration.
struct OilGas {
    std::string formula;
    std::string name;
    double boundary = 0;
};

inline constexpr std::array<const char*, 7> kOilGasFormulas = {"H2",   "CO",   "CO2", "CH4",
                                                               "C2H2", "C2H4", "C2H6"};

// The option values as a plain record; CProgramSettings hands out copies.
struct ProgramOptions {
    std::array<OilGas, 7> oilGases;
    double c0 = 1;                    // "C0" detection-limit concentration
    double v = 1;                     // "V" injected volume
    double qgn = 30;                  // "Qgn" carrier flow, ml/min
    int detType = 0;                  // "DetType" 0 "г/сек", 1 "г/мл"
    int detType2 = 0;                 // "DetType2" detector kind 0..4
    bool useC0 = false;               // "UseC0"
    double pDoza = 765;               // "PDoza" dose pressure, mm Hg
    double tKrana = 25;               // "TKrana" valve temperature, °C
    double kk = 40;                   // "KK" split ratio
    double useKK = 0;                 // "UseKK" stored as DWORD, kept as a real
    bool confirmDisconnect = false;   // "ConfirmDisconnect"
    bool autoSave = false;            // "AutoSave"
    bool enableKGK = false;           // "EnableKGK" use the analysis queue
    bool autoClose = false;           // "AutoClose"
    bool checkOpenPassport = false;   // "CheckOpenPassport"
    bool disconect2 = false;          // "Disconect2" warn on stop
    int noiseCalcType = 0;            // "NoiseCalcType" 0..1
    int driftageCompensation = 0;     // "DriftageCompensation" 0..1
    bool nameNumber = false;          // "NameNumber"
    bool nameName = true;             // "NameName"
    bool nameTime = false;            // "NameTime"
    int direction = 1;                // "Direction" 0 horizontal, 1 vertical
    int numZnakovC = 3;               // "NumZnakovC" digits of concentrations
    int numZnakovH = 3;               // "NumZnakovH" digits of heights
    int numZnakovS = 3;               // "NumZnakovS" digits of areas
    int floatType = 0;                // "FloatType" 0 auto, 1 fixed, 2 exponent
    int processor = 3;                // "Processor" 0..7
    bool peekWindow = false;          // "PeekWindow"
    bool transformOil = false;        // "TransformOil"
    bool viewGroup = true;            // "ViewGroup"
    bool noViewGroupCalib = false;    // "NoViewGroupCalib"
    bool useSound = false;            // "UseSound"
    int saveFolderType = 0;           // "SaveFolderType" 0..3
    int markPeek = 0;                 // "MarkPeek" 0 vertical line, 1 segment
    bool checkViewNoMethod = true;    // "CheckViewNoMethod"
    bool autoGenerateMethod = false;  // "AutoGenerateMethod"
    bool checkViewReport = true;      // "CheckViewReport"
    bool checkViewAutoMark = true;    // "CheckViewAutoMark"
    bool checkSaveDb = false;         // "CheckSaveDb"
    bool checkSaveCopy = false;       // "CheckSaveCopy"
    std::string userFiles;            // "UserFiles" (machine-wide, never written)
    std::string pathSaveDb;           // "PathSaveDb"
    std::string pathSaveCopy;         // "PathSaveCopy"
    std::string methodPath;           // "MethodPath"
    std::string openPath;             // "OpenPath"
    int normSec = 0;                  // "NormSec" 0 minutes, 1 seconds
    int accessLevel = 1;              // "AccessLevel" 0..5

    ProgramOptions();

    // Folders to use: the option, or the program's default when it is empty.
    std::filesystem::path logFolder() const;
    std::filesystem::path databaseFolder() const;
    std::filesystem::path methodFolder() const;
    std::filesystem::path chromatogramFolder() const;
    std::filesystem::path copiesFolder() const;
    std::filesystem::path databaseFile() const;  // "Zelmora.db" in the database folder

    // Period of the drawing timers of views and recording windows.
    int redrawPeriodMs() const { return 3000 - 414 * processor; }
};

class CProgramSettings {
  public:
    CProgramSettings();

    // The program's one instance, loaded from userSettings()/machineSettings()
    // on first use.
    static CProgramSettings& instance();

    // Reads every option; missing, mistyped or out-of-range values read as
    // their defaults.
    void load(const SettingsStore& user, const SettingsStore* machine);
    // Writes every option this object owns into `user` and flushes it.
    Status save(SettingsStore& user) const;
    Status save() const;

    ProgramOptions options() const;
    void setOptions(const ProgramOptions& o);
    template <typename F>
    void update(F&& change) {
        std::lock_guard lock(mutex_);
        change(options_);
        folderChanged();
    }

    // Sets the copies folder, creating it when missing. Returns false when it
    // still does not exist afterwards; the path is stored in either case.
    bool setCopiesFolder(const std::string& folder);

    // True while the database, methods and chromatograms folders come from the
    // machine-wide scope.
    bool usesMachineFolders() const;

  private:
    void folderChanged();

    mutable std::mutex mutex_;  // guards options_ and the fields below
    ProgramOptions options_;
    // The user's own folder values, which are what save() writes; options_
    // may show the machine-wide ones instead.
    std::string userPathSaveDb_, userMethodPath_, userOpenPath_;
    std::string machinePathSaveDb_, machineMethodPath_, machineOpenPath_;
    bool machineFolders_ = false;
};

inline ProgramOptions programOptions() {
    return CProgramSettings::instance().options();
}

// Concentrations (kind 0), heights (1) and areas (2) with the configured
// digits and notation; any other kind uses 3 digits.
std::string FormatValue(double value, int kind, const ProgramOptions& o);
std::string FormatValue(double value, int kind);

// "Версия 0.1.0", with " beta" or " alpha" for the tweak numbers 1 and 2.
std::string versionText(int major, int minor, int patch, int tweak);
std::string versionText();
// The bare version for the work log's start line: "0.1.0", "0.1.0 beta".
std::string versionNumber();
// A build date "Dec  9 2026" as "9 декабря 2026"; unknown months stay as they are.
std::string russianDate(std::string_view buildDate);
std::string buildDateText();

// The method files ("*.mtd", matched without regard to case) of a folder,
// sorted by name so that numbering by position is stable.
std::vector<std::string> methodFiles(const std::filesystem::path& folder);

// Access levels 0..5 and their names.
inline constexpr int kAccessLevels = 6;
const char* accessLevelName(int level);
// True when `typed` is one of the accepted spellings of the pass word of
// level 3, 4 or 5: Cyrillic capitals or small letters, or the same keys on a
// Latin keyboard layout in capitals or small letters.
bool acceptsPassword(int level, std::string_view typed);
// The keys of the Russian layout as typed on the Latin one ("ПУСК" -> "GECR").
std::string latinLayout(std::string_view cyrillic);

}  // namespace zelmora
