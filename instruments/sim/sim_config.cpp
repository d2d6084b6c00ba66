#include "instruments/sim/sim_config.h"

#include <cmath>

#include "app/text.h"
#include "instruments/wire/ehd_frame.h"

namespace zelmora::sim {

std::optional<Instrument> parseInstrument(std::string_view name) {
    if (text::equalsNoCase(name, "ostrel"))
        return Instrument::Ostrel;
    if (text::equalsNoCase(name, "kd") || text::equalsNoCase(name, "kd-adc") ||
        text::equalsNoCase(name, "КД+АЦП"))
        return Instrument::DetectorAdc;
    if (text::equalsNoCase(name, "fluorat") || text::equalsNoCase(name, "Флюорат"))
        return Instrument::Fluorat;
    if (text::equalsNoCase(name, "varsel"))
        return Instrument::Varsel;
    if (text::equalsNoCase(name, "ehd") || text::equalsNoCase(name, "ЭХД"))
        return Instrument::Ehd;
    return std::nullopt;
}

const char* instrumentName(Instrument i) {
    switch (i) {
        case Instrument::Ostrel:
            return "ostrel";
        case Instrument::DetectorAdc:
            return "kd";
        case Instrument::Fluorat:
            return "fluorat";
        case Instrument::Varsel:
            return "varsel";
        case Instrument::Ehd:
            return "ehd";
    }
    return "?";
}

double instrumentFrameRate(Instrument i) {
    switch (i) {
        case Instrument::Fluorat:
            return 4.0;
        case Instrument::Ehd:
            return wire::kEhdSampleRate;
        default:
            return 10.0;
    }
}

int instrumentChannels(Instrument i) {
    return i == Instrument::Ostrel || i == Instrument::DetectorAdc ? 2 : 1;
}

double SyntheticSignal::valueAt(double t) const {
    double v = baseline + rampPerSecond * t;
    for (const SimPeak& p : peaks) {
        if (p.sigmaSeconds <= 0)
            continue;
        const double z = (t - p.centreSeconds) / p.sigmaSeconds;
        v += p.height * std::exp(-0.5 * z * z);
    }
    return v;
}

bool Fault::appliesTo(std::uint64_t n) const {
    if (n < frame)
        return false;
    return every == 0 ? n == frame : (n - frame) % every == 0;
}

const SyntheticSignal& SimConfig::signal(int channel) const {
    static const SyntheticSignal kFlat;
    if (signals.empty())
        return kFlat;
    const auto i = static_cast<std::size_t>(channel);
    return i < signals.size() ? signals[i] : signals.front();
}

SyntheticSignal defaultSignal(Instrument i) {
    SyntheticSignal s;
    s.baseline = i == Instrument::Fluorat ? 20 : 0.5;
    s.peaks = {{30, 50, 3}, {60, 120, 4}, {100, 80, 6}};
    return s;
}

const char* const kSimUsage =
    "Использование: zelmora-sim MODE [параметры]\n"
    "Открывает псевдотерминал, печатает его путь и передаёт кадры прибора.\n"
    "MODE: ostrel | kd | fluorat | varsel | ehd | kalder (zelmora-sim kalder --help)\n"
    "      | pelvio (zelmora-sim pelvio --help) | ht300 (zelmora-sim ht300 --help)\n"
    "  --speed X             ускорение частоты кадров (1 = как у прибора)\n"
    "  --frames N            остановиться после N кадров\n"
    "  --channel C           следующие --peak/--baseline/--ramp относятся к каналу C (1, 2)\n"
    "  --baseline V          нулевая линия, мВ\n"
    "  --ramp V              наклон, мВ/с\n"
    "  --peak T:H:S          пик: центр T с, высота H, сигма S с (повторяется)\n"
    "  --button C@N[:K]      кнопка старта канала C на кадре N, K кадров (Varsel: смена "
    "состояния)\n"
    "  --range C@N:1|0       Ostrel: канал C на чувствительном (1) или обычном (0) диапазоне\n"
    "  --fault KIND@N[:A]    неисправность на кадре N; KIND/P[:A] - каждый P-й кадр\n"
    "                        KIND: bad-check, split (A мс паузы), garbage (A байт),\n"
    "                        silence (A мс тишины)\n"
    "  --wait-start          Флюорат: молчать до получения CR\n"
    "  --run-frames N        Флюорат: после CR передать N кадров и замолчать\n"
    "  --wavelength NM --division K   Varsel: текущие установки\n"
    "  --seed N              начальное число для мусора\n";

namespace {

bool parseU64(std::string_view s, std::uint64_t& out) {
    const auto v = text::parseInt(s);
    if (!v || *v < 0)
        return false;
    out = static_cast<std::uint64_t>(*v);
    return true;
}

// "C@N[:K]" with C counted from 1.
bool parseAt(std::string_view s, int& channel, std::uint64_t& frame, std::string_view& rest) {
    const auto at = s.find('@');
    if (at == std::string_view::npos)
        return false;
    const auto c = text::parseInt(s.substr(0, at));
    if (!c || *c < 1 || *c > 2)
        return false;
    channel = static_cast<int>(*c) - 1;
    std::string_view tail = s.substr(at + 1);
    const auto colon = tail.find(':');
    rest = colon == std::string_view::npos ? std::string_view{} : tail.substr(colon + 1);
    return parseU64(tail.substr(0, colon), frame);
}

}  // namespace

bool parseFaultSpec(std::string_view s, Fault& f) {
    const auto sep = s.find_first_of("@/");
    if (sep == std::string_view::npos)
        return false;
    const std::string_view kind = s.substr(0, sep);
    if (kind == "bad-check")
        f.kind = FaultKind::BadCheck;
    else if (kind == "split")
        f.kind = FaultKind::Split;
    else if (kind == "garbage")
        f.kind = FaultKind::Garbage;
    else if (kind == "silence")
        f.kind = FaultKind::Silence;
    else
        return false;
    std::string_view tail = s.substr(sep + 1);
    const auto colon = tail.find(':');
    std::uint64_t n = 0;
    if (!parseU64(tail.substr(0, colon), n))
        return false;
    if (s[sep] == '@') {
        f.frame = n;
        f.every = 0;
    } else {
        if (n == 0)
            return false;
        f.frame = n;
        f.every = n;
    }
    f.arg = f.kind == FaultKind::Garbage ? 16 : f.kind == FaultKind::Split ? 5 : 1000;
    if (colon != std::string_view::npos && !parseU64(tail.substr(colon + 1), f.arg))
        return false;
    return true;
}

bool parseSimArgs(const std::vector<std::string>& args, SimConfig& c, std::string* error) {
    auto fail = [&](const std::string& m) {
        if (error)
            *error = m;
        return false;
    };
    if (args.empty())
        return fail("не указан прибор");
    const auto inst = parseInstrument(args[0]);
    if (!inst)
        return fail("неизвестный прибор: " + args[0]);
    c.instrument = *inst;
    std::vector<SyntheticSignal> signals(2);
    std::vector<bool> custom(2, false);
    int current = 0;
    auto sig = [&]() -> SyntheticSignal& {
        if (!custom[static_cast<std::size_t>(current)]) {
            custom[static_cast<std::size_t>(current)] = true;
            signals[static_cast<std::size_t>(current)] = {};
        }
        return signals[static_cast<std::size_t>(current)];
    };
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size())
                return std::nullopt;
            return args[++i];
        };
        if (a == "--wait-start") {
            c.waitForStartKey = true;
            continue;
        }
        const auto v = value();
        if (!v)
            return fail("нет значения у " + a);
        if (a == "--speed") {
            const auto d = text::parseDouble(*v);
            if (!d || *d <= 0 || *d > 100000)
                return fail("неверное ускорение: " + *v);
            c.speed = *d;
        } else if (a == "--frames") {
            if (!parseU64(*v, c.frameLimit))
                return fail("неверное число кадров: " + *v);
        } else if (a == "--channel") {
            const auto n = text::parseInt(*v);
            if (!n || *n < 1 || *n > 2)
                return fail("неверный канал: " + *v);
            current = static_cast<int>(*n) - 1;
        } else if (a == "--baseline" || a == "--ramp") {
            const auto d = text::parseDouble(*v);
            if (!d)
                return fail("неверное число: " + *v);
            (a == "--baseline" ? sig().baseline : sig().rampPerSecond) = *d;
        } else if (a == "--peak") {
            SimPeak p;
            const auto c1 = v->find(':');
            const auto c2 = c1 == std::string::npos ? c1 : v->find(':', c1 + 1);
            if (c2 == std::string::npos)
                return fail("пик задаётся как T:H:S: " + *v);
            const auto t = text::parseDouble(v->substr(0, c1));
            const auto h = text::parseDouble(v->substr(c1 + 1, c2 - c1 - 1));
            const auto s = text::parseDouble(v->substr(c2 + 1));
            if (!t || !h || !s || *s <= 0)
                return fail("неверный пик: " + *v);
            p = {*t, *h, *s};
            sig().peaks.push_back(p);
        } else if (a == "--button") {
            ButtonPress b;
            std::string_view rest;
            if (!parseAt(*v, b.channel, b.frame, rest) ||
                (!rest.empty() && (!parseU64(rest, b.holdFrames) || b.holdFrames == 0)))
                return fail("неверная кнопка: " + *v);
            c.buttons.push_back(b);
        } else if (a == "--range") {
            RangeChange r;
            std::string_view rest;
            if (!parseAt(*v, r.channel, r.frame, rest) || (rest != "0" && rest != "1"))
                return fail("неверный диапазон: " + *v);
            r.high = rest == "1";
            c.ranges.push_back(r);
        } else if (a == "--fault") {
            Fault f;
            if (!parseFaultSpec(*v, f))
                return fail("неверная неисправность: " + *v);
            c.faults.push_back(f);
        } else if (a == "--run-frames") {
            if (!parseU64(*v, c.runFrames))
                return fail("неверное число кадров: " + *v);
        } else if (a == "--wavelength" || a == "--division") {
            const auto n = text::parseInt(*v);
            if (!n || *n < 1 || *n > 65535)
                return fail("неверное значение: " + *v);
            (a == "--wavelength" ? c.wavelength : c.division) = static_cast<int>(*n);
        } else if (a == "--seed") {
            std::uint64_t s = 0;
            if (!parseU64(*v, s))
                return fail("неверное начальное число: " + *v);
            c.seed = static_cast<std::uint32_t>(s);
        } else {
            return fail("неизвестный параметр: " + a);
        }
    }
    c.signals.clear();
    for (int ch = 0; ch < instrumentChannels(c.instrument); ++ch) {
        const auto i = static_cast<std::size_t>(ch);
        if (custom[i])
            c.signals.push_back(signals[i]);
        else if (ch > 0 && custom[0])
            c.signals.push_back(signals[0]);
        else
            c.signals.push_back(defaultSignal(c.instrument));
    }
    return true;
}

}  // namespace zelmora::sim
