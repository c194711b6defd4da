// The SDL key → Win32 virtual-key table, seen without SDL headers: SDL scancodes and
// keycodes travel as plain ints. Used by events.cpp to say which key it saw (the core
// makes the message and its lParam) and by the tests; the table itself (keys_sdl.cpp) is
// data, not logic.
#pragma once

#include <span>

#include "win/win32.h"

namespace win::sdl {

// Ours: keys Win32 has no virtual-key code for still arrive, with this code (Win32
// reserves 0xFF); code 0 is never sent.
constexpr WPARAM kNoVirtualKey = 0xFF;

struct KeyEntry {
    int scancode;      // SDL_Scancode: the physical key
    WPARAM vk;         // the Win32 virtual-key code (with Num Lock off, for the keypad)
    WPARAM vkNumLock;  // keypad digits and '.': the code with Num Lock on; 0 elsewhere
    BYTE scan;         // the PC set-1 scan code Win32 puts in lParam bits 16-23
    bool extended;     // the E0-prefixed keys: lParam bit 24
};

std::span<const KeyEntry> keyTable();

struct KeyCode {
    WPARAM vk = kNoVirtualKey;
    BYTE scan = 0;
    bool extended = false;
};

// Letters follow the keyboard layout (the SDL keycode), as Win32's virtual keys do;
// every other key goes by its position (the scancode).
KeyCode translateKey(int scancode, int keycode, bool numLock);

}  // namespace win::sdl
