// The viewer on the GPU present (forced onto Mesa's llvmpipe in Xvfb) when the present
// starts failing at its 30th frame: it must go on spinning through the shared-memory
// path in the same window, show the right picture there, and still exit 0.
#include <gtest/gtest.h>

#include "tests/e2e/support/reference.h"
#include "tests/e2e/support/x_session.h"

namespace {

using namespace e2e;

using GpuPresentFailure = ViewerInX;

TEST_F(GpuPresentFailure, ViewerFallsBackAndSpinsOn) {
    ASSERT_NO_FATAL_FAILURE(showViewer(VIEWER_PATH));
    XClient* client = x_.client();

    // One degree per frame from 0: an angle past 35 means the 30th present has failed.
    const std::vector<WPARAM> noKeys;
    const ReferenceSet& refs = references(noKeys);
    Match m;
    pollUntil(
        [&] {
            m = bestMatch(refs, grab(client, window_));
            return m.angle >= 35 && m.angle < 300;
        },
        {.timeoutMs = 5000, .watched = {&viewer_}});
    ASSERT_GE(m.angle, 35) << "the viewer never got past its 35th frame";
    ASSERT_LT(m.angle, 300);
    for (int look = 0; look < 3; ++look) {
        sleepMs(300);
        const Match later = bestMatch(refs, grab(client, window_));
        EXPECT_LT(later.mismatch, kSameFrame) << "look " << look;
        EXPECT_NE(later.angle, m.angle) << "look " << look << ": it stopped spinning";
        m = later;
    }
    EXPECT_EQ(findWindow(client, viewerWindow(VIEWER_PATH, viewer_), 1000), window_)
        << "the same window";

    requestClose(client, window_);
    EXPECT_EQ(viewer_.waitExit(3000), 0) << viewer_.stderrText();
    EXPECT_EQ(viewer_.stderrText(), "present path: shared memory\n");
}

}  // namespace
