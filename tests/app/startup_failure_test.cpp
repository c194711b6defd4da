// Start-up failures as the real WinMain meets them on the headless back end: each ends
// with exit code 1 and one line on stderr that names the cause, and leaves no device.
// The failures come in through public calls only: a class registered first under the
// viewer's class name supplies a window procedure that kills the window at a chosen step.
#include <gtest/gtest.h>

#include <string>

#include "app/app.h"
#include "scene/globals.h"
#include "tests/support/run_viewer.h"
#include "tests/support/window_class.h"
#include "win/headless/headless.h"

namespace {

UINT killOn = 0;  // the message on which the pre-registered procedure destroys the window

LRESULT CALLBACK killingProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == killOn) {
        DestroyWindow(hWnd);
        return 0;
    }
    return mainWndProc(hWnd, message, wParam, lParam);
}

// RegisterClassExW fails for a name already taken, so the viewer's window then gets
// this procedure, as on Win32.
void preRegisterViewerClass() {
    ASSERT_NE(test_support::registerClass(L"WindowClass", killingProc), 0);
}

struct Failure {
    const char* name;
    UINT killOn;             // 0: the back end refuses the window instead
    const char* causeWords;  // must appear in the one line
};

void PrintTo(const Failure& failure, std::ostream* out) {
    *out << failure.name;
}

class StartupFailure : public ::testing::TestWithParam<Failure> {
protected:
    void TearDown() override { win::headless::reset(); }
};

TEST_P(StartupFailure, ExitsWithCodeOneAndOneLineNamingTheCause) {
    const Failure& f = GetParam();
    int presents = 0;
    test_support::ViewerRun run;
    run.prepare = [&f] {
        if (f.killOn == 0) {
            win::headless::failNextWindowCreation("the display refused the connection");
        } else {
            killOn = f.killOn;
            preRegisterViewerClass();
        }
    };
    run.frames = 3;  // a start that went on anyway
    run.onPresent = [&presents](HWND, int) { ++presents; };

    ::testing::internal::CaptureStderr();
    const int code = test_support::runViewerHeadless(run);
    const std::string err = ::testing::internal::GetCapturedStderr();

    EXPECT_EQ(code, 1);
    EXPECT_EQ(presents, 0) << "no frame after a failed start";
    ASSERT_FALSE(err.empty());
    EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line: " << err;
    EXPECT_NE(err.find(f.causeWords), std::string::npos) << err;
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(direct3d, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Causes, StartupFailure,
    ::testing::Values(
        // The display side says no: the back end's own reason is passed on.
        Failure{"WindowRefused", 0, "the display refused the connection"},
        // The window dies inside CreateWindowExW, after its WM_CREATE was accepted.
        Failure{"WindowDestroyedWhileCreated", WM_SIZE, "cannot open a window"},
        // The window dies as it is shown, just before the device is created for it:
        // CreateDevice refuses a window that no longer exists.
        Failure{"WindowGoneBeforeTheDevice", WM_SHOWWINDOW,
                "Direct3D device: the window was closed"}),
    [](const ::testing::TestParamInfo<Failure>& info) { return std::string(info.param.name); });

}  // namespace
