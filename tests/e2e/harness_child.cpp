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

using HarnessChild = ViewerInX;

TEST_F(HarnessChild, EndsInTheMiddle) {
    const char* way = std::getenv("E2E_HARNESS_WAY");
    const char* pids = std::getenv("E2E_HARNESS_PIDS");
    ASSERT_NE(way, nullptr);
    ASSERT_NE(pids, nullptr);
    ASSERT_NO_FATAL_FAILURE(showViewer(VIEWER_PATH));
    std::ofstream(pids) << x_.server().pid() << ' ' << viewer_.pid() << '\n';

    const std::string how = way;
    if (how == "exit") std::exit(3);
    if (how == "abort") std::abort();
    if (how == "sigterm") raise(SIGTERM);
    if (how == "sigkill") raise(SIGKILL);
    if (how == "xerror") isViewable(x_.client(), 0x1fffffff);  // no such window
    ADD_FAILURE() << "still here after \"" << how << "\"";
}

}  // namespace
