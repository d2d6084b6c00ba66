// zelmora-cli: the headless front end over the same core as the desktop
// program, for batch work and scripting.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/program_settings.h"
#include "app/settings_store.h"
#include "app/text.h"
#include "app/work_log.h"
#include "cli/cli.h"
#include "method/document_method.h"
#include "processing/peak_integration.h"

namespace zelmora::cli {
#define ZELMORA_COMMAND(n) extern const CliCommand kCommand_##n;
#include "cli_commands.inc"
#undef ZELMORA_COMMAND
}  // namespace zelmora::cli

namespace {

using zelmora::cli::CliCommand;

const CliCommand* const kCommands[] = {
#define ZELMORA_COMMAND(n) &zelmora::cli::kCommand_##n,
#include "cli_commands.inc"
#undef ZELMORA_COMMAND
};

void printHelp() {
    std::printf(
        "Использование: zelmora-cli КОМАНДА [ПАРАМЕТРЫ...]\n"
        "Zelmora — система обработки хроматографических данных, командная строка.\n\n"
        "Команды:\n");
    for (const CliCommand* c : kCommands)
        std::printf("  %-12s %s\n", c->name, c->summary);
    std::printf(
        "\nОбщие параметры:\n"
        "  --help       справка (также после имени команды)\n"
        "  --version    версия программы\n\n"
        "Переменная окружения ZELMORA_HOME переносит настройки и все папки программы\n"
        "в одну папку.\n"
        "Коды завершения: 0 — успех, 1 — ошибка выполнения, 2 — ошибка в командной строке.\n");
}

// A settings file that could not be read was put aside and the defaults
// taken: the person running the command must hear of it, and so must the
// work log, as when the desktop program starts.
void reportDamagedSettings() {
    const std::vector<std::string> warnings = zelmora::settingsLoadWarnings();
    if (warnings.empty())
        return;
    zelmora::cli::WorkLogSession log;
    for (const std::string& w : warnings) {
        std::fprintf(stderr, "zelmora-cli: %s\n", w.c_str());
        zelmora::CWorkLog::instance().write(w);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    // Chromatograms opened by any command get their own method copy.
    zelmora::installFolderMethodLoader();
    zelmora::installIntegrationAfterRead();
    if (args.empty()) {
        printHelp();
        return zelmora::cli::kExitUsage;
    }
    const std::string& first = args[0];
    if (first == "--help" || first == "-h" || first == "help") {
        if (first == "help" && args.size() > 1) {
            for (const CliCommand* c : kCommands) {
                if (args[1] == c->name) {
                    std::fputs(c->help, stdout);
                    return 0;
                }
            }
        }
        printHelp();
        return 0;
    }
    if (first == "--version" || first == "-V") {
        std::printf("zelmora-cli %s\n", zelmora::versionText().c_str());
        return 0;
    }
    for (const CliCommand* c : kCommands) {
        if (first != c->name)
            continue;
        std::vector<std::string> rest(args.begin() + 1, args.end());
        for (const auto& a : rest) {
            if (a == "--help" || a == "-h") {
                std::fputs(c->help, stdout);
                return 0;
            }
            if (a == "--")
                break;
        }
        reportDamagedSettings();
        zelmora::cli::Args parsed(c->name, std::move(rest));
        return c->run(parsed);
    }
    std::fprintf(stderr, "zelmora-cli: неизвестная команда \"%s\" (см. zelmora-cli --help)\n",
                 first.c_str());
    return zelmora::cli::kExitUsage;
}
