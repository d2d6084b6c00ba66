#include "cli/db_report_cli.h"

#include <cstdio>

#include "app/paths.h"
#include "app/text.h"
#include "cli/cli.h"
#include "database/db_time.h"
#include "database/schema.h"
#include "reports/db_report.h"
#include "reports/rtf_writer.h"

#ifdef ZELMORA_CLI_PDF
#include <QGuiApplication>

#include "document/zelmora_doc.h"
#include "method/document_method.h"
#include "processing/chromatogram_commands.h"
#include "reports/chromatogram_report_maker.h"
#include "reports/rtf_text_document.h"
#endif

namespace zelmora::cli {
namespace {

namespace fs = std::filesystem;

std::optional<db::CalendarDay> parseDay(const std::string& s) {
    const std::optional<std::time_t> t = db::fromDbTime(s + " 12:00:00");
    if (!t)
        return std::nullopt;
    return db::dayOf(*t);
}

bool endsWith(const std::string& s, const char* suffix) {
    const std::string lower = text::foldCase(s);
    const std::string_view x(suffix);
    return lower.size() >= x.size() && lower.compare(lower.size() - x.size(), x.size(), x) == 0;
}

#ifdef ZELMORA_CLI_PDF
// Pages and pictures are laid out with Qt's fonts, which need an application
// object; no window is ever shown.
std::unique_ptr<QGuiApplication> guiApplication() {
    if (QGuiApplication::instance() != nullptr)
        return nullptr;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "zelmora-cli";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QGuiApplication>(argc, argv);
}
#endif

Status writePdf(const rtf::RtfDocument& doc, const fs::path& out) {
#ifdef ZELMORA_CLI_PDF
    const std::unique_ptr<QGuiApplication> app = guiApplication();
    return rtf::writePdf(doc, QString::fromStdString(out.string()));
#else
    (void)doc;
    return Status::failure("PDF пишет только сборка с окнами программы; " + out.string() +
                           ": выберите .rtf или .csv");
#endif
}

}  // namespace

int runDbReport(const fs::path& databaseFile, Args& args) {
    if (args.positional().size() != 2)
        return args.usageError("нужен вид отчёта: date, place или parametr");
    const std::string kindName = args.positional()[1];
    DbReportKind kind;
    if (kindName == "date")
        kind = DbReportKind::Date;
    else if (kindName == "place")
        kind = DbReportKind::Place;
    else if (kindName == "parametr")
        kind = DbReportKind::Parametr;
    else
        return args.usageError("вид отчёта: date, place или parametr, не " + kindName);
    const std::optional<std::string> out = args.option("--out");
    if (!out)
        return args.usageError("нужен --out ФАЙЛ.rtf|.pdf|.csv");

    DbReportSelection sel;
    const db::CalendarDay today = db::dayOf(std::time(nullptr));
    sel.from = sel.to = today;
    auto day = [&](const char* option, db::CalendarDay& into) {
        if (auto v = args.option(option)) {
            const std::optional<db::CalendarDay> d = parseDay(*v);
            if (!d)
                return false;
            into = *d;
        }
        return true;
    };
    if (kind == DbReportKind::Date) {
        if (!day("--date", sel.from))
            return args.usageError("--date: дата ГГГГ-ММ-ДД");
        sel.to = sel.from;
    } else {
        sel.from = {today.year, today.month, 1};
        if (!day("--from", sel.from) || !day("--to", sel.to))
            return args.usageError("--from, --to: даты ГГГГ-ММ-ДД");
    }
    sel.method = args.option("--method").value_or("");
    if (kind == DbReportKind::Place) {
        sel.station = args.option("--station").value_or(db::kNoName);
        sel.place = args.option("--place").value_or(db::kNoName);
    }
    if (kind == DbReportKind::Parametr) {
        sel.parametr = args.option("--component").value_or("");
        if (text::trim(sel.parametr).empty())
            return args.usageError("Необходимо указать компонент (--component)");
    }
    sel.excludedComponents = args.options("--exclude-component");
    for (const std::string& p : args.options("--exclude-point")) {
        const std::size_t bar = p.find('|');
        if (bar == std::string::npos)
            return args.usageError("--exclude-point \"ПУНКТ|ТОЧКА\"");
        sel.excludedPoints.emplace_back(p.substr(0, bar), p.substr(bar + 1));
    }

    const fs::path definitionFile =
        args.option("--definition").value_or(dbReportPath(paths::programFolder(), kind).string());
    std::error_code ec;
    Result<DbReportDefinition> def =
        fs::exists(definitionFile, ec) ? DbReportDefinition::load(definitionFile)
        : args.option("--definition")
            ? Result<DbReportDefinition>(Status::failure("нет файла " + definitionFile.string()))
            : DbReportDefinition::parse(defaultDbReportDefinition(kind));
    if (!def)
        return failure(def.status());

    Result<db::Connection> c = db::Connection::open(databaseFile, db::Connection::Mode::ReadOnly);
    if (!c)
        return failure(c.status(), databaseFile.string() + ": ");
    if (Status s = db::checkSchema(*c); !s)
        return failure(s, databaseFile.string() + ": ");
    const Result<DbReport> report = runDbReport(*c, *def, sel);
    if (!report)
        return failure(report.status());

    Status written;
    if (endsWith(*out, ".csv"))
        written = paths::writeFileAtomically(*out, dbReportToCsv(*report));
    else if (endsWith(*out, ".pdf"))
        written = writePdf(dbReportToRtf(*report), *out);
    else
        written = rtf::writeRtfFile(dbReportToRtf(*report), *out);
    if (!written)
        return failure(written, *out + ": ");
    std::printf("%s: %zu строк, %zu групп -> %s\n", report->title.c_str(), report->rowCount,
                report->groups.size(), out->c_str());
    return kExitOk;
}

}  // namespace zelmora::cli

namespace zelmora::cli {

int runChromatogramReport(Args& args) {
    if (!args.parse({}, {"--out"}))
        return kExitUsage;
    if (args.positional().size() != 1)
        return args.usageError("нужен один файл хроматограммы");
    const std::optional<std::string> out = args.option("--out");
    if (!out || !(endsWith(*out, ".rtf") || endsWith(*out, ".pdf")))
        return args.usageError("нужен --out ОТЧЁТ.rtf|.pdf");
#ifdef ZELMORA_CLI_PDF
    const std::unique_ptr<QGuiApplication> app = guiApplication();
    CZelmoraDoc doc;
    if (const Status read = doc.Read(args.positional()[0]); !read)
        return failure(read, args.positional()[0] + ": ");
    // "Файл:" of the report names the chromatogram as the desktop program's does.
    std::error_code ec;
    doc.state().setPathName(fs::absolute(args.positional()[0], ec));
    Method* method = doc.hasMethod ? documentMethod(doc) : nullptr;
    const ReportSettings settings = method != nullptr ? method->report : defaultMethod().report;
    ChromatogramReportContext context;
    context.programFolder = paths::programFolder();
    context.options = programOptions();
    context.now = std::time(nullptr);
    Result<rtf::RtfDocument> report = makeChromatogramReport(doc, settings, context);
    if (!report)
        return failure(report.status());
    const fs::path path(*out);
    const Status written = endsWith(*out, ".pdf")
                               ? rtf::writePdf(report.value(), QString::fromStdString(*out))
                               : rtf::writeRtfFile(report.value(), path);
    if (!written)
        return failure(written, *out + ": ");
    std::printf("%s\n", out->c_str());
    return kExitOk;
#else
    return failure("отчёт с рисунком хроматограммы пишет только сборка с окнами программы");
#endif
}

}  // namespace zelmora::cli
