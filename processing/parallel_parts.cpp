#include "processing/parallel_parts.h"

namespace zelmora {

WorkCrew::WorkCrew(unsigned threads) {
    const unsigned helpers = threads > 1 ? threads - 1 : 0;
    helpers_.reserve(helpers);
    for (unsigned w = 1; w <= helpers; ++w)
        helpers_.emplace_back([this, w](std::stop_token stop) { helper(stop, w); });
}

WorkCrew::~WorkCrew() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    helpers_.clear();  // joins them
}

void WorkCrew::claim(unsigned worker) {
    const auto& work = *job_;
    for (;;) {
        const std::size_t from = next_.fetch_add(grain_);
        if (from >= count_)
            return;
        const std::size_t to = std::min(count_, from + grain_);
        for (std::size_t k = from; k < to; ++k)
            work(worker, k);
    }
}

void WorkCrew::run(std::size_t count, std::size_t grain,
                   const std::function<void(unsigned, std::size_t)>& work) {
    if (count == 0)
        return;
    {
        std::lock_guard lock(mutex_);
        job_ = &work;
        count_ = count;
        grain_ = std::max<std::size_t>(1, grain);
        next_.store(0);
        ++generation_;
    }
    if (!helpers_.empty())
        changed_.notify_all();
    claim(0);
    // Every item is claimed now; those of helpers still at work are done
    // when the last of them leaves. A helper that comes later finds no job.
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return active_ == 0; });
    job_ = nullptr;
}

void WorkCrew::helper(std::stop_token, unsigned worker) {
    std::uint64_t seen = 0;
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || (job_ && generation_ != seen); });
        if (stopping_)
            return;
        seen = generation_;
        ++active_;
        lock.unlock();
        claim(worker);
        lock.lock();
        --active_;
        if (active_ == 0)
            changed_.notify_all();
    }
}

}  // namespace zelmora
