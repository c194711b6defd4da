// The SDL back end's window in a real X server (Xvfb): the screensaver is left as the
// system has it, and Alt keys typed into the window arrive as Win32's system keys.
#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/e2e/support/poll.h"
#include "tests/e2e/support/x_session.h"
#include "tests/support/window_class.h"
#include "win/error.h"
#include "win/win32.h"

namespace {

std::vector<MSG> keys;  // the key messages the window procedure heard

LRESULT CALLBACK keyProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_KEYDOWN && message <= WM_SYSCHAR)
        keys.push_back(MSG{hWnd, message, wParam, lParam, 0, POINT{0, 0}});
    return DefWindowProcW(hWnd, message, wParam, lParam);
}

class SdlWindow : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(x_.start({}, &error)) << error;
        // This process is SDL's client: only the test's server, whatever the desktop.
        setenv("DISPLAY", x_.name().c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("SDL_VIDEODRIVER");
        test_support::registerClass(L"SdlWindowTest", keyProc, LoadCursorW(nullptr, IDC_ARROW));
        hWnd_ = CreateWindowExW(0, L"SdlWindowTest", L"sdl window test", WS_OVERLAPPEDWINDOW, 0, 0,
                                320, 240, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(hWnd_, nullptr) << win::lastErrorText();
        ShowWindow(hWnd_, SW_SHOWDEFAULT);
        window_ = e2e::findWindow(x_.client(), {.title = "sdl window test", .pid = getpid()}, 5000);
        ASSERT_NE(window_, 0u) << "the window never became viewable";
        keys.clear();
    }
    void TearDown() override {
        DestroyWindow(hWnd_);
        UnregisterClassW(L"SdlWindowTest", nullptr);
    }

    e2e::XSession x_;
    HWND hWnd_ = nullptr;
    unsigned long window_ = 0;
};

// SDL keeps the screensaver off while a window is open unless told; a Win32 program
// that does nothing about it leaves it alone.
TEST_F(SdlWindow, TheScreensaverIsLeftAlone) {
    EXPECT_EQ(SDL_IsScreenSaverEnabled(), SDL_TRUE);
}

TEST_F(SdlWindow, AltKeysArriveAsSystemKeys) {
    e2e::focusAndPoint(x_.client(), window_);
    e2e::pressChord(x_.client(), window_, {"Alt_L", "F1"});
    e2e::pressKey(x_.client(), window_, "F10");
    e2e::pressKey(x_.client(), window_, "F2");
    const bool heard = e2e::pollUntil(
        [] {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            return keys.size() >= 8;
        },
        {.timeoutMs = 5000, .everyMs = 10, .what = "eight key messages"});
    ASSERT_TRUE(heard) << keys.size() << " key messages";
    struct Expected {
        UINT message;
        WPARAM vk;
        bool alt;  // KF_ALTDOWN in lParam
    };
    // Alt's own release comes once Alt is up: a plain key-up.
    const Expected expected[] = {
        {WM_SYSKEYDOWN, VK_MENU, true}, {WM_SYSKEYDOWN, VK_F1, true},
        {WM_SYSKEYUP, VK_F1, true},     {WM_KEYUP, VK_MENU, false},
        {WM_SYSKEYDOWN, VK_F10, false}, {WM_SYSKEYUP, VK_F10, false},
        {WM_KEYDOWN, VK_F2, false},     {WM_KEYUP, VK_F2, false},
    };
    ASSERT_EQ(keys.size(), std::size(expected));
    for (std::size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(keys[i].message, expected[i].message) << i;
        EXPECT_EQ(keys[i].wParam, expected[i].vk) << i;
        EXPECT_EQ((HIWORD(keys[i].lParam) & KF_ALTDOWN) != 0, expected[i].alt) << i;
    }
}

}  // namespace
