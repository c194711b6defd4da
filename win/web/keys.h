// The browser key → Win32 virtual-key table, seen without emscripten: keys arrive as
// KeyboardEvent.code strings ("KeyA", "F5", "PageUp"), which name the physical key.
// Used by backend_web.cpp to say which key the page saw (the core makes the message and
// its lParam) and by the tests; the table itself (keys_web.cpp) is data, not logic.
#pragma once

#include <string_view>

#include "win/win32.h"

namespace win::web {

// Ours, as in the desktop back end: keys Win32 has no virtual-key code for still arrive,
// with this code (Win32 reserves 0xFF); code 0 is never sent.
constexpr WPARAM kNoVirtualKey = 0xFF;

struct KeyCode {
    WPARAM vk = kNoVirtualKey;
    BYTE scan = 0;          // the PC set-1 scan code Win32 puts in lParam bits 16-23
    bool extended = false;  // the E0-prefixed keys: lParam bit 24
};

// The key a KeyboardEvent.code names, by position as the desktop table maps scan codes
// (letters and digits by their US-layout place). The keypad's digits and '.' are
// VK_NUMPADn / VK_DECIMAL with Num Lock on and the navigation keys they are labelled
// with when it is off, as on the desktop.
KeyCode translateKey(std::string_view code, bool numLock);

// The table is sorted by code, as the lookup needs (for the tests).
bool keyTableSorted();

}  // namespace win::web
