// zelmora-cli combine: a chromatogram's peaks combined with a second table of
// volume concentrations (an ".et" table or another chromatogram) to 100 %,
// in volume or mass per cent with the densities of the density map — the
// desktop program's table combination dialog without the window.

#include <cstdio>

#include "app/paths.h"
#include "app/text.h"
#include "calc/composition_table.h"
#include "calc/et_file.h"
#include "cli/cli.h"
#include "cli/json.h"

namespace zelmora::cli {
namespace {

namespace fs = std::filesystem;

Result<CompositionTable> readTable(const fs::path& file) {
    if (text::equalsNoCase(file.extension().string(), ".et"))
        return readEtTable(file);
    return readComposition(file);
}

// Pads to `width` letters on the left or right (printf counts the bytes of
// Cyrillic text).
std::string pad(const std::string& s, std::size_t width, bool right) {
    std::size_t letters = 0;
    for (unsigned char ch : s)
        letters += (ch & 0xC0) != 0x80;
    const std::string fill = letters >= width ? "" : std::string(width - letters, ' ');
    return right ? fill + s : s + fill;
}

void printTable(const CompositionTable& t) {
    const std::size_t widths[kCompColumns] = {4, 9, 10, 10, 13, 24, 10};
    auto line = [&](const CompositionRow& r) {
        std::string out;
        for (std::size_t c = 0; c < kCompColumns; ++c)
            out += (c == kCompComponent ? "  " : " ") + pad(r[c], widths[c], c != kCompComponent);
        std::printf("%s\n", out.c_str());
    };
    line({"N", "Время", "Высота", "Площадь", "Концентрация", "Компонент", "Плотность"});
    for (const CompositionRow& r : t.rows)
        line(r);
}

int run(Args& args) {
    if (!args.parse({"--json"}, {"--manual", "--unit", "--densities", "--output"}))
        return kExitUsage;
    if (args.positional().size() != 1)
        return args.usageError("нужна одна исходная хроматограмма");
    const auto manualFile = args.option("--manual");
    if (!manualFile)
        return args.usageError("нужна вторая таблица: --manual ФАЙЛ.et или ФАЙЛ.stg");
    CompositionUnit unit = CompositionUnit::Mass;
    if (auto u = args.option("--unit")) {
        if (*u == "volume")
            unit = CompositionUnit::Volume;
        else if (*u != "mass")
            return args.usageError("--unit: volume или mass");
    }
    const auto output = args.option("--output");
    if (output && !text::equalsNoCase(fs::path(*output).extension().string(), ".et"))
        return args.usageError("--output: итоговая таблица сохраняется только в файл .et");

    auto source = readComposition(args.positional()[0]);
    if (!source)
        return failure(source.status());
    auto manual = readTable(*manualFile);
    if (!manual)
        return failure(manual.status());
    // The map given, or the user's own; only a missing default map is no error.
    DensityMap densities;
    const fs::path mapFile =
        args.option("--densities")
            ? fs::path(*args.option("--densities"))
            : userDensityMapFile(paths::defaultDataFolder(), paths::programFolder());
    std::error_code ec;
    if (args.option("--densities") || fs::exists(mapFile, ec)) {
        auto map = readDensityMap(mapFile);
        if (!map)
            return failure(map.status());
        densities = std::move(map).value();
    }
    CompositionTable src = std::move(source).value();
    CompositionTable man = std::move(manual).value();
    completeDensities(src, densities);
    completeDensities(man, densities);

    auto combined = combineCompositions(src, man, unit);
    if (!combined)
        return failure(combined.status());
    if (output) {
        if (Status s = writeEtTable(*output, combined->table); !s)
            return failure(s);
    }
    const bool mass = combined->unit == CompositionUnit::Mass;
    if (args.flag("--json")) {
        JsonWriter j;
        j.beginObject().field("unit", mass ? "mass" : "volume");
        j.key("withoutDensity").beginArray();
        for (const std::string& n : combined->withoutDensity)
            j.value(n);
        j.endArray();
        j.key("rows").beginArray();
        for (const CompositionRow& r : combined->table.rows) {
            j.beginObject()
                .field("component", r[kCompComponent])
                .field("concentration", cellNumber(r[kCompConcentration]))
                .field("density", cellNumber(r[kCompDensity]))
                .field("time", r[kCompTime])
                .endObject();
        }
        j.endArray().endObject();
        std::printf("%s\n", j.str().c_str());
    } else {
        std::printf("Итоговая таблица, %s проценты\n", mass ? "массовые" : "объемные");
        printTable(combined->table);
    }
    if (!combined->withoutDensity.empty()) {
        std::string names;
        for (const std::string& n : combined->withoutDensity)
            names += (names.empty() ? "" : ", ") + n;
        std::fprintf(stderr,
                     "zelmora-cli combine: нет плотности для: %s; таблица оставлена в объемных "
                     "процентах\n",
                     names.c_str());
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace

extern const CliCommand kCommand_combine = {
    "combine", "объединение хроматограммы с таблицей постоянных газов до 100 %",
    "Использование: zelmora-cli combine ХРОМАТОГРАММА.stg --manual ФАЙЛ [ПАРАМЕТРЫ]\n"
    "Концентрации хроматограммы пересчитываются так, чтобы вместе со второй таблицей\n"
    "(объемные концентрации, например постоянных газов) составить 100 %.\n"
    "  --manual ФАЙЛ        вторая таблица: файл .et или хроматограмма .stg\n"
    "  --unit volume|mass   итог в объемных или массовых процентах (по умолчанию mass)\n"
    "  --densities ФАЙЛ     карта плотностей (по умолчанию Denseness.den пользователя)\n"
    "  --output ФАЙЛ.et     сохранить итоговую таблицу\n"
    "  --json               итог в JSON\n"
    "Без плотности хотя бы одного вещества массовые проценты не считаются: таблица\n"
    "выводится в объемных процентах, такие вещества называются, код выхода 1.\n",
    run};

}  // namespace zelmora::cli
