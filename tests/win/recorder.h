// A window procedure that writes down every message it receives, for the win tests,
// and fixtures that give each test a fresh headless back end with one registered class
// (and one window).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "tests/support/window_class.h"
#include "win/headless/headless.h"
#include "win/win32.h"

namespace wintest {

struct Received {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool alive;  // IsWindow(hwnd) while the procedure ran
};

inline std::vector<Received> received;
// Lets a test answer a message itself; returning true skips DefWindowProcW.
inline std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT*)> answer;

inline LRESULT CALLBACK recordingProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    received.push_back({hWnd, message, wParam, lParam, IsWindow(hWnd) != FALSE});
    LRESULT result = 0;
    if (answer && answer(hWnd, message, wParam, lParam, &result)) return result;
    return DefWindowProcW(hWnd, message, wParam, lParam);
}

inline std::vector<UINT> messagesOf(const std::vector<Received>& list) {
    std::vector<UINT> out;
    out.reserve(list.size());
    for (const Received& r : list) out.push_back(r.message);
    return out;
}

// Takes, translates and dispatches everything pending, as the viewer's loop does, up to
// and including a WM_QUIT; returns the messages taken.
inline std::vector<MSG> drain() {
    std::vector<MSG> taken;
    MSG msg{};
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        taken.push_back(msg);
        if (msg.message == WM_QUIT) break;
    }
    return taken;
}

class WinTest : public ::testing::Test {
protected:
    void SetUp() override {
        win::headless::reset();
        received.clear();
        answer = nullptr;
        ASSERT_NE(test_support::registerClass(L"TestClass", recordingProc), 0);
    }
    void TearDown() override {
        answer = nullptr;
        win::headless::reset();
    }

    HWND create(int width = 800, int height = 600) {
        return CreateWindowExW(0, L"TestClass", L"test", WS_OVERLAPPEDWINDOW, 0, 0, width, height,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    }
};

// With one 800 × 600 window made and what it heard while being made forgotten.
class WindowTest : public WinTest {
protected:
    void SetUp() override {
        WinTest::SetUp();
        hWnd = create();
        ASSERT_NE(hWnd, nullptr);
        received.clear();
    }
    HWND hWnd = nullptr;
};

}  // namespace wintest
