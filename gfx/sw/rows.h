// Threads that share a target by rows. A job's rows are dealt in blocks to count()
// shares. Thread k (the caller is 0) takes share k unless another got to it first, then
// any share left unclaimed, and runs the job's primitives in draw order over its rows,
// so every pixel sees the same writes in the same order as with one thread: frames do
// not depend on how many threads drew them, nor on which thread ran which share.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace sw {

// Rows a block: per-row records of one block (16 ints) share a cache line, so a thread
// writing its rows' records does not take lines from another.
inline constexpr int kRowBlock = 16;

// Share `phase` of `count` holds the rows of blocks b with b % count == phase.
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

// The calling thread plus count() − 1 workers that sleep between jobs. The caller
// claims every share no worker has started, so a worker the scheduler leaves waiting
// delays a job by nothing: it wakes to find the shares taken.
class RowThreads {
public:
    // `threads` in all, the caller's included; a system that refuses a thread leaves
    // fewer.
    explicit RowThreads(int threads);
    ~RowThreads();
    RowThreads(const RowThreads&) = delete;
    RowThreads& operator=(const RowThreads&) = delete;

    int count() const { return static_cast<int>(workers_.size()) + 1; }

    // Runs job(RowShare) once per share, count() shares, on whichever threads claim
    // them, and returns when every share is done. The job must not throw.
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
    // Runs share `own` of job `generation` if no thread has taken it, then any other
    // share left unclaimed, until none is.
    void claimShares(std::uint32_t generation, int own);
    void workerLoop(int own);

    std::vector<std::thread> workers_;
    // Set before a job's generation is published and left alone until its last share is
    // done, so a thread that has claimed a share reads them without a race.
    Erased fn_ = nullptr;
    const void* job_ = nullptr;
    // The current job's generation (high 32 bits) and a bit for each share claimed (low 32):
    // one word, so a claim can only ever take a share of the job it was meant for.
    // Workers sleep on it between jobs.
    std::atomic<std::uint64_t> claim_{0};
    std::atomic<int> done_{0};  // shares of the current job finished
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
