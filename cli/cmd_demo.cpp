// zelmora-cli demo: a whole analysis without an instrument. Writes a demo
// method and a synthetic chromatogram of a natural-gas sample, processes it
// as a finished recording is processed (filter, mark, identify, compute
// concentrations), saves it and prints the peak table.

#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "app/program_settings.h"
#include "app/text.h"
#include "cli/cli.h"
#include "cli/json.h"
#include "document/message_sink.h"
#include "document/zelmora_doc.h"
#include "method/method_sheet.h"
#include "processing/chromatogram_open.h"
#include "processing/chromatogram_processing.h"
#include "processing/demo_sample.h"
#include "processing/synthetic.h"

namespace zelmora::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDemoMethod = "Демо";

bool writeDemoMethod(std::string& error) {
    CMethodSheet sheet;
    sheet.method() = demoMethod();
    if (const Status written = sheet.WriteMethod(kDemoMethod); !written) {
        error = written.message();
        return false;
    }
    return true;
}

// Pads to `width` letters (the names and headers are Cyrillic: printf
// counts bytes).
std::string pad(std::string s, std::size_t width, bool right = false) {
    std::size_t letters = 0;
    for (unsigned char ch : s)
        letters += (ch & 0xC0) != 0x80;
    if (letters >= width)
        return s;
    const std::string fill(width - letters, ' ');
    return right ? fill + s : s + fill;
}

int run(Args& args) {
    if (!args.parse({"--json"}, {"--folder"}))
        return kExitUsage;
    if (!args.positional().empty())
        return args.usageError("лишние аргументы");
    const ProgramOptions o = programOptions();
    const fs::path folder = args.option("--folder") ? fs::path(*args.option("--folder"))
                                                    : o.chromatogramFolder() / "Демо";
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec))
        return failure("не удалось создать папку " + folder.string());

    WorkLogSession log;
    std::string error;
    std::fprintf(stderr, "1/4 метод \"%s\" в %s\n", kDemoMethod, o.methodFolder().c_str());
    if (!writeDemoMethod(error))
        return failure("не удалось записать демонстрационный метод: " + error);

    std::fprintf(stderr, "2/4 синтетическая хроматограмма\n");
    const fs::path file = folder / "demo.stg";
    {
        CZelmoraDoc doc;
        fillDemoDocument(doc, kDemoMethod, std::time(nullptr));
        RecordingMessageSink sink;
        if (const Status written = doc.Write(file, sink, false); !written)
            return failure(written);
    }

    std::fprintf(stderr, "3/4 обработка: фильтрация, разметка, идентификация, концентрации\n");
    CZelmoraDoc doc;
    RecordingMessageSink sink;
    if (!OpenChromatogram(doc, file, sink))
        return failure(messageText(kMsgOpenError, file.string()));
    if (!doc.hasMethod)
        return failure("хроматограмма открыта без метода \"" + std::string(kDemoMethod) + "\"");
    const ProcessingOutcome outcome = ProcessChromatogram(doc);
    std::fprintf(stderr, "4/4 запись %s\n", file.c_str());
    if (const Status written = doc.Write(file, sink, false); !written)
        return failure(written);

    // Areas of the analytical peaks, for the check column.
    const SyntheticChromatogram spec = demoChromatogram();
    double total = 0;
    for (const SyntheticPeak& p : spec.peaks)
        total += p.area();

    if (args.flag("--json")) {
        JsonWriter j;
        j.beginObject().field("file", file.string()).field("method", kDemoMethod);
        j.field("quantitated", outcome.quantitated).key("peaks").beginArray();
        for (const Peak& p : doc.peaks.peaks) {
            j.beginObject()
                .field("apexTime", p.apexTime)
                .field("height", p.height)
                .field("area", p.area)
                .field("concentration", p.concentration)
                .field("component", p.componentName)
                .endObject();
        }
        j.endArray().endObject();
        std::fputs(j.str().c_str(), stdout);
        return kExitOk;
    }
    std::printf("Хроматограмма: %s\nМетод: %s (простая нормировка по площадям)\n\n", file.c_str(),
                kDemoMethod);
    std::printf("%3s  %s %s %s %s %s %s\n", "N", pad("Компонент", 10).c_str(),
                pad("Время", 8, true).c_str(), pad("Высота", 10, true).c_str(),
                pad("Площадь", 10, true).c_str(), pad("Конц., %", 10, true).c_str(),
                pad("Ожидалось", 10, true).c_str());
    for (std::size_t i = 0; i < doc.peaks.size(); ++i) {
        const Peak& p = doc.peaks.peaks[i];
        double expected = 0;
        for (const SyntheticPeak& s : spec.peaks) {
            if (std::fabs(s.apexTime - p.apexTime) < 0.05)
                expected = 100 * s.area() / total;
        }
        const std::string name = pad(p.componentName.empty() ? "?" : p.componentName, 10);
        std::printf("%3zu  %s %8.3f %10s %10s %10s %10.3f\n", i + 1, name.c_str(), p.apexTime,
                    FormatValue(p.height, 1, o).c_str(), FormatValue(p.area, 2, o).c_str(),
                    FormatValue(p.concentration, 0, o).c_str(), expected);
    }
    return kExitOk;
}

}  // namespace

extern const CliCommand kCommand_demo = {
    "demo", "демонстрация: синтетический анализ от хроматограммы до концентраций",
    "Использование: zelmora-cli demo [--folder ПАПКА] [--json]\n"
    "Записывает демонстрационный метод \"Демо\" в папку методов и синтетическую\n"
    "хроматограмму природного газа (demo.stg) в папку ПАПКА (по умолчанию\n"
    "<папка хроматограмм>/Демо), обрабатывает её как законченную запись (фильтрация,\n"
    "разметка, идентификация, концентрации), сохраняет и печатает таблицу пиков.\n"
    "  --json   таблица пиков в формате JSON\n",
    run};

}  // namespace zelmora::cli
