// zelmora-cli method: shows a method file and creates default methods.

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/program_settings.h"
#include "app/text.h"
#include "app/version.h"
#include "app/work_log.h"
#include "cli/cli.h"
#include "cli/json.h"
#include "method/method_file.h"
#include "method/method_sheet.h"

namespace zelmora::cli {
namespace {

namespace fs = std::filesystem;

// One description of the method for both outputs: JSON uses the keys, the
// text the Russian labels.
class Out {
  public:
    virtual ~Out() = default;
    // An object, as a field (key) or as an element of a list (key null).
    virtual void open(const char* key, const std::string& label) = 0;
    virtual void close() = 0;
    virtual void openList(const char* key, const std::string& label) = 0;
    virtual void closeList() = 0;
    virtual void text(const char* key, const std::string& label, const std::string& v) = 0;
    virtual void number(const char* key, const std::string& label, double v) = 0;
    virtual void integer(const char* key, const std::string& label, long long v) = 0;
    virtual void flag(const char* key, const std::string& label, bool v) = 0;
    virtual void numbers(const char* key, const std::string& label, const double* v, int n) = 0;
};

class JsonOut : public Out {
  public:
    void open(const char* key, const std::string&) override {
        name(key);
        j.beginObject();
    }
    void close() override { j.endObject(); }
    void openList(const char* key, const std::string&) override {
        name(key);
        j.beginArray();
    }
    void closeList() override { j.endArray(); }
    void text(const char* key, const std::string&, const std::string& v) override {
        name(key);
        j.value(v);
    }
    void number(const char* key, const std::string&, double v) override {
        name(key);
        j.value(v);
    }
    void integer(const char* key, const std::string&, long long v) override {
        name(key);
        j.value(v);
    }
    void flag(const char* key, const std::string&, bool v) override {
        name(key);
        j.value(v);
    }
    void numbers(const char* key, const std::string&, const double* v, int n) override {
        name(key);
        j.beginArray();
        for (int i = 0; i < n; ++i)
            j.value(v[i]);
        j.endArray();
    }

    JsonWriter j;

  private:
    void name(const char* key) {
        if (key != nullptr)
            j.key(key);
    }
};

class TextOut : public Out {
  public:
    void open(const char*, const std::string& label) override {
        line(label + ":");
        ++depth_;
    }
    void close() override { --depth_; }
    void openList(const char*, const std::string& label) override { open(nullptr, label); }
    void closeList() override { close(); }
    void text(const char*, const std::string& label, const std::string& v) override {
        line(label + ": " + (v.empty() ? "—" : v));
    }
    void number(const char*, const std::string& label, double v) override {
        line(label + ": " + text::format("%g", v));
    }
    void integer(const char*, const std::string& label, long long v) override {
        line(label + ": " + std::to_string(v));
    }
    void flag(const char*, const std::string& label, bool v) override {
        line(label + ": " + (v ? "да" : "нет"));
    }
    void numbers(const char*, const std::string& label, const double* v, int n) override {
        std::string s = label + ":";
        for (int i = 0; i < n; ++i)
            s += (i == 0 ? " " : ", ") + text::format("%g", v[i]);
        line(s);
    }

    std::string out;

  private:
    void line(const std::string& s) {
        out.append(2 * depth_, ' ');
        out += s;
        out += '\n';
    }
    int depth_ = 0;
};

template <typename T, std::size_t N>
void numbers(Out& o, const char* key, const std::string& label, const std::array<T, N>& a,
             std::size_t from = 0) {
    double v[N];
    for (std::size_t i = from; i < N; ++i)
        v[i - from] = static_cast<double>(a[i]);
    o.numbers(key, label, v, static_cast<int>(N - from));
}

std::string dateText(std::time_t t) {
    if (t == 0)
        return "";
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%d.%m.%Y %H:%M:%S", &tm);
    return buf;
}

void describeKalder(Out& o, const MethodKalderSettings& k) {
    o.open("kalder", "Установки прибора Zelmora Kalder");
    o.open("general", "Общие");
    numbers(o, "zoneTemperature", "Температура зон 1-7, °C", k.zoneTemperature, 1);
    numbers(o, "zoneNameCode", "Коды названий зон 0-7", k.zoneNameCode);
    numbers(o, "programTemperature", "Температуры программы T1-T5, °C", k.programTemperature);
    numbers(o, "programIsotherm", "Изотермы 1-5, мин", k.programIsotherm);
    numbers(o, "programRate", "Скорости нагрева V12-V45, °C/мин", k.programRate);
    o.number("programTime", "Время программы, мин", k.programTime());
    numbers(o, "gasSetValue", "Задание газовых каналов 0-11", k.gasSetValue);
    o.openList("gasChannels", "Газовые каналы");
    for (std::size_t c = 0; c < k.gasChannels.size(); ++c) {
        const GasChannelSettings& g = k.gasChannels[c];
        o.open(nullptr, text::format("Канал %zu", c));
        o.integer("gasType", "Газ", g.gasType);
        o.integer("mode", "Режим", g.mode);
        o.number("columnLength", "Длина колонки, м", g.columnLength);
        o.number("columnDiameter", "Внутренний диаметр, мм", g.columnDiameter);
        numbers(o, "pressure", "Давления P1-P3", g.pressure);
        numbers(o, "pressureTime", "Времена t1, t2", g.pressureTime);
        numbers(o, "pressureRate", "Скорости V12, V23", g.pressureRate);
        o.close();
    }
    o.closeList();
    o.close();
    o.open("additional", "Дополнительные");
    numbers(o, "zoneMaximum", "Максимумы зон 0-7, °C", k.zoneMaximum);
    numbers(o, "zoneTolerance", "Допуски зон 0-7, °C", k.zoneTolerance);
    o.number("carrierTolerance", "Допуск газа-носителя", k.carrierTolerance);
    o.number("hydrogenTolerance", "Допуск водорода", k.hydrogenTolerance);
    o.number("airTolerance", "Допуск воздуха", k.airTolerance);
    o.number("flameLevel", "Уровень пламени, мВ", k.flameLevel);
    numbers(o, "invertDetector", "Инверсия Дет1-Дет4", k.invertDetector);
    o.integer("columnBelowDetector", "Tкол < Tдет", k.columnBelowDetector);
    o.number("pressureTolerance", "Допуск давления", k.pressureTolerance);
    o.integer("ignitionAttempts", "Попыток поджига", k.ignitionAttempts);
    numbers(o, "bridgeVoltage", "U моста ДТП 1-4", k.bridgeVoltage);
    numbers(o, "balance", "Баланс ДТП 1-4", k.balance);
    o.integer("autosamplerInUse", "Автосамплер", k.autosamplerInUse);
    o.integer("closeFlap", "Закрыть заслонку", k.closeFlap);
    numbers(o, "buttonFunction", "Функции кнопок 1, 2", k.buttonFunction);
    o.integer("readinessDelaySeconds", "Задержка перед готовностью, сек", k.readinessDelaySeconds);
    o.integer("silentMode", "Тихий режим", k.silentMode);
    o.close();
    o.open("valves", "Краны/Т.Зоны");
    o.openList("valves", "Краны");
    for (std::size_t i = 0; i < k.valves.size(); ++i) {
        const ValveSettings& v = k.valves[i];
        o.open(nullptr, text::format("Кран %zu", i + 1));
        o.number("time1", "время1, мин", v.time1);
        o.number("time2", "время2, мин", v.time2);
        o.integer("mode", "Режим", v.mode);
        o.integer("initialState", "Начальное положение", v.initialState);
        o.integer("channel", "Канал", v.channel);
        o.close();
    }
    o.closeList();
    o.openList("additionalZones", "Дополнительные зоны");
    for (std::size_t i = 0; i < k.additionalZones.size(); ++i) {
        const AdditionalZoneSettings& z = k.additionalZones[i];
        o.open(nullptr, text::format("Зона %zu", i + 5));
        o.number("setTemperature", "Температура, °C", z.setTemperature);
        o.number("maximum", "Защита, °C", z.maximum);
        o.number("tolerance", "Допуск, °C", z.tolerance);
        o.close();
    }
    o.closeList();
    o.close();
    const AutosamplerSettings& a = k.autosampler;
    o.open("autosampler", "Pelvio");
    o.integer("firstVial", "Первый флакон", a.firstVial);
    o.integer("lastVial", "Последний флакон", a.lastVial);
    o.integer("injectionsPerVial", "Вводов из флакона", a.injectionsPerVial);
    o.integer("pumpings", "Прокачек", a.pumpings);
    o.integer("washingFromAboveSeconds", "Промывка сверху, с", a.washingFromAboveSeconds);
    o.integer("aspirationSpeed", "Скорость забора, мкл/с", a.aspirationSpeed);
    o.integer("injectionSpeed", "Скорость ввода, мкл/с", a.injectionSpeed);
    o.integer("injectionTimeSeconds", "Время ввода, с", a.injectionTimeSeconds);
    o.number("sampleVolume", "Объём пробы, мкл", a.sampleVolume);
    o.integer("port", "Порт (0 = COM1)", a.port);
    o.integer("channel", "Канал хроматографа", a.channel);
    o.close();
    o.close();
}

void describeEhd(Out& o, const MethodEhdSettings& e) {
    o.open("ehd", "Установки ЭХД+КД");
    o.integer("mode", "Режим работы детектора", e.mode);
    o.integer("range", "Диапазон", e.range);
    o.number("detectorTemperature", "Температура детектора, °C", e.detectorTemperature);
    o.number("columnTemperature", "Температура колонок, °C", e.columnTemperature);
    o.number("cleaningTime", "Время очистки, с", e.cleaningTime);
    o.number("restoringTime", "Время восстановления, с", e.restoringTime);
    o.number("delayTime", "Время задержки, с", e.delayTime);
    o.number("measuringPotential", "Напряжение рабочего электрода, В", e.measuringPotential);
    o.number("cleaningPotential", "Напряжение очистки, В", e.cleaningPotential);
    o.number("restoringPotential", "Напряжение восстановления, В", e.restoringPotential);
    o.integer("detectorThermostat", "Термостат детектора", e.detectorThermostat);
    o.integer("columnThermostat", "Термостат колонок", e.columnThermostat);
    o.close();
}

void describe(Out& o, const Method& m) {
    o.open("info", "Информация");
    o.text("description", "Краткое описание", m.info.description);
    o.text("comment", "Комментарий", m.info.comment);
    o.close();

    const CaptureSettings& c = m.capture;
    o.open("capture", "Сбор данных");
    o.number("analysisTime", "Время анализа, мин", c.analysisTime);
    o.number("samplingRate", "Выборка, тчк/сек", c.samplingRate);
    o.integer("passportKind", "Вид паспорта (0 жидкостный, 1 газовый)", c.passportKind);
    o.flag("saveToFolder", "Сохранять хроматограммы в каталог", c.saveToFolder);
    o.text("folder", "Каталог", c.folder);
    o.flag("fixedBounds", "Фикс. границы", c.fixedBounds);
    o.number("displayMaximum", "Максимум, мВ", c.displayMaximum);
    o.number("displayMinimum", "Минимум, мВ", c.displayMinimum);
    o.close();

    o.open("filter", "Фильтрация");
    o.integer("kind", "Способ фильтрации", m.filter.kind);
    o.number("window", "Окно, сек", m.filter.window);
    o.number("threshold", "Порог", m.filter.threshold);
    o.close();

    const MarkingParameters& mk = m.marking;
    o.open("marking", "Авторазметка");
    o.number("MaxWidth", "Максимальная ширина", mk.MaxWidth);
    o.number("Width", "Ширина", mk.Width);
    o.number("WidthDoublingTime", "Увеличение ширины вдвое", mk.WidthDoublingTime);
    o.number("MinHeight", "Минимальная высота", mk.MinHeight);
    o.number("MarkingStart", "Начало разметки", mk.MarkingStart);
    o.number("MinArea", "Минимальная площадь", mk.MinArea);
    o.number("MaxRiderArea", "Максимальная площадь наездника", mk.MaxRiderArea);
    o.number("MaxCommonBaselineDistance", "Макс. расстояние между пиками с общей базовой линией",
             mk.MaxCommonBaselineDistance);
    o.openList("events", "События");
    for (std::size_t i = 0; i < mk.events.size(); ++i) {
        const PeakEvent& e = mk.events[i];
        o.open(nullptr, text::format("Событие %zu", i + 1));
        o.integer("kind", "Вид", e.kind);
        o.number("time", "Начать с, мин", e.time);
        o.number("value", "Дополнительный параметр", e.value);
        o.integer("flag", "Флаг", e.flag);
        o.close();
    }
    o.closeList();
    o.close();

    const CalculationSettings& k = m.calculation;
    o.open("calculation", "Расчёт");
    o.integer("kind", "Метод расчёта", k.kind);
    o.text("kindName", "Название метода расчёта", calculationKindName(k.kind));
    o.integer("response", "Отклик (0 высота, 1 площадь)", k.response);
    o.text("standard", "Стандарт", k.standard);
    o.integer("referenceIdentification", "Идентификация реперных по", k.referenceIdentification);
    o.flag("mainByDifference", "Вычислять основное вещество как 100 - примеси", k.mainByDifference);
    o.text("mainSubstance", "Основное вещество", k.mainSubstance);
    o.integer("identification", "Идентификация по", k.identification);
    o.number("deadTime", "Тм", k.deadTime);
    o.openList("components", "Компоненты");
    for (std::size_t i = 0; i < k.components.size(); ++i) {
        const MethodComponent& mc = k.components[i];
        o.open(nullptr, text::format("Компонент %zu", i + 1));
        o.text("name", "Название", mc.name);
        o.number("retentionTime", "Время, мин", mc.retentionTime);
        o.number("window", "Окно, %", mc.window);
        const double coefficients[4] = {mc.k0, mc.k1, mc.k2, mc.k3};
        o.numbers("k", "k0-k3", coefficients, 4);
        o.integer("curveType", "Вид градуировки", mc.curveType);
        o.number("standardFactor", "Коэффициент стандарта", mc.standardFactor);
        o.flag("manual", "Вручную", mc.manual);
        o.flag("reference", "Репер", mc.reference);
        o.number("retentionIndex", "Индекс", mc.retentionIndex);
        o.openList("points", "Точки градуировки");
        for (std::size_t p = 0; p < mc.points.size(); ++p) {
            const CalibrationPoint& pt = mc.points[p];
            o.open(nullptr, text::format("Точка %zu", p + 1));
            o.integer("dateTime", "Время записи, с с 1970", static_cast<long long>(pt.dateTime));
            o.text("date", "Дата", dateText(pt.dateTime));
            o.number("retentionTime", "Время, мин", pt.retentionTime);
            o.number("height", "Высота", pt.height);
            o.number("area", "Площадь", pt.area);
            o.number("coefficient", "Коэффициент", pt.coefficient);
            o.number("amount", "Количество", pt.amount);
            o.number("retentionIndex", "Индекс", pt.retentionIndex);
            o.close();
        }
        o.closeList();
        o.close();
    }
    o.closeList();
    o.close();

    const ReportSettings& r = m.report;
    o.open("report", "Отчёт");
    o.openList("sections", "Разделы");
    for (int i = 0; i < kReportSections; ++i) {
        o.open(nullptr, reportSectionName(i));
        o.text("name", "Раздел", reportSectionName(i));
        o.flag("on", "Печатать", r.sections[i]);
        o.close();
    }
    o.closeList();
    o.integer("chartSize", "Размер хроматограммы", r.chartSize);
    o.flag("labelNumber", "Метки: номер", r.labelNumber);
    o.flag("labelName", "Метки: название", r.labelName);
    o.flag("labelTime", "Метки: время выхода", r.labelTime);
    o.flag("groups", "Группы", r.groups);
    o.flag("calibration", "Калибровка", r.calibration);
    o.flag("autoGenerate", "Автоматически генерировать отчет", r.autoGenerate);
    o.flag("autoPrint", "Автоматически печатать отчет", r.autoPrint);
    o.flag("autoExport", "Автоматически экспортировать отчет", r.autoExport);
    o.integer("orientation", "Ориентация (0 горизонтально, 1 вертикально)", r.orientation);
    o.openList("calibrationComponents", "Калибровка компонентов");
    for (const auto& [name, print] : r.calibrationComponents) {
        o.open(nullptr, name);
        o.text("name", "Компонент", name);
        o.flag("print", "Печатать", print);
        o.close();
    }
    o.closeList();
    o.close();

    o.open("extra", "Доп. расчёт");
    o.integer("kind", "Вид", m.extra.kind);
    o.close();

    o.openList("groups", "Группы");
    for (const ComponentGroup& g : m.groups) {
        o.open(nullptr, g.component);
        o.text("component", "Пик", g.component);
        o.text("group", "Группа", g.group);
        o.close();
    }
    o.closeList();

    if (m.kalder)
        describeKalder(o, *m.kalder);
    if (m.ehd)
        describeEhd(o, *m.ehd);
}

int show(Args& args) {
    if (args.positional().size() != 2)
        return args.usageError("нужен один файл метода");
    const fs::path path = args.positional()[1];
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return failure("не удалось открыть файл \"" + path.string() + "\"");
    std::ostringstream buffer;
    buffer << in.rdbuf();
    Method m;
    const Result<int> version = readMethodFile(buffer.str(), m);
    if (!version)
        return failure(version.status(), "\"" + path.string() + "\": ");
    const std::string name = path.stem().string();
    if (args.flag("--json")) {
        JsonOut o;
        o.j.beginObject().field("name", name).field("version", *version);
        describe(o, m);
        o.j.endObject();
        std::fputs(o.j.str().c_str(), stdout);
        std::fputs("\n", stdout);
    } else {
        TextOut o;
        std::printf("Метод %s (версия файла %d)\n", name.c_str(), *version);
        describe(o, m);
        std::fputs(o.out.c_str(), stdout);
    }
    return kExitOk;
}

int create(Args& args) {
    if (args.positional().size() != 2)
        return args.usageError("нужно одно имя метода");
    const std::string name = args.positional()[1];
    if (!isValidMethodName(name))
        return failure("недопустимое имя метода \"" + name + "\"");
    const fs::path path = methodFilePath(name);
    std::error_code ec;
    if (fs::exists(path, ec) && !args.flag("--force"))
        return failure("метод \"" + name + "\" уже есть: " + path.string() +
                       " (--force заменит его)");
    CMethodSheet sheet;
    Status written;
    {
        WorkLogSession log;
        written = sheet.WriteMethod(name);
    }
    if (!written)
        return failure(written);
    std::printf("%s\n", path.c_str());
    return kExitOk;
}

int run(Args& args) {
    if (!args.parse({"--json", "--force"}, {}))
        return kExitUsage;
    if (args.positional().empty())
        return args.usageError("нужна подкоманда: show или new");
    const std::string& sub = args.positional()[0];
    if (sub == "show")
        return show(args);
    if (sub == "new")
        return create(args);
    return args.usageError("неизвестная подкоманда \"" + sub + "\"");
}

}  // namespace

extern const CliCommand kCommand_method = {
    "method", "показать файл метода, создать метод по умолчанию",
    "Использование:\n"
    "  zelmora-cli method show ФАЙЛ.mtd [--json]\n"
    "      Показывает весь метод: информацию, сбор данных, фильтрацию, авторазметку\n"
    "      с событиями, расчёт с компонентами и точками градуировки, отчёт, доп. расчёт,\n"
    "      группы и установки приборов, сохранённые в методе.\n"
    "  zelmora-cli method new ИМЯ [--force]\n"
    "      Записывает метод с настройками по умолчанию в папку методов (\"MethodPath\")\n"
    "      как ИМЯ.mtd. Существующий метод заменяется только с --force.\n"
    "  --json    вывод в формате JSON\n"
    "  --force   заменить существующий метод\n",
    run};

}  // namespace zelmora::cli
