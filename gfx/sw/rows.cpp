// The row threads: a job is published by bumping a generation counter, each worker
// runs its share and counts itself off. Waiting spins briefly before sleeping, since
// a frame's clears and draws follow each other within microseconds, while between
// paced frames the workers sleep.
#include "gfx/sw/rows.h"

#include <immintrin.h>

#include <algorithm>
#include <system_error>

namespace sw {

namespace {

// About 50 µs of pause instructions: longer than the gaps inside a frame.
constexpr int kSpins = 1000;

// Waits until done(value) holds and returns that value.
template <class T, class Done>
T awaitValue(std::atomic<T>& value, Done done) {
    for (int i = 0; i < kSpins; ++i) {
        const T now = value.load(std::memory_order_acquire);
        if (done(now)) return now;
        _mm_pause();
    }
    for (;;) {
        const T now = value.load(std::memory_order_acquire);
        if (done(now)) return now;
        value.wait(now, std::memory_order_acquire);
    }
}

}  // namespace

RowThreads::RowThreads(int threads) {
    const int wanted = threads - 1;
    try {
        workers_.reserve(static_cast<std::size_t>(std::max(wanted, 0)));
        for (int phase = 1; phase <= wanted; ++phase) {
            workers_.emplace_back([this, phase] { workerLoop(phase); });
        }
    } catch (const std::system_error&) {
        // Fewer threads than asked: the shares are dealt among those that started.
    }
}

RowThreads::~RowThreads() {
    stopping_.store(true, std::memory_order_release);
    generation_.fetch_add(1, std::memory_order_release);
    generation_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

void RowThreads::runErased(Erased fn, const void* job) {
    fn_ = fn;
    job_ = job;
    pending_.store(static_cast<int>(workers_.size()), std::memory_order_relaxed);
    generation_.fetch_add(1, std::memory_order_release);
    generation_.notify_all();
    fn(job, RowShare{0, count()});
    awaitValue(pending_, [](int left) { return left == 0; });
}

void RowThreads::workerLoop(int phase) {
    // Not read from generation_: a job (or the destructor) may already have bumped it
    // before this thread got to run.
    unsigned seen = 0;
    for (;;) {
        seen = awaitValue(generation_, [seen](unsigned now) { return now != seen; });
        if (stopping_.load(std::memory_order_acquire)) return;
        fn_(job_, RowShare{phase, count()});
        if (pending_.fetch_sub(1, std::memory_order_acq_rel) == 1) pending_.notify_one();
    }
}

}  // namespace sw
