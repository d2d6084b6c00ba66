#include "processing/parallel_parts.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

namespace zelmora {
namespace {

// Many jobs of every size in a row on one crew: each item is worked on
// exactly once, by a worker the crew has, and run() returns only after all
// of them (a helper waking late must not take a finished job's items or run
// the old job on the next one's).
TEST(WorkCrew, EveryItemOfEveryJobOnceBeforeRunReturns) {
    for (unsigned threads : {1u, 2u, 4u}) {
        SCOPED_TRACE(threads);
        WorkCrew crew(threads);
        EXPECT_EQ(crew.threads(), threads);
        for (std::size_t job = 0; job < 300; ++job) {
            const std::size_t count = job % 37;
            const std::size_t stamp = job + 1;
            auto seen = std::make_unique<std::atomic<std::size_t>[]>(count + 1);
            std::atomic<bool> badWorker{false};
            crew.run(count, 1 + job % 5, [&](unsigned worker, std::size_t k) {
                if (worker >= threads)
                    badWorker = true;
                seen[k].fetch_add(stamp);
            });
            for (std::size_t k = 0; k < count; ++k)
                ASSERT_EQ(seen[k].load(), stamp) << "job " << job << " item " << k;
            EXPECT_FALSE(badWorker);
        }
    }
}

TEST(RunInParts, PiecesCoverEveryItemOnce) {
    for (unsigned threads : {1u, 2u, 3u, 8u})
        for (std::size_t count : {0u, 1u, 2u, 5u, 100u, 1000u}) {
            SCOPED_TRACE(count);
            std::vector<std::atomic<int>> hits(count);
            std::atomic<bool> badWorker{false};
            RunInParts(threads, count, [&](std::size_t worker, std::size_t from, std::size_t to) {
                if (worker >= threads || from >= to || to > count)
                    badWorker = true;
                for (std::size_t k = from; k < to; ++k)
                    ++hits[k];
            });
            EXPECT_FALSE(badWorker);
            for (std::size_t k = 0; k < count; ++k)
                ASSERT_EQ(hits[k].load(), 1) << k;
        }
}

}  // namespace
}  // namespace zelmora
