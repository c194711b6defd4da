// The window procedure's dealings with Win32 through the real WinMain on the headless
// back end: every key reaches DefWindowProcW after the controls, Alt keys are left to
// DefWindowProcW (Alt+F4 closes, the rest do nothing), the start-up aspect is the back
// buffer's whatever the client, and closing releases the device exactly once.
#include <gtest/gtest.h>

#include <vector>

#include "app/app.h"
#include "scene/globals.h"
#include "scene/scene.h"
#include "tests/support/run_viewer.h"
#include "win/core.h"
#include "win/headless/headless.h"

// WinMain's call to releaseDevice lands here first (the link wraps the symbol), so the
// tests can count the calls.
namespace {
int releaseDeviceCalls = 0;
}  // namespace
extern "C" void __real__Z13releaseDevicev();   // NOLINT(bugprone-reserved-identifier)
extern "C" void __wrap__Z13releaseDevicev() {  // NOLINT(bugprone-reserved-identifier)
    ++releaseDeviceCalls;
    __real__Z13releaseDevicev();
}

namespace {

struct DefaultCall {
    UINT message;
    WPARAM wParam;
    float camZ;  // as the controls had left it when DefWindowProcW got the message
};
std::vector<DefaultCall> defaultCalls;

void recordDefault(HWND, UINT message, WPARAM wParam, LPARAM) {
    defaultCalls.push_back({message, wParam, camZ});
}

class WindowMessages : public ::testing::Test {
protected:
    void SetUp() override {
        releaseDeviceCalls = 0;
        defaultCalls.clear();
    }
    void TearDown() override { win::headless::reset(); }

    // WinMain's exit code; the window is closed after run.frames presents unless
    // something ended the program before.
    int runWinMain() { return test_support::runViewerHeadless(run); }
    static DWORD renderState(D3DRENDERSTATETYPE which) {
        DWORD value = 0xDEADBEEF;
        EXPECT_EQ(device->GetRenderState(which, &value), D3D_OK);
        return value;
    }
    static float aspect() {
        D3DMATRIX p{};
        EXPECT_EQ(device->GetTransform(D3DTS_PROJECTION, &p), D3D_OK);
        return p._22 / p._11;
    }

    test_support::ViewerRun run;
};

TEST_F(WindowMessages, KeysHandledOrNotReachDefWindowProcAfterTheControls) {
    run.frames = 2;
    run.onPresent = [](HWND hWnd, int presents) {
        if (presents != 1) return;
        win::watchDefWindowProc(recordDefault);
        for (const WPARAM vk : {VK_PRIOR, VK_HOME, WPARAM{'A'}}) {
            win::headless::pressKey(hWnd, vk, true);
            win::headless::pressKey(hWnd, vk, false);
        }
    };
    EXPECT_EQ(runWinMain(), 0);
    std::vector<UINT> keyMessages;
    for (const DefaultCall& call : defaultCalls) {
        if (call.message >= WM_KEYDOWN && call.message <= WM_CHAR)
            keyMessages.push_back(call.message);
    }
    // Each key's down, its character where it types one, and its up: once each.
    EXPECT_EQ(keyMessages, (std::vector<UINT>{WM_KEYDOWN, WM_KEYUP, WM_KEYDOWN, WM_KEYUP,
                                              WM_KEYDOWN, WM_CHAR, WM_KEYUP}));
    ASSERT_FALSE(defaultCalls.empty());
    EXPECT_EQ(defaultCalls.front().wParam, VK_PRIOR);
    EXPECT_EQ(defaultCalls.front().camZ, 1.0f) << "the controls act before DefWindowProcW";
    EXPECT_EQ(camZ, 1.0f);
}

TEST_F(WindowMessages, AltF4EndsTheProgramWithZero) {
    run.frames = 100;
    run.onPresent = [](HWND hWnd, int presents) {
        if (presents != 2) return;
        win::headless::pressKey(hWnd, VK_MENU, true, true);
        win::headless::pressKey(hWnd, VK_F4, true, true);
    };
    EXPECT_EQ(runWinMain(), 0);
    EXPECT_EQ(win::headless::presentCount(), 2) << "no frame after the close";
    EXPECT_EQ(releaseDeviceCalls, 1);
    EXPECT_EQ(device, nullptr);
}

TEST_F(WindowMessages, AltKeysChangeNothing) {
    run.frames = 2;
    run.onPresent = [](HWND hWnd, int presents) {
        if (presents == 1) {
            win::headless::pressKey(hWnd, VK_MENU, true, true);
            for (WPARAM vk = VK_F1; vk <= VK_F7; ++vk) {
                if (vk != VK_F4) win::headless::pressKey(hWnd, vk, true, true);
            }
            for (const WPARAM vk : {VK_PRIOR, VK_NEXT, VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN}) {
                win::headless::pressKey(hWnd, vk, true, true);
            }
            win::headless::pressKey(hWnd, VK_F10, true);  // a system key alone
        }
        if (presents == 2) {  // the keys above have all been dispatched
            EXPECT_EQ(renderState(D3DRS_CULLMODE), DWORD{D3DCULL_CCW});
            EXPECT_EQ(renderState(D3DRS_SHADEMODE), DWORD{D3DSHADE_GOURAUD});
            EXPECT_EQ(renderState(D3DRS_ZENABLE), DWORD{D3DZB_TRUE});
        }
    };
    EXPECT_EQ(runWinMain(), 0);
    EXPECT_EQ(win::headless::presentCount(), 2);
    EXPECT_EQ(camX, 0.0f);
    EXPECT_EQ(camY, 0.0f);
    EXPECT_EQ(camZ, 0.0f);
}

TEST_F(WindowMessages, ClosingReleasesTheDeviceOnce) {
    run.frames = 3;
    EXPECT_EQ(runWinMain(), 0);
    EXPECT_EQ(releaseDeviceCalls, 1);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(direct3d, nullptr);
}

// The client sizes CreateWindowExW and ShowWindow report come before the device exists;
// the start-up projection is the back buffer's 4/3 whatever they were, until a resize.
TEST_F(WindowMessages, StartUpAspectIsFourThirdsWhateverTheClient) {
    std::vector<float> aspects;
    run.frames = 3;
    // An 800 × 600 box with a 640 × 400 client.
    run.prepare = [] { win::headless::setFrame(80, 100, 80, 100); };
    run.onPresent = [&aspects](HWND hWnd, int presents) {
        aspects.push_back(aspect());
        if (presents != 1) return;
        RECT client{};
        GetClientRect(hWnd, &client);
        EXPECT_EQ(client.right, 640);
        EXPECT_EQ(client.bottom, 400);
        EXPECT_EQ(win::headless::lastFrame().width, 640);
        EXPECT_EQ(win::headless::lastFrame().height, 400);
        win::headless::setClientSize(hWnd, 1000, 500);
    };
    EXPECT_EQ(runWinMain(), 0);
    ASSERT_EQ(aspects.size(), 3u);
    EXPECT_FLOAT_EQ(aspects[0], 4.0f / 3.0f);
    EXPECT_FLOAT_EQ(aspects[1], 2.0f);
    EXPECT_FLOAT_EQ(aspects[2], 2.0f);
    EXPECT_EQ(win::headless::lastBackBuffer().width, 800);
    EXPECT_EQ(win::headless::lastBackBuffer().height, 600);
}

}  // namespace
