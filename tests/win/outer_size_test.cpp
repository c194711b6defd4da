// CreateWindowExW's size is the outer box, frame included: the client is what the
// window manager's frame leaves of it, reported by every WM_SIZE of CreateWindowExW and
// ShowWindow, with none posted afterwards.
#include <vector>

#include "tests/win/recorder.h"
#include "win/core.h"

namespace {

using wintest::messagesOf;
using wintest::received;
using wintest::WinTest;

TEST(OuterSize, TheClientIsTheBoxLessTheFrame) {
    struct Case {
        int width;
        int height;
        win::FrameExtents frame;  // left, right, top, bottom
        int clientWidth;
        int clientHeight;
    };
    const Case cases[] = {
        {800, 600, {}, 800, 600},
        {800, 600, {8, 8, 31, 8}, 784, 561},  // the Windows 10 frame at 96 DPI
        {800, 600, {0, 0, 22, 0}, 800, 578},  // a title bar only
        {10, 10, {8, 8, 31, 8}, 0, 0},        // a frame larger than the box leaves nothing
        {0, 0, {1, 1, 1, 1}, 0, 0},
    };
    for (const Case& c : cases) {
        const win::ClientSize client = win::clientOfOuter(c.width, c.height, c.frame);
        EXPECT_EQ(client.width, c.clientWidth) << c.width << "x" << c.height;
        EXPECT_EQ(client.height, c.clientHeight) << c.width << "x" << c.height;
    }
}

TEST_F(WinTest, EverySizeMessageReportsTheClientInsideTheFrame) {
    win::headless::setFrame(8, 31, 8, 8);
    HWND hWnd = create(800, 600);
    ASSERT_NE(hWnd, nullptr);
    ShowWindow(hWnd, SW_SHOWDEFAULT);
    ASSERT_EQ(messagesOf(received),
              (std::vector<UINT>{WM_CREATE, WM_SIZE, WM_SHOWWINDOW, WM_SIZE}));
    for (const std::size_t i : {1u, 3u}) {
        EXPECT_EQ(LOWORD(received[i].lParam), 784) << i;
        EXPECT_EQ(HIWORD(received[i].lParam), 561) << i;
    }
    RECT rect{};
    ASSERT_TRUE(GetClientRect(hWnd, &rect));
    EXPECT_EQ(rect.right, 784);
    EXPECT_EQ(rect.bottom, 561);
    MSG msg{};
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) << "nothing left to post later";

    // A minimise and a restore come back to the client, not to the outer box.
    received.clear();
    ShowWindow(hWnd, SW_MINIMIZE);
    ShowWindow(hWnd, SW_RESTORE);
    ASSERT_EQ(messagesOf(received), (std::vector<UINT>{WM_SIZE, WM_SIZE}));
    EXPECT_EQ(LOWORD(received[1].lParam), 784);
    EXPECT_EQ(HIWORD(received[1].lParam), 561);
}

TEST_F(WinTest, WithoutAFrameTheClientIsTheWholeBox) {
    HWND hWnd = create(800, 600);
    ASSERT_NE(hWnd, nullptr);
    ASSERT_EQ(messagesOf(received), (std::vector<UINT>{WM_CREATE, WM_SIZE}));
    EXPECT_EQ(received[1].lParam, MAKELPARAM(800, 600));
}

}  // namespace
