#include "document/chromatogram_export.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <sstream>
#include <system_error>
#include <vector>

#include <pugixml.hpp>

#include "app/paths.h"
#include "app/settings_store.h"
#include "app/temporary_file.h"
#include "app/text.h"
#include "app/work_log.h"
#include "document/message_sink.h"
#include "document/zelmora_doc.h"

namespace zelmora {

namespace fs = std::filesystem;

namespace {

// The names the C library gives in its default locale; spelled out here so
// that the export reads the same whatever locale the program runs in.
constexpr const char* kDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                      "Thursday", "Friday", "Saturday"};
constexpr const char* kMonthNames[12] = {"January",   "February", "March",    "April",
                                         "May",       "June",     "July",     "August",
                                         "September", "October",  "November", "December"};

constexpr const char* kMessageCaption = "Zelmora";

// Tells the operator (interactive) or the work log (automatic) what went wrong.
void report(ExportMode mode, MessageSink& sink, std::string_view caption, const std::string& text) {
    if (mode == ExportMode::Automatic)
        CWorkLog::instance().write("! " + text);
    else
        sink.messageBox(caption, text, MessageIcon::Error);
}

}  // namespace

// --- text export

std::string formatEnglishLongDate(std::time_t t) {
    std::tm tm{};
    if (localtime_r(&t, &tm) == nullptr || tm.tm_wday < 0 || tm.tm_wday > 6 || tm.tm_mon < 0 ||
        tm.tm_mon > 11)
        return {};
    return text::format("%s, %s %02d, %d", kDayNames[tm.tm_wday], kMonthNames[tm.tm_mon],
                        tm.tm_mday, tm.tm_year + 1900);
}

std::string textExportBytes(const CZelmoraDoc& doc) {
    // Built with "\n" line ends and converted at the end as a text-mode file
    // write would, so that every line (also one inside a text) ends in CR LF.
    std::string out;
    out.reserve(128 + doc.peakCount() * 80 + doc.sampleCount() * 14);
    out += "\n[Passport]\n";
    out += "Proba=" + doc.passport.sample + "\n";
    out += "Filename=" + doc.passport.file + "\n";
    out += "TimeStamp=" + formatEnglishLongDate(doc.passport.analysisTime) + "\n";
    out += "\n[Peaks]\n";
    for (std::size_t i = 0; i < doc.peakCount(); ++i) {
        const Peak& p = *doc.peak(static_cast<long long>(i));
        out += text::format("%d, %f, %f, %f, %f, ", static_cast<int>(i), p.apexTime, p.height,
                            p.area, p.concentration);
        out += p.componentName;
        out += '\n';
    }
    out += "\n[Data]\n";
    out += text::format("t0=%f\n", doc.t0());
    out += text::format("dt=%f\n", doc.dt());
    out += text::format("DataLen=%d\n", static_cast<int>(doc.sampleCount()));
    out += "\n[Samples]\n";
    for (float v : doc.signal.samples)
        out += text::format("%f\n", static_cast<double>(v));

    const std::string bytes = text::toCp1251(out);
    std::string crlf;
    crlf.reserve(bytes.size() + doc.sampleCount() + doc.peakCount() + 16);
    for (char c : bytes) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    return crlf;
}

std::string textExportFileName(std::string_view saveName) {
    return std::string(saveName.substr(0, saveName.find('.'))) + kTextExportSuffix;
}

std::optional<fs::path> textExportTarget(std::string_view saveName, const fs::path& programFolder,
                                         const fs::path& currentFolder) {
    if (saveName.empty())
        return std::nullopt;
    const fs::path name(textExportFileName(saveName));
    if (saveName.find('.') != std::string_view::npos)
        return programFolder / kTextExportFolder / name;
    return currentFolder / name;
}

Status writeTextExport(const CZelmoraDoc& doc, const fs::path& file) {
    const Status written = paths::writeFileAtomically(file, textExportBytes(doc));
    if (written)
        return written;
    return Status::failure(text::format("Экспорт хроматограммы не записан в файл %s: %s",
                                        file.string().c_str(), written.message().c_str()));
}

Result<fs::path> ExportText(const CZelmoraDoc& doc, MessageSink& sink, SaveFileChooser* chooser,
                            ExportMode mode, const TextExportFolders& folders) {
    std::error_code ec;
    const fs::path programFolder =
        folders.programFolder.empty() ? paths::defaultDataFolder() : folders.programFolder;
    fs::path currentFolder = folders.currentFolder;
    if (currentFolder.empty())
        currentFolder = fs::current_path(ec);
    const fs::path dataFolder = programFolder / kTextExportFolder;

    auto failed = [&](std::string message) -> Result<fs::path> {
        report(mode, sink, kTextExportTitle, message);
        return Status::failure(std::move(message));
    };

    fs::path target;
    if (std::optional<fs::path> given =
            textExportTarget(doc.saveName, programFolder, currentFolder)) {
        target = std::move(*given);
        if (target.parent_path() == dataFolder && !paths::ensureFolder(dataFolder))
            return failed(
                text::format("Экспорт хроматограммы не записан: не удаётся "
                             "создать папку %s",
                             dataFolder.string().c_str()));
    } else {
        if (mode == ExportMode::Automatic || chooser == nullptr)
            return failed("Экспорт хроматограммы не записан: у хроматограммы нет имени файла");
        // The dialog opens in the Data folder; when it cannot be made the
        // dialog simply starts elsewhere.
        paths::ensureFolder(dataFolder);
        SaveFileRequest request;
        request.title = kTextExportTitle;
        request.defaultExtension = "txt";
        request.filter = kTextExportFilter;
        request.fileName = textExportFileName(doc.saveName);
        request.initialFolder = dataFolder;
        std::optional<fs::path> chosen = chooser->chooseSaveFile(request);
        if (!chosen)
            return fs::path();
        target = std::move(*chosen);
    }
    if (Status written = writeTextExport(doc, target); !written)
        return failed(written.message());
    return target;
}

// --- result export (XML)

std::optional<std::string> analysisNumber(std::string_view sample) {
    const std::size_t hash = sample.find('#');
    if (hash == std::string_view::npos)
        return std::nullopt;
    std::size_t pos = hash + 1;
    if (pos < sample.size())
        text::decodeUtf8(sample, pos);  // the character right after "#" is skipped
    const std::size_t begin = pos;
    for (std::size_t n = 0; n < kAnalysisNumberMaxChars && pos < sample.size(); ++n)
        text::decodeUtf8(sample, pos);
    const std::string_view number = sample.substr(begin, pos - begin);
    if (text::trim(number).empty())
        return std::nullopt;
    return std::string(number);
}

std::string formatXmlNumber(double value) {
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value > 0 ? "INF" : "-INF";
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    if (ec != std::errc())
        return text::format("%.17g", value);
    return std::string(buf, end);
}

std::string resultExportXml(const CZelmoraDoc& doc, std::string_view number) {
    pugi::xml_document xml;
    pugi::xml_node decl = xml.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    pugi::xml_node root = xml.append_child("Document");
    root.append_attribute("xmlns:dt") = "urn:schemas-microsoft-com:datatypes";
    pugi::xml_node analyse = root.append_child("analyse");
    pugi::xml_node id = analyse.append_child("id");
    id.append_attribute("dt:dt") = "string";
    id.text().set(std::string(number).c_str());
    for (const char* key : kResultExportKeys) {
        bool any = false;
        auto add = [&](double value) {
            pugi::xml_node e = analyse.append_child(key);
            e.append_attribute("dt:dt") = "r8";
            e.text().set(formatXmlNumber(value).c_str());
        };
        for (std::size_t i = 0; i < doc.peakCount(); ++i) {
            const Peak& p = *doc.peak(static_cast<long long>(i));
            if (text::equalsNoCase(p.componentName, key)) {
                add(p.concentration / 100);
                any = true;
            }
        }
        if (!any)
            add(kResultExportMissingValue);
    }
    std::ostringstream os;
    xml.save(os, "\t", pugi::format_indent, pugi::encoding_utf8);
    return os.str();
}

// --- export to the outside program

ProgramExportResult ExportToProgram(CZelmoraDoc& doc, MessageSink& operatorSink, ExportMode mode,
                                    const ProgramExportOptions& options) {
    WorkLogMessageSink logSink;
    MessageSink& sink =
        mode == ExportMode::Automatic ? static_cast<MessageSink&>(logSink) : operatorSink;
    ProgramExportResult r;
    auto fail = [&](ProgramExportResult::Status status, std::string message) {
        r.status = status;
        r.message = std::move(message);
        report(mode, sink, kMessageCaption, r.message);
        return r;
    };

    const SettingsStore& settings =
        options.settings != nullptr ? *options.settings : userSettings();
    const std::string program(text::trim(settings.readString(kRootKey, kExportProgramValue)));
    if (program.empty())
        return fail(ProgramExportResult::Status::NotConfigured,
                    "Не могу экспортировать хроматограмму. Не задана программа экспорта "
                    "(значение \"Prg\" в настройках).");

    const std::optional<std::string> number = analysisNumber(doc.passport.sample);
    if (!number)
        return fail(ProgramExportResult::Status::NoAnalysisNumber, kNoAnalysisNumberMessage);

    // The program is given the chromatogram's file and the chromatogram is
    // saved there afterwards: without a path neither makes sense.
    const fs::path chromatogram = doc.pathName();
    if (chromatogram.empty())
        return fail(ProgramExportResult::Status::NoFile,
                    "Не могу экспортировать хроматограмму. Хроматограмма не записана в файл.");

    Result<TemporaryFile> xmlFile = TemporaryFile::create(
        resultExportXml(doc, *number), "zelmora-export-", ".xml", options.tempFolder);
    if (!xmlFile) {
        const fs::path folder = options.tempFolder.empty() ? temporaryFolder() : options.tempFolder;
        return fail(ProgramExportResult::Status::TempFileFailed,
                    text::format("Не могу экспортировать хроматограмму. Не удаётся записать "
                                 "временный файл в папке %s: %s",
                                 folder.string().c_str(), xmlFile.message().c_str()));
    }
    r.xmlFile = xmlFile->path();

    std::vector<std::string> argv = splitCommandLine(program);
    argv.push_back(xmlFile->path().string());
    argv.push_back(chromatogram.string());
    const Result<ProcessResult> run = runProcess(argv);
    if (!run)
        return fail(ProgramExportResult::Status::StartFailed,
                    text::format("Ошибка запуска приложения экспорта '%s'", program.c_str()));
    r.process = *run;
    if (r.process.signalled)
        return fail(
            ProgramExportResult::Status::ProgramFailed,
            text::format("Программа экспорта прервана сигналом %d", r.process.signalNumber));
    if (!r.process.exited)
        return fail(ProgramExportResult::Status::ProgramFailed,
                    text::format("Не удалось дождаться завершения программы экспорта '%s'",
                                 program.c_str()));
    if (r.process.exitCode != 0)
        return fail(
            ProgramExportResult::Status::ProgramFailed,
            text::format("Программа экспорта вернула код завершения %d", r.process.exitCode));

    xmlFile->remove();
    // The save hook reports its own failures (message boxes, or work-log
    // lines through the log sink); a chromatogram that is not on disk must not
    // be closed.
    if (!doc.OnSaveDocument(chromatogram, sink)) {
        r.status = ProgramExportResult::Status::SaveFailed;
        r.message =
            text::format("Хроматограмма не записана в файл %s", chromatogram.string().c_str());
        return r;
    }
    r.status = ProgramExportResult::Status::Done;
    r.closeChromatogram = true;
    return r;
}

}  // namespace zelmora
