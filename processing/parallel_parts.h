#pragma once
// Splitting one piece of marking or integration work over the processor's
// cores: `count` independent items (candidate peaks of a stretch of trace,
// peak groups, peaks to measure) are handed out a few at a time to the
// threads, the calling thread among them. Every item's result
// depends on that item alone, so the figures are the same on any number of
// threads; only the time changes.
//
// The helper threads are std::jthread: they are joined before RunInParts
// returns, so every result is written before the caller reads it, and no
// lock is needed as long as each part writes only its own items. The work
// must not throw (a throw on a helper thread ends the program).

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
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

// Calls work(worker, begin, end) for pieces [begin, end) that together make
// 0..count, on at most `threads` threads (worker 0 is this thread); the
// pieces are claimed by whichever thread is free, so a helper that starts
// late does less. Returns when all are done.
template <class Work>
void RunInParts(unsigned threads, std::size_t count, Work&& work) {
    if (count == 0)
        return;
    const std::size_t workers = std::max<std::size_t>(1, std::min<std::size_t>(threads, count));
    if (workers == 1) {
        work(std::size_t{0}, std::size_t{0}, count);
        return;
    }
    const std::size_t grain = std::max<std::size_t>(1, count / (16 * workers));
    // The next piece to claim: shared by the threads, atomic (no lock).
    std::atomic<std::size_t> next{0};
    const auto claim = [&](std::size_t worker) {
        for (std::size_t from = next.fetch_add(grain); from < count; from = next.fetch_add(grain))
            work(worker, from, std::min(count, from + grain));
    };
    {
        std::vector<std::jthread> helpers;
        helpers.reserve(workers - 1);
        for (std::size_t w = 1; w < workers; ++w)
            helpers.emplace_back([&claim, w] { claim(w); });
        claim(0);
    }  // the helpers are joined here
}

// Helper threads kept for the length of one marking run, for work handed
// out many times over (the scan's batches of candidates). The items of a job
// are claimed a few at a time by whichever thread is free, the calling thread
// included, and run() returns as soon as every claimed item is done: on a
// machine busy with other work a helper that is not given the processor in
// time leaves its share to the caller instead of holding it up.
class WorkCrew {
  public:
    // `threads` counts the calling thread: threads - 1 helpers.
    explicit WorkCrew(unsigned threads);
    ~WorkCrew();
    WorkCrew(const WorkCrew&) = delete;
    WorkCrew& operator=(const WorkCrew&) = delete;

    unsigned threads() const { return static_cast<unsigned>(helpers_.size()) + 1; }

    // Calls work(worker, k) for every k in 0..count, `grain` items at a
    // claim; worker is 0 for the calling thread and 1.. for the helpers, so
    // that each thread can keep its own scratch storage. The work of one
    // item must touch only what belongs to that item or to its worker, and
    // must not throw.
    void run(std::size_t count, std::size_t grain,
             const std::function<void(unsigned, std::size_t)>& work);

  private:
    void helper(std::stop_token stop, unsigned worker);
    void claim(unsigned worker);

    std::mutex mutex_;                 // guards job_, generation_, active_, stopping_
    std::condition_variable changed_;  // a new job, the end of a helper's part, the stop
    const std::function<void(unsigned, std::size_t)>* job_ = nullptr;
    std::uint64_t generation_ = 0;  // counts the jobs
    unsigned active_ = 0;           // helpers working on the current job
    bool stopping_ = false;
    // The next item to claim and the job's size: written by run() while no
    // helper is active (under mutex_), claimed with atomic additions.
    std::atomic<std::size_t> next_{0};
    std::size_t count_ = 0, grain_ = 1;
    std::vector<std::jthread> helpers_;  // last member: they stop before the rest goes
};

}  // namespace zelmora
