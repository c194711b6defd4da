// The row threads: a job is published as a new generation in the claim word, and every
// thread, the caller first, claims its shares from that word until none is left, then
// counts them done. Waiting spins briefly before sleeping, since a frame's clears and
// draws follow each other within microseconds, while between paced frames the workers
// sleep.
#include "gfx/sw/rows.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <system_error>

namespace sw {

namespace {

// About 50 µs of pause instructions: longer than the gaps inside a frame.
constexpr int kSpins = 1000;

// Tells the core this thread spins, so a sibling hyperthread gets the cycles.
inline void spinPause() {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

// Waits until done(value) holds and returns that value.
template <class T, class Done>
T awaitValue(std::atomic<T>& value, Done done) {
    for (int i = 0; i < kSpins; ++i) {
        const T now = value.load(std::memory_order_acquire);
        if (done(now)) return now;
        spinPause();
    }
    for (;;) {
        const T now = value.load(std::memory_order_acquire);
        if (done(now)) return now;
        value.wait(now, std::memory_order_acquire);
    }
}

constexpr std::uint32_t generationOf(std::uint64_t claim) {
    return static_cast<std::uint32_t>(claim >> 32);
}

}  // namespace

RowThreads::RowThreads(int threads) {
    const int wanted = threads - 1;
    try {
        workers_.reserve(static_cast<std::size_t>(std::max(wanted, 0)));
        for (int i = 0; i < wanted; ++i) workers_.emplace_back([this, i] { workerLoop(i + 1); });
    } catch (const std::system_error&) {
        // Fewer threads than asked: the shares are dealt among those that started.
    }
}

RowThreads::~RowThreads() {
    stopping_.store(true, std::memory_order_release);
    claim_.fetch_add(std::uint64_t{1} << 32, std::memory_order_release);
    claim_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

void RowThreads::runErased(Erased fn, const void* job) {
    // The previous job's shares are all done, so no thread reads these now.
    fn_ = fn;
    job_ = job;
    done_.store(0, std::memory_order_relaxed);
    const std::uint32_t generation = generationOf(claim_.load(std::memory_order_relaxed)) + 1;
    claim_.store(std::uint64_t{generation} << 32, std::memory_order_release);
    claim_.notify_all();
    claimShares(generation, 0);
    awaitValue(done_, [this](int done) { return done == count(); });
}

void RowThreads::claimShares(std::uint32_t generation, int own) {
    const int shares = count();
    const std::uint64_t all = (std::uint64_t{1} << shares) - 1;
    std::uint64_t claim = claim_.load(std::memory_order_acquire);
    for (;;) {
        // A later generation means this job is over; every bit set, that nothing is left.
        if (generationOf(claim) != generation || (claim & all) == all) return;
        // A thread's own share first, so the rows a thread cleared are the rows it draws
        // and stay in its core's cache; then whichever share is still free.
        int share = own;
        if ((claim >> own & 1u) != 0) share = std::countr_one(claim & all);
        if (!claim_.compare_exchange_weak(claim, claim | std::uint64_t{1} << share,
                                          std::memory_order_acq_rel, std::memory_order_acquire)) {
            continue;  // another thread claimed first, or the word was read stale
        }
        fn_(job_, RowShare{share, shares});
        if (done_.fetch_add(1, std::memory_order_acq_rel) + 1 == shares) done_.notify_one();
        claim = claim_.load(std::memory_order_acquire);
    }
}

void RowThreads::workerLoop(int own) {
    // Not read from claim_: a job (or the destructor) may already have published a
    // generation before this thread got to run.
    std::uint32_t seen = 0;
    for (;;) {
        const std::uint64_t claim =
            awaitValue(claim_, [seen](std::uint64_t now) { return generationOf(now) != seen; });
        if (stopping_.load(std::memory_order_acquire)) return;
        seen = generationOf(claim);
        claimShares(seen, own);
    }
}

}  // namespace sw
