#include "instruments/kalder_modules.h"

#include <array>
#include <bit>

#include "app/text.h"

namespace zelmora::kalder {
namespace {

float asFloat(std::uint32_t v) {
    return std::bit_cast<float>(v);
}
int asInt(std::uint32_t v) {
    return static_cast<int>(static_cast<std::int32_t>(v));
}

// Board, firmware and serial of any module, after its prefix.
std::string commonParam(const std::string& prefix, std::uint16_t number, std::uint32_t value,
                        bool* known) {
    *known = true;
    switch (number) {
        case kParamBoard:
            return text::format("%s Модификация платы. %d", prefix.c_str(), asInt(value));
        case kParamFirmware:
            return text::format("%s Версия прошивки. %4x", prefix.c_str(), value);
        case kParamSerial:
            return text::format("%s Серийный номер. %4x", prefix.c_str(), value);
        default:
            *known = false;
            return {};
    }
}

std::string lamps(std::uint32_t v) {
    // Bits 0-4 light the lamps, bits 8-12 make them blink.
    static const std::array<const char*, 5> kNames = {" Подготовка", " Готов", " Авария",
                                                      " Анализ1", " Анализ2"};
    std::string out;
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (v & (1u << i)) {
            out += kNames[i];
            if (v & (1u << (i + 8)))
                out += ":миг";
        }
    }
    return out;
}

std::string controlUnitParam(std::uint16_t n, std::uint32_t v) {
    const float f = asFloat(v);
    const int i = asInt(v);
    if (n >= 8 && n <= 12)
        return text::format("БУ:   Термостат колонок Т%d   %.2f", n - 7, f);
    if (n >= 16 && n <= 20)
        return text::format("БУ:   Время изотермы Т%d     %.2f", n - 15, f);
    if (n >= 24 && n <= 27)
        return text::format("БУ:   Скорость прогр. V%d%d   %.2f", n - 23, n - 22, f);
    if (n >= 33 && n <= 36)
        return text::format("БУ:   Температура зоны-%d    %.2f", n - 32, f);
    if (n >= 40 && n <= 44)
        return text::format("БУ:   Макс. температура зоны-%d   %.2f", n - 40, f);
    if (n >= 104 && n <= 159) {
        static const std::array<const char*, 7> kTerms = {"П", "И", "Д", "Те", "Тп", "??", "i-пер"};
        const int term = (n - 104) / 8;
        if (term != 5)
            return text::format("БУ:   ПИД Зона-%d       (%s)  %0.2f", (n - 104) % 8,
                                kTerms[static_cast<std::size_t>(term)], f);
    }
    if (n >= 176 && n <= 191)
        return text::format("БУ:   Стек %2d   %x", n - 176, v);
    if (n >= 192 && n <= 196)
        return text::format("БУ:   Калибровка температуры (зона-%d) %f", n - 192, f);
    if (n >= 202 && n <= 204)
        return text::format("БУ:   Калибровка температуры (зона-%d) %f", n - 197, f);
    if (n >= 208 && n <= 215)
        return text::format("БУ:   ПИД Зона-%d       (k220)   %0.2f", n - 208, f);
    if (n >= 300 && n <= 314)
        return text::format("БУ:   Буфер текста %2d", n - 300);
    if (n >= 320 && n <= 327)
        return text::format("БУ:   Название температурной зоны %d  %4x (%s)", n - 320, v,
                            zoneName(i).c_str());
    switch (n) {
        case 64:
            return text::format("БУ:   Дискретные каналы     %.6x", v);
        case 80:
            return text::format("БУ:   Светодиоды            %.6x", v) + lamps(v);
        case 96:
            return text::format("БУ:   Ошибки перегрева      %.6x", v);
        case 97:
            return text::format("БУ:   Ошибки КЗ ТСП         %.6x", v);
        case 98:
            return text::format("БУ:   Ошибки обрыва ТСП     %.6x", v);
        case 160:
            return text::format("БУ:   ПИД Зона-0     (i-прогр)  %0.2f", f);
        case 168:
            return text::format("БУ:   Контроль автономного включения   %d", i);
        case 169:
            return text::format("БУ:   Реле защиты               %d", i);
        case 170:
            return text::format("БУ:   Тип прибора               %d", i);
        case 171:
            return text::format("БУ:   Импульс открывания двери   %0.2f", f);
        case 172:
            return text::format("БУ:   Задержка открывания двери  %0.2f", f);
        case 173:
            return text::format("БУ:   Время работы               %x", v);
        case 174:
            return text::format("БУ:   Tкол<Тдет                  %x", v);
        case 197:
            return text::format("БУ:   Калибровка 220V %f", f);
        case 200:
            return text::format("БУ:   Номер методики  %d", i);
        case 201:
            return text::format("БУ:   Всего методик   %d", i);
        case 216:
            return text::format("БУ:   Режим работы обдувного вентилятора %d", i);
        case 316:
            return text::format("БУ:   Регистратор1 смещение   %0.2f", f);
        case 317:
            return text::format("БУ:   Регистратор1 коэффиц.   %0.2f", f);
        case 318:
            return text::format("БУ:   Регистратор2 смещение   %0.2f", f);
        case 319:
            return text::format("БУ:   Регистратор2 коэффиц.   %0.2f", f);
        case 8200:
            return text::format("БУ:   Команда начала/завершения анализа. %d", i);
        case 8240:
            return text::format("БУ:   Команда поджига. %0.2f сек.", f);
        case 8241:
            return text::format("БУ:   Счётчик переключений на внутренний кварц 200В %d", i);
        case kParamBoard:
            return text::format("БУ:   Модификация платы. %d", i);
        case kParamFirmware:
            return text::format("БУ:   Версия прошивки. %4x", v);
        case kParamSerial:
            return text::format("БУ:   Серийный номер. %4x", v);
        default:
            return text::format("БУ:   Параметр  %d %x", n, v);
    }
}

std::string flameParam(int m, std::uint16_t n, std::uint32_t v) {
    const float f = asFloat(v);
    switch (n) {
        case 1:
            return text::format("ИМТ%d: Тетемпература модуля          %.2f", m, f);
        case 2:
            return text::format("ИМТ%d: Фильтр - постоянная времени   %.2f", m, f);
        case 3:
            return text::format("ИМТ%d: Флаг включ. отриц. величин   %.2f", m, f);
        case 4:
            return text::format("ИМТ%d: Калибровка  %f", m, f);
        case 5:
            return text::format("ИМТ%d: Калибровочный коэффициент 1 %f", m, f);
        case 6:
            return text::format("ИМТ%d: Калибровочный коэффициент 2 %f", m, f);
        case 7:
            return text::format("ИМТ%d: Название детектора        %4x", m, v);
        default:
            break;
    }
    bool known = false;
    std::string s = commonParam(text::format("ИМТ%d:", m), n, v, &known);
    return known ? s : text::format("ИМТ%d: Параметр  %d %x", m, n, v);
}

std::string conductivityParam(int m, std::uint16_t n, std::uint32_t v) {
    const float f = asFloat(v);
    switch (n) {
        case 1:
            return text::format("ДТП%d: Напряжение моста задано       %.2f", m, f);
        case 2:
            return text::format("ДТП%d: Температура спирали измерено  %.2f", m, f);
        case 3:
            return text::format("ДТП%d: Ток моста измерено            %.4f", m, f);
        case 4:
            return text::format("ДТП%d: Температура спирали максимальная %.2f", m, f);
        case 5:
            return text::format("ДТП%d: Регистр статуса  %4x", m, v);
        case 6:
            return text::format("ДТП%d: Тип спирали  %4x", m, v);
        case 7:
            return text::format("ДТП%d: Баланс %f", m, f);
        case 10:
            return text::format("ДТП%d: Постоянная времени %f", m, f);
        case 12:
            return text::format("ДТП%d: R1 %f", m, f);
        case 13:
            return text::format("ДТП%d: R2 %f", m, f);
        case 14:
            return text::format("ДТП%d: Флаг аппаратного отключения баланса %4x", m, v);
        case 15:
            return text::format("ДТП%d: Команда сшивки диапазонов %2x", m, v);
        default:
            break;
    }
    bool known = false;
    std::string s = commonParam(text::format("ДТП%d:", m), n, v, &known);
    return known ? s : text::format("ДТП%d: Параметр  %d %x", m, n, v);
}

std::string valveParam(int cls, int index, std::uint16_t n, std::uint32_t v) {
    const int first = cls == kClassValves4 ? 4 * index + 1 : 2 * index + 1;
    const int last = cls == kClassValves4 ? 4 * index + 4 : 2 * index + 2;
    const std::string prefix = text::format("Крн%d%d:", first, last);
    bool known = false;
    std::string common = commonParam(prefix, n, v, &known);
    if (known)
        return common;
    const int valve = (n >> 12) & 3;
    const int p = n & 0xFFF;
    const float f = asFloat(v);
    const char* pre = prefix.c_str();
    switch (p) {
        case 1:
            return text::format("%s Доступность кранов            %02xh", pre, v);
        case 2:
            return text::format("%s Ошибки кранов                 %02xh", pre, v);
        case 3:
            return text::format("%s Биты неготовности             %02xh", pre, v);
        case 4:
            return text::format("%s Положение кранов              %02xh", pre, v);
        case 5:
            return text::format("%s Использовать термостат крана  %02xh", pre, v);
        case 6:
            return text::format("%s Ошибки перегрева кранов       %02xh", pre, v);
        case 10:
            return text::format("%s Зона-%1d  Температура задана     %.2f", pre, valve, f);
        case 11:
            return text::format("%s Зона-%1d  Температура измерена   %.2f", pre, valve, f);
        case 12:
            return text::format("%s Зона-%1d  Температура макс.      %.2f", pre, valve, f);
        case 13:
            return text::format("%s Кран-%1d  Ток переключения %.2f", pre, valve, f);
        case 14:
            return text::format("%s Кран-%1d  Тип крана - #%d", pre, valve, asInt(v));
        case 15:
            return text::format("%s Зона-%1d  ПИД (П)  %.2f", pre, valve, f);
        case 16:
            return text::format("%s Зона-%1d  ПИД (И)  %.2f", pre, valve, f);
        case 17:
            return text::format("%s Зона-%1d  ПИД (Д)  %.2f", pre, valve, f);
        case 18:
            return text::format("%s Зона-%1d  Мощность нагрева  %d", pre, valve, asInt(v));
        case 19:
            return text::format("%s Зона-%1d  Название  %4x (%s)", pre, valve, v,
                                zoneName(asInt(v)).c_str());
        case 20:
            return text::format("%s Зона-%1d  Команда калибровки  %d", pre, valve, asInt(v));
        default:
            return text::format("Крн%d%d: Параметр  %d %x", first, last, n, v);
    }
}

std::string gasParam(int cls, int index, std::uint16_t n, std::uint32_t v) {
    std::string common;
    bool known = false;
    if (cls == kClassGasPair)
        common = commonParam(text::format("ГН%d%d:", 2 * index + 1, 2 * index + 2), n, v, &known);
    else
        common = commonParam(text::format("ВВ-%d:", index + 1), n, v, &known);
    if (known)
        return common;
    const int second = (n >> 13) & 1;
    const int p = n & 0x1FFF;
    const std::string prefix = cls == kClassGasPair ? text::format("ГН-%d:", 2 * index + 1 + second)
                                                    : std::string(second ? "Возд:" : "Водр:");
    const char* pre = prefix.c_str();
    const float f = asFloat(v);
    switch (p) {
        case 1:
            return text::format("%s Расход               %.2f", pre, f);
        case 5:
            return text::format("%s Тип газа %s", pre, gasTypeName(v).c_str());
        case 6:
            return v == 0 ? text::format("%s Режим постоянного  ДАВЛЕНИЯ", pre)
                          : text::format("%s Режим постоянного  РАСХОДА", pre);
        case 10:
            return text::format("%s Флаг конфигурации    %x", pre, v);
        case 11:
            return text::format("%s Калибровка расхода   %.2f", pre, f);
        case 12:
            return text::format("%s Входного  давления   %.2f", pre, f);
        case 13:
            return text::format("%s Выходного давления   %.2f", pre, f);
        case 14:
            return text::format("%s Давление             %.2f", pre, f);
        case 15:
            return text::format("%s ПИ-регулятор (П)     %.2f", pre, f);
        case 16:
            return text::format("%s ПИ-регулятор (И)     %.2f", pre, f);
        case 17:
            return text::format("%s Тест ОС РПГ          %x", pre, v);
        default:
            return text::format("%s Параметр %d          %x", pre, n, v);
    }
}

}  // namespace

std::string moduleLongName(std::uint8_t address) {
    const int i = moduleIndex(address);
    switch (moduleClass(address)) {
        case kClassFlame:
            return text::format("Измеритель малых токов %d", i + 1);
        case kClassConductivity:
            return text::format("Детектор по теплопроводности %d", i + 1);
        case kClassGasPair:
            return text::format("Регулятор потока газов %d,%d", 2 * i + 1, 2 * i + 2);
        case kClassHydrogenAir:
            return text::format("Регулятор потока водорода и воздуха %d", i + 1);
        case kClassValves2:
            return text::format("Блок двух кранов %d", i + 1);
        case kClassValves4:
            return text::format("Блок четырёх кранов %d", i + 1);
        case kClassControlUnit:
            return "БУ";
        default:
            return text::format("Неизвестное устройство addr=%d", address);
    }
}

std::string moduleShortName(std::uint8_t address) {
    const int i = moduleIndex(address);
    switch (moduleClass(address)) {
        case kClassFlame:
            return text::format("ИМТ%d", i + 1);
        case kClassConductivity:
            return text::format("ДТП%d", i + 1);
        case kClassGasPair:
            return text::format("ГН%d%d", 2 * i + 1, 2 * i + 2);
        case kClassHydrogenAir:
            return text::format("ВВ%d", i + 1);
        case kClassValves2:
            return text::format("Крн%d%d", 2 * i + 1, 2 * i + 2);
        case kClassValves4:
            return text::format("Крн%d%d", 4 * i + 1, 4 * i + 4);
        case kClassControlUnit:
            return "БУ";
        default:
            return text::format("???%d", address);
    }
}

std::string moduleListingLine(std::uint32_t word, int tact) {
    const std::uint8_t a = wordAddress(word);
    const std::uint32_t s = wordSerial(word);
    const int i = moduleIndex(a);
    switch (moduleClass(a)) {
        case kClassFlame:
            return text::format("ИМТ-M%d serial=%06x tact=%d\r\n", i + 1, s, tact);
        case kClassConductivity:
            return text::format("ДТП-M%d serial=%06x tact=%d\r\n", i + 1, s, tact);
        case kClassGasPair:
            return text::format("РПГ-%d%d serial=%06x tact=%d\r\n", 2 * i + 1, 2 * i + 2, s, tact);
        case kClassHydrogenAir:
            return text::format("ВВ-%d serial=%06x tact=%d\r\n", i + 1, s, tact);
        case kClassValves2:
            return text::format("Крн-%d%d serial=%06x tact=%d\r\n", 2 * i + 1, 2 * i + 2, s, tact);
        case kClassValves4:
            return text::format("Кр4-%d%d serial=%06x tact=%d\r\n", 4 * i + 1, 4 * i + 4, s, tact);
        default:
            return text::format("??? addr=%2d serial=%06x tact=%d\r\n", a, s, tact);
    }
}

std::string compositionText(const std::vector<std::uint8_t>& addresses) {
    std::string out;
    for (std::uint8_t a : addresses) {
        if (!out.empty())
            out += ' ';
        out += moduleShortName(a);
    }
    return out;
}

std::string zoneName(int code) {
    if (code < 0)
        return text::format("Неизвестный-%d", code);
    const int group = code / 16;
    const int number = code % 16 + 1;
    switch (group) {
        case 0:
            return text::format("Зона %d", code);
        case 1:
            return "Колонки";
        case 2:
            return text::format("Испаритель-%d", number);
        case 3:
            return text::format("ПИД-%d", number);
        case 4:
            return text::format("ДТП-%d", number);
        case 5:
            return text::format("ЭЗД-%d", number);
        case 6:
            return text::format("ФИД-%d", number);
        case 7:
            return text::format("ТИД-%d", number);
        case 8:
            return text::format("ДРП-%d", number);
        case 9:
            return text::format("Метанатор-%d", number);
        case 10:
            return text::format("Кран-%d", number);
        case 11:
            return text::format("Другое-%d", number);
        case 12:
            return text::format("ПФД-%d", number);
        case 13:
            return text::format("Десорбер-%d", number);
        case 129:
            return "Выкл";
        case 131:
            return text::format("Детектор-%d", number);
        default:
            return text::format("Неизвестный-%d", number);
    }
}

int defaultZoneCode(int zone) {
    static constexpr std::array<int, 5> kCodes = {16, 32, 2096, 33, 2097};
    if (zone >= 0 && zone < 5)
        return kCodes[static_cast<std::size_t>(zone)];
    return 2064;
}

const std::vector<std::string>& zoneShortNames() {
    static const std::vector<std::string> kNames = {
        "Зона",     "Испаритель", "ПИД",       "ДТП",      "ЭЗД",        "ФИД",
        "ТИД",      "ДРП",        "Метанатор", "Кран",     "Другое",     "ПФД",
        "Десорбер", "Колонки",    "Выкл",      "Детектор", "Неизвестный"};
    return kNames;
}

std::string gasTypeName(std::uint32_t value) {
    static constexpr std::array<const char*, 5> kGases = {"Азот", "Гелий", "Аргон", "Водород",
                                                          "Воздух"};
    return value < kGases.size() ? kGases[value] : "Unknown";
}

std::string describeParam(std::uint8_t address, std::uint16_t number, std::uint32_t value) {
    address &= 0x7F;
    number &= 0x3FFF;
    const int cls = moduleClass(address);
    const int index = moduleIndex(address);
    switch (cls) {
        case kClassControlUnit:
            return controlUnitParam(number, value);
        case kClassFlame:
            return flameParam(index + 1, number, value);
        case kClassConductivity:
            return conductivityParam(index + 1, number, value);
        case kClassValves2:
        case kClassValves4:
            return valveParam(cls, index, number, value);
        case kClassGasPair:
        case kClassHydrogenAir:
            return gasParam(cls, index, number, value);
        default:
            return text::format("Параметр %d:%d %x", address, number, value);
    }
}

std::vector<std::uint16_t> identificationParams(std::uint8_t address) {
    std::vector<std::uint16_t> out;
    switch (moduleClass(address)) {
        case kClassControlUnit:
            out.push_back(kParamDeviceType);
            for (int k = 0; k < kStackSize; ++k)
                out.push_back(static_cast<std::uint16_t>(kParamStack + k));
            for (int z = 0; z < 5; ++z)
                out.push_back(static_cast<std::uint16_t>(kParamZoneName + z));
            out.push_back(kParamFirmware);
            break;
        case kClassFlame:
            out.push_back(3);
            break;
        case kClassValves2:
        case kClassValves4:
            for (std::uint16_t p : {1, 10, 12, 14, 15, 16, 17, 19}) {
                out.push_back(p);
                out.push_back(static_cast<std::uint16_t>(p | 0x2000));
            }
            if (moduleClass(address) == kClassValves4)
                out.push_back(kParamBoard);
            break;
        default:
            break;
    }
    return out;
}

bool inIdentificationSet(std::uint8_t address, std::uint16_t number) {
    for (std::uint16_t p : identificationParams(address))
        if (p == number)
            return true;
    return false;
}

bool inExtendedSet(std::uint8_t address, std::uint16_t n) {
    const int cls = moduleClass(address);
    switch (cls) {
        case kClassControlUnit:
            return (n >= 104 && n <= 160) || (n >= 170 && n <= 172) || (n >= 208 && n <= 212);
        case kClassGasPair:
        case kClassHydrogenAir:
            return (n >= 15 && n <= 17) || (n >= 8207 && n <= 8209);
        case kClassConductivity:
            return n == 6;
        case kClassFlame:
            return n == 5 || n == 6;
        case kClassValves2:
        case kClassValves4:
            return n == 14 || n == 8206 || n == kParamFirmware ||
                   (cls == kClassValves4 && (n == 4110 || n == 12302));
        default:
            return false;
    }
}

std::uint32_t newSerialNumber(std::int64_t unixSeconds, std::uint32_t lastGiven) {
    constexpr std::int64_t k2004 = 1072915200;  // 1 January 2004, 00:00 UTC
    const std::int64_t tens = unixSeconds > k2004 ? (unixSeconds - k2004) / 10 : 0;
    std::uint32_t v = static_cast<std::uint32_t>(tens) & 0xFFFFFF;
    if (v < 11)
        v = 11;
    if (v <= lastGiven)
        v = lastGiven + 1;
    if (v == 11095900)
        ++v;
    return v & 0xFFFFFF;
}

}  // namespace zelmora::kalder
