#include "processing/chromatogram_commands.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <system_error>

#include "app/paths.h"
#include "app/program_settings.h"
#include "app/text.h"
#include "app/work_log.h"
#include "method/document_method.h"
#include "method/method_sheet.h"
#include "processing/calibration.h"
#include "processing/chromatogram_processing.h"
#include "processing/chromatogram_treatments.h"
#include "processing/clipped_peak.h"
#include "processing/peak_detector.h"
#include "processing/peak_integration.h"

namespace zelmora {

namespace fs = std::filesystem;

namespace {

// The page of the method sheet that holds the component table.
constexpr int kComponentsPage = 4;

// The density table is small; anything this large is not one.
constexpr std::uintmax_t kMaxDensityTableBytes = 4u << 20;

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

// The value the marking settings hold for the parameter of event `kind`, in
// the event's own units (the maximum width of an event is in seconds).
double parameterValue(const MarkingParameters& m, std::int32_t kind) {
    switch (kind) {
        case kSetMaxWidth:
            return static_cast<double>(m.MaxWidth) * 60.0;
        case kSetMaxCommonBaselineDistance:
            return m.MaxCommonBaselineDistance;
        case kSetWidth:
            return m.Width;
        case kSetMinHeight:
            return m.MinHeight;
        case kSetMaxRiderArea:
            return m.MaxRiderArea;
        case kSetMinArea:
            return m.MinArea;
        case kSetWidthDoublingTime:
            return m.WidthDoublingTime;
        default:
            return 0;
    }
}

// A sample index for time t, clamped to [0, n].
std::size_t sampleIndexAt(const Signal& s, double t) {
    if (!(s.dt > 0) || !std::isfinite(t))
        return 0;
    const double i = std::trunc((t - s.t0) / s.dt);
    if (!(i > 0))
        return 0;
    return i >= static_cast<double>(s.size()) ? s.size() : static_cast<std::size_t>(i);
}

std::string stripCr(std::string line) {
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

}  // namespace

const char* docCommandLabel(DocCommand command) {
    switch (command) {
        case DocCommand::Undo:
            return "&Отменить\tCtrl+Z";
        case DocCommand::Passport:
            return "&Паспорт...";
        case DocCommand::ChromatogramMethod:
            return "&Метод хроматограммы...";
        case DocCommand::AddComponents:
            return "+ Ко&мпоненты";
        case DocCommand::AddCalibrationLevel:
            return "+ Точка &градуировки";
        case DocCommand::Filter:
            return "&Фильтрация...";
        case DocCommand::AutoMark:
            return "&Автоматически ...";
        case DocCommand::DeleteAll:
            return "Удалить &все\tAlt+Del";
        case DocCommand::Identify:
            return "&Идентификация";
        case DocCommand::Concentrations:
            return "&Концентрации";
        case DocCommand::CopyConcentrations:
            return "Скопировать концентрации";
        case DocCommand::ExportText:
            return "Э&кспорт хроматограммы";
        case DocCommand::SaveToDatabase:
            return "Сохранить в &БД\tCtrl+Alt+S";
        case DocCommand::FindInDatabase:
            return "&Найти в БД";
        case DocCommand::CriticalValues:
            return "Крит. значения";
        case DocCommand::Combine:
            return "&Объединить...";
        case DocCommand::VolumeToMass:
            return "Объемные -> Массовые";
        case DocCommand::MassToVolume:
            return "Массовые -> Объемные";
        case DocCommand::DriftCompensation:
        case DocCommand::ExportToProgram:
        case DocCommand::ToggleGroups:
            return "";
    }
    return "";
}

Method& defaultMethod() {
    static Method method;  // user-interface thread only
    return method;
}

// --- density table

fs::path densityTablePath() {
    return programOptions().databaseFolder() / "density.txt";
}

std::vector<DensityEntry> parseDensityTable(std::string_view bytes) {
    std::vector<DensityEntry> rows;
    auto nextLine = [&bytes](std::string& line) {
        if (bytes.empty())
            return false;
        const std::size_t end = bytes.find('\n');
        line = stripCr(std::string(bytes.substr(0, end)));
        bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
        return true;
    };
    std::string name, value;
    while (nextLine(name) && nextLine(value)) {
        if (name.empty() || value.empty())
            break;
        // A value that is no number counts as density 0, as a hand-edited
        // table has always been read.
        rows.push_back(
            {text::fromCp1251(name), text::parseDouble(text::trim(value), true).value_or(0.0)});
    }
    return rows;
}

std::optional<std::vector<DensityEntry>> readDensityTable(const fs::path& file) {
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    if (ec || size > kMaxDensityTableBytes)
        return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return parseDensityTable(bytes.str());
}

bool writeDensityTable(const fs::path& file, const std::vector<DensityEntry>& rows,
                       std::string& error) {
    std::string out;
    for (const DensityEntry& r : rows) {
        if (r.name.empty())
            break;
        out += text::toCp1251(r.name) + "\r\n" + text::format("%g", r.density) + "\r\n";
    }
    error = paths::writeFileAtomically(file, out).message();
    return error.empty();
}

// --- commands

ChromatogramCommands::ChromatogramCommands(CZelmoraDoc& doc, MessageSink& sink,
                                           CommandPrompts& prompts)
    : doc_(doc), sink_(sink), prompts_(prompts) {}

bool ChromatogramCommands::isEnabled(DocCommand command) const {
    switch (command) {
        case DocCommand::Undo:
            return doc_.undoAvailable;
        case DocCommand::ChromatogramMethod:
        case DocCommand::Identify:
        case DocCommand::Concentrations:
            return doc_.hasMethod;
        case DocCommand::AddComponents:
        case DocCommand::AddCalibrationLevel:
            return isCalibration(doc_) && doc_.hasMethod;
        case DocCommand::Passport:
        case DocCommand::Filter:
        case DocCommand::AutoMark:
        case DocCommand::DeleteAll:
        case DocCommand::CopyConcentrations:
        case DocCommand::DriftCompensation:
        case DocCommand::SaveToDatabase:
        case DocCommand::ExportText:
        case DocCommand::ExportToProgram:
        case DocCommand::VolumeToMass:
        case DocCommand::MassToVolume:
        case DocCommand::ToggleGroups:
            return true;
        // The database windows and the table combination belong to windows
        // of their own; until they exist the commands stay disabled.
        case DocCommand::FindInDatabase:
        case DocCommand::CriticalValues:
        case DocCommand::Combine:
            return false;
    }
    return false;
}

bool ChromatogramCommands::run(DocCommand command) {
    if (!isEnabled(command))
        return false;
    switch (command) {
        case DocCommand::Undo:
            return Undo();
        case DocCommand::Passport:
            return EditPassport();
        case DocCommand::ChromatogramMethod:
            return ShowMethod();
        case DocCommand::AddComponents:
            return AddComponents();
        case DocCommand::AddCalibrationLevel:
            return AddCalibrationLevel();
        case DocCommand::Filter:
            return Filter();
        case DocCommand::AutoMark:
            return AutoMark();
        case DocCommand::DeleteAll:
            return DeleteAll();
        case DocCommand::Identify:
            return Identify();
        case DocCommand::Concentrations:
            return Concentrations();
        case DocCommand::CopyConcentrations:
            return CopyConcentrations();
        case DocCommand::DriftCompensation:
            return CompensateDrift();
        case DocCommand::SaveToDatabase:
            return SaveToDatabase();
        case DocCommand::ExportText:
            return ExportText();
        case DocCommand::ExportToProgram:
            return ExportToProgram();
        case DocCommand::VolumeToMass:
            return ConvertConcentrations(DensityConversion::VolumeToMass);
        case DocCommand::MassToVolume:
            return ConvertConcentrations(DensityConversion::MassToVolume);
        case DocCommand::ToggleGroups:
            ToggleGroups();
            return true;
        default:
            return false;
    }
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
    if (!doc_.undoAvailable || doc_.undoSamples.empty())
        return false;
    if (doc_.undoSamples.size() != doc_.signal.size()) {
        // The undo copy is from before a crop: the peaks go back to where
        // they lay on the whole trace.
        if (cropShift_ == 0)
            return false;
        for (Peak& p : doc_.peaks.peaks) {
            p.startTime += cropShift_;
            p.endTime += cropShift_;
            p.apexTime += cropShift_;
        }
        {
            std::lock_guard lock(doc_.recordingMutex);
            doc_.signal.samples = doc_.undoSamples;
        }
        cropShift_ = 0;
        RecalculatePeaks(doc_.peaks);
        doc_.changed(CZelmoraDoc::Change::Signal);
        return true;
    }
    return UndoTreatment(doc_);
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

bool ChromatogramCommands::Filter() {
    takeFilterSettings();
    if (!prompts_.editFilter(filterSettings) || filterSettings.kind == 0)
        return false;
    if (!doc_.hasMethod)
        defaultMethod().filter = filterSettings;
    if (!ApplyFilter(doc_, filterSettings)) {
        sink_.messageBox("Фильтрация хромотограммы",
                         "Фильтр не применён: хроматограмма короче окна фильтра.",
                         MessageIcon::Warning);
        return false;
    }
    cropShift_ = 0;
    return true;
}

void ChromatogramCommands::storeDetectionSettingsAndMark(bool sheetConfirmed) {
    if (CMethodSheet* sheet = documentMethodSheet(doc_); sheet != nullptr && doc_.hasMethod) {
        sheet->method().marking = detectionSettings;
        // Saved from a copy: the saved-method notification replaces the
        // document's own copy while the save is still running.
        if (MayMarkingSaveMethod(sheetConfirmed, programOptions().accessLevel)) {
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
    takeDetectionSettings();
    bool confirmed = false;
    if (programOptions().checkViewAutoMark) {
        if (!prompts_.editMarking(detectionSettings))
            return false;
        confirmed = true;
    }
    storeDetectionSettingsAndMark(confirmed);
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
        events.push_back({kind, to, parameterValue(detectionSettings, kind), 1});
    } else {
        return false;
    }
    storeDetectionSettingsAndMark(true);
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
        reportQuantitation(CalculateConcentrations(doc_));
    doc_.changed(CZelmoraDoc::Change::Peaks);
    return true;
}

bool ChromatogramCommands::Concentrations() {
    if (!doc_.hasMethod)
        return false;
    reportQuantitation(CalculateConcentrations(doc_));
    doc_.changed(CZelmoraDoc::Change::Peaks);
    return true;
}

void ChromatogramCommands::reportQuantitation(const QuantitationResult& r) {
    if (!r.computed && !r.message.empty())
        sink_.messageBox("Концентрации", r.message, MessageIcon::Warning);
}

bool ChromatogramCommands::CopyConcentrations() {
    const std::optional<fs::path> file = prompts_.chooseChromatogram();
    return file.has_value() && CopyConcentrationsFrom(*file);
}

bool ChromatogramCommands::CopyConcentrationsFrom(const fs::path& file) {
    CZelmoraDoc source;
    if (!source.OnOpenDocument(file, sink_))
        return false;
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
    return true;
}

bool ChromatogramCommands::CompensateDrift() {
    const auto mode = static_cast<DriftMode>(programOptions().driftageCompensation);
    const TreatmentResult r = zelmora::CompensateDrift(doc_, mode);
    if (!r.done) {
        if (!r.message.empty())
            sink_.messageBox("Компенсация дрейфа", r.message, MessageIcon::Warning);
        return false;
    }
    cropShift_ = 0;
    return true;
}

bool ChromatogramCommands::SaveToDatabase() {
    const fs::path path = doc_.pathName();
    if (path.empty()) {
        sink_.messageBox("Сохранить в БД",
                         "Хроматограмма ещё не записана в файл: сначала сохраните её.",
                         MessageIcon::Warning);
        return false;
    }
    doc_.databaseSaveRequest = true;
    const bool ok = doc_.OnSaveDocument(path, sink_);
    doc_.databaseSaveRequest = false;
    return ok;
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

bool ChromatogramCommands::ConvertConcentrations(DensityConversion direction) {
    const fs::path file = densityTablePath();
    // The table is read once, before any peak changes, so that a file that
    // cannot be read leaves every concentration as it was.
    const std::optional<std::vector<DensityEntry>> table = readDensityTable(file);
    if (!table) {
        sink_.messageBox("Плотности веществ",
                         "Не удалось открыть таблицу плотностей " + file.string() + ".",
                         MessageIcon::Warning);
        return false;
    }
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
    return true;
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
    const Peak* p = doc_.peak(k);
    const std::size_t n = doc_.signal.size();
    if (p == nullptr || n == 0)
        return false;
    const std::size_t i = std::min(sampleIndexAt(doc_.signal, p->startTime), n - 1);
    const std::size_t j = std::min(sampleIndexAt(doc_.signal, p->endTime), n - 1);
    if (j <= i)
        return false;
    const float bS = static_cast<float>(p->baselineAtStart);
    const float bE = static_cast<float>(p->baselineAtEnd);
    const float l = (bE - bS) / static_cast<float>(j - i);
    const float m = bS - static_cast<float>(i) * l;
    {
        std::lock_guard lock(doc_.recordingMutex);
        doc_.undoSamples = doc_.signal.samples;
        for (std::size_t s = i; s < j; ++s) {
            float& y = doc_.signal.samples[s];
            y = 2.0f * (l * static_cast<float>(s) + m) - y;
        }
    }
    doc_.undoAvailable = true;
    cropShift_ = 0;
    RecalculatePeaks(doc_.peaks);
    doc_.changed(CZelmoraDoc::Change::Signal);
    return true;
}

bool ChromatogramCommands::ApproximateClippedPeak(long long k) {
    std::vector<float> rebuilt = doc_.signal.samples;
    if (!zelmora::ApproximateClippedPeak(doc_.peaks, k, doc_.signal.samples, rebuilt))
        return false;
    {
        std::lock_guard lock(doc_.recordingMutex);
        doc_.undoSamples = std::move(doc_.signal.samples);
        doc_.signal.samples = std::move(rebuilt);
    }
    doc_.undoAvailable = true;
    cropShift_ = 0;
    RecalculatePeaks(doc_.peaks);
    doc_.changed(CZelmoraDoc::Change::Signal);
    return true;
}

bool ChromatogramCommands::CropTo(double a, double b) {
    if (!std::isfinite(a) || !std::isfinite(b))
        return false;
    if (a > b)
        std::swap(a, b);
    const Signal& s = doc_.signal;
    if (!(s.dt > 0))
        return false;
    const std::size_t first = sampleIndexAt(s, a);
    const double span = std::trunc((b - a) / s.dt);
    const std::size_t available = s.size() - first;
    const std::size_t count =
        span >= static_cast<double>(available) ? available : static_cast<std::size_t>(span);
    if (count == 0)
        return false;

    for (long long k = static_cast<long long>(doc_.peaks.size()) - 1; k >= 0; --k) {
        const Peak& p = doc_.peaks.peaks[static_cast<std::size_t>(k)];
        if (!(p.startTime >= a && p.endTime <= b))
            DeletePeak(doc_.peaks, k, true, true);
    }
    // The peaks move with their samples: sample `first` becomes sample 0.
    const double shift = static_cast<double>(first) * s.dt;
    for (Peak& p : doc_.peaks.peaks) {
        p.startTime -= shift;
        p.endTime -= shift;
        p.apexTime -= shift;
    }
    {
        std::lock_guard lock(doc_.recordingMutex);
        doc_.undoSamples = doc_.signal.samples;
        std::vector<float> kept(
            doc_.signal.samples.begin() + static_cast<std::ptrdiff_t>(first),
            doc_.signal.samples.begin() + static_cast<std::ptrdiff_t>(first + count));
        doc_.signal.samples = std::move(kept);
    }
    cropShift_ = shift;
    doc_.peaks.attach(&doc_.signal);
    RecalculatePeaks(doc_.peaks);
    doc_.changed(CZelmoraDoc::Change::Signal);
    return true;
}

// --- a chromatogram made from a recording

std::string recordingFileName(std::time_t analysisTime, const std::string& methodName) {
    const std::string stamp = formatLocalTime(analysisTime, "%d%m%y_%H%M%S");
    return (methodName.empty() ? std::string("Zelmora") : methodName) + "_" + stamp + ".stg";
}

std::string monthFolderName(int month) {
    static const char* const kMonths[12] = {"январь",   "февраль", "март",   "апрель",
                                            "май",      "июнь",    "июль",   "август",
                                            "сентябрь", "октябрь", "ноябрь", "декабрь"};
    if (month < 1 || month > 12)
        return {};
    return text::format("%02d-%s", month, kMonths[month - 1]);
}

fs::path recordingFolder(const fs::path& chromatograms, int saveFolderType,
                         const std::string& methodName, std::time_t now) {
    std::tm local{};
    localtime_r(&now, &local);
    const std::string year = text::format("%04d", local.tm_year + 1900);
    const std::string month = monthFolderName(local.tm_mon + 1);
    // Each level is made on its own; one that cannot be made leaves the path
    // as it is, and the save then reports the folder.
    std::error_code ec;
    fs::create_directories(chromatograms, ec);
    std::vector<fs::path> levels;
    switch (saveFolderType) {
        case 1:
            levels = {chromatograms / year, chromatograms / year / month};
            break;
        case 2:
            levels = {chromatograms / methodName};
            break;
        case 3:
            levels = {chromatograms / methodName, chromatograms / methodName / year,
                      chromatograms / methodName / year / month};
            break;
        default:
            return chromatograms;
    }
    for (const fs::path& level : levels)
        fs::create_directory(level, ec);
    return levels.back();
}

fs::path uniqueFilePath(const fs::path& path) {
    std::error_code ec;
    if (!fs::exists(path, ec))
        return path;
    const fs::path folder = path.parent_path();
    const std::string stem = path.stem().string();
    const std::string ext = path.extension().string();
    for (int i = 2;; ++i) {
        fs::path candidate = folder / (stem + " (" + std::to_string(i) + ")" + ext);
        if (!fs::exists(candidate, ec))
            return candidate;
    }
}

RecordingResult CreateFromRecording(CZelmoraDoc& doc, MessageSink& sink, std::time_t now) {
    RecordingResult result;
    if (doc.signal.empty()) {
        result.message = "Запись не содержит ни одной точки: хроматограмма не создана.";
        CWorkLog::instance().write("? " + result.message);
        return result;
    }
    doc.carriedStep = doc.signal.dt;
    doc.keepUndoCopy();
    doc.peaks.attach(&doc.signal);
    const float lastTime = static_cast<float>(doc.signal.timeAt(doc.signal.size() - 1));
    doc.passport.duration = std::ceil(10.0f * lastTime) / 10.0f;

    std::string methodName;
    if (doc.reloadMethod(sink)) {
        const Method& m = *documentMethod(doc);
        methodName = doc.method->name();
        if (m.filter.kind != 0)
            ApplyFilter(doc, m.filter);
        AutoMarkPeaks(doc.peaks, m.marking);
        if (isCalibration(doc))
            IdentifyPeaks(doc);
        else
            identifyAndQuantitate(doc);
    }
    doc.saveName = recordingFileName(doc.passport.analysisTime, methodName);

    const ProgramOptions options = programOptions();
    fs::path folder =
        recordingFolder(options.chromatogramFolder(), options.saveFolderType, methodName, now);
    if (const Method* m = documentMethod(doc); m != nullptr && m->capture.saveToFolder) {
        std::string given = m->capture.folder;
        std::replace(given.begin(), given.end(), '\\', '/');
        if (!given.empty() && given.back() == '/' && given.size() > 1)
            given.pop_back();
        const fs::path own = given;
        if (own.is_absolute()) {
            std::error_code ec;
            fs::create_directories(own, ec);
            folder = own;
        } else {
            CWorkLog::instance().write("? Каталог хроматограмм метода \"" + m->capture.folder +
                                       "\" не годится: хроматограмма записана в " +
                                       folder.string());
        }
    }
    result.path = uniqueFilePath(folder / doc.saveName);
    doc.state().setPathName(result.path);
    doc.setModified(true);
    if (options.autoSave)
        result.saved = doc.OnSaveDocument(result.path, sink);
    doc.updateTitle();
    result.created = true;
    return result;
}

}  // namespace zelmora
