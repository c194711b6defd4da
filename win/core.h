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

// The frame a window manager draws around a client: pixels on each side.
struct FrameExtents {
    int left = 0;
    int right = 0;
    int top = 0;
    int bottom = 0;
};

// The client of an outer box, frame included, as CreateWindowExW's size is: the box
// less the frame, never below 0.
ClientSize clientOfOuter(int outerWidth, int outerHeight, const FrameExtents& frame);

// A back end that learns the frame of a window it is creating says so here, from inside
// createWindow; the client CreateWindowExW reports is then the outer size less it.
void noteFrameExtents(HWND hWnd, const FrameExtents& frame);

// The procedure of a live window, or null for a stale or garbage handle.
WNDPROC windowProcOf(HWND hWnd);
bool clientSizeOf(HWND hWnd, ClientSize* size);
// The cursor of the window's class (WNDCLASSEXW::hCursor), shown over its client; null
// when the class has none. LoadCursorW gives only the arrow.
HCURSOR classCursorOf(HWND hWnd);

// A back end reports a new client size: the record follows it and WM_SIZE is posted,
// as Win32 posts it after a user's resize.
void noteClientSize(HWND hWnd, int width, int height, WPARAM sizeType);

// ---- keyboard (keyboard.cpp) ----
// One key press or release as a back end saw it: facts only. The message kind and the
// lParam are made from them here, once, whichever back end saw the key.
struct KeyEvent {
    WPARAM vk = 0;
    BYTE scan = 0;          // the PC set-1 scan code (lParam bits 16-23)
    bool extended = false;  // an E0-prefixed key (bit 24)
    bool down = true;
    bool repeat = false;   // an auto-repeat of a key already down
    bool altDown = false;  // Alt is held as this happens (its own press included)
    bool ctrlDown = false;
};

// WM_KEYDOWN/WM_KEYUP, or WM_SYSKEYDOWN/WM_SYSKEYUP while Alt is held and for F10.
UINT keyMessageOf(const KeyEvent& key);
// The lParam Win32 gives that message: repeat count 1, scan code, extended bit,
// KF_ALTDOWN while Alt is held, the previous state (repeats and releases) and KF_UP.
LPARAM keyParamOf(const KeyEvent& key);
// Posts that message with that lParam.
void noteKey(HWND hWnd, const KeyEvent& key);

// ---- queue (queue.cpp) ----
// Appends to the one queue without checking the handle (back ends post only for
// windows they know).
void enqueue(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// Watches every DefWindowProcW call (tests count what reaches it); null stops watching.
using DefWindowProcWatcher = void (*)(HWND, UINT, WPARAM, LPARAM);
void watchDefWindowProc(DefWindowProcWatcher watcher);

// ---- error line (error.cpp) ----
void setLastErrorText(std::string text);

// ---- resets, for the headless back end between tests ----
void resetWindows();
void resetQueue();
void resetErrors();
void resetPresents();

}  // namespace win
