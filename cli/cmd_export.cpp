// zelmora-cli export: the text export and the result XML of a chromatogram
// file, and the hand-over of the results to the laboratory's export program.

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/paths.h"
#include "app/text.h"
#include "app/work_log.h"
#include "cli/cli.h"
#include "cli/stderr_sink.h"
#include "document/aia_file.h"
#include "document/chromatogram_export.h"
#include "document/message_sink.h"
#include "document/zelmora_doc.h"

namespace zelmora::cli {
namespace {

int run(Args& args) {
    if (!args.parse({"--program"}, {"--text", "--xml", "--aia"}))
        return kExitUsage;
    if (args.positional().size() != 1)
        return args.usageError("нужен один файл хроматограммы");
    const std::optional<std::string> textOut = args.option("--text");
    const std::optional<std::string> xmlOut = args.option("--xml");
    const std::optional<std::string> aiaOut = args.option("--aia");
    const bool program = args.flag("--program");
    if (!textOut && !xmlOut && !aiaOut && !program)
        return args.usageError("нужен --text ФАЙЛ, --xml ФАЙЛ, --aia ФАЙЛ или --program");
    if ((textOut && textOut->empty()) || (xmlOut && xmlOut->empty()) || (aiaOut && aiaOut->empty()))
        return args.usageError("нужно имя файла для записи");

    const std::filesystem::path path = args.positional()[0];
    CZelmoraDoc doc;
    if (const Status read = doc.Read(path); !read)
        return failure(read, messageText(kMsgOpenError, path.string()) + " ");
    doc.state().setPathName(path);
    doc.setModified(false);

    if (textOut) {
        if (const Status written = writeTextExport(doc, *textOut); !written)
            return failure(written);
        std::printf("Экспорт в текстовый файл: %s\n", textOut->c_str());
    }
    if (xmlOut) {
        const std::optional<std::string> number = analysisNumber(doc.passport.sample);
        if (!number)
            return failure(kNoAnalysisNumberMessage);
        const Status written = paths::writeFileAtomically(*xmlOut, resultExportXml(doc, *number));
        if (!written)
            return failure(written, "не удалось записать " + *xmlOut + ": ");
        std::printf("Результаты анализа %s: %s\n", number->c_str(), xmlOut->c_str());
    }
    if (aiaOut) {
        if (const Status st = aia::writeFile(*aiaOut, doc.signal, doc.passport, doc.peaks); !st)
            return failure(st.message());
        std::printf("Экспорт в AIA/ANDI (netCDF): %s\n", aiaOut->c_str());
    }
    if (program) {
        // A successful hand-over rewrites the chromatogram file.
        WorkLogSession log;
        StderrMessageSink sink("zelmora-cli export: ");
        const ProgramExportResult r = ExportToProgram(doc, sink);
        if (r.status != ProgramExportResult::Status::Done)
            return kExitFailure;
        CWorkLog::instance().write("  Результаты хроматограммы " + path.string() +
                                   " переданы программе экспорта");
        std::printf("Программа экспорта приняла результаты; хроматограмма записана: %s\n",
                    path.string().c_str());
    }
    return kExitOk;
}

}  // namespace

extern const CliCommand kCommand_export = {
    "export", "экспорт хроматограммы в текст и результатов в XML",
    "Использование: zelmora-cli export ФАЙЛ.stg [--text ФАЙЛ] [--xml ФАЙЛ] [--aia ФАЙЛ.cdf]\n"
    "       [--program]\n"
    "  --text ФАЙЛ  паспорт, таблица пиков и все отсчёты в текстовом файле\n"
    "               (Windows-1251, строки CR LF, числа \"%f\")\n"
    "  --xml ФАЙЛ   концентрации c2, c3, ic4, c4, ic5, c5, c6, ic6 (доли) с номером\n"
    "               анализа из описания пробы (текст после \"#\" и одного знака)\n"
    "  --aia ФАЙЛ   сигнал (мВ), паспорт и таблица пиков в файле AIA/ANDI (netCDF),\n"
    "               который читают другие хроматографические системы\n"
    "  --program    передать результаты программе экспорта из настройки \"Prg\":\n"
    "               она получает файл XML и файл хроматограммы; при коде\n"
    "               завершения 0 хроматограмма записывается в свой файл\n"
    "Нужен хотя бы один из параметров. Код выхода 1, если экспорт не выполнен.\n",
    run};

}  // namespace zelmora::cli
