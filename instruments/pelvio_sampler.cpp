#include "instruments/pelvio_sampler.h"

#include <chrono>

#include "app/settings_store.h"
#include "app/text.h"
#include "app/work_log.h"
#include "instruments/alarm_collector.h"

namespace zelmora {

namespace {

void log(const std::string& line) {
    CWorkLog::instance().write(line);
}

std::uint8_t low(int v) {
    return static_cast<std::uint8_t>(v & 0xFF);
}

}  // namespace

void PelvioSettings::load(const SettingsStore& store, const std::string& key) {
    const PelvioSettings d;
    use = store.readInt(key, "Pelvio_Use", 0) != 0;
    firstVial = store.readInt(key, "Pelvio_BeginViala", d.firstVial);
    lastVial = store.readInt(key, "Pelvio_EndViala", d.lastVial);
    volumeTenths = store.readInt(key, "Pelvio_VProba01", d.volumeTenths);
    aspirationSpeed = store.readInt(key, "Pelvio_SkorNabora", d.aspirationSpeed);
    injectionSpeed = store.readInt(key, "Pelvio_SkorVvoda", d.injectionSpeed);
    washSeconds = store.readInt(key, "Pelvio_Promyvka", d.washSeconds);
    injectionSeconds = store.readInt(key, "Pelvio_TProgreva", d.injectionSeconds);
    pumpings = store.readInt(key, "Pelvio_Prokachek", d.pumpings);
    injectionsPerVial = store.readInt(key, "Pelvio_NVvod", d.injectionsPerVial);
    portIndex = store.readInt(key, "Pelvio_ComPort", d.portIndex);
    if (portIndex < 0 || portIndex > 255)
        portIndex = d.portIndex;
    syncChannel = store.readInt(key, "Pelvio_SyncCannel", d.syncChannel) == 1 ? 1 : 0;
}

void PelvioSettings::save(SettingsStore& store, const std::string& key) const {
    store.setInt(key, "Pelvio_Use", use ? 1 : 0);
    store.setInt(key, "Pelvio_BeginViala", firstVial);
    store.setInt(key, "Pelvio_EndViala", lastVial);
    store.setInt(key, "Pelvio_VProba01", volumeTenths);
    store.setInt(key, "Pelvio_SkorNabora", aspirationSpeed);
    store.setInt(key, "Pelvio_SkorVvoda", injectionSpeed);
    store.setInt(key, "Pelvio_Promyvka", washSeconds);
    store.setInt(key, "Pelvio_TProgreva", injectionSeconds);
    store.setInt(key, "Pelvio_Prokachek", pumpings);
    store.setInt(key, "Pelvio_NVvod", injectionsPerVial);
    store.setInt(key, "Pelvio_ComPort", portIndex);
    store.setInt(key, "Pelvio_SyncCannel", syncChannel);
}

std::string pelvioFaultText(int code) {
    switch (code) {
        case 1:
            return " - Не работает устройство поворота виал";
        case 2:
            return " - Ошибка датчика поршня шприца";
        case 3:
            return " - Нет датчика  верхнего  положения  каретки";
        case 4:
            return " - Нет  датчика  среднего  положения  каретки";
        case 5:
            return " - Нет  датчика  нижнего  положения  каретки ";
        case 6:
            return " - Плохо установлен дозатор на испаритель";
        default:
            return {};
    }
}

CPelvioSampler::CPelvioSampler(AlarmCollector& alarms) : alarms_(alarms) {}

CPelvioSampler::~CPelvioSampler() {
    close();
}

PelvioSettings CPelvioSampler::settings() const {
    std::lock_guard lock(mutex_);
    return settings_;
}

void CPelvioSampler::setSettings(const PelvioSettings& s) {
    std::lock_guard lock(mutex_);
    settings_ = s;
}

void CPelvioSampler::setClock(std::function<std::int64_t()> nowMs) {
    std::lock_guard lock(mutex_);
    clock_ = std::move(nowMs);
}

std::int64_t CPelvioSampler::now() const {
    if (clock_)
        return clock_();
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

Status CPelvioSampler::open(const std::string& path) {
    if (running_.load())
        return Status::failure("дозатор Pelvio уже подключён");
    const std::string line =
        path.empty() ? text::format("/dev/ttyS%d", settings().portIndex) : path;
    if (Status s = port_.open(line); !s.ok())
        return s;
    LineSettings ls;
    ls.dtr = true;
    ls.rts = false;
    if (Status s = port_.configure(ls); !s.ok()) {
        port_.close();
        return s;
    }
    port_.purge();
    {
        std::lock_guard lock(mutex_);
        identified_ = false;
        parametersToSend_ = 2;
        startStopToSend_ = 0;
        lastFrameMs_ = lastCommandMs_ = now();
    }
    parser_ = {};
    running_.store(true);
    reader_ = std::thread([this] { readerLoop(); });
    return {};
}

void CPelvioSampler::close() {
    if (!running_.exchange(false)) {
        if (reader_.joinable())
            reader_.join();
        return;
    }
    port_.wake();
    if (reader_.joinable())
        reader_.join();
    std::lock_guard lock(portMutex_);
    port_.close();
}

void CPelvioSampler::poke() {
    port_.wake();
}

void CPelvioSampler::readerLoop() {
    std::uint8_t buffer[80];
    while (running_.load()) {
        const SerialPort::Wait w = port_.waitReadable(1000);
        if (!running_.load())
            break;
        if (w == SerialPort::Wait::Data) {
            const long n = port_.read(buffer, sizeof buffer);
            for (long i = 0; i < n; ++i) {
                switch (parser_.feed(buffer[i])) {
                    case wire::PelvioFrameParser::Event::Frame:
                        handle(parser_.payload());
                        break;
                    case wire::PelvioFrameParser::Event::TooLong:
                        log("! Pelvio:   Сбой синхронизации - пакет данных слишком длинный.");
                        break;
                    case wire::PelvioFrameParser::Event::BadCheck:
                        log("! Pelvio:   Ошибка CRC");
                        break;
                    case wire::PelvioFrameParser::Event::None:
                        break;
                }
            }
        } else if (w == SerialPort::Wait::Woken) {
            port_.clearWake();
        } else if (w == SerialPort::Wait::Error || w == SerialPort::Wait::HangUp) {
            log("! Pelvio:   Линия дозатора закрыта, приём остановлен");
            break;
        }
        periodic();
    }
}

void CPelvioSampler::send(const std::vector<std::uint8_t>& payload) {
    const std::vector<std::uint8_t> frame = wire::buildPelvioFrame(payload);
    std::lock_guard lock(portMutex_);
    if (port_.isOpen())
        port_.write(frame.data(), frame.size(), 1000);
}

// Called with mutex_ held.
void CPelvioSampler::sendStartStop(int code) {
    log(code == 1 ? "  Pelvio:   Старт." : "  Pelvio:   Стоп.");
    send({2, low(code)});
    lastCommandMs_ = now();
}

// Called with mutex_ held.
void CPelvioSampler::sendParameters() {
    const PelvioSettings& s = settings_;
    send({3, low(s.firstVial), low(s.lastVial), low(s.volumeTenths), low(s.aspirationSpeed),
          low(s.injectionSpeed), low(s.washSeconds), low(s.injectionSeconds), low(s.pumpings),
          low(s.injectionsPerVial)});
    lastCommandMs_ = now();
}

// Called with mutex_ held: the stop code goes out twice, the sampler is
// no longer active.
void CPelvioSampler::endSeries() {
    startStopCode_ = 3;
    startStopToSend_ = 2;
    active_ = false;
    status_ = 1;
}

void CPelvioSampler::handle(const std::vector<std::uint8_t>& p) {
    std::lock_guard lock(mutex_);
    lastFrameMs_ = now();
    if (p.empty())
        return;
    const int type = p[0];
    const int subtype = p.size() > 1 ? p[1] : -1;
    switch (type) {
        case 0:
            if (subtype == 2)
                startStopToSend_ = 0;
            else if (subtype == 3)
                parametersToSend_ = 0;
            break;
        case 1:
            send({0, 1});
            if (subtype == 0) {
                injected_ = true;
                ++injections_;
                log("  Pelvio:   Доза.");
            } else if (subtype == 2) {
                endSeries();
                log("  Pelvio:   Конец серии анализов.");
            }
            break;
        case 2: {
            const int value = p.size() > 2 ? p[2] : subtype;
            if (value == 0) {
                if (!identified_) {
                    send({0, 2});
                    log("  Pelvio:   Идентификация Pelvio.");
                    identified_ = true;
                }
            } else if (value >= 1 && value <= 6) {
                fault_ = value;
                alarms_.report(kAlarmPelvio, pelvioFaultText(value));
                log("! Pelvio:   Ошибка Pelvio" + pelvioFaultText(value));
                endSeries();
            }
            break;
        }
        case 3:
            send({1, low(active_ ? status_ : 1), 0});
            break;
        default:
            break;
    }
}

void CPelvioSampler::periodic() {
    std::lock_guard lock(mutex_);
    if (!identified_)
        return;
    const std::int64_t t = now();
    if (t - lastFrameMs_ > kSilenceMs) {
        identified_ = false;
        parametersToSend_ = 2;
        log("! Pelvio:   В течении большого времени нет посылок от Pelvio.");
        return;
    }
    if (t - lastCommandMs_ < commandIntervalMs_.load())
        return;
    if (parametersToSend_ > 0) {
        log("  Pelvio:   Передача параметров.");
        sendParameters();
        --parametersToSend_;
    } else if (startStopToSend_ > 0) {
        sendStartStop(startStopCode_);
        --startStopToSend_;
    }
}

void CPelvioSampler::reset() {
    std::lock_guard lock(mutex_);
    injections_ = 0;
    injected_ = false;
    fault_ = 0;
    startStopCode_ = 1;
    startStopToSend_ = 2;
    active_ = true;
}

void CPelvioSampler::step(int runState) {
    std::lock_guard lock(mutex_);
    if (!active_)
        status_ = 1;
    else if (runState == 5)
        status_ = 3;
    else if (runState >= 6 && runState <= 14)
        status_ = 5;
    else
        status_ = 1;
}

bool CPelvioSampler::takeInjection() {
    std::lock_guard lock(mutex_);
    const bool was = injected_;
    injected_ = false;
    return was;
}

int CPelvioSampler::syncChannel() const {
    std::lock_guard lock(mutex_);
    return settings_.syncChannel;
}

bool CPelvioSampler::isActive() const {
    std::lock_guard lock(mutex_);
    return active_;
}

bool CPelvioSampler::isIdentified() const {
    std::lock_guard lock(mutex_);
    return identified_;
}

int CPelvioSampler::injectionCount() const {
    std::lock_guard lock(mutex_);
    return injections_;
}

int CPelvioSampler::faultCode() const {
    std::lock_guard lock(mutex_);
    return fault_;
}

int CPelvioSampler::statusCode() const {
    std::lock_guard lock(mutex_);
    return active_ ? status_ : 1;
}

}  // namespace zelmora
