// zelmora-cli recover: recordings that a crash or a kill left unfinished
// (their journals in the "Recovery" folder) become chromatograms, processed
// and saved as a finished recording is, marked as interrupted in their
// passport comment.

#include <cstdio>

#include "app/paths.h"
#include "app/program_settings.h"
#include "app/text.h"
#include "cli/cli.h"
#include "cli/json.h"
#include "cli/stderr_sink.h"
#include "instruments/channel.h"
#include "instruments/recording_journal.h"

namespace zelmora::cli {
namespace {

int run(Args& args) {
    if (!args.parse({"--list", "--json"}, {}))
        return kExitUsage;
    if (!args.positional().empty())
        return args.usageError("лишние аргументы");
    const std::filesystem::path folder = RecordingJournal::folderIn(paths::defaultDataFolder());
    const auto journals = RecordingJournal::list(folder);
    const bool json = args.flag("--json");
    JsonWriter j;
    if (json)
        j.beginArray();
    int failed = 0;
    if (args.flag("--list")) {
        for (const auto& path : journals) {
            const auto c = RecordingJournal::read(path);
            if (!c) {
                ++failed;
                std::fprintf(stderr, "zelmora-cli recover: %s\n", c.message().c_str());
                continue;
            }
            const double minutes = c->info.dt * static_cast<double>(c->points.size());
            if (json) {
                j.beginObject()
                    .field("journal", path.string())
                    .field("device", c->info.device + 1)
                    .field("channel", c->info.channel + 1)
                    .field("method", c->info.method)
                    .field("points", static_cast<long long>(c->points.size()))
                    .field("minutes", minutes)
                    .field("analysisTime", static_cast<long long>(c->info.analysisTime))
                    .endObject();
            } else {
                std::printf("%s: прибор %d, канал %d, метод %s, точек %zu (%.2f мин)\n",
                            path.filename().c_str(), c->info.device + 1, c->info.channel + 1,
                            c->info.method.c_str(), c->points.size(), minutes);
            }
        }
    } else {
        const WorkLogSession session;
        StderrMessageSink sink("zelmora-cli recover: ");
        ProgramOptions options = programOptions();
        for (const auto& path : journals) {
            auto r = recoverRecording(path, sink, options);
            if (!r) {
                ++failed;
                std::fprintf(stderr, "zelmora-cli recover: %s\n", r.message().c_str());
                continue;
            }
            if (json)
                j.beginObject()
                    .field("journal", path.string())
                    .field("file", r->finished.path.string())
                    .field("points", static_cast<long long>(r->points))
                    .endObject();
            else
                std::printf("%s\n", r->finished.path.c_str());
        }
        if (!json)
            std::fprintf(stderr, "Восстановлено записей: %zu\n",
                         journals.size() - static_cast<std::size_t>(failed));
    }
    if (json) {
        j.endArray();
        std::printf("%s\n", j.str().c_str());
    }
    return failed > 0 ? kExitFailure : kExitOk;
}

}  // namespace

extern const CliCommand kCommand_recover = {
    "recover", "восстановить записи, прерванные сбоем программы",
    "Использование: zelmora-cli recover [--list] [--json]\n"
    "Находит журналы записей, оставшиеся после сбоя или снятия программы (папка\n"
    "Recovery в папке данных), и делает из каждого хроматограмму: обработка и\n"
    "сохранение как у законченной записи, в комментарии паспорта — «Запись прервана».\n"
    "Журнал удаляется только после того, как файл хроматограммы записан.\n"
    "  --list   только показать найденные записи\n"
    "  --json   вывод в формате JSON\n",
    run};

}  // namespace zelmora::cli
