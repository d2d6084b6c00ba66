#include "processing/chromatogram_commands.h"

#include <algorithm>
#include <cmath>

#include "app/text.h"
#include "app/work_log.h"
#include "method/document_method.h"
#include "method/method_sheet.h"
#include "processing/calibration.h"
#include "processing/chromatogram_open.h"
#include "processing/chromatogram_processing.h"
#include "processing/chromatogram_treatments.h"
#include "processing/peak_detector.h"
#include "processing/peak_integration.h"
#include "processing/signal_edits.h"

namespace zelmora {

namespace fs = std::filesystem;

namespace {

// The page of the method sheet that holds the component table.
constexpr int kComponentsPage = 4;

bool isCalibration(const CZelmoraDoc& doc) {
    return doc.passport.calibration != 0;
}

// Identification and, for an ordinary chromatogram, concentrations, as they
// follow every marking.
void identifyAndQuantitate(CZelmoraDoc& doc) {
    if (isCalibration(doc))
        return;
    IdentifyPeaks(doc);
    CalculateConcentrations(doc);
}

}  // namespace

Method& defaultMethod() {
    static Method method;  // user-interface thread only
    return method;
}

// --- commands

ChromatogramCommands::ChromatogramCommands(CZelmoraDoc& doc, MessageSink& sink,
                                           CommandPrompts& prompts, OptionsSource options)
    : doc_(doc), sink_(sink), prompts_(prompts), options_(std::move(options)) {}

bool ChromatogramCommands::canAddToMethod() const {
    return isCalibration(doc_) && doc_.hasMethod;
}

const Method& ChromatogramCommands::settingsSource() const {
    const Method* m = documentMethod(doc_);
    return m != nullptr ? *m : defaultMethod();
}

void ChromatogramCommands::takeFilterSettings() {
    filterSettings = settingsSource().filter;
}

void ChromatogramCommands::takeDetectionSettings() {
    detectionSettings = settingsSource().marking;
}

void ChromatogramCommands::AfterEdit() {
    identifyAndQuantitate(doc_);
    doc_.changed(CZelmoraDoc::Change::Peaks);
}

bool ChromatogramCommands::Undo() {
    return UndoTraceEdit(doc_);
}

bool ChromatogramCommands::EditPassport() {
    if (!prompts_.editPassport(doc_))
        return false;
    doc_.changed(CZelmoraDoc::Change::Passport);
    // The amounts and the norm enter the concentrations; a calibration
    // chromatogram keeps the ones it was calibrated with.
    if (doc_.passport.calibration == 0)
        Concentrations();
    return true;
}

bool ChromatogramCommands::ShowMethod() {
    const CMethodSheet* own = documentMethodSheet(doc_);
    if (own == nullptr)
        return false;
    // The sheet shows a copy: closed with OK it saves its method, and the
    // saved-method notification then replaces the document's own copy (and
    // those of every chromatogram using the method).
    CMethodSheet sheet = *own;
    const SheetClose how = prompts_.showMethodSheet(sheet, 0);
    doc_.updateTitle();
    doc_.redraw(CZelmoraDoc::Change::Method);
    return how != SheetClose::Cancel;
}

bool ChromatogramCommands::methodSheetCommand(int page, bool addComponents, bool addLevel) {
    CMethodSheet sheet;
    if (!sheet.ReadMethod(doc_.passport.method)) {
        doc_.hasMethod = false;
        doc_.updateTitle();
        return false;
    }
    if (addComponents)
        AddComponentsFromPeaks(sheet.method(), doc_.peaks);
    if (addLevel)
        AddCalibrationPoint(sheet.method(), doc_.peaks, doc_.passport, &sink_);
    const SheetClose how = prompts_.showMethodSheet(sheet, page);
    doc_.updateTitle();
    doc_.redraw(CZelmoraDoc::Change::Method);
    return how != SheetClose::Cancel;
}

bool ChromatogramCommands::AddComponents() {
    return methodSheetCommand(kComponentsPage, true, false);
}

bool ChromatogramCommands::AddCalibrationLevel() {
    return methodSheetCommand(kComponentsPage, false, true);
}

Status ChromatogramCommands::report(const char* caption, Status failure) {
    sink_.messageBox(caption, failure.message(), MessageIcon::Warning);
    return failure;
}

CommandResult ChromatogramCommands::Filter() {
    takeFilterSettings();
    if (!prompts_.editFilter(filterSettings) || filterSettings.kind == 0)
        return CommandEffect::Unchanged;
    if (!doc_.hasMethod)
        defaultMethod().filter = filterSettings;
    if (!ApplyFilter(doc_, filterSettings))
        return report("Фильтрация хромотограммы",
                      Status::failure("Фильтр не применён: хроматограмма короче окна фильтра."));
    return CommandEffect::Done;
}

void ChromatogramCommands::storeDetectionSettingsAndMark(bool sheetConfirmed, int accessLevel) {
    if (CMethodSheet* sheet = documentMethodSheet(doc_); sheet != nullptr && doc_.hasMethod) {
        sheet->method().marking = detectionSettings;
        // Saved from a copy: the saved-method notification replaces the
        // document's own copy while the save is still running.
        if (MayMarkingSaveMethod(sheetConfirmed, accessLevel)) {
            CMethodSheet saved = *sheet;
            if (const Status written = saved.SaveMethod(SaveIntent::Automatic); !written) {
                // The marking goes on with the new parameters; the person must
                // know that the method file still has the old ones.
                const std::string message = "Параметры разметки не сохранены в методе \"" +
                                            saved.name() + "\": " + written.message();
                sink_.messageBox("Авторазметка", message, MessageIcon::Warning);
                CWorkLog::instance().write("! " + message);
            }
        }
    } else {
        defaultMethod().marking = detectionSettings;
    }
    doc_.peaks.attach(&doc_.signal);
    AutoMarkPeaks(doc_.peaks, detectionSettings);
    identifyAndQuantitate(doc_);
    doc_.changed(CZelmoraDoc::Change::Peaks);
}

bool ChromatogramCommands::AutoMark() {
    const ProgramOptions options = options_();
    takeDetectionSettings();
    bool confirmed = false;
    if (options.checkViewAutoMark) {
        if (!prompts_.editMarking(detectionSettings))
            return false;
        confirmed = true;
    }
    storeDetectionSettingsAndMark(confirmed, options.accessLevel);
    return true;
}

bool ChromatogramCommands::AddEventOver(double a, double b) {
    if (!std::isfinite(a) || !std::isfinite(b))
        return false;
    takeDetectionSettings();
    EventRequest request;
    request.from = std::min(a, b);
    request.to = std::max(a, b);
    if (!prompts_.editEvent(request))
        return false;
    const double from = std::min(request.from, request.to);
    const double to = std::max(request.from, request.to);
    auto& events = detectionSettings.events;
    if (request.choice == 0 || request.choice == 1) {
        const std::int32_t open = request.choice == 0 ? kForbidMarking : kMergeBegin;
        events.push_back({open, from, 0, 0});
        events.push_back({open + 1, to, 0, 0});
    } else if (request.choice >= 2 && request.choice <= 8) {
        const std::int32_t kind = request.choice + 2;
        events.push_back({kind, from, request.value, 1});
        const double held = parameterOfKind(detectionParameters(detectionSettings), kind);
        events.push_back({kind, to, toEventUnits(kind, held), 1});
    } else {
        return false;
    }
    storeDetectionSettingsAndMark(true, options_().accessLevel);
    return true;
}

bool ChromatogramCommands::DeleteAll() {
    doc_.peaks.clear();
    doc_.changed(CZelmoraDoc::Change::Peaks);
    return true;
}

bool ChromatogramCommands::Identify() {
    if (!doc_.hasMethod)
        return false;
    IdentifyPeaks(doc_);
    if (!isCalibration(doc_))
        reportQuantitationOf();
    doc_.changed(CZelmoraDoc::Change::Peaks);
    return true;
}

bool ChromatogramCommands::Concentrations() {
    if (!doc_.hasMethod)
        return false;
    reportQuantitationOf();
    doc_.changed(CZelmoraDoc::Change::Peaks);
    return true;
}

void ChromatogramCommands::reportQuantitationOf() {
    // A kind that computes no concentrations is a warning: the peaks are
    // identified and their concentrations set to 0, so the command has run.
    if (const Status s = CalculateConcentrations(doc_); !s)
        report("Концентрации", s);
}

CommandResult ChromatogramCommands::CopyConcentrations() {
    const std::optional<fs::path> file = prompts_.chooseChromatogram();
    if (!file)
        return CommandEffect::Unchanged;
    return CopyConcentrationsFrom(*file);
}

CommandResult ChromatogramCommands::CopyConcentrationsFrom(const fs::path& file) {
    CZelmoraDoc source;
    // The document has shown its own message about a file it cannot open.
    if (!OpenChromatogram(source, file, sink_))
        return Status::failure(messageText(kMsgOpenError, file.string()));
    for (const Peak& from : source.peaks.peaks) {
        if (from.componentName.empty())
            continue;
        for (Peak& to : doc_.peaks.peaks) {
            if (text::equalsNoCase(to.componentName, from.componentName))
                to.concentration = from.concentration;
        }
    }
    RecalculatePeaks(doc_.peaks);
    doc_.changed(CZelmoraDoc::Change::Peaks);
    return CommandEffect::Done;
}

CommandResult ChromatogramCommands::CompensateDrift() {
    const auto mode = static_cast<DriftMode>(options_().driftageCompensation);
    if (Status s = zelmora::CompensateDrift(doc_, mode); !s)
        return report("Компенсация дрейфа", std::move(s));
    return CommandEffect::Done;
}

CommandResult ChromatogramCommands::SaveToDatabase() {
    const fs::path path = doc_.pathName();
    if (path.empty())
        return report("Сохранить в БД", Status::failure("Хроматограмма ещё не записана в файл: "
                                                        "сначала сохраните её."));
    doc_.databaseSaveRequest = true;
    const bool saved = doc_.OnSaveDocument(path, sink_, options_());
    doc_.databaseSaveRequest = false;
    // The document has shown its own messages about a save that failed.
    if (!saved)
        return Status::failure(messageText(kMsgSaveError, path.string()));
    return CommandEffect::Done;
}

bool ChromatogramCommands::ExportText(ExportMode mode) {
    const Result<fs::path> written = zelmora::ExportText(doc_, sink_, &prompts_, mode);
    return written && !written->empty();
}

bool ChromatogramCommands::ExportToProgram() {
    const ProgramExportResult r = zelmora::ExportToProgram(doc_, sink_);
    closeRequested_ = r.closeChromatogram;
    return r.status == ProgramExportResult::Status::Done;
}

CommandResult ChromatogramCommands::ConvertConcentrations(DensityConversion direction) {
    const fs::path file = densityTablePath(options_().databaseFolder());
    // The table is read once, before any peak changes, so that a file that
    // cannot be read leaves every concentration as it was.
    const Result<std::vector<DensityEntry>> table = readDensityTable(file);
    if (!table)
        return report("Плотности веществ", table.status());
    for (Peak& p : doc_.peaks.peaks) {
        if (p.componentName.empty())
            continue;
        bool matched = false;
        for (const DensityEntry& e : *table) {
            if (e.name != p.componentName)
                continue;
            matched = true;
            if (direction == DensityConversion::VolumeToMass)
                p.concentration *= e.density;
            else
                p.concentration = e.density != 0 ? p.concentration / e.density : 0.0;
        }
        if (!matched)
            p.concentration = 0;
    }
    RecalculatePeaks(doc_.peaks);
    doc_.changed(CZelmoraDoc::Change::Peaks);
    return CommandEffect::Done;
}

void ChromatogramCommands::ToggleGroups() {
    showGroups_ = !showGroups_;
    doc_.redraw(CZelmoraDoc::Change::Peaks);
}

// --- operations of the view

bool ChromatogramCommands::DeletePeakAt(long long k) {
    if (k < 0) {
        doc_.changed(CZelmoraDoc::Change::Peaks);
        return false;
    }
    if (!DeletePeak(doc_.peaks, k, true, false))
        return false;
    AfterEdit();
    return true;
}

bool ChromatogramCommands::AddPeakBetween(double a, double b) {
    // A peak of no width has nothing to integrate.
    if (a == b || !AddPeak(doc_.peaks, a, b, true, 0))
        return false;
    AfterEdit();
    return true;
}

bool ChromatogramCommands::AddAdjacentPeakAt(long long k, double t, int side) {
    if (!AddAdjacentPeak(doc_.peaks, k, t, side))
        return false;
    AfterEdit();
    return true;
}

bool ChromatogramCommands::SetPeakBoundsAt(long long k, double tStart, double tEnd) {
    if (!SetPeakBounds(doc_.peaks, k, tStart, tEnd))
        return false;
    AfterEdit();
    return true;
}

bool ChromatogramCommands::InvertPeak(long long k) {
    return zelmora::InvertPeak(doc_, k);
}

bool ChromatogramCommands::ApproximateClippedPeak(long long k) {
    return zelmora::ApproximateClippedPeak(doc_, k);
}

bool ChromatogramCommands::CropTo(double a, double b) {
    return CropChromatogram(doc_, a, b);
}

}  // namespace zelmora
