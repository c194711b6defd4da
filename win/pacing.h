// A window's pacing, one per window: who keeps presents to the display's refresh (the
// driver's vsync, once a trial has seen it wait, or our deadline clock), the trial and
// the watch that decide it, and the one switch to deadlines. Plain data and functions
// over made-up or real times; knows nothing of windows, drivers or SDL.
#pragma once

#include <chrono>
#include <functional>

namespace win {

// Ours: the rate assumed where the display does not say.
constexpr int kDefaultRefreshHz = 60;

using PaceClock = std::chrono::steady_clock;

enum class PaceBy {
    deadlines,   // our clock: at most one present per period, on a steady grid
    vsyncTrial,  // the driver's vsync, on trial: swaps it did not pace keep deadlines
    vsync,       // the driver's vsync, trusted and watched
};

struct Pacing {
    double period = 1.0 / kDefaultRefreshHz;  // seconds between refreshes
    PaceBy by = PaceBy::deadlines;
    // The deadline clock.
    PaceClock::time_point next{};  // the earliest time of the next present
    bool clockRunning = false;     // false until the first present it paces
    // The vsync trial and watch.
    PaceClock::time_point lastSwapEnd{};
    int swapsSeen = 0;    // swaps since the trial began, warm-up included
    int swapsWaited = 0;  // of the counted ones, those vsync was seen to pace
    int fastInARow = 0;   // trusted vsync: swaps in a row that returned at once
};

// The trial's length: swaps not counted while the driver warms up, swaps counted, and
// how many of those must have waited for vsync to be trusted.
constexpr int kTrialWarmUp = 2;
constexpr int kTrialSwaps = 8;
constexpr int kTrialWaitsNeeded = kTrialSwaps * 3 / 4;
// Trusted vsync lets a few swaps through at once (a queue of swaps fills that way); this
// many in a row mean it no longer paces.
constexpr int kFastSwapsInARow = 4;
// The share of a period a swap spends inside to count as blocked for the blank.
constexpr double kBlockedShare = 0.3;

// hz ≤ 0 (the display did not say) means kDefaultRefreshHz.
void setRefreshRate(Pacing& pacing, int hz);

// The driver took a swap interval: its vsync paces, on trial.
void trialVsync(Pacing& pacing);

// Hands the pace to deadlines for good. True when the driver's vsync paced until now:
// the caller turns the driver's vsync off.
bool switchToDeadlines(Pacing& pacing);

// Whether the next paced swap is left to the driver's vsync (then afterVsyncSwap judges
// it); otherwise the present waits for a deadline first.
inline bool vsyncPaces(const Pacing& pacing) {
    return pacing.by != PaceBy::deadlines;
}

// The deadline clock: the time a present at `now` must wait until (now itself when it
// need not wait), moving the clock one period on. The first present only starts it; a
// present far behind (a stall, a minimise) resyncs to now instead of hurrying through
// missed periods.
PaceClock::time_point takeDeadline(Pacing& pacing, PaceClock::time_point now);

// Whether one swap waited for the display's vertical blank: it spent a good part of a
// period inside the swap and ended on the refresh grid, a whole number of periods (up to
// four) after the previous swap ended. A slow swap on a busy CPU does the first, seldom
// the second; a swap that ignores vsync does neither. Times in seconds.
bool swapWaitedForVsync(double inside, double sincePrevious, double period);

// What pacing makes of a swap the driver's vsync was to pace.
struct SwapPace {
    bool waited = false;                 // the present waited for the refresh, one way or another
    PaceClock::time_point sleepUntil{};  // later than the swap's end: sleep until then
    bool vsyncOff = false;  // the pace switched to deadlines: turn the driver's vsync off
};

// Judges a swap that began at `start` and ended at `end`. On trial, a swap vsync did not
// pace keeps the deadline instead, so the pace never runs free, and the trial's
// last swap decides; trusted, the watch drops vsync once swaps keep returning at once.
// A swap vsync paced never ends ahead of the refresh grid: the pace never runs faster
// than the display, whatever the driver's vsync really does.
SwapPace afterVsyncSwap(Pacing& pacing, PaceClock::time_point start, PaceClock::time_point end);

// Waits for the next deadline on the real clock. True when it had to wait.
bool waitForDeadline(Pacing& pacing);

// What a paced swap needs from around it: the clock, a sleep, the swap itself, and the
// driver's vsync turned off. The GPU present gives the real ones; the tests made-up ones.
struct SwapCalls {
    std::function<PaceClock::time_point()> now;
    std::function<void(PaceClock::time_point)> sleepUntil;
    std::function<void()> swap;
    std::function<void()> vsyncOff;
};

// One paced swap: after a deadline where vsync does not pace; otherwise timed for
// afterVsyncSwap to judge what the driver's vsync did (some drivers accept a swap
// interval and return at once, Mesa's swrast under Xvfb among them). True when the
// present waited for the refresh.
bool pacedSwap(Pacing& pacing, const SwapCalls& calls);

}  // namespace win
