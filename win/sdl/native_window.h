// The SDL back end's windows, by HWND: what each native window carries from call to
// call (its SDL window, its present path, its pacing, the size WM_SIZE last said).
// Shared by the back end's files; the Win32 window records themselves are the core's.
#pragma once

#include <SDL.h>

#include <vector>

#include "win/core.h"
#include "win/pacing.h"
#include "win/sdl/surface_present.h"
#include "win/win32.h"

namespace win::sdl {

struct GpuPresent;

struct NativeWindow {
    SDL_Window* window = nullptr;
    GpuPresent* gpu = nullptr;  // null on the shared-memory path, for good once so
    Pacing pacing;              // the one pace of every present of the window, either path
    SurfaceStretch surface;
    ClientSize reported;  // the size WM_SIZE last carried
    WPARAM reportedType = SIZE_RESTORED;
    // The client may not show the last frame presented (never shown, exposed, resized,
    // restored, or a present skipped or failed): the next present draws all of it.
    bool showAll = true;
};

// Null for a handle this back end holds no window for.
NativeWindow* nativeWindowOf(HWND hWnd);
// The window of an SDL window id; events without one go to the only window there is.
HWND windowOfId(Uint32 windowId);
std::vector<HWND> nativeWindowHandles();
bool noNativeWindows();
// The SDL window of the first window there is, null when there is none.
SDL_Window* firstSdlWindow();
void keepNativeWindow(HWND hWnd, NativeWindow native);
void forgetNativeWindow(HWND hWnd);

// The window kept last and whether its frames go (or, once it is gone, went last)
// through the GPU: the present path the test builds report (win/sdl/testing.h).
struct NewestWindow {
    bool opened = false;  // false before any window
    bool gpu = false;
};
NewestWindow newestWindow();

// The client size in pixels, which is what the window's surface or renderer holds.
ClientSize pixelSizeOf(const NativeWindow& native);
// The refresh rate of the display the window is on, in Hz; 0 when it does not say.
int refreshRateOf(SDL_Window* window);

}  // namespace win::sdl
