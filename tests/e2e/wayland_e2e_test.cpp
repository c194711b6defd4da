// The real viewer as a native Wayland client of weston nested in Xvfb, used as a person
// would: its window shows the scene (compared with the headless frames for every angle,
// inside the area where weston shows it), keys typed into weston reach it, and it ends
// promptly, with one line, when its window cannot show frames or the compositor goes.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>

#include "tests/e2e/support/reference.h"
#include "tests/e2e/support/wayland_session.h"

namespace {

using namespace e2e;
using Clock = std::chrono::steady_clock;

class WaylandE2E : public XSessionSuite {
protected:
    void SetUp() override {
        XSessionSuite::SetUp();
        if (HasFatalFailure()) return;
        std::string error;
        ASSERT_TRUE(wayland_.start(x(), &error)) << error;
    }

    // The viewer's client inside weston's output; empty where it cannot be located.
    Image client() {
        const Image output = grab(x().client(), wayland_.window());
        const Box at = locateClient(output, 800, 600);
        return at.width > 0 ? crop(output, at) : Image{};
    }
    // Looks until the client shows a frame of `refs` or the time is up (a busy machine
    // draws late): the best match, angle -1 if the client was never located. Fails at
    // once if weston or the viewer ends.
    Poll looking(int timeoutMs = 5000) const {
        return {.timeoutMs = timeoutMs,
                .everyMs = 100,
                .watched = {&wayland_.weston(), &viewer_},
                .what = "the test looked"};
    }
    Match lookFor(const ReferenceSet& refs, int timeoutMs = 5000) {
        std::string error;
        const Match m = lookUntilMatch(
            refs, [this] { return client(); }, kSameFrame, looking(timeoutMs), &error);
        if (!(wayland_.weston().alive() && viewer_.alive())) ADD_FAILURE() << error;
        return m;
    }

    WaylandSession wayland_;
    Process viewer_;
};

TEST_F(WaylandE2E, ShowsTheSceneAsTheHeadlessFrameAndSpins) {
    viewer_ = wayland_.startViewer(VIEWER_PATH);
    const Match first = lookFor(references({}), 10000);
    ASSERT_GE(first.angle, 0) << "no 800 x 600 client on weston's desktop; viewer stderr: "
                              << viewer_.stderrText();
    EXPECT_LT(first.mismatch, kSameFrame) << "best angle " << first.angle;
    sleepMs(300);
    const Match later = lookFor(references({}));
    ASSERT_GE(later.angle, 0);
    EXPECT_LT(later.mismatch, kSameFrame) << "best angle " << later.angle;
    EXPECT_NE(later.angle, first.angle) << "it spins";
}

// weston draws no decorations of its own: SDL draws the title bar through libdecor's
// plugin, just above the client, whose picture is the headless frame all the same. On
// the normal path nothing is printed (libdecor says so when its plugin is missing).
TEST_F(WaylandE2E, ATitleBarIsShownAboveTheClientAndNothingIsPrinted) {
    viewer_ = wayland_.startViewer(VIEWER_PATH);
    const Match shown = lookFor(references({}), 10000);
    ASSERT_GE(shown.angle, 0) << "viewer stderr: " << viewer_.stderrText();
    EXPECT_LT(shown.mismatch, kSameFrame) << "best angle " << shown.angle;

    const Image output = grab(x().client(), wayland_.window());
    const auto [left, top, width, height] = locateClient(output, 800, 600);
    ASSERT_GT(width, 0) << "the client is not to be found on weston's output";
    // Samples across the bar, clear of the title in its middle and the buttons at its
    // right: one colour there, not the desktop's, on every row just above the client.
    constexpr int kBar = 12;  // rows looked at; a bar for a title is taller
    ASSERT_GE(top, kBar) << "no room above the client for a title bar";
    const auto at = [&](int px, int py) {
        return output.pixels[static_cast<std::size_t>(py) * output.width + px] & 0xFFFFFFu;
    };
    const std::uint32_t bar = at(left + 40, top - kBar / 2);
    const std::uint32_t desktop = at(output.width - 2, output.height - 2);
    EXPECT_NE(bar, desktop) << "the area above the client is the desktop: no title bar";
    int off = 0;
    for (int row = top - kBar; row < top; ++row) {
        for (int col = left + 8; col < left + 200; col += 8) off += at(col, row) != bar ? 1 : 0;
    }
    EXPECT_LE(off, 12) << "not one bar above the client, colour 0x" << std::hex << bar;

    viewer_.signal(SIGTERM);
    viewer_.waitExit(5000);
    EXPECT_EQ(viewer_.stderrText(), "");
}

TEST_F(WaylandE2E, KeysTypedIntoWestonReachTheViewer) {
    viewer_ = wayland_.startViewer(VIEWER_PATH);
    ASSERT_GE(lookFor(references({}), 10000).angle, 0) << "viewer stderr: " << viewer_.stderrText();
    // Three steps nearer first, so the camera keys after them move a large picture.
    const KeyStep steps[] = {{"Prior", VK_PRIOR}, {"Prior", VK_PRIOR}, {"Prior", VK_PRIOR},
                             {"Left", VK_LEFT},   {"Up", VK_UP},       {"F3", VK_F3},
                             {"F4", VK_F4}};
    typeAndMatch(
        x().client(), wayland_.window(), {}, steps, [this] { return client(); }, looking());
}

// Whether the compositor ends in order or is killed, the viewer cannot show anything
// any more: it says so in one line and ends with 1, as it does when an X server goes.
TEST_F(WaylandE2E, CompositorGoingAwayEndsTheViewerWithinASecond) {
    for (const int signal : {SIGTERM, SIGKILL}) {
        SCOPED_TRACE(signal == SIGTERM ? "weston terminated" : "weston killed");
        if (!wayland_.weston().started()) {
            std::string error;
            ASSERT_TRUE(wayland_.start(x(), &error)) << error;
        }
        viewer_ = wayland_.startViewer(VIEWER_PATH);
        ASSERT_GE(lookFor(references({}), 10000).angle, 0)
            << "viewer stderr: " << viewer_.stderrText();
        const auto start = Clock::now();
        wayland_.weston().signal(signal);
        const int code = viewer_.waitExit(5000);
        const auto took = Clock::now() - start;
        const std::string err = viewer_.stderrText();
        EXPECT_EQ(code, 1) << err << "\n" << wayland_.weston().failure("was signalled");
        EXPECT_LT(took, std::chrono::seconds(1));
        EXPECT_NE(err.find("the connection to the Wayland compositor is lost"), std::string::npos)
            << err;
        wayland_.stop();
    }
}

// The fault this guards against: without a window surface every present failed and
// the viewer ran on with an empty window. SDL's own hint in the environment denies it
// the surface again; that must end start-up, not the picture.
TEST_F(WaylandE2E, AWindowThatCannotShowFramesEndsStartUpWithOneLine) {
    viewer_ = wayland_.startViewer(VIEWER_PATH, {{"SDL_FRAMEBUFFER_ACCELERATION", "0"}});
    const int code = viewer_.waitExit(10000);
    const std::string err = viewer_.stderrText();
    EXPECT_EQ(code, 1) << err;
    ASSERT_FALSE(err.empty());
    EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line: " << err;
    EXPECT_NE(err.find("cannot show frames in the window"), std::string::npos) << err;
}

}  // namespace
