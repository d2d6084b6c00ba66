#include "processing/recorded_chromatogram.h"

#include <algorithm>
#include <cmath>
#include <system_error>
#include <vector>

#include "app/text.h"
#include "app/work_log.h"
#include "document/passport.h"
#include "document/zelmora_doc.h"
#include "method/document_method.h"
#include "processing/chromatogram_processing.h"
#include "processing/chromatogram_treatments.h"
#include "processing/peak_detector.h"

namespace zelmora {

namespace fs = std::filesystem;

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

Result<RecordedChromatogram> CreateFromRecording(CZelmoraDoc& doc, MessageSink& sink,
                                                 const ProgramOptions& options, std::time_t now) {
    if (doc.signal.empty()) {
        const std::string message = "Запись не содержит ни одной точки: хроматограмма не создана.";
        CWorkLog::instance().write("? " + message);
        return Status::failure(message);
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
        // A calibration chromatogram keeps the amounts the operator entered.
        IdentifyPeaks(doc);
        if (doc.passport.calibration == 0)
            CalculateConcentrations(doc);
    }
    doc.saveName = recordingFileName(doc.passport.analysisTime, methodName);

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
    RecordedChromatogram result;
    result.path = uniqueFilePath(folder / doc.saveName);
    doc.state().setPathName(result.path);
    doc.setModified(true);
    if (options.autoSave)
        result.saved = doc.OnSaveDocument(result.path, sink, options);
    doc.updateTitle();
    return result;
}

}  // namespace zelmora
