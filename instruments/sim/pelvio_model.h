#pragma once
// The simulated Pelvio autosampler, byte by byte, without any line: what the
// sampler sends and how it answers the program, in the sampler's own time
// (milliseconds of a clock the caller passes in).
//
// On its own the sampler identifies itself (type 2, value 0) until the
// program acknowledges, then again every few seconds as a sign of life; it
// asks for the chromatograph's status (type 3) every second and remembers
// the answer; it acknowledges the parameters (type 3) and the start and stop
// codes (type 2). Once started it works through its series: an injection
// (event 1, 0) when the interval has passed and the chromatograph is not in
// an analysis, as many as the parameters ask for ((last vial - first vial +
// 1) x injections per vial), then the end of the series (event 1, 2). An
// event is repeated every second until the program acknowledges it; the
// interval to the next injection runs from the acknowledgement.
//
// Faults on request or scheduled by injection: the injection report sent
// with a wrong check byte, cut short or declaring too long a frame (the
// intact report follows, as it is not acknowledged); silence (nothing sent,
// nothing heard); commands left unacknowledged; a fault of the sampler
// itself (type 2 with the code 1-6), after which it injects no more.
//
// Not thread-safe: its owner serialises the calls.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "instruments/wire/pelvio_frame.h"

namespace zelmora::sim {

using PelvioPayload = std::vector<std::uint8_t>;

// How an injection report is damaged on the line.
enum class PelvioDamage { None, BadCheck, Short, Long };

struct PelvioSimFault {
    enum class Kind { BadCheck, Short, Long, Silence, NoAnswer, Sampler };
    Kind kind = Kind::BadCheck;
    // BadCheck, Short, Long, Sampler: the injection it replaces or damages
    // (from 1); Silence: after the acknowledgement of this injection (0:
    // of the identification); NoAnswer: the program's command (from 1,
    // parameters and start/stop codes counted together).
    int at = 1;
    // Silence: milliseconds; NoAnswer: commands left unanswered; Sampler:
    // the fault code 1-6.
    int arg = 0;
};

struct PelvioSimConfig {
    double speed = 1.0;                // divides the interval between injections
    double injectEverySeconds = 10.0;  // 0: injections only on request
    int injections = 0;                // 0: as the parameters ask
    bool waitForAnalysis = true;       // no injection while the status is 5 (analysis)
    // Passive: sends nothing on its own and acknowledges nothing (a test
    // plays the sampler frame by frame).
    bool passive = false;
    int heartbeatMs = 1000;  // status requests, identification until acknowledged
    int aliveMs = 3000;      // identification once acknowledged
    int repeatMs = 1000;     // an unacknowledged event again
    std::vector<PelvioSimFault> faults;
};

// "zelmora-sim pelvio" options; false with `error` filled on a bad option.
bool parsePelvioArgs(const std::vector<std::string>& args, PelvioSimConfig& config,
                     std::string* error);
// One "--fault" value of the sampler: KIND@N[:A].
bool parsePelvioFault(std::string_view s, PelvioSimFault& f);
extern const char* const kPelvioSimUsage;

class PelvioModel;
// One line an operator types to the simulator: "inject [bad-check|short|
// long]", "end", "fault CODE" (1-6), "silence MS", "no-answer [K]"; false
// for anything else (the model unchanged).
bool applyPelvioCommand(PelvioModel& m, std::string_view line, std::int64_t nowMs);

class PelvioModel {
  public:
    explicit PelvioModel(PelvioSimConfig config);
    const PelvioSimConfig& config() const { return config_; }

    // Bytes from the program at time `nowMs`.
    void receive(const std::uint8_t* bytes, std::size_t count, std::int64_t nowMs);
    // What the sampler sends by `nowMs` (answers included); empty while silent.
    std::vector<std::uint8_t> poll(std::int64_t nowMs);

    // On request.
    void requestInjection(PelvioDamage damage = PelvioDamage::None);
    void requestEnd();
    void requestSamplerFault(int code);
    void silence(std::int64_t nowMs, int ms);
    void ignoreCommands(int count);
    // A frame of the sampler's, or any bytes, straight onto the line.
    void sendPayload(const PelvioPayload& p);
    void sendRaw(const std::vector<std::uint8_t>& bytes);

    bool identified() const { return identified_; }
    bool seriesRunning() const { return running_; }
    bool parametersKnown() const { return parameters_.has_value(); }
    // The nine parameter bytes last received.
    PelvioPayload parameters() const { return parameters_.value_or(PelvioPayload{}); }
    int injectionsDone() const { return injectionsDone_; }
    int injectionsPlanned() const;
    int lastStatus() const { return lastStatus_; }
    int statusAnswers() const { return statusAnswers_; }
    int samplerFault() const { return samplerFault_; }
    bool seriesEnded() const { return seriesEnded_; }
    int commandsReceived() const { return commands_; }
    int commandsIgnored() const { return ignored_; }
    std::uint64_t badFramesReceived() const { return badFrames_; }
    // Every good frame of the program, in order.
    const std::vector<PelvioPayload>& received() const { return received_; }

  private:
    void handle(const PelvioPayload& p, std::int64_t nowMs);
    void emit(const PelvioPayload& p, PelvioDamage damage = PelvioDamage::None);
    void startEvent(PelvioPayload p, PelvioDamage damage, std::int64_t nowMs);
    bool nextInjectionDue(std::int64_t nowMs) const;
    void injectOrEnd(std::int64_t nowMs);
    void inject(PelvioDamage damage, std::int64_t nowMs);
    void reportFault(int code);
    bool acknowledge(int subtype);
    // The scheduled fault of this kind at `at`, marked as used (each
    // applies once).
    const PelvioSimFault* scheduled(PelvioSimFault::Kind kind, int at);

    const PelvioSimConfig config_;
    wire::PelvioRequestParser parser_;
    std::vector<std::uint8_t> out_;
    std::vector<PelvioPayload> received_;
    std::uint64_t badFrames_ = 0;

    bool identified_ = false;
    std::int64_t lastIdentMs_ = -1;
    std::int64_t lastStatusRequestMs_ = -1;
    std::optional<PelvioPayload> parameters_;
    bool running_ = false;
    bool seriesEnded_ = false;
    int injectionsDone_ = 0;
    std::int64_t lastInjectionMs_ = 0;
    std::int64_t lastAnalysisMs_ = -1;      // last status answer "analysis"
    std::optional<PelvioPayload> pending_;  // event awaiting its acknowledgement
    int pendingInjection_ = 0;              // its injection number, 0 for the end
    std::int64_t pendingSentMs_ = 0;
    int lastStatus_ = 0;
    int statusAnswers_ = 0;
    int samplerFault_ = 0;
    std::int64_t silentUntilMs_ = -1;
    std::vector<bool> used_;  // per scheduled fault
    int commands_ = 0;
    int ignoreLeft_ = 0;
    int ignored_ = 0;
    int injectRequests_ = 0;
    PelvioDamage requestedDamage_ = PelvioDamage::None;
    bool endRequested_ = false;
    int faultRequested_ = 0;
};

}  // namespace zelmora::sim
