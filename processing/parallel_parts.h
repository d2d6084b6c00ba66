#pragma once
// Splitting one piece of marking or integration work over the processor's
// cores: `count` independent items (candidate peaks of a stretch of trace,
// peak groups, peaks to measure) are cut into contiguous parts, one per
// thread, the first part worked on the calling thread. Every item's result
// depends on that item alone, so the figures are the same on any number of
// threads; only the time changes.
//
// The helper threads are std::jthread: they are joined before RunInParts
// returns, so every result is written before the caller reads it, and no
// lock is needed as long as each part writes only its own items. The work
// must not throw (a throw on a helper thread ends the program).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

namespace zelmora {

// Traces shorter than this are worked on one thread: starting a thread
// costs about what marking a few ten thousand samples does.
inline constexpr std::int64_t kParallelFromSamples = 200'000;

// The number of threads for marking a trace of `samples`: `requested` when
// it is not 0, otherwise one per core (hardware concurrency), and 1 for
// short traces.
inline unsigned MarkingThreads(std::int64_t samples, unsigned requested) {
    if (requested > 0)
        return requested;
    if (samples < kParallelFromSamples)
        return 1;
    return std::max(1u, std::thread::hardware_concurrency());
}

// Calls work(part, begin, end) for the parts [begin, end) of 0..count, at
// most `threads` of them, part 0 on this thread; returns when all are done.
template <class Work>
void RunInParts(unsigned threads, std::size_t count, Work&& work) {
    const std::size_t parts = std::max<std::size_t>(1, std::min<std::size_t>(threads, count));
    const auto bound = [&](std::size_t p) { return count * p / parts; };
    {
        std::vector<std::jthread> helpers;
        helpers.reserve(parts - 1);
        for (std::size_t p = 1; p < parts; ++p)
            helpers.emplace_back([&work, p, b = bound(p), e = bound(p + 1)] { work(p, b, e); });
        work(std::size_t{0}, std::size_t{0}, bound(1));
    }  // the helpers are joined here
}

}  // namespace zelmora
