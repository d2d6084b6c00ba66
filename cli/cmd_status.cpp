// zelmora-cli status: where the program keeps its files and its main options.

#include <cstdio>

#include "app/paths.h"
#include "app/program_settings.h"
#include "app/settings_store.h"
#include "app/work_log.h"
#include "cli/cli.h"
#include "cli/json.h"

namespace zelmora::cli {
namespace {

int run(Args& args) {
    if (!args.parse({"--json"}, {}))
        return kExitUsage;
    if (!args.positional().empty())
        return args.usageError("лишние аргументы");
    const ProgramOptions o = programOptions();
    const std::string logFile = (o.logFolder() / CWorkLog::kFileName).string();
    if (args.flag("--json")) {
        JsonWriter j;
        j.beginObject()
            .field("version", versionText())
            .field("programFolder", paths::programFolder().string())
            .field("userSettings", userSettings().file().string())
            .field("machineSettings", machineSettings().file().string())
            .field("workLog", logFile)
            .field("databaseFile", o.databaseFile().string())
            .field("methodFolder", o.methodFolder().string())
            .field("chromatogramFolder", o.chromatogramFolder().string())
            .field("copiesFolder", o.copiesFolder().string())
            .field("accessLevel", o.accessLevel)
            .field("accessLevelName", accessLevelName(o.accessLevel))
            .field("autoSave", o.autoSave)
            .field("saveToDatabase", o.checkSaveDb)
            .endObject();
        std::fputs(j.str().c_str(), stdout);
        return kExitOk;
    }
    std::printf("Zelmora, %s\n", versionText().c_str());
    std::printf("Папка программы:        %s\n", paths::programFolder().c_str());
    std::printf("Настройки пользователя: %s\n", userSettings().file().c_str());
    std::printf("Общие настройки:        %s\n", machineSettings().file().c_str());
    std::printf("Журнал работы:          %s\n", logFile.c_str());
    std::printf("База данных:            %s\n", o.databaseFile().c_str());
    std::printf("Методы:                 %s\n", o.methodFolder().c_str());
    std::printf("Хроматограммы:          %s\n", o.chromatogramFolder().c_str());
    std::printf("Копии хроматограмм:     %s\n", o.copiesFolder().c_str());
    std::printf("Уровень доступа:        %d (%s)\n", o.accessLevel, accessLevelName(o.accessLevel));
    return kExitOk;
}

}  // namespace

extern const CliCommand kCommand_status = {
    "status", "папки программы, файлы настроек и основные опции",
    "Использование: zelmora-cli status [--json]\n"
    "Показывает папку программы, файлы настроек, журнал работы, папки базы данных,\n"
    "методов, хроматограмм и копий, уровень доступа.\n"
    "  --json   вывод в формате JSON\n",
    run};

}  // namespace zelmora::cli
