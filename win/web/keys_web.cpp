// The KeyboardEvent.code → Win32 virtual-key table, as data, and the lookups over it.
// Part of the web back end, compiled without emscripten too so the tests can read it;
// it does not see events or windows.
#include <algorithm>
#include <iterator>

#include "win/web/keys.h"

namespace win::web {
namespace {

struct KeyEntry {
    std::string_view code;  // KeyboardEvent.code
    WPARAM vk;              // with Num Lock off, for the keypad
    WPARAM vkNumLock;       // keypad digits and '.': the code with Num Lock on; 0 elsewhere
    BYTE scan;
    bool extended;
};

// Sorted by code for the binary search below (a test checks the order).
constexpr KeyEntry kKeys[] = {
    {"AltLeft", VK_MENU, 0, 0x38, false},
    {"AltRight", VK_MENU, 0, 0x38, true},
    {"ArrowDown", VK_DOWN, 0, 0x50, true},
    {"ArrowLeft", VK_LEFT, 0, 0x4B, true},
    {"ArrowRight", VK_RIGHT, 0, 0x4D, true},
    {"ArrowUp", VK_UP, 0, 0x48, true},
    {"Backquote", VK_OEM_3, 0, 0x29, false},
    {"Backslash", VK_OEM_5, 0, 0x2B, false},
    {"Backspace", VK_BACK, 0, 0x0E, false},
    {"BracketLeft", VK_OEM_4, 0, 0x1A, false},
    {"BracketRight", VK_OEM_6, 0, 0x1B, false},
    {"CapsLock", VK_CAPITAL, 0, 0x3A, false},
    {"Comma", VK_OEM_COMMA, 0, 0x33, false},
    {"ContextMenu", VK_APPS, 0, 0x5D, true},
    {"ControlLeft", VK_CONTROL, 0, 0x1D, false},
    {"ControlRight", VK_CONTROL, 0, 0x1D, true},
    {"Delete", VK_DELETE, 0, 0x53, true},
    {"Digit0", '0', 0, 0x0B, false},
    {"Digit1", '1', 0, 0x02, false},
    {"Digit2", '2', 0, 0x03, false},
    {"Digit3", '3', 0, 0x04, false},
    {"Digit4", '4', 0, 0x05, false},
    {"Digit5", '5', 0, 0x06, false},
    {"Digit6", '6', 0, 0x07, false},
    {"Digit7", '7', 0, 0x08, false},
    {"Digit8", '8', 0, 0x09, false},
    {"Digit9", '9', 0, 0x0A, false},
    {"End", VK_END, 0, 0x4F, true},
    {"Enter", VK_RETURN, 0, 0x1C, false},
    {"Equal", VK_OEM_PLUS, 0, 0x0D, false},
    {"Escape", VK_ESCAPE, 0, 0x01, false},
    {"F1", VK_F1, 0, 0x3B, false},
    {"F10", VK_F10, 0, 0x44, false},
    {"F11", VK_F11, 0, 0x57, false},
    {"F12", VK_F12, 0, 0x58, false},
    {"F2", VK_F2, 0, 0x3C, false},
    {"F3", VK_F3, 0, 0x3D, false},
    {"F4", VK_F4, 0, 0x3E, false},
    {"F5", VK_F5, 0, 0x3F, false},
    {"F6", VK_F6, 0, 0x40, false},
    {"F7", VK_F7, 0, 0x41, false},
    {"F8", VK_F8, 0, 0x42, false},
    {"F9", VK_F9, 0, 0x43, false},
    {"Home", VK_HOME, 0, 0x47, true},
    {"Insert", VK_INSERT, 0, 0x52, true},
    {"IntlBackslash", VK_OEM_102, 0, 0x56, false},
    {"KeyA", 'A', 0, 0x1E, false},
    {"KeyB", 'B', 0, 0x30, false},
    {"KeyC", 'C', 0, 0x2E, false},
    {"KeyD", 'D', 0, 0x20, false},
    {"KeyE", 'E', 0, 0x12, false},
    {"KeyF", 'F', 0, 0x21, false},
    {"KeyG", 'G', 0, 0x22, false},
    {"KeyH", 'H', 0, 0x23, false},
    {"KeyI", 'I', 0, 0x17, false},
    {"KeyJ", 'J', 0, 0x24, false},
    {"KeyK", 'K', 0, 0x25, false},
    {"KeyL", 'L', 0, 0x26, false},
    {"KeyM", 'M', 0, 0x32, false},
    {"KeyN", 'N', 0, 0x31, false},
    {"KeyO", 'O', 0, 0x18, false},
    {"KeyP", 'P', 0, 0x19, false},
    {"KeyQ", 'Q', 0, 0x10, false},
    {"KeyR", 'R', 0, 0x13, false},
    {"KeyS", 'S', 0, 0x1F, false},
    {"KeyT", 'T', 0, 0x14, false},
    {"KeyU", 'U', 0, 0x16, false},
    {"KeyV", 'V', 0, 0x2F, false},
    {"KeyW", 'W', 0, 0x11, false},
    {"KeyX", 'X', 0, 0x2D, false},
    {"KeyY", 'Y', 0, 0x15, false},
    {"KeyZ", 'Z', 0, 0x2C, false},
    {"MetaLeft", VK_LWIN, 0, 0x5B, true},
    {"MetaRight", VK_RWIN, 0, 0x5C, true},
    {"Minus", VK_OEM_MINUS, 0, 0x0C, false},
    {"NumLock", VK_NUMLOCK, 0, 0x45, true},
    {"Numpad0", VK_INSERT, VK_NUMPAD0, 0x52, false},
    {"Numpad1", VK_END, VK_NUMPAD0 + 1, 0x4F, false},
    {"Numpad2", VK_DOWN, VK_NUMPAD0 + 2, 0x50, false},
    {"Numpad3", VK_NEXT, VK_NUMPAD0 + 3, 0x51, false},
    {"Numpad4", VK_LEFT, VK_NUMPAD0 + 4, 0x4B, false},
    {"Numpad5", VK_CLEAR, VK_NUMPAD0 + 5, 0x4C, false},
    {"Numpad6", VK_RIGHT, VK_NUMPAD0 + 6, 0x4D, false},
    {"Numpad7", VK_HOME, VK_NUMPAD0 + 7, 0x47, false},
    {"Numpad8", VK_UP, VK_NUMPAD0 + 8, 0x48, false},
    {"Numpad9", VK_PRIOR, VK_NUMPAD0 + 9, 0x49, false},
    {"NumpadAdd", VK_ADD, 0, 0x4E, false},
    {"NumpadDecimal", VK_DELETE, VK_DECIMAL, 0x53, false},
    {"NumpadDivide", VK_DIVIDE, 0, 0x35, true},
    {"NumpadEnter", VK_RETURN, 0, 0x1C, true},
    {"NumpadMultiply", VK_MULTIPLY, 0, 0x37, false},
    {"NumpadSubtract", VK_SUBTRACT, 0, 0x4A, false},
    {"PageDown", VK_NEXT, 0, 0x51, true},
    {"PageUp", VK_PRIOR, 0, 0x49, true},
    {"Pause", VK_PAUSE, 0, 0x45, false},
    {"Period", VK_OEM_PERIOD, 0, 0x34, false},
    {"PrintScreen", VK_SNAPSHOT, 0, 0x37, true},
    {"Quote", VK_OEM_7, 0, 0x28, false},
    {"ScrollLock", VK_SCROLL, 0, 0x46, false},
    {"Semicolon", VK_OEM_1, 0, 0x27, false},
    {"ShiftLeft", VK_SHIFT, 0, 0x2A, false},
    {"ShiftRight", VK_SHIFT, 0, 0x36, false},
    {"Slash", VK_OEM_2, 0, 0x35, false},
    {"Space", VK_SPACE, 0, 0x39, false},
    {"Tab", VK_TAB, 0, 0x0F, false},
};

}  // namespace

bool keyTableSorted() {
    return std::is_sorted(std::begin(kKeys), std::end(kKeys),
                          [](const KeyEntry& a, const KeyEntry& b) { return a.code < b.code; });
}

KeyCode translateKey(std::string_view code, bool numLock) {
    const auto* it =
        std::lower_bound(std::begin(kKeys), std::end(kKeys), code,
                         [](const KeyEntry& entry, std::string_view c) { return entry.code < c; });
    if (it == std::end(kKeys) || it->code != code) return {};
    return {numLock && it->vkNumLock != 0 ? it->vkNumLock : it->vk, it->scan, it->extended};
}

}  // namespace win::web
