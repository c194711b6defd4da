// The class registry and the window lifecycle on the headless back end: what
// RegisterClassExW refuses, the messages CreateWindowExW, ShowWindow and DestroyWindow
// send before they return, and handles that outlive their window.
#include <cstring>
#include <memory>
#include <string>

#include "tests/support/window_class.h"
#include "tests/win/recorder.h"
#include "win/display.h"
#include "win/error.h"

namespace {

using wintest::messagesOf;
using wintest::received;
using wintest::recordingProc;
using wintest::WindowTest;
using wintest::WinTest;

TEST_F(WinTest, RegisterClassRefusesBadRecordsAndDuplicates) {
    struct Case {
        const char* name;
        UINT cbSize;
        WNDPROC proc;
        LPCWSTR className;
    };
    const Case cases[] = {
        {"cbSize too small", 48, DefWindowProcW, L"Fresh"},
        {"cbSize too large", sizeof(WNDCLASSEXW) + 8, DefWindowProcW, L"Fresh"},
        {"no procedure", sizeof(WNDCLASSEXW), nullptr, L"Fresh"},
        {"no name", sizeof(WNDCLASSEXW), DefWindowProcW, nullptr},
        {"same name", sizeof(WNDCLASSEXW), DefWindowProcW, L"TestClass"},
        {"same name in other case", sizeof(WNDCLASSEXW), DefWindowProcW, L"testCLASS"},
    };
    for (const Case& c : cases) {
        WNDCLASSEXW wc{};
        wc.cbSize = c.cbSize;
        wc.lpfnWndProc = c.proc;
        wc.lpszClassName = c.className;
        EXPECT_EQ(RegisterClassExW(&wc), 0) << c.name;
    }
    EXPECT_EQ(RegisterClassExW(nullptr), 0);

    // None of the refused records registered "Fresh"; a good one still can.
    EXPECT_NE(test_support::registerClass(L"Fresh", DefWindowProcW), 0);
}

TEST_F(WinTest, ClassNamesMatchWhateverTheirCase) {
    HWND hWnd =
        CreateWindowExW(0, L"TESTCLASS", L"t", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hWnd, nullptr);
    EXPECT_EQ(UnregisterClassW(L"testclass", nullptr), FALSE);  // a window still uses it
    DestroyWindow(hWnd);
    EXPECT_EQ(UnregisterClassW(L"testclass", nullptr), TRUE);
    EXPECT_EQ(create(), nullptr);
}

TEST_F(WinTest, CreationFailuresReturnNullWithOneLineReason) {
    HWND hWnd = CreateWindowExW(0, L"NoSuchClass", L"t", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                                nullptr);
    EXPECT_EQ(hWnd, nullptr);
    EXPECT_NE(std::string(win::lastErrorText()).find("NoSuchClass"), std::string::npos)
        << win::lastErrorText();

    win::headless::failNextWindowCreation("no display");
    EXPECT_EQ(create(), nullptr);
    const std::string reason = win::lastErrorText();
    EXPECT_NE(reason.find("no display"), std::string::npos) << reason;
    EXPECT_EQ(reason.find('\n'), std::string::npos) << reason;
    EXPECT_TRUE(received.empty()) << "a window that failed must not hear anything";

    // Only the next creation fails.
    EXPECT_NE(create(), nullptr);
}

TEST_F(WinTest, CreateSendsCreateThenSizeBeforeReturning) {
    HWND hWnd = create(640, 480);
    ASSERT_NE(hWnd, nullptr);
    ASSERT_EQ(messagesOf(received), (std::vector<UINT>{WM_CREATE, WM_SIZE}));
    EXPECT_EQ(received[0].hwnd, hWnd);
    EXPECT_EQ(received[1].wParam, SIZE_RESTORED);
    EXPECT_EQ(LOWORD(received[1].lParam), 640);
    EXPECT_EQ(HIWORD(received[1].lParam), 480);

    RECT rect{-1, -1, -1, -1};
    ASSERT_TRUE(GetClientRect(hWnd, &rect));
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right, 640);
    EXPECT_EQ(rect.bottom, 480);
}

TEST_F(WinTest, CreateArgumentsReachWmCreate) {
    int token = 0;
    wintest::answer = [&](HWND, UINT message, WPARAM, LPARAM lParam, LRESULT*) {
        if (message != WM_CREATE) return false;
        const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        EXPECT_EQ(cs->lpCreateParams, &token);
        EXPECT_EQ(cs->cx, 320);
        EXPECT_EQ(cs->cy, 200);
        EXPECT_EQ(cs->x, 7);
        EXPECT_EQ(cs->y, 9);
        EXPECT_EQ(static_cast<DWORD>(cs->style), WS_OVERLAPPEDWINDOW);
        EXPECT_EQ(std::wcscmp(cs->lpszName, L"title"), 0);
        return false;
    };
    EXPECT_NE(CreateWindowExW(0, L"TestClass", L"title", WS_OVERLAPPEDWINDOW, 7, 9, 320, 200,
                              nullptr, nullptr, nullptr, &token),
              nullptr);
}

TEST_F(WinTest, CreateRefusedByTheProcedureLeavesNoWindow) {
    HWND seen = nullptr;
    wintest::answer = [&](HWND hWnd, UINT message, WPARAM, LPARAM, LRESULT* result) {
        if (message != WM_CREATE) return false;
        seen = hWnd;
        *result = -1;
        return true;
    };
    EXPECT_EQ(create(), nullptr);
    ASSERT_NE(seen, nullptr);
    EXPECT_FALSE(IsWindow(seen));
    // Win32 destroys the refused window, so it hears WM_DESTROY and nothing after.
    EXPECT_EQ(messagesOf(received), (std::vector<UINT>{WM_CREATE, WM_DESTROY}));
    EXPECT_STRNE(win::lastErrorText(), "");
}

TEST_F(WindowTest, ShowWindowSendsShowAndSizeBeforeReturning) {
    EXPECT_EQ(ShowWindow(hWnd, SW_SHOWDEFAULT), FALSE);  // was hidden
    ASSERT_EQ(messagesOf(received), (std::vector<UINT>{WM_SHOWWINDOW, WM_SIZE}));
    EXPECT_EQ(received[0].wParam, static_cast<WPARAM>(TRUE));
    EXPECT_EQ(received[1].wParam, SIZE_RESTORED);
    EXPECT_EQ(LOWORD(received[1].lParam), 800);
    EXPECT_EQ(HIWORD(received[1].lParam), 600);
    MSG msg{};
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) << "sent, not posted";

    EXPECT_EQ(ShowWindow(hWnd, SW_SHOW), TRUE);  // was visible
    received.clear();
    EXPECT_EQ(ShowWindow(hWnd, SW_HIDE), TRUE);
    ASSERT_EQ(messagesOf(received), (std::vector<UINT>{WM_SHOWWINDOW}));
    EXPECT_EQ(received[0].wParam, static_cast<WPARAM>(FALSE));

    received.clear();
    ShowWindow(hWnd, SW_SHOWMINIMIZED);
    ASSERT_EQ(messagesOf(received), (std::vector<UINT>{WM_SHOWWINDOW, WM_SIZE}));
    EXPECT_EQ(received[1].wParam, SIZE_MINIMIZED);
    EXPECT_EQ(received[1].lParam, 0);

    // Restoring brings back the size from before the minimise.
    received.clear();
    ShowWindow(hWnd, SW_RESTORE);
    ASSERT_EQ(messagesOf(received), (std::vector<UINT>{WM_SIZE}));
    EXPECT_EQ(received[0].wParam, SIZE_RESTORED);
    EXPECT_EQ(LOWORD(received[0].lParam), 800);
    EXPECT_EQ(HIWORD(received[0].lParam), 600);
}

TEST_F(WindowTest, CloseThroughDefWindowProcDestroysBeforeReturning) {
    EXPECT_EQ(SendMessageW(hWnd, WM_CLOSE, 0, 0), 0);
    // WM_CLOSE → DefWindowProcW → DestroyWindow → WM_DESTROY, all inside this call,
    // and the window still existed while it heard WM_DESTROY.
    ASSERT_EQ(messagesOf(received), (std::vector<UINT>{WM_CLOSE, WM_DESTROY}));
    EXPECT_TRUE(received[1].alive);
    EXPECT_FALSE(IsWindow(hWnd));

    // The handle is stale from now on: every call refuses it and nothing is heard.
    received.clear();
    RECT rect{};
    EXPECT_EQ(DestroyWindow(hWnd), FALSE);
    EXPECT_EQ(ShowWindow(hWnd, SW_SHOW), FALSE);
    EXPECT_EQ(GetClientRect(hWnd, &rect), FALSE);
    EXPECT_EQ(SendMessageW(hWnd, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(DefWindowProcW(hWnd, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(PostMessageW(hWnd, WM_CLOSE, 0, 0), FALSE);
    EXPECT_TRUE(received.empty());

    // A new window never reuses the old handle.
    HWND next = create();
    EXPECT_NE(next, hWnd);
}

TEST_F(WindowTest, DestroyInsideWmDestroyIsNotRepeated) {
    int destroys = 0;
    wintest::answer = [&](HWND h, UINT message, WPARAM, LPARAM, LRESULT*) {
        if (message == WM_DESTROY) {
            ++destroys;
            EXPECT_EQ(DestroyWindow(h), FALSE);
        }
        return false;
    };
    EXPECT_EQ(DestroyWindow(hWnd), TRUE);
    EXPECT_EQ(destroys, 1);
    EXPECT_FALSE(IsWindow(hWnd));
}

TEST_F(WinTest, GarbageHandlesAreRefusedNotFollowed) {
    for (std::uintptr_t value :
         {std::uintptr_t{0}, std::uintptr_t{1}, std::uintptr_t{0xDEADBEEF}, ~std::uintptr_t{0}}) {
        const HWND junk = reinterpret_cast<HWND>(value);
        RECT rect{};
        EXPECT_FALSE(IsWindow(junk));
        EXPECT_FALSE(GetClientRect(junk, &rect));
        EXPECT_FALSE(ShowWindow(junk, SW_SHOW));
        EXPECT_FALSE(DestroyWindow(junk));
        EXPECT_EQ(SendMessageW(junk, WM_CLOSE, 0, 0), 0);
        const win::SharedPixels pixel = std::make_shared<std::uint32_t[]>(1);
        EXPECT_FALSE(win::presentFrame(junk, pixel, 1, 1, false).ok);
    }
}

TEST_F(WinTest, CursorAndModuleHandles) {
    EXPECT_NE(LoadCursorW(nullptr, IDC_ARROW), nullptr);
    EXPECT_EQ(LoadCursorW(nullptr, MAKEINTRESOURCEW(1)), nullptr);
    EXPECT_NE(GetModuleHandleW(nullptr), nullptr);
    EXPECT_EQ(GetModuleHandleW(nullptr), GetModuleHandleW(nullptr));
}

TEST_F(WindowTest, ResetForgetsClassesAndWindows) {
    win::headless::reset();
    EXPECT_FALSE(IsWindow(hWnd));
    EXPECT_EQ(create(), nullptr) << "the class should be gone too";
    EXPECT_NE(test_support::registerClass(L"TestClass", recordingProc), 0);
}

}  // namespace
