#pragma once
// One detector signal of a device as the drivers see it: the driver hands it
// samples in millivolts, asks whether it records or waits for its start
// signal, triggers its start and stops it. The recording channel of the
// program (with its chromatogram document, resampling and windows) derives
// from this interface; SampleChannel below is the plain stand-in that keeps
// the raw samples, used by the command line and the tests.
//
// Drivers call these operations on their own threads (reader, generator), so
// every implementation must be safe to call from any thread and must not
// block for long: a driver's reader waits while a sample is taken.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zelmora {

class CDevice;

class AcquisitionChannel {
  public:
    AcquisitionChannel(CDevice& owner, int index) : owner_(owner), index_(index) {}
    virtual ~AcquisitionChannel() = default;
    AcquisitionChannel(const AcquisitionChannel&) = delete;
    AcquisitionChannel& operator=(const AcquisitionChannel&) = delete;

    CDevice& device() const { return owner_; }
    int index() const { return index_; }

    // "InUse%d": the operator uses this channel.
    bool inUse() const { return inUse_.load(); }
    void setInUse(bool on) { inUse_.store(on); }
    // Set while the device's line is open.
    bool active() const { return active_.load(); }
    void setActive(bool on) { active_.store(on); }

    // "LastMethod%d": the method last chosen for the channel.
    std::string methodName() const;
    void setMethodName(std::string name);

    // Whether the instrument settings of the channel's method go into the
    // instrument when the method starts ("Использовать установки прибора из
    // метода").
    virtual bool useMethodSettings() const { return true; }
    virtual bool isRecording() const = 0;
    virtual bool isWaitingForStart() const = 0;
    // Minutes from the start of the recording to its last point.
    virtual double recordedMinutes() const = 0;
    // One sample from the instrument; ignored unless recording.
    virtual void addSample(double valueMv) = 0;
    // The start signal arrived (button, first data, state toggle).
    virtual void triggerStart() = 0;
    // Ends a recording; interrupted = not run to its end.
    virtual void stop(bool interrupted) = 0;

  private:
    CDevice& owner_;
    const int index_;
    std::atomic<bool> inUse_{true};
    std::atomic<bool> active_{false};
    mutable std::mutex nameMutex_;  // guards methodName_
    std::string methodName_;
};

using ChannelFactory = std::function<std::unique_ptr<AcquisitionChannel>(CDevice&, int index)>;

// Keeps every sample of a recording. Recording starts with recordNow() or,
// after arm(), with the start signal; it stops on stop() or when `limit`
// samples were taken (completed).
class SampleChannel : public AcquisitionChannel {
  public:
    SampleChannel(CDevice& owner, int index) : AcquisitionChannel(owner, index) {}

    static ChannelFactory factory();

    // Starts recording at once; notify = tell the device (it may send the
    // instrument a start command).
    void recordNow(bool notify = true, std::size_t limit = 0);
    // Waits for the start signal; the method-started hook of the device runs.
    void arm(std::size_t limit = 0);
    void cancelArm();

    bool isRecording() const override { return recording_.load(); }
    bool isWaitingForStart() const override { return waiting_.load(); }
    double recordedMinutes() const override;
    void addSample(double valueMv) override;
    void triggerStart() override;
    void stop(bool interrupted) override;

    std::vector<double> samples() const;
    std::size_t sampleCount() const;
    // Waits until at least n samples were taken or the recording ended;
    // true when n were reached.
    bool waitForSamples(std::size_t n, int timeoutMs) const;
    // Waits until the recording is not running any more.
    bool waitStopped(int timeoutMs) const;
    int startCount() const { return starts_.load(); }
    int stopCount() const { return stops_.load(); }
    bool lastStopInterrupted() const { return lastInterrupted_.load(); }

  private:
    void begin(bool notify);

    std::atomic<bool> recording_{false};
    std::atomic<bool> waiting_{false};
    std::atomic<int> starts_{0};
    std::atomic<int> stops_{0};
    std::atomic<bool> lastInterrupted_{false};
    mutable std::mutex mutex_;  // guards samples_ and limit_
    mutable std::condition_variable changed_;
    std::vector<double> samples_;
    std::size_t limit_ = 0;
};

}  // namespace zelmora
