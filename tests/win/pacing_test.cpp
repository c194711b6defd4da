// A window's pacing on made-up timings: the deadline clock's grid and resync, the vsync
// trial's verdict from swaps that did or did not wait, the watch over trusted vsync, and
// the switch to deadlines happening once.
#include "win/pacing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

using win::PaceBy;
using win::PaceClock;
using win::Pacing;
using Ms = std::chrono::duration<double, std::milli>;

constexpr double kPeriod60 = 1.0 / 60;

PaceClock::time_point at(double ms) {
    return PaceClock::time_point{} + std::chrono::hours(1) +
           std::chrono::duration_cast<PaceClock::duration>(Ms(ms));
}

double msOf(PaceClock::time_point t) {
    return Ms(t - at(0)).count();
}

Pacing pacingAt(int hz) {
    Pacing pacing;
    win::setRefreshRate(pacing, hz);
    return pacing;
}

TEST(Pacing, RefreshRateFallsBackToTheDefaultWhereTheDisplayDoesNotSay) {
    EXPECT_DOUBLE_EQ(pacingAt(0).period, 1.0 / win::kDefaultRefreshHz);
    EXPECT_DOUBLE_EQ(pacingAt(-5).period, 1.0 / win::kDefaultRefreshHz);
    EXPECT_DOUBLE_EQ(pacingAt(144).period, 1.0 / 144);
    EXPECT_EQ(Pacing{}.by, PaceBy::deadlines) << "no vsync until a driver offers one";
}

TEST(Pacing, DeadlinesKeepASteadyGridAndResyncWhenFarBehind) {
    Pacing pacing = pacingAt(50);  // 20 ms
    EXPECT_NEAR(msOf(win::takeDeadline(pacing, at(0))), 0.0, 1e-3) << "the first starts the clock";
    // Early presents wait for the grid at 20, 40, 60 ms, however early they come.
    EXPECT_NEAR(msOf(win::takeDeadline(pacing, at(1))), 20.0, 1e-3);
    EXPECT_NEAR(msOf(win::takeDeadline(pacing, at(25))), 40.0, 1e-3);
    // A late one does not wait, and the grid does not move for it.
    EXPECT_NEAR(msOf(win::takeDeadline(pacing, at(65))), 65.0, 1e-3);
    EXPECT_NEAR(msOf(win::takeDeadline(pacing, at(70))), 80.0, 1e-3);
    // More than four periods behind (a stall): start again from now, no hurrying.
    EXPECT_NEAR(msOf(win::takeDeadline(pacing, at(300))), 300.0, 1e-3);
    EXPECT_NEAR(msOf(win::takeDeadline(pacing, at(301))), 320.0, 1e-3);
}

TEST(Pacing, ASwapWaitedOnlyWhenItBlockedAndEndedOnTheRefreshGrid) {
    using win::swapWaitedForVsync;
    // Blocked in the swap until the blank, one or two periods after the previous one.
    EXPECT_TRUE(swapWaitedForVsync(0.012, 0.0167, kPeriod60));
    EXPECT_TRUE(swapWaitedForVsync(0.006, 0.0165, kPeriod60));
    EXPECT_TRUE(swapWaitedForVsync(0.025, 0.0334, kPeriod60));
    // Returned at once (vsync ignored), however the frames are spaced.
    EXPECT_FALSE(swapWaitedForVsync(0.0002, 0.0167, kPeriod60));
    // A slow swap on a busy CPU, off the grid.
    EXPECT_FALSE(swapWaitedForVsync(0.009, 0.0230, kPeriod60));
    EXPECT_FALSE(swapWaitedForVsync(0.009, 0.0100, kPeriod60));
    // The first swap has no previous one to be a period after; no rate, no wait.
    EXPECT_FALSE(swapWaitedForVsync(0.012, 1e9 + 0.5, kPeriod60));
    EXPECT_FALSE(swapWaitedForVsync(0.012, 0.0167, 0.0));
}

// A made-up display at 60 Hz and a frame that takes 5 ms of work, presented by the GPU
// present's own pacedSwap on a made-up clock, from the start of a vsync trial. A driver
// that waits returns at the next vertical blank while its vsync paces; a swap otherwise
// returns at once.
struct Swaps {
    static constexpr double kPeriodMs = 1000.0 / 60;
    Pacing pacing = pacingAt(60);
    double nowMs = 0.0;
    int vsyncOffs = 0;
    Swaps() { win::trialVsync(pacing); }

    // swapMs: how long a swap the driver does not pace takes (a busy CPU makes it slow).
    bool present(bool driverWaits, double swapMs = 0.2) {
        nowMs += 5.0;
        const bool vsyncPaced = win::vsyncPaces(pacing);
        return win::pacedSwap(
            pacing, {[this] { return at(nowMs); },
                     [this](PaceClock::time_point t) { nowMs = std::max(nowMs, msOf(t)); },
                     [this, driverWaits, vsyncPaced, swapMs] {
                         nowMs = driverWaits && vsyncPaced
                                     ? (std::floor(nowMs / kPeriodMs) + 1) * kPeriodMs
                                     : nowMs + swapMs;
                     },
                     [this] { ++vsyncOffs; }});
    }
};

TEST(Pacing, TrialTrustsVsyncOnlyWhenItWaitedInEnoughCountedSwaps) {
    // Of the counted swaps kTrialWaitsNeeded must wait. A swap after one that did not
    // wait cannot be judged (no grid to be on), so the misses come last.
    for (const int waits : {win::kTrialWaitsNeeded, win::kTrialWaitsNeeded - 1}) {
        Swaps driver;
        for (int i = 0; i < win::kTrialWarmUp; ++i) driver.present(true);
        for (int i = 0; i < win::kTrialSwaps; ++i) {
            EXPECT_EQ(driver.pacing.by, PaceBy::vsyncTrial) << waits << " waits, swap " << i;
            EXPECT_TRUE(driver.present(i < waits)) << "kept to the refresh either way";
        }
        const bool trusted = waits >= win::kTrialWaitsNeeded;
        EXPECT_EQ(driver.pacing.by, trusted ? PaceBy::vsync : PaceBy::deadlines) << waits;
        EXPECT_EQ(driver.vsyncOffs, trusted ? 0 : 1) << waits;
    }
}

TEST(Pacing, TrialNeverLetsThePaceRunFreeAndHandsOverToDeadlinesOnce) {
    Swaps driver;  // a driver that took a swap interval and never waits
    int waited = 0;
    const int presents = 40;
    for (int i = 0; i < presents; ++i) waited += driver.present(false) ? 1 : 0;
    EXPECT_EQ(driver.pacing.by, PaceBy::deadlines);
    EXPECT_EQ(driver.vsyncOffs, 1);
    EXPECT_EQ(waited, presents - 1) << "all but the first, which starts the clock";
    EXPECT_GE(driver.nowMs, (presents - 1) * Swaps::kPeriodMs);
    EXPECT_LT(driver.nowMs, (presents + 1) * Swaps::kPeriodMs);
}

TEST(Pacing, SwapsThatOnlyLookPacedNeverSetAPaceFasterThanTheDisplay) {
    // No vsync at all, but each swap takes 10 ms after 5 ms of work: back to back they
    // end 0.9 periods apart, near enough to the grid to pass for vsync, trial and after.
    Swaps driver;
    double firstMs = 0.0;
    for (int i = 0; i < 40; ++i) {
        driver.present(false, 10.0);
        if (i == 0) firstMs = driver.nowMs;
        EXPECT_GE(driver.nowMs, firstMs + i * Swaps::kPeriodMs - 1e-3) << "present " << i;
    }
}

TEST(Pacing, WatchDropsTrustedVsyncOnlyWhenSwapsKeepRunningFast) {
    Swaps driver;
    for (int i = 0; i < win::kTrialWarmUp + win::kTrialSwaps; ++i) driver.present(true);
    ASSERT_EQ(driver.pacing.by, PaceBy::vsync);
    for (int i = 0; i < 50; ++i) EXPECT_TRUE(driver.present(true)) << i;
    // A swap queue filling lets a few through at once, then vsync paces again.
    for (int i = 0; i + 1 < win::kFastSwapsInARow; ++i) driver.present(false);
    for (int i = 0; i < 10; ++i) driver.present(true);
    EXPECT_EQ(driver.pacing.by, PaceBy::vsync);
    // A driver that stopped waiting: the pace goes to deadlines, and stays there.
    const double start = driver.nowMs;
    for (int i = 0; i < win::kFastSwapsInARow + 20; ++i) driver.present(false);
    EXPECT_EQ(driver.pacing.by, PaceBy::deadlines);
    EXPECT_EQ(driver.vsyncOffs, 1);
    EXPECT_GE(driver.nowMs - start, 19 * Swaps::kPeriodMs) << "deadlines keep the pace";
}

TEST(Pacing, TheSwitchToDeadlinesTurnsVsyncOffOnlyWhereItHeldThePace) {
    Pacing pacing;
    EXPECT_FALSE(win::switchToDeadlines(pacing)) << "deadlines already";
    win::trialVsync(pacing);
    EXPECT_TRUE(win::switchToDeadlines(pacing));
    EXPECT_FALSE(win::switchToDeadlines(pacing));
    EXPECT_EQ(pacing.by, PaceBy::deadlines);
}

}  // namespace
