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

// The floor under a swap vsync paced: never ahead of the refresh grid (a driver that
// only seems to wait, its swaps slow on a busy CPU, would otherwise set a pace faster
// than the display), and the grid moves on from the later of the two, so a late swap
// is followed by no burst. A real vsync ends on the grid and sleeps at most its jitter;
// one slightly faster than the rate the display reported loses a refresh now and then,
// never turning faster than that rate.
PaceClock::time_point floorAfterVsync(Pacing& pacing, PaceClock::time_point end) {
    const PaceClock::time_point at = pacing.clockRunning ? std::max(end, pacing.next) : end;
    pacing.clockRunning = true;
    pacing.next = at + periodOf(pacing);
    return at;
}

// A swap vsync did not pace keeps the deadline; one it paced keeps the floor.
SwapPace paceOnTrial(Pacing& pacing, bool waited, PaceClock::time_point end) {
    SwapPace pace;
    pace.sleepUntil = waited ? floorAfterVsync(pacing, end) : takeDeadline(pacing, end);
    pace.waited = waited || pace.sleepUntil > end;
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

// Trusted vsync paces, over the floor, while swaps do not keep returning at once.
SwapPace paceOnVsync(Pacing& pacing, bool blocked, PaceClock::time_point end) {
    pacing.fastInARow = blocked ? 0 : pacing.fastInARow + 1;
    SwapPace pace;
    if (pacing.fastInARow < kFastSwapsInARow) {
        pace.sleepUntil = floorAfterVsync(pacing, end);
        pace.waited = true;
        return pace;
    }
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
    return inside >= kBlockedShare * period && onGrid;
}

SwapPace afterVsyncSwap(Pacing& pacing, PaceClock::time_point start, PaceClock::time_point end) {
    assert(vsyncPaces(pacing));
    const double inside = Seconds(end - start).count();
    const double sincePrevious = Seconds(end - pacing.lastSwapEnd).count();
    pacing.lastSwapEnd = end;
    // Under the floor a swap that returned at once still ends a period after the last
    // one: only the time spent inside tells the watch that vsync stopped waiting.
    if (pacing.by == PaceBy::vsync) {
        return paceOnVsync(pacing, inside >= kBlockedShare * pacing.period, end);
    }
    return paceOnTrial(pacing, swapWaitedForVsync(inside, sincePrevious, pacing.period), end);
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
