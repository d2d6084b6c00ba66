#pragma once
// The chromatograph's parameter exchange. Every module of the chromatograph
// (control unit, detector amplifiers, gas regulators, valve blocks) has
// numbered parameters: set temperatures and flows that the computer writes,
// measurements that it reads, commands it sends. The instrument answers one
// 10-byte request at a time in the answer slot of its status packets, so the
// queue keeps exactly one request outstanding:
//
// - the parameters are kept in descending priority; the writer thread asks
//   buildRequest() every cycle, which goes round the list from a cursor and
//   sends the first parameter that is pending and has fewer than 10 retries;
// - the reader thread passes every answer slot (empty ones too) to
//   onAnswer(); a write is confirmed only when the instrument echoes the
//   value sent, otherwise it is sent again, at most 10 times;
// - time-outs are counted in status packets, not milliseconds: no answer
//   within 10 packets is a time-out; 10 time-outs of one parameter mean the
//   module does not have it and it is no longer asked for.
//
// Kinds of parameter (bits): 1 setting (read from the instrument while
// load-first is set, otherwise written when changed), 2 measurement (read
// only), 4 write only, 8 command (written every time it is set), 16 start
// with load-first set.
//
// Every exchange leaves a work-log line "  Прибор %d: <kind><description>"
// continued with its outcome (" Записан ОК", " Таймаут", ...).
//
// Threads: the interface thread sets values, the writer thread builds
// requests, the reader thread feeds answers. mutex_ guards the parameter
// list, the cursor, the exchange state, the statistics and the value,
// pending, load-first and retry fields of every parameter (CInstrumentParam
// takes its queue's lock in its setters and getters).

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelmora {

class CParamQueue;

namespace param_kind {
inline constexpr std::uint8_t kSetting = 1;
inline constexpr std::uint8_t kMeasurement = 2;
inline constexpr std::uint8_t kWriteOnly = 4;
inline constexpr std::uint8_t kCommand = 8;
inline constexpr std::uint8_t kLoadFirst = 16;
}  // namespace param_kind

// Retry counter values with a meaning of their own.
inline constexpr int kParamRetryLimit = 10;   // given up after so many failures
inline constexpr int kParamNonExistent = 11;  // the module says it has no such parameter
inline constexpr int kAnswerTimeoutPackets = 10;

// Error values of an answer with bit 14 set.
inline constexpr std::int32_t kAnswerModuleTimeout = -1;
inline constexpr std::int32_t kAnswerNoSuchParam = -2;
inline constexpr std::int32_t kAnswerCrcError = -4;

// One parameter of one module. Created by CParamQueue::registerParam and
// shared with the module object that uses it; after the queue drops it
// (the module is forgotten) its setters only store the value.
class CInstrumentParam {
  public:
    CInstrumentParam(std::uint8_t address, std::uint16_t number, std::uint8_t priority,
                     std::uint8_t kind)
        : address_(address), number_(number), priority_(priority), kind_(kind) {}

    std::uint8_t address() const { return address_; }
    std::uint16_t number() const { return number_; }
    std::uint8_t priority() const { return priority_; }
    std::uint8_t kind() const { return kind_; }

    // The value as the module keeps it: 32 bits that its owner reads as a
    // float, a signed integer or a byte.
    std::uint32_t raw() const;
    float asFloat() const;
    std::int32_t asInt() const;
    std::uint8_t asByte() const { return static_cast<std::uint8_t>(raw() & 0xFF); }

    // Setting a value makes the parameter pending when it changed (always
    // for a command, and for a parameter given up after errors); a
    // measurement cannot be set.
    void setRaw(std::uint32_t v);
    void setFloat(float v);
    void setInt(std::int32_t v) { setRaw(static_cast<std::uint32_t>(v)); }
    void setByte(std::uint8_t v) { setRaw(v); }

    // A measurement is read once after registering; this asks for it again
    // (a fault word, a zone temperature that the status packets do not
    // carry). Nothing happens after the module was forgotten, nor for a
    // parameter the module does not have or that was given up.
    void requestRead();
    // Answered at least once since it was registered or last requested.
    bool hasValue() const { return !pending() && retries() < kParamRetryLimit; }

    bool pending() const;
    bool loadFirst() const;
    int retries() const;
    // Whether the next exchange of this parameter writes it.
    bool nextIsWrite() const;

  private:
    friend class CParamQueue;

    const std::uint8_t address_;
    const std::uint16_t number_;
    const std::uint8_t priority_;
    const std::uint8_t kind_;
    // The queue's lock, shared so that it outlives the queue; it guards the
    // fields below.
    std::shared_ptr<std::mutex> mutex_ = std::make_shared<std::mutex>();
    std::uint32_t value_ = 0;
    bool pending_ = false;
    bool loadFirst_ = false;
    int retries_ = 0;
    bool queued_ = false;  // still in its queue
};

using ParamPtr = std::shared_ptr<CInstrumentParam>;

// Whether a parameter of the kind is written (true) or read in its next
// exchange.
bool isWriteRequest(std::uint8_t kind, bool loadFirst);

struct ParamQueueStats {
    std::uint64_t added = 0;
    std::uint64_t writtenOk = 0;
    std::uint64_t writeMismatches = 0;
    std::uint64_t readsOk = 0;
    std::uint64_t timeouts = 0;
};

// Where the queue's work-log lines go: a new time-stamped line, or a
// continuation of the last one.
struct ParamLog {
    std::function<void(std::string_view)> line;
    std::function<void(std::string_view)> append;
};

class CParamQueue {
  public:
    using Describer =
        std::function<std::string(std::uint8_t address, std::uint16_t number, std::uint32_t value)>;

    // deviceNumber is the device as users count it ("Прибор %d"); the
    // describer names a parameter in the log (the parameter catalogue).
    CParamQueue(int deviceNumber, Describer describe = {}, ParamLog log = {});
    ~CParamQueue();
    CParamQueue(const CParamQueue&) = delete;
    CParamQueue& operator=(const CParamQueue&) = delete;

    void setDeviceNumber(int n);

    // Registers a parameter of a module: zero retries, pending unless it is
    // a command, load-first when the kind has bit 16. A parameter of the
    // same address and number already in the queue is returned instead.
    ParamPtr registerParam(std::uint8_t address, std::uint16_t number, std::uint8_t priority,
                           std::uint8_t kind, std::uint32_t initial = 0);
    ParamPtr find(std::uint8_t address, std::uint16_t number) const;
    // Drops every parameter of a module (and of nothing else).
    void removeAddress(std::uint8_t address);
    void clear();
    std::size_t size() const;

    // After the link opened: statistics cleared, no answer awaited, every
    // parameter but the commands pending again with zero retries.
    void rearm();

    // Every parameter of a module but the commands is exchanged again
    // (after plug-and-play rewrote the module).
    void refresh(std::uint8_t address);

    void setPaused(bool on);
    bool paused() const;

    // The writer thread: the 10 bytes of the next request, if one is due.
    std::optional<std::array<std::uint8_t, 10>> buildRequest();
    // The reader thread: the answer slot of a status packet (address 0 and
    // number 0 for an empty one). numberField is the 16-bit field with the
    // error bit (bit 14).
    void onAnswer(std::uint8_t address, std::uint16_t numberField, std::int32_t value);

    bool awaitingAnswer() const;
    ParamQueueStats stats() const;
    // The parameter whose answer is awaited, if any.
    ParamPtr outstanding() const;

    // Counts of parameters matching a filter, under the lock.
    std::size_t countPending(const std::function<bool(const CInstrumentParam&)>& filter) const;
    struct ParamState {
        std::uint8_t address;
        std::uint16_t number;
        std::uint8_t kind;
        std::uint32_t value;
        bool pending;
        int retries;
    };
    std::vector<ParamState> snapshot() const;

    // The parameter report: not yet exchanged, erroneous and (for access
    // levels above 4) unsupported parameters. Parameters of the modules
    // that notAnswering() names count as erroneous.
    std::string statistics(int accessLevel,
                           const std::function<bool(std::uint8_t address)>& notAnswering) const;

  private:
    void flushLog(std::vector<std::pair<bool, std::string>>& lines) const;
    void timeoutLocked(CInstrumentParam& p, std::vector<std::pair<bool, std::string>>& log);
    std::string describeLocked(const CInstrumentParam& p) const;

    Describer describe_;  // set at construction, called under the lock
    ParamLog log_;        // set at construction, called without the lock

    // Guards everything below and the state of every parameter registered.
    std::shared_ptr<std::mutex> mutex_ = std::make_shared<std::mutex>();
    int deviceNumber_;
    std::vector<ParamPtr> params_;
    std::size_t cursor_ = 0;
    bool awaiting_ = false;
    int packets_ = 0;  // status packets since the last request, at most 11
    ParamPtr lastSent_;
    std::uint32_t valueSent_ = 0;
    bool paused_ = false;
    ParamQueueStats stats_;
};

}  // namespace zelmora
