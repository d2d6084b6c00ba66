#pragma once
// The HT300 autosampler's injections, turned into recordings on the device
// list: before it injects, the sampler asks whether the chosen device is
// ready to record on the chosen channels (running, in its ready run state,
// the channels in use, connected and idle); after each injection the
// channels start recording, with the vial, the injection and the sample
// name in the new chromatogram's passport (a channel armed with a method is
// triggered, an idle one records its method at once).
//
// The sampler asks on its link thread, but the device list belongs to the
// interface thread: the questions and the starts are posted there, and the
// answer the link thread gets is the one the interface thread worked out at
// its last look (at most one status cycle old). A start still on its way
// counts as "not ready", so that no second injection overtakes it.
//
// Threads: ready_, readyKey_, startsPending_ and refreshPosted_ are atomics
// shared through state_ with the posted work, which runs on the interface
// thread and checks that the target still exists.

#include <atomic>
#include <functional>
#include <memory>

#include "instruments/ht300_sampler.h"

namespace zelmora {

class CDeviceManager;

class Ht300DeviceListTarget : public Ht300RecordingTarget {
  public:
    using Post = std::function<void(std::function<void()>)>;
    // `devices` must outlive the posted work (the application's list).
    Ht300DeviceListTarget(CDeviceManager& devices, Post post);
    ~Ht300DeviceListTarget() override;

    bool readyToRecord(int deviceIndex, unsigned channelBits) override;
    void startRecording(const Ht300Injection& injection) override;

    // Interface thread: the same questions answered at once.
    static bool channelsReady(CDeviceManager& devices, int deviceIndex, unsigned channelBits);
    // Starts the channels; the number of channels that started.
    static int start(CDeviceManager& devices, const Ht300Injection& injection);

  private:
    struct State {
        std::atomic<bool> alive{true};
        std::atomic<bool> ready{false};
        std::atomic<long> readyKey{-1};  // device × 256 + bits the answer is for
        std::atomic<int> startsPending{0};
        std::atomic<bool> refreshPosted{false};
    };
    CDeviceManager& devices_;
    Post post_;
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace zelmora
