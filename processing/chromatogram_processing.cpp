#include "processing/chromatogram_processing.h"

#include <fstream>
#include <sstream>
#include <system_error>

#include "app/paths.h"
#include "app/work_log.h"
#include "method/method_file.h"
#include "method/method_sheet.h"
#include "processing/chromatogram_treatments.h"
#include "processing/identification.h"
#include "processing/peak_detector.h"

namespace zelmora {

namespace fs = std::filesystem;

namespace {

// No method file comes near this size.
constexpr std::uintmax_t kMaxMethodBytes = 256u << 20;

bool readBytes(const fs::path& file, std::string& bytes, std::string& error) {
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    if (ec || size > kMaxMethodBytes) {
        error = ec ? "не удалось открыть метод " + file.string()
                   : "слишком большой файл метода " + file.string();
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    if (!in) {
        error = "не удалось прочитать метод " + file.string();
        return false;
    }
    bytes = out.str();
    return true;
}

}  // namespace

std::unique_ptr<MethodAttachment> methodCopyOf(const Method& method) {
    auto copy = std::make_unique<DocumentMethod>();
    copy->sheet.method() = method;
    return copy;
}

bool readMethodAt(const fs::path& path, Method& method, std::string& error) {
    std::string bytes;
    if (!readBytes(path, bytes, error))
        return false;
    Method read;
    const Result<int> r = readMethodFile(bytes, read);
    if (!r) {
        error = "не удалось прочитать метод " + path.string() + ": " + r.message();
        return false;
    }
    method = std::move(read);
    return true;
}

bool readMethodByName(const std::string& name, Method& method, std::string& error) {
    if (!isValidMethodName(name)) {
        error = "недопустимое имя метода \"" + name + "\"";
        return false;
    }
    return readMethodAt(methodFilePath(name), method, error);
}

bool readMethodFrom(const std::string& given, Method& method, std::string& name, std::string& error,
                    fs::path* file) {
    fs::path path = given;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        if (!isValidMethodName(given)) {
            error = "нет файла метода \"" + given + "\"";
            return false;
        }
        path = methodFilePath(given);
    }
    if (!readMethodAt(path, method, error))
        return false;
    name = path.stem().string();
    if (file != nullptr)
        *file = path;
    return true;
}

bool writeMethodTo(const fs::path& file, const Method& method, std::string& error) {
    error = paths::writeFileAtomically(file, writeMethodFile(method)).message();
    if (!error.empty())
        return false;
    CWorkLog::instance().write("~ Оператор сохранил метод " + file.stem().string());
    return true;
}

void IdentifyPeaks(CZelmoraDoc& doc) {
    if (const Method* m = documentMethod(doc))
        IdentifyPeaks(doc.peaks, m->calculation, doc.retentionFactor);
}

Status CalculateConcentrations(CZelmoraDoc& doc) {
    if (const Method* m = documentMethod(doc))
        return CalculateConcentrations(doc.peaks, *m, doc.passport);
    return Status::failure("у хроматограммы нет метода");
}

ProcessingOutcome ProcessChromatogram(CZelmoraDoc& doc) {
    ProcessingOutcome out;
    const Method defaults;
    const Method* method = documentMethod(doc);
    const Method& m = method != nullptr ? *method : defaults;

    out.filtered = m.filter.kind != 0 && ApplyFilter(doc, m.filter);
    doc.peaks.attach(&doc.signal);
    AutoMarkPeaks(doc.peaks, m.marking);
    if (method != nullptr) {
        IdentifyPeaks(doc.peaks, method->calculation, doc.retentionFactor);
        out.identified = true;
        if (doc.passport.calibration == 0) {
            out.quantitation = CalculateConcentrations(doc.peaks, *method, doc.passport);
            out.quantitated = true;
        }
    }
    doc.changed(CZelmoraDoc::Change::Peaks);
    return out;
}

CalibrationPointResult CalibrateWith(Method& method, const CZelmoraDoc& calibrationDoc,
                                     MessageSink* sink) {
    return AddCalibrationPoint(method, calibrationDoc.peaks, calibrationDoc.passport, sink);
}

}  // namespace zelmora
