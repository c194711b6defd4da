// The SDL scancode → Win32 virtual-key table, as data, and the one lookup over it.
// Part of the SDL back end (the only other file that may include SDL); it does not
// read events or know about windows.
#include <SDL_keycode.h>
#include <SDL_scancode.h>

#include "win/sdl/keys.h"

namespace win::sdl {
namespace {

// One row per physical key. Scan codes are PC set 1, as Win32 reports them.
constexpr KeyEntry kKeys[] = {
    // letters (the VK comes from the layout when the key types a letter)
    {SDL_SCANCODE_A, 'A', 0, 0x1E, false},
    {SDL_SCANCODE_B, 'B', 0, 0x30, false},
    {SDL_SCANCODE_C, 'C', 0, 0x2E, false},
    {SDL_SCANCODE_D, 'D', 0, 0x20, false},
    {SDL_SCANCODE_E, 'E', 0, 0x12, false},
    {SDL_SCANCODE_F, 'F', 0, 0x21, false},
    {SDL_SCANCODE_G, 'G', 0, 0x22, false},
    {SDL_SCANCODE_H, 'H', 0, 0x23, false},
    {SDL_SCANCODE_I, 'I', 0, 0x17, false},
    {SDL_SCANCODE_J, 'J', 0, 0x24, false},
    {SDL_SCANCODE_K, 'K', 0, 0x25, false},
    {SDL_SCANCODE_L, 'L', 0, 0x26, false},
    {SDL_SCANCODE_M, 'M', 0, 0x32, false},
    {SDL_SCANCODE_N, 'N', 0, 0x31, false},
    {SDL_SCANCODE_O, 'O', 0, 0x18, false},
    {SDL_SCANCODE_P, 'P', 0, 0x19, false},
    {SDL_SCANCODE_Q, 'Q', 0, 0x10, false},
    {SDL_SCANCODE_R, 'R', 0, 0x13, false},
    {SDL_SCANCODE_S, 'S', 0, 0x1F, false},
    {SDL_SCANCODE_T, 'T', 0, 0x14, false},
    {SDL_SCANCODE_U, 'U', 0, 0x16, false},
    {SDL_SCANCODE_V, 'V', 0, 0x2F, false},
    {SDL_SCANCODE_W, 'W', 0, 0x11, false},
    {SDL_SCANCODE_X, 'X', 0, 0x2D, false},
    {SDL_SCANCODE_Y, 'Y', 0, 0x15, false},
    {SDL_SCANCODE_Z, 'Z', 0, 0x2C, false},
    // the digit row: digits in every layout, as Win32 reports them
    {SDL_SCANCODE_1, '1', 0, 0x02, false},
    {SDL_SCANCODE_2, '2', 0, 0x03, false},
    {SDL_SCANCODE_3, '3', 0, 0x04, false},
    {SDL_SCANCODE_4, '4', 0, 0x05, false},
    {SDL_SCANCODE_5, '5', 0, 0x06, false},
    {SDL_SCANCODE_6, '6', 0, 0x07, false},
    {SDL_SCANCODE_7, '7', 0, 0x08, false},
    {SDL_SCANCODE_8, '8', 0, 0x09, false},
    {SDL_SCANCODE_9, '9', 0, 0x0A, false},
    {SDL_SCANCODE_0, '0', 0, 0x0B, false},
    // editing and whitespace
    {SDL_SCANCODE_ESCAPE, VK_ESCAPE, 0, 0x01, false},
    {SDL_SCANCODE_BACKSPACE, VK_BACK, 0, 0x0E, false},
    {SDL_SCANCODE_TAB, VK_TAB, 0, 0x0F, false},
    {SDL_SCANCODE_RETURN, VK_RETURN, 0, 0x1C, false},
    {SDL_SCANCODE_SPACE, VK_SPACE, 0, 0x39, false},
    // OEM punctuation, by position on the US layout
    {SDL_SCANCODE_MINUS, VK_OEM_MINUS, 0, 0x0C, false},
    {SDL_SCANCODE_EQUALS, VK_OEM_PLUS, 0, 0x0D, false},
    {SDL_SCANCODE_LEFTBRACKET, VK_OEM_4, 0, 0x1A, false},
    {SDL_SCANCODE_RIGHTBRACKET, VK_OEM_6, 0, 0x1B, false},
    {SDL_SCANCODE_SEMICOLON, VK_OEM_1, 0, 0x27, false},
    {SDL_SCANCODE_APOSTROPHE, VK_OEM_7, 0, 0x28, false},
    {SDL_SCANCODE_GRAVE, VK_OEM_3, 0, 0x29, false},
    {SDL_SCANCODE_BACKSLASH, VK_OEM_5, 0, 0x2B, false},
    {SDL_SCANCODE_COMMA, VK_OEM_COMMA, 0, 0x33, false},
    {SDL_SCANCODE_PERIOD, VK_OEM_PERIOD, 0, 0x34, false},
    {SDL_SCANCODE_SLASH, VK_OEM_2, 0, 0x35, false},
    {SDL_SCANCODE_NONUSBACKSLASH, VK_OEM_102, 0, 0x56, false},
    // modifiers: WM_KEYDOWN reports the side-neutral codes, right keys as extended
    {SDL_SCANCODE_LSHIFT, VK_SHIFT, 0, 0x2A, false},
    {SDL_SCANCODE_RSHIFT, VK_SHIFT, 0, 0x36, false},
    {SDL_SCANCODE_LCTRL, VK_CONTROL, 0, 0x1D, false},
    {SDL_SCANCODE_RCTRL, VK_CONTROL, 0, 0x1D, true},
    {SDL_SCANCODE_LALT, VK_MENU, 0, 0x38, false},
    {SDL_SCANCODE_RALT, VK_MENU, 0, 0x38, true},
    {SDL_SCANCODE_LGUI, VK_LWIN, 0, 0x5B, true},
    {SDL_SCANCODE_RGUI, VK_RWIN, 0, 0x5C, true},
    {SDL_SCANCODE_APPLICATION, VK_APPS, 0, 0x5D, true},
    {SDL_SCANCODE_CAPSLOCK, VK_CAPITAL, 0, 0x3A, false},
    {SDL_SCANCODE_NUMLOCKCLEAR, VK_NUMLOCK, 0, 0x45, true},
    {SDL_SCANCODE_SCROLLLOCK, VK_SCROLL, 0, 0x46, false},
    {SDL_SCANCODE_PRINTSCREEN, VK_SNAPSHOT, 0, 0x37, true},
    {SDL_SCANCODE_PAUSE, VK_PAUSE, 0, 0x45, false},
    // the navigation block (extended; the keypad twins below are not)
    {SDL_SCANCODE_INSERT, VK_INSERT, 0, 0x52, true},
    {SDL_SCANCODE_DELETE, VK_DELETE, 0, 0x53, true},
    {SDL_SCANCODE_HOME, VK_HOME, 0, 0x47, true},
    {SDL_SCANCODE_END, VK_END, 0, 0x4F, true},
    {SDL_SCANCODE_PAGEUP, VK_PRIOR, 0, 0x49, true},
    {SDL_SCANCODE_PAGEDOWN, VK_NEXT, 0, 0x51, true},
    {SDL_SCANCODE_LEFT, VK_LEFT, 0, 0x4B, true},
    {SDL_SCANCODE_UP, VK_UP, 0, 0x48, true},
    {SDL_SCANCODE_RIGHT, VK_RIGHT, 0, 0x4D, true},
    {SDL_SCANCODE_DOWN, VK_DOWN, 0, 0x50, true},
    // function keys
    {SDL_SCANCODE_F1, VK_F1, 0, 0x3B, false},
    {SDL_SCANCODE_F2, VK_F2, 0, 0x3C, false},
    {SDL_SCANCODE_F3, VK_F3, 0, 0x3D, false},
    {SDL_SCANCODE_F4, VK_F4, 0, 0x3E, false},
    {SDL_SCANCODE_F5, VK_F5, 0, 0x3F, false},
    {SDL_SCANCODE_F6, VK_F6, 0, 0x40, false},
    {SDL_SCANCODE_F7, VK_F7, 0, 0x41, false},
    {SDL_SCANCODE_F8, VK_F8, 0, 0x42, false},
    {SDL_SCANCODE_F9, VK_F9, 0, 0x43, false},
    {SDL_SCANCODE_F10, VK_F10, 0, 0x44, false},
    {SDL_SCANCODE_F11, VK_F11, 0, 0x57, false},
    {SDL_SCANCODE_F12, VK_F12, 0, 0x58, false},
    {SDL_SCANCODE_F13, VK_F13 + 0, 0, 0x64, false},
    {SDL_SCANCODE_F14, VK_F13 + 1, 0, 0x65, false},
    {SDL_SCANCODE_F15, VK_F13 + 2, 0, 0x66, false},
    {SDL_SCANCODE_F16, VK_F13 + 3, 0, 0x67, false},
    {SDL_SCANCODE_F17, VK_F13 + 4, 0, 0x68, false},
    {SDL_SCANCODE_F18, VK_F13 + 5, 0, 0x69, false},
    {SDL_SCANCODE_F19, VK_F13 + 6, 0, 0x6A, false},
    {SDL_SCANCODE_F20, VK_F13 + 7, 0, 0x6B, false},
    {SDL_SCANCODE_F21, VK_F13 + 8, 0, 0x6C, false},
    {SDL_SCANCODE_F22, VK_F13 + 9, 0, 0x6D, false},
    {SDL_SCANCODE_F23, VK_F13 + 10, 0, 0x6E, false},
    {SDL_SCANCODE_F24, VK_F13 + 11, 0, 0x76, false},
    // the keypad: navigation codes with Num Lock off, VK_NUMPADn / VK_DECIMAL with it on
    {SDL_SCANCODE_KP_0, VK_INSERT, VK_NUMPAD0 + 0, 0x52, false},
    {SDL_SCANCODE_KP_1, VK_END, VK_NUMPAD0 + 1, 0x4F, false},
    {SDL_SCANCODE_KP_2, VK_DOWN, VK_NUMPAD0 + 2, 0x50, false},
    {SDL_SCANCODE_KP_3, VK_NEXT, VK_NUMPAD0 + 3, 0x51, false},
    {SDL_SCANCODE_KP_4, VK_LEFT, VK_NUMPAD0 + 4, 0x4B, false},
    {SDL_SCANCODE_KP_5, VK_CLEAR, VK_NUMPAD0 + 5, 0x4C, false},
    {SDL_SCANCODE_KP_6, VK_RIGHT, VK_NUMPAD0 + 6, 0x4D, false},
    {SDL_SCANCODE_KP_7, VK_HOME, VK_NUMPAD0 + 7, 0x47, false},
    {SDL_SCANCODE_KP_8, VK_UP, VK_NUMPAD0 + 8, 0x48, false},
    {SDL_SCANCODE_KP_9, VK_PRIOR, VK_NUMPAD0 + 9, 0x49, false},
    {SDL_SCANCODE_KP_PERIOD, VK_DELETE, VK_DECIMAL, 0x53, false},
    {SDL_SCANCODE_KP_DIVIDE, VK_DIVIDE, 0, 0x35, true},
    {SDL_SCANCODE_KP_MULTIPLY, VK_MULTIPLY, 0, 0x37, false},
    {SDL_SCANCODE_KP_MINUS, VK_SUBTRACT, 0, 0x4A, false},
    {SDL_SCANCODE_KP_PLUS, VK_ADD, 0, 0x4E, false},
    {SDL_SCANCODE_KP_ENTER, VK_RETURN, 0, 0x1C, true},
};

const KeyEntry* findKey(int scancode) {
    for (const KeyEntry& entry : kKeys) {
        if (entry.scancode == scancode) return &entry;
    }
    return nullptr;
}

}  // namespace

std::span<const KeyEntry> keyTable() {
    return kKeys;
}

KeyCode translateKey(int scancode, int keycode, bool numLock) {
    KeyCode key;
    const KeyEntry* entry = findKey(scancode);
    if (entry != nullptr) {
        key.vk = numLock && entry->vkNumLock != 0 ? entry->vkNumLock : entry->vk;
        key.scan = entry->scan;
        key.extended = entry->extended;
    }
    // A key that types a letter in the current layout is that letter's VK wherever it sits.
    if (keycode >= SDLK_a && keycode <= SDLK_z)
        key.vk = static_cast<WPARAM>(keycode - SDLK_a) + 'A';
    return key;
}

}  // namespace win::sdl
