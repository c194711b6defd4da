// The viewer where a person meets it on X11: the frame an EWMH window manager (openbox)
// draws inside the 800 × 600 box, Alt+F4 and the other Alt keys under twm (which binds
// none of them), the arrow over the client, no file written and no thread but its own
// while the display paces it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "tests/e2e/support/reference.h"
#include "tests/e2e/support/x_session.h"

namespace {

using namespace e2e;

// openbox with a configuration of its own (no user file is read: its settings folder is
// the run's), ready once it answers a request for frame extents: it puts up its EWMH
// check window before it loads its theme and fonts, which on a busy or fresh machine
// takes longer than the viewer waits for an answer.
Process startOpenbox(const XSession& x, std::string* error) {
    const std::string home = runPath("openbox-home");
    std::filesystem::create_directories(home);
    const std::string rc = home + "/rc.xml";
    std::ofstream(rc) << "<?xml version=\"1.0\"?>\n"
                         "<openbox_config xmlns=\"http://openbox.org/3.4/rc\"/>\n";
    Process openbox({.name = "the window manager (openbox)",
                     .argv = {"openbox", "--config-file", rc},
                     .environment = {{"DISPLAY", x.name()},
                                     {"HOME", home},
                                     {"XDG_CONFIG_HOME", home},
                                     {"XDG_CONFIG_DIRS", home}}});
    if (!answersFrameExtents(x.client(),
                             {.timeoutMs = 20000,
                              .watched = {&openbox},
                              .what = "openbox to answer _NET_REQUEST_FRAME_EXTENTS"},
                             error)) {
        openbox.stop();
    }
    return openbox;
}

// Win32 places an 800 × 600 window's frame at (0, 0) and the client inside it; where
// the manager says how wide its frame is, the viewer's client is that much smaller, and
// shows the 800 × 600 back buffer stretched over it at the start-up aspect of 4/3.
TEST(WindowFrameE2E, TheOuterBoxIsEightHundredBySixHundredAtTheOrigin) {
    XSession x;
    std::string error;
    ASSERT_TRUE(x.start({}, &error)) << error;
    Process openbox = startOpenbox(x, &error);
    ASSERT_TRUE(openbox.alive()) << error;
    Process viewer = startViewer(VIEWER_PATH, x.name());
    const unsigned long window = findWindow(x.client(), viewerWindow(VIEWER_PATH, viewer), 10000);
    ASSERT_NE(window, 0u) << viewer.failure("showed no window");

    const std::optional<FrameSides> frame = frameExtents(x.client(), window);
    ASSERT_TRUE(frame) << "openbox set no _NET_FRAME_EXTENTS";
    EXPECT_GT(frame->top, 0) << "openbox draws a title bar";
    const Box outer = outerBox(x.client(), window);
    const Box client = clientBox(x.client(), window);
    ASSERT_TRUE(outer.width > 0 && client.width > 0);
    // Which step went wrong: the size the viewer asked for, or where the manager put it.
    ASSERT_FALSE(client.width == 800 && client.height == 600)
        << "the viewer learnt no frame before mapping (openbox answers, see above): its client "
           "is the whole box, the frame outside it ("
        << outer.width << " x " << outer.height << ")";
    EXPECT_EQ(client.width, 800 - frame->left - frame->right)
        << "client narrower than box less frame";
    EXPECT_EQ(client.height, 600 - frame->top - frame->bottom)
        << "client lower than box less frame";
    EXPECT_EQ(outer.width, 800);
    EXPECT_EQ(outer.height, 600);
    EXPECT_EQ(outer.x, 0) << "the frame is not at the origin";
    EXPECT_EQ(outer.y, 0) << "the frame is not at the origin";
    EXPECT_EQ(client.x, frame->left);
    EXPECT_EQ(client.y, frame->top);

    // The client is the box less the frame, the back buffer stretched over it at the
    // start-up projection.
    const std::vector<WPARAM> noKeys;  // named: GCC 14 would see a dangling reference
    const ReferenceSet& refs = references(noKeys, 0, 0, *frame);
    const Match m =
        lookUntilMatch(refs, [&] { return grab(x.client(), window); }, kSameFrame,
                       {.timeoutMs = 5000, .everyMs = 100, .watched = {&viewer, &openbox}});
    EXPECT_LT(m.mismatch, kSameFrame) << "best angle " << m.angle;

    requestClose(x.client(), window);
    EXPECT_EQ(viewer.waitExit(5000), 0) << viewer.failure("did not end with 0");
}

// The viewer shown on a bare X server.
class BareViewer : public ViewerInX {
protected:
    void SetUp() override { showViewer(VIEWER_PATH); }
};
using CursorE2E = BareViewer;
using ThreadsE2E = BareViewer;

class SystemKeysE2E : public ViewerInX {
protected:
    void SetUp() override {
        showViewer(VIEWER_PATH, {}, true);  // twm: no Alt bindings
        if (!HasFatalFailure()) focusAndPoint(x_.client(), window_);
    }
};

TEST_F(SystemKeysE2E, AltF4ClosesTheWindowAndTheProgramEndsWithZero) {
    pressChord(x_.client(), window_, {"Alt_L", "F4"});
    EXPECT_EQ(viewer_.waitExit(5000), 0) << viewer_.failure("did not end with 0 after Alt+F4");
}

// Alt+F1 is a system key the program leaves to DefWindowProcW: culling stays
// counter-clockwise, so the picture is the start-up one, not F1's. F1 alone then
// changes it, which shows the keys reach the window at all.
TEST_F(SystemKeysE2E, AltF1ChangesNothingWhereF1Would) {
    const auto look = [this] { return grab(x_.client(), window_); };
    const Poll poll{.timeoutMs = 5000, .everyMs = 100, .watched = {&viewer_}};
    pressChord(x_.client(), window_, {"Alt_L", "F1"});
    pressChord(x_.client(), window_, {"Alt_L", "Prior"});
    Match m = lookUntilMatch(references({}), look, kSameFrame, poll);
    EXPECT_LT(m.mismatch, kSameFrame) << "after Alt+F1 and Alt+Page Up, best angle " << m.angle;

    pressKey(x_.client(), window_, "F1");
    m = lookUntilMatch(references({VK_F1}), look, kSameFrame, poll);
    EXPECT_LT(m.mismatch, kSameFrame) << "after F1, best angle " << m.angle;
    EXPECT_TRUE(viewer_.alive());
}

// The class cursor is the arrow: over the client the pointer shows the server's own
// left_ptr, not the root's cursor (an "X" on a bare server).
TEST_F(CursorE2E, TheArrowIsShownOverTheClient) {
    const Image onRoot = cursorOver(x_.client(), 0, 1100, 700);
    const Image arrow = arrowCursor(x_.client(), 900, 0);
    ASSERT_FALSE(arrow.pixels.empty());
    // The window may be found a moment before its cursor is set: look again until it shows.
    Image overViewer;
    pollUntil(
        [&] {
            overViewer = cursorOver(x_.client(), window_, 400, 300);
            return overViewer.pixels == arrow.pixels;
        },
        {.timeoutMs = 5000, .watched = {&viewer_}, .what = "the arrow over the client"});
    EXPECT_NE(onRoot.pixels, arrow.pixels) << "the root's cursor should not be the arrow";
    EXPECT_EQ(overViewer.width, arrow.width);
    EXPECT_EQ(overViewer.height, arrow.height);
    EXPECT_EQ(overViewer.pixels, arrow.pixels) << "the viewer's client shows another cursor";
}

// The program reads and writes no file: with TMPDIR an empty folder, every open the
// viewer and its libraries make is read-only, and the folder stays empty.
TEST(QuietE2E, NoFileIsOpenedForWriting) {
    XSession x;
    std::string error;
    ASSERT_TRUE(x.start({}, &error)) << error;
    const std::string tmp = runPath("viewer-tmp");
    std::filesystem::create_directories(tmp);
    ::chmod(tmp.c_str(), 0555);
    const std::string trace = runPath("viewer-opens.strace");
    Process viewer(
        {.name = "the viewer under strace",
         .argv = {"strace", "-f", "-qq", "-e", "trace=openat,open,creat", "-o", trace, VIEWER_PATH},
         .environment = {{"DISPLAY", x.name()},
                         {"SDL_VIDEODRIVER", ""},
                         {"WAYLAND_DISPLAY", ""},
                         {"TMPDIR", tmp}}});
    const WindowQuery query{.title = kViewerTitle, .wmClass = "viewer"};
    const unsigned long window = findWindow(x.client(), query, 20000);
    ASSERT_NE(window, 0u) << viewer.failure("showed no window");
    sleepMs(500);  // frames
    requestClose(x.client(), window);
    ASSERT_EQ(viewer.waitExit(10000), 0) << viewer.failure("did not end with 0");

    const std::string opens = readFile(trace);
    ASSERT_NE(opens.find("openat("), std::string::npos) << "strace saw no open at all";
    std::istringstream lines(opens);
    std::string written;
    for (std::string line; std::getline(lines, line);) {
        // Devices are not files the program writes (/dev/null, a terminal).
        const std::size_t path = line.find('"');
        if (path != std::string::npos && line.compare(path + 1, 5, "/dev/") == 0) continue;
        // Plain searches rather than <regex>: GCC 12 warns inside it under the sanitizers.
        for (const char* flag : {"O_WRONLY", "O_RDWR", "O_CREAT", "O_TMPFILE", "creat("}) {
            if (line.find(flag) != std::string::npos) {
                written += line + "\n";
                break;
            }
        }
    }
    EXPECT_EQ(written, "") << "opened for writing";
    EXPECT_TRUE(std::filesystem::is_empty(tmp)) << tmp;
}

// A viewer paced by the display runs as one thread: the device's row threads start only
// for frames nothing paces. Threads of a library name themselves; any thread left with
// the program's own name would be ours.
TEST_F(ThreadsE2E, PacedFramesRunOnTheProgramsOneThread) {
    sleepMs(1000);  // about 60 paced frames
    const std::string tasks = "/proc/" + std::to_string(viewer_.pid()) + "/task";
    const std::string name = readFile("/proc/" + std::to_string(viewer_.pid()) + "/comm");
    int ours = 0;
    for (const auto& task : std::filesystem::directory_iterator(tasks)) {
        if (readFile(task.path().string() + "/comm") == name) ++ours;
    }
    EXPECT_EQ(ours, 1) << "threads named " << name;
    requestClose(x_.client(), window_);
    EXPECT_EQ(viewer_.waitExit(5000), 0) << viewer_.failure("did not end with 0");
}

}  // namespace
