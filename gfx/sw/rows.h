// Threads that share a target by rows. The rows are dealt in blocks, one to each thread
// in turn, and every job runs its primitives in draw order on each thread, so every
// pixel sees the same writes in the same order as with one thread: frames do not depend
// on how many threads drew them.
#pragma once

#include <atomic>
#include <thread>
#include <vector>

namespace sw {

// Rows a block: per-row records of one block (16 ints) share a cache line, so a thread
// writing its rows' records does not take lines from another.
inline constexpr int kRowBlock = 16;

// Thread `phase` of `count` owns the rows of blocks b with b % count == phase.
struct RowShare {
    int phase = 0;
    int count = 1;

    bool owns(int y) const { return y / kRowBlock % count == phase; }
    // The first owned row at or after y (y >= 0).
    int firstFrom(int y) const {
        if (owns(y)) return y;
        const int block = y / kRowBlock;
        return (block + (phase - block % count + count) % count) * kRowBlock;
    }
    // The owned row after the owned row y.
    int nextAfter(int y) const {
        ++y;
        return y % kRowBlock == 0 ? y + (count - 1) * kRowBlock : y;
    }
};

// The calling thread plus count() − 1 workers that sleep between jobs.
class RowThreads {
public:
    // `threads` in all, the caller's included; a system that refuses a thread leaves
    // fewer.
    explicit RowThreads(int threads);
    ~RowThreads();
    RowThreads(const RowThreads&) = delete;
    RowThreads& operator=(const RowThreads&) = delete;

    int count() const { return static_cast<int>(workers_.size()) + 1; }

    // Runs job(RowShare) once per thread, the caller taking phase 0, and returns when
    // every share is done. The job must not throw.
    template <class Job>
    void run(const Job& job) {
        if (workers_.empty()) return job(RowShare{});
        runErased(&callJob<Job>, &job);
    }

private:
    using Erased = void (*)(const void*, RowShare);
    template <class Job>
    static void callJob(const void* job, RowShare share) {
        (*static_cast<const Job*>(job))(share);
    }
    void runErased(Erased fn, const void* job);
    void workerLoop(int phase);

    std::vector<std::thread> workers_;
    Erased fn_ = nullptr;
    const void* job_ = nullptr;
    std::atomic<unsigned> generation_{0};  // bumped once per job; workers wait on it
    std::atomic<int> pending_{0};          // workers still busy with the current job
    std::atomic<bool> stopping_{false};
};

// job(RowShare) on every thread of `rows`, or once on the caller alone without them.
template <class Job>
void runOnRows(RowThreads* rows, const Job& job) {
    if (rows != nullptr) {
        rows->run(job);
    } else {
        job(RowShare{});
    }
}

}  // namespace sw
