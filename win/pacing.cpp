// The pacing of a window (win/pacing.h): the deadline clock, the vsync trial and watch,
// and the switch between them. Only waitForDeadline reads the clock or sleeps (pacedSwap
// through the calls it is given).
#include "win/pacing.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <thread>

namespace win {
namespace {

using Seconds = std::chrono::duration<double>;

PaceClock::duration periodOf(const Pacing& pacing) {
    return std::chrono::duration_cast<PaceClock::duration>(Seconds(pacing.period));
}

// A swap vsync did not pace keeps the deadline; one it paced sets the grid from its own
// end, so a miss right after it still waits for the next refresh.
SwapPace paceOnTrial(Pacing& pacing, bool waited, PaceClock::time_point end) {
    SwapPace pace;
    pace.waited = waited;
    if (waited) {
        pacing.clockRunning = true;
        pacing.next = end + periodOf(pacing);
    } else {
        pace.sleepUntil = takeDeadline(pacing, end);
        pace.waited = pace.sleepUntil > end;
    }
    if (++pacing.swapsSeen <= kTrialWarmUp) return pace;
    if (waited) ++pacing.swapsWaited;
    if (pacing.swapsSeen < kTrialWarmUp + kTrialSwaps) return pace;
    if (pacing.swapsWaited >= kTrialWaitsNeeded) {
        pacing.by = PaceBy::vsync;
    } else {
        pace.vsyncOff = switchToDeadlines(pacing);
    }
    return pace;
}

// Trusted vsync paces while swaps do not keep ending under half a period apart.
SwapPace paceOnVsync(Pacing& pacing, double sincePrevious, PaceClock::time_point end) {
    pacing.fastInARow = sincePrevious < 0.5 * pacing.period ? pacing.fastInARow + 1 : 0;
    if (pacing.fastInARow < kFastSwapsInARow) return {.waited = true};
    SwapPace pace;
    pace.vsyncOff = switchToDeadlines(pacing);
    pace.sleepUntil = takeDeadline(pacing, end);
    pace.waited = pace.sleepUntil > end;
    return pace;
}

}  // namespace

void setRefreshRate(Pacing& pacing, int hz) {
    pacing.period = 1.0 / (hz > 0 ? hz : kDefaultRefreshHz);
}

void trialVsync(Pacing& pacing) {
    pacing.by = PaceBy::vsyncTrial;
    pacing.swapsSeen = pacing.swapsWaited = pacing.fastInARow = 0;
}

bool switchToDeadlines(Pacing& pacing) {
    const bool wasVsync = vsyncPaces(pacing);
    pacing.by = PaceBy::deadlines;
    return wasVsync;
}

PaceClock::time_point takeDeadline(Pacing& pacing, PaceClock::time_point now) {
    const PaceClock::duration period = periodOf(pacing);
    if (!pacing.clockRunning || now > pacing.next + 4 * period) {
        pacing.clockRunning = true;
        pacing.next = now + period;
        return now;
    }
    const PaceClock::time_point deadline = std::max(now, pacing.next);
    pacing.next += period;
    return deadline;
}

bool swapWaitedForVsync(double inside, double sincePrevious, double period) {
    if (!(period > 0.0)) return false;
    const double periods = sincePrevious / period;
    // A swap more than a few periods after the previous one tells nothing of the grid.
    const bool onGrid =
        periods > 0.85 && periods < 4.15 && std::abs(periods - std::round(periods)) < 0.15;
    return inside >= 0.3 * period && onGrid;
}

SwapPace afterVsyncSwap(Pacing& pacing, PaceClock::time_point start, PaceClock::time_point end) {
    assert(vsyncPaces(pacing));
    const double sincePrevious = Seconds(end - pacing.lastSwapEnd).count();
    pacing.lastSwapEnd = end;
    if (pacing.by == PaceBy::vsync) return paceOnVsync(pacing, sincePrevious, end);
    const bool waited =
        swapWaitedForVsync(Seconds(end - start).count(), sincePrevious, pacing.period);
    return paceOnTrial(pacing, waited, end);
}

bool waitForDeadline(Pacing& pacing) {
    const PaceClock::time_point now = PaceClock::now();
    const PaceClock::time_point deadline = takeDeadline(pacing, now);
    if (deadline <= now) return false;
    std::this_thread::sleep_until(deadline);
    return true;
}

bool pacedSwap(Pacing& pacing, const SwapCalls& calls) {
    if (!vsyncPaces(pacing)) {
        const PaceClock::time_point now = calls.now();
        const PaceClock::time_point deadline = takeDeadline(pacing, now);
        if (deadline > now) calls.sleepUntil(deadline);
        calls.swap();
        return deadline > now;
    }
    const PaceClock::time_point start = calls.now();
    calls.swap();
    const SwapPace pace = afterVsyncSwap(pacing, start, calls.now());
    if (pace.vsyncOff) calls.vsyncOff();
    if (pace.sleepUntil > calls.now()) calls.sleepUntil(pace.sleepUntil);
    return pace.waited;
}

}  // namespace win
