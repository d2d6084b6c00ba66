#include "instruments/device.h"

#include <pthread.h>
#include <time.h>

#include <cerrno>
#include <chrono>
#include <system_error>

#include "app/settings_store.h"
#include "app/text.h"
#include "app/work_log.h"
#include "instruments/device_types.h"

namespace zelmora {
namespace {

std::int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::int64_t threadCpuNs() {
    timespec ts{};
    if (::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts) != 0)
        return 0;
    return std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

}  // namespace

CDevice::CDevice() = default;

CDevice::~CDevice() {
    // Drivers with threads of their own close in their destructors, while
    // their stopWorkers() still exists; this is the last resort.
    if (reader_.joinable() && reader_.get_id() == std::this_thread::get_id())
        reader_.detach();
    shutdown(false);
}

bool CDevice::init(int deviceIndex, const ChannelFactory& channels) {
    setDeviceIndex(deviceIndex);
    running_.store(false);
    channels_.clear();
    const ChannelFactory make = channels ? channels : SampleChannel::factory();
    const int n = deviceChannelCount(type());
    for (int c = 0; c < n; ++c) {
        auto ch = make(*this, c);
        if (!ch)
            return false;
        channels_.push_back(std::move(ch));
    }
    return true;
}

std::string CDevice::displayName() const {
    return deviceTypeName(type());
}

double CDevice::sampleRate(int channel) const {
    return deviceSampleRate(type(), channel);
}

void CDevice::saveSettings(SettingsStore& store, const std::string& key) const {
    store.setInt(key, "ComPort", portIndex());
    store.setString(key, "LastLoadMethod", lastLoadMethod());
    for (int c = 0; c < channelCount(); ++c) {
        store.setInt(key, text::format("InUse%d", c), channel(c).inUse() ? 1 : 0);
        store.setString(key, text::format("LastMethod%d", c), channel(c).methodName());
    }
}

void CDevice::loadSettings(const SettingsStore& store, const std::string& key) {
    const int port = store.readInt(key, "ComPort", kDefaultPortIndex);
    setPortIndex(port >= 0 && port < 256 ? port : kDefaultPortIndex);
    setLastLoadMethod(store.readString(key, "LastLoadMethod"));
    for (int c = 0; c < channelCount(); ++c) {
        channel(c).setInUse(store.readInt(key, text::format("InUse%d", c), 1) != 0);
        channel(c).setMethodName(store.readString(key, text::format("LastMethod%d", c)));
    }
}

void CDevice::setPortPath(std::string path) {
    std::lock_guard lock(configMutex_);
    portPath_ = std::move(path);
}

std::string CDevice::portPath() const {
    std::lock_guard lock(configMutex_);
    return portPath_.empty() ? text::format("/dev/ttyS%d", portIndex()) : portPath_;
}

std::string CDevice::lastLoadMethod() const {
    std::lock_guard lock(configMutex_);
    return lastLoadMethod_;
}

void CDevice::setLastLoadMethod(std::string name) {
    std::lock_guard lock(configMutex_);
    lastLoadMethod_ = std::move(name);
}

std::string CDevice::lastError() const {
    std::lock_guard lock(configMutex_);
    return lastError_;
}

void CDevice::setLastError(std::string e) const {
    std::lock_guard lock(configMutex_);
    lastError_ = std::move(e);
}

void CDevice::setCommandSink(std::function<void(int)> sink) {
    std::lock_guard lock(configMutex_);
    commandSink_ = std::move(sink);
}

void CDevice::postCommand(int commandId) const {
    std::function<void(int)> sink;
    {
        std::lock_guard lock(configMutex_);
        sink = commandSink_;
    }
    if (sink)
        sink(commandId);
}

void CDevice::setClock(std::function<std::int64_t()> nowMs) {
    std::lock_guard lock(configMutex_);
    clock_ = std::move(nowMs);
}

std::int64_t CDevice::nowMs() const {
    std::function<std::int64_t()> clock;
    {
        std::lock_guard lock(configMutex_);
        clock = clock_;
    }
    return clock ? clock() : steadyMs();
}

bool CDevice::anyChannelRecording() const {
    for (const auto& c : channels_)
        if (c->isRecording())
            return true;
    return false;
}

void CDevice::markChannelsActive(bool on) {
    for (auto& c : channels_)
        c->setActive(on);
}

void CDevice::stopRecordingChannels(bool interrupted) {
    for (auto& c : channels_)
        if (c->isRecording())
            c->stop(interrupted);
}

void CDevice::onMethodStarted(int channelIndex) {
    const std::string method = channel(channelIndex).methodName();
    CWorkLog::instance().write(text::format("  Запущен метод %s на приборе %d (%s) на канале %d",
                                            method.c_str(), userNumber(), displayName().c_str(),
                                            channelIndex + 1));
    if (!method.empty())
        setLastLoadMethod(method);
}

double CDevice::cpuSeconds() const {
    return static_cast<double>(cpuNs_.load()) / 1e9;
}

void CDevice::addCpuOfThisThread() {
    cpuNs_ += threadCpuNs();
}

Status CDevice::open() {
    std::lock_guard lock(lifecycleMutex_);
    if (running_.load())
        return Status::failure("прибор уже подключён");
    joinFinishedReader();
    setLastError({});
    // The alarm lines name the device as the operator counts it.
    alarms_.setDevice(userNumber(), displayName());
    if (openDevice())
        return {};
    // Every failing step of the sequence names itself; a driver's hook that
    // gives no reason still fails visibly.
    const std::string why = lastError();
    return Status::failure(why.empty() ? "не удалось подключить прибор" : why);
}

bool CDevice::openDevice() {
    const std::string path = portPath();
    {
        std::lock_guard lock(portMutex_);
        if (Status opened = port_.open(path); !opened) {
            setLastError(opened.message());
            return false;
        }
        port_.purge();
        if (!configurePort()) {
            port_.close();
            if (lastError().empty())
                setLastError(path + ": не удалось настроить порт");
            return false;
        }
    }
    running_.store(true);
    markChannelsActive(true);
    onLinkOpened();
    onLinkStarting();
    if (!handshake()) {
        running_.store(false);
        markChannelsActive(false);
        releasePort();
        if (lastError().empty())
            setLastError(path + ": прибор не отвечает");
        return false;
    }
    // The driver's threads start before the reader, so that a reader closing
    // the device at once finds them complete.
    if (!startWorkers()) {
        if (lastError().empty())
            setLastError("не удалось запустить поток прибора");
        running_.store(false);
        markChannelsActive(false);
        stopWorkers();
        releasePort();
        return false;
    }
    try {
        reader_ = std::thread([this] { readerLoop(); });
    } catch (const std::system_error& e) {
        running_.store(false);
        markChannelsActive(false);
        stopWorkers();
        releasePort();
        setLastError(e.what());
        return false;
    }
    return true;
}

bool CDevice::configurePort() {
    // Called with portMutex_ held by openDevice().
    LineSettings s;
    s.baud = 9600;
    s.dtr = true;
    s.rts = rtsOn();
    if (Status configured = port_.configure(s); !configured) {
        setLastError(configured.message());
        return false;
    }
    return true;
}

bool CDevice::reconfigureLine(const LineSettings& s) {
    std::lock_guard lock(portMutex_);
    const Status configured = port_.configure(s);
    if (configured)
        return true;
    setLastError(configured.message());
    return false;
}

bool CDevice::handshake() {
    port_.purge();
    const auto w = port_.waitReadable(handshakeTimeoutMs_.load());
    port_.purge();
    return w == SerialPort::Wait::Data;
}

void CDevice::readerLoop() {
    readerId_.store(std::this_thread::get_id());
    std::uint8_t buffer[kReadChunk];
    bool selfClose = false;
    while (running_.load()) {
        const int timeout = receiveTimeoutMs_.load();
        const auto w = port_.waitReadable(timeout);
        if (w == SerialPort::Wait::Woken) {
            if (running_.load())
                port_.clearWake();
            continue;
        }
        if (w == SerialPort::Wait::Timeout) {
            if (ignoreReceiveTimeout())
                continue;
            CWorkLog::instance().write(
                text::format("! Прибор %d (%s): нет данных от прибора %d мс, прибор отключён",
                             userNumber(), displayName().c_str(), timeout));
            stopRecordingChannels(true);
            selfClose = true;
            break;
        }
        if (w != SerialPort::Wait::Data) {
            CWorkLog::instance().write(
                text::format("! Прибор %d: Ошибка чтения из COM-порта (какие-то дркгие ошибки) "
                             "<ClearCommErrorFlags-%u>",
                             userNumber(), static_cast<unsigned>(port_.lastErrno())));
            stopRecordingChannels(true);
            selfClose = true;
            break;
        }
        while (running_.load()) {
            const long n = port_.read(buffer, sizeof buffer);
            if (n < 0) {
                CWorkLog::instance().write(
                    text::format("! Прибор %d: Ошибка чтения из COM-порта (какие-то дркгие ошибки) "
                                 "<ClearCommErrorFlags-%u>",
                                 userNumber(), static_cast<unsigned>(port_.lastErrno())));
                stopRecordingChannels(true);
                selfClose = true;
                break;
            }
            if (n == 0)
                break;
            bytesReceived_ += static_cast<std::uint64_t>(n);
            onReceive(buffer, static_cast<std::size_t>(n));
        }
        if (selfClose)
            break;
    }
    addCpuOfThisThread();
    if (selfClose)
        shutdown(true);
    readerId_.store(std::thread::id{});
}

void CDevice::shutdown(bool fromReader) {
    const bool wasRunning = running_.exchange(false);
    if (wasRunning) {
        markChannelsActive(false);
        port_.wake();
        stopWorkers();
    }
    if (!fromReader && reader_.joinable())
        reader_.join();
    if (wasRunning)
        releasePort();
}

void CDevice::close() {
    if (std::this_thread::get_id() == readerId_.load()) {
        shutdown(true);
        return;
    }
    std::lock_guard lock(lifecycleMutex_);
    shutdown(false);
}

void CDevice::joinFinishedReader() {
    if (reader_.joinable())
        reader_.join();
}

void CDevice::releasePort() {
    std::lock_guard lock(portMutex_);
    if (port_.isOpen()) {
        port_.setDtr(false);
        port_.purge();
        port_.close();
    }
    alarms_.reset();
}

bool CDevice::write(const std::uint8_t* bytes, std::size_t count) {
    std::lock_guard lock(portMutex_);
    if (!port_.isOpen())
        return false;
    // 2 ms per byte as the line allows at 9600 baud, with room for the
    // driver's queue.
    const int timeoutMs = static_cast<int>(2 * count) + 200;
    if (port_.write(bytes, count, timeoutMs))
        return true;
    const int e = port_.lastErrno();
    if (e == ETIMEDOUT)
        CWorkLog::instance().write(
            text::format("! Прибор %d: Ошибка записи в COM-порт  (операция не завершена) "
                         "<ClearCommErrorFlags-%u>",
                         userNumber(), static_cast<unsigned>(e)));
    else
        CWorkLog::instance().write(
            text::format("! Прибор %d: Ошибка записи в COM-порт (какие-то другие ошибки) "
                         "<ClearCommErrorFlags-%u>",
                         userNumber(), static_cast<unsigned>(e)));
    return false;
}

std::uint64_t CDevice::inputMark() const {
    std::lock_guard lock(portMutex_);
    return bytesReceived_.load() + port_.pendingInput();
}

bool CDevice::flush() {
    std::lock_guard lock(portMutex_);
    return port_.drain();
}

}  // namespace zelmora
