// zelmora-cli report: the report of a chromatogram, headless, for batch work.

#include "cli/cli.h"
#include "cli/db_report_cli.h"

namespace zelmora::cli {

extern const CliCommand kCommand_report = {
    "report", "отчёт по хроматограмме (RTF или PDF)",
    "Использование: zelmora-cli report ФАЙЛ.stg --out ОТЧЁТ.rtf|ОТЧЁТ.pdf\n"
    "Заполняет форму отчёта лаборатории (Templates/report.rpt, для метода с\n"
    "индексами удерживания - reporti.rpt) паспортом, таблицей пиков и групп и\n"
    "рисунком хроматограммы, как \"О&тчёт...\" программы с отчётными настройками\n"
    "метода хроматограммы, и пишет его в формате RTF или PDF.\n",
    runChromatogramReport};

}  // namespace zelmora::cli
