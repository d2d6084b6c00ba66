#pragma once
// Helpers for the tests that run a driver against its simulator on a
// pseudo-terminal.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "instruments/acquisition_channel.h"
#include "instruments/device.h"
#include "instruments/sim/pty_simulator.h"

namespace zelmora::test {

// Success, or a test failure that shows why the device did not open.
inline ::testing::AssertionResult succeeded(const Status& s) {
    if (s)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << s.message();
}

inline SampleChannel& samples(CDevice& d, int c) {
    return dynamic_cast<SampleChannel&>(d.channel(c));
}

template <class D>
std::unique_ptr<D> makeDevice(const std::string& path, int receiveTimeoutMs = 2000) {
    auto d = std::make_unique<D>();
    if (!d->init(0))
        return nullptr;
    d->setPortPath(path);
    d->setReceiveTimeoutMs(receiveTimeoutMs);
    d->setHandshakeTimeoutMs(2000);
    return d;
}

// Waits up to timeoutMs for a condition, polling.
template <class F>
bool eventually(F f, int timeoutMs = 10000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!f()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// The recorded samples are consecutive frames of the simulator (frames
// with a scheduled bad check byte left out), starting somewhere; returns
// the first frame's index or -1 with a failure.
inline long long expectConsecutiveFrames(const std::vector<double>& got,
                                         const sim::FrameSource& src, int channel,
                                         std::uint64_t framesScheduled, double sign = 1.0,
                                         double tol = 1e-9) {
    if (got.empty()) {
        ADD_FAILURE() << "no samples";
        return -1;
    }
    for (std::uint64_t n0 = 0; n0 < framesScheduled; ++n0) {
        if (std::fabs(sign * src.expectedSample(channel, n0) - got[0]) > tol)
            continue;
        std::uint64_t n = n0;
        std::size_t i = 0;
        for (; i < got.size(); ++i, ++n) {
            while (src.faultAt(sim::FaultKind::BadCheck, n))
                ++n;
            if (std::fabs(sign * src.expectedSample(channel, n) - got[i]) > tol)
                break;
        }
        if (i == got.size())
            return static_cast<long long>(n0);
    }
    ADD_FAILURE() << "the " << got.size() << " samples of channel " << channel + 1
                  << " are not consecutive frames of the simulator";
    return -1;
}

// Records the command ids a device posts for the main window.
struct CommandLog {
    std::mutex mutex;  // guards ids
    std::vector<int> ids;
    std::function<void(int)> sink(std::function<void(int)> also = {}) {
        return [this, also](int id) {
            {
                std::lock_guard lock(mutex);
                ids.push_back(id);
            }
            if (also)
                also(id);
        };
    }
    std::vector<int> get() {
        std::lock_guard lock(mutex);
        return ids;
    }
};

// A clock the test moves by hand.
struct ManualClock {
    std::atomic<std::int64_t> ms{1'000'000};
    std::function<std::int64_t()> fn() {
        return [this] { return ms.load(); };
    }
};

}  // namespace zelmora::test
