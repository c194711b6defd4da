// The one message queue on the headless back end: posting order, the place of WM_QUIT,
// a peek that never waits, filters, dispatch to windows that are gone, and the
// characters TranslateMessage adds.
#include <algorithm>
#include <chrono>

#include "tests/win/recorder.h"

namespace {

using wintest::drain;
using wintest::messagesOf;
using wintest::received;

using Queue = wintest::WindowTest;

TEST_F(Queue, PostedMessagesComeOutInOrder) {
    for (WPARAM i = 0; i < 20; ++i) EXPECT_TRUE(PostMessageW(hWnd, WM_KEYUP, i, LPARAM(100 + i)));
    const std::vector<MSG> taken = drain();
    ASSERT_EQ(taken.size(), 20u);
    for (WPARAM i = 0; i < 20; ++i) {
        EXPECT_EQ(taken[i].hwnd, hWnd);
        EXPECT_EQ(taken[i].message, WM_KEYUP);
        EXPECT_EQ(taken[i].wParam, i);
        EXPECT_EQ(taken[i].lParam, LPARAM(100 + i));
    }
    ASSERT_EQ(received.size(), 20u);  // each dispatched to the procedure, in order
    EXPECT_EQ(received.back().wParam, 19u);
}

TEST_F(Queue, QuitComesOnceAfterEverythingAlreadyQueued) {
    PostMessageW(hWnd, WM_KEYUP, 1, 0);
    PostQuitMessage(3);
    PostMessageW(hWnd, WM_KEYUP, 2, 0);  // posted after the quit, still ahead of it
    PostQuitMessage(7);                  // the latest code wins
    const std::vector<MSG> taken = drain();
    ASSERT_EQ(taken.size(), 3u);
    EXPECT_EQ(taken[0].wParam, 1u);
    EXPECT_EQ(taken[1].wParam, 2u);
    EXPECT_EQ(taken[2].message, WM_QUIT);
    EXPECT_EQ(taken[2].hwnd, nullptr);
    EXPECT_EQ(taken[2].wParam, 7u);
    EXPECT_EQ(received.size(), 2u) << "WM_QUIT reaches no window procedure";

    MSG msg{};
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) << "WM_QUIT is taken only once";
}

TEST_F(Queue, QuitCodeSurvivesTheRoundTripThroughWParam) {
    PostQuitMessage(-2);
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(static_cast<int>(msg.wParam), -2);
}

TEST_F(Queue, EmptyPeekLeavesTheRecordAlone) {
    MSG msg{};
    msg.message = WM_KEYDOWN;
    msg.wParam = 42;
    ASSERT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    // The loop relies on msg keeping the last message taken.
    EXPECT_EQ(msg.message, WM_KEYDOWN);
    EXPECT_EQ(msg.wParam, 42u);
}

class QueueTiming : public Queue {};

TEST_F(QueueTiming, EmptyPeekReturnsAtOnce) {
    // A peek that waited for a message would take a timer tick at least; 1000 of them
    // would take seconds. The fastest of three runs is judged: a loaded machine may
    // stall any one run, but not all three.
    auto fastest = std::chrono::steady_clock::duration::max();
    for (int run = 0; run < 3; ++run) {
        MSG msg{};
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < 1000; ++i) ASSERT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
        fastest = std::min(fastest, std::chrono::steady_clock::now() - start);
    }
    EXPECT_LT(fastest, std::chrono::milliseconds(500));
}

TEST_F(Queue, NoRemoveLeavesTheMessageAndTheQuit) {
    PostMessageW(hWnd, WM_KEYUP, 5, 0);
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 5u);

    PostQuitMessage(4);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, WM_QUIT);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Queue, FiltersPickByWindowAndRangeAndKeepTheRest) {
    HWND other = create();
    ASSERT_NE(other, nullptr);
    PostMessageW(hWnd, WM_KEYDOWN, 1, 0);
    PostMessageW(other, WM_KEYDOWN, 2, 0);
    PostMessageW(other, WM_SIZE, 3, 0);
    PostMessageW(nullptr, WM_KEYUP, 4, 0);  // a thread message

    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, other, WM_KEYDOWN, WM_CHAR, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 2u);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_SIZE, WM_SIZE, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
    ASSERT_TRUE(PeekMessageW(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 4u);
    EXPECT_FALSE(PeekMessageW(&msg, other, 0, 0, PM_REMOVE));
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 1u);
}

TEST_F(Queue, DispatchToAGoneWindowOrOfQuitCallsNothing) {
    PostMessageW(hWnd, WM_KEYDOWN, VK_F1, 0);
    PostMessageW(hWnd, WM_CLOSE, 0, 0);
    PostMessageW(hWnd, WM_KEYDOWN, VK_F2, 0);  // still queued when the window goes
    PostMessageW(hWnd, WM_CLOSE, 0, 0);        // a second close for a dead window
    PostMessageW(nullptr, WM_KEYDOWN, VK_F3, 0);
    const std::vector<MSG> taken = drain();
    EXPECT_EQ(taken.size(), 5u);
    EXPECT_EQ(messagesOf(received), (std::vector<UINT>{WM_KEYDOWN, WM_CLOSE, WM_DESTROY}));
    EXPECT_FALSE(IsWindow(hWnd));

    MSG quit{nullptr, WM_QUIT, 0, 0, 0, {0, 0}};
    EXPECT_EQ(DispatchMessageW(&quit), 0);
    EXPECT_EQ(DispatchMessageW(nullptr), 0);
    EXPECT_EQ(received.size(), 3u);
}

TEST_F(Queue, DispatchReturnsTheProcedureResult) {
    wintest::answer = [](HWND, UINT message, WPARAM wParam, LPARAM, LRESULT* result) {
        if (message != WM_KEYUP) return false;
        *result = static_cast<LRESULT>(wParam) * 3;
        return true;
    };
    const MSG msg{hWnd, WM_KEYUP, 14, 0, 0, {0, 0}};
    EXPECT_EQ(DispatchMessageW(&msg), 42);
    EXPECT_EQ(SendMessageW(hWnd, WM_KEYUP, 5, 0), 15);
}

TEST_F(Queue, DestroyWindowFromTheLoopEndsWithQuitAsOnWindows) {
    // The viewer's procedure posts the quit on WM_DESTROY; a close must end the loop.
    wintest::answer = [](HWND, UINT message, WPARAM, LPARAM, LRESULT*) {
        if (message == WM_DESTROY) PostQuitMessage(0);
        return false;
    };
    PostMessageW(hWnd, WM_CLOSE, 0, 0);
    const std::vector<MSG> taken = drain();
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[0].message, WM_CLOSE);
    EXPECT_EQ(taken[1].message, WM_QUIT);
    EXPECT_EQ(taken[1].wParam, 0u);
}

TEST_F(Queue, TranslateAddsCharactersRightAfterTheirKey) {
    struct Case {
        WPARAM vk;
        bool shift;
        WPARAM ch;  // 0: no WM_CHAR
    };
    const Case cases[] = {
        {'A', false, 'a'},        {'A', true, 'A'},       {'7', false, '7'},
        {'7', true, '&'},         {VK_SPACE, false, ' '}, {VK_RETURN, false, '\r'},
        {VK_ESCAPE, false, 0x1B}, {VK_BACK, false, 0x08}, {VK_TAB, false, '\t'},
        {VK_F1, false, 0},        {VK_LEFT, false, 0},    {0xFF, false, 0},
    };
    for (const Case& c : cases) {
        MSG msg{hWnd, WM_KEYDOWN, VK_SHIFT, 0x002A0001, 0, {0, 0}};
        if (c.shift) TranslateMessage(&msg);
        PostMessageW(hWnd, WM_KEYUP, 0x99, 0);  // queued before the key is translated
        msg.wParam = c.vk;
        msg.lParam = 0x001E0001;
        EXPECT_NE(TranslateMessage(&msg), FALSE) << "key messages always report nonzero";
        MSG next{};
        ASSERT_TRUE(PeekMessageW(&next, nullptr, 0, 0, PM_REMOVE));
        if (c.ch != 0) {
            EXPECT_EQ(next.message, WM_CHAR) << std::hex << c.vk;
            EXPECT_EQ(next.wParam, c.ch) << std::hex << c.vk;
            EXPECT_EQ(next.lParam, 0x001E0001);
            ASSERT_TRUE(PeekMessageW(&next, nullptr, 0, 0, PM_REMOVE));
        }
        EXPECT_EQ(next.message, WM_KEYUP) << std::hex << c.vk;
        if (c.shift) {
            msg.message = WM_KEYUP;
            msg.wParam = VK_SHIFT;
            TranslateMessage(&msg);
        }
    }
    const MSG size{hWnd, WM_SIZE, 0, 0, 0, {0, 0}};
    EXPECT_EQ(TranslateMessage(&size), FALSE);
}

TEST_F(Queue, PostingStopsAtTheQueueLimit) {
    int accepted = 0;
    while (accepted < 20000 && PostMessageW(hWnd, WM_NULL, 0, 0)) ++accepted;
    EXPECT_EQ(accepted, 10000);
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_TRUE(PostMessageW(hWnd, WM_NULL, 0, 0));
}

}  // namespace
