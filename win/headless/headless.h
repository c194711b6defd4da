// Controls of the headless back end, for tests, tools and benchmarks: no display,
// messages posted by the caller, presented frames kept in memory.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "win/win32.h"

namespace win::headless {

struct Frame {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // X8R8G8B8 as presented, row-major
};

struct Hooks {
    // Runs inside CreateWindowExW once the window exists, before it returns.
    std::function<void(HWND)> onWindowCreated;
    // Runs after every present, with the number of presents so far (1 for the first).
    std::function<void(HWND, int)> onPresent;
};

// Forgets every window, class, queued message, hook and kept frame, and restores
// the defaults (client 800 × 600, pacing off, window creation and presents succeeding).
void reset();
void setHooks(Hooks hooks);

// Changes the client size of hWnd and posts WM_SIZE with it, as a user's resize does
// (0 × 0 with SIZE_MINIMIZED, as minimising does). New windows start with a client of
// the size CreateWindowExW was given less the frame (setFrame).
void setClientSize(HWND hWnd, int width, int height);

// The frame a window manager would draw around the windows created from now on, in
// pixels on each side; none by default, as where no window manager says its size.
void setFrame(int left, int top, int right, int bottom);

// Posts what pressing (down) or releasing a key posts, with Alt and Ctrl held or not:
// WM_KEYDOWN/WM_KEYUP, or the system twins (see win/core.h's keyMessageOf).
void pressKey(HWND hWnd, WPARAM vk, bool down, bool altDown = false, bool ctrlDown = false);

// Every DefWindowProcW call since the last reset, in order: what reached it.
const std::vector<MSG>& defWindowProcCalls();

// Off by default: tests run unpaced. refreshHz ≤ 0 means the default rate of win/pacing.h.
void setPacing(bool paced, int refreshHz = 0);
void failNextWindowCreation(const char* reason);   // the next CreateWindowExW returns NULL
void failPresents(int count, const char* reason);  // the next `count` presents fail

int presentCount();
const Frame& lastFrame();       // the frame of the latest present, stretched to the client size
const Frame& lastBackBuffer();  // the same present before stretching

// Where the latest present said its frame differs from the one before (win/display.h's
// FrameChange, kept): all of it, or only inside these rectangles of frame pixels.
struct Change {
    bool all = true;
    std::vector<RECT> rects;
};
const Change& lastChange();

}  // namespace win::headless
