// zelmora-cli queue: the analysis queue of the desktop program without its
// window — load the laboratory system's file, list the entries, see which
// sample the queue's channel records next, send a sample round again.

#include <cstdio>

#include "app/text.h"
#include "cli/cli.h"
#include "cli/json.h"
#include "instruments/analysis_queue.h"

namespace zelmora::cli {
namespace {

const char* stateText(int status) {
    switch (status) {
        case kQueueInWork:
            return "В работе";
        case kQueueProcessed:
            return "Обработан";
        default:
            return "Новая";
    }
}

void writeEntry(JsonWriter& j, const QueueEntry& e, std::size_t position) {
    j.beginObject()
        .field("n", static_cast<unsigned long long>(position + 1))
        .field("id", e.id)
        .field("vial", e.vial)
        .field("type", e.type)
        .field("info", e.info)
        .field("comments", e.comments)
        .field("organization", e.organization)
        .field("sampleMass", e.sampleMass)
        .field("standardMass", e.standardMass)
        .field("status", e.status)
        .field("state", stateText(e.status))
        .field("sampleText", queueSampleText(e))
        .endObject();
}

void printEntry(const QueueEntry& e) {
    std::printf("%8d %8d  %-8s %-10s %s\n", e.id, e.vial, e.type.c_str(), stateText(e.status),
                e.info.c_str());
}

int run(Args& args) {
    if (!args.parse({"--json"}, {}))
        return kExitUsage;
    const std::vector<std::string>& pos = args.positional();
    if (pos.empty())
        return args.usageError("нужно действие: load, list, next или reset");
    const std::string& action = pos[0];
    const bool json = args.flag("--json");
    AnalysisQueue queue(AnalysisQueue::defaultWorkingCopy());

    if (action == "load") {
        if (pos.size() != 2)
            return args.usageError("load: нужен один файл очереди");
        WorkLogSession log;
        std::vector<std::string> warnings;
        if (Status s = queue.load(pos[1], &warnings); !s.ok())
            return failure(s);
        for (const std::string& w : warnings)
            std::fprintf(stderr, "zelmora-cli: %s\n", w.c_str());
        std::printf("Записей в очереди: %zu (%s)\n", queue.size(),
                    queue.workingCopy().string().c_str());
        return kExitOk;
    }

    if (pos.size() > (action == "reset" ? 2u : 1u))
        return args.usageError("лишние параметры после " + action);
    if (Status s = queue.readWorkingCopy(); !s.ok())
        return failure(s);
    const std::vector<QueueEntry> entries = queue.entries();

    if (action == "list") {
        if (json) {
            JsonWriter j;
            j.beginArray();
            for (std::size_t i = 0; i < entries.size(); ++i)
                writeEntry(j, entries[i], i);
            j.endArray();
            std::printf("%s\n", j.str().c_str());
            return kExitOk;
        }
        if (entries.empty()) {
            std::printf("Очередь пуста\n");
            return kExitOk;
        }
        std::printf("%8s %8s  %-8s %-10s %s\n", "Номер", "Пробирка", "ТИП", "Состояние",
                    "Информация");
        for (const QueueEntry& e : entries)
            printEntry(e);
        return kExitOk;
    }
    if (action == "next") {
        const int i = queue.firstNew();
        if (i < 0)
            return failure("в очереди нет новых проб");
        if (json) {
            JsonWriter j;
            writeEntry(j, entries[i], static_cast<std::size_t>(i));
            std::printf("%s\n", j.str().c_str());
        } else {
            printEntry(entries[i]);
        }
        return kExitOk;
    }
    if (action == "reset") {
        if (pos.size() != 2)
            return args.usageError("reset: нужен номер анализа (id)");
        const std::optional<long long> id = text::parseInt(pos[1]);
        if (!id || *id < INT32_MIN || *id > INT32_MAX)
            return args.usageError("reset: номер анализа — целое число");
        WorkLogSession log;
        Result<bool> found = queue.resetId(static_cast<std::int32_t>(*id));
        if (!found)
            return failure(found.status());
        if (!found.value())
            return failure(text::format("в очереди нет анализа № %lld", *id));
        std::printf("Анализ № %lld будет выполнен заново\n", *id);
        return kExitOk;
    }
    return args.usageError("неизвестное действие " + action + " (load, list, next, reset)");
}

}  // namespace

extern const CliCommand kCommand_queue = {
    "queue", "очередь анализов лабораторной системы",
    "Использование: zelmora-cli queue load ФАЙЛ.xml\n"
    "       zelmora-cli queue list [--json]\n"
    "       zelmora-cli queue next [--json]\n"
    "       zelmora-cli queue reset НОМЕР\n"
    "Очередь проб (пробирок), которую готовит лабораторная система в файлах\n"
    "\"aq-ГГГГММДД.xml\"; программа записывает по одной пробе на хроматограмму на\n"
    "канале очереди. Рабочая копия очереди — queue.xml в папке Queue данных\n"
    "программы (ZELMORA_HOME, если задана).\n"
    "  load ФАЙЛ.xml  заменить очередь файлом лабораторной системы; записи, которые\n"
    "                 не удалось взять (пропуск в нумерации, больше 999), названы\n"
    "  list           все записи: номер анализа, пробирка, тип, состояние, проба\n"
    "  next           проба, которую возьмёт следующая запись (код 1, если новых нет)\n"
    "  reset НОМЕР    выполнить анализ с этим номером (id) заново\n"
    "  --json         вывод в формате JSON\n"
    "Пока работающая программа записывает пробы очереди, меняйте очередь в её окне.\n",
    run};

}  // namespace zelmora::cli
