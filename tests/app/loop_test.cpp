// The real WinMain, window procedure, scene and device on the headless back end:
// start-up, the drain-then-draw loop, resizes, and a clean exit.
#include <gtest/gtest.h>

#include <string>

#include "app/app.h"
#include "scene/globals.h"
#include "scene/scene.h"
#include "tests/support/run_viewer.h"
#include "win/headless/headless.h"

namespace {

class Loop : public ::testing::Test {
protected:
    void TearDown() override { win::headless::reset(); }

    int runWinMain() { return test_support::runViewerHeadless(run); }
    D3DMATRIX transform(D3DTRANSFORMSTATETYPE which) const {
        D3DMATRIX m{};
        EXPECT_EQ(device->GetTransform(which, &m), D3D_OK);
        return m;
    }

    test_support::ViewerRun run;  // closed after run.frames presents, as a close button would
};

TEST_F(Loop, CloseEndsWithExitCodeZeroAndReleasesEverything) {
    run.frames = 3;
    EXPECT_EQ(runWinMain(), 0);
    EXPECT_EQ(win::headless::presentCount(), 3);  // no frame after the close
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(direct3d, nullptr);
    EXPECT_EQ(vertexBuffer, nullptr);
    EXPECT_EQ(indexBuffer, nullptr);
    EXPECT_EQ(angleDeg, 3.0f);
}

TEST_F(Loop, FirstTurnWithAnEmptyQueueDrawsAtOnce) {
    run.frames = 1;
    EXPECT_EQ(runWinMain(), 0);
    EXPECT_EQ(win::headless::presentCount(), 1);
    const auto& frame = win::headless::lastBackBuffer();
    EXPECT_EQ(frame.width, 800);
    EXPECT_EQ(frame.height, 600);
}

TEST_F(Loop, QueuedMessagesAreAllHandledBeforeTheNextFrame) {
    run.keys.assign(50, VK_PRIOR);
    run.onPresent = [](HWND hWnd, int presents) {
        if (presents == 1) {
            EXPECT_EQ(camZ, 50.0f);  // the whole burst, before the first frame
            for (int i = 0; i < 100; ++i) PostMessageW(hWnd, WM_KEYDOWN, VK_NEXT, 1);
        }
        if (presents == 2) {
            EXPECT_EQ(camZ, -50.0f);
        }
    };
    run.frames = 2;
    EXPECT_EQ(runWinMain(), 0);
}

TEST_F(Loop, StartUpProjectionIsForTheBackBuffer) {
    run.onPresent = [this](HWND, int presents) {
        if (presents != 1) return;
        const D3DMATRIX p = transform(D3DTS_PROJECTION);
        EXPECT_FLOAT_EQ(p._22 / p._11, 800.0f / 600.0f);
    };
    run.frames = 1;
    EXPECT_EQ(runWinMain(), 0);
}

TEST_F(Loop, ResizeSetsTheProjectionAndMinimiseKeepsIt) {
    run.onPresent = [this](HWND hWnd, int presents) {
        const D3DMATRIX p = transform(D3DTS_PROJECTION);
        if (presents == 1) win::headless::setClientSize(hWnd, 1000, 500);
        if (presents == 2) {
            EXPECT_EQ(p._22, 2.0f * p._11);  // aspect exactly 2.0
            win::headless::setClientSize(hWnd, 0, 0);
        }
        if (presents == 3) {
            EXPECT_EQ(p._22, 2.0f * p._11);  // minimised: the last projection stays
            win::headless::setClientSize(hWnd, 600, 600);
        }
        if (presents == 4) {
            EXPECT_EQ(p._22, p._11);
        }
        // The back buffer keeps its size whatever the client does.
        EXPECT_EQ(win::headless::lastBackBuffer().width, 800);
        EXPECT_EQ(win::headless::lastBackBuffer().height, 600);
    };
    run.frames = 4;
    EXPECT_EQ(runWinMain(), 0);
    EXPECT_EQ(win::headless::presentCount(), 4);
}

TEST_F(Loop, ThreePageUpsPutTheEyeSeventeenUnitsBack) {
    run.keys.assign(3, VK_PRIOR);
    run.onPresent = [this](HWND, int presents) {
        if (presents != 1) return;
        const D3DMATRIX v = transform(D3DTS_VIEW);
        EXPECT_FLOAT_EQ(v._43, 17.0f);  // the origin lies 17 units ahead
    };
    run.frames = 1;
    EXPECT_EQ(runWinMain(), 0);
}

TEST_F(Loop, NoWindowMeansOneLineOnStderrAndExitCodeOne) {
    run.prepare = [] { win::headless::failNextWindowCreation("no display"); };
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(runWinMain(), 1);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("no display"), std::string::npos) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line: " << err;
    EXPECT_EQ(device, nullptr);
}

// The program never looks at Present's result: a display that stops taking frames is
// said once on stderr (not every frame), the loop and the spin go on, and the return of
// frames is said too.
TEST_F(Loop, FailingPresentsAreSaidOnceAndTheLoopGoesOn) {
    run.prepare = [] { win::headless::failPresents(3, "the display went dark"); };
    run.frames = 3;  // counts the presents that succeed
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(runWinMain(), 0);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(win::headless::presentCount(), 3);
    EXPECT_EQ(angleDeg, 6.0f);
    const std::size_t firstEnd = err.find('\n');
    ASSERT_NE(firstEnd, std::string::npos) << err;
    EXPECT_NE(err.substr(0, firstEnd).find("cannot present: the display went dark"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("presents succeed again", firstEnd), std::string::npos) << err;
    EXPECT_EQ(err.find('\n', firstEnd + 1), err.size() - 1) << "two lines in all: " << err;
}

}  // namespace
