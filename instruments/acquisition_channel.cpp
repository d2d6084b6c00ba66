#include "instruments/acquisition_channel.h"

#include <chrono>

#include "instruments/device.h"

namespace zelmora {

std::string AcquisitionChannel::methodName() const {
    std::lock_guard lock(nameMutex_);
    return methodName_;
}

void AcquisitionChannel::setMethodName(std::string name) {
    std::lock_guard lock(nameMutex_);
    methodName_ = std::move(name);
}

ChannelFactory SampleChannel::factory() {
    return [](CDevice& d, int i) -> std::unique_ptr<AcquisitionChannel> {
        return std::make_unique<SampleChannel>(d, i);
    };
}

void SampleChannel::recordNow(bool notify, std::size_t limit) {
    {
        std::lock_guard lock(mutex_);
        limit_ = limit;
    }
    begin(notify);
}

void SampleChannel::arm(std::size_t limit) {
    if (recording_.load())
        return;
    {
        std::lock_guard lock(mutex_);
        limit_ = limit;
    }
    waiting_.store(true);
    device().onMethodStarted(index());
}

void SampleChannel::cancelArm() {
    if (waiting_.exchange(false))
        device().onStartCancelled(index());
}

void SampleChannel::begin(bool notify) {
    if (recording_.load())
        return;
    waiting_.store(false);
    {
        std::lock_guard lock(mutex_);
        samples_.clear();
        recording_.store(true);
    }
    ++starts_;
    if (notify)
        device().onRecordingStarted(index());
    changed_.notify_all();
}

double SampleChannel::recordedMinutes() const {
    const double rate = device().sampleRate(index());
    return rate > 0 ? static_cast<double>(sampleCount()) / rate / 60.0 : 0.0;
}

void SampleChannel::addSample(double valueMv) {
    if (!recording_.load())
        return;
    bool full = false;
    {
        std::lock_guard lock(mutex_);
        samples_.push_back(valueMv);
        full = limit_ != 0 && samples_.size() >= limit_;
    }
    changed_.notify_all();
    if (full)
        stop(false);
}

void SampleChannel::triggerStart() {
    if (waiting_.load() && device().beginRun())
        begin(true);
}

void SampleChannel::stop(bool interrupted) {
    if (!recording_.exchange(false))
        return;
    lastInterrupted_.store(interrupted);
    ++stops_;
    device().onRecordingStopped(index());
    {
        // Taken so that a waiter between its check and its sleep sees the change.
        std::lock_guard lock(mutex_);
    }
    changed_.notify_all();
}

std::vector<double> SampleChannel::samples() const {
    std::lock_guard lock(mutex_);
    return samples_;
}

std::size_t SampleChannel::sampleCount() const {
    std::lock_guard lock(mutex_);
    return samples_.size();
}

bool SampleChannel::waitForSamples(std::size_t n, int timeoutMs) const {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [&] { return samples_.size() >= n || !recording_.load(); });
    return samples_.size() >= n;
}

bool SampleChannel::waitStopped(int timeoutMs) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return !recording_.load(); });
}

}  // namespace zelmora
