// SDL events to Win32 messages, inside PeekMessageW (win::backend::pumpEvents): size
// and state changes become WM_SIZE, close requests WM_CLOSE, keys WM_KEYDOWN/WM_KEYUP
// (or their system twins with Alt, by the core's rule) through the table of keys_sdl.cpp. Posts
// only; the core dispatches.
#include <SDL.h>

#include <map>

#include "win/backend.h"
#include "win/core.h"
#include "win/sdl/keys.h"
#include "win/sdl/native_window.h"
#include "win/sdl/video_start.h"
#include "win/sdl/wayland_loss.h"

namespace win::backend {
namespace {

using sdl::NativeWindow;

// Windows sent WM_CLOSE during one pump: SDL may follow a close request with SDL_QUIT.
using ClosedThisPump = std::map<HWND, bool>;

void postCloseOnce(HWND hWnd, ClosedThisPump& closed) {
    if (!closed[hWnd]) enqueue(hWnd, WM_CLOSE, 0, 0);
    closed[hWnd] = true;
}

// Win32 sends WM_SIZE when the size or the state changes; SDL repeats itself (RESIZED
// and SIZE_CHANGED for one drag), so duplicates are dropped here.
void reportSize(HWND hWnd, NativeWindow& native, ClientSize size, WPARAM type) {
    if (size.width == native.reported.width && size.height == native.reported.height &&
        type == native.reportedType) {
        return;
    }
    native.reported = size;
    native.reportedType = type;
    noteClientSize(hWnd, size.width, size.height, type);
}

WPARAM sizeTypeOf(const NativeWindow& native) {
    const Uint32 flags = SDL_GetWindowFlags(native.window);
    if ((flags & SDL_WINDOW_MINIMIZED) != 0) return SIZE_MINIMIZED;
    return (flags & SDL_WINDOW_MAXIMIZED) != 0 ? SIZE_MAXIMIZED : SIZE_RESTORED;
}

void onWindowEvent(const SDL_WindowEvent& event, ClosedThisPump& closed) {
    const HWND hWnd = sdl::windowOfId(event.windowID);
    NativeWindow* native = sdl::nativeWindowOf(hWnd);
    if (native == nullptr) return;
    switch (event.event) {
        // The display lost what it showed there, or shows it at another size: presents
        // only of what changed would leave the rest stale.
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_SHOWN: native->showAll = true; break;
        case SDL_WINDOWEVENT_RESIZED:
        case SDL_WINDOWEVENT_SIZE_CHANGED:
        case SDL_WINDOWEVENT_MAXIMIZED:
        case SDL_WINDOWEVENT_RESTORED:
            native->showAll = true;
            if (sizeTypeOf(*native) != SIZE_MINIMIZED) {
                reportSize(hWnd, *native, sdl::pixelSizeOf(*native), sizeTypeOf(*native));
            }
            break;
        case SDL_WINDOWEVENT_MINIMIZED: reportSize(hWnd, *native, {}, SIZE_MINIMIZED); break;
        case SDL_WINDOWEVENT_DISPLAY_CHANGED:
            setRefreshRate(native->pacing, sdl::refreshRateOf(native->window));
            break;
        case SDL_WINDOWEVENT_CLOSE: postCloseOnce(hWnd, closed); break;
        default: break;
    }
}

void onKeyEvent(const SDL_KeyboardEvent& event) {
    const HWND hWnd = sdl::windowOfId(event.windowID);
    if (hWnd == nullptr) return;
    const bool down = event.type == SDL_KEYDOWN;
    const bool numLock = (event.keysym.mod & KMOD_NUM) != 0;
    const sdl::KeyCode code = sdl::translateKey(event.keysym.scancode, event.keysym.sym, numLock);
    KeyEvent key;
    key.vk = code.vk;
    key.scan = code.scan;
    key.extended = code.extended;
    key.down = down;
    key.repeat = down && event.repeat != 0;
    // SDL's modifier state already counts the key of this event (Alt's own press).
    key.altDown = (event.keysym.mod & KMOD_ALT) != 0;
    key.ctrlDown = (event.keysym.mod & KMOD_CTRL) != 0;
    noteKey(hWnd, key);
}

// A quit request (the last window's close button, Ctrl+C) closes every window that has
// not been asked already. A lost compositor also arrives as SDL_QUIT: that is no request.
void onQuit(ClosedThisPump& closed) {
    if (sdl::waylandConnectionError() != 0) return;
    for (const HWND hWnd : sdl::nativeWindowHandles()) postCloseOnce(hWnd, closed);
}

}  // namespace

// One pump, then the queue drained without pumping (SDL_PollEvent pumps on every call): a
// pump that finds the connection broken must be the last.
void pumpEvents() {
    if (!sdl::videoRunning() || sdl::quitIfCompositorLost()) return;
    SDL_PumpEvents();
    ClosedThisPump closed;
    SDL_Event event;
    while (sdl::videoRunning() &&
           SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) {
        switch (event.type) {
            case SDL_WINDOWEVENT: onWindowEvent(event.window, closed); break;
            case SDL_KEYDOWN:
            case SDL_KEYUP: onKeyEvent(event.key); break;
            case SDL_QUIT: onQuit(closed); break;
            default: break;
        }
    }
    // A loss this pump found is said by the present that follows, or by the next pump.
}

}  // namespace win::backend
