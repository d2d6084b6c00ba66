#pragma once
// A laboratory instrument on a serial line: the device owns the line and its
// channels, reads the instrument's byte stream on a reader thread of its own
// and lets its driver (a subclass) turn the bytes into samples for the
// channels.
//
// Opening: the line is opened exclusively and configured, the running flag
// is set, the driver's link hooks run, the handshake proves that the
// instrument talks (a byte within the handshake time-out), then the reader
// starts. The reader waits for received bytes with the receive time-out
// (5000 ms); when the instrument stays silent that long, every recording
// channel stops as interrupted, a work-log line says why, and the device
// closes itself (unless the driver ignores the time-out).
//
// Threads and their shared state:
// - running_, deviceIndex_, portIndex_, the time-outs and the statistics are
//   atomics read by every thread;
// - lifecycleMutex_ serialises open() and close() from threads other than
//   the reader; the reader never takes it, so a close from the interface
//   thread (which joins the reader) and a close by the reader itself (which
//   never joins itself) cannot wait for each other;
// - portMutex_ guards every write to the line and its release, so that no
//   writer thread touches a closed descriptor;
// - configMutex_ guards portPath_, lastLoadMethod_ and commandSink_.
// close() is idempotent and may be called from any thread, the reader
// included; the caller must not hold a channel's lock.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/result.h"
#include "instruments/acquisition_channel.h"
#include "instruments/alarm_collector.h"
#include "instruments/serial_port.h"

namespace zelmora {

class SettingsStore;

inline constexpr int kDefaultReceiveTimeoutMs = 5000;
inline constexpr int kDefaultHandshakeTimeoutMs = 5000;
inline constexpr int kDefaultPortIndex = 2;  // "COM3"
inline constexpr std::size_t kReadChunk = 80;

// Run state that means "ready to record".
inline constexpr int kRunStateReady = 5;

class CDevice {
  public:
    CDevice();
    virtual ~CDevice();
    CDevice(const CDevice&) = delete;
    CDevice& operator=(const CDevice&) = delete;

    // Index in the device list, channels made by the factory (default:
    // SampleChannel). False when the type has no channels to make or the
    // factory fails.
    virtual bool init(int deviceIndex, const ChannelFactory& channels = {});

    virtual int type() const = 0;
    std::string displayName() const;
    virtual int runState() const { return kRunStateReady; }
    virtual std::string statusText() const { return "Прибор готов к записи"; }
    virtual double sampleRate(int channel) const;

    virtual void saveSettings(SettingsStore& store, const std::string& key) const;
    virtual void loadSettings(const SettingsStore& store, const std::string& key);
    // The device's key is deleted and written anew on save.
    virtual bool rewriteSettingsKey() const { return true; }
    // The values a device takes when the operator adds it to the list or
    // gives a place in the list another type: the values such instruments
    // keep in common, where they have any. Loading the list reads each
    // device's own key afterwards.
    virtual void loadCommonSettings(const SettingsStore& /*store*/) {}

    // Success when the instrument is connected and its reader runs;
    // otherwise a failure saying why (the reason a hook of the driver gave
    // with setLastError(), or what step failed). Opening a running device
    // fails.
    Status open();
    void close();
    bool isRunning() const { return running_.load(); }

    // Hooks asked by the channels.
    virtual bool beginRun() { return true; }
    virtual bool startsAllChannels() const { return false; }
    virtual bool isReadyToRecord() const { return false; }
    // The detector that gives channel `channel` its signal, as the waiting
    // window names it; empty when the channel has none of its own.
    virtual std::string detectorName(int /*channel*/) const { return {}; }
    // True when the instrument itself turns an inverted detector's signal
    // upright (from its own settings, or from the method's when the channel
    // loads them); the channel must then not negate it a second time.
    virtual bool invertsDetectorsItself() const { return false; }
    virtual void onRecordingStarted(int /*channel*/) {}
    virtual void onRecordingStopped(int /*channel*/) {}
    virtual void onMethodStarted(int channel);
    virtual void onStartCancelled(int /*channel*/) {}
    virtual void prepareForAnalysis() {}

    // Writes every byte to the line; true only when all were written. A
    // failure is written to the work log.
    bool write(const std::uint8_t* bytes, std::size_t count);
    bool writeByte(std::uint8_t b) { return write(&b, 1); }
    bool flush();

    int deviceIndex() const { return deviceIndex_.load(); }
    void setDeviceIndex(int i) { deviceIndex_.store(i); }
    int portIndex() const { return portIndex_.load(); }
    void setPortIndex(int i) { portIndex_.store(i); }
    // The device file of the line; empty means /dev/ttyS<port index>.
    void setPortPath(std::string path);
    std::string portPath() const;
    std::string lastLoadMethod() const;
    void setLastLoadMethod(std::string name);

    int channelCount() const { return static_cast<int>(channels_.size()); }
    AcquisitionChannel& channel(int i) { return *channels_.at(static_cast<std::size_t>(i)); }
    const AcquisitionChannel& channel(int i) const {
        return *channels_.at(static_cast<std::size_t>(i));
    }
    bool anyChannelRecording() const;

    AlarmCollector& alarms() { return alarms_; }

    // Where the device sends menu commands for the main window (a start
    // button asks for "Стоп" or "Записать хроматограмму"). The sink must only
    // post: it is called on the reader thread.
    void setCommandSink(std::function<void(int commandId)> sink);
    void postCommand(int commandId) const;

    // Milliseconds of a monotonic clock; tests fix it.
    void setClock(std::function<std::int64_t()> nowMs);
    std::int64_t nowMs() const;

    void setReceiveTimeoutMs(int ms) { receiveTimeoutMs_.store(ms); }
    int receiveTimeoutMs() const { return receiveTimeoutMs_.load(); }
    void setHandshakeTimeoutMs(int ms) { handshakeTimeoutMs_.store(ms); }
    int handshakeTimeoutMs() const { return handshakeTimeoutMs_.load(); }

    std::uint64_t bytesReceived() const { return bytesReceived_.load(); }
    // The position in the received stream up to which every byte had
    // already arrived: what the reader took plus what waits on the line.
    // Taken right after a request is written, a packet ending at or before
    // it left the instrument before the request reached it.
    std::uint64_t inputMark() const;
    std::uint64_t framesDecoded() const { return framesDecoded_.load(); }
    // CPU time that the device's threads spent, in seconds.
    double cpuSeconds() const;

  protected:
    // The opening sequence (line, configuration, link hooks, handshake,
    // reader, workers); the simulated converter has no line and replaces it.
    virtual bool openDevice();
    // Line parameters: 9600 baud, 8N1, no flow control, DTR on, RTS as
    // the driver wants.
    virtual bool configurePort();
    virtual bool rtsOn() const { return true; }
    virtual void onLinkOpened() {}
    virtual void onLinkStarting() {}
    // Base: at least one byte within the handshake time-out.
    virtual bool handshake();
    virtual void onReceive(const std::uint8_t* bytes, std::size_t count) = 0;
    virtual bool ignoreReceiveTimeout() { return false; }
    // Threads of the driver (the "КД+АЦП" writer), started after the
    // handshake and before the reader, and stopped by close() before the line
    // is released. Never called from those threads themselves.
    virtual bool startWorkers() { return true; }
    virtual void stopWorkers() {}

    // The line itself, for a driver whose handshake reads it before the
    // reader starts (the chromatograph tries its baud rates). Only from the
    // opening sequence: no other thread uses the line then.
    bool reconfigureLine(const LineSettings& s);
    SerialPort::Wait waitLine(int timeoutMs) { return port_.waitReadable(timeoutMs); }
    long readLine(std::uint8_t* buffer, std::size_t max) { return port_.read(buffer, max); }
    void purgeLine() { port_.purge(); }

    // The reason a failing hook of the opening sequence gives; open() turns
    // it into its failure.
    void setLastError(std::string e) const;
    std::string lastError() const;
    void setRunning(bool on) { running_.store(on); }
    void markChannelsActive(bool on);
    void stopRecordingChannels(bool interrupted);
    void countFrame() { ++framesDecoded_; }
    // CPU time of the calling thread so far, added by threads when they end.
    void addCpuOfThisThread();
    // "Прибор %d" as users count.
    int userNumber() const { return deviceIndex() + 1; }

  private:
    void readerLoop();
    void shutdown(bool fromReader);
    void releasePort();
    void joinFinishedReader();

    std::vector<std::unique_ptr<AcquisitionChannel>> channels_;
    std::atomic<int> deviceIndex_{-1};
    std::atomic<int> portIndex_{kDefaultPortIndex};
    std::atomic<bool> running_{false};
    std::atomic<int> receiveTimeoutMs_{kDefaultReceiveTimeoutMs};
    std::atomic<int> handshakeTimeoutMs_{kDefaultHandshakeTimeoutMs};
    std::atomic<std::uint64_t> bytesReceived_{0};
    std::atomic<std::uint64_t> framesDecoded_{0};
    std::atomic<std::int64_t> cpuNs_{0};
    std::atomic<std::thread::id> readerId_{};
    AlarmCollector alarms_;

    std::mutex lifecycleMutex_;  // serialises open() and close() outside the reader
    std::thread reader_;  // guarded by lifecycleMutex_ (and by the reader itself never touching it)

    mutable std::mutex portMutex_;  // guards port_ writes and release
    SerialPort port_;

    mutable std::mutex configMutex_;  // guards the fields below
    std::string portPath_;
    std::string lastLoadMethod_;
    std::function<void(int)> commandSink_;
    std::function<std::int64_t()> clock_;
    mutable std::string lastError_;  // guarded by configMutex_; read by open()

    friend class CDeviceTestAccess;
};

}  // namespace zelmora
