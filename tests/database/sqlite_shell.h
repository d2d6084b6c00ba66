#pragma once
// Runs the sqlite3 command-line shell (Debian's package "sqlite3") on a
// database file, as a laboratory would read its results without Zelmora.

#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "tests/support/temp_dir.h"

namespace zelmora::test {

// The shell found on PATH; nullopt when it is not installed.
inline std::optional<std::filesystem::path> sqliteShell() {
    const char* path = std::getenv("PATH");
    std::string_view rest = path != nullptr ? path : "/usr/bin:/bin";
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const std::filesystem::path candidate =
            std::filesystem::path(std::string(rest.substr(0, colon))) / "sqlite3";
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    }
    return std::nullopt;
}

inline constexpr const char* kNoShellMessage =
    "the sqlite3 shell is not installed (Debian package sqlite3, see scripts/setup.sh)";

struct ShellRun {
    int exitCode = -1;
    std::string output;  // standard output and error together
};

// Feeds `script` (SQL and dot-commands) to the shell on `database`.
inline ShellRun runSqliteShell(const std::filesystem::path& shell,
                               const std::filesystem::path& database, const std::string& script,
                               bool readOnly = true) {
    TempDir dir;
    writeFile(dir / "script.sql", script);
    const std::string command = "'" + shell.string() + "' -batch -bail " +
                                (readOnly ? "-readonly " : "") + "'" + database.string() + "' < '" +
                                (dir / "script.sql").string() + "' 2>&1";
    ShellRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, n);
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace zelmora::test
