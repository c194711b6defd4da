// The SDL2 back end's window calls (win/backend.h): one resizable SDL window per HWND,
// opened by video_start.cpp, presenting through the GPU where the driver is one
// (gpu_present.h) and otherwise through the window's shared-memory surface
// (surface_present.h). Events are events.cpp's; window rules live in the core.
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

#include "win/backend.h"
#include "win/core.h"
#include "win/sdl/gpu_present.h"
#include "win/sdl/native_window.h"
#include "win/sdl/surface_present.h"
#include "win/sdl/video_start.h"
#include "win/sdl/wayland_loss.h"
#include "win/sdl/x11_frame.h"

namespace win::backend {
namespace {

using sdl::NativeWindow;

WPARAM sizeTypeOfShow(int nCmdShow) {
    if (nCmdShow == SW_SHOWMINIMIZED || nCmdShow == SW_MINIMIZE) return SIZE_MINIMIZED;
    return nCmdShow == SW_SHOWMAXIMIZED ? SIZE_MAXIMIZED : SIZE_RESTORED;
}

// The GPU present of a window, while it has one. False once it failed: the window is on
// the shared-memory path from then on, and the caller shows this same frame there.
bool presentedThroughGpu(NativeWindow& native, const std::uint32_t* pixels, int width, int height,
                         const FrameChange& change, bool paced, bool* waited) {
    if (native.gpu == nullptr) return false;
    if (sdl::presentThroughGpu(*native.gpu, pixels, width, height, change, paced, native.pacing,
                               waited)) {
        return true;
    }
    sdl::closeGpuPresent(native.gpu);
    native.gpu = nullptr;
    switchToDeadlines(native.pacing);  // the renderer, and its vsync, are gone
    return false;
}

// SDL marks a window's surface stale as it queues the size change, and frees its memory
// at the next SDL_GetWindowSurface: lent pixels are taken back here, while they are
// still there. The watch of the window `userdata` names; SDL calls it as it queues.
int takeBackOnResize(void* userdata, SDL_Event* event) {
    if (event->type != SDL_WINDOWEVENT || (event->window.event != SDL_WINDOWEVENT_SIZE_CHANGED &&
                                           event->window.event != SDL_WINDOWEVENT_RESIZED)) {
        return 0;
    }
    NativeWindow* native = sdl::nativeWindowOf(static_cast<HWND>(userdata));
    if (native != nullptr && SDL_GetWindowID(native->window) == event->window.windowID) {
        sdl::takeBackLoan(native->surface);
    }
    return 0;
}

}  // namespace

bool createWindow(HWND hWnd, const std::string& titleUtf8, int x, int y, int width, int height) {
    // What the libraries print meanwhile (Xlib's refusals, libdecor's missing plugins)
    // is passed on unchanged once the window has shown it can take frames; a failure
    // prints only its one line.
    std::string libraryOutput;
    if (!sdl::startVideo(&libraryOutput)) return false;
    NativeWindow native;
    if (!sdl::openNativeWindow(titleUtf8, x, y, width, height, &native, &libraryOutput)) {
        sdl::stopVideoIfIdle();
        return false;
    }
    // CreateWindowExW's size is the outer box: where the window manager says how wide
    // its frame will be, the client is made smaller now, before the window is mapped,
    // so that no later resize changes what WM_SIZE said.
    FrameExtents frame;
    if (sdl::frameExtentsBeforeMapping(native.window, &frame)) {
        noteFrameExtents(hWnd, frame);
        const ClientSize client = clientOfOuter(width, height, frame);
        SDL_SetWindowSize(native.window, std::max(client.width, 1), std::max(client.height, 1));
    }
    if (classCursorOf(hWnd) != nullptr) sdl::showArrowCursor();
    if (!libraryOutput.empty()) std::fputs(libraryOutput.c_str(), stderr);
    setRefreshRate(native.pacing, sdl::refreshRateOf(native.window));
    native.reported = sdl::pixelSizeOf(native);
    sdl::keepNativeWindow(hWnd, std::move(native));
    SDL_AddEventWatch(takeBackOnResize, hWnd);
    return true;
}

void windowCreated(HWND) {}

void showWindow(HWND hWnd, int nCmdShow, ClientSize* client) {
    NativeWindow* native = sdl::nativeWindowOf(hWnd);
    if (native == nullptr) return;
    if (nCmdShow == SW_HIDE) {
        SDL_HideWindow(native->window);
    } else {
        SDL_ShowWindow(native->window);
    }
    switch (nCmdShow) {
        case SW_SHOWMINIMIZED:
        case SW_MINIMIZE: SDL_MinimizeWindow(native->window); break;
        case SW_SHOWMAXIMIZED: SDL_MaximizeWindow(native->window); break;
        case SW_RESTORE: SDL_RestoreWindow(native->window); break;
        default: break;
    }
    const WPARAM type = sizeTypeOfShow(nCmdShow);
    const ClientSize size = type == SIZE_MINIMIZED ? ClientSize{} : sdl::pixelSizeOf(*native);
    // ShowWindow sends this WM_SIZE itself; later SDL events repeating it are dropped.
    native->reported = size;
    native->reportedType = type;
    if (type != SIZE_MINIMIZED) *client = size;
}

void destroyWindow(HWND hWnd) {
    NativeWindow* native = sdl::nativeWindowOf(hWnd);
    if (native == nullptr) return;
    SDL_DelEventWatch(takeBackOnResize, hWnd);
    sdl::takeBackLoan(native->surface);
    sdl::closeGpuPresent(native->gpu);
    SDL_DestroyWindow(native->window);  // frees the window's surface too
    sdl::forgetNativeWindow(hWnd);
    sdl::stopVideoIfIdle();
}

// The frame is uploaded or stretched into the window's surface here and now, so it is
// not held; where the surface stores it as it is, the surface's pixels are lent for the
// next frame instead. A GPU present that fails gives way to the surface for good, with this same
// frame, so nothing is lost but the GPU.
PresentResult present(HWND hWnd, const SharedPixels& pixels, int width, int height, int clientWidth,
                      int clientHeight, bool paced, const FrameChange& change) {
    NativeWindow* native = sdl::nativeWindowOf(hWnd);
    if (native == nullptr) return {};
    PresentResult result;
    result.ok = true;
    result.immediate = !paced;
    FrameChange shown = change;
    if (native->showAll) shown.all = true;
    // Until this present has shown its frame, the client holds no frame to build on.
    native->showAll = true;
    // Minimised, or the compositor gone (a swap can spin on the broken connection as the
    // pump does): nothing to draw, still paced.
    if (clientWidth == 0 || clientHeight == 0 || sdl::quitIfCompositorLost()) {
        result.waited = paced && waitForDeadline(native->pacing);
        // Lent pixels stay lent: nothing was drawn into them.
        const SharedLoan& loan = native->surface.loan;
        if (loan != nullptr && loan->pixels == pixels.get()) result.lent = loan;
        return result;
    }
    if (presentedThroughGpu(*native, pixels.get(), width, height, shown, paced, &result.waited)) {
        result.shown = true;
        native->showAll = false;
        return result;
    }
    if (!sdl::presentThroughSurface(native->window, native->surface, pixels.get(), width, height,
                                    shown, paced, native->pacing, &result.waited, &result.lent)) {
        setLastErrorText(std::string("cannot present: ") + SDL_GetError());
        result.ok = false;
        return result;  // a failure is said by the core, once for each run of them
    }
    result.shown = true;
    native->showAll = false;
    return result;
}

}  // namespace win::backend
