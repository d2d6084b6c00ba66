// zelmora-cli gas: the heats of combustion, Wobbe numbers and densities of a
// natural gas from one or more chromatograms of it (or from a composition
// typed in), with the repeatability verdict of every component — the
// calculation of the desktop program's natural-gas window.

#include <cstdio>

#include "app/settings_store.h"
#include "app/text.h"
#include "calc/natural_gas_calculator.h"
#include "cli/cli.h"
#include "cli/json.h"

namespace zelmora::cli {
namespace {

// Pads to `width` letters (printf counts the bytes of Cyrillic text).
std::string pad(const std::string& s, std::size_t width) {
    std::size_t letters = 0;
    for (unsigned char ch : s)
        letters += (ch & 0xC0) != 0x80;
    return letters >= width ? s : s + std::string(width - letters, ' ');
}

std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names)
        out += (out.empty() ? "" : ", ") + n;
    return out;
}

int run(Args& args) {
    if (!args.parse({"--json"}, {"--reference", "--unit", "--water", "--air", "--composition"}))
        return kExitUsage;
    GasConditions conditions;
    if (auto v = args.option("--reference")) {
        if (*v == "20")
            conditions.temperature = GasTemperature::C20;
        else if (*v == "0")
            conditions.temperature = GasTemperature::C0;
        else
            return args.usageError("--reference: 20 или 0");
    }
    if (auto v = args.option("--unit")) {
        if (*v == "mj")
            conditions.unit = HeatUnit::MJ;
        else if (*v == "kcal")
            conditions.unit = HeatUnit::Kcal;
        else
            return args.usageError("--unit: mj или kcal");
    }
    if (auto v = args.option("--water")) {
        const std::optional<double> w = text::parseDouble(*v, true);
        if (!w || *w < 0 || *w > 100)
            return args.usageError("--water: содержание воды, об.%, от 0 до 100");
        conditions.waterPercent = *w;
    }
    if (auto v = args.option("--air")) {
        if (*v == "0" || *v == "17310")
            conditions.air = AirDensityReference::Gost17310;
        else if (*v == "1" || *v == "30319")
            conditions.air = AirDensityReference::Gost30319;
        else
            return args.usageError("--air: 0 (ГОСТ 17310-2002) или 1 (ГОСТ 30319.1-96)");
    }
    const std::optional<std::string> typed = args.option("--composition");
    if (typed && !args.positional().empty())
        return args.usageError("нужны либо файлы хроматограмм, либо --composition");
    if (!typed && args.positional().empty())
        return args.usageError("нужен хотя бы один файл хроматограммы или --composition");

    const GasComponentNames names = GasComponentNames::load(userSettings());
    GasChromatogramList list;
    if (typed) {
        Result<GasChromatogram> c = parseGasComposition(*typed);
        if (!c)
            return args.usageError(c.message());
        list.add(std::move(c).value());
    }
    for (const std::string& file : args.positional()) {
        Result<GasChromatogram> c = readGasChromatogram(file);
        if (!c)
            return failure(c.message());
        list.add(std::move(c).value());
    }
    const std::vector<std::string> unmatched = unmatchedPeakNames(list.entries(), names);
    // A typed name that is no component would silently turn into methane.
    if (typed && !unmatched.empty())
        return failure("неизвестные компоненты: " + joined(unmatched) +
                       " (метан считается по разности, воду задаёт --water)");
    const Result<NaturalGasResult> r = computeNaturalGas(list.entries(), names, conditions);
    if (!r)
        return failure(r.message());
    const HeatUnit u = conditions.unit;
    const std::vector<GasCompositionRow> rows = compositionRows(*r, names);

    if (args.flag("--json")) {
        JsonWriter j;
        j.beginObject()
            .key("conditions")
            .beginObject()
            .field("temperatureC", conditions.temperature == GasTemperature::C20 ? 20 : 0)
            .field("pressureKPa", 101.325)
            .field("unit", unitText(u))
            .field("waterPercent", conditions.waterPercent)
            .field("airDensityReference", airDensityReferenceText(conditions.air))
            .field("airDensity", r->airDensity)
            .endObject()
            .key("chromatograms")
            .beginArray();
        for (const GasChromatogram& c : list.entries())
            j.beginObject().field("file", c.file.string()).field("sample", c.sample).endObject();
        j.endArray().key("components").beginArray();
        for (const GasCompositionRow& row : rows) {
            const GasComponentResult& c = r->components[row.component];
            j.beginObject()
                .field("component", kGasComponents[row.component].name)
                .field("name", row.name)
                .field("percent", c.mean * 100)
                .field("rangePercent", c.range() * 100)
                .field("count", c.count)
                .field("limit", names.limits[row.component])
                .field("verdict", row.verdict)
                .endObject();
        }
        j.endArray()
            .field("higherHeat", r->higherHeat)
            .field("lowerHeat", r->lowerHeat)
            .field("higherWobbe", r->higherWobbe)
            .field("lowerWobbe", r->lowerWobbe)
            .field("relativeDensity", r->relativeDensity)
            .field("absoluteDensity", r->absoluteDensity)
            .key("unmatchedPeaks")
            .beginArray();
        for (const std::string& n : unmatched)
            j.value(n);
        j.endArray().endObject();
        std::fputs(j.str().c_str(), stdout);
        return kExitOk;
    }

    for (const GasChromatogram& c : list.entries()) {
        if (!c.file.empty())
            std::printf("Хроматограмма: %s  %s\n", c.file.c_str(), c.sample.c_str());
    }
    std::printf("\n%s %s %s %s\n", pad("Компонент", 18).c_str(), pad("Об. доля %", 11).c_str(),
                pad("Расхожд.", 10).c_str(), "Норматив");
    for (const GasCompositionRow& row : rows)
        std::printf("%s %s %s %s\n", pad(row.name, 18).c_str(), pad(row.percent, 11).c_str(),
                    pad(row.range, 10).c_str(), row.verdict.c_str());
    std::printf("\nУсловия: 101,325 кПа, %s; плотность воздуха по %s: %.5g кг/м3\n",
                temperatureText(conditions.temperature).c_str(),
                airDensityReferenceText(conditions.air), r->airDensity);
    if (conditions.waterPercent != 0)
        std::printf("Вода: %g об.%%, поправка по ГОСТ Р 8.577-2000\n", conditions.waterPercent);
    std::printf("Теплота сгорания, высшая: %s\n", formatHeat(r->higherHeat, u).c_str());
    std::printf("Теплота сгорания, низшая: %s\n", formatHeat(r->lowerHeat, u).c_str());
    std::printf("Число Воббе, высшее:      %s\n", formatHeat(r->higherWobbe, u).c_str());
    std::printf("Число Воббе, низшее:      %s\n", formatHeat(r->lowerWobbe, u).c_str());
    std::printf("Относительная плотность:  %s\n",
                formatRelativeDensity(r->relativeDensity).c_str());
    std::printf("Абсолютная плотность:     %s\n",
                formatAbsoluteDensity(r->absoluteDensity).c_str());
    if (!unmatched.empty())
        std::fprintf(stderr, "zelmora-cli gas: не учтены пики: %s\n", joined(unmatched).c_str());
    return kExitOk;
}

}  // namespace

extern const CliCommand kCommand_gas = {
    "gas", "теплота сгорания, числа Воббе и плотность природного газа",
    "Использование: zelmora-cli gas ФАЙЛ.stg... [ПАРАМЕТРЫ] [--json]\n"
    "       zelmora-cli gas --composition \"Этан=2.3,Пропан=0.8,...\" [ПАРАМЕТРЫ] [--json]\n"
    "Средний состав природного газа по одной или нескольким хроматограммам одной\n"
    "пробы (метан — по разности до 100 %), высшая и низшая теплота сгорания, высшее\n"
    "и низшее число Воббе, относительная и абсолютная плотность по ГОСТ 22667-82 при\n"
    "101,325 кПа и проверка повторяемости каждого компонента. Компоненты ищутся по\n"
    "именам окна \"Имена\" (ключ PrirGase настроек пользователя).\n"
    "  --reference 20|0   температура приведения, °C (по умолчанию 20)\n"
    "  --unit mj|kcal     МДж/м3 (по умолчанию) или ккал/м3\n"
    "  --water ПРОЦЕНТ    содержание водяного пара, об.% (по умолчанию 0)\n"
    "  --air 0|1          плотность воздуха по ГОСТ 17310-2002 (0, по умолчанию)\n"
    "                     или ГОСТ 30319.1-96 (1)\n"
    "  --composition СОСТАВ  состав, об.%, вместо хроматограмм: \"Имя=доля,...\"\n"
    "  --json             вывод в формате JSON\n"
    "Сумма компонентов больше 100 % — ошибка (код 1).\n",
    run};

}  // namespace zelmora::cli
