// The shell's own functions besides WinMain (declared with the Win32 subset): the
// window procedure and its key-down branch.
#pragma once

#include "win/win32.h"

LRESULT CALLBACK mainWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// Moves the camera or switches a render state for one WM_KEYDOWN (repeats included).
void handleKeyDown(WPARAM wParam);
