// The real viewer in a virtual X display, used as a person would: it opens its window,
// spins at the display's pace, answers the keys and resizes, and closes cleanly. What
// the window shows is compared with the same program run headless for every angle of
// the spin with the same keys pressed: a wrong key, state or stretch cannot match.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "tests/e2e/support/reference.h"
#include "tests/e2e/support/x_session.h"

namespace {

using namespace e2e;

class ViewerE2E : public XSessionSuite {
protected:
    void SetUp() override {
        XSessionSuite::SetUp();
        if (HasFatalFailure()) return;
        client_ = x().client();
        viewer_ = startViewer(VIEWER_PATH, x().name());
        window_ = findWindow(client_, viewerWindow(VIEWER_PATH, viewer_), 10000);
        ASSERT_NE(window_, 0u) << viewer_.failure("showed no window");
        sleepMs(200);  // a few frames
    }

    Image window() { return grab(client_, window_); }
    // A named look keeps lambdas out of the calls, which clang-format 14 and 19 lay out apart.
    auto look() {
        return [this] { return window(); };
    }

    // Looks every 100 ms until the window shows one of the frames, for up to 5 s: a key
    // or a resize is taken by the next drain and drawn by the next frame, which on a
    // loaded machine can be a while. The best look is returned.
    Poll settling() const { return {.timeoutMs = 5000, .everyMs = 100, .watched = {&viewer_}}; }
    Match settleAndMatch(const ReferenceSet& refs) {
        return lookUntilMatch(refs, look(), kSameFrame, settling());
    }

    XClient* client_ = nullptr;
    Process viewer_;
    unsigned long window_ = 0;
};

TEST_F(ViewerE2E, OpensAnEightHundredBySixHundredWindowShowingTheScene) {
    EXPECT_EQ(windowTitle(client_, window_), kViewerTitle);
    const Box box = clientBox(client_, window_);
    EXPECT_EQ(box.width, 800);
    EXPECT_EQ(box.height, 600);

    const Match m = settleAndMatch(references({}));
    EXPECT_LT(m.mismatch, kSameFrame) << "best angle " << m.angle;
    const Image first = window();
    const auto black = std::count(first.pixels.begin(), first.pixels.end(), 0u);
    EXPECT_GT(black, std::ssize(first.pixels) / 2) << "the scene is drawn on black";
    EXPECT_TRUE(pollUntil([&] { return window().pixels != first.pixels; },
                          {.timeoutMs = 3000, .everyMs = 100}))
        << "the picture stayed the same for 3 s";
}

TEST_F(ViewerE2E, SpinsAboutOneDegreePerDisplayRefresh) {
    // The angle is followed through looks a quarter of a second apart (about 15 degrees
    // at 60 Hz, far from the half turn where counting on from the last look would be
    // ambiguous) and judged as one rate over four seconds, so a stall shifts single looks,
    // not the sum. An unpaced loop would turn thousands of degrees a second and land
    // anywhere at each look. Frames the machine gave no CPU for cannot be drawn, so the
    // lower bound counts only the time the viewer and the server were not kept waiting
    // for one; the upper bound holds however busy the machine is.
    const std::vector<WPARAM> noKeys;
    const ReferenceSet& refs = references(noKeys);
    using Clock = std::chrono::steady_clock;
    const auto waiting = [this] {
        return secondsWaitingForCpu(viewer_.pid()) + secondsWaitingForCpu(x().server().pid());
    };
    int previous = -1;
    int turned = 0;
    std::string angles;
    int twinStarts = 0;
    Clock::time_point first;
    Clock::time_point last;
    double waitedAtFirst = 0;
    double waitedAtLast = 0;
    do {
        const Match m = bestMatch(refs, window());
        last = Clock::now();
        waitedAtLast = waiting();
        ASSERT_LT(m.mismatch, kSameFrame);
        int angle = m.angle;
        // Half a turn about all three axes brings the scene back to where it started, so
        // the frames at 0 and 180 degrees are one picture: the count starts elsewhere, and
        // later takes whichever of the two lies nearer ahead.
        const bool halfTurnTwin = angle == 0 || angle == 180;
        if (previous < 0 && halfTurnTwin && ++twinStarts < 4) {  // a stuck spin still ends
            sleepMs(250);
            continue;
        }
        if (previous < 0) {
            first = last;
            waitedAtFirst = waitedAtLast;
        } else {
            if (halfTurnTwin) {
                angle = (360 - previous) % 360 <= (180 - previous + 360) % 360 ? 0 : 180;
            }
            turned += (angle - previous + 360) % 360;
        }
        angles += std::to_string(angle) + " ";
        previous = angle;
        sleepMs(250);
    } while (previous < 0 || last - first < std::chrono::seconds(4));
    const double span = std::chrono::duration<double>(last - first).count();
    const double starved = waitedAtLast - waitedAtFirst;
    const std::string seen = std::to_string(turned) + " degrees in " + std::to_string(span) +
                             " s, of which the viewer and Xvfb waited " + std::to_string(starved) +
                             " s for a CPU; angles seen: " + angles;
    EXPECT_LT(turned / span, 80.0) << seen;
    EXPECT_GT(turned, 40.0 * (span - starved)) << seen;
}

TEST_F(ViewerE2E, CameraKeysMoveTheView) {
    const std::vector<WPARAM> nearer = {VK_PRIOR, VK_PRIOR, VK_PRIOR};
    for (int i = 0; i < 3; ++i) pressKey(client_, window_, "Prior");
    const Match m = settleAndMatch(references(nearer));
    ASSERT_LT(m.mismatch, kSameFrame) << "three Page Ups";
    EXPECT_GT(bestMatch(references({}), window()).mismatch, kOtherFrame);
    // Each further key must change the picture to the one with that key pressed.
    const KeyStep steps[] = {{"Left", VK_LEFT},
                             {"Up", VK_UP},
                             {"Right", VK_RIGHT},
                             {"Down", VK_DOWN},
                             {"Next", VK_NEXT}};
    typeAndMatch(client_, window_, nearer, steps, look(), settling());
}

TEST_F(ViewerE2E, FunctionKeysSwitchCullingShadingAndDepth) {
    const KeyStep steps[] = {{"F3", VK_F3},       {"F2", VK_F2}, {"F1", VK_F1},
                             {"F4", VK_F4},       {"F5", VK_F5}, {"F7", VK_F7, false},
                             {"F6", VK_F6, false}};
    typeAndMatch(client_, window_, {}, steps, look(), settling());
}

TEST_F(ViewerE2E, ResizeStretchesTheFrameAndFollowsTheAspect) {
    resize(client_, window_, 1000, 500);
    waitForSize(client_, window_, 1000, 500, 5000);
    const Box box = clientBox(client_, window_);
    ASSERT_EQ(box.width, 1000);
    ASSERT_EQ(box.height, 500);
    const Match m = settleAndMatch(references({}, 1000, 500));
    EXPECT_LT(m.mismatch, kSameFrame) << "best angle " << m.angle;
}

// A window put over the viewer's and taken away again leaves nothing of itself: the
// expose has the next present draw the whole client, not only what the spin changed.
TEST_F(ViewerE2E, AnExposedClientIsDrawnWholeAgain) {
    coverFor(client_, window_, 300);
    const Match m = settleAndMatch(references({}));
    EXPECT_LT(m.mismatch, kSameFrame) << "best angle " << m.angle;
}

TEST_F(ViewerE2E, CloseRequestEndsWithExitCodeZero) {
    const auto start = std::chrono::steady_clock::now();
    requestClose(client_, window_);
    EXPECT_EQ(viewer_.waitExit(2000), 0) << viewer_.stderrText();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
#ifdef VIEWER_PRESENT_PATH  // a test build of the viewer says which path it used
    EXPECT_EQ(viewer_.stderrText(), "present path: " VIEWER_PRESENT_PATH "\n");
#endif
}

TEST(ViewerWithoutDisplay, ExitsWithOneLineAndCodeOne) {
    Process viewer = startViewer(VIEWER_PATH, "");
    EXPECT_EQ(viewer.waitExit(5000), 1);
    const std::string err = viewer.stderrText();
    ASSERT_FALSE(err.empty());
    EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line: " << err;
}

}  // namespace
