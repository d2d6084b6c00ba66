// zelmora-cli import: chromatograms of other systems (AIA/ANDI netCDF files,
// CSV traces) turned into ".stg" chromatograms, one per input, with a report
// of what was taken from each and what was assumed.

#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/cli.h"
#include "cli/json.h"
#include "document/csv_import.h"
#include "document/message_sink.h"
#include "document/zelmora_doc.h"

namespace zelmora::cli {
namespace {

namespace fs = std::filesystem;

int run(Args& args) {
    if (!args.parse({"--json", "--force", "--decimal-comma"},
                    {"--out", "--separator", "--time-unit", "--signal-unit", "--time-column",
                     "--signal-column"}))
        return kExitUsage;
    if (args.positional().empty())
        return args.usageError("нужен хотя бы один файл .cdf или .csv");
    CsvImportOptions csv;
    if (auto s = args.option("--separator")) {
        if (*s == "tab" || *s == "\\t")
            csv.separator = '\t';
        else if (*s == "space")
            csv.separator = ' ';
        else if (s->size() == 1)
            csv.separator = (*s)[0];
        else
            return args.usageError("разделитель — один знак, tab или space");
    }
    if (args.flag("--decimal-comma"))
        csv.decimalComma = true;
    if (auto u = args.option("--time-unit")) {
        const TimeUnit t = parseTimeUnit(*u);
        if (!t.known)
            return args.usageError("единица времени: s или min");
        csv.timeInMinutes = t.minutes;
    }
    if (auto u = args.option("--signal-unit"))
        csv.signalUnit = *u;
    for (auto [name, column] :
         {std::pair{"--time-column", &csv.timeColumn}, {"--signal-column", &csv.signalColumn}}) {
        if (auto c = args.option(name)) {
            try {
                *column = std::stoi(*c) - 1;
            } catch (...) {
                return args.usageError(std::string(name) + ": нужен номер столбца от 1");
            }
            if (*column < 0)
                return args.usageError(std::string(name) + ": нужен номер столбца от 1");
        }
    }
    const std::optional<std::string> outDir = args.option("--out");
    if (outDir && !fs::is_directory(*outDir))
        return failure("нет папки " + *outDir);
    const bool json = args.flag("--json");

    JsonWriter j;
    j.beginArray();
    int failed = 0;
    for (const std::string& input : args.positional()) {
        const fs::path in = input;
        const fs::path out =
            (outDir ? fs::path(*outDir) : in.parent_path()) / (in.stem().string() + ".stg");
        std::string error;
        Result<ImportedChromatogram> r = Status::failure("");
        if (fs::exists(out) && !args.flag("--force")) {
            error = out.string() + " уже существует (--force, чтобы заменить)";
        } else {
            r = importChromatogramFile(in, csv);
            if (!r)
                error = r.message();
        }
        if (!error.empty()) {
            ++failed;
            std::fprintf(stderr, "zelmora-cli import: %s\n", error.c_str());
            if (json)
                j.beginObject()
                    .field("input", input)
                    .field("ok", false)
                    .field("error", error)
                    .endObject();
            continue;
        }
        const std::vector<std::string> notes = r->notes;
        CZelmoraDoc doc;
        std::move(r).value().moveInto(doc);
        SilentMessageSink sink;
        if (!doc.Write(out, sink, false)) {
            ++failed;
            error = "не удалось записать " + out.string();
            std::fprintf(stderr, "zelmora-cli import: %s\n", error.c_str());
            if (json)
                j.beginObject()
                    .field("input", input)
                    .field("ok", false)
                    .field("error", error)
                    .endObject();
            continue;
        }
        if (json) {
            j.beginObject()
                .field("input", input)
                .field("ok", true)
                .field("output", out.string())
                .field("samples", doc.signal.size())
                .field("t0", doc.signal.t0)
                .field("dt", doc.signal.dt)
                .field("peaks", doc.peaks.size())
                .field("sample", doc.passport.sample)
                .field("operator", doc.passport.operatorName)
                .field("method", doc.passport.method)
                .field("detector", doc.passport.detector)
                .field("analysisTime", static_cast<long long>(doc.passport.analysisTime));
            j.key("notes").beginArray();
            for (const std::string& n : notes)
                j.value(n);
            j.endArray().endObject();
        } else {
            std::printf("%s -> %s\n", input.c_str(), out.string().c_str());
            for (const std::string& n : notes)
                std::printf("  %s\n", n.c_str());
            if (!doc.passport.sample.empty())
                std::printf("  проба: %s\n", doc.passport.sample.c_str());
        }
    }
    j.endArray();
    if (json)
        std::printf("%s\n", j.str().c_str());
    return failed > 0 ? kExitFailure : kExitOk;
}

}  // namespace

extern const CliCommand kCommand_import = {
    "import", "хроматограммы других систем (AIA/ANDI .cdf, CSV) в файлы .stg",
    "Использование: zelmora-cli import ФАЙЛ.cdf|ФАЙЛ.csv... [--out ПАПКА] [--json] [--force]\n"
    "       [--separator З] [--decimal-comma] [--time-unit s|min] [--signal-unit ЕД]\n"
    "       [--time-column N] [--signal-column N]\n"
    "Каждый файл становится хроматограммой ФАЙЛ.stg (рядом с ним или в папке --out):\n"
    "файлы AIA/ANDI (netCDF) — с паспортом и таблицей пиков исходной системы (пики\n"
    "измеряются заново, её значения сохраняются в свойствах пиков), таблицы CSV — со\n"
    "столбцами времени и сигнала. Для каждого файла печатается, что взято и что\n"
    "предположено (единицы, пересчёт на равный шаг). Существующий .stg не заменяется\n"
    "без --force. Код выхода 1, если хотя бы один файл не импортирован.\n"
    "  --separator З     разделитель столбцов CSV (знак, tab или space)\n"
    "  --decimal-comma   десятичная запятая в CSV\n"
    "  --time-unit       единица времени CSV, если её нет в заголовке (по умолчанию min)\n"
    "  --signal-unit     единица сигнала CSV: mV, uV, V, pA, ... (по умолчанию mV)\n"
    "  --time-column N, --signal-column N  номера столбцов CSV (по умолчанию 1 и 2)\n"
    "  --json            отчёт в формате JSON\n",
    run};

}  // namespace zelmora::cli
