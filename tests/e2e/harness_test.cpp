// Whatever way a test that started programs ends, ctest reports it failed within its
// time-out and no program it started is left: ctest waits for every holder of its
// output pipe, so one left behind would hang the whole run. The child test
// (harness_child.cpp) runs under a real ctest; this process is made the reaper of
// orphans so it sees whatever is left.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/e2e/support/poll.h"
#include "tests/e2e/support/process.h"

namespace {

using namespace e2e;

constexpr int kChildTimeOut = 60;  // seconds, ctest's TIMEOUT for the child

// A ctest project of one test: the child, leaving the given way.
std::string childProject(const std::string& way, const std::string& pids) {
    std::string dir = runPath("harness-" + way);
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/CTestTestfile.cmake")
        << "add_test(child \"" << HARNESS_CHILD_PATH << "\")\n"
        << "set_tests_properties(child PROPERTIES TIMEOUT " << kChildTimeOut
        << " ENVIRONMENT \"E2E_HARNESS_WAY=" << way << ";E2E_HARNESS_PIDS=" << pids << "\")\n";
    return dir;
}

// The process is alive and not a zombie; reaps it if it is an orphan of ours that died.
bool running(pid_t pid) {
    waitpid(pid, nullptr, WNOHANG);
    return isRunning(pid);
}

class HarnessWays : public ::testing::TestWithParam<const char*> {
protected:
    static void SetUpTestSuite() { prctl(PR_SET_CHILD_SUBREAPER, 1); }
};

TEST_P(HarnessWays, CtestReportsTheFailureInTimeAndNothingIsLeft) {
    const std::string way = GetParam();
    const std::string pids = runPath("harness-pids-" + way);
    const std::string out = runPath("harness-ctest-" + way);
    const auto start = std::chrono::steady_clock::now();
    Process ctest(
        {.name = "ctest",
         .argv = {CTEST_COMMAND, "--test-dir", childProject(way, pids), "--output-on-failure"},
         .stdoutPath = out});
    // Well past the child's time-out: ctest hanging on a pipe must show as such here.
    const int code = ctest.waitExit((kChildTimeOut + 30) * 1000);
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string said = readFile(out);

    std::istringstream listed(readFile(pids));
    pid_t server = 0;
    pid_t viewer = 0;
    listed >> server >> viewer;
    ASSERT_GT(server, 0) << "the child never started its programs; ctest said:\n" << said;
    ASSERT_GT(viewer, 0);
    const bool gone =
        pollUntil([&] { return !running(server) && !running(viewer); }, {.timeoutMs = 5000});
    for (const pid_t pid : {server, viewer}) {
        if (running(pid)) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    EXPECT_TRUE(gone) << "Xvfb " << server << " or the viewer " << viewer << " outlived the test";
    EXPECT_NE(code, -1) << "ctest still ran " << took << " s after it started:\n" << said;
    // A child that ended is reported at once; one whose programs hold ctest's pipe is
    // reported only when ctest gives up on it, as timed out.
    EXPECT_LT(took, kChildTimeOut / 2) << said;
    EXPECT_EQ(said.find("Timeout"), std::string::npos) << said;
    EXPECT_EQ(code, 8) << "ctest reports a failed test with 8:\n" << said;
    EXPECT_NE(said.find("1 tests failed out of 1"), std::string::npos) << said;
    if (way == "xerror") {
        EXPECT_NE(said.find("BadWindow"), std::string::npos) << said;
        EXPECT_NE(said.find("X_GetWindowAttributes"), std::string::npos) << said;
    }
}

INSTANTIATE_TEST_SUITE_P(Ways, HarnessWays,
                         ::testing::Values("exit", "abort", "sigterm", "sigkill", "xerror"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
