#pragma once
// The commands of a chromatogram window, as operations on the document that
// the desktop program's menus, toolbars and view call, with the states their
// enabling rules read. The density table (density_table.h), the chromatogram
// made from a finished recording (recorded_chromatogram.h) and the edits of
// the trace with their undo (signal_edits.h) have files of their own.
//
// Method copies follow saved methods through MethodReloadLink (one per open
// chromatogram, kept by the front end); the commands that show a method
// sheet redraw afterwards.
//
// Conventions every command keeps:
// - After a manual change of the peaks (the after-edit chain) the peaks are
//   identified and, unless the chromatogram is a calibration chromatogram,
//   their concentrations computed; then the document is marked modified and
//   its views redrawn.
// - Filtering, drift compensation, clipped-peak approximation, mirroring and
//   cropping keep the samples as they were, with how far the peaks moved, as
//   the document's one undo record (TraceUndo; signal_edits.h).
// - Program options (the drift mode, whether the marking sheet is shown, the
//   access level, the database folder) are asked of the OptionsSource the
//   front end gave, when a command starts.
// - Filter and marking settings are taken, when a command starts, from the
//   chromatogram's own method copy when it has one, otherwise from the
//   program's default method (which is never read from or written to a file).
//
// Everything here runs on the user-interface thread.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/program_settings.h"
#include "app/result.h"
#include "document/chromatogram_export.h"
#include "document/zelmora_doc.h"
#include "method/method_records.h"
#include "processing/density_table.h"
#include "processing/quantitation.h"
#include "processing/recorded_chromatogram.h"

namespace zelmora {

class CMethodSheet;

// How the method sheet shown by a command was closed.
enum class SheetClose { Cancel, Ok, SavedAs };
inline constexpr int kSheetSavedAsId = 12321;  // the sheet's "Записать как" close

// One peak event asked for by the "Добавить событие" dialog over an interval.
struct EventRequest {
    double from = 0;  // "Начать с", min
    double to = 0;    // "Закончить в", min
    // 0 forbidden zone, 1 merge zone, 2 to 8 the marking parameter set by
    // the event kinds 4 to 10.
    int choice = 0;
    double value = 0;  // the additional value for choices 2 to 8
};

// The dialogs the commands show. The default answers are those of a
// headless caller: the settings are accepted as they stand, nothing is
// chosen, sheets are cancelled.
class CommandPrompts : public SaveFileChooser {
  public:
    virtual ~CommandPrompts() = default;
    // "Фильтрация хромотограммы", the filter page only; false on cancel.
    virtual bool editFilter(FilterSettings&) { return true; }
    // "Авторазметка", the marking page only; false on cancel.
    virtual bool editMarking(MarkingParameters&) { return true; }
    // "Добавить событие"; false on cancel.
    virtual bool editEvent(EventRequest&) { return false; }
    // The passport dialog; true when the passport was changed.
    virtual bool editPassport(CZelmoraDoc&) { return false; }
    // Shows `sheet` modally with page `page` active.
    virtual SheetClose showMethodSheet(CMethodSheet&, int /*page*/) { return SheetClose::Cancel; }
    // The chromatogram browser in its one-file mode; nothing on cancel.
    virtual std::optional<std::filesystem::path> chooseChromatogram() { return std::nullopt; }
    // The save dialog of the text export; nothing on cancel.
    std::optional<std::filesystem::path> chooseSaveFile(const SaveFileRequest&) override {
        return std::nullopt;
    }
};

// The program's default method: the settings source of a chromatogram
// without a method. Never read from or written to a file.
Method& defaultMethod();

// How a menu command that may fail ended. A failure (a density table that
// cannot be read, a trace too short to treat) is a failed Result with the
// message the operator was shown, once, by the command's reporting routine.
// Cancelling a dialog is not a failure: nothing is shown and nothing changed,
// so it is a success that did nothing (Unchanged), which keeps "the operator
// changed their mind" apart from "the command could not do it" for callers
// that log, beep or close windows.
// The view's edits and the commands that only show a dialog stay bool: a
// refused edit has nothing to tell (the view beeps), and a dialog's false is
// its cancel.
enum class CommandEffect { Done, Unchanged };
using CommandResult = Result<CommandEffect>;
// Whether the command ran to its end (the menu's old "true").
inline bool isDone(const CommandResult& r) {
    return r.ok() && *r == CommandEffect::Done;
}

// The program options as they stand when a command starts: the front end
// passes its settings, a test options of its own.
using OptionsSource = std::function<ProgramOptions()>;

class ChromatogramCommands {
  public:
    ChromatogramCommands(CZelmoraDoc& doc, MessageSink& sink, CommandPrompts& prompts,
                         OptionsSource options);

    CZelmoraDoc& document() { return doc_; }

    // What the commands' enabling rules read: the one-level undo copy
    // ("&Отменить"), the chromatogram's method (identification,
    // concentrations, its method sheet), and a calibration chromatogram
    // with a method ("+ Ко&мпоненты", "+ Точка &градуировки").
    bool canUndo() const { return doc_.undo.available; }
    bool hasMethod() const { return doc_.hasMethod; }
    bool canAddToMethod() const;

    // --- the commands
    bool Undo();
    bool EditPassport();
    bool ShowMethod();
    bool AddComponents();
    bool AddCalibrationLevel();
    CommandResult Filter();
    bool AutoMark();
    bool DeleteAll();
    bool Identify();
    bool Concentrations();
    CommandResult CopyConcentrations();
    CommandResult CopyConcentrationsFrom(const std::filesystem::path& file);
    CommandResult CompensateDrift();
    CommandResult SaveToDatabase();
    // "Э&кспорт хроматограммы"; automatic for the method's automatic export.
    bool ExportText(ExportMode mode = ExportMode::Interactive);
    // The results to the outside program. When it accepted them and the
    // chromatogram was saved, closeRequested() turns true: the front end
    // then closes the window.
    bool ExportToProgram();
    bool closeRequested() const { return closeRequested_; }
    CommandResult ConvertConcentrations(DensityConversion direction);
    void ToggleGroups();
    bool showGroups() const { return showGroups_; }

    // --- operations of the chromatogram view (times in minutes)
    bool DeletePeakAt(long long k);
    bool AddPeakBetween(double a, double b);
    bool AddAdjacentPeakAt(long long k, double t, int side);
    bool SetPeakBoundsAt(long long k, double tStart, double tEnd);
    int FindPeak(double a, double b) { return doc_.FindPeak(a, b); }
    int FindNextPeak(double a, double b) { return doc_.FindNextPeak(a, b); }
    // Mirrors the samples of peak k about its baseline. Keeps the samples as
    // the undo copy, measures the peaks again and marks the document modified.
    bool InvertPeak(long long k);
    // Cuts the chromatogram to [a, b]: peaks not wholly inside are deleted, the
    // others shifted by -a. The samples before the cut become the undo copy.
    bool CropTo(double a, double b);
    bool AddEventOver(double a, double b);
    // Rebuilds the clipped top of peak k (the tallest one) from its flanks;
    // the samples before become the undo copy.
    bool ApproximateClippedPeak(long long k);

    // Identification and concentrations unless the chromatogram is a
    // calibration chromatogram; then modified and redrawn.
    void AfterEdit();

    // The settings the last command took from the method or default method.
    FilterSettings filterSettings;
    MarkingParameters detectionSettings;

  private:
    const Method& settingsSource() const;
    void takeFilterSettings();
    void takeDetectionSettings();
    // Keeps the detection settings in the method (saved, methods reloaded)
    // or in the default method, then marks the peaks again.
    void storeDetectionSettingsAndMark(bool sheetConfirmed, int accessLevel);
    bool methodSheetCommand(int page, bool addComponents, bool addLevel);
    // The one place a failed command reaches the operator: a warning box
    // titled `caption`; returns the failure for the caller.
    Status report(const char* caption, Status failure);
    // Concentrations by the method; a kind that computes none is reported.
    void reportQuantitationOf();

    CZelmoraDoc& doc_;
    MessageSink& sink_;
    CommandPrompts& prompts_;
    OptionsSource options_;
    bool showGroups_ = false;
    bool closeRequested_ = false;
};

}  // namespace zelmora
