// The process API the end-to-end suites stand on: what a started program inherits, how
// its end is read, and that stopping it ends its whole group.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "tests/e2e/support/poll.h"
#include "tests/e2e/support/process.h"

namespace {

using namespace e2e;

// What `script` prints, run by sh with the given changes to the environment.
std::string outputOf(const std::string& script, const Environment& environment = {},
                     const std::vector<int>& keepFds = {}) {
    static int serial = 0;
    const std::string out = runPath("process-test-" + std::to_string(++serial));
    Process shell({.name = "sh",
                   .argv = {"sh", "-c", script},
                   .environment = environment,
                   .keepFds = keepFds,
                   .stdoutPath = out});
    EXPECT_EQ(shell.waitExit(10000), 0) << shell.stderrText();
    return readFile(out);
}

TEST(Process, InheritsOnlyTheDescriptorsItIsHandedAndTheEnvironmentAsChanged) {
    const int leaked = open("/dev/null", O_RDONLY);  // no close-on-exec, as ctest's logs
    const int kept = open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(leaked, 3);
    ASSERT_GE(kept, 3);
    const auto has = [](int fd) {
        const std::string n = std::to_string(fd);
        return "if test -e /proc/$$/fd/" + n + "; then echo " + n + "; fi; ";
    };
    EXPECT_EQ(outputOf(has(0) + has(2) + has(leaked) + has(kept), {}, {kept}),
              "0\n2\n" + std::to_string(kept) + "\n");
    close(leaked);
    close(kept);

    setenv("E2E_PROCESS_TEST_GONE", "1", 1);
    EXPECT_EQ(outputOf("echo \"$E2E_PROCESS_TEST_SET|${E2E_PROCESS_TEST_GONE-unset}\"",
                       {{"E2E_PROCESS_TEST_SET", "a b"}, {"E2E_PROCESS_TEST_GONE", ""}}),
              "a b|unset\n");
    unsetenv("E2E_PROCESS_TEST_GONE");
    EXPECT_EQ(outputOf("read line; echo \"[$line]\""), "[]\n") << "stdin is empty";
}

TEST(Process, ReadsHowItEndedWithoutReapingBeforeAsked) {
    Process exits({.name = "sh", .argv = {"sh", "-c", "echo said >&2; exit 7"}});
    ASSERT_TRUE(pollUntil([&] { return !exits.alive(); }, {.timeoutMs = 5000}));
    EXPECT_EQ(kill(exits.pid(), 0), 0) << "a zombie until reaped, so the pid stays its own";
    EXPECT_NE(exits.failure("stopped").find("exited with code 7"), std::string::npos)
        << exits.failure("stopped");
    EXPECT_EQ(exits.waitExit(1000), 7);
    EXPECT_EQ(exits.stderrText(), "said\n");

    Process killed({.name = "sh", .argv = {"sh", "-c", "kill -9 $$"}});
    EXPECT_EQ(killed.waitExit(5000), 128 + SIGKILL);

    Process missing({.name = "nothing", .argv = {"/nonexistent/program"}});
    EXPECT_EQ(missing.waitExit(5000), 127);
    EXPECT_NE(missing.stderrText().find("cannot run /nonexistent/program"), std::string::npos);
}

TEST(Process, StopAndTimeOutEndTheWholeGroup) {
    // A shell that leaves a grandchild behind, and ignores SIGTERM itself.
    const std::string pids = runPath("process-test-pids");
    const std::string script = "trap '' TERM; sleep 300 & echo $! > " + pids + "; wait";
    for (const bool byTimeOut : {false, true}) {
        Process shell({.name = "sh", .argv = {"sh", "-c", script}});
        ASSERT_TRUE(pollUntil([&] { return !readFile(pids).empty(); }, {.timeoutMs = 5000}));
        const pid_t grandchild = std::stoi(readFile(pids));
        const pid_t pid = shell.pid();
        const int code = byTimeOut ? shell.waitExit(100) : shell.stop();
        EXPECT_EQ(code, byTimeOut ? -1 : 128 + SIGKILL);
        EXPECT_FALSE(isRunning(pid));
        EXPECT_TRUE(pollUntil([&] { return !isRunning(grandchild); }, {.timeoutMs = 2000}))
            << "sleep " << grandchild << " outlived its group";
        kill(grandchild, SIGKILL);
        unlink(pids.c_str());
    }
}

}  // namespace
