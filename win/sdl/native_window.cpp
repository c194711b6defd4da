// The registry of native windows by HWND value, and what SDL says about one of them
// (pixel size, refresh rate). Opening and closing them is backend_sdl.cpp's.
#include "win/sdl/native_window.h"

#include <cstdint>
#include <map>
#include <utility>

#include "win/sdl/gpu_present.h"

namespace win::sdl {
namespace {

// All state of this file: the windows by HWND value, and the newest one.
std::map<std::uintptr_t, NativeWindow> windows;
HWND newest = nullptr;
NewestWindow newestGone;  // the newest window's path once it is gone

std::uintptr_t key(HWND hWnd) {
    return reinterpret_cast<std::uintptr_t>(hWnd);
}

}  // namespace

NativeWindow* nativeWindowOf(HWND hWnd) {
    auto it = windows.find(key(hWnd));
    return it == windows.end() ? nullptr : &it->second;
}

HWND windowOfId(Uint32 windowId) {
    for (const auto& [handle, native] : windows) {
        if (SDL_GetWindowID(native.window) == windowId) return reinterpret_cast<HWND>(handle);
    }
    // Key events without a window go to the only window there is.
    if (windows.size() == 1) return reinterpret_cast<HWND>(windows.begin()->first);
    return nullptr;
}

std::vector<HWND> nativeWindowHandles() {
    std::vector<HWND> handles;
    handles.reserve(windows.size());
    for (const auto& entry : windows) handles.push_back(reinterpret_cast<HWND>(entry.first));
    return handles;
}

bool noNativeWindows() {
    return windows.empty();
}

SDL_Window* firstSdlWindow() {
    return windows.empty() ? nullptr : windows.begin()->second.window;
}

void keepNativeWindow(HWND hWnd, NativeWindow native) {
    windows[key(hWnd)] = std::move(native);
    newest = hWnd;
}

void forgetNativeWindow(HWND hWnd) {
    if (hWnd == newest) newestGone = newestWindow();
    windows.erase(key(hWnd));
}

NewestWindow newestWindow() {
    const NativeWindow* native = nativeWindowOf(newest);
    return native != nullptr ? NewestWindow{true, native->gpu != nullptr} : newestGone;
}

ClientSize pixelSizeOf(const NativeWindow& native) {
    ClientSize size;
    if (native.gpu == nullptr || !outputSizeOf(*native.gpu, &size.width, &size.height)) {
        SDL_GetWindowSizeInPixels(native.window, &size.width, &size.height);
    }
    return size;
}

int refreshRateOf(SDL_Window* window) {
    SDL_DisplayMode mode;
    const int display = SDL_GetWindowDisplayIndex(window);
    if (display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0 && mode.refresh_rate > 0) {
        return mode.refresh_rate;
    }
    return 0;
}

}  // namespace win::sdl
