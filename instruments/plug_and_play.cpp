#include "instruments/plug_and_play.h"

#include <algorithm>
#include <map>

#include "app/text.h"
#include "instruments/kalder_modules.h"
#include "instruments/serial_storehouse.h"

namespace zelmora {

using namespace kalder;

namespace {

constexpr int kLog = 0;
constexpr int kAppend = 1;
constexpr int kMessage = 2;

// Packets a step waits for an answer of the bus service or the control unit.
constexpr int kControlUnitWait = 5;  // "more than 5"
constexpr int kBusWait = 6;          // "at least 6"
constexpr int kAfterFindWait = 5;
constexpr int kResetWait = 10;  // "more than 10"
constexpr int kPollSpan = 32;
// sentMark_ of a request built but not yet on the line.
constexpr std::uint64_t kUnmarked = std::numeric_limits<std::uint64_t>::max();

}  // namespace

bool stackConsistent(const std::array<std::uint8_t, 16>& stack,
                     const std::vector<FoundModule>& modules) {
    std::vector<std::uint8_t> entries;
    for (std::uint8_t s : stack)
        if (s != 0)
            entries.push_back(s);
    if (entries.size() != modules.size())
        return false;
    auto sorted = entries;
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end())
        return false;
    std::vector<std::uint8_t> addresses;
    for (const FoundModule& m : modules)
        addresses.push_back(wordAddress(m.word));
    std::sort(addresses.begin(), addresses.end());
    if (std::adjacent_find(addresses.begin(), addresses.end()) != addresses.end())
        return false;
    return addresses == sorted;
}

void orderByStack(const std::array<std::uint8_t, 16>& stack, std::vector<FoundModule>& modules) {
    std::vector<FoundModule> out;
    std::vector<bool> taken(modules.size(), false);
    for (std::uint8_t s : stack) {
        if (s == 0)
            continue;
        for (std::size_t i = 0; i < modules.size(); ++i) {
            if (!taken[i] && wordAddress(modules[i].word) == s) {
                taken[i] = true;
                out.push_back(modules[i]);
                out.back().placed = true;
                break;
            }
        }
    }
    for (std::size_t i = 0; i < modules.size(); ++i)
        if (!taken[i])
            out.push_back(modules[i]);
    modules = std::move(out);
}

void orderByRecord(const std::string& record, std::vector<FoundModule>& modules) {
    const auto groups = CSerialStorehouse::groups(record);
    std::vector<FoundModule> out;
    std::vector<bool> taken(modules.size(), false);
    // The first group is the control unit's serial.
    for (std::size_t g = 1; g < groups.size(); ++g) {
        for (std::size_t i = 0; i < modules.size(); ++i) {
            if (!taken[i] && wordSerial(modules[i].word) == wordSerial(groups[g])) {
                taken[i] = true;
                out.push_back(modules[i]);
                out.back().word = groups[g];
                out.back().placed = true;
                break;
            }
        }
    }
    for (std::size_t i = 0; i < modules.size(); ++i)
        if (!taken[i])
            out.push_back(modules[i]);
    modules = std::move(out);
}

bool checkAndSetAddresses(std::vector<FoundModule>& modules) {
    std::vector<FoundModule> out;
    std::vector<FoundModule> others;
    for (const FoundModule& m : modules)
        (isDetectorClass(moduleClass(wordAddress(m.word))) ? out : others).push_back(m);
    std::stable_sort(others.begin(), others.end(),
                     [](const FoundModule& a, const FoundModule& b) { return a.word < b.word; });
    out.insert(out.end(), others.begin(), others.end());

    for (int cls = 1; cls <= 30; ++cls) {
        std::vector<std::size_t> members;
        for (std::size_t i = 0; i < out.size(); ++i)
            if (moduleClass(wordAddress(out[i].word)) == cls)
                members.push_back(i);
        if (members.empty())
            continue;
        if (members.size() > 4)
            return false;
        std::vector<int> idx;
        for (std::size_t i : members)
            idx.push_back(moduleIndex(wordAddress(out[i].word)));
        auto holder = [&](int k) {
            return static_cast<int>(std::count(idx.begin(), idx.end(), k));
        };
        // An index held by several: all but the first move to the next free
        // index above (or, at the top, to the lowest free one).
        for (int k = 0; k < 4; ++k) {
            bool first = true;
            for (std::size_t j = 0; j < idx.size(); ++j) {
                if (idx[j] != k)
                    continue;
                if (first) {
                    first = false;
                    continue;
                }
                int to = -1;
                for (int f = k + 1; f < 4 && to < 0; ++f)
                    if (holder(f) == 0)
                        to = f;
                for (int f = 0; f < 4 && to < 0; ++f)
                    if (holder(f) == 0)
                        to = f;
                idx[j] = to;
            }
        }
        // An empty index takes the module from the highest occupied one above.
        for (int k = 0; k < 4; ++k) {
            if (holder(k) != 0)
                continue;
            int top = -1;
            for (std::size_t j = 0; j < idx.size(); ++j)
                if (idx[j] > k && (top < 0 || idx[j] > idx[static_cast<std::size_t>(top)]))
                    top = static_cast<int>(j);
            if (top >= 0)
                idx[static_cast<std::size_t>(top)] = k;
        }
        for (std::size_t j = 0; j < members.size(); ++j) {
            FoundModule& m = out[members[j]];
            m.word = makeWord(moduleAddress(cls, idx[j]), wordSerial(m.word));
        }
    }
    modules = std::move(out);
    return true;
}

CPlugAndPlay::CPlugAndPlay(CSerialStorehouse* storehouse, Hooks hooks)
    : hooks_(std::move(hooks)), storehouse_(storehouse) {}

void CPlugAndPlay::setStorehouse(std::shared_ptr<CSerialStorehouse> storehouse) {
    std::lock_guard lock(mutex_);
    ownedStorehouse_ = std::move(storehouse);
    storehouse_ = ownedStorehouse_.get();
}

void CPlugAndPlay::publish(Out& out) const {
    for (const auto& [kind, s] : out) {
        const auto& h = kind == kLog      ? hooks_.log
                        : kind == kAppend ? hooks_.append
                                          : hooks_.message;
        if (h)
            h(s);
    }
    out.clear();
}

void CPlugAndPlay::start(bool autoConfirm) {
    std::lock_guard lock(mutex_);
    state_ = 0;
    autoConfirm_ = autoConfirm;
    completed_ = false;
    next_.reset();
    sent_.reset();
    packets_ = 0;
    tact_ = 0;
}

void CPlugAndPlay::cancel() {
    std::lock_guard lock(mutex_);
    state_ = kIdle;
    next_.reset();
    sent_.reset();
}

void CPlugAndPlay::confirm() {
    Out out;
    {
        std::lock_guard lock(mutex_);
        if (state_ != 6)
            return;
        state_ = 7;
        out.emplace_back(kLog, "# P&P Состав прибора: " + foundListLocked());
        confirmIndex_ = 0;
        confirmNextLocked(out);
    }
    publish(out);
}

bool CPlugAndPlay::active() const {
    std::lock_guard lock(mutex_);
    return state_ != kIdle;
}

int CPlugAndPlay::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

bool CPlugAndPlay::completed() const {
    std::lock_guard lock(mutex_);
    return completed_;
}

std::vector<FoundModule> CPlugAndPlay::modules() const {
    std::lock_guard lock(mutex_);
    return modules_;
}

std::uint32_t CPlugAndPlay::cpuSerial() const {
    std::lock_guard lock(mutex_);
    return cpuSerial_;
}

std::array<std::uint8_t, 16> CPlugAndPlay::stack() const {
    std::lock_guard lock(mutex_);
    return stack_;
}

void CPlugAndPlay::queueLocked(Request r) {
    next_ = r;
}

std::optional<std::array<std::uint8_t, wire::kKalderRequestSize>> CPlugAndPlay::buildRequest(
    bool marked) {
    std::lock_guard lock(mutex_);
    if (state_ == kIdle)
        return std::nullopt;
    if (state_ == 0) {
        modules_.clear();
        candidate_.reset();
        cpuSerial_ = 0;
        stack_ = {};
        poll_ = 0;
        lastFind_ = 0;
        confirmIndex_ = 0;
        queueLocked({kBusServiceAddress, kBusReset, 0, true});
        state_ = 1;
    } else if (state_ == 1 && !next_ && packets_ > kResetWait) {
        queueLocked({kControlUnitAddress, kParamSerial, 0, false});
        state_ = 2;
    }
    if (!next_)
        return std::nullopt;
    const Request r = *next_;
    next_.reset();
    sent_ = r;
    packets_ = 0;
    sentMark_ = marked ? kUnmarked : 0;
    return wire::buildKalderRequest(r.address, r.number, r.value, r.write);
}

void CPlugAndPlay::pollNextLocked(Out& out) {
    (void)out;
    ++poll_;
    queueLocked({kBusServiceAddress, kBusPoll, static_cast<std::uint32_t>(poll_), true});
    state_ = 4;
}

std::string CPlugAndPlay::foundListLocked() const {
    std::string s;
    for (const FoundModule& m : modules_)
        s += text::format("%08x ", m.word);
    return s;
}

void CPlugAndPlay::endPollingLocked(Out& out) {
    out.emplace_back(
        kLog, text::format("# P&P Найдено %d устройств: ", static_cast<int>(modules_.size())) +
                  foundListLocked());
    if (stackConsistent(stack_, modules_)) {
        orderByStack(stack_, modules_);
    } else {
        std::optional<CSerialStorehouse::Match> match;
        if (storehouse_) {
            std::vector<std::uint32_t> words;
            for (const FoundModule& m : modules_)
                words.push_back(m.word);
            match = storehouse_->findSimilar(CSerialStorehouse::composition(cpuSerial_, words));
        }
        if (match)
            orderByRecord(match->record, modules_);
        else
            std::stable_sort(
                modules_.begin(), modules_.end(),
                [](const FoundModule& a, const FoundModule& b) { return a.word < b.word; });
    }
    if (!checkAndSetAddresses(modules_))
        out.emplace_back(kLog, "# P&P Больше четырёх устройств одного класса: адреса оставлены");
    state_ = 6;
    if (autoConfirm_) {
        state_ = 7;
        out.emplace_back(kLog, "# P&P Состав прибора: " + foundListLocked());
        confirmIndex_ = 0;
        confirmNextLocked(out);
    }
}

void CPlugAndPlay::confirmNextLocked(Out& out) {
    (void)out;
    if (confirmIndex_ < modules_.size()) {
        queueLocked({kBusServiceAddress, kBusEcho, modules_[confirmIndex_].word, true});
        state_ = 8;
        return;
    }
    stackIndex_ = 0;
    const std::uint32_t a = modules_.empty() ? 0 : wordAddress(modules_[0].word);
    queueLocked({kControlUnitAddress, kParamStack, a, true});
    state_ = 9;
}

void CPlugAndPlay::finishLocked(Out& out) {
    state_ = kIdle;
    completed_ = true;
    next_.reset();
    sent_.reset();
    if (storehouse_) {
        std::vector<std::uint32_t> words;
        for (const FoundModule& m : modules_)
            words.push_back(m.word);
        if (storehouse_->remember(CSerialStorehouse::composition(cpuSerial_, words)))
            out.emplace_back(kLog, "# P&P Состав прибора сохранён");
    }
}

void CPlugAndPlay::markSent(std::uint64_t inputMark) {
    std::lock_guard lock(mutex_);
    if (sent_ && !next_)
        sentMark_ = inputMark;
}

void CPlugAndPlay::onPacket(const wire::KalderAnswer& a, std::uint64_t streamEnd) {
    Out out;
    {
        std::lock_guard lock(mutex_);
        if (state_ == kIdle)
            return;
        ++tact_;
        // A wait counts packets from the moment its request went out.
        const bool waiting = !next_ && sent_.has_value();
        // Packets a slow reader finds waiting on the line left the
        // instrument before the request did; so did every packet it takes
        // while the request is still being written (kUnmarked: all of them).
        if (waiting && streamEnd <= sentMark_)
            return;
        if (waiting)
            packets_ = std::min(packets_ + 1, 1000);
        const bool fromBus = a.address == kBusServiceAddress && !a.error() &&
                             (a.number() == kBusPoll || a.number() == kBusEcho);
        const bool fromCpu = a.address == kControlUnitAddress && !a.empty();
        switch (state_) {
            case 2:
                if (!waiting)
                    break;
                if (fromCpu) {
                    cpuSerial_ = a.error() || a.number() != kParamSerial
                                     ? 0
                                     : static_cast<std::uint32_t>(a.value);
                    stackIndex_ = 0;
                    queueLocked({kControlUnitAddress, kParamStack, 0, false});
                    state_ = 3;
                } else if (packets_ > kControlUnitWait) {
                    out.emplace_back(kMessage, "Таймаут. Ошибка чтения серийного номера CPU.");
                    state_ = kIdle;
                }
                break;
            case 3:
                if (!waiting)
                    break;
                if (fromCpu) {
                    const bool ok = !a.error() && a.number() == kParamStack + stackIndex_;
                    stack_[static_cast<std::size_t>(stackIndex_)] =
                        ok ? static_cast<std::uint8_t>(a.value & 0xFF) : 0;
                    if (++stackIndex_ < kStackSize) {
                        queueLocked({kControlUnitAddress,
                                     static_cast<std::uint16_t>(kParamStack + stackIndex_), 0,
                                     false});
                    } else {
                        poll_ = 0;
                        lastFind_ = 0;
                        queueLocked({kBusServiceAddress, kBusPoll, 0, true});
                        state_ = 4;
                    }
                } else if (packets_ > kControlUnitWait) {
                    out.emplace_back(kMessage, "Таймаут. Ошибка чтения стека.");
                    state_ = kIdle;
                }
                break;
            case 4: {
                if (!waiting)
                    break;
                const std::uint32_t v = fromBus ? static_cast<std::uint32_t>(a.value) : 0;
                if (v != 0) {
                    if (!candidate_) {
                        candidate_ = v;
                        queueLocked({kBusServiceAddress, kBusEcho, v, true});
                    } else if (*candidate_ == v) {
                        candidate_.reset();
                        out.emplace_back(kLog,
                                         text::format("# P&P Найдено устройство serial=%08x", v));
                        const bool seen = std::any_of(
                            modules_.begin(), modules_.end(), [&](const FoundModule& m) {
                                return wordSerial(m.word) == wordSerial(v);
                            });
                        if (seen)
                            out.emplace_back(
                                kAppend,
                                text::format(" Такой серийный номер (%08x) уже был! Отбросим.", v));
                        else
                            modules_.push_back({v, poll_, tact_, false});
                        lastFind_ = poll_;
                        queueLocked({kBusServiceAddress, kBusFound, wordSerial(v), true});
                        state_ = 5;
                    } else {
                        candidate_.reset();
                        out.emplace_back(
                            kMessage,
                            "Ошибка проверки устройств. Ошибка записи внутреннего адреса");
                        pollNextLocked(out);
                    }
                    break;
                }
                // Only an empty slot or a zero answer from the bus is "no
                // module"; other modules' answers are not the bus speaking.
                if (!(a.empty() || (fromBus && a.value == 0)))
                    break;
                if (packets_ < kBusWait)
                    break;
                if (candidate_) {
                    out.emplace_back(kLog,
                                     text::format("# P&P Найдено виртуальное устройство - отбросим "
                                                  "serial=%08x",
                                                  *candidate_));
                    candidate_.reset();
                }
                if (poll_ - lastFind_ < kPollSpan - (lastFind_ % 8))
                    pollNextLocked(out);
                else
                    endPollingLocked(out);
                break;
            }
            case 5:
                if (waiting && packets_ >= kAfterFindWait)
                    pollNextLocked(out);
                break;
            case 8:
                if (!waiting || confirmIndex_ >= modules_.size())
                    break;
                if (a.address == kBusServiceAddress && a.number() == kBusEcho && !a.error() &&
                    static_cast<std::uint32_t>(a.value) == modules_[confirmIndex_].word) {
                    ++confirmIndex_;
                    confirmNextLocked(out);
                } else if (packets_ >= kBusWait) {
                    out.emplace_back(kLog, text::format("# P&P Устройство serial=%08x не отвечает, "
                                                        "отбросим",
                                                        modules_[confirmIndex_].word));
                    modules_.erase(modules_.begin() + static_cast<long>(confirmIndex_));
                    confirmNextLocked(out);
                }
                break;
            case 9: {
                if (!waiting || !sent_)
                    break;
                const Request& r = *sent_;
                if (a.address == r.address && a.number() == r.number && !a.error() &&
                    static_cast<std::uint32_t>(a.value) == r.value) {
                    if (++stackIndex_ >= kStackSize) {
                        finishLocked(out);
                    } else {
                        const std::size_t k = static_cast<std::size_t>(stackIndex_);
                        const std::uint32_t addr =
                            k < modules_.size() ? wordAddress(modules_[k].word) : 0;
                        queueLocked({kControlUnitAddress,
                                     static_cast<std::uint16_t>(kParamStack + stackIndex_), addr,
                                     true});
                    }
                } else if (!a.empty()) {
                    out.emplace_back(
                        kLog,
                        text::format("# P&P неправильный ответ при записи стека. Пытаюсь "
                                     "записать: addr=%d nparam=%d value=0x%08x. Приходит ответ: "
                                     "addr=%d nparam=%d value=0x%08x.",
                                     r.address, r.number, r.value, a.address, a.number(),
                                     static_cast<std::uint32_t>(a.value)));
                } else if (packets_ > kControlUnitWait) {
                    out.emplace_back(kMessage, "Таймаут. Ошибка записи стека.");
                    state_ = kIdle;
                }
                break;
            }
            default:
                break;
        }
        if (state_ == kIdle) {
            next_.reset();
            sent_.reset();
        }
    }
    publish(out);
}

std::string CPlugAndPlay::progressText() const {
    std::lock_guard lock(mutex_);
    const int found = static_cast<int>(modules_.size());
    std::string s;
    switch (state_) {
        case 0:
            s = "Начало PnP";
            break;
        case 1:
        case 4:
            s = text::format("Опрос устройств  t:%d найдено:%d", poll_, found);
            break;
        case 2:
            s = "Загрузка серийного номера CPU";
            break;
        case 3:
            s = text::format("Загрузка стека stack:%d", stackIndex_);
            break;
        case 5:
            s = text::format("Найдено устройство  t:%d найдено:%d", poll_, found);
            break;
        case 6:
            s = "Опрос устройств завершен.";
            break;
        case 7:
            s = "Запись параметров в модули и плату CPU.";
            break;
        case 8:
            s = text::format(
                "Запись адресов addr:%d",
                confirmIndex_ < modules_.size() ? wordAddress(modules_[confirmIndex_].word) : 0);
            break;
        case 9:
            s = text::format("Запись стека  stack:%d", stackIndex_);
            break;
        default:
            s = "Конец  PnP";
            break;
    }
    s += "\n\n";
    for (std::size_t i = 0; i < modules_.size(); ++i) {
        s += text::format("%08x ", modules_[i].word);
        if (i % 5 == 4)
            s += "\n";
    }
    return s;
}

}  // namespace zelmora
