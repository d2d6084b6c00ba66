#include "instruments/ehd_detector.h"

#include <chrono>
#include <cmath>

#include "app/settings_store.h"
#include "app/text.h"
#include "app/work_log.h"
#include "method/instrument_settings.h"

namespace zelmora {

namespace {

// Frames of every kind (0 ... 3) seen.
constexpr unsigned kAllKinds = 0xF;
// After a pass that sent commands the writer waits for the instrument to
// report every kind again (four frames, about 0.3 s) before it compares.
constexpr int kSettleAfterCommandsMs = 400;
// And looks again this often while everything agrees.
constexpr int kIdleCompareMs = 50;

int clampInt(int v, int lo, int hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

}  // namespace

EhdSettings EhdSettings::fromMethod(const MethodEhdSettings& m, bool invert) {
    EhdSettings s;
    s.mode = clampInt(m.mode, 0, 2);
    s.range = m.range == 1 ? 1 : 0;
    s.detectorTemperature = wire::ehdTemperatureCode(m.detectorTemperature);
    s.columnTemperature = wire::ehdTemperatureCode(m.columnTemperature);
    s.cleaningTime = wire::ehdTimeCode(m.cleaningTime);
    s.restoringTime = wire::ehdTimeCode(m.restoringTime);
    s.delayTime = wire::ehdTimeCode(m.delayTime);
    s.measuringPotential = wire::ehdPotentialCode(m.measuringPotential);
    s.cleaningPotential = wire::ehdPotentialCode(m.cleaningPotential);
    s.restoringPotential = wire::ehdPotentialCode(m.restoringPotential);
    s.detectorThermostat = m.detectorThermostat != 0;
    s.columnThermostat = m.columnThermostat != 0;
    s.invert = invert;
    return s;
}

MethodEhdSettings EhdSettings::toMethod() const {
    MethodEhdSettings m;
    m.mode = mode;
    m.range = range;
    m.detectorTemperature = wire::ehdTemperatureCelsius(detectorTemperature);
    m.columnTemperature = wire::ehdTemperatureCelsius(columnTemperature);
    m.cleaningTime = wire::ehdTimeSeconds(cleaningTime);
    m.restoringTime = wire::ehdTimeSeconds(restoringTime);
    m.delayTime = wire::ehdTimeSeconds(delayTime);
    m.measuringPotential = wire::ehdPotentialVolts(measuringPotential);
    m.cleaningPotential = wire::ehdPotentialVolts(cleaningPotential);
    m.restoringPotential = wire::ehdPotentialVolts(restoringPotential);
    m.detectorThermostat = detectorThermostat ? 1 : 0;
    m.columnThermostat = columnThermostat ? 1 : 0;
    return m;
}

CEhdDetector::CEhdDetector() = default;

CEhdDetector::~CEhdDetector() {
    close();
}

std::string CEhdDetector::statusText() const {
    switch (runState()) {
        case 0:
            return "Ожидание";
        case 1:
            return "Установка параметров";
        case 4:
            return "Установка температуры детектора";
        case 5:
            return "Прибор готов к записи";
        case 6:
        case 15:
            return "Анализ";
        default:
            return {};
    }
}

void CEhdDetector::saveSettings(SettingsStore& store, const std::string& key) const {
    CDevice::saveSettings(store, key);
    const EhdSettings s = wanted();
    store.setInt(key, "Urel", s.measuringPotential);
    store.setInt(key, "Uoch", s.cleaningPotential);
    store.setInt(key, "Uwost", s.restoringPotential);
    store.setInt(key, "Tdet", s.detectorTemperature);
    store.setInt(key, "Tkol", s.columnTemperature);
    store.setInt(key, "Toch", s.cleaningTime);
    store.setInt(key, "Twost", s.restoringTime);
    store.setInt(key, "Tzad", s.delayTime);
    store.setInt(key, "DetRezhim", s.mode);
    store.setInt(key, "Diapazon", s.range);
    store.setInt(key, "TermostatDEnable", s.detectorThermostat ? 1 : 0);
    store.setInt(key, "TermostatKEnable", s.columnThermostat ? 1 : 0);
    store.setInt(key, "InvertSignal", s.invert ? 1 : 0);
}

void CEhdDetector::loadSettings(const SettingsStore& store, const std::string& key) {
    CDevice::loadSettings(store, key);
    // A stored value outside the instrument's code range reads as the
    // default: the instrument would take only its low bits.
    auto code = [&](const char* name, int def, int max) {
        const int v = store.readInt(key, name, def);
        return v >= 0 && v <= max ? v : def;
    };
    EhdSettings s;
    s.measuringPotential = code("Urel", s.measuringPotential, wire::kEhdCodeMax);
    s.cleaningPotential = code("Uoch", s.cleaningPotential, wire::kEhdCodeMax);
    s.restoringPotential = code("Uwost", s.restoringPotential, wire::kEhdCodeMax);
    s.detectorTemperature = code("Tdet", s.detectorTemperature, wire::ehdTemperatureCode(50));
    s.columnTemperature = code("Tkol", s.columnTemperature, wire::ehdTemperatureCode(50));
    s.cleaningTime = code("Toch", s.cleaningTime, wire::ehdTimeCode(800));
    s.restoringTime = code("Twost", s.restoringTime, wire::ehdTimeCode(800));
    s.delayTime = code("Tzad", s.delayTime, wire::ehdTimeCode(800));
    s.mode = code("DetRezhim", 0, 2);
    s.range = store.readInt(key, "Diapazon", 0) == 1 ? 1 : 0;
    s.detectorThermostat = store.readInt(key, "TermostatDEnable", 1) != 0;
    s.columnThermostat = store.readInt(key, "TermostatKEnable", 1) != 0;
    s.invert = store.readInt(key, "InvertSignal", 0) != 0;
    std::lock_guard lock(mutex_);
    wanted_ = s;
}

EhdSettings CEhdDetector::wanted() const {
    std::lock_guard lock(mutex_);
    return wanted_;
}

void CEhdDetector::applyWanted(const EhdSettings& s) {
    {
        std::lock_guard lock(mutex_);
        wanted_ = s;
    }
    setRunState(1);
    writerWake_.notify_all();
}

EhdReported CEhdDetector::reported() const {
    std::lock_guard lock(mutex_);
    return reported_;
}

bool CEhdDetector::knowsReported() const {
    std::lock_guard lock(mutex_);
    return seenKinds_ == kAllKinds;
}

bool CEhdDetector::wantedAnalysis() const {
    std::lock_guard lock(mutex_);
    return wantedAnalysis_;
}

void CEhdDetector::setRunState(int state) {
    std::lock_guard lock(stateMutex_);
    setRunStateLocked(state);
}

void CEhdDetector::advanceState(int from, int to) {
    std::lock_guard lock(stateMutex_);
    if (runState_.load() == from)
        setRunStateLocked(to);
}

void CEhdDetector::setRunStateLocked(int state) {
    stateEnteredMs_.store(nowMs());
    runState_.store(state);
    if (state == 6 || state == 15) {
        {
            std::lock_guard lock(mutex_);
            wantedAnalysis_ = state == 6;
        }
        writerWake_.notify_all();
    }
}

void CEhdDetector::onRecordingStarted(int) {
    skip_.store(kSkipFrames);
    setRunState(6);
}

void CEhdDetector::onRecordingStopped(int) {
    setRunState(15);
}

void CEhdDetector::onMethodStarted(int channel) {
    // The method's detector block is not loaded into the detector: the
    // operator sets it through the settings page ("<- Из метода").
    CDevice::onMethodStarted(channel);
    setRunState(1);
}

void CEhdDetector::onLinkOpened() {
    parser_ = {};
    lastReceiveMs_ = nowMs();
    {
        std::lock_guard lock(mutex_);
        seenKinds_ = 0;
        haveAverage_ = {};
        wantedAnalysis_ = false;
    }
    runState_.store(0);
    // The instrument's link-opening sweep: command 19 with every value
    // 0 ... 126, each twice.
    const int pauseMs = sweepPauseMs_.load();
    for (int v = 0; v <= 126; ++v) {
        const std::uint8_t bytes[2] = {wire::kEhdLinkSweep, static_cast<std::uint8_t>(0x80 | v)};
        for (int twice = 0; twice < 2; ++twice) {
            write(bytes, 2);
            flush();
            if (pauseMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        }
    }
}

void CEhdDetector::onReceive(const std::uint8_t* bytes, std::size_t count) {
    const std::int64_t now = nowMs();
    if (now - lastReceiveMs_ > kFrameGapMs)
        parser_.restartFrame();
    lastReceiveMs_ = now;
    for (std::size_t i = 0; i < count; ++i)
        if (parser_.feed(bytes[i]))
            decodeFrame(parser_.frame());
}

void CEhdDetector::decodeFrame(const wire::EhdFrame& f) {
    countFrame();
    double value = wire::ehdSignal(f.raw, f.range, f.mode);
    {
        std::lock_guard lock(mutex_);
        if (wanted_.invert)
            value = -value;
        EhdReported& r = reported_;
        r.settings.range = f.range;
        r.settings.mode = f.mode;
        r.ready = f.ready;
        r.analysis = f.analysis;
        r.settings.detectorThermostat = f.detectorThermostat;
        r.settings.columnThermostat = f.columnThermostat;
        r.raw = f.raw;
        r.signal = value;
        const double t = wire::ehdTemperatureCelsius(f.measuredTemperatureCode);
        if (f.detectorTemperatureMeasured)
            r.detectorTemperature = t;
        else
            r.columnTemperature = t;
        switch (f.kind) {
            case 0:
                r.settings.cleaningTime = f.cleaningTime;
                r.settings.restoringTime = f.restoringTime;
                r.settings.delayTime = f.delayTime;
                break;
            case 1:
                r.settings.measuringPotential = f.measuringPotential;
                r.settings.columnTemperature = f.columnTemperature;
                break;
            case 2:
                r.settings.cleaningPotential = f.cleaningPotential;
                r.settings.restoringPotential = f.restoringPotential;
                break;
            default:
                r.settings.detectorTemperature = f.detectorTemperature;
                break;
        }
        seenKinds_ |= 1u << f.kind;
        // Each average starts from its first value rather than from zero,
        // which it would take a minute to forget.
        auto average = [](double& avg, double v, bool& started) {
            avg = started ? (27 * avg + v) / 28 : v;
            started = true;
        };
        average(r.signalAverage, value, haveAverage_[0]);
        if (f.detectorTemperatureMeasured)
            average(r.detectorTemperatureAverage, t, haveAverage_[1]);
        else
            average(r.columnTemperatureAverage, t, haveAverage_[2]);
    }
    feedChannel(value);
    step();
}

// The first points after an analysis start carry the cell's switching
// transient: the 56th frame's value stands for all 56.
void CEhdDetector::feedChannel(double value) {
    if (channelCount() == 0)
        return;
    AcquisitionChannel& ch = channel(0);
    const int skip = skip_.load();
    if (skip == 0) {
        ch.addSample(value);
        return;
    }
    skip_.store(skip - 1);
    if (skip == 1)
        for (int i = 0; i < kSkipFrames; ++i)
            ch.addSample(value);
}

void CEhdDetector::step() {
    const int state = runState();
    const std::int64_t inState = nowMs() - stateEnteredMs_.load();
    switch (state) {
        case 0:
        case 6:
            return;
        case 1:
            if (inState > kSettleMs) {
                const EhdSettings w = wanted();
                advanceState(1, w.detectorThermostat || w.columnThermostat ? 4 : 5);
            }
            return;
        case 4: {
            const EhdSettings w = wanted();
            const EhdReported r = reported();
            const bool detectorOk = !w.detectorThermostat ||
                                    std::fabs(r.detectorTemperatureAverage -
                                              wire::ehdTemperatureCelsius(w.detectorTemperature)) <
                                        kTemperatureTolerance;
            const bool columnOk =
                !w.columnThermostat ||
                std::fabs(r.columnTemperatureAverage -
                          wire::ehdTemperatureCelsius(w.columnTemperature)) < kTemperatureTolerance;
            if (detectorOk && columnOk)
                advanceState(4, 5);
            return;
        }
        case 5:
            if (reported().ready)
                for (int c = 0; c < channelCount(); ++c)
                    if (channel(c).isWaitingForStart())
                        channel(c).triggerStart();
            return;
        case 15:
            advanceState(15, 0);
            return;
        default:
            advanceState(state, 1);
            return;
    }
}

bool CEhdDetector::startWorkers() {
    {
        std::lock_guard lock(mutex_);
        writerStop_ = false;
    }
    setRunState(1);
    writer_ = std::thread([this] {
        writerLoop();
        addCpuOfThisThread();
    });
    return true;
}

void CEhdDetector::stopWorkers() {
    {
        std::lock_guard lock(mutex_);
        writerStop_ = true;
    }
    writerWake_.notify_all();
    if (writer_.joinable())
        writer_.join();
}

bool CEhdDetector::pause(int ms) {
    std::unique_lock lock(mutex_);
    writerWake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return writerStop_; });
    return !writerStop_;
}

void CEhdDetector::writerLoop() {
    for (;;) {
        EhdSettings want;
        EhdReported got;
        bool wantAnalysis = false;
        bool known = false;
        {
            std::unique_lock lock(mutex_);
            if (writerStop_)
                return;
            want = wanted_;
            wantAnalysis = wantedAnalysis_;
            got = reported_;
            known = seenKinds_ == kAllKinds;
        }
        // Nothing is compared before the instrument reported every setting.
        int sent = 0;
        if (known && !sendDifferences(want, wantAnalysis, got, sent))
            return;
        if (!pause(sent > 0 ? kSettleAfterCommandsMs : kIdleCompareMs))
            return;
    }
}

void CEhdDetector::send(int command, int value) {
    const wire::EhdCommandBytes b = wire::buildEhdCommand(command, value);
    if (write(b.data(), b.size()))
        ++commandsSent_;
}

bool CEhdDetector::sendCode12(int firstCommand, int code) {
    send(firstCommand, code & 0x3F);
    send(firstCommand + 1, (code >> 6) & 0x3F);
    return pause(50);
}

bool CEhdDetector::sendDifferences(const EhdSettings& w, bool wantAnalysis, const EhdReported& r,
                                   int& sent) {
    const EhdSettings& g = r.settings;
    struct Code12 {
        int want, got, command;
    };
    for (const Code12& c :
         {Code12{w.measuringPotential, g.measuringPotential, wire::kEhdMeasuringPotential},
          Code12{w.cleaningPotential, g.cleaningPotential, wire::kEhdCleaningPotential},
          Code12{w.restoringPotential, g.restoringPotential, wire::kEhdRestoringPotential},
          Code12{w.columnTemperature, g.columnTemperature, wire::kEhdColumnTemperature},
          Code12{w.detectorTemperature, g.detectorTemperature, wire::kEhdDetectorTemperature}}) {
        if (c.want == c.got)
            continue;
        ++sent;
        if (!sendCode12(c.command, c.want))
            return false;
    }
    for (const Code12& c : {Code12{w.cleaningTime, g.cleaningTime, wire::kEhdCleaningTime},
                            Code12{w.restoringTime, g.restoringTime, wire::kEhdRestoringTime},
                            Code12{w.delayTime, g.delayTime, wire::kEhdDelayTime}}) {
        if (c.want == c.got)
            continue;
        ++sent;
        send(c.command, c.want);
        if (!pause(50))
            return false;
    }
    const int modeCommand = wire::kEhdMode0 + clampInt(w.mode, 0, 2);
    if (w.mode != g.mode) {
        ++sent;
        send(modeCommand, 0);
        if (!pause(1000))
            return false;
        if (w.range == 0) {
            send(wire::kEhdFineRange, 0);
            if (!pause(1000))
                return false;
        }
    } else if (w.range != g.range) {
        ++sent;
        send(w.range == 1 ? modeCommand : wire::kEhdFineRange, 0);
        if (!pause(1000))
            return false;
    }
    auto flag = [&](bool want, bool got, int on, int off) {
        if (want == got)
            return true;
        ++sent;
        send(want ? on : off, 0);
        return pause(50);
    };
    return flag(wantAnalysis, r.analysis, wire::kEhdAnalysisOn, wire::kEhdAnalysisOff) &&
           flag(w.detectorThermostat, g.detectorThermostat, wire::kEhdDetectorThermostatOn,
                wire::kEhdDetectorThermostatOff) &&
           flag(w.columnThermostat, g.columnThermostat, wire::kEhdColumnThermostatOn,
                wire::kEhdColumnThermostatOff);
}

}  // namespace zelmora
