// Which message a key press or release becomes, by the Win32 rule: back ends report
// what the keyboard did (win::noteKey) and the core posts WM_KEYDOWN/WM_KEYUP or their
// system twins. Does not translate native key codes; that is each back end's table.
#include "win/core.h"

namespace win {

UINT keyMessageOf(const KeyEvent& key) {
    // Alt held turns a key into a system key, unless Ctrl is held too (AltGr, which
    // types characters); F10 is a system key on its own, as the menu key.
    const bool system = (key.altDown && !key.ctrlDown) || key.vk == VK_F10;
    if (key.down) return system ? WM_SYSKEYDOWN : WM_KEYDOWN;
    return system ? WM_SYSKEYUP : WM_KEYUP;
}

void noteKey(HWND hWnd, const KeyEvent& key) {
    LPARAM lParam = key.lParam & ~(LPARAM{KF_ALTDOWN} << 16);
    if (key.altDown) lParam |= LPARAM{KF_ALTDOWN} << 16;
    enqueue(hWnd, keyMessageOf(key), key.vk, lParam);
}

}  // namespace win
