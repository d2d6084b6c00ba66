#include "instruments/kalder_instrument.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <system_error>

#include "app/program_settings.h"
#include "app/settings_store.h"
#include "app/text.h"
#include "app/work_log.h"
#include "instruments/device_types.h"
#include "instruments/kalder_modules.h"
#include "instruments/kalder_settings.h"
#include "instruments/placeholder_device.h"

namespace zelmora {

using namespace kalder;

namespace {

void logLine(std::string_view s) {
    CWorkLog::instance().write(s);
}

std::int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

void KalderLiveValues::update(const wire::KalderPacket& p) {
    ++packets;
    lastZoneCount = p.hasStatus ? p.zoneCount : 0;
    if (p.hasStatus) {
        state = p.state;
        errByte = p.errByte;
        panelMethod = p.panelMethod;
        buttons = p.buttons;
        for (int z = 0; z < p.zoneCount; ++z) {
            zoneTemp[static_cast<std::size_t>(z)] = p.zoneTemp[static_cast<std::size_t>(z)];
            heatingPower[static_cast<std::size_t>(z)] = p.heatingPower[static_cast<std::size_t>(z)];
        }
        programmeSetPoint = p.programmeSetPoint;
        mainsVolts = p.mainsVolts();
        flapPercent = p.flapPercent();
    }
    if (p.hasAlarms) {
        alarmBits = p.alarmBits;
        service = p.service;
    }
    for (int m = 0; m < wire::kKalderGasModules; ++m) {
        const auto mi = static_cast<std::size_t>(m);
        const auto bit = static_cast<std::uint16_t>(1u << m);
        if (p.flowMask & bit)
            flow[mi] = p.flow(m);
        if (p.valveMask & bit)
            valveVolts[mi] = p.valveVolts(m);
        if (p.inletMask & bit)
            inletPressure[mi] = p.inletPressure(m);
        if (p.outletMask & bit)
            outletPressure[mi] = p.outletPressure(m);
    }
    for (int c = 0; c < p.detectorCount; ++c)
        detectorRaw[static_cast<std::size_t>(c)] = p.detector[static_cast<std::size_t>(c)][0];
}

double kalderAuxValue(int s, const KalderLiveValues& v) {
    auto at = [](const auto& a, int i) {
        return static_cast<double>(a[static_cast<std::size_t>(i)]);
    };
    if (s >= 0 && s <= 7)
        return at(v.zoneTemp, s);
    if (s >= 8 && s <= 15)
        return at(v.heatingPower, s - 8);
    if (s >= 16 && s <= 23) {
        const int z = s - 16;
        const double set = z == 0 ? static_cast<double>(v.programmeSetPoint) : at(v.zoneSetTemp, z);
        return at(v.zoneTemp, z) - set;
    }
    if (s >= 24 && s <= 35)
        return at(v.flow, s - 24);
    if (s >= 36 && s <= 47)
        return at(v.flow, s - 36) - at(v.flowSet, s - 36);
    if (s >= 48 && s <= 59)
        return at(v.inletPressure, s - 48);
    if (s >= 60 && s <= 71)
        return at(v.outletPressure, s - 60);
    if (s >= 72 && s <= 83)
        return at(v.valveVolts, s - 72);
    if (s == 84)
        return v.flapPercent;
    if (s == 85)
        return v.mainsVolts;
    if (s >= 86 && s <= 88)
        return at(v.service, s - 86);
    return 0;
}

CKalderInstrument::CKalderInstrument(int type)
    : type_(type == 0 ? 0 : 1),
      queue_(0, &describeParam,
             ParamLog{[this](std::string_view s) { requestLog_.write(s); },
                      [this](std::string_view s) { requestLog_.append(s); }}),
      pnp_(nullptr, CPlugAndPlay::Hooks{[this](std::string_view s) { requestLog_.write(s); },
                                        [this](std::string_view s) { requestLog_.append(s); },
                                        [this](std::string_view s) { message(std::string(s)); }}),
      kept_(std::make_unique<CPlaceholderDevice>(type_)) {
    setReceiveTimeoutMs(kKalderReceiveTimeoutMs);
    KalderRunHooks h;
    h.nowMs = [this] { return nowMs(); };
    h.log = &logLine;
    h.playSound = [this](const char* name) {
        std::function<void(const char*)> sink;
        {
            std::lock_guard lock(settingsMutex_);
            sink = soundSink_;
        }
        if (sink)
            sink(name);
    };
    h.recording = [this](int c) {
        return c >= 0 && c < channelCount() && channel(c).isRecording();
    };
    h.inUse = [this](int c) { return c >= 0 && c < channelCount() && channel(c).inUse(); };
    h.autosamplerActive = [this] { return pelvio_.isOpen() && pelvio_.isActive(); };
    h.recordedMinutes = [this](int c) {
        return c >= 0 && c < channelCount() ? channel(c).recordedMinutes() : 0.0;
    };
    // The presses are the reader thread's: it forgets them at its next packet.
    h.clearButtons = [this] { clearButtons_.store(true); };
    run_ = std::make_unique<CKalderRunState>(queue_, alarms(), std::move(h));
}

void CKalderInstrument::setSoundSink(std::function<void(const char*)> sink) {
    std::lock_guard lock(settingsMutex_);
    soundSink_ = std::move(sink);
}

void CKalderInstrument::setRunSettings(const KalderRunSettings& s) {
    for (std::size_t c = 0; c < inverted_.size(); ++c)
        inverted_[c].store(s.invertDetector[c]);
    {
        std::lock_guard lock(settingsMutex_);
        for (std::size_t z = 1; z < zoneSetTemp_.size(); ++z)
            zoneSetTemp_[z] = s.zones[z].setTemp;
    }
    run_->setSettings(s);
}

void CKalderInstrument::onRecordingStarted(int c) {
    run_->onRecordingStarted(c);
}

void CKalderInstrument::onRecordingStopped(int c) {
    run_->onRecordingStopped(c);
}

void CKalderInstrument::onMethodStarted(int c) {
    CDevice::onMethodStarted(c);
    // The method's instrument block goes into the chromatograph before the
    // run states start again from preparation.
    if (c >= 0 && c < channelCount() && channel(c).useMethodSettings()) {
        const std::string method = channel(c).methodName();
        if (!method.empty())
            loadMethodIntoKalder(*this, method, programOptions().accessLevel);
    }
    run_->onMethodStarted(c);
}

bool CKalderInstrument::openDevice() {
    if (CDevice::openDevice())
        return true;
    setLastError(displayName() + ": " + lastError());
    return false;
}

CKalderInstrument::~CKalderInstrument() {
    close();
}

void CKalderInstrument::setStorehouseStore(SettingsStore* store) {
    pnp_.setStorehouse(store ? std::make_shared<CSerialStorehouse>(*store) : nullptr);
}

void CKalderInstrument::setMessageSink(std::function<void(const std::string&)> sink) {
    std::lock_guard lock(settingsMutex_);
    messageSink_ = std::move(sink);
}

void CKalderInstrument::message(const std::string& text) const {
    std::function<void(const std::string&)> sink;
    {
        std::lock_guard lock(settingsMutex_);
        sink = messageSink_;
    }
    // Without a window the message still reaches the work log.
    if (sink)
        sink(text);
    else
        CWorkLog::instance().write(text::format("! Прибор %d: ", userNumber()) + text);
}

void CKalderInstrument::setWriterPeriodsMs(int normal, int plugAndPlay) {
    writerPeriodMs_.store(std::max(1, normal));
    pnpPeriodMs_.store(std::max(1, plugAndPlay));
}

void CKalderInstrument::saveSettings(SettingsStore& store, const std::string& key) const {
    kept_->saveSettings(store, key);
    CDevice::saveSettings(store, key);
    pelvio_.settings().save(store, key);
    std::array<int, kKalderAuxChannels> aux{};
    std::array<double, wire::kKalderZones> zones{};
    {
        std::lock_guard lock(settingsMutex_);
        aux = auxSelector_;
        zones = zoneSetTemp_;
    }
    if (const KalderRunSettings rs = run_->settings(); rs.given)
        writeKalderRunSettings(store, key, rs);
    for (int a = 0; a < kKalderAuxChannels; ++a)
        store.setInt(key, text::format("DopCHOut%d", a), aux[static_cast<std::size_t>(a)]);
    store.setInt(key, "StartAllChannels", startsAll_.load() ? 1 : 0);
    store.setInt(key, "NoWaitTempProgramm", noWaitProgramme_.load() ? 1 : 0);
    for (int z = 1; z < wire::kKalderZones; ++z)
        store.setInt(
            key, text::format("Zone%d_SetTemp", z),
            static_cast<std::int32_t>(std::lround(zones[static_cast<std::size_t>(z)] * 100.0)));
    std::lock_guard lock(modulesMutex_);
    if (stackKnown_ || !modules_.empty()) {
        for (int k = 0; k < kStackSize; ++k) {
            const std::size_t i = static_cast<std::size_t>(k);
            store.setInt(key, text::format("AddrStack%02d", k),
                         i < modules_.size() ? modules_[i].address : 0);
        }
    }
}

void CKalderInstrument::loadSettings(const SettingsStore& store, const std::string& key) {
    kept_->loadSettings(store, key);
    CDevice::loadSettings(store, key);
    const KalderRunSettings rs = readKalderRunSettings(store, key);
    for (std::size_t c = 0; c < inverted_.size(); ++c)
        inverted_[c].store(rs.invertDetector[c]);
    run_->setSettings(rs);
    startsAll_.store(store.readInt(key, "StartAllChannels", 0) != 0);
    noWaitProgramme_.store(store.readInt(key, "NoWaitTempProgramm", 0) != 0);
    PelvioSettings pelvio;
    pelvio.load(store, key);
    pelvio_.setSettings(pelvio);
    std::lock_guard lock(settingsMutex_);
    for (int a = 0; a < kKalderAuxChannels; ++a)
        auxSelector_[static_cast<std::size_t>(a)] =
            store.readInt(key, text::format("DopCHOut%d", a), a);
    for (int z = 1; z < wire::kKalderZones; ++z)
        zoneSetTemp_[static_cast<std::size_t>(z)] =
            store.readInt(key, text::format("Zone%d_SetTemp", z), 0) / 100.0;
}

int CKalderInstrument::auxSelector(int aux) const {
    std::lock_guard lock(settingsMutex_);
    return aux >= 0 && aux < kKalderAuxChannels ? auxSelector_[static_cast<std::size_t>(aux)] : -1;
}

void CKalderInstrument::setAuxSelector(int aux, int selector) {
    std::lock_guard lock(settingsMutex_);
    if (aux >= 0 && aux < kKalderAuxChannels)
        auxSelector_[static_cast<std::size_t>(aux)] = selector;
}

bool CKalderInstrument::handshake() {
    std::uint8_t buf[kReadChunk];
    for (int baud : wire::kKalderBaudRates) {
        if (!isRunning())
            return false;
        LineSettings s;
        s.baud = baud;
        s.dtr = true;
        s.rts = false;
        // The line's settings may be refused for a moment: ten tries.
        bool set = false;
        for (int i = 0; i < 10 && !set; ++i) {
            set = reconfigureLine(s);
            if (!set)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!set)
            continue;
        purgeLine();
        wire::KalderBaudProbe probe;
        const std::int64_t start = steadyMs();
        bool proved = false;
        while (!proved && probe.examined() < kKalderProbeBytes) {
            const std::int64_t left = kKalderProbeMs - (steadyMs() - start);
            if (left <= 0)
                break;
            if (waitLine(static_cast<int>(left)) != SerialPort::Wait::Data)
                break;
            const long n = readLine(buf, sizeof buf);
            if (n <= 0)
                break;
            for (long i = 0; i < n && !proved; ++i)
                proved = probe.feed(buf[i]);
        }
        if (proved) {
            baud_.store(baud);
            setLastError({});
            return true;
        }
    }
    setLastError(portPath() + ": нет посылок хроматографа ни на 19200, ни на 9600 бод");
    return false;
}

void CKalderInstrument::onLinkOpened() {
    parser_.reset();
    checksumsCounted_ = parser_.checksumErrors();
    lastSequence_ = -1;
    haveButtons_ = false;
    buttons_.reset();
    pnpWasActive_ = false;
    compositionWarned_ = false;
}

void CKalderInstrument::registerControlUnit() {
    std::vector<ParamPtr> params;
    for (std::uint16_t n : identificationParams(kControlUnitAddress)) {
        const std::uint8_t priority = n >= kParamStack && n < kParamStack + kStackSize ? 10 : 5;
        params.push_back(
            queue_.registerParam(kControlUnitAddress, n, priority, param_kind::kMeasurement));
    }
    params.push_back(
        queue_.registerParam(kControlUnitAddress, kParamSerial, 10, param_kind::kMeasurement));
    std::lock_guard lock(modulesMutex_);
    controlUnit_ = std::move(params);
}

void CKalderInstrument::forgetModules() {
    std::lock_guard lock(modulesMutex_);
    for (const KalderModule& m : modules_)
        queue_.removeAddress(m.address);
    modules_.clear();
    stackKnown_ = false;
    queue_.removeAddress(kControlUnitAddress);
    controlUnit_.clear();
}

bool CKalderInstrument::startWorkers() {
    linkReady_.store(false);
    if (writer_.joinable())
        writer_.join();
    {
        std::lock_guard lock(writerMutex_);
        writerStop_ = false;
    }
    pnp_.cancel();
    queue_.setDeviceNumber(userNumber());
    forgetModules();
    queue_.rearm();
    registerControlUnit();
    alarms().setDevice(userNumber(), displayName());
    run_->setDevice(userNumber(), displayName());
    run_->linkStarted();
    // The autosampler's own line opens with the chromatograph's; a sampler
    // that cannot be reached leaves the chromatograph working without it.
    if (pelvio_.settings().use && !pelvio_.isOpen()) {
        if (Status s = pelvio_.open(pelvioPath()); !s.ok())
            CWorkLog::instance().write("! Pelvio:   " + s.message());
    }
    {
        std::lock_guard lock(liveMutex_);
        live_ = {};
    }
    try {
        writer_ = std::thread([this] { writerLoop(); });
    } catch (const std::system_error&) {
        return false;
    }
    linkStartMs_.store(nowMs());
    linkReady_.store(true);
    CWorkLog::instance().write(
        text::format(". Прибор %d: связь с хроматографом, %d бод", userNumber(), baud_.load()));
    return true;
}

void CKalderInstrument::stopWorkers() {
    linkReady_.store(false);
    {
        std::lock_guard lock(writerMutex_);
        writerStop_ = true;
    }
    writerWake_.notify_all();
    if (writer_.joinable() && writer_.get_id() != std::this_thread::get_id())
        writer_.join();
    pnp_.cancel();
    forgetModules();
    run_->linkClosed();
    pelvio_.close();
}

bool CKalderInstrument::sleepWriter(int ms) {
    std::unique_lock lock(writerMutex_);
    writerWake_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return writerStop_; });
    return !writerStop_;
}

void CKalderInstrument::writerLoop() {
    for (;;) {
        int pause = writerPeriodMs_.load();
        if (isRunning() && linkReady_.load()) {
            if (pnp_.active()) {
                if (auto r = pnp_.buildRequest(true)) {
                    write(r->data(), r->size());
                    flush();
                    pnp_.markSent(inputMark());
                    pause = pnpPeriodMs_.load();
                }
            } else if (!queue_.paused()) {
                if (auto r = queue_.buildRequest()) {
                    write(r->data(), r->size());
                    flush();
                }
            }
        }
        if (!sleepWriter(pause))
            break;
    }
    addCpuOfThisThread();
}

void CKalderInstrument::startPlugAndPlay(bool autoConfirm) {
    CWorkLog::instance().write(text::format("# Начало Plug-and-Play (Прибор %d)", userNumber()));
    pnp_.start(autoConfirm);
}

void CKalderInstrument::onReceive(const std::uint8_t* bytes, std::size_t count) {
    // The base counted these bytes before handing them over.
    const std::uint64_t taken = bytesReceived();
    const std::uint64_t start = taken >= count ? taken - count : 0;
    for (std::size_t i = 0; i < count; ++i) {
        for (const auto& f : parser_.feed(bytes[i])) {
            if (auto p = wire::decodeKalderPacket(f.span()))
                processPacket(*p, start + i + 1);
        }
    }
    const std::uint64_t bad = parser_.checksumErrors();
    for (; checksumsCounted_ < bad; ++checksumsCounted_) {
        alarms().report(kAlarmChecksum);
        ++checksumErrors_;
    }
}

void CKalderInstrument::processPacket(const wire::KalderPacket& p, std::uint64_t streamEnd) {
    countFrame();
    if (p.hasSequence) {
        if (lastSequence_ >= 0 && p.sequence != ((lastSequence_ + 1) & 0xFF)) {
            ++sequenceBreaks_;
            CWorkLog::instance().write(
                text::format("  Прибор %d: Синхронизация текущей посылки", userNumber()));
        }
        lastSequence_ = p.sequence;
    }
    KalderLiveValues live;
    {
        std::array<double, wire::kKalderZones> zones{};
        {
            std::lock_guard lock(settingsMutex_);
            zones = zoneSetTemp_;
        }
        std::lock_guard lock(liveMutex_);
        live_.update(p);
        live_.zoneSetTemp = zones;
        live = live_;
    }
    // Detector channels 1-4: four samples each per packet. The range factor
    // of a detector module scales them; without one it is 1.
    for (int c = 0; c < p.detectorCount && c < channelCount(); ++c) {
        AcquisitionChannel& ch = channel(c);
        if (!ch.isRecording())
            continue;
        const double sign = inverted_[static_cast<std::size_t>(c)].load() ? -1.0 : 1.0;
        for (float v : p.detector[static_cast<std::size_t>(c)])
            ch.addSample(sign * static_cast<double>(v));
    }
    if (p.hasStatus) {
        for (int a = 0; a < kKalderAuxChannels && 4 + a < channelCount(); ++a) {
            AcquisitionChannel& ch = channel(4 + a);
            if (ch.isRecording())
                ch.addSample(kalderAuxValue(auxSelector(a), live));
        }
        if (clearButtons_.exchange(false))
            buttons_.reset();
        // A change of a button bit is a press.
        if (haveButtons_) {
            const std::uint8_t changed = static_cast<std::uint8_t>(p.buttons ^ lastButtons_);
            if (changed & 3) {
                buttons_.update(*this, {(changed & 1) != 0, (changed & 2) != 0});
                buttons_.update(*this, {false, false});
            }
        }
        lastButtons_ = p.buttons;
        haveButtons_ = true;
    }
    if (p.answer) {
        const wire::KalderAnswer& a = *p.answer;
        if (pnp_.active()) {
            pnp_.onPacket(a, streamEnd);
        } else {
            queue_.onAnswer(a.address, a.numberField, a.value);
            checkStack();
        }
    }
    const bool active = pnp_.active();
    if (pnpWasActive_ && !active && pnp_.completed()) {
        CWorkLog::instance().write("# Завершение Plug-and-Play");
        std::vector<std::uint32_t> words;
        for (const FoundModule& m : pnp_.modules())
            words.push_back(m.word);
        adoptComposition(words);
        // The control unit's stack was rewritten: read it again.
        queue_.refresh(kControlUnitAddress);
    }
    pnpWasActive_ = active;
    if (!compositionWarned_ && !active && nowMs() - linkStartMs_.load() > kKalderCompositionMs &&
        !compositionKnown()) {
        compositionWarned_ = true;
        message("Не могу определить состав прибора.");
    }
    if (p.hasStatus) {
        run_->step(live);
        stepAutosampler();
    }
}

// After every status frame: the sampler hears whether the chromatograph is
// ready, and its injection starts the bound channel (it is triggered when it
// waits for its start, else its "Записать хроматограмму" is asked for).
void CKalderInstrument::stepAutosampler() {
    if (!pelvio_.isOpen())
        return;
    pelvio_.step(run_->runState());
    if (!pelvio_.takeInjection())
        return;
    const int c = pelvio_.syncChannel();
    if (c < 0 || c >= channelCount())
        return;
    AcquisitionChannel& ch = channel(c);
    if (ch.isWaitingForStart()) {
        // The run is under way: the start that follows must not reset the
        // sampler and wait again (beginRun), it is the injection's recording.
        injectionStart_.store(true);
        ch.triggerStart();
    } else if (!ch.isRecording())
        postCommand(command::kRecord + command::channelKey(deviceIndex(), c));
}

void CKalderInstrument::setPelvioPortPath(std::string path) {
    std::lock_guard lock(settingsMutex_);
    pelvioPortPath_ = std::move(path);
}

std::string CKalderInstrument::pelvioPath() const {
    std::lock_guard lock(settingsMutex_);
    return pelvioPortPath_;
}

bool CKalderInstrument::beginRun() {
    if (injectionStart_.exchange(false) || !pelvio_.isOpen())
        return true;
    pelvio_.reset();
    run_->setRunState(run_state::kAutosampler);
    return false;
}

void CKalderInstrument::checkStack() {
    std::vector<std::uint32_t> words;
    {
        std::lock_guard lock(modulesMutex_);
        if (stackKnown_ || controlUnit_.empty())
            return;
        for (int k = 0; k < kStackSize; ++k) {
            const auto it =
                std::find_if(controlUnit_.begin(), controlUnit_.end(),
                             [&](const ParamPtr& p) { return p->number() == kParamStack + k; });
            if (it == controlUnit_.end() || (*it)->pending())
                return;
            const std::uint8_t a = (*it)->asByte() & 0x7F;
            if (a != 0)
                words.push_back(makeWord(a, 0));
        }
    }
    adoptComposition(words);
}

void CKalderInstrument::adoptComposition(const std::vector<std::uint32_t>& words) {
    bool changed = false;
    std::vector<std::uint8_t> addresses;
    {
        std::lock_guard lock(modulesMutex_);
        changed = adoptLocked(words);
        for (const KalderModule& m : modules_)
            addresses.push_back(m.address);
    }
    run_->setComposition(addresses);
    // A recording made with another composition than its method expects.
    if (changed) {
        bool busy = false;
        for (int c = 0; c < channelCount(); ++c)
            busy = busy || channel(c).isRecording() || channel(c).isWaitingForStart();
        if (busy)
            message("Был подключен новый прибор.\r\nРекомендуется запустить методику ещё раз.");
    }
}

bool CKalderInstrument::adoptLocked(const std::vector<std::uint32_t>& words) {
    const bool wasKnown = stackKnown_;
    std::vector<std::uint8_t> before;
    for (const KalderModule& m : modules_) {
        before.push_back(m.address);
        queue_.removeAddress(m.address);
    }
    modules_.clear();
    for (std::uint32_t w : words) {
        const std::uint8_t a = wordAddress(w) & 0x7F;
        if (a == 0 || a == kControlUnitAddress || a == kBusServiceAddress)
            continue;
        if (std::any_of(modules_.begin(), modules_.end(),
                        [&](const KalderModule& m) { return m.address == a; }))
            continue;
        KalderModule m;
        m.address = a;
        m.word = w;
        for (std::uint16_t n : identificationParams(a))
            m.params.push_back(queue_.registerParam(a, n, 5, param_kind::kMeasurement));
        m.params.push_back(queue_.registerParam(a, kParamSerial, 3, param_kind::kMeasurement));
        m.params.push_back(queue_.registerParam(a, kParamFirmware, 3, param_kind::kMeasurement));
        modules_.push_back(std::move(m));
    }
    stackKnown_ = true;
    std::vector<std::uint8_t> after;
    for (const KalderModule& m : modules_)
        after.push_back(m.address);
    CWorkLog::instance().write(text::format("  Прибор %d: Состав прибора: ", userNumber()) +
                               kalder::compositionText(after));
    return wasKnown && before != after;
}

std::vector<KalderModule> CKalderInstrument::modules() const {
    std::lock_guard lock(modulesMutex_);
    return modules_;
}

bool CKalderInstrument::compositionKnown() const {
    std::lock_guard lock(modulesMutex_);
    return stackKnown_;
}

std::string CKalderInstrument::compositionText() const {
    std::vector<std::uint8_t> addresses;
    {
        std::lock_guard lock(modulesMutex_);
        for (const KalderModule& m : modules_)
            addresses.push_back(m.address);
    }
    return kalder::compositionText(addresses);
}

KalderLiveValues CKalderInstrument::live() const {
    std::lock_guard lock(liveMutex_);
    return live_;
}

std::size_t CKalderInstrument::remainingToLoad(int accessLevel) const {
    return queue_.countPending([accessLevel](const CInstrumentParam& p) {
        return inIdentificationSet(p.address(), p.number()) ||
               (accessLevel >= 4 && inExtendedSet(p.address(), p.number()));
    });
}

bool CKalderInstrument::moduleNotAnswering(std::uint8_t address) const {
    bool any = false;
    for (const auto& s : queue_.snapshot()) {
        if (s.address != address)
            continue;
        any = true;
        if (s.retries != kParamRetryLimit)
            return false;
    }
    return any;
}

std::string CKalderInstrument::paramStatistics(int accessLevel) const {
    // Decided before the report takes the queue's lock.
    std::vector<std::uint8_t> dead;
    for (const KalderModule& m : modules())
        if (moduleNotAnswering(m.address))
            dead.push_back(m.address);
    return queue_.statistics(accessLevel, [&](std::uint8_t a) {
        return std::find(dead.begin(), dead.end(), a) != dead.end();
    });
}

std::string CKalderInstrument::notAnsweringModules() const {
    std::string out;
    for (const KalderModule& m : modules()) {
        if (!moduleNotAnswering(m.address))
            continue;
        if (out.empty())
            out = "\r\n\r\nПредупреждение. Следующие устройства не отвечают:";
        out += "\r\n" + moduleLongName(m.address);
    }
    return out;
}

namespace {

// Gas channel n lives at this regulator address, channel n % 2.
std::uint8_t gasAddress(int n) {
    return n < 8 ? moduleAddress(kClassGasPair, n / 2)
                 : moduleAddress(kClassHydrogenAir, (n - 8) / 2);
}

// A real number kept as "%f" text, or as a DWORD by older versions.
double readReal(const SettingsStore& store, const std::string& key, const std::string& name,
                double def) {
    const auto v = store.value(key, name);
    if (!v)
        return def;
    if (const auto* d = std::get_if<std::uint32_t>(&*v))
        return static_cast<std::int32_t>(*d);
    if (const auto* t = std::get_if<std::string>(&*v)) {
        char* end = nullptr;
        const double x = std::strtod(t->c_str(), &end);
        if (end != t->c_str() && std::isfinite(x))
            return x;
    }
    return def;
}

double scaled(const SettingsStore& store, const std::string& key, const std::string& name,
              double factor, std::int32_t def) {
    return store.readInt(key, name, def) / factor;
}

std::int32_t toInt(double x, double factor) {
    return static_cast<std::int32_t>(std::lround(x * factor));
}

constexpr int kValveBlocks = 8;

}  // namespace

KalderRunSettings readKalderRunSettings(const SettingsStore& store, const std::string& key) {
    KalderRunSettings s;
    // Stored run settings (written by this program) are given settings.
    s.given = store.value(key, "Temp1").has_value() ||
              store.value(key, "Zone0_ToleranceTemp").has_value();
    s.ignitionAttempts = std::clamp(store.readInt(key, "m_PopytPodzh", 0), 0, 20);
    s.readyDelaySeconds = std::clamp(store.readInt(key, "GotovDelay", 10), 0, 3600);
    s.flameThreshold = readReal(store, key, "FlameValue", s.flameThreshold);
    for (int z = 0; z < 8; ++z) {
        auto& c = s.zones[static_cast<std::size_t>(z)];
        if (z > 0)
            c.setTemp = scaled(store, key, text::format("Zone%d_SetTemp", z), 100, 0);
        c.tolerance = scaled(store, key, text::format("Zone%d_ToleranceTemp", z), 100, 100);
        c.maxTemp = scaled(store, key, text::format("Zone%d_MaxTemp", z), 100, 20000);
    }
    for (int i = 0; i < 5; ++i) {
        s.programTemp[static_cast<std::size_t>(i)] =
            scaled(store, key, text::format("Temp%d", i + 1), 100, 0);
        s.programTime[static_cast<std::size_t>(i)] =
            scaled(store, key, text::format("Time%d", i + 1), 100, 10000);
    }
    static const char* const kRates[4] = {"Velocity12", "Velocity23", "Velocity34", "Velocity45"};
    for (int i = 0; i < 4; ++i)
        s.programRate[static_cast<std::size_t>(i)] = scaled(store, key, kRates[i], 100, 0);
    for (int n = 0; n < kGasChannels; ++n) {
        GasChannelConfig& g = s.gas[static_cast<std::size_t>(n)];
        const int a = gasAddress(n), c = n % 2;
        const bool hydrogen = a == 68 && c == 0;
        const bool air = a == 68 && c == 1;
        g.flowSet = scaled(store, key, text::format("GaseSet_%d_%d", a, c), 100, 0);
        g.gasType = store.readInt(key, text::format("GaseType_%d_%d", a, c),
                                  hydrogen ? 3
                                  : air    ? 4
                                           : 0);
        g.mode =
            std::clamp(store.readInt(key, text::format("GaseRezhim_%d_%d", a, c), hydrogen ? 6 : 0),
                       0, kGasModes - 1);
        g.flowTolerance = scaled(store, key, text::format("GaseDopusk_%d_%d", a, c), 100, 100);
        g.pressureTolerance =
            scaled(store, key, text::format("GaseDopuskPressure_%d_%d", a, c), 10000, 500);
        g.pressureSet = scaled(store, key, text::format("GasePressure_%d_%d", a, c), 10000, 0);
        g.velocityTarget = scaled(store, key, text::format("GaseVelocity_%d_%d", a, c), 100, 0);
        g.columnLengthM = readReal(store, key, text::format("GaseColumnLength_%d_%d", a, c), 0);
        g.columnDiameterMm =
            readReal(store, key, text::format("GaseColumnDiameter_%d_%d", a, c), 0);
        auto prog = [&](const char* part) {
            return scaled(store, key, text::format("GaseProgramm_%d_", n) + part, 1000, 0);
        };
        g.programme = {prog("P1"), prog("P2"),  prog("P3"), prog("t1"),
                       prog("t2"), prog("V12"), prog("V23")};
    }
    for (int p = 0; p < 4; ++p) {
        const auto pi = static_cast<std::size_t>(p);
        s.bridgeVoltage[pi] = readReal(store, key, text::format("DTPUmosta_%d", p), 0);
        s.balance[pi] =
            std::clamp(readReal(store, key, text::format("DTPBalance_%d", p), 0), -100.0, 100.0);
        s.invertDetector[pi] = store.readInt(key, text::format("IMTInvert_%d", p), 0) != 0;
    }
    for (int z = 0; z < 8; ++z)
        s.zoneNameCode[static_cast<std::size_t>(z)] =
            store.readInt(key, text::format("Zone%d_NameIndex", z), -1);
    s.columnBelowDetector = store.readInt(key, "TkolTdet", 0) != 0;
    s.closeFlap = store.readInt(key, "CloseDoorFlag", 0) != 0;
    s.silentMode = store.readInt(key, "SilentFun", 1) != 0;
    for (int b = 0; b < 2; ++b)
        s.buttonFunction[static_cast<std::size_t>(b)] =
            std::clamp(store.readInt(key, text::format("StartButton%02dFunc", b), 0), 0, 17);
    for (int z = 0; z < 4; ++z) {
        KalderZoneConfig& c = s.valveZones[static_cast<std::size_t>(z)];
        c.setTemp = scaled(store, key, text::format("DopZone%d_SetTemp", z), 100, 0);
        c.tolerance = scaled(store, key, text::format("DopZone%d_ToleranceTemp", z), 100, 100);
        c.maxTemp = scaled(store, key, text::format("DopZone%d_MaxTemp", z), 100, 20000);
    }
    for (int b = 0; b < kValveBlocks; ++b) {
        s.valveAvailability.push_back(
            store.readDword(key, text::format("AvailabilityKran_%d", b), 0));
        std::vector<ValveConfig> valves(4);
        for (int v = 0; v < 4; ++v) {
            ValveConfig& c = valves[static_cast<std::size_t>(v)];
            c.initialState = store.readInt(key, text::format("InitialState_%d_%d", b, v), 0) != 0;
            c.mode = store.readInt(key, text::format("SoftRezhim_%d_%d", b, v), 0) != 0;
            c.syncChannel =
                std::clamp(store.readInt(key, text::format("SyncChannel_%d_%d", b, v), 0), 0, 3);
            c.time1 = scaled(store, key, text::format("Time1_%d_%d", b, v), 100, 0);
            c.time2 = scaled(store, key, text::format("Time2_%d_%d", b, v), 100, 0);
        }
        s.valves.push_back(std::move(valves));
    }
    return s;
}

void writeKalderRunSettings(SettingsStore& store, const std::string& key,
                            const KalderRunSettings& s) {
    store.setInt(key, "m_PopytPodzh", s.ignitionAttempts);
    store.setInt(key, "GotovDelay", s.readyDelaySeconds);
    store.setString(key, "FlameValue", text::format("%f", s.flameThreshold));
    for (int z = 0; z < 8; ++z) {
        const auto& c = s.zones[static_cast<std::size_t>(z)];
        store.setInt(key, text::format("Zone%d_ToleranceTemp", z), toInt(c.tolerance, 100));
        store.setInt(key, text::format("Zone%d_MaxTemp", z), toInt(c.maxTemp, 100));
    }
    for (int i = 0; i < 5; ++i) {
        store.setInt(key, text::format("Temp%d", i + 1),
                     toInt(s.programTemp[static_cast<std::size_t>(i)], 100));
        store.setInt(key, text::format("Time%d", i + 1),
                     toInt(s.programTime[static_cast<std::size_t>(i)], 100));
    }
    static const char* const kRates[4] = {"Velocity12", "Velocity23", "Velocity34", "Velocity45"};
    for (int i = 0; i < 4; ++i)
        store.setInt(key, kRates[i], toInt(s.programRate[static_cast<std::size_t>(i)], 100));
    for (int n = 0; n < kGasChannels; ++n) {
        const GasChannelConfig& g = s.gas[static_cast<std::size_t>(n)];
        const int a = gasAddress(n), c = n % 2;
        store.setInt(key, text::format("GaseSet_%d_%d", a, c), toInt(g.flowSet, 100));
        store.setInt(key, text::format("GaseType_%d_%d", a, c), g.gasType);
        store.setInt(key, text::format("GaseRezhim_%d_%d", a, c), g.mode);
        store.setInt(key, text::format("GaseDopusk_%d_%d", a, c), toInt(g.flowTolerance, 100));
        store.setInt(key, text::format("GaseDopuskPressure_%d_%d", a, c),
                     toInt(g.pressureTolerance, 10000));
        store.setInt(key, text::format("GasePressure_%d_%d", a, c), toInt(g.pressureSet, 10000));
        store.setInt(key, text::format("GaseVelocity_%d_%d", a, c), toInt(g.velocityTarget, 100));
        store.setString(key, text::format("GaseColumnLength_%d_%d", a, c),
                        text::format("%f", g.columnLengthM));
        store.setString(key, text::format("GaseColumnDiameter_%d_%d", a, c),
                        text::format("%f", g.columnDiameterMm));
        const GasProgramme& p = g.programme;
        const std::pair<const char*, double> parts[] = {{"P1", p.p1},  {"P2", p.p2}, {"P3", p.p3},
                                                        {"t1", p.t1},  {"t2", p.t2}, {"V12", p.v12},
                                                        {"V23", p.v23}};
        for (const auto& [part, value] : parts)
            store.setInt(key, text::format("GaseProgramm_%d_", n) + part, toInt(value, 1000));
    }
    for (int p = 0; p < 4; ++p) {
        const auto pi = static_cast<std::size_t>(p);
        store.setString(key, text::format("DTPUmosta_%d", p),
                        text::format("%f", s.bridgeVoltage[pi]));
        store.setString(key, text::format("DTPBalance_%d", p), text::format("%f", s.balance[pi]));
        store.setInt(key, text::format("IMTInvert_%d", p), s.invertDetector[pi] ? 1 : 0);
    }
    for (int z = 0; z < 8; ++z)
        store.setInt(key, text::format("Zone%d_NameIndex", z),
                     s.zoneNameCode[static_cast<std::size_t>(z)]);
    store.setInt(key, "TkolTdet", s.columnBelowDetector ? 1 : 0);
    store.setInt(key, "CloseDoorFlag", s.closeFlap ? 1 : 0);
    store.setInt(key, "SilentFun", s.silentMode ? 1 : 0);
    for (int b = 0; b < 2; ++b)
        store.setInt(key, text::format("StartButton%02dFunc", b),
                     s.buttonFunction[static_cast<std::size_t>(b)]);
    for (int z = 0; z < 4; ++z) {
        const KalderZoneConfig& c = s.valveZones[static_cast<std::size_t>(z)];
        store.setInt(key, text::format("DopZone%d_SetTemp", z), toInt(c.setTemp, 100));
        store.setInt(key, text::format("DopZone%d_ToleranceTemp", z), toInt(c.tolerance, 100));
        store.setInt(key, text::format("DopZone%d_MaxTemp", z), toInt(c.maxTemp, 100));
    }
    for (std::size_t b = 0; b < s.valves.size() && b < kValveBlocks; ++b) {
        const int bi = static_cast<int>(b);
        if (b < s.valveAvailability.size())
            store.setDword(key, text::format("AvailabilityKran_%d", bi), s.valveAvailability[b]);
        for (std::size_t v = 0; v < s.valves[b].size() && v < 4; ++v) {
            const ValveConfig& c = s.valves[b][v];
            const int vi = static_cast<int>(v);
            store.setInt(key, text::format("InitialState_%d_%d", bi, vi), c.initialState);
            store.setInt(key, text::format("SoftRezhim_%d_%d", bi, vi), c.mode);
            store.setInt(key, text::format("SyncChannel_%d_%d", bi, vi), c.syncChannel);
            store.setInt(key, text::format("Time1_%d_%d", bi, vi), toInt(c.time1, 100));
            store.setInt(key, text::format("Time2_%d_%d", bi, vi), toInt(c.time2, 100));
        }
    }
}

}  // namespace zelmora
