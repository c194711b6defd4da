// What the core files (window.cpp, queue.cpp, display.cpp, error.cpp) offer one
// another and the back ends: window lookups by handle, the queue's internal entry,
// the error line and the resets. Not part of Win32; the viewer never includes it.
#pragma once

#include <string>

#include "win/win32.h"

namespace win {

// ---- window registry (window.cpp) ----
struct ClientSize {
    int width = 0;  // pixels; 0 × 0 while minimised, as Win32 reports it
    int height = 0;
};

// The procedure of a live window, or null for a stale or garbage handle.
WNDPROC windowProcOf(HWND hWnd);
bool clientSizeOf(HWND hWnd, ClientSize* size);

// A back end reports a new client size: the record follows it and WM_SIZE is posted,
// as Win32 posts it after a user's resize.
void noteClientSize(HWND hWnd, int width, int height, WPARAM sizeType);

// ---- queue (queue.cpp) ----
// Appends to the one queue without checking the handle (back ends post only for
// windows they know).
void enqueue(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// ---- error line (error.cpp) ----
void setLastErrorText(std::string text);

// ---- resets, for the headless back end between tests ----
void resetWindows();
void resetQueue();
void resetErrors();
void resetPresents();

}  // namespace win
