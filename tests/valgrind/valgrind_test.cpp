// The real viewer (the release build) under valgrind's memcheck in Xvfb, through a
// session a user could have: every control key, a resize and back, then the close
// button. Memcheck must report no error and nothing definitely or indirectly lost;
// only library-owned reports are suppressed (viewer.supp says which and why).
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "x_session.h"

namespace {

using namespace e2e;

// valgrind with the viewer on the test's server; memcheck's report goes to logPath,
// valgrind's own complaints and the viewer's stderr to the helper's stderr file.
// VALGRIND_OPTS would add options of the user's to ours.
Helper startUnderMemcheck(int display, const std::string& logPath) {
    return startHelper(
        "valgrind",
        {"valgrind", "--tool=memcheck", "--error-exitcode=99", "--leak-check=full",
         "--show-leak-kinds=definite,indirect", "--errors-for-leak-kinds=definite,indirect",
         "--track-origins=yes", "--num-callers=30",
         std::string("--suppressions=") + VALGRIND_SUPPRESSIONS, "--log-file=" + logPath,
         VIEWER_PATH},
        {{"DISPLAY", displayName(display)}, {"SDL_VIDEODRIVER", ""}, {"VALGRIND_OPTS", ""}},
        ::testing::TempDir() + "viewer-memcheck-stderr.txt");
}

TEST(ViewerUnderMemcheck, SessionWithKeysResizeAndCloseIsClean) {
    XServer server;
    std::string error;
    ASSERT_TRUE(startXServer(&server, &error)) << error;
    XClient* client = connect(server.display);
    ASSERT_NE(client, nullptr) << helperFailure(xServerHelper(server), "does not answer");
    const std::string logPath = ::testing::TempDir() + "viewer-memcheck.log";
    Helper valgrind = startUnderMemcheck(server.display, logPath);

    // Start-up under memcheck takes a while, longer on a loaded machine.
    unsigned long window = 0;
    const bool shown = waitUntilReady(
        valgrind, [&] { return (window = findWindow(client, "Our Direct3D Program", 0)) != 0; },
        "the viewer's window appeared", 120000, &error);
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
    const int code = shown ? waitExit(valgrind.pid, 180000) : -1;  // reaps it either way
    if (shown) valgrind.pid = -1;
    stopHelper(&valgrind);
    disconnect(client);
    stopXServer(&server);

    const std::string log = readFile(logPath);
    ASSERT_TRUE(shown) << error << "\nmemcheck's log:\n" << log;
    ASSERT_NE(code, -1) << "valgrind did not end within 180 s of the close:\n" << log;
    EXPECT_EQ(code, 0) << "99 means memcheck found errors or leaks:\n" << log;
    EXPECT_NE(log.find("ERROR SUMMARY: 0 errors"), std::string::npos) << log;
}

}  // namespace
