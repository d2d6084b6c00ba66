// zelmora-cli filter: smooths a chromatogram file with one of the filter kinds.

#include <cstdio>

#include "app/text.h"
#include "cli/cli.h"
#include "document/message_sink.h"
#include "document/zelmora_doc.h"
#include "method/method_records.h"
#include "processing/chromatogram_treatments.h"

namespace zelmora::cli {
namespace {

int run(Args& args) {
    if (!args.parse({"--save"}, {"--kind", "--window", "--threshold"}))
        return kExitUsage;
    if (args.positional().size() != 1)
        return args.usageError("нужен один файл хроматограммы");
    FilterSettings page;
    const auto kind = text::parseInt(args.option("--kind").value_or(""));
    if (!kind || *kind < 1 || *kind > 5)
        return args.usageError("--kind: вид фильтра от 1 до 5");
    page.kind = static_cast<int>(*kind);
    if (auto w = args.option("--window")) {
        const auto v = text::parseDouble(*w, true);
        if (!v || *v < 0 || *v > 600)
            return args.usageError("--window: окно от 0 до 600 с");
        page.window = static_cast<float>(*v);
    }
    if (auto t = args.option("--threshold")) {
        const auto v = text::parseDouble(*t, true);
        if (!v || *v < 0 || *v > 10)
            return args.usageError("--threshold: порог от 0 до 10 мВ");
        page.threshold = static_cast<float>(*v);
    }
    const std::string path = args.positional()[0];
    CZelmoraDoc doc;
    if (const Status read = doc.Read(path); !read)
        return failure(read, messageText(kMsgOpenError, path) + " ");
    if (!ApplyFilter(doc, page)) {
        return failure("фильтр не применён: хроматограмма слишком короткая для окна " +
                       text::format("%g", page.window) + " с");
    }
    if (args.flag("--save")) {
        RecordingMessageSink sink;
        if (const Status written = doc.Write(path, sink, false); !written)
            return failure(written);
        std::printf("Хроматограмма отфильтрована и записана: %s\n", path.c_str());
    } else {
        std::printf("Хроматограмма отфильтрована (без --save файл не изменён): %zu точек\n",
                    doc.signal.size());
    }
    return kExitOk;
}

}  // namespace

extern const CliCommand kCommand_filter = {
    "filter", "фильтрация хроматограммы",
    "Использование: zelmora-cli filter ФАЙЛ.stg --kind K [--window СЕК] [--threshold МВ] [--save]\n"
    "Фильтрует сигнал хроматограммы и заново измеряет её пики.\n"
    "  --kind K        1 медианный, 2 выбросы, 3 гауссовский, 4 ФНЧ, 5 ФСП\n"
    "  --window СЕК    окно в секундах (для ФСП — в минутах), по умолчанию 1\n"
    "  --threshold МВ  порог для удаления выбросов, по умолчанию 0.1\n"
    "  --save          записать результат в тот же файл\n",
    run};

}  // namespace zelmora::cli
