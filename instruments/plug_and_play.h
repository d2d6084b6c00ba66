#pragma once
// Plug-and-play of the Kalder chromatograph: finds the modules on the
// instrument's bus, orders them, gives each a unique address and writes the
// composition into the control unit's address stack and the serial
// storehouse.
//
// The procedure speaks to the bus service (address 40) and the control unit
// (124) with ordinary 10-byte requests, one at a time, and reads their
// answers from the answer slot of the status packets; waits are counted in
// packets. In order:
//   0  reset the bus (40/16352 = 0)
//   1  after more than 10 packets read the control unit's serial (124/16383)
//   2  its answer; then read the address stack 124/176 ... 191        (3)
//   4  poll t = 0, 1, ...: 40/16353 = t; a module answers with its word,
//      which is echoed back (40/16355 = word) and must come back the same;
//      a confirmed word is a module (40/16354 = serial ends its turn, 5);
//      a word that never comes back is a virtual device and is dropped.
//      Polling ends at the empty answer to poll 8 x floor(f/8) + 32, f the
//      poll of the last find.
//   6  the found modules are ordered and addressed; the operator confirms
//   7, 8  each module is told its new word and must echo it; a module
//      that does not is dropped
//   9  the stack 124/176+k = address of module k, each echoed
//  10  the end; the composition goes to the storehouse.
//
// Every step leaves "# "-lines in the work log. Time-outs of the control
// unit end the procedure with a message for the operator.
//
// Threads: the writer thread asks buildRequest(), the reader thread feeds
// onPacket(), the interface thread starts, cancels, confirms and reads the
// progress. mutex_ guards all of the procedure's state. The hooks are called
// without the lock held and must only record or post.

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "instruments/wire/kalder_frame.h"

namespace zelmora {

class CSerialStorehouse;

struct FoundModule {
    std::uint32_t word = 0;  // address byte and serial
    int poll = 0;            // the poll number that found it
    int tact = 0;            // the packet count at which it answered
    bool placed = false;     // its order came from the stack or the storehouse
};

// Ordering at the end of polling (pure functions).
// The control unit's stack agrees with the modules found: as many non-zero
// entries as modules, no entry twice, no address twice, every address in
// the stack.
bool stackConsistent(const std::array<std::uint8_t, 16>& stack,
                     const std::vector<FoundModule>& modules);
void orderByStack(const std::array<std::uint8_t, 16>& stack, std::vector<FoundModule>& modules);
// Puts the modules in the order of a storehouse record, each taking the word
// stored there; modules the record does not know follow, unplaced.
void orderByRecord(const std::string& record, std::vector<FoundModule>& modules);
// Detectors first (in their order), the others by word; then the
// addresses made unique within each class. False (and nothing changed)
// when a class has more than four modules.
bool checkAndSetAddresses(std::vector<FoundModule>& modules);

class CPlugAndPlay {
  public:
    static constexpr int kIdle = 10;

    struct Hooks {
        std::function<void(std::string_view)> log;      // a new "# " work-log line
        std::function<void(std::string_view)> append;   // continuation of the last line
        std::function<void(std::string_view)> message;  // a message for the operator
    };

    // The storehouse may be null (nothing is remembered).
    CPlugAndPlay(CSerialStorehouse* storehouse, Hooks hooks);
    // Replaces the storehouse; the procedure keeps it alive while it runs.
    void setStorehouse(std::shared_ptr<CSerialStorehouse> storehouse);

    // Starts from state 0. With autoConfirm the composition is accepted
    // without waiting for the operator (unattended instruments, tests).
    void start(bool autoConfirm = false);
    // The operator's cancel: the procedure stops where it is.
    void cancel();
    // The operator accepted the composition shown at state 6.
    void confirm();

    bool active() const;
    int state() const;
    // True once a procedure ran to its end (stack written).
    bool completed() const;

    // Writer thread: the request due now, if any. `marked`: markSent() will
    // follow once the request is on the line, and until then no packet
    // counts for it (the reader may take a backlog of packets that left the
    // instrument before the request reached it while it is still being
    // written).
    std::optional<std::array<std::uint8_t, wire::kKalderRequestSize>> buildRequest(
        bool marked = false);
    // Writer thread, once the request is on the line: `inputMark` is the
    // received stream's position at that moment (CDevice::inputMark).
    void markSent(std::uint64_t inputMark);
    // Reader thread: the answer slot of every type 0, 1 or 2 packet, with
    // the position in the received stream where the packet ended. A packet
    // that was already on its way when the request went out neither
    // answers it nor counts against its wait.
    void onPacket(const wire::KalderAnswer& answer,
                  std::uint64_t streamEnd = std::numeric_limits<std::uint64_t>::max());

    std::string progressText() const;
    std::vector<FoundModule> modules() const;
    std::uint32_t cpuSerial() const;
    std::array<std::uint8_t, 16> stack() const;

  private:
    struct Request {
        std::uint8_t address;
        std::uint16_t number;
        std::uint32_t value;
        bool write;
    };
    using Out = std::vector<std::pair<int, std::string>>;  // 0 log, 1 append, 2 message

    void queueLocked(Request r);
    void finishLocked(Out& out);
    void endPollingLocked(Out& out);
    void confirmNextLocked(Out& out);
    void pollNextLocked(Out& out);
    std::string foundListLocked() const;
    void publish(Out& out) const;

    Hooks hooks_;

    mutable std::mutex mutex_;  // guards everything below
    CSerialStorehouse* storehouse_;
    std::shared_ptr<CSerialStorehouse> ownedStorehouse_;
    int state_ = kIdle;
    bool autoConfirm_ = false;
    bool completed_ = false;
    std::optional<Request> next_;  // waiting for the writer
    std::optional<Request> sent_;  // on the line, answer awaited
    int packets_ = 0;              // packets since the last request went out
    // Received stream position when it went out; kUnmarked while a marked
    // request is still being written.
    std::uint64_t sentMark_ = 0;
    int tact_ = 0;  // packets since the start
    std::uint32_t cpuSerial_ = 0;
    std::array<std::uint8_t, 16> stack_{};
    int stackIndex_ = 0;
    int poll_ = 0;      // t
    int lastFind_ = 0;  // f
    std::optional<std::uint32_t> candidate_;
    std::vector<FoundModule> modules_;
    std::size_t confirmIndex_ = 0;
};

}  // namespace zelmora
