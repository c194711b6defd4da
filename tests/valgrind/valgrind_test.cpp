// The real viewer (the release build) under valgrind's memcheck in Xvfb, through a
// session a user could have: every control key, a resize and back, then the close
// button. Memcheck must report no error and nothing definitely or indirectly lost;
// only library-owned reports are suppressed (viewer.supp says which and why).
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/support/poll.h"
#include "tests/e2e/support/x_session.h"

namespace {

using namespace e2e;

// valgrind with the viewer on the test's server; memcheck's report goes to logPath,
// valgrind's own complaints and the viewer's stderr to the process's stderr.
// VALGRIND_OPTS would add options of the user's to ours.
Process startUnderMemcheck(const XSession& x, const std::string& logPath) {
    return Process(
        {.name = "valgrind",
         .argv = {"valgrind", "--tool=memcheck", "--error-exitcode=99", "--leak-check=full",
                  "--show-leak-kinds=definite,indirect",
                  "--errors-for-leak-kinds=definite,indirect", "--track-origins=yes",
                  "--num-callers=30", std::string("--suppressions=") + VALGRIND_SUPPRESSIONS,
                  "--log-file=" + logPath, VIEWER_PATH},
         .environment = {{"DISPLAY", x.name()},
                         {"SDL_VIDEODRIVER", ""},
                         {"WAYLAND_DISPLAY", ""},
                         {"VALGRIND_OPTS", ""}}});
}

TEST(ViewerUnderMemcheck, SessionWithKeysResizeAndCloseIsClean) {
    XSession x;
    std::string error;
    ASSERT_TRUE(x.start({}, &error)) << error;
    XClient* client = x.client();
    const std::string logPath = runPath("memcheck.log");
    Process valgrind = startUnderMemcheck(x, logPath);

    // Start-up under memcheck takes a while, longer on a loaded machine. valgrind runs
    // the viewer in its own process, so the window carries valgrind's pid.
    unsigned long window = 0;
    const bool shown = pollUntil(
        [&] {
            window = findWindow(client, viewerWindow(VIEWER_PATH, valgrind), 0);
            return window != 0;
        },
        {.timeoutMs = 120000, .watched = {&valgrind}, .what = "the viewer's window appeared"},
        &error);
    if (shown) {
        for (const char* key : {"Prior", "Next", "Left", "Right", "Up", "Down", "F1", "F2", "F3",
                                "F4", "F5", "F6", "F7", "Home"}) {
            pressKey(client, window, key);
            sleepMs(100);
        }
        resize(client, window, 400, 300);
        sleepMs(1500);
        resize(client, window, 800, 600);
        sleepMs(1500);
        requestClose(client, window);
    }
    // The leak check runs after the close.
    const int code = shown ? valgrind.waitExit(180000) : valgrind.stop();

    const std::string log = readFile(logPath);
    ASSERT_TRUE(shown) << error << "\nmemcheck's log:\n" << log;
    ASSERT_NE(code, -1) << "valgrind did not end within 180 s of the close:\n" << log;
    EXPECT_EQ(code, 0) << "99 means memcheck found errors or leaks:\n" << log;
    EXPECT_NE(log.find("ERROR SUMMARY: 0 errors"), std::string::npos) << log;
}

}  // namespace
