#pragma once
// The simulated HT300 autosampler: it reads the program's requests and
// answers every command with its mode in the header, reports its tray and
// syringe (command 17) and identification (command 3), and goes through an
// injection as the real sampler does, one status request at a time: after
// "select sample" (6) it works (mode 1) and is then ready to inject (15);
// after "inject" (4) it injects into the near or far injector (16 or 17),
// reports the injection done (18) and washes (19) back to waiting (0).
//
// Faults on request, by the number of the request they answer (counted
// from 0): no answer at all, an answer with a wrong check byte, an answer
// cut short, a command refused ("Команду невозможно выполнить"). The model is not thread-safe; its
// simulator guards it.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "instruments/wire/ht300_frame.h"

namespace zelmora::sim {

enum class Ht300FaultKind { NoAnswer, BadCheck, Short, Refuse };

struct Ht300Fault {
    Ht300FaultKind kind = Ht300FaultKind::NoAnswer;
    std::uint64_t request = 0;  // first request it applies to
    std::uint64_t every = 0;    // repeat every so many requests (0: once)
    // Only requests of this command, counted among themselves (-1: all).
    int command = -1;
    bool appliesTo(std::uint64_t n) const;
};

struct Ht300SimConfig {
    int trayCode = 64;    // 16 → 10 vials, 64 → 40, 153 → 110
    int syringeCode = 2;  // 10 µl
    std::string identification = "HT300";
    std::vector<Ht300Fault> faults;
    std::uint64_t requestLimit = 0;  // stop after so many requests (0: never)
    // Data bytes of the answer to command 17 (9 in full; fewer for a sampler
    // whose answer is short of the tray code).
    std::size_t trayAnswerBytes = 9;
};

// One request as the sampler read it.
struct Ht300Request {
    int command = 0;
    std::vector<std::uint8_t> data;
};

class Ht300Model {
  public:
    explicit Ht300Model(Ht300SimConfig config);

    // Bytes from the program; the answers to send back, in order.
    std::string receive(const std::uint8_t* bytes, std::size_t count);

    int mode() const { return mode_; }
    const std::vector<Ht300Request>& requests() const { return requests_; }
    std::uint64_t requestCount() const { return requestCount_; }
    int injections() const { return injections_; }
    int lastVial() const { return lastVial_; }
    std::uint64_t faultsApplied() const { return faultsApplied_; }
    std::uint64_t badRequests() const { return badRequests_; }

  private:
    std::string answer(const Ht300Request& r);
    void advance();

    Ht300SimConfig config_;
    wire::Ht300RequestParser parser_;
    std::vector<Ht300Request> requests_;
    std::uint64_t requestCount_ = 0;
    std::uint64_t faultsApplied_ = 0;
    std::uint64_t badRequests_ = 0;
    std::uint64_t perCommand_[256] = {};  // requests of each command so far
    int mode_ = 0;
    std::vector<int> script_;  // modes still to come, one per status request
    bool farInjector_ = false;
    int injections_ = 0;
    int lastVial_ = 0;
};

// The options of "zelmora-sim ht300"; false with `error` on a bad one.
bool parseHt300SimArgs(const std::vector<std::string>& args, Ht300SimConfig& config,
                       std::string* error);
// One "--fault" value: KIND@N[/EVERY] or KIND@cC:N[/EVERY] (the N-th request
// of command C), KIND = noanswer | badcheck | short | refuse.
bool parseHt300Fault(std::string_view s, Ht300Fault& f);
extern const char* const kHt300SimUsage;

}  // namespace zelmora::sim
