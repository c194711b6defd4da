// Which message a key press or release becomes and the lParam it carries, by the Win32
// rules: back ends report what the keyboard did (win::noteKey) and the core posts
// WM_KEYDOWN/WM_KEYUP or their system twins. Every back end's keys go through here, so
// the three cannot drift apart. Native key codes are each back end's table.
#include "win/core.h"

namespace win {

UINT keyMessageOf(const KeyEvent& key) {
    // Alt held turns a key into a system key, unless Ctrl is held too (AltGr, which
    // types characters); F10 is a system key on its own, as the menu key.
    const bool system = (key.altDown && !key.ctrlDown) || key.vk == VK_F10;
    if (key.down) return system ? WM_SYSKEYDOWN : WM_KEYDOWN;
    return system ? WM_SYSKEYUP : WM_KEYUP;
}

LPARAM keyParamOf(const KeyEvent& key) {
    // Repeat count 1: every back end reports each auto-repeat as its own event.
    WORD flags = key.scan;
    if (key.extended) flags |= KF_EXTENDED;
    if (key.altDown) flags |= KF_ALTDOWN;
    // The previous state: down before a repeat, and always down before a release.
    if (key.repeat || !key.down) flags |= KF_REPEAT;
    if (!key.down) flags |= KF_UP;
    return 1 | (static_cast<LPARAM>(flags) << 16);
}

void noteKey(HWND hWnd, const KeyEvent& key) {
    enqueue(hWnd, keyMessageOf(key), key.vk, keyParamOf(key));
}

}  // namespace win
