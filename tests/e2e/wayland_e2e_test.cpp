// The real viewer as a native Wayland client of weston nested in Xvfb, used as a person
// would: its window shows the scene (compared with the headless frames for every angle,
// inside the area where weston shows it), keys typed into weston reach it, and it ends
// promptly, with one line, when its window cannot show frames or the compositor goes.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "reference.h"
#include "wayland_session.h"
#include "x_session.h"

namespace {

using namespace e2e;
using Clock = std::chrono::steady_clock;

constexpr int kStep = 4;  // compare every 4th pixel each way
// As on X11: the window shows exactly the headless frame; a one-unit camera step
// changes well over this share of the kept pixels.
constexpr double kSameFrame = 0.001;
constexpr double kOtherFrame = 0.003;

// A look at the viewer's client inside weston's output.
struct Look {
    bool found = false;  // the client area was located
    Image client;
    Match match;  // against the reference set asked for
};

class WaylandE2E : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string error;
        if (!startXServer(&server_, &error)) FAIL() << error;
    }
    static void TearDownTestSuite() { stopXServer(&server_); }

    void SetUp() override {
        ASSERT_GT(server_.pid, 0) << "no X server";
        // One server serves the whole suite, so each test checks it is still there.
        ASSERT_TRUE(helperRunning(xServerHelper(server_)))
            << helperFailure(xServerHelper(server_), "is gone");
        client_ = connect(server_.display);
        ASSERT_NE(client_, nullptr) << helperFailure(xServerHelper(server_), "does not answer");
        // Named by this process: other runs of the suite may share the directory.
        errPath_ = ::testing::TempDir() + "viewer-wayland-" + std::to_string(getpid()) + ".txt";
        std::string error;
        ASSERT_TRUE(startWeston(client_, server_.display, &weston_, &error)) << error;
    }
    void TearDown() override {
        if (viewer_.pid > 0) stopHelper(&viewer_);
        stopWeston(&weston_);
        disconnect(client_);
        std::remove(errPath_.c_str());
    }

    void startViewer(const Environment& extra = {}) {
        viewer_ = startWaylandViewer(VIEWER_PATH, weston_, extra, errPath_);
    }

    static const ReferenceSet& references(const std::vector<WPARAM>& keys) {
        std::ostringstream key;
        for (WPARAM k : keys) key << k << ',';
        auto found = cache_.find(key.str());
        if (found == cache_.end()) {
            found = cache_.emplace(key.str(), renderReferences(keys, 0, 0, kStep)).first;
        }
        return found->second;
    }

    Look look(const ReferenceSet& refs) {
        Look out;
        const Image output = grab(client_, weston_.window);
        int x = 0;
        int y = 0;
        out.found = locateClient(output, 800, 600, &x, &y);
        if (out.found) {
            out.client = crop(output, x, y, 800, 600);
            out.match = bestMatch(refs, out.client);
        }
        return out;
    }

    // Looks until one matches `refs` or the time is up (a busy machine draws late):
    // the matching look, else the last one. Fails at once if weston or the viewer ends.
    Look lookFor(const ReferenceSet& refs, int timeoutMs = 5000) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        Look last;
        for (;;) {
            for (const Helper* helper : {&weston_.helper, &viewer_}) {
                if (!helperRunning(*helper)) {
                    ADD_FAILURE() << helperFailure(*helper, "ended while the test looked");
                    return last;
                }
            }
            last = look(refs);
            if ((last.found && last.match.mismatch < kSameFrame) || Clock::now() > deadline) {
                return last;
            }
            sleepMs(100);
        }
    }

    static XServer server_;
    static std::map<std::string, ReferenceSet> cache_;
    XClient* client_ = nullptr;
    Weston weston_;
    Helper viewer_;
    std::string errPath_;
};

XServer WaylandE2E::server_;
std::map<std::string, ReferenceSet> WaylandE2E::cache_;

TEST_F(WaylandE2E, ShowsTheSceneAsTheHeadlessFrameAndSpins) {
    startViewer();
    const Look first = lookFor(references({}), 10000);
    ASSERT_TRUE(first.found) << "no 800 x 600 client on weston's desktop; viewer stderr: "
                             << readFile(errPath_);
    EXPECT_LT(first.match.mismatch, kSameFrame) << "best angle " << first.match.angle;
    sleepMs(300);
    const Look later = lookFor(references({}));
    ASSERT_TRUE(later.found);
    EXPECT_LT(later.match.mismatch, kSameFrame) << "best angle " << later.match.angle;
    EXPECT_NE(later.match.angle, first.match.angle) << "it spins";
}

TEST_F(WaylandE2E, KeysTypedIntoWestonReachTheViewer) {
    startViewer();
    ASSERT_TRUE(lookFor(references({}), 10000).found) << "viewer stderr: " << readFile(errPath_);
    struct Step {
        const char* key;
        WPARAM vk;
    };
    // Three steps nearer first, so the camera keys after them move a large picture.
    const Step steps[] = {{"Prior", VK_PRIOR}, {"Prior", VK_PRIOR}, {"Prior", VK_PRIOR},
                          {"Left", VK_LEFT},   {"Up", VK_UP},       {"F3", VK_F3},
                          {"F4", VK_F4}};
    std::vector<WPARAM> pressed;
    for (const Step& step : steps) {
        const std::vector<WPARAM> before = pressed;
        pressKey(client_, weston_.window, step.key);
        pressed.push_back(step.vk);
        const Look now = lookFor(references(pressed));
        ASSERT_TRUE(now.found) << "after " << step.key;
        EXPECT_LT(now.match.mismatch, kSameFrame) << "after " << step.key;
        EXPECT_GT(bestMatch(references(before), now.client).mismatch, kOtherFrame)
            << step.key << " changed nothing";
    }
}

// Whether the compositor ends in order or is killed, the viewer cannot show anything
// any more: it says so in one line and ends with 1, as it does when an X server goes.
TEST_F(WaylandE2E, CompositorGoingAwayEndsTheViewerWithinASecond) {
    for (const int signal : {SIGTERM, SIGKILL}) {
        SCOPED_TRACE(signal == SIGTERM ? "weston terminated" : "weston killed");
        if (weston_.helper.pid <= 0) {
            std::string error;
            ASSERT_TRUE(startWeston(client_, server_.display, &weston_, &error)) << error;
        }
        startViewer();
        ASSERT_TRUE(lookFor(references({}), 10000).found)
            << "viewer stderr: " << readFile(errPath_);
        const auto start = Clock::now();
        kill(weston_.helper.pid, signal);
        const int code = waitExit(viewer_.pid, 5000);
        const auto took = Clock::now() - start;
        viewer_.pid = -1;
        const std::string err = readFile(errPath_);
        EXPECT_EQ(code, 1) << err;
        EXPECT_LT(took, std::chrono::seconds(1));
        EXPECT_NE(err.find("viewer: the connection to the Wayland compositor is lost"),
                  std::string::npos)
            << err;
        stopWeston(&weston_);
    }
}

// The fault this guards against: without a window surface every present failed and
// the viewer ran on with an empty window. SDL's own hint in the environment denies it
// the surface again; that must end start-up, not the picture.
TEST_F(WaylandE2E, AWindowThatCannotShowFramesEndsStartUpWithOneLine) {
    startViewer({{"SDL_FRAMEBUFFER_ACCELERATION", "0"}});
    const int code = waitExit(viewer_.pid, 10000);
    viewer_.pid = -1;
    const std::string err = readFile(errPath_);
    EXPECT_EQ(code, 1) << err;
    ASSERT_FALSE(err.empty());
    EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line: " << err;
    EXPECT_NE(err.find("cannot show frames in the window"), std::string::npos) << err;
}

}  // namespace
