// A window class registered the way a program registers its own: a name, a procedure and
// optionally the cursor over the client. RegisterClassExW's atom, 0 when it refuses.
#pragma once

#include "win/win32.h"

namespace test_support {

inline ATOM registerClass(LPCWSTR name, WNDPROC proc, HCURSOR cursor = nullptr) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = cursor;
    wc.lpszClassName = name;
    return RegisterClassExW(&wc);
}

}  // namespace test_support
