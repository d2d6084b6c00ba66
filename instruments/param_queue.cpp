#include "instruments/param_queue.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "app/text.h"
#include "instruments/wire/kalder_frame.h"

namespace zelmora {

using LogLines = std::vector<std::pair<bool, std::string>>;  // (continuation, text)

bool isWriteRequest(std::uint8_t kind, bool loadFirst) {
    if (kind == param_kind::kWriteOnly || kind == param_kind::kCommand)
        return true;
    return (kind & param_kind::kSetting) != 0 && !loadFirst;
}

std::uint32_t CInstrumentParam::raw() const {
    std::lock_guard lock(*mutex_);
    return value_;
}

float CInstrumentParam::asFloat() const {
    return std::bit_cast<float>(raw());
}

std::int32_t CInstrumentParam::asInt() const {
    return static_cast<std::int32_t>(raw());
}

void CInstrumentParam::setFloat(float v) {
    setRaw(std::bit_cast<std::uint32_t>(v));
}

void CInstrumentParam::setRaw(std::uint32_t v) {
    if (kind_ == param_kind::kMeasurement)
        return;
    std::lock_guard lock(*mutex_);
    if (!queued_) {
        // Its module was forgotten: nothing will be sent.
        value_ = v;
        return;
    }
    if (v == value_ && kind_ != param_kind::kCommand && retries_ <= 9)
        return;
    value_ = v;
    retries_ = 0;
    pending_ = true;
}

void CInstrumentParam::requestRead() {
    std::lock_guard lock(*mutex_);
    // A parameter the module does not have, or given up after errors, is
    // not asked for again.
    if (!queued_ || pending_ || retries_ >= kParamRetryLimit)
        return;
    pending_ = true;
    retries_ = 0;
}

bool CInstrumentParam::pending() const {
    std::lock_guard lock(*mutex_);
    return pending_;
}

bool CInstrumentParam::loadFirst() const {
    std::lock_guard lock(*mutex_);
    return loadFirst_;
}

int CInstrumentParam::retries() const {
    std::lock_guard lock(*mutex_);
    return retries_;
}

bool CInstrumentParam::nextIsWrite() const {
    std::lock_guard lock(*mutex_);
    return isWriteRequest(kind_, loadFirst_);
}

CParamQueue::CParamQueue(int deviceNumber, Describer describe, ParamLog log)
    : describe_(std::move(describe)), log_(std::move(log)), deviceNumber_(deviceNumber) {}

CParamQueue::~CParamQueue() {
    clear();
}

void CParamQueue::setDeviceNumber(int n) {
    std::lock_guard lock(*mutex_);
    deviceNumber_ = n;
}

ParamPtr CParamQueue::registerParam(std::uint8_t address, std::uint16_t number,
                                    std::uint8_t priority, std::uint8_t kind,
                                    std::uint32_t initial) {
    std::lock_guard lock(*mutex_);
    address &= 0x7F;
    number &= 0x3FFF;
    for (const ParamPtr& p : params_)
        if (p->address_ == address && p->number_ == number)
            return p;
    auto p = std::make_shared<CInstrumentParam>(address, number, priority, kind);
    p->mutex_ = mutex_;
    p->value_ = initial;
    p->retries_ = 0;
    p->pending_ = kind != param_kind::kCommand;
    p->loadFirst_ = (kind & param_kind::kLoadFirst) != 0;
    p->queued_ = true;
    // Before the first parameter of lower priority: equal priorities keep
    // the order in which they were registered.
    const auto at = std::find_if(params_.begin(), params_.end(),
                                 [&](const ParamPtr& q) { return q->priority_ < priority; });
    const auto index = static_cast<std::size_t>(at - params_.begin());
    params_.insert(at, p);
    if (index < cursor_)
        ++cursor_;
    ++stats_.added;
    return p;
}

ParamPtr CParamQueue::find(std::uint8_t address, std::uint16_t number) const {
    std::lock_guard lock(*mutex_);
    for (const ParamPtr& p : params_)
        if (p->address_ == (address & 0x7F) && p->number_ == (number & 0x3FFF))
            return p;
    return nullptr;
}

void CParamQueue::removeAddress(std::uint8_t address) {
    std::lock_guard lock(*mutex_);
    address &= 0x7F;
    std::vector<ParamPtr> kept;
    std::size_t cursor = 0;
    for (std::size_t i = 0; i < params_.size(); ++i) {
        const ParamPtr& p = params_[i];
        if (p->address_ == address) {
            p->queued_ = false;
            p->pending_ = false;
            if (p == lastSent_) {
                lastSent_.reset();
                awaiting_ = false;
            }
            continue;
        }
        if (i < cursor_)
            ++cursor;
        kept.push_back(p);
    }
    params_ = std::move(kept);
    cursor_ = cursor;
}

void CParamQueue::clear() {
    std::lock_guard lock(*mutex_);
    for (const ParamPtr& p : params_) {
        p->queued_ = false;
        p->pending_ = false;
    }
    params_.clear();
    cursor_ = 0;
    awaiting_ = false;
    packets_ = 0;
    lastSent_.reset();
}

std::size_t CParamQueue::size() const {
    std::lock_guard lock(*mutex_);
    return params_.size();
}

void CParamQueue::rearm() {
    std::lock_guard lock(*mutex_);
    stats_ = {};
    stats_.added = params_.size();
    awaiting_ = false;
    packets_ = 0;
    lastSent_.reset();
    cursor_ = 0;
    for (const ParamPtr& p : params_) {
        if (p->kind_ == param_kind::kCommand)
            continue;
        p->pending_ = true;
        p->retries_ = 0;
    }
}

void CParamQueue::refresh(std::uint8_t address) {
    std::lock_guard lock(*mutex_);
    for (const ParamPtr& p : params_) {
        if (p->address_ != (address & 0x7F) || p->kind_ == param_kind::kCommand)
            continue;
        p->pending_ = true;
        p->retries_ = 0;
    }
}

void CParamQueue::setPaused(bool on) {
    std::lock_guard lock(*mutex_);
    paused_ = on;
}

bool CParamQueue::paused() const {
    std::lock_guard lock(*mutex_);
    return paused_;
}

bool CParamQueue::awaitingAnswer() const {
    std::lock_guard lock(*mutex_);
    return awaiting_;
}

ParamQueueStats CParamQueue::stats() const {
    std::lock_guard lock(*mutex_);
    return stats_;
}

ParamPtr CParamQueue::outstanding() const {
    std::lock_guard lock(*mutex_);
    return awaiting_ ? lastSent_ : nullptr;
}

std::string CParamQueue::describeLocked(const CInstrumentParam& p) const {
    if (describe_)
        return describe_(p.address_, p.number_, p.value_);
    return text::format("Параметр %d:%d %x", p.address_, p.number_, p.value_);
}

void CParamQueue::flushLog(LogLines& lines) const {
    for (const auto& [continuation, s] : lines) {
        const auto& sink = continuation ? log_.append : log_.line;
        if (sink)
            sink(s);
    }
    lines.clear();
}

std::optional<std::array<std::uint8_t, 10>> CParamQueue::buildRequest() {
    LogLines log;
    std::optional<std::array<std::uint8_t, 10>> out;
    {
        std::lock_guard lock(*mutex_);
        if (params_.empty())
            return std::nullopt;
        if (awaiting_ && packets_ <= kAnswerTimeoutPackets)
            return std::nullopt;
        if (cursor_ >= params_.size())
            cursor_ = 0;
        for (std::size_t n = 0; n < params_.size(); ++n) {
            const std::size_t i = (cursor_ + n) % params_.size();
            const ParamPtr& p = params_[i];
            if (!p->pending_ || p->retries_ >= kParamRetryLimit)
                continue;
            const bool write = isWriteRequest(p->kind_, p->loadFirst_);
            const char* kindText = p->kind_ == param_kind::kMeasurement ? "Чтение:   "
                                   : p->kind_ == param_kind::kCommand   ? "Комманда: "
                                   : ((p->kind_ & param_kind::kSetting) && p->loadFirst_)
                                       ? "Загрузка: "
                                       : "Запись:   ";
            log.emplace_back(false, text::format("  Прибор %d: ", deviceNumber_) + kindText +
                                        describeLocked(*p));
            out = wire::buildKalderRequest(p->address_, p->number_, p->value_, write);
            awaiting_ = true;
            packets_ = 0;
            lastSent_ = p;
            valueSent_ = p->value_;
            cursor_ = i + 1;
            break;
        }
    }
    flushLog(log);
    return out;
}

void CParamQueue::timeoutLocked(CInstrumentParam& p, LogLines& log) {
    if (p.retries_ > 9) {
        p.pending_ = false;
        log.emplace_back(true, " Таймаут - Будем считать, что параметр не существует");
    } else {
        ++p.retries_;
        log.emplace_back(true, " Таймаут");
    }
}

void CParamQueue::onAnswer(std::uint8_t address, std::uint16_t numberField, std::int32_t value) {
    LogLines log;
    {
        std::lock_guard lock(*mutex_);
        if (++packets_ >= kAnswerTimeoutPackets && awaiting_) {
            ++stats_.timeouts;
            if (lastSent_)
                timeoutLocked(*lastSent_, log);
            awaiting_ = false;
        }
        packets_ = std::min(packets_, kAnswerTimeoutPackets + 1);

        const bool error = (numberField & 0x4000) != 0;
        const std::uint8_t addr = address & 0x7F;
        const std::uint16_t number = numberField & 0x3FFF;
        if (error && value == kAnswerCrcError) {
            // The instrument received a damaged request: it goes again.
            log.emplace_back(true,
                             " Ошибка передачи параметра - сбой CRC при передаче данных на прибор");
            awaiting_ = false;
        } else if (addr != 0 || number != 0) {
            awaiting_ = false;
            bool matched = false;
            for (const ParamPtr& pp : params_) {
                CInstrumentParam& p = *pp;
                if (p.address_ != addr || p.number_ != number || !p.pending_)
                    continue;
                matched = true;
                if (error) {
                    if (value == kAnswerModuleTimeout) {
                        if (p.retries_ > 9) {
                            p.pending_ = false;
                            log.emplace_back(true,
                                             " Таймаут доп устройства - Будем считать, что "
                                             "параметр не существует");
                        } else {
                            ++p.retries_;
                            log.emplace_back(true, " Таймаут доп устройства");
                        }
                    } else if (value == kAnswerNoSuchParam) {
                        p.retries_ = kParamNonExistent;
                        p.pending_ = false;
                        log.emplace_back(true, " Параметр не существует");
                    } else {
                        // Counted like a failed exchange, so that an error the
                        // instrument keeps giving does not flood the line.
                        if (p.retries_ <= 9)
                            ++p.retries_;
                        else
                            p.pending_ = false;
                        log.emplace_back(true, text::format(" Неизвестная ошибка  %08x",
                                                            static_cast<std::uint32_t>(value)));
                    }
                } else if (!isWriteRequest(p.kind_, p.loadFirst_)) {
                    p.value_ = static_cast<std::uint32_t>(value);
                    p.loadFirst_ = false;
                    p.pending_ = false;
                    p.retries_ = 0;
                    ++stats_.readsOk;
                    log.emplace_back(
                        true, text::format(" Зачитан ОК  %08x", static_cast<std::uint32_t>(value)));
                } else if (static_cast<std::uint32_t>(value) ==
                           (lastSent_.get() == &p ? valueSent_ : p.value_)) {
                    if (p.value_ == static_cast<std::uint32_t>(value)) {
                        p.pending_ = false;
                        log.emplace_back(true, " Записан ОК");
                    } else {
                        log.emplace_back(true, " Записан ОК, Во время записи значение изменилось.");
                    }
                    p.retries_ = 0;
                    ++stats_.writtenOk;
                } else {
                    if (p.retries_ <= 9)
                        ++p.retries_;
                    else
                        p.pending_ = false;
                    ++stats_.writeMismatches;
                    log.emplace_back(true,
                                     text::format(" Записан неверно. Задано:%08xh Ответ:%08xh",
                                                  lastSent_.get() == &p ? valueSent_ : p.value_,
                                                  static_cast<std::uint32_t>(value)));
                }
                break;
            }
            if (!matched) {
                if (lastSent_) {
                    if (lastSent_->retries_ <= 9)
                        ++lastSent_->retries_;
                    else
                        lastSent_->pending_ = false;
                }
                log.emplace_back(
                    true, text::format(" Странный ответ. Addr:%d NParam:%d Value:%08xh", addr,
                                       number, static_cast<std::uint32_t>(value)));
            }
        }
    }
    flushLog(log);
}

std::size_t CParamQueue::countPending(
    const std::function<bool(const CInstrumentParam&)>& filter) const {
    std::lock_guard lock(*mutex_);
    std::size_t n = 0;
    for (const ParamPtr& p : params_)
        if (p->pending_ && p->retries_ < kParamRetryLimit && (!filter || filter(*p)))
            ++n;
    return n;
}

std::vector<CParamQueue::ParamState> CParamQueue::snapshot() const {
    std::lock_guard lock(*mutex_);
    std::vector<ParamState> out;
    out.reserve(params_.size());
    for (const ParamPtr& p : params_)
        out.push_back({p->address_, p->number_, p->kind_, p->value_, p->pending_, p->retries_});
    return out;
}

std::string CParamQueue::statistics(int accessLevel,
                                    const std::function<bool(std::uint8_t)>& notAnswering) const {
    std::lock_guard lock(*mutex_);
    std::vector<std::string> waiting, erroneous, unsupported;
    for (const ParamPtr& p : params_) {
        const bool deadModule = notAnswering && notAnswering(p->address_);
        if (p->retries_ == kParamNonExistent)
            unsupported.push_back(describeLocked(*p));
        else if (p->retries_ == kParamRetryLimit || deadModule)
            erroneous.push_back(describeLocked(*p));
        else if (p->pending_)
            waiting.push_back(describeLocked(*p));
    }
    std::string out;
    if (waiting.empty()) {
        out = text::format("\r\n\r\nПараметры:%d", static_cast<int>(params_.size()));
    } else {
        out = text::format("\r\n\r\nПараметров:%d Пока ещё не зачитано/не записано:%d, ",
                           static_cast<int>(params_.size()), static_cast<int>(waiting.size()));
        for (const auto& d : waiting)
            out += "\r\n" + d;
    }
    if (!erroneous.empty()) {
        out += text::format("\r\n\r\nПараметры с ошибками:%d", static_cast<int>(erroneous.size()));
        for (const auto& d : erroneous)
            out += "\r\n" + d;
    }
    if (accessLevel > 4 && !unsupported.empty()) {
        out += text::format("\r\n\r\nНеподдерживаемые параметры:%d",
                            static_cast<int>(unsupported.size()));
        for (const auto& d : unsupported)
            out += "\r\n" + d;
    }
    return out;
}

}  // namespace zelmora
