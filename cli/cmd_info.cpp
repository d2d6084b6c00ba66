// zelmora-cli info: what a chromatogram file holds — the passport, the time
// base and the peak table — without changing it.

#include <cstdio>

#include "app/text.h"
#include "cli/cli.h"
#include "cli/json.h"
#include "document/zelmora_doc.h"

namespace zelmora::cli {
namespace {

std::string localTime(std::time_t t) {
    return formatLocalTime(t, "%d.%m.%Y %H:%M:%S");
}

void passportJson(JsonWriter& j, const Passport& p) {
    j.beginObject()
        .field("sample", p.sample)
        .field("sample2", p.sample2)
        .field("sampleAmount", p.sampleAmount)
        .field("standardAmount", p.standardAmount)
        .field("norm", p.norm)
        .field("samplingTime", static_cast<long long>(p.samplingTime))
        .field("samplingTimeText", localTime(p.samplingTime))
        .field("place", p.place)
        .field("point", p.point)
        .field("method", p.method)
        .field("duration", p.duration)
        .field("calibration", p.calibration != 0)
        .field("vial", p.vial)
        .field("numberInSeries", p.numberInSeries)
        .field("operator", p.operatorName)
        .field("detector", p.detector)
        .field("column", p.column)
        .field("columnNumber", p.columnNumber)
        .field("grain", p.grain)
        .field("diameter", p.diameter)
        .field("length", p.length)
        .field("deadTime", p.deadTime)
        .field("eluent", p.eluent)
        .field("eluentFlow", p.eluentFlow)
        .field("eluentPressure", p.eluentPressure)
        .field("eluentTemperature", p.eluentTemperature)
        .field("reagent", p.reagent)
        .field("reagentFlow", p.reagentFlow)
        .field("reagentPressure", p.reagentPressure)
        .field("reagentTemperature", p.reagentTemperature)
        .field("analysisTime", static_cast<long long>(p.analysisTime))
        .field("analysisTimeText", localTime(p.analysisTime))
        .field("databaseKey", p.databaseKey)
        .field("reserved", p.reserved)
        .field("comment", p.comment)
        .field("noise", p.noise)
        .field("drift", p.drift)
        .endObject();
}

void propertiesJson(JsonWriter& j, const PeakPropertyList& list) {
    j.beginArray();
    for (const PeakProperty& prop : list)
        j.beginObject().field("key", prop.key).field("value", prop.value).endObject();
    j.endArray();
}

int run(Args& args) {
    if (!args.parse({"--json"}, {}))
        return kExitUsage;
    if (args.positional().size() != 1)
        return args.usageError("нужен один файл хроматограммы");
    const std::string& file = args.positional()[0];
    CZelmoraDoc doc;
    if (const Status read = doc.Read(file); !read)
        return failure(read, "не удалось прочитать хроматограмму " + file + ": ");
    const Passport& p = doc.passport;

    if (args.flag("--json")) {
        JsonWriter j;
        j.beginObject().field("file", file).key("passport");
        passportJson(j, p);
        j.field("samples", static_cast<unsigned long long>(doc.sampleCount()))
            .field("t0", doc.t0())
            .field("dt", doc.dt())
            .field("carriedStep", doc.carriedStep)
            .key("peaks")
            .beginArray();
        for (const Peak& pk : doc.peaks.peaks) {
            j.beginObject()
                .field("index", pk.ownIndex)
                .field("start", pk.startTime)
                .field("end", pk.endTime)
                .field("apexTime", pk.apexTime)
                .field("height", pk.height)
                .field("area", pk.area)
                .field("concentration", pk.concentration)
                .field("component", pk.componentName)
                .field("reference", pk.isReference != 0)
                .field("prevInGroup", pk.prevInGroup)
                .field("nextInGroup", pk.nextInGroup)
                .key("properties");
            propertiesJson(j, pk.properties);
            j.endObject();
        }
        j.endArray().key("tableProperties");
        propertiesJson(j, doc.peaks.properties);
        j.endObject();
        std::fputs(j.str().c_str(), stdout);
        return kExitOk;
    }

    std::printf("Файл:            %s\n", file.c_str());
    // The passport's one-page text has CR LF lines; the terminal wants LF.
    std::string page = p.text();
    for (std::size_t at; (at = page.find("\r\n")) != std::string::npos;)
        page.erase(at, 1);
    std::printf("%s\n\n", page.c_str());
    std::printf("Пункт отбора:    %s\n", p.place.c_str());
    std::printf("Детектор:        %s\n", p.detector.c_str());
    std::printf("Колонка:         %s (номер %d; зерно %g мкм, диаметр %g мм, длина %g мм)\n",
                p.column.c_str(), p.columnNumber, p.grain, p.diameter, p.length);
    std::printf("Тм:              %g с%s\n", p.deadTime, p.isGas() ? " (газовый хроматограф)" : "");
    std::printf("Градуировочная:  %s\n", p.calibration != 0 ? "да" : "нет");
    std::printf("Виала:           %d\n", p.vial);
    std::printf("Номер БД:        %d\n", p.databaseKey);
    std::printf("Шум:             %.3f мВ\n", p.noise);
    std::printf("Дрейф:           %.1f мВ/ч\n", p.drift);
    std::printf("Точек:           %zu\n", doc.sampleCount());
    std::printf("t0:              %.9g мин\n", doc.t0());
    std::printf("dt:              %.9g мин\n", doc.dt());
    std::printf("Второй шаг:      %.9g мин\n", doc.carriedStep);
    std::printf("Пиков:           %zu\n", doc.peakCount());
    if (!doc.peaks.empty()) {
        std::printf("%4s %12s %12s %14s %5s %5s  %s\n", "N", "Начало", "Конец", "Концентрация",
                    "Лев.", "Прав.", "Компонент");
        for (const Peak& pk : doc.peaks.peaks) {
            std::printf("%4d %12.5f %12.5f %14.6g %5d %5d  %s%s\n", pk.ownIndex, pk.startTime,
                        pk.endTime, pk.concentration, pk.prevInGroup, pk.nextInGroup,
                        pk.componentName.c_str(), pk.isReference != 0 ? " (репер)" : "");
            for (const PeakProperty& prop : pk.properties)
                std::printf("       %s = %s\n", prop.key.c_str(), prop.value.c_str());
        }
    }
    for (const PeakProperty& prop : doc.peaks.properties)
        std::printf("Свойство таблицы: %s = %s\n", prop.key.c_str(), prop.value.c_str());
    return kExitOk;
}

}  // namespace

extern const CliCommand kCommand_info = {
    "info", "паспорт, шкала времени и таблица пиков файла хроматограммы",
    "Использование: zelmora-cli info ФАЙЛ.stg [--json]\n"
    "Показывает паспорт хроматограммы, число точек, t0, dt, второй шаг времени\n"
    "и таблицу пиков. Файл не изменяется.\n"
    "  --json   вывод в формате JSON\n",
    run};

}  // namespace zelmora::cli
