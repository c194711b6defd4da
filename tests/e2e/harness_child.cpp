// A test that ends in the middle, for harness_test.cpp: it starts Xvfb and the viewer,
// writes their pids to $E2E_HARNESS_PIDS, then leaves the way $E2E_HARNESS_WAY names,
// as a test can: exit (Xlib's default error handler does that), abort, SIGTERM, SIGKILL
// (ctest's time-out), or an X error (which must fail the test and let it tear down).
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/e2e/support/x_session.h"

namespace {

using namespace e2e;

TEST(HarnessChild, EndsInTheMiddle) {
    const char* way = std::getenv("E2E_HARNESS_WAY");
    const char* pids = std::getenv("E2E_HARNESS_PIDS");
    ASSERT_NE(way, nullptr);
    ASSERT_NE(pids, nullptr);
    XSession x;
    std::string error;
    ASSERT_TRUE(x.start({}, &error)) << error;
    Process viewer = startViewer(VIEWER_PATH, x.name());
    ASSERT_NE(findWindow(x.client(), viewerWindow(VIEWER_PATH, viewer), 10000), 0u)
        << viewer.failure("showed no window");
    std::ofstream(pids) << x.server().pid() << ' ' << viewer.pid() << '\n';

    const std::string how = way;
    if (how == "exit") std::exit(3);
    if (how == "abort") std::abort();
    if (how == "sigterm") raise(SIGTERM);
    if (how == "sigkill") raise(SIGKILL);
    if (how == "xerror") isViewable(x.client(), 0x1fffffff);  // no such window
    ADD_FAILURE() << "still here after \"" << how << "\"";
}

}  // namespace
