// Sharing rows among threads: every row of a target belongs to exactly one share and
// each share's walk (firstFrom, nextAfter) visits exactly its own rows; a job runs once
// per share and has finished everywhere when run returns; the caller does not wait for
// a worker that has not started; the threads go cleanly however soon after they start.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "gfx/sw/rows.h"

namespace {

// Rows visited by share `phase` of `count` from `from` to `last`, in order.
std::vector<int> walk(sw::RowShare share, int from, int last) {
    std::vector<int> rows;
    for (int y = share.firstFrom(from); y <= last; y = share.nextAfter(y)) rows.push_back(y);
    return rows;
}

TEST(RowShare, EveryRowHasOneOwnerAndEachWalkVisitsItsOwn) {
    for (int count = 1; count <= 4; ++count) {
        for (const int from : {0, 5, 16, 47}) {
            const int last = 203;
            std::vector<int> owners(last + 1, 0);
            for (int phase = 0; phase < count; ++phase) {
                const sw::RowShare share{phase, count};
                std::vector<int> expected;
                for (int y = from; y <= last; ++y) {
                    if (y / sw::kRowBlock % count == phase) expected.push_back(y);
                }
                EXPECT_EQ(walk(share, from, last), expected)
                    << "phase " << phase << " of " << count << " from " << from;
                for (int y : expected) ++owners[y];
            }
            for (int y = from; y <= last; ++y) EXPECT_EQ(owners[y], 1) << y << " of " << count;
        }
    }
}

TEST(RowShare, BlocksAlternateBetweenTwoThreads) {
    const sw::RowShare second{1, 2};
    EXPECT_EQ(second.firstFrom(0), 16);
    EXPECT_EQ(second.nextAfter(16), 17);
    EXPECT_EQ(second.nextAfter(31), 48);
    EXPECT_EQ(second.firstFrom(40), 48);
    EXPECT_EQ(second.firstFrom(50), 50);
    EXPECT_FALSE(second.owns(15));
    EXPECT_TRUE(second.owns(16));
}

TEST(RowThreads, EachShareRunsOnceAndIsDoneOnReturn) {
    for (int threads = 1; threads <= 3; ++threads) {
        sw::RowThreads rows(threads);
        ASSERT_EQ(rows.count(), threads);
        for (int job = 0; job < 200; ++job) {
            std::vector<std::atomic<int>> runs(static_cast<std::size_t>(threads));
            std::atomic<int> wrongCount{0};
            rows.run([&](sw::RowShare share) {
                if (share.count != threads) ++wrongCount;
                ++runs[static_cast<std::size_t>(share.phase)];
            });
            // Read straight after run: a share still running would show as 0 here.
            for (int phase = 0; phase < threads; ++phase) {
                ASSERT_EQ(runs[static_cast<std::size_t>(phase)].load(), 1)
                    << "job " << job << ", phase " << phase << " of " << threads;
            }
            ASSERT_EQ(wrongCount.load(), 0);
        }
    }
}

// A thread may not have started by the time the first job comes, or the destructor:
// neither may be missed (this once hung).
TEST(RowThreads, JobsAndShutdownRightAfterStartAreNotMissed) {
    for (int i = 0; i < 300; ++i) {
        sw::RowThreads idle(2);
    }
    for (int i = 0; i < 300; ++i) {
        sw::RowThreads rows(3);
        std::atomic<int> runs{0};
        rows.run([&](sw::RowShare) { ++runs; });
        EXPECT_EQ(runs.load(), 3);
    }
}

// A worker that the scheduler does not run must not hold the job up: the caller claims
// the shares it has not started. The workers here share one processor with a caller
// of real-time priority, so none can run until the caller is done with every job.
TEST(RowThreads, TheCallerTakesSharesNoWorkerHasStarted) {
    cpu_set_t saved;
    ASSERT_EQ(sched_getaffinity(0, sizeof saved, &saved), 0);
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &saved)) {
            CPU_SET(cpu, &one);
            break;
        }
    }
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    {
        sw::RowThreads rows(3);  // the workers inherit the single processor
        sched_param realTime{};
        realTime.sched_priority = 1;
        const int refused = pthread_setschedparam(pthread_self(), SCHED_FIFO, &realTime);
        if (refused == 0) {
            const std::thread::id caller = std::this_thread::get_id();
            for (int job = 0; job < 50; ++job) {
                std::vector<std::thread::id> ranOn(3);
                rows.run([&](sw::RowShare share) {
                    ranOn[static_cast<std::size_t>(share.phase)] = std::this_thread::get_id();
                });
                for (const std::thread::id& id : ranOn) ASSERT_EQ(id, caller) << "job " << job;
            }
            sched_param normal{};
            pthread_setschedparam(pthread_self(), SCHED_OTHER, &normal);
        }
        ASSERT_EQ(sched_setaffinity(0, sizeof saved, &saved), 0);
        if (refused != 0) GTEST_SKIP() << "no real-time priority here: " << std::strerror(refused);
    }
}

}  // namespace
