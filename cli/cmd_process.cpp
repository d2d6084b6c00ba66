// zelmora-cli process: the processing chain of chromatogram files — filter,
// mark, identify and compute concentrations with the chromatogram's method —
// printing the peak table with names and concentrations.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>

#include "app/program_settings.h"
#include "app/text.h"
#include "cli/cli.h"
#include "cli/json.h"
#include "document/message_sink.h"
#include "document/zelmora_doc.h"
#include "processing/chromatogram_processing.h"

namespace zelmora::cli {
namespace {

struct FileResult {
    std::string file;
    bool ok = false;
    std::string error;
    std::string method;  // empty: processed without a method
    std::string warning;
    ProcessingOutcome outcome;
    std::unique_ptr<CZelmoraDoc> doc;
};

FileResult processFile(const std::filesystem::path& path, const std::optional<Method>& given,
                       const std::string& givenName, bool save) {
    FileResult r;
    r.file = path.string();
    r.doc = std::make_unique<CZelmoraDoc>();
    CZelmoraDoc& doc = *r.doc;
    if (const Status read = doc.Read(path); !read) {
        r.error = "не удалось прочитать " + r.file + ": " + read.message();
        return r;
    }
    if (given) {
        doc.reloadMethod(methodCopyOf(*given));
        r.method = givenName;
    } else if (!doc.passport.method.empty()) {
        RecordingMessageSink said;
        if (doc.reloadMethod(said)) {
            r.method = doc.passport.method;
        } else {
            r.warning = "метод " + doc.passport.method + " не загружен";
            for (const auto& e : said.entries)
                r.warning += " (" + e.text + ")";
            r.warning += "; только разметка параметрами по умолчанию";
        }
    }
    r.outcome = ProcessChromatogram(doc);
    if (save) {
        SilentMessageSink sink;
        if (!doc.Write(path, sink, false)) {
            r.error = "не удалось записать " + r.file;
            return r;
        }
    }
    r.ok = true;
    return r;
}

// Right-aligns UTF-8 text in `width` characters (not bytes).
std::string padLeft(const std::string& s, std::size_t width) {
    std::size_t chars = 0;
    for (unsigned char c : s)
        chars += (c & 0xC0) != 0x80;
    return std::string(width > chars ? width - chars : 0, ' ') + s;
}

void printTable(const FileResult& r) {
    const CZelmoraDoc& doc = *r.doc;
    std::printf("%s", r.file.c_str());
    if (!r.method.empty())
        std::printf(", метод %s", r.method.c_str());
    if (doc.passport.calibration != 0)
        std::printf(", градуировочная хроматограмма");
    std::printf("\n");
    std::printf("%s %s %s %s %s  %s %s\n", padLeft("№", 5).c_str(), padLeft("Время", 10).c_str(),
                padLeft("Высота", 12).c_str(), padLeft("Площадь", 14).c_str(),
                padLeft("Концентрация", 14).c_str(), "Репер", "Компонент");
    for (const Peak& p : doc.peaks.peaks) {
        const std::string* index = findProperty(p.properties, kRetentionIndexKey);
        std::printf("%5d %10.4f %s %s %s  %s   %s%s%s\n", p.ownIndex + 1, p.apexTime,
                    padLeft(FormatValue(p.height, 1), 12).c_str(),
                    padLeft(FormatValue(p.area, 2), 14).c_str(),
                    padLeft(FormatValue(p.concentration, 0), 14).c_str(),
                    p.isReference ? "Да " : "Нет", p.componentName.c_str(),
                    index ? "  Индекс: " : "", index ? index->c_str() : "");
    }
    std::printf(
        "Пиков: %zu, опознано: %zu", doc.peaks.size(),
        static_cast<std::size_t>(std::count_if(doc.peaks.peaks.begin(), doc.peaks.peaks.end(),
                                               [](const Peak& p) { return p.identified(); })));
    if (doc.retentionFactor != 1.0)
        std::printf(", коэффициент времён удерживания %.6g", doc.retentionFactor);
    std::printf("\n");
    if (!r.outcome.quantitation.ok() && r.outcome.quantitated)
        std::printf("%s\n", r.outcome.quantitation.message().c_str());
}

void writeJson(JsonWriter& j, const FileResult& r) {
    j.beginObject().field("file", r.file).field("ok", r.ok);
    if (!r.ok) {
        j.field("error", r.error).endObject();
        return;
    }
    const CZelmoraDoc& doc = *r.doc;
    j.key("method");
    if (r.method.empty())
        j.null();
    else
        j.value(r.method);
    j.field("calibration", doc.passport.calibration != 0)
        .field("filtered", r.outcome.filtered)
        .field("identified", r.outcome.identified)
        .field("quantitated", r.outcome.quantitated && r.outcome.quantitation.ok())
        .field("retentionFactor", doc.retentionFactor);
    if (!r.warning.empty())
        j.field("warning", r.warning);
    if (!r.outcome.quantitation.message().empty())
        j.field("message", r.outcome.quantitation.message());
    j.key("peaks").beginArray();
    for (const Peak& p : doc.peaks.peaks) {
        j.beginObject()
            .field("index", p.ownIndex)
            .field("apexTime", p.apexTime)
            .field("startTime", p.startTime)
            .field("endTime", p.endTime)
            .field("height", p.height)
            .field("area", p.area)
            .field("concentration", p.concentration)
            .field("component", p.componentName)
            .field("reference", p.isReference != 0)
            .field("retentionIndex", p.retentionIndex);
        j.endObject();
    }
    j.endArray().endObject();
}

int run(Args& args) {
    if (!args.parse({"--save", "--json"}, {"--method"}))
        return kExitUsage;
    if (args.positional().empty())
        return args.usageError("нужен хотя бы один файл хроматограммы");
    std::optional<Method> given;
    std::string givenName;
    if (auto m = args.option("--method")) {
        Method method;
        std::string error;
        if (!readMethodFrom(*m, method, givenName, error))
            return failure(error);
        given = std::move(method);
    }
    const bool save = args.flag("--save"), json = args.flag("--json");
    std::optional<WorkLogSession> log;
    if (save)
        log.emplace();

    const auto& files = args.positional();
    const bool several = files.size() > 1;
    int processed = 0, failed = 0;
    JsonWriter j;
    if (json)
        j.beginObject().key("files").beginArray();
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (several)
            std::fprintf(stderr, "[%zu/%zu] %s\n", i + 1, files.size(), files[i].c_str());
        const FileResult r = processFile(files[i], given, givenName, save);
        if (!r.warning.empty())
            std::fprintf(stderr, "zelmora-cli process: %s: %s\n", r.file.c_str(),
                         r.warning.c_str());
        if (r.ok) {
            ++processed;
        } else {
            ++failed;
            std::fprintf(stderr, "zelmora-cli process: %s\n", r.error.c_str());
        }
        if (json) {
            writeJson(j, r);
        } else if (r.ok) {
            if (i > 0)
                std::printf("\n");
            printTable(r);
        }
    }
    if (json) {
        j.endArray().field("processed", processed).field("failed", failed).endObject();
        std::fputs(j.str().c_str(), stdout);
    }
    if (several)
        std::fprintf(stderr, "Обработано файлов: %d, с ошибками: %d\n", processed, failed);
    return failed > 0 ? kExitFailure : kExitOk;
}

}  // namespace

extern const CliCommand kCommand_process = {
    "process", "обработка хроматограмм: фильтрация, разметка, идентификация, концентрации",
    "Использование: zelmora-cli process ФАЙЛ.stg... [--method М] [--save] [--json]\n"
    "Обрабатывает каждую хроматограмму, как после записи: фильтрация и разметка\n"
    "пиков параметрами метода, идентификация компонентов и расчёт концентраций\n"
    "(у градуировочной хроматограммы концентрации не пересчитываются: это\n"
    "введённые количества). Метод — метод хроматограммы из папки методов или\n"
    "метод М (имя в папке методов или путь к файлу .mtd); без метода пики\n"
    "размечаются параметрами по умолчанию и не идентифицируются. Печатает\n"
    "таблицу пиков с названиями и концентрациями; для нескольких файлов\n"
    "показывает ход работы и итог в stderr. Фильтрация применяется к отсчётам\n"
    "файла: повторная обработка с --save фильтрует уже отфильтрованный сигнал.\n"
    "  --method М   обработать методом М (паспорт хроматограммы не меняется)\n"
    "  --save       записать результат в тот же файл (метод не изменяется)\n"
    "  --json       вывод в формате JSON\n"
    "Код выхода 1, если хотя бы один файл не обработан.\n",
    run};

}  // namespace zelmora::cli
