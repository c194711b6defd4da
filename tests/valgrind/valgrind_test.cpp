// The real viewer (the release build) under valgrind's memcheck in Xvfb, through a
// session a user could have: every control key, a resize and back, then the close
// button. Memcheck must report no error and nothing definitely or indirectly lost;
// only library-owned reports are suppressed (viewer.supp says which and why).
#include <fcntl.h>
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

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// valgrind with the viewer, memcheck's report going to logPath.
pid_t startUnderMemcheck(int display, const std::string& logPath) {
    const pid_t pid = fork();
    if (pid == 0) {
        std::string name = ":";  // built in two steps: GCC 12 misreports "lit" + string at -O3
        name += std::to_string(display);
        setenv("DISPLAY", name.c_str(), 1);
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        const std::string log = "--log-file=" + logPath;
        const std::string supp = std::string("--suppressions=") + VALGRIND_SUPPRESSIONS;
        execlp("valgrind", "valgrind", "--tool=memcheck", "--error-exitcode=99",
               "--leak-check=full", "--show-leak-kinds=definite,indirect",
               "--errors-for-leak-kinds=definite,indirect", "--track-origins=yes",
               "--num-callers=30", supp.c_str(), log.c_str(), VIEWER_PATH,
               static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

TEST(ViewerUnderMemcheck, SessionWithKeysResizeAndCloseIsClean) {
    XServer server;
    std::string error;
    ASSERT_TRUE(startXServer(&server, &error)) << error;
    XClient* client = connect(server.display);
    ASSERT_NE(client, nullptr);
    const std::string logPath = ::testing::TempDir() + "viewer-memcheck.log";
    pid_t viewer = startUnderMemcheck(server.display, logPath);

    // Start-up under memcheck takes a while.
    const unsigned long window = findWindow(client, "Our Direct3D Program", 90000);
    if (window != 0) {
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
    const int code = waitExit(viewer, 180000);
    disconnect(client);
    stopProcess(server.pid);

    const std::string log = readFile(logPath);
    ASSERT_NE(window, 0u) << "no window under memcheck:\n" << log;
    EXPECT_EQ(code, 0) << "99 means memcheck found errors or leaks:\n" << log;
    EXPECT_NE(log.find("ERROR SUMMARY: 0 errors"), std::string::npos) << log;
}

}  // namespace
