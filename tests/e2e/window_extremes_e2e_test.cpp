// The real viewer under a window manager (twm, in a 4200 × 3200 Xvfb screen) taken to
// the window's extremes: minimised and restored, shrunk to 1 × 1, grown to 4000 × 3000.
// It must keep running through all of them, show the stretched frame at each size it
// can be seen at, spin on afterwards, and still exit 0 on a close request.
#include <gtest/gtest.h>

#include "tests/e2e/support/reference.h"
#include "tests/e2e/support/x_session.h"

namespace {

using namespace e2e;

// This suite's own margin, looser than kSameFrame: under 0.5% of the kept pixels differ.
constexpr double kSameStretchedFrame = 0.005;

class WindowExtremes : public ViewerInX {
protected:
    void SetUp() override {
        showViewer(VIEWER_PATH, {.screen = "4200x3200x24"}, true);
        if (HasFatalFailure()) return;
        client_ = x_.client();
        ASSERT_TRUE(x_.stillThere());
        sleepMs(200);
    }

    // The best of looks 200 ms apart for up to 5 s: on a loaded machine a resize can
    // take several frames to reach the picture.
    Match matchSoon(const ReferenceSet& refs, const std::function<Image()>& look,
                    int timeoutMs = 5000) {
        return lookUntilMatch(refs, look, kSameStretchedFrame,
                              {.timeoutMs = timeoutMs, .everyMs = 200, .watched = {&viewer_}});
    }
    Image window() { return grab(client_, window_); }
    // Waits up to 5 s for the window to be seen or not.
    bool becomesViewable(bool viewable) {
        return pollUntil([&] { return isViewable(client_, window_) == viewable; },
                         {.timeoutMs = 5000});
    }

    XClient* client_ = nullptr;
};

TEST_F(WindowExtremes, MinimiseRestoreTinyAndHugeThenCloseWithCodeZero) {
    // Minimise: the window manager takes the window off the screen; the viewer goes on.
    // The manager is checked before each step only it can do, so its loss is not blamed
    // on the viewer.
    ASSERT_TRUE(x_.stillThere());
    iconify(client_, window_);
    ASSERT_TRUE(becomesViewable(false))
        << "the window manager did not minimise the window; " << x_.stillThere().message();
    sleepMs(500);  // several frames' worth while minimised
    ASSERT_TRUE(viewer_.alive()) << viewer_.stderrText();

    // Restore: back at 800 × 600, showing the scene and spinning.
    restore(client_, window_);
    ASSERT_TRUE(becomesViewable(true))
        << "the window manager did not restore the window; " << x_.stillThere().message();
    ASSERT_TRUE(waitForSize(client_, window_, 800, 600, 5000));
    const std::vector<WPARAM> noKeys;
    const ReferenceSet& normal = references(noKeys, 800, 600);
    const Match restored = matchSoon(normal, [this] { return window(); });
    EXPECT_LT(restored.mismatch, kSameStretchedFrame)
        << "after restore, best angle " << restored.angle;

    // 1 × 1: nothing to see, but the loop must survive the size.
    resize(client_, window_, 1, 1);
    ASSERT_TRUE(waitForSize(client_, window_, 1, 1, 5000));
    sleepMs(500);
    ASSERT_TRUE(viewer_.alive()) << viewer_.stderrText();

    // 4000 × 3000: the 800 × 600 frame stretched five times each way, so the centre of
    // each 5 × 5 block is the back buffer's pixel under any nearest-pixel stretch.
    moveResize(client_, window_, 0, 0, 4000, 3000);
    ASSERT_TRUE(waitForSize(client_, window_, 4000, 3000, 5000));
    const auto blocks = [this] {
        const Image big = window();
        if (big.width != 4000 || big.height != 3000) return Image{};
        Image out{800, 600, {}};
        for (int y = 0; y < 600; ++y) {
            for (int x = 0; x < 800; ++x) {
                out.pixels.push_back(
                    big.pixels[static_cast<std::size_t>(5 * y + 2) * 4000 + 5 * x + 2]);
            }
        }
        return out;
    };
    // The first 48 MB frame can take seconds where the viewer gets a slice of a busy core
    // (a window still black scores 0.097 here), so this look waits longer.
    const Match huge = matchSoon(normal, blocks, 20000);
    EXPECT_LT(huge.mismatch, kSameStretchedFrame) << "at 4000 x 3000, best angle " << huge.angle;
    ASSERT_TRUE(viewer_.alive()) << viewer_.stderrText();

    // Back to the start size: the same picture as before the extremes.
    resize(client_, window_, 800, 600);
    ASSERT_TRUE(waitForSize(client_, window_, 800, 600, 5000));
    const Match back = matchSoon(normal, [this] { return window(); });
    EXPECT_LT(back.mismatch, kSameStretchedFrame) << "back at 800 x 600, best angle " << back.angle;

    requestClose(client_, window_);
    EXPECT_EQ(viewer_.waitExit(3000), 0) << viewer_.stderrText();
#ifdef VIEWER_PRESENT_PATH  // a test build of the viewer says which path it used
    EXPECT_EQ(viewer_.stderrText(), "present path: " VIEWER_PRESENT_PATH "\n");
#endif
}

}  // namespace
