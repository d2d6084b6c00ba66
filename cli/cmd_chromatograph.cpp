// zelmora-cli chromatograph: bring a connected chromatograph to readiness,
// show its run state and its faults.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/settings_store.h"
#include "app/text.h"
#include "cli/cli.h"
#include "cli/interrupt_signals.h"
#include "cli/json.h"
#include "instruments/device_manager.h"
#include "instruments/device_types.h"
#include "instruments/kalder_instrument.h"

namespace zelmora::cli {
namespace {

using Clock = std::chrono::steady_clock;

std::int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
        .count();
}

void writeAlarms(JsonWriter& j, const CKalderInstrument& d) {
    auto& alarms = const_cast<CKalderInstrument&>(d).alarms();
    j.key("stopReason");
    if (const auto r = alarms.stopReason())
        j.beginObject().field("code", r->code).field("text", r->text()).endObject();
    else
        j.null();
    j.key("alarms").beginArray();
    for (const AlarmRecord& a : alarms.recorded())
        j.beginObject().field("code", a.code).field("text", a.text()).endObject();
    j.endArray();
}

void printState(const CKalderInstrument& d, bool json) {
    const CKalderRunState::Snapshot now = d.runStates().snapshot();
    const int s = now.state;
    if (json) {
        JsonWriter j;
        j.beginObject()
            .field("state", s)
            .field("text", runStateText(s, std::max(0, now.ignitionAttempt - 1)))
            .field("ready", s == run_state::kReady)
            .field("lamps", static_cast<long long>(now.lamps));
        j.key("reasons").beginArray();
        std::string r = now.readiness;
        for (std::size_t p = 0; (p = r.find("\r\n")) != std::string::npos; r.erase(0, p + 2))
            j.value(r.substr(0, p));
        j.endArray();
        writeAlarms(j, d);
        j.endObject();
        std::puts(j.str().c_str());
        return;
    }
    std::string t = now.status;
    for (std::size_t p; (p = t.find("\r\n")) != std::string::npos;)
        t.replace(p, 2, "\n");
    std::printf("%d %s\n", s, t.c_str());
}

int run(Args& args) {
    if (!args.parse({"--json"}, {"--device", "--timeout", "--time-scale"}))
        return kExitUsage;
    if (args.positional().size() != 1)
        return args.usageError("укажите ready, state или alarms");
    const std::string what = args.positional()[0];
    if (what != "ready" && what != "state" && what != "alarms")
        return args.usageError("неизвестное действие: " + what);
    const auto deviceText = args.option("--device");
    const auto deviceNo = deviceText ? text::parseInt(*deviceText) : std::nullopt;
    if (!deviceNo)
        return args.usageError("укажите --device N (номер прибора с 1)");
    double timeout = what == "ready" ? 1800 : 3;
    if (const auto t = args.option("--timeout")) {
        const auto v = text::parseDouble(*t);
        if (!v || *v <= 0 || *v > 24 * 3600)
            return args.usageError("время ожидания в секундах: " + *t);
        timeout = *v;
    }
    double scale = 1;
    if (const auto t = args.option("--time-scale")) {
        const auto v = text::parseDouble(*t);
        if (!v || *v <= 0 || *v > 1000)
            return args.usageError("масштаб времени от 0 до 1000: " + *t);
        scale = *v;
    }
    const bool json = args.flag("--json");

    const WorkLogSession session;
    CDeviceManager m(userSettings());
    m.load();
    if (*deviceNo < 1 || *deviceNo > m.count())
        return failure(text::format("нет прибора %lld (в списке %d)", *deviceNo, m.count()));
    const int di = static_cast<int>(*deviceNo) - 1;
    auto* d = dynamic_cast<CKalderInstrument*>(&m.device(di));
    if (d == nullptr)
        return failure(text::format("прибор %d не хроматограф", di + 1));
    if (scale != 1) {
        // The run states' timers follow a simulator that runs faster.
        const std::int64_t start = steadyMs();
        d->setClock([start, scale] {
            return start +
                   static_cast<std::int64_t>(static_cast<double>(steadyMs() - start) * scale);
        });
    }
    std::fprintf(stderr, "Подключение: прибор %d (%s), %s\n", di + 1, d->displayName().c_str(),
                 m.portPath(d->portIndex()).c_str());
    if (const Status connected = m.connect(di); !connected)
        return failure(connected, "Подключить прибор не удалось. ");

    const InterruptSignals interrupt;
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(static_cast<long long>(timeout * 1000));
    int result = kExitOk;
    if (what == "ready") {
        int lastState = -1;
        std::string lastReasons;
        result = kExitFailure;
        while (Clock::now() < deadline && InterruptSignals::caught() == 0 && d->isRunning()) {
            const int s = d->runState();
            const std::string reasons = d->runStates().readinessText();
            if (s != lastState) {
                std::fprintf(
                    stderr, "Состояние %d: %s\n", s,
                    runStateText(s, std::max(0, d->runStates().ignitionAttempt() - 1)).c_str());
                lastState = s;
            }
            if (reasons != lastReasons) {
                std::string r = reasons;
                for (std::size_t p; (p = r.find("\r\n")) != std::string::npos;)
                    r.replace(p, 2, "; ");
                if (!r.empty())
                    std::fprintf(stderr, "  %s\n", r.c_str());
                lastReasons = reasons;
            }
            if (s == run_state::kReady) {
                result = kExitOk;
                break;
            }
            if (s == run_state::kError || s == run_state::kStopped) {
                std::string t = d->alarms().stopReasonText();
                for (std::size_t p; (p = t.find("\r\n")) != std::string::npos;)
                    t.replace(p, 2, "\n");
                std::fprintf(stderr, "%s", t.c_str());
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (result != kExitOk && d->runState() != run_state::kError &&
            InterruptSignals::caught() == 0)
            std::fprintf(stderr, "zelmora-cli: прибор не вышел на режим за %.0f с\n", timeout);
        printState(*d, json);
    } else {
        // The first steps: composition, zone names and the faults they show.
        while (Clock::now() < deadline && InterruptSignals::caught() == 0 && d->isRunning())
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (what == "state") {
            printState(*d, json);
        } else if (json) {
            JsonWriter j;
            j.beginObject();
            writeAlarms(j, *d);
            j.endObject();
            std::puts(j.str().c_str());
        } else if (!d->alarms().hasAlarms()) {
            std::printf("Ошибок нет.\n");
        } else {
            std::string t = d->alarms().stopReasonText();
            for (std::size_t p; (p = t.find("\r\n")) != std::string::npos;)
                t.replace(p, 2, "\n");
            std::printf("%s", t.c_str());
        }
    }
    m.disconnect(di);
    return result;
}

}  // namespace

extern const CliCommand kCommand_chromatograph = {
    "chromatograph", "хроматограф: выход на режим, состояние, ошибки",
    "Использование:\n"
    "  zelmora-cli chromatograph --device N ready [--timeout S] [--json]\n"
    "  zelmora-cli chromatograph --device N state [--timeout S] [--json]\n"
    "  zelmora-cli chromatograph --device N alarms [--timeout S] [--json]\n"
    "ready   подключает хроматограф и выводит его на режим: каждое изменение\n"
    "        состояния и причины неготовности - в stderr; код 0 только когда\n"
    "        прибор готов к записи (по умолчанию ждёт 1800 с)\n"
    "state   состояние прибора через S секунд после подключения (по умолчанию 3)\n"
    "alarms  ошибки прибора через S секунд после подключения\n"
    "  --time-scale X  часы состояний идут в X раз быстрее (для симулятора с --speed X)\n"
    "  --json          результат в формате JSON\n",
    run};

}  // namespace zelmora::cli
