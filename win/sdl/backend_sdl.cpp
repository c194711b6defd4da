// The SDL2 back end: one resizable SDL window and renderer per HWND, SDL events turned
// into posted Win32 messages inside PeekMessageW, and presents through one streaming
// texture stretched over the window and paced to the display. Window rules live in the core.
#include <SDL.h>

#include <chrono>
#include <cstring>
#include <map>
#include <string>

#include "win/backend.h"
#include "win/core.h"
#include "win/pacing.h"
#include "win/sdl/keys.h"

namespace win::backend {
namespace {

// How many paced presents decide whether the renderer's vsync really waits.
constexpr int kVsyncProbeFrames = 8;

struct NativeWindow {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;  // back-buffer sized, recreated only when that changes
    int textureWidth = 0;
    int textureHeight = 0;
    int refreshHz = 60;
    bool rendererHasVsync = false;  // the renderer accepts SDL_RenderSetVSync
    bool vsyncOn = false;           // as last set on the renderer
    int probed = 0;                 // paced presents timed so far
    double probeSeconds = 0.0;      // time spent inside SDL_RenderPresent while probing
    bool vsyncWorks = false;        // concluded once probed reaches kVsyncProbeFrames
    Pacer pacer;                    // deadline pacing where vsync does not wait
    ClientSize reported;            // the size WM_SIZE last carried
    WPARAM reportedType = SIZE_RESTORED;
};

// All mutable state of this file.
struct State {
    bool sdlUp = false;
    std::map<std::uintptr_t, NativeWindow> windows;  // by HWND value
};
State state;

std::uintptr_t key(HWND hWnd) {
    return reinterpret_cast<std::uintptr_t>(hWnd);
}

NativeWindow* find(HWND hWnd) {
    auto it = state.windows.find(key(hWnd));
    return it == state.windows.end() ? nullptr : &it->second;
}

HWND windowOfId(Uint32 id) {
    for (const auto& [handle, native] : state.windows) {
        if (SDL_GetWindowID(native.window) == id) return reinterpret_cast<HWND>(handle);
    }
    // Key events without a window go to the only window there is.
    if (state.windows.size() == 1) return reinterpret_cast<HWND>(state.windows.begin()->first);
    return nullptr;
}

void fail(const std::string& what) {
    setLastErrorText("cannot open a window: " + what + " failed: " + SDL_GetError());
}

void quitIfIdle() {
    if (state.sdlUp && state.windows.empty()) {
        SDL_Quit();
        state.sdlUp = false;
    }
}

int refreshRateOf(SDL_Window* window) {
    SDL_DisplayMode mode;
    const int display = SDL_GetWindowDisplayIndex(window);
    if (display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0 && mode.refresh_rate > 0) {
        return mode.refresh_rate;
    }
    return 60;  // ours: when the display does not say
}

// The client size in pixels (the renderer's output, which is what gets drawn).
ClientSize pixelSizeOf(const NativeWindow& native) {
    ClientSize size;
    if (SDL_GetRendererOutputSize(native.renderer, &size.width, &size.height) != 0) {
        SDL_GetWindowSize(native.window, &size.width, &size.height);
    }
    return size;
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

void onWindowEvent(const SDL_WindowEvent& event, std::map<HWND, bool>& closed) {
    const HWND hWnd = windowOfId(event.windowID);
    NativeWindow* native = find(hWnd);
    if (native == nullptr) return;
    switch (event.event) {
        case SDL_WINDOWEVENT_RESIZED:
        case SDL_WINDOWEVENT_SIZE_CHANGED:
        case SDL_WINDOWEVENT_MAXIMIZED:
        case SDL_WINDOWEVENT_RESTORED:
            if (sizeTypeOf(*native) != SIZE_MINIMIZED) {
                reportSize(hWnd, *native, pixelSizeOf(*native), sizeTypeOf(*native));
            }
            break;
        case SDL_WINDOWEVENT_MINIMIZED:
            reportSize(hWnd, *native, {}, SIZE_MINIMIZED);
            break;
        case SDL_WINDOWEVENT_DISPLAY_CHANGED:
            native->refreshHz = refreshRateOf(native->window);
            break;
        case SDL_WINDOWEVENT_CLOSE:
            // One WM_CLOSE per close request, though SDL may follow it with SDL_QUIT.
            if (!closed[hWnd]) enqueue(hWnd, WM_CLOSE, 0, 0);
            closed[hWnd] = true;
            break;
        default:
            break;
    }
}

void onKeyEvent(const SDL_KeyboardEvent& event) {
    const HWND hWnd = windowOfId(event.windowID);
    if (hWnd == nullptr) return;
    const bool down = event.type == SDL_KEYDOWN;
    const bool numLock = (event.keysym.mod & KMOD_NUM) != 0;
    const sdl::KeyCode code = sdl::translateKey(event.keysym.scancode, event.keysym.sym, numLock);
    enqueue(hWnd, down ? WM_KEYDOWN : WM_KEYUP, code.vk,
            sdl::keyParam(code, down, down && event.repeat != 0));
}

void setVsync(NativeWindow& native, bool on) {
    if (!native.rendererHasVsync || native.vsyncOn == on) return;
    if (SDL_RenderSetVSync(native.renderer, on ? 1 : 0) == 0) native.vsyncOn = on;
}

bool uploadFrame(NativeWindow& native, const std::uint32_t* pixels, int width, int height) {
    if (native.texture == nullptr || native.textureWidth != width ||
        native.textureHeight != height) {
        if (native.texture != nullptr) SDL_DestroyTexture(native.texture);
        // X8R8G8B8 is SDL's RGB888: 32-bit words, the top byte ignored.
        native.texture = SDL_CreateTexture(native.renderer, SDL_PIXELFORMAT_RGB888,
                                           SDL_TEXTUREACCESS_STREAMING, width, height);
        native.textureWidth = native.texture != nullptr ? width : 0;
        native.textureHeight = native.texture != nullptr ? height : 0;
        if (native.texture == nullptr) return false;
        SDL_SetTextureScaleMode(native.texture, SDL_ScaleModeNearest);
        SDL_SetTextureBlendMode(native.texture, SDL_BLENDMODE_NONE);
    }
    void* target = nullptr;
    int pitch = 0;
    if (SDL_LockTexture(native.texture, nullptr, &target, &pitch) != 0) return false;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * sizeof(std::uint32_t);
    for (int y = 0; y < height; ++y) {
        std::memcpy(static_cast<unsigned char*>(target) + static_cast<std::size_t>(y) * pitch,
                    pixels + static_cast<std::size_t>(y) * width, rowBytes);
    }
    SDL_UnlockTexture(native.texture);
    return true;
}

// Vsync is trusted only once it has been seen to wait: Xvfb and some drivers accept
// the setting and then return at once.
void presentPaced(NativeWindow& native) {
    using clock = std::chrono::steady_clock;
    if (native.vsyncOn && native.probed < kVsyncProbeFrames) {
        const auto start = clock::now();
        SDL_RenderPresent(native.renderer);
        native.probeSeconds += std::chrono::duration<double>(clock::now() - start).count();
        if (++native.probed == kVsyncProbeFrames) {
            const double expected = kVsyncProbeFrames / static_cast<double>(native.refreshHz);
            native.vsyncWorks = native.probeSeconds >= 0.5 * expected;
            if (!native.vsyncWorks) {
                setVsync(native, false);
                native.rendererHasVsync = false;  // never again for this window
            }
        }
        return;
    }
    if (!(native.vsyncOn && native.vsyncWorks)) waitForRefresh(native.pacer, native.refreshHz);
    SDL_RenderPresent(native.renderer);
}

}  // namespace

bool createWindow(HWND hWnd, const std::string& titleUtf8, int x, int y, int width, int height) {
    if (!state.sdlUp) {
        if (SDL_Init(SDL_INIT_VIDEO) != 0) {
            fail("SDL_Init");
            SDL_Quit();
            return false;
        }
        state.sdlUp = true;
    }
    NativeWindow native;
    native.window =
        SDL_CreateWindow(titleUtf8.c_str(), x, y, width > 0 ? width : 1, height > 0 ? height : 1,
                         SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
    if (native.window == nullptr) {
        fail("SDL_CreateWindow");
        quitIfIdle();
        return false;
    }
    native.renderer = SDL_CreateRenderer(native.window, -1, SDL_RENDERER_PRESENTVSYNC);
    if (native.renderer == nullptr) {
        native.renderer = SDL_CreateRenderer(native.window, -1, SDL_RENDERER_SOFTWARE);
    }
    if (native.renderer == nullptr) {
        fail("SDL_CreateRenderer");
        SDL_DestroyWindow(native.window);
        quitIfIdle();
        return false;
    }
    SDL_RendererInfo info;
    native.rendererHasVsync = SDL_GetRendererInfo(native.renderer, &info) == 0 &&
                              (info.flags & SDL_RENDERER_PRESENTVSYNC) != 0;
    native.vsyncOn = native.rendererHasVsync;
    native.refreshHz = refreshRateOf(native.window);
    native.reported = {width, height};
    state.windows[key(hWnd)] = native;
    return true;
}

void windowCreated(HWND) {}

void showWindow(HWND hWnd, int nCmdShow, int* clientWidth, int* clientHeight) {
    NativeWindow* native = find(hWnd);
    *clientWidth = *clientHeight = 0;
    if (native == nullptr) return;
    switch (nCmdShow) {
        case SW_HIDE:
            SDL_HideWindow(native->window);
            break;
        case SW_SHOWMINIMIZED:
        case SW_MINIMIZE:
            SDL_ShowWindow(native->window);
            SDL_MinimizeWindow(native->window);
            break;
        case SW_SHOWMAXIMIZED:
            SDL_ShowWindow(native->window);
            SDL_MaximizeWindow(native->window);
            break;
        case SW_RESTORE:
            SDL_ShowWindow(native->window);
            SDL_RestoreWindow(native->window);
            break;
        default:
            SDL_ShowWindow(native->window);
            break;
    }
    const bool minimised = nCmdShow == SW_SHOWMINIMIZED || nCmdShow == SW_MINIMIZE;
    const ClientSize size = minimised ? ClientSize{} : pixelSizeOf(*native);
    // ShowWindow sends this WM_SIZE itself; later SDL events repeating it are dropped.
    native->reported = size;
    native->reportedType = minimised                      ? SIZE_MINIMIZED
                           : nCmdShow == SW_SHOWMAXIMIZED ? SIZE_MAXIMIZED
                                                          : SIZE_RESTORED;
    *clientWidth = size.width;
    *clientHeight = size.height;
}

void destroyWindow(HWND hWnd) {
    NativeWindow* native = find(hWnd);
    if (native == nullptr) return;
    if (native->texture != nullptr) SDL_DestroyTexture(native->texture);
    SDL_DestroyRenderer(native->renderer);
    SDL_DestroyWindow(native->window);
    state.windows.erase(key(hWnd));
    quitIfIdle();  // SDL goes with the last window
}

void pumpEvents() {
    if (!state.sdlUp) return;
    std::map<HWND, bool> closed;  // windows sent WM_CLOSE during this pump
    SDL_Event event;
    while (state.sdlUp && SDL_PollEvent(&event) != 0) {
        switch (event.type) {
            case SDL_WINDOWEVENT:
                onWindowEvent(event.window, closed);
                break;
            case SDL_KEYDOWN:
            case SDL_KEYUP:
                onKeyEvent(event.key);
                break;
            case SDL_QUIT:
                // A quit request (the last window's close button, Ctrl+C) closes every
                // window that has not been asked already.
                for (const auto& [handle, native] : state.windows) {
                    const HWND hWnd = reinterpret_cast<HWND>(handle);
                    if (!closed[hWnd]) enqueue(hWnd, WM_CLOSE, 0, 0);
                    closed[hWnd] = true;
                }
                break;
            default:
                break;
        }
    }
}

bool present(HWND hWnd, const std::uint32_t* pixels, int width, int height, int clientWidth,
             int clientHeight, bool paced) {
    NativeWindow* native = find(hWnd);
    if (native == nullptr) return false;
    if (clientWidth == 0 || clientHeight == 0) {  // minimised: nothing to draw, still paced
        if (paced) waitForRefresh(native->pacer, native->refreshHz);
        return true;
    }
    if (!uploadFrame(*native, pixels, width, height)) {
        setLastErrorText(std::string("cannot present: ") + SDL_GetError());
        return false;
    }
    setVsync(*native, paced);
    // The whole texture over the whole output; nearest scaling samples pixel centres.
    SDL_RenderCopy(native->renderer, native->texture, nullptr, nullptr);
    if (paced) {
        presentPaced(*native);
    } else {
        SDL_RenderPresent(native->renderer);
    }
    return true;
}

}  // namespace win::backend
