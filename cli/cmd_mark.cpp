// zelmora-cli mark: automatic peak marking of a chromatogram file with the
// marking parameters of a method, printing or saving the peak table.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/text.h"
#include "cli/cli.h"
#include "cli/json.h"
#include "document/message_sink.h"
#include "document/zelmora_doc.h"
#include "method/method_file.h"
#include "method/method_sheet.h"
#include "processing/chromatogram_processing.h"
#include "processing/marking_proposal.h"
#include "processing/peak_detector.h"

namespace zelmora::cli {
namespace {

// The marking parameters of a method given by path or by name.
bool readMarking(const std::string& given, MarkingParameters& marking, std::string& error) {
    Method method;
    std::string name;
    if (!readMethodFrom(given, method, name, error))
        return false;
    marking = method.marking;
    return true;
}

std::string flagText(const Peak& p) {
    std::string s;
    if (p.flags & Peak::kRider)
        s += "Н";
    if (p.flags & Peak::kCommonBaseline)
        s += "О";
    return s.empty() ? "-" : s;
}

int run(Args& args) {
    if (!args.parse({"--save", "--json", "--auto"}, {"--method"}))
        return kExitUsage;
    if (args.positional().size() != 1)
        return args.usageError("нужен один файл хроматограммы");
    const std::filesystem::path path = args.positional()[0];

    CZelmoraDoc doc;
    if (const Status read = doc.Read(path); !read)
        return failure(read, "не удалось прочитать " + path.string() + ": ");
    std::string error;

    MarkingParameters marking;  // the program's defaults when there is no method
    std::string source = "параметры по умолчанию";
    if (auto m = args.option("--method")) {
        if (!readMarking(*m, marking, error))
            return failure(error);
        source = "метод " + *m;
    } else if (!doc.passport.method.empty()) {
        if (readMarking(doc.passport.method, marking, error))
            source = "метод " + doc.passport.method;
        else
            std::fprintf(stderr, "zelmora-cli mark: %s; используются параметры по умолчанию\n",
                         error.c_str());
    }
    std::optional<MarkingProposal> proposal;
    if (args.flag("--auto")) {
        // The method's other parameters and events stay; the five that the
        // trace decides are proposed from it.
        Result<MarkingProposal> p = ProposeMarking(doc.signal, marking);
        if (!p)
            return failure(p.message());
        proposal = std::move(p).value();
        marking = proposal->parameters;
        source += ", подобранные по сигналу";
        if (!args.flag("--json")) {
            std::printf("Подобранные параметры разметки:\n");
            for (const std::string& r : proposal->reasons)
                std::printf("  %s\n", r.c_str());
            std::printf(
                "  Ширина %.6g мин, увеличение ширины вдвое %.6g мин, минимальная высота "
                "%.6g мВ, минимальная площадь %.6g мВ·мин, максимальная ширина %.6g мин\n",
                marking.Width, marking.WidthDoublingTime, marking.MinHeight, marking.MinArea,
                marking.MaxWidth);
        }
    }
    std::fprintf(stderr, "Разметка %s (%zu точек), %s...\n", path.string().c_str(),
                 doc.signal.size(), source.c_str());
    AutoMarkPeaks(doc.peaks, marking);
    doc.changed(CZelmoraDoc::Change::Peaks);

    if (args.flag("--save")) {
        SilentMessageSink sink;
        // Only the chromatogram is written; the method file stays as it is.
        if (!doc.Write(path, sink, false))
            return failure("не удалось записать " + path.string());
    }
    const PeakTable& t = doc.peaks;
    if (args.flag("--json")) {
        JsonWriter j;
        j.beginObject().field("file", path.string()).field("samples", doc.signal.size());
        j.field("saved", args.flag("--save"));
        if (proposal) {
            j.key("proposal")
                .beginObject()
                .field("noise", proposal->trace.noise)
                .field("drift", proposal->trace.drift)
                .field("narrowWidth", proposal->trace.narrowWidth)
                .field("clearPeaks", proposal->trace.clearPeaks)
                .field("Width", static_cast<double>(marking.Width))
                .field("WidthDoublingTime", static_cast<double>(marking.WidthDoublingTime))
                .field("MinHeight", static_cast<double>(marking.MinHeight))
                .field("MinArea", static_cast<double>(marking.MinArea))
                .field("MaxWidth", static_cast<double>(marking.MaxWidth))
                .endObject();
        }
        j.key("peaks").beginArray();
        for (const Peak& p : t.peaks) {
            j.beginObject()
                .field("index", p.ownIndex)
                .field("apexTime", p.apexTime)
                .field("startTime", p.startTime)
                .field("endTime", p.endTime)
                .field("height", p.height)
                .field("area", p.area)
                .field("baselineAtStart", p.baselineAtStart)
                .field("baselineAtEnd", p.baselineAtEnd)
                .field("rider", (p.flags & Peak::kRider) != 0)
                .field("commonBaseline", (p.flags & Peak::kCommonBaseline) != 0)
                .field("prevInGroup", p.prevInGroup)
                .field("nextInGroup", p.nextInGroup)
                .endObject();
        }
        j.endArray().endObject();
        std::fputs(j.str().c_str(), stdout);
        return kExitOk;
    }
    std::printf("%5s %10s %10s %10s %12s %14s %6s\n", "№", "Время", "Начало", "Конец", "Высота",
                "Площадь", "Флаги");
    for (const Peak& p : t.peaks)
        std::printf("%5d %10.4f %10.4f %10.4f %12.5g %14.6g %6s\n", p.ownIndex + 1, p.apexTime,
                    p.startTime, p.endTime, p.height, p.area, flagText(p).c_str());
    std::printf("Пиков: %zu%s\n", t.size(), args.flag("--save") ? ", таблица записана в файл" : "");
    return kExitOk;
}

}  // namespace

extern const CliCommand kCommand_mark = {
    "mark", "автоматическая разметка пиков хроматограммы",
    "Использование: zelmora-cli mark ФАЙЛ.stg [--method М] [--auto] [--save] [--json]\n"
    "Размечает пики хроматограммы параметрами разметки и событиями метода: метода\n"
    "хроматограммы, или метода М (имя в папке методов или путь к файлу .mtd), или,\n"
    "без метода, параметрами по умолчанию. Печатает таблицу пиков: время, начало,\n"
    "конец, высоту, площадь и флаги (Н — наездник, О — общая базовая линия).\n"
    "  --method М   взять параметры разметки из метода М\n"
    "  --auto       подобрать по сигналу ширину, увеличение ширины вдвое, минимальные\n"
    "               высоту и площадь и максимальную ширину (по шуму базовой линии и\n"
    "               ширине узких пиков), показать их и найденные ими пики; метод не\n"
    "               изменяется\n"
    "  --save       записать размеченную хроматограмму в тот же файл (метод не изменяется)\n"
    "  --json       вывод в формате JSON\n",
    run};

}  // namespace zelmora::cli
