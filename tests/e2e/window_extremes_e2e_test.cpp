// The real viewer under a window manager (twm, in a 4200 × 3200 Xvfb screen) taken to
// the window's extremes: minimised and restored, shrunk to 1 × 1, grown to 4000 × 3000.
// It must keep running through all of them, show the stretched frame at each size it
// can be seen at, spin on afterwards, and still exit 0 on a close request.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "reference.h"
#include "x_session.h"

namespace {

using namespace e2e;

const char* const kTitle = "Our Direct3D Program";
constexpr double kSameFrame = 0.005;  // under 0.5% of the kept pixels differ

// twm with a configuration that places windows itself (no click to place them) and
// draws no title bar, so the client window is the whole frame. It runs in the C locale:
// in a UTF-8 one it cannot open its font set and exits at once.
Helper startWindowManager(int display, const std::string& rcPath) {
    std::ofstream(rcPath) << "RandomPlacement\nNoTitle\nBorderWidth 0\nUsePPosition \"on\"\n";
    return startHelper("the window manager (twm)",
                       {"twm", "-display", displayName(display), "-f", rcPath}, {{"LC_ALL", "C"}},
                       ::testing::TempDir() + "viewer-e2e-twm-stderr.txt");
}

// Waits until the window reports the size, or gives up after timeoutMs.
bool waitForSize(XClient* client, unsigned long window, int width, int height, int timeoutMs) {
    for (int waited = 0; waited <= timeoutMs; waited += 50) {
        int w = 0;
        int h = 0;
        if (clientSize(client, window, &w, &h) && w == width && h == height) return true;
        sleepMs(50);
    }
    return false;
}

class WindowExtremes : public ::testing::Test {
protected:
    void SetUp() override {
        XServerOptions options;
        options.screen = "4200x3200x24";
        std::string error;
        ASSERT_TRUE(startXServer(&server_, options, &error)) << error;
        client_ = connect(server_.display);
        ASSERT_NE(client_, nullptr) << helperFailure(xServerHelper(server_), "does not answer");
        wm_ = startWindowManager(server_.display, ::testing::TempDir() + "viewer-e2e-twmrc");
        ASSERT_TRUE(waitUntilReady(
            wm_, [this] { return windowManagerInCharge(client_); },
            "it took charge of the root window", 10000, &error))
            << error;
        errPath_ = ::testing::TempDir() + "viewer-extremes-stderr.txt";
        viewer_ = startProgram(VIEWER_PATH, displayName(server_.display), errPath_);
        window_ = findWindow(client_, kTitle, 10000);
        ASSERT_NE(window_, 0u) << "no window; stderr: " << readFile(errPath_);
        ASSERT_TRUE(windowManagerStillThere());
        sleepMs(200);
    }
    void TearDown() override {
        if (viewer_ > 0) stopProcess(viewer_);
        disconnect(client_);
        stopHelper(&wm_);
        stopXServer(&server_);
    }

    // Checked before a step only the window manager can do, so its loss is not blamed on
    // the viewer.
    ::testing::AssertionResult windowManagerStillThere() {
        if (helperRunning(wm_) && windowManagerInCharge(client_)) {
            return ::testing::AssertionSuccess() << wm_.name << " is still in charge";
        }
        return ::testing::AssertionFailure() << helperFailure(wm_, "is no longer in charge");
    }

    // The best of looks 200 ms apart for up to 5 s: on a loaded machine a resize can
    // take several frames to reach the picture.
    template <typename Look>
    Match matchSoon(const ReferenceSet& refs, Look look) {
        Match best;
        for (int tries = 0; tries < 25 && best.mismatch >= kSameFrame; ++tries) {
            sleepMs(200);
            const Match m = bestMatch(refs, look());
            if (m.mismatch < best.mismatch) best = m;
        }
        return best;
    }
    Image window() { return grab(client_, window_); }

    bool running() {
        int status = 0;
        return waitpid(viewer_, &status, WNOHANG) == 0;
    }

    XServer server_;
    Helper wm_;
    XClient* client_ = nullptr;
    pid_t viewer_ = -1;
    unsigned long window_ = 0;
    std::string errPath_;
};

TEST_F(WindowExtremes, MinimiseRestoreTinyAndHugeThenCloseWithCodeZero) {
    // Minimise: the window manager takes the window off the screen; the viewer goes on.
    ASSERT_TRUE(windowManagerStillThere());
    iconify(client_, window_);
    for (int waited = 0; waited < 5000 && isViewable(client_, window_); waited += 50) sleepMs(50);
    ASSERT_FALSE(isViewable(client_, window_)) << "the window manager did not minimise the window; "
                                               << windowManagerStillThere().message();
    sleepMs(500);  // several frames' worth while minimised
    ASSERT_TRUE(running()) << readFile(errPath_);

    // Restore: back at 800 × 600, showing the scene and spinning.
    restore(client_, window_);
    for (int waited = 0; waited < 5000 && !isViewable(client_, window_); waited += 50) sleepMs(50);
    ASSERT_TRUE(isViewable(client_, window_))
        << "the window manager did not restore the window; " << windowManagerStillThere().message();
    ASSERT_TRUE(waitForSize(client_, window_, 800, 600, 5000));
    const ReferenceSet normal = renderReferences({}, 800, 600, 4);
    const Match restored = matchSoon(normal, [this] { return window(); });
    EXPECT_LT(restored.mismatch, kSameFrame) << "after restore, best angle " << restored.angle;

    // 1 × 1: nothing to see, but the loop must survive the size.
    resize(client_, window_, 1, 1);
    ASSERT_TRUE(waitForSize(client_, window_, 1, 1, 5000));
    sleepMs(500);
    ASSERT_TRUE(running()) << readFile(errPath_);

    // 4000 × 3000: the 800 × 600 frame stretched five times each way, so the centre of
    // each 5 × 5 block is the back buffer's pixel under any nearest-pixel stretch.
    moveResize(client_, window_, 0, 0, 4000, 3000);
    ASSERT_TRUE(waitForSize(client_, window_, 4000, 3000, 5000));
    const auto blocks = [this] {
        const Image big = window();
        Image out;
        if (big.width != 4000 || big.height != 3000) return out;
        out.width = 800;
        out.height = 600;
        for (int y = 0; y < 600; ++y) {
            for (int x = 0; x < 800; ++x) {
                out.pixels.push_back(
                    big.pixels[static_cast<std::size_t>(5 * y + 2) * 4000 + 5 * x + 2]);
            }
        }
        return out;
    };
    const Match huge = matchSoon(normal, blocks);
    EXPECT_LT(huge.mismatch, kSameFrame) << "at 4000 x 3000, best angle " << huge.angle;
    ASSERT_TRUE(running()) << readFile(errPath_);

    // Back to the start size: the same picture as before the extremes.
    resize(client_, window_, 800, 600);
    ASSERT_TRUE(waitForSize(client_, window_, 800, 600, 5000));
    const Match back = matchSoon(normal, [this] { return window(); });
    EXPECT_LT(back.mismatch, kSameFrame) << "back at 800 x 600, best angle " << back.angle;

    requestClose(client_, window_);
    const int code = waitExit(viewer_, 3000);
    viewer_ = -1;
    EXPECT_EQ(code, 0) << readFile(errPath_);
#ifdef VIEWER_PRESENT_PATH  // a test build of the viewer says which path it used
    EXPECT_EQ(readFile(errPath_), "present path: " VIEWER_PRESENT_PATH "\n");
#endif
}

}  // namespace
