#include "instruments/demo_adc.h"

#include <chrono>
#include <system_error>

namespace zelmora {

CDemoAdc::~CDemoAdc() {
    close();
}

void CDemoAdc::setRandomSource(std::function<std::pair<double, double>()> source) {
    std::lock_guard lock(mutex_);
    source_ = std::move(source);
}

bool CDemoAdc::openDevice() {
    if (generator_.joinable())
        generator_.join();
    {
        std::lock_guard lock(mutex_);
        stop_ = false;
    }
    setRunning(true);
    try {
        generator_ = std::thread([this] { generatorLoop(); });
    } catch (const std::system_error& e) {
        setRunning(false);
        setLastError(e.what());
        return false;
    }
    markChannelsActive(true);
    return true;
}

void CDemoAdc::stopWorkers() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (generator_.joinable() && generator_.get_id() != std::this_thread::get_id())
        generator_.join();
}

void CDemoAdc::generatorLoop() {
    std::minstd_rand rng(static_cast<unsigned>(nowMs()));
    std::uniform_int_distribution<int> rand32767(0, 32767);
    std::unique_lock lock(mutex_);
    while (!stop_) {
        const int period = periodMs_.load();
        if (period > 0)
            wake_.wait_for(lock, std::chrono::milliseconds(period), [&] { return stop_; });
        if (stop_)
            break;
        double r = 0;
        double noise = 0;
        if (source_) {
            std::tie(r, noise) = source_();
        } else {
            r = static_cast<double>(nowMs() & 0xFFFF) / 65535.0;
            noise = rand32767(rng) / 32767.0;
        }
        lock.unlock();
        const auto v = signal_.next(r, noise);
        for (int c = 0; c < channelCount() && c < 3; ++c)
            channel(c).addSample(v[static_cast<std::size_t>(c)]);
        if (channelCount() > 2 && channel(2).isWaitingForStart())
            channel(2).triggerStart();
        ++ticks_;
        countFrame();
        lock.lock();
    }
    lock.unlock();
    addCpuOfThisThread();
}

}  // namespace zelmora
