#include "instruments/sim/pelvio_model.h"

#include <algorithm>

#include "app/text.h"

namespace zelmora::sim {

namespace {

const PelvioPayload kIdentification = {2, 0, 0};
const PelvioPayload kStatusRequest = {3};
const PelvioPayload kInjection = {1, 0};
const PelvioPayload kEndOfSeries = {1, 2};

}  // namespace

PelvioModel::PelvioModel(PelvioSimConfig config)
    : config_(std::move(config)), used_(config_.faults.size(), false) {}

const PelvioSimFault* PelvioModel::scheduled(PelvioSimFault::Kind kind, int at) {
    for (std::size_t i = 0; i < config_.faults.size(); ++i) {
        const PelvioSimFault& f = config_.faults[i];
        if (!used_[i] && f.kind == kind && f.at == at) {
            used_[i] = true;
            return &f;
        }
    }
    return nullptr;
}

int PelvioModel::injectionsPlanned() const {
    if (config_.injections > 0)
        return config_.injections;
    if (!parameters_ || parameters_->size() < 9)
        return 1;
    const PelvioPayload& p = *parameters_;
    return std::max(0, p[1] - p[0] + 1) * p[8];
}

void PelvioModel::receive(const std::uint8_t* bytes, std::size_t count, std::int64_t nowMs) {
    // A silent sampler hears nothing either.
    if (silentUntilMs_ >= 0 && nowMs < silentUntilMs_)
        return;
    for (std::size_t i = 0; i < count; ++i) {
        switch (parser_.feed(bytes[i])) {
            case wire::PelvioRequestParser::Event::Frame:
                received_.push_back(parser_.payload());
                handle(parser_.payload(), nowMs);
                break;
            case wire::PelvioRequestParser::Event::BadCheck:
                ++badFrames_;
                break;
            case wire::PelvioRequestParser::Event::None:
                break;
        }
    }
}

bool PelvioModel::acknowledge(int subtype) {
    if (const PelvioSimFault* f = scheduled(PelvioSimFault::Kind::NoAnswer, commands_))
        ignoreLeft_ += std::max(1, f->arg);
    if (ignoreLeft_ > 0) {
        --ignoreLeft_;
        ++ignored_;
        return false;
    }
    emit({0, static_cast<std::uint8_t>(subtype)});
    return true;
}

void PelvioModel::handle(const PelvioPayload& p, std::int64_t nowMs) {
    if (config_.passive || p.empty())
        return;
    const int subtype = p.size() > 1 ? p[1] : -1;
    switch (p[0]) {
        case 0:
            if (subtype == 2 && !identified_) {
                identified_ = true;
                if (const PelvioSimFault* f = scheduled(PelvioSimFault::Kind::Silence, 0))
                    silence(nowMs, f->arg);
            } else if (subtype == 1 && pending_) {
                const int injection = pendingInjection_;
                pending_.reset();
                if (injection > 0) {
                    // The interval to the next runs from the injection taken.
                    lastInjectionMs_ = nowMs;
                    if (const PelvioSimFault* f =
                            scheduled(PelvioSimFault::Kind::Silence, injection))
                        silence(nowMs, f->arg);
                }
            }
            break;
        case 1:
            lastStatus_ = subtype;
            ++statusAnswers_;
            if (lastStatus_ == 5)
                lastAnalysisMs_ = nowMs;
            break;
        case 2:
            ++commands_;
            if (!acknowledge(2))
                break;
            if (subtype == 1 && !running_) {
                running_ = true;
                seriesEnded_ = false;
                samplerFault_ = 0;
                injectionsDone_ = 0;
                lastInjectionMs_ = nowMs;
            } else if (subtype != 1) {
                running_ = false;
                pending_.reset();
            }
            break;
        case 3:
            ++commands_;
            if (acknowledge(3))
                parameters_ = PelvioPayload(p.begin() + 1, p.end());
            break;
        default:
            break;
    }
}

void PelvioModel::emit(const PelvioPayload& p, PelvioDamage damage) {
    std::vector<std::uint8_t> f;
    if (damage == PelvioDamage::Long) {
        // Five payload bytes where the program expects at most three.
        PelvioPayload padded = p;
        padded.resize(5, 0);
        f = wire::buildPelvioFrame(padded);
    } else {
        f = wire::buildPelvioFrame(p);
        if (damage == PelvioDamage::BadCheck)
            f.back() ^= 0x5A;
        else if (damage == PelvioDamage::Short)
            f.pop_back();
    }
    out_.insert(out_.end(), f.begin(), f.end());
}

void PelvioModel::startEvent(PelvioPayload p, PelvioDamage damage, std::int64_t nowMs) {
    pendingInjection_ = p == kInjection ? injectionsDone_ : 0;
    pending_ = std::move(p);
    pendingSentMs_ = nowMs;
    emit(*pending_, damage);
}

bool PelvioModel::nextInjectionDue(std::int64_t nowMs) const {
    if (config_.injectEverySeconds <= 0)
        return false;
    const auto interval =
        static_cast<std::int64_t>(config_.injectEverySeconds * 1000.0 / config_.speed);
    if (nowMs - lastInjectionMs_ < interval)
        return false;
    // The chromatograph still analyses the last sample, or did so lately.
    return !config_.waitForAnalysis ||
           (lastStatus_ != 5 && (lastAnalysisMs_ < 0 || nowMs - lastAnalysisMs_ >= interval));
}

void PelvioModel::inject(PelvioDamage damage, std::int64_t nowMs) {
    ++injectionsDone_;
    lastInjectionMs_ = nowMs;
    startEvent(kInjection, damage, nowMs);
}

void PelvioModel::reportFault(int code) {
    emit({2, 0, static_cast<std::uint8_t>(code)});
    samplerFault_ = code;
    running_ = false;
}

void PelvioModel::injectOrEnd(std::int64_t nowMs) {
    if (injectionsDone_ >= injectionsPlanned()) {
        running_ = false;
        seriesEnded_ = true;
        startEvent(kEndOfSeries, PelvioDamage::None, nowMs);
        return;
    }
    const int n = injectionsDone_ + 1;
    if (const PelvioSimFault* f = scheduled(PelvioSimFault::Kind::Sampler, n)) {
        reportFault(f->arg);
        return;
    }
    PelvioDamage damage = PelvioDamage::None;
    if (scheduled(PelvioSimFault::Kind::BadCheck, n))
        damage = PelvioDamage::BadCheck;
    else if (scheduled(PelvioSimFault::Kind::Short, n))
        damage = PelvioDamage::Short;
    else if (scheduled(PelvioSimFault::Kind::Long, n))
        damage = PelvioDamage::Long;
    inject(damage, nowMs);
}

std::vector<std::uint8_t> PelvioModel::poll(std::int64_t nowMs) {
    if (silentUntilMs_ >= 0) {
        if (nowMs < silentUntilMs_) {
            out_.clear();
            return {};
        }
        // Back on the line: the sampler starts over with its identification
        // and repeats what was not acknowledged.
        silentUntilMs_ = -1;
        identified_ = false;
        lastIdentMs_ = -1;
        pendingSentMs_ = nowMs - config_.repeatMs;
    }
    if (!config_.passive) {
        const int identEvery = identified_ ? config_.aliveMs : config_.heartbeatMs;
        if (lastIdentMs_ < 0 || nowMs - lastIdentMs_ >= identEvery) {
            emit(kIdentification);
            lastIdentMs_ = nowMs;
        }
        if (lastStatusRequestMs_ < 0 || nowMs - lastStatusRequestMs_ >= config_.heartbeatMs) {
            emit(kStatusRequest);
            lastStatusRequestMs_ = nowMs;
        }
        if (pending_) {
            if (nowMs - pendingSentMs_ >= config_.repeatMs) {
                emit(*pending_);
                pendingSentMs_ = nowMs;
            }
        } else if (faultRequested_ != 0) {
            reportFault(faultRequested_);
            faultRequested_ = 0;
        } else if (endRequested_) {
            endRequested_ = false;
            running_ = false;
            seriesEnded_ = true;
            startEvent(kEndOfSeries, PelvioDamage::None, nowMs);
        } else if (injectRequests_ > 0) {
            --injectRequests_;
            inject(requestedDamage_, nowMs);
            requestedDamage_ = PelvioDamage::None;
        } else if (running_ && identified_ && nextInjectionDue(nowMs)) {
            injectOrEnd(nowMs);
        }
    }
    std::vector<std::uint8_t> out;
    out.swap(out_);
    return out;
}

void PelvioModel::requestInjection(PelvioDamage damage) {
    ++injectRequests_;
    if (damage != PelvioDamage::None)
        requestedDamage_ = damage;
}

void PelvioModel::requestEnd() {
    endRequested_ = true;
}

void PelvioModel::requestSamplerFault(int code) {
    faultRequested_ = code;
}

void PelvioModel::silence(std::int64_t nowMs, int ms) {
    silentUntilMs_ = nowMs + ms;
    out_.clear();
}

void PelvioModel::ignoreCommands(int count) {
    ignoreLeft_ += std::max(0, count);
}

void PelvioModel::sendPayload(const PelvioPayload& p) {
    emit(p);
}

void PelvioModel::sendRaw(const std::vector<std::uint8_t>& bytes) {
    out_.insert(out_.end(), bytes.begin(), bytes.end());
}

// --- options -----------------------------------------------------------------

const char* const kPelvioSimUsage =
    "Использование: zelmora-sim pelvio [параметры]\n"
    "Дозатор Pelvio на псевдотерминале (9600 бод): идентифицируется, запрашивает\n"
    "состояние хроматографа, подтверждает параметры и коды старта/стопа, после\n"
    "старта вводит пробы и сообщает о конце серии.\n"
    "  --speed X              ускорение интервала между вводами\n"
    "  --inject-every S       ввод каждые S с после предыдущего и после конца анализа\n"
    "                         (по умолчанию 10)\n"
    "  --manual               вводы только по команде (см. ниже)\n"
    "  --injections N         число вводов в серии (по умолчанию из параметров:\n"
    "                         (последняя - первая виала + 1) x число вводов)\n"
    "  --ignore-status        вводить, даже когда хроматограф сообщает об анализе\n"
    "  --fault KIND@N[:A]     неисправность (повторяется):\n"
    "                         bad-check, short, long - N-й ввод передан с неверным\n"
    "                           контрольным байтом, обрезанным или слишком длинным;\n"
    "                         silence - тишина A мс (7000) после подтверждения N-го\n"
    "                           ввода (0 - идентификации);\n"
    "                         no-answer - N-я команда программы и ещё A-1 без ответа;\n"
    "                         sampler - вместо N-го ввода ошибка дозатора с кодом A (1-6)\n"
    "Команды на стандартном вводе, по одной в строке: inject [bad-check|short|long],\n"
    "end, fault CODE, silence MS, no-answer [K], status.\n";

namespace {

bool parseNonNegative(std::string_view s, int& out) {
    const auto v = text::parseInt(s);
    if (!v || *v < 0 || *v > 10'000'000)
        return false;
    out = static_cast<int>(*v);
    return true;
}

}  // namespace

bool parsePelvioFault(std::string_view s, PelvioSimFault& f) {
    const auto at = s.find('@');
    if (at == std::string_view::npos)
        return false;
    const std::string_view kind = s.substr(0, at);
    using K = PelvioSimFault::Kind;
    if (kind == "bad-check")
        f.kind = K::BadCheck;
    else if (kind == "short")
        f.kind = K::Short;
    else if (kind == "long")
        f.kind = K::Long;
    else if (kind == "silence")
        f.kind = K::Silence;
    else if (kind == "no-answer")
        f.kind = K::NoAnswer;
    else if (kind == "sampler")
        f.kind = K::Sampler;
    else
        return false;
    const std::string_view tail = s.substr(at + 1);
    const auto colon = tail.find(':');
    if (!parseNonNegative(tail.substr(0, colon), f.at))
        return false;
    f.arg = f.kind == K::Silence ? 7000 : 1;
    if (colon != std::string_view::npos && !parseNonNegative(tail.substr(colon + 1), f.arg))
        return false;
    if (f.kind == K::Sampler && (f.arg < 1 || f.arg > 6))
        return false;
    // Injections and commands count from 1; only a silence may follow the
    // identification (0).
    return f.at > 0 || f.kind == K::Silence;
}

bool applyPelvioCommand(PelvioModel& m, std::string_view line, std::int64_t nowMs) {
    line = text::trim(line);
    const auto space = line.find(' ');
    const std::string_view word = line.substr(0, space);
    const std::string_view arg =
        space == std::string_view::npos ? std::string_view{} : text::trim(line.substr(space + 1));
    int n = 0;
    const bool number = parseNonNegative(arg, n);
    if (word == "inject") {
        PelvioDamage d = PelvioDamage::None;
        if (arg == "bad-check")
            d = PelvioDamage::BadCheck;
        else if (arg == "short")
            d = PelvioDamage::Short;
        else if (arg == "long")
            d = PelvioDamage::Long;
        else if (!arg.empty())
            return false;
        m.requestInjection(d);
    } else if (word == "end" && arg.empty()) {
        m.requestEnd();
    } else if (word == "fault" && number && n >= 1 && n <= 6) {
        m.requestSamplerFault(n);
    } else if (word == "silence" && number && n > 0) {
        m.silence(nowMs, n);
    } else if (word == "no-answer" && (arg.empty() || (number && n > 0))) {
        m.ignoreCommands(arg.empty() ? 1 : n);
    } else {
        return false;
    }
    return true;
}

bool parsePelvioArgs(const std::vector<std::string>& args, PelvioSimConfig& c, std::string* error) {
    auto fail = [&](const std::string& m) {
        if (error)
            *error = m;
        return false;
    };
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--manual") {
            c.injectEverySeconds = 0;
            continue;
        }
        if (a == "--ignore-status") {
            c.waitForAnalysis = false;
            continue;
        }
        if (i + 1 >= args.size())
            return fail("нет значения у " + a);
        const std::string& v = args[++i];
        if (a == "--speed") {
            const auto d = text::parseDouble(v);
            if (!d || *d <= 0 || *d > 100000)
                return fail("неверное ускорение: " + v);
            c.speed = *d;
        } else if (a == "--inject-every") {
            const auto d = text::parseDouble(v);
            if (!d || *d <= 0 || *d > 86400)
                return fail("неверный интервал: " + v);
            c.injectEverySeconds = *d;
        } else if (a == "--injections") {
            if (!parseNonNegative(v, c.injections) || c.injections > 255 * 255)
                return fail("неверное число вводов: " + v);
        } else if (a == "--fault") {
            PelvioSimFault f;
            if (!parsePelvioFault(v, f))
                return fail("неверная неисправность: " + v);
            c.faults.push_back(f);
        } else {
            return fail("неизвестный параметр: " + a);
        }
    }
    return true;
}

}  // namespace zelmora::sim
