#pragma once
// zelmora-cli db report: the database reports ("date", "place", "parametr")
// of the desktop program's menu "Отчёт для", written as RTF, CSV or PDF.

#include <filesystem>

namespace zelmora::cli {

class Args;

// The options the subcommand reads, for the parse of "zelmora-cli db".
inline constexpr const char* kDbReportOptions[] = {
    "--out", "--date", "--component", "--exclude-component", "--exclude-point", "--definition"};

int runDbReport(const std::filesystem::path& databaseFile, Args& args);
// zelmora-cli report: the chromatogram's report form filled, as RTF or PDF.
int runChromatogramReport(Args& args);

}  // namespace zelmora::cli
