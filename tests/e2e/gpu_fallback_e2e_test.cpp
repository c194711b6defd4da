// The viewer on the GPU present (forced onto Mesa's llvmpipe in Xvfb) when the present
// starts failing at its 30th frame: it must go on spinning through the shared-memory
// path in the same window, show the right picture there, and still exit 0.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "reference.h"
#include "x_session.h"

namespace {

using namespace e2e;

constexpr double kSameFrame = 0.001;

TEST(GpuPresentFailure, ViewerFallsBackAndSpinsOn) {
    XServer server;
    std::string error;
    ASSERT_TRUE(startXServer(&server, &error)) << error;
    XClient* client = connect(server.display);
    ASSERT_NE(client, nullptr) << "cannot connect to Xvfb on :" << server.display;
    const std::string errPath = ::testing::TempDir() + "viewer-gpu-fallback-stderr.txt";
    std::string display = ":";  // two steps: GCC 12 misreports "lit" + string at -O3
    display += std::to_string(server.display);
    pid_t viewer = startProgram(VIEWER_PATH, display, errPath);
    const unsigned long window = findWindow(client, "Our Direct3D Program", 5000);
    ASSERT_NE(window, 0u) << "no window; stderr: " << readFile(errPath);

    // One degree per frame from 0: an angle past 35 means the 30th present has failed.
    const ReferenceSet refs = renderReferences({}, 0, 0, 4);
    Match m;
    for (int tries = 0; tries < 100 && !(m.angle >= 35 && m.angle < 300); ++tries) {
        sleepMs(50);
        m = bestMatch(refs, grab(client, window));
    }
    ASSERT_GE(m.angle, 35) << "the viewer never got past its 35th frame";
    ASSERT_LT(m.angle, 300);
    for (int look = 0; look < 3; ++look) {
        sleepMs(300);
        const Match later = bestMatch(refs, grab(client, window));
        EXPECT_LT(later.mismatch, kSameFrame) << "look " << look;
        EXPECT_NE(later.angle, m.angle) << "look " << look << ": it stopped spinning";
        m = later;
    }
    EXPECT_EQ(findWindow(client, "Our Direct3D Program", 1000), window) << "the same window";

    requestClose(client, window);
    EXPECT_EQ(waitExit(viewer, 3000), 0) << readFile(errPath);
    EXPECT_EQ(readFile(errPath), "present path: shared memory\n");
    disconnect(client);
    stopXServer(&server);
}

}  // namespace
