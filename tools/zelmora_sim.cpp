// zelmora-sim: a simulated instrument on a pseudo-terminal. It prints the
// terminal's path on the first line of its output and sends the
// instrument's frames until it is interrupted or its frame limit is reached.

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "instruments/sim/ht300_pty_simulator.h"
#include "instruments/sim/kalder_pty_simulator.h"
#include "instruments/sim/pelvio_pty_simulator.h"
#include "instruments/sim/pty_simulator.h"

namespace {

volatile sig_atomic_t gStop = 0;

void onSignal(int) {
    gStop = 1;
}

void installSignals() {
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

// The chromatograph: packets, modules answering their parameters and the
// plug-and-play bus.
int runKalder(const std::vector<std::string>& args) {
    if (args.size() > 1 && (args[1] == "--help" || args[1] == "-h")) {
        std::fputs(zelmora::sim::kKalderSimUsage, stdout);
        return 0;
    }
    zelmora::sim::KalderSimConfig config;
    std::string error;
    if (!zelmora::sim::parseKalderArgs(args, config, &error)) {
        std::fprintf(stderr, "zelmora-sim: %s\n", error.c_str());
        return 2;
    }
    installSignals();
    zelmora::sim::KalderPtySimulator sim(config);
    if (!sim.start(&error)) {
        std::fprintf(stderr, "zelmora-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", sim.path().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "zelmora-sim: kalder, %.1f пакетов/с, %d бод, модулей %zu, путь %s\n",
                 zelmora::sim::kKalderPacketRate * config.speed, config.baud, config.modules.size(),
                 sim.path().c_str());
    while (!gStop && !sim.finished())
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    sim.stop();
    const auto requests = sim.withModel([](auto& m) { return m.requests().size(); });
    std::fprintf(stderr, "zelmora-sim: передано пакетов %llu, принято запросов %zu\n",
                 static_cast<unsigned long long>(sim.packetsSent()), requests);
    return 0;
}

// One command of the operator to the simulated Pelvio sampler.
void pelvioCommand(zelmora::sim::PelvioPtySimulator& sim, const std::string& line) {
    if (line.find_first_not_of(" \t\r") == std::string::npos)
        return;
    if (line.rfind("status", 0) == 0) {
        sim.withModel([](auto& m) {
            std::fprintf(stderr,
                         "zelmora-sim: идентифицирован %d, серия %d, вводов %d из %d, "
                         "состояние хроматографа %d, ошибка %d\n",
                         m.identified(), m.seriesRunning(), m.injectionsDone(),
                         m.injectionsPlanned(), m.lastStatus(), m.samplerFault());
            return 0;
        });
        return;
    }
    const auto now = sim.now();
    if (!sim.withModel([&](auto& m) { return zelmora::sim::applyPelvioCommand(m, line, now); }))
        std::fprintf(stderr, "zelmora-sim: неизвестная команда: %s\n", line.c_str());
}

// The Pelvio autosampler: answers the program, injects on its timer and on
// the commands read from the standard input.
int runPelvio(const std::vector<std::string>& args) {
    if (args.size() > 1 && (args[1] == "--help" || args[1] == "-h")) {
        std::fputs(zelmora::sim::kPelvioSimUsage, stdout);
        return 0;
    }
    zelmora::sim::PelvioSimConfig config;
    std::string error;
    if (!zelmora::sim::parsePelvioArgs(args, config, &error)) {
        std::fprintf(stderr, "zelmora-sim: %s\n", error.c_str());
        return 2;
    }
    installSignals();
    zelmora::sim::PelvioPtySimulator sim(config);
    if (!sim.start(&error)) {
        std::fprintf(stderr, "zelmora-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", sim.path().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "zelmora-sim: pelvio, ввод каждые %.1f с, путь %s\n",
                 config.injectEverySeconds / config.speed, sim.path().c_str());
    bool input = true;
    std::string line;
    while (!gStop) {
        pollfd p{STDIN_FILENO, POLLIN, 0};
        if (!input || ::poll(&p, 1, 50) <= 0) {
            if (!input)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            continue;
        }
        char buf[256];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            input = false;  // no operator: the timer alone
            continue;
        }
        for (ssize_t i = 0; i < n; ++i) {
            if (buf[i] != '\n') {
                line += buf[i];
                continue;
            }
            pelvioCommand(sim, line);
            line.clear();
        }
    }
    sim.stop();
    const auto [done, fault, bad] = sim.withModel([](auto& m) {
        return std::tuple{m.injectionsDone(), m.samplerFault(), m.badFramesReceived()};
    });
    std::fprintf(stderr, "zelmora-sim: вводов %d, ошибка дозатора %d, испорченных кадров %llu\n",
                 done, fault, static_cast<unsigned long long>(bad));
    return 0;
}

// The HT300 autosampler: answers every command and injects on request.
int runHt300(const std::vector<std::string>& args) {
    if (args.size() > 1 && (args[1] == "--help" || args[1] == "-h")) {
        std::fputs(zelmora::sim::kHt300SimUsage, stdout);
        return 0;
    }
    zelmora::sim::Ht300SimConfig config;
    std::string error;
    if (!zelmora::sim::parseHt300SimArgs(args, config, &error)) {
        std::fprintf(stderr, "zelmora-sim: %s\n", error.c_str());
        return 2;
    }
    installSignals();
    zelmora::sim::Ht300PtySimulator sim(config);
    if (!sim.start(&error)) {
        std::fprintf(stderr, "zelmora-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", sim.path().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "zelmora-sim: ht300, лоток %d, шприц %d, путь %s\n", config.trayCode,
                 config.syringeCode, sim.path().c_str());
    while (!gStop && !sim.finished())
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    sim.stop();
    const auto [requests, injections, faults] = sim.withModel(
        [](auto& m) { return std::tuple(m.requestCount(), m.injections(), m.faultsApplied()); });
    std::fprintf(stderr, "zelmora-sim: принято запросов %llu, дозирований %d, сбоев %llu\n",
                 static_cast<unsigned long long>(requests), injections,
                 static_cast<unsigned long long>(faults));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::fputs(zelmora::sim::kSimUsage, args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    if (args[0] == "kalder")
        return runKalder(args);
    if (args[0] == "pelvio")
        return runPelvio(args);
    if (args[0] == "ht300")
        return runHt300(args);
    zelmora::sim::SimConfig config;
    std::string error;
    if (!zelmora::sim::parseSimArgs(args, config, &error)) {
        std::fprintf(stderr, "zelmora-sim: %s\n", error.c_str());
        return 2;
    }
    installSignals();

    zelmora::sim::PtySimulator sim(config);
    if (!sim.start(&error)) {
        std::fprintf(stderr, "zelmora-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", sim.path().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "zelmora-sim: %s, %.1f кадров/с, путь %s\n",
                 zelmora::sim::instrumentName(config.instrument),
                 zelmora::sim::instrumentFrameRate(config.instrument) * config.speed,
                 sim.path().c_str());
    while (!gStop && !sim.finished())
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    sim.stop();
    std::fprintf(stderr, "zelmora-sim: передано кадров %llu, потеряно %llu\n",
                 static_cast<unsigned long long>(sim.framesSent()),
                 static_cast<unsigned long long>(sim.framesDropped()));
    return 0;
}
