#include "instruments/sim/ht300_model.h"

#include <charconv>

namespace zelmora::sim {

const char* const kHt300SimUsage =
    "Использование: zelmora-sim ht300 [параметры]\n"
    "Дозатор HT300 на псевдотерминале: отвечает на каждую команду, дозирует по запросу.\n"
    "  --tray CODE       код лотка в ответе на команду 17: 16 (10 виал), 64 (40), 153 (110);\n"
    "                    по умолчанию 64\n"
    "  --syringe CODE    код шприца: 0 1, 1 5, 2 10, 3 20, 4 50, 5 100, 6 250, 7 500 мкл;\n"
    "                    по умолчанию 2\n"
    "  --id TEXT         пять символов идентификации (по умолчанию HT300)\n"
    "  --fault KIND@N[/P]  сбой на запросе N (с 0), повтор через P запросов;\n"
    "  --fault KIND@cC:N[/P]  то же среди запросов команды C (с 0)\n"
    "                    KIND: noanswer (нет ответа), badcheck (неверная контрольная сумма),\n"
    "                    short (укороченный ответ), refuse (команду невозможно выполнить;\n"
    "                    запросы состояния выполняются)\n"
    "  --limit N         остановиться после N запросов\n";

bool Ht300Fault::appliesTo(std::uint64_t n) const {
    if (n < request)
        return false;
    if (every == 0)
        return n == request;
    return (n - request) % every == 0;
}

Ht300Model::Ht300Model(Ht300SimConfig config) : config_(std::move(config)) {}

void Ht300Model::advance() {
    if (script_.empty())
        return;
    mode_ = script_.front();
    script_.erase(script_.begin());
}

std::string Ht300Model::answer(const Ht300Request& r) {
    std::vector<std::uint8_t> data;
    int error = 0;
    switch (r.command) {
        case 3: {
            data = {1, 0};
            std::string id = config_.identification;
            id.resize(5, ' ');
            data.insert(data.end(), id.begin(), id.end());
            break;
        }
        case 17:
            data = {0, 0, static_cast<std::uint8_t>(config_.syringeCode), 0, 0, 0,
                    0, 0, static_cast<std::uint8_t>(config_.trayCode)};
            if (config_.trayAnswerBytes < data.size())
                data.resize(config_.trayAnswerBytes);
            break;
        case 5:
            advance();
            break;
        case 6:
            if (r.data.size() != 5) {
                error = 16;
                break;
            }
            lastVial_ = r.data[1];
            mode_ = 1;
            script_ = {1, 15};
            break;
        case 7:
            if (r.data.size() != 6)
                error = 16;
            else
                farInjector_ = r.data[0] != 0;
            break;
        case 4:
            if (mode_ != 15) {
                error = 4;  // nothing drawn to inject
                break;
            }
            ++injections_;
            mode_ = farInjector_ ? 17 : 16;
            script_ = {farInjector_ ? 17 : 16, 18, 19, 0};
            break;
        case 19:
            if (r.data.size() != 29)
                error = 16;
            break;
        case 11:
            if (r.data.size() != 4)
                error = 16;
            break;
        case 1:
            script_.clear();
            mode_ = 0;
            break;
        case 2:
        case 10:
            break;
        default:
            error = 8;
            break;
    }
    return wire::buildHt300Answer(r.command, error, mode_, 0, data);
}

std::string Ht300Model::receive(const std::uint8_t* bytes, std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        const auto e = parser_.feed(bytes[i]);
        if (e == wire::Ht300RequestParser::Event::None)
            continue;
        const std::uint64_t n = requestCount_++;
        if (e == wire::Ht300RequestParser::Event::Bad) {
            ++badRequests_;
            out += wire::buildHt300Answer(0, 1, mode_, 0);
            continue;
        }
        Ht300Request r{parser_.answer().command, parser_.answer().data};
        requests_.push_back(r);
        const std::uint64_t k = perCommand_[r.command & 0xFF]++;
        const Ht300Fault* fault = nullptr;
        for (const Ht300Fault& f : config_.faults)
            if (f.command < 0 ? f.appliesTo(n) : f.command == r.command && f.appliesTo(k))
                fault = &f;
        if (fault != nullptr && fault->kind == Ht300FaultKind::NoAnswer) {
            // The request is lost: the sampler never read it.
            ++faultsApplied_;
            continue;
        }
        if (fault != nullptr && fault->kind == Ht300FaultKind::Refuse && r.command != 5) {
            ++faultsApplied_;
            out += wire::buildHt300Answer(r.command, 4, mode_, 0);
            continue;
        }
        std::string a = answer(r);
        if (fault != nullptr && fault->kind == Ht300FaultKind::BadCheck) {
            ++faultsApplied_;
            char& c = a[a.size() - 3];
            c = c == '0' ? '1' : '0';
        } else if (fault != nullptr && fault->kind == Ht300FaultKind::Short) {
            ++faultsApplied_;
            a = a.substr(0, a.size() - 6) + "\r\n";
        }
        out += a;
    }
    return out;
}

bool parseHt300Fault(std::string_view s, Ht300Fault& f) {
    const auto at = s.find('@');
    if (at == std::string_view::npos)
        return false;
    const std::string_view kind = s.substr(0, at);
    if (kind == "noanswer")
        f.kind = Ht300FaultKind::NoAnswer;
    else if (kind == "badcheck")
        f.kind = Ht300FaultKind::BadCheck;
    else if (kind == "short")
        f.kind = Ht300FaultKind::Short;
    else if (kind == "refuse")
        f.kind = Ht300FaultKind::Refuse;
    else
        return false;
    std::string_view rest = s.substr(at + 1);
    f.command = -1;
    if (!rest.empty() && rest[0] == 'c') {
        const auto colon = rest.find(':');
        if (colon == std::string_view::npos)
            return false;
        const std::string_view code = rest.substr(1, colon - 1);
        int c = -1;
        const auto r = std::from_chars(code.data(), code.data() + code.size(), c);
        if (code.empty() || r.ec != std::errc() || r.ptr != code.data() + code.size() || c < 0 ||
            c > 255)
            return false;
        f.command = c;
        rest = rest.substr(colon + 1);
    }
    std::string_view every;
    if (const auto slash = rest.find('/'); slash != std::string_view::npos) {
        every = rest.substr(slash + 1);
        rest = rest.substr(0, slash);
    }
    auto number = [](std::string_view t, std::uint64_t& v) {
        const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
        return !t.empty() && r.ec == std::errc() && r.ptr == t.data() + t.size();
    };
    f.every = 0;
    return number(rest, f.request) && (every.empty() || number(every, f.every));
}

bool parseHt300SimArgs(const std::vector<std::string>& args, Ht300SimConfig& config,
                       std::string* error) {
    auto fail = [&](const std::string& e) {
        if (error != nullptr)
            *error = e;
        return false;
    };
    auto intValue = [](const std::string& t, int low, int high, int& v) {
        const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
        return !t.empty() && r.ec == std::errc() && r.ptr == t.data() + t.size() && v >= low &&
               v <= high;
    };
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (i + 1 >= args.size())
            return fail("нет значения у " + a);
        const std::string& v = args[++i];
        if (a == "--tray") {
            if (!intValue(v, 0, 255, config.trayCode))
                return fail("неверный код лотка: " + v);
        } else if (a == "--syringe") {
            if (!intValue(v, 0, 255, config.syringeCode))
                return fail("неверный код шприца: " + v);
        } else if (a == "--id") {
            config.identification = v;
        } else if (a == "--fault") {
            Ht300Fault f;
            if (!parseHt300Fault(v, f))
                return fail("неверная ошибка: " + v);
            config.faults.push_back(f);
        } else if (a == "--limit") {
            int n = 0;
            if (!intValue(v, 0, 1 << 30, n))
                return fail("неверное число запросов: " + v);
            config.requestLimit = static_cast<std::uint64_t>(n);
        } else {
            return fail("неизвестный параметр " + a);
        }
    }
    return true;
}

}  // namespace zelmora::sim
