// The options of "zelmora-sim kalder".

#include <algorithm>

#include "app/text.h"
#include "instruments/kalder_modules.h"
#include "instruments/sim/kalder_model.h"

namespace zelmora::sim {

const char* const kKalderSimUsage =
    "Использование: zelmora-sim kalder [параметры]\n"
    "Хроматограф Калдер на псевдотерминале: пакеты состояния 5 раз в секунду,\n"
    "ответы модулей на запросы параметров, шина Plug-and-Play (адрес 40).\n"
    "  --speed X              ускорение частоты пакетов\n"
    "  --frames N             остановиться после N пакетов\n"
    "  --baud 19200|9600      скорость линии прибора\n"
    "  --module K:I:SERIAL[:T] модуль класса K с индексом I, серийный номер (hex),\n"
    "                         отвечает на опрос T (повторяется; заменяет состав по умолчанию)\n"
    "  --virtual SERIAL:T     модуль, который отзывается на опрос T, но не подтверждает слово\n"
    "  --mute SERIAL          модуль не отвечает на запросы параметров\n"
    "  --stack on|off         стек адресов БУ заполнен составом (по умолчанию on)\n"
    "  --no-bus               нет службы шины (адрес 40)\n"
    "  --cpu-serial HEX       серийный номер БУ\n"
    "  --channel C            следующие --baseline/--ramp/--peak для детектора C (1-4)\n"
    "  --baseline V --ramp V --peak T:H:S   сигнал детектора, мВ и секунды\n"
    "  --data-every N         каждый N-й пакет - пакет данных (тип 3)\n"
    "  --short-every N        после каждого N-го пакета - короткий пакет состояния (тип 4)\n"
    "  --answer-packets       ответы отдельными пакетами (тип 2)\n"
    "  --fault KIND@N[:A]     неисправность линии (как у других приборов)\n"
    "  --seed N               начальное число для мусора\n"
    "Физика прибора (выход на режим):\n"
    "  --cold                 холодный старт: зоны греются, газы выходят на заданные,\n"
    "                         пламя зажигается импульсом поджига, анализ идёт по программе\n"
    "  --ambient T --heat-rate K   начальная температура, °C, и скорость нагрева, 1/с\n"
    "  --mains V              напряжение сети, В\n"
    "  --flame-fails          пламя не зажигается\n"
    "  --flame-out S          пламя гаснет на S-й секунде\n"
    "  --cold-zone Z          зона Z не греется\n"
    "  --frozen-zone Z[:S]    показания зоны Z застывают (с S-й секунды)\n"
    "  --gas-stuck N          газовый канал N (0-11) не выходит на заданное\n"
    "  --err-byte HEX[:S]     байт ошибок прибора (с S-й секунды)\n"
    "  --err-word N:HEX       слово ошибок БУ 96, 97 или 98\n";

namespace {

std::optional<std::uint32_t> parseHex(std::string_view s) {
    s = text::trim(s);
    if (s.empty() || s.size() > 8)
        return std::nullopt;
    std::uint32_t v = 0;
    for (char c : s) {
        int d = -1;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        if (d < 0)
            return std::nullopt;
        v = (v << 4) | static_cast<std::uint32_t>(d);
    }
    return v;
}

std::vector<std::string_view> split(std::string_view s) {
    std::vector<std::string_view> out;
    for (;;) {
        const auto c = s.find(':');
        out.push_back(s.substr(0, c));
        if (c == std::string_view::npos)
            return out;
        s = s.substr(c + 1);
    }
}

KalderSimModule makeModule(int cls, int index, std::uint32_t serial, int slot) {
    KalderSimModule m;
    m.address = kalder::moduleAddress(cls, index);
    m.serial = serial & 0xFFFFFF;
    m.pollSlot = slot;
    m.params[kalder::kParamBoard] = 2;
    m.params[kalder::kParamFirmware] = 0x0105;
    m.params[kalder::kParamSerial] = m.serial;
    for (std::uint16_t p : kalder::identificationParams(m.address))
        m.params.emplace(p, 0);
    return m;
}

bool isPhysicsOption(const std::string& a) {
    return a == "--ambient" || a == "--heat-rate" || a == "--mains" || a == "--flame-out" ||
           a == "--cold-zone" || a == "--frozen-zone" || a == "--gas-stuck" || a == "--err-byte" ||
           a == "--err-word";
}

// One option of the instrument's physics with its value.
bool parsePhysicsOption(const std::string& a, const std::string& v, KalderPhysics& ph,
                        std::string* error) {
    auto bad = [&](const std::string& m) {
        if (error)
            *error = m;
        return false;
    };
    if (a == "--ambient" || a == "--heat-rate" || a == "--mains" || a == "--flame-out") {
        const auto d = text::parseDouble(v);
        if (!d || *d < 0 || *d > 1e6)
            return bad("неверное значение " + a + ": " + v);
        ph.on = true;
        if (a == "--ambient")
            ph.ambient = *d;
        else if (a == "--heat-rate")
            ph.heatRate = *d;
        else if (a == "--mains")
            ph.mains = *d;
        else
            ph.flameOutAt = *d;
    } else if (a == "--cold-zone" || a == "--frozen-zone" || a == "--gas-stuck") {
        const auto f = split(v);
        const auto n = text::parseInt(f[0]);
        const int limit = a == "--gas-stuck" ? 11 : 7;
        if (!n || *n < 0 || *n > limit)
            return bad("неверный номер " + a + ": " + v);
        ph.on = true;
        if (a == "--cold-zone") {
            ph.coldZone = static_cast<int>(*n);
        } else if (a == "--gas-stuck") {
            ph.stuckGas = static_cast<int>(*n);
        } else {
            ph.frozenZone = static_cast<int>(*n);
            if (f.size() > 1) {
                const auto at = text::parseDouble(f[1]);
                if (!at || *at < 0)
                    return bad("неверное время " + a + ": " + v);
                ph.frozenAt = *at;
            }
        }
    } else if (a == "--err-byte") {
        const auto f = split(v);
        const auto b = parseHex(f[0]);
        if (!b || *b > 0xFF)
            return bad("неверный байт ошибок: " + v);
        ph.on = true;
        ph.errByte = static_cast<std::uint8_t>(*b);
        if (f.size() > 1) {
            const auto at = text::parseDouble(f[1]);
            if (!at || *at < 0)
                return bad("неверное время " + a + ": " + v);
            ph.errAt = *at;
        }
    } else if (a == "--err-word") {
        const auto f = split(v);
        const auto n = f.size() == 2 ? text::parseInt(f[0]) : std::nullopt;
        const auto w = f.size() == 2 ? parseHex(f[1]) : std::nullopt;
        if (!n || !w || *n < 96 || *n > 98)
            return bad("слово ошибок 96, 97 или 98: " + v);
        ph.on = true;
        ph.errWords[static_cast<std::size_t>(*n - 96)] = *w;
    }
    return true;
}

}  // namespace

bool parseKalderArgs(const std::vector<std::string>& args, KalderSimConfig& c, std::string* error) {
    auto fail = [&](const std::string& m) {
        if (error)
            *error = m;
        return false;
    };
    c = defaultKalderConfig();
    std::vector<KalderSimModule> modules;
    bool customModules = false;
    bool stackOn = true;
    std::vector<SyntheticSignal> signals(4);
    std::vector<bool> custom(4, false);
    int current = 0;
    auto sig = [&]() -> SyntheticSignal& {
        const auto i = static_cast<std::size_t>(current);
        if (!custom[i]) {
            custom[i] = true;
            signals[i] = {};
        }
        return signals[i];
    };
    std::size_t i = args.empty() || args[0] != "kalder" ? 0 : 1;
    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--no-bus") {
            c.busService = false;
            continue;
        }
        if (a == "--answer-packets") {
            c.answerPackets = true;
            continue;
        }
        if (a == "--cold") {
            c.physics.on = true;
            continue;
        }
        if (a == "--flame-fails") {
            c.physics.on = true;
            c.physics.flameFails = true;
            continue;
        }
        if (i + 1 >= args.size())
            return fail("нет значения у " + a);
        const std::string v = args[++i];
        if (isPhysicsOption(a)) {
            if (!parsePhysicsOption(a, v, c.physics, error))
                return false;
            c.physics.on = true;
            continue;
        }
        if (a == "--speed") {
            const auto d = text::parseDouble(v);
            if (!d || *d <= 0 || *d > 1000)
                return fail("неверное ускорение: " + v);
            c.speed = *d;
        } else if (a == "--frames" || a == "--data-every" || a == "--short-every" ||
                   a == "--seed") {
            const auto n = text::parseInt(v);
            if (!n || *n < 0)
                return fail("неверное число: " + v);
            const auto u = static_cast<std::uint64_t>(*n);
            if (a == "--frames")
                c.frameLimit = u;
            else if (a == "--data-every")
                c.dataEvery = u;
            else if (a == "--short-every")
                c.shortStatusEvery = u;
            else
                c.seed = static_cast<std::uint32_t>(u);
        } else if (a == "--baud") {
            if (v != "19200" && v != "9600")
                return fail("скорость 19200 или 9600: " + v);
            c.baud = v == "9600" ? 9600 : 19200;
        } else if (a == "--module") {
            const auto f = split(v);
            const auto cls = f.size() >= 3 ? text::parseInt(f[0]) : std::nullopt;
            const auto idx = f.size() >= 3 ? text::parseInt(f[1]) : std::nullopt;
            const auto serial = f.size() >= 3 ? parseHex(f[2]) : std::nullopt;
            const auto slot =
                f.size() >= 4
                    ? text::parseInt(f[3])
                    : std::optional<long long>(3 + 5 * static_cast<long long>(modules.size()));
            if (f.size() > 4 || !cls || !idx || !serial || !slot || *cls < 1 || *cls > 30 ||
                *idx < 0 || *idx > 3 || *slot < 0 || *slot > 10000)
                return fail("модуль задаётся как K:I:SERIAL[:T]: " + v);
            modules.push_back(makeModule(static_cast<int>(*cls), static_cast<int>(*idx), *serial,
                                         static_cast<int>(*slot)));
            customModules = true;
        } else if (a == "--virtual") {
            const auto f = split(v);
            const auto serial = f.size() == 2 ? parseHex(f[0]) : std::nullopt;
            const auto slot = f.size() == 2 ? text::parseInt(f[1]) : std::nullopt;
            if (!serial || !slot || *slot < 0 || *slot > 10000)
                return fail("виртуальный модуль задаётся как SERIAL:T: " + v);
            KalderSimModule m =
                makeModule(kalder::kClassFlame, 3, *serial, static_cast<int>(*slot));
            m.confirms = false;
            modules.push_back(m);
            customModules = true;
        } else if (a == "--mute") {
            const auto serial = parseHex(v);
            if (!serial)
                return fail("неверный серийный номер: " + v);
            bool found = false;
            for (auto* list : {&modules, &c.modules})
                for (auto& m : *list)
                    if (m.serial == (*serial & 0xFFFFFF)) {
                        m.answers = false;
                        found = true;
                    }
            if (!found)
                return fail("нет модуля с номером " + v + " (задайте --module раньше)");
        } else if (a == "--stack") {
            if (v != "on" && v != "off")
                return fail("--stack on или off: " + v);
            stackOn = v == "on";
        } else if (a == "--cpu-serial") {
            const auto s = parseHex(v);
            if (!s)
                return fail("неверный серийный номер: " + v);
            c.cpuSerial = *s;
        } else if (a == "--channel") {
            const auto n = text::parseInt(v);
            if (!n || *n < 1 || *n > 4)
                return fail("неверный канал: " + v);
            current = static_cast<int>(*n) - 1;
        } else if (a == "--baseline" || a == "--ramp") {
            const auto d = text::parseDouble(v);
            if (!d)
                return fail("неверное число: " + v);
            (a == "--baseline" ? sig().baseline : sig().rampPerSecond) = *d;
        } else if (a == "--peak") {
            const auto f = split(v);
            const auto t = f.size() == 3 ? text::parseDouble(f[0]) : std::nullopt;
            const auto h = f.size() == 3 ? text::parseDouble(f[1]) : std::nullopt;
            const auto s = f.size() == 3 ? text::parseDouble(f[2]) : std::nullopt;
            if (!t || !h || !s || *s <= 0)
                return fail("пик задаётся как T:H:S: " + v);
            sig().peaks.push_back({*t, *h, *s});
        } else if (a == "--fault") {
            Fault f;
            if (!parseFaultSpec(v, f))
                return fail("неверная неисправность: " + v);
            c.faults.push_back(f);
        } else {
            return fail("неизвестный параметр: " + a);
        }
    }
    if (customModules)
        c.modules = modules;
    c.stack = {};
    if (stackOn) {
        std::size_t k = 0;
        for (const auto& m : c.modules)
            if (m.confirms && k < c.stack.size())
                c.stack[k++] = m.address;
    }
    if (std::any_of(custom.begin(), custom.end(), [](bool b) { return b; })) {
        c.signals.clear();
        for (std::size_t ch = 0; ch < 4; ++ch)
            c.signals.push_back(custom[ch] ? signals[ch]
                                           : (custom[0] ? signals[0] : SyntheticSignal{}));
    }
    return true;
}

}  // namespace zelmora::sim
