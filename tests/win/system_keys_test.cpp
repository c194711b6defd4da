// System keys on the headless back end: which message a key becomes with Alt, Ctrl and
// F10, the lParam every back end's keys get, WM_SYSCHAR from TranslateMessage, and Alt+F4 closing
// the window through DefWindowProcW while other Alt keys do nothing there.
#include <ios>
#include <vector>

#include "tests/win/recorder.h"
#include "win/core.h"

namespace {

using wintest::drain;
using wintest::messagesOf;
using wintest::received;
using SystemKeys = wintest::WindowTest;

TEST(KeyMessage, AltWithoutCtrlAndF10MakeSystemKeys) {
    struct Case {
        WPARAM vk;
        bool alt;
        bool ctrl;
        UINT down;
        UINT up;
    };
    const Case cases[] = {
        {VK_F4, false, false, WM_KEYDOWN, WM_KEYUP},
        {VK_F4, true, false, WM_SYSKEYDOWN, WM_SYSKEYUP},
        {VK_PRIOR, true, false, WM_SYSKEYDOWN, WM_SYSKEYUP},
        {VK_MENU, true, false, WM_SYSKEYDOWN, WM_SYSKEYUP},  // Alt's own press
        {VK_F10, false, false, WM_SYSKEYDOWN, WM_SYSKEYUP},
        {VK_F10, false, true, WM_SYSKEYDOWN, WM_SYSKEYUP},
        {'Q', true, true, WM_KEYDOWN, WM_KEYUP},  // Ctrl+Alt (AltGr) types, as plain keys do
        {VK_F11, false, false, WM_KEYDOWN, WM_KEYUP},
    };
    for (const Case& c : cases) {
        win::KeyEvent key{.vk = c.vk, .altDown = c.alt, .ctrlDown = c.ctrl};
        EXPECT_EQ(win::keyMessageOf(key), c.down) << c.vk << " alt " << c.alt << " ctrl " << c.ctrl;
        key.down = false;
        EXPECT_EQ(win::keyMessageOf(key), c.up) << c.vk << " alt " << c.alt << " ctrl " << c.ctrl;
    }
}

TEST(KeyMessage, LParamCarriesScanCodeExtendedBitAltAndKeyState) {
    struct Case {
        win::KeyEvent key;
        LPARAM expected;
    };
    const Case cases[] = {
        // First press: repeat count 1, the scan code.
        {{.vk = 'A', .scan = 0x1E}, 0x001E0001},
        // Auto-repeat: previous state down (bit 30); release: also the transition (31).
        {{.vk = 'A', .scan = 0x1E, .repeat = true}, 0x401E0001},
        {{.vk = 'A', .scan = 0x1E, .down = false}, 0xC01E0001},
        // Extended key (bit 24).
        {{.vk = VK_UP, .scan = 0x48, .extended = true}, 0x01480001},
        {{.vk = VK_UP, .scan = 0x48, .extended = true, .down = false}, 0xC1480001},
        // Alt held: the context code (bit 29).
        {{.vk = 'A', .scan = 0x1E, .altDown = true}, 0x201E0001},
        {{.vk = VK_UP, .scan = 0x48, .extended = true, .down = false, .altDown = true}, 0xE1480001},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(win::keyParamOf(c.key), c.expected) << std::hex << c.expected;
    }
}

TEST_F(SystemKeys, TranslateTurnsAltLettersIntoSysChar) {
    win::headless::pressKey(hWnd, VK_MENU, true, true);
    win::headless::pressKey(hWnd, 'A', true, true);
    win::headless::pressKey(hWnd, 'A', false, true);
    win::headless::pressKey(hWnd, VK_F2, true, true);  // types nothing
    drain();
    ASSERT_EQ(messagesOf(received), (std::vector<UINT>{WM_SYSKEYDOWN, WM_SYSKEYDOWN, WM_SYSCHAR,
                                                       WM_SYSKEYUP, WM_SYSKEYDOWN}));
    EXPECT_EQ(received[2].wParam, static_cast<WPARAM>(L'a'));
    EXPECT_NE(HIWORD(received[2].lParam) & KF_ALTDOWN, 0);  // Alt held
    EXPECT_TRUE(IsWindow(hWnd));
}

// DefWindowProcW turns Alt+F4 into WM_SYSCOMMAND SC_CLOSE (posted, as the window menu
// posts its commands) and that into WM_CLOSE, which destroys the window.
TEST_F(SystemKeys, AltF4ClosesThroughTheSystemCommand) {
    win::headless::pressKey(hWnd, VK_MENU, true, true);
    win::headless::pressKey(hWnd, VK_F4, true, true);
    drain();
    ASSERT_EQ(messagesOf(received), (std::vector<UINT>{WM_SYSKEYDOWN, WM_SYSKEYDOWN, WM_SYSCOMMAND,
                                                       WM_CLOSE, WM_DESTROY}));
    EXPECT_EQ(received[2].wParam, SC_CLOSE);
    EXPECT_FALSE(IsWindow(hWnd));
}

TEST_F(SystemKeys, OnlyAltF4Closes) {
    win::headless::pressKey(hWnd, VK_F4, true);              // plain F4
    win::headless::pressKey(hWnd, VK_F4, true, true, true);  // Ctrl+Alt+F4: a plain key
    win::headless::pressKey(hWnd, VK_F1, true, true);        // Alt+F1
    win::headless::pressKey(hWnd, VK_F10, true);             // F10: a system key without Alt
    PostMessageW(hWnd, WM_SYSKEYDOWN, VK_F4, 1);             // no Alt bit
    PostMessageW(hWnd, WM_SYSCOMMAND, 0xF020, 0);            // SC_MINIMIZE
    drain();
    EXPECT_TRUE(IsWindow(hWnd));
    EXPECT_EQ(messagesOf(received),
              (std::vector<UINT>{WM_KEYDOWN, WM_KEYDOWN, WM_SYSKEYDOWN, WM_SYSKEYDOWN,
                                 WM_SYSKEYDOWN, WM_SYSCOMMAND}));
    // The system command's low four bits are the system's own and do not matter.
    SendMessageW(hWnd, WM_SYSCOMMAND, SC_CLOSE | 0x2, 0);
    EXPECT_FALSE(IsWindow(hWnd));
}

TEST_F(SystemKeys, EveryDefWindowProcCallIsSeen) {
    const std::size_t before = win::headless::defWindowProcCalls().size();
    win::headless::pressKey(hWnd, VK_F4, true, true);
    drain();
    const std::vector<MSG>& calls = win::headless::defWindowProcCalls();
    ASSERT_EQ(calls.size(), before + 4);  // the key, the command, the close, the destroy
    EXPECT_EQ(calls[before].message, WM_SYSKEYDOWN);
    EXPECT_EQ(calls[before].wParam, VK_F4);
    EXPECT_EQ(calls[before + 3].message, WM_DESTROY);
}

}  // namespace
