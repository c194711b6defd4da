// The SDL2 back end: one resizable SDL window and renderer per HWND, SDL events turned
// into posted Win32 messages inside PeekMessageW, and presents through one streaming
// texture stretched over the window and paced to the display. Window rules live in the core.
#include <SDL.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
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
constexpr int kVsyncWarmUp = 3;
constexpr int kVsyncProbeFrames = 8;

struct NativeWindow {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;  // back buffer + 1 spare texel each way; kept while that fits
    int textureWidth = 0;
    int textureHeight = 0;
    int refreshHz = 60;
    bool software = false;  // SDL's software renderer: no float texture coordinates to nudge
    bool rendererHasVsync = false;  // the renderer accepts SDL_RenderSetVSync
    bool vsyncOn = false;           // as last set on the renderer
    int probed = 0;                 // paced presents with vsync on so far
    int probeFull = 0;              // probed presents a near-full period after the previous
    double probeInside = 0.0;       // seconds inside SDL_RenderPresent while probing
    double probeTotal = 0.0;        // seconds between probed presents
    std::chrono::steady_clock::time_point lastPresent{};
    bool vsyncWorks = false;  // concluded once probed reaches kVsyncProbeFrames
    Pacer pacer;              // deadline pacing where vsync does not wait
    ClientSize reported;      // the size WM_SIZE last carried
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

// Xlib prints an X server's refusal ("Authorization required, …") to stderr itself. While
// SDL opens the display that text goes to a temporary file instead: on failure it becomes
// part of our one line, on success it is passed on to stderr unchanged.
struct StderrCapture {
    std::FILE* file = nullptr;
    int saved = -1;  // the real stderr while captured
};

StderrCapture captureStderr() {
    StderrCapture capture;
    std::fflush(stderr);
    capture.file = std::tmpfile();
    if (capture.file == nullptr) return capture;
    capture.saved = dup(2);
    if (capture.saved < 0 || dup2(fileno(capture.file), 2) < 0) {
        if (capture.saved >= 0) close(capture.saved);
        capture.saved = -1;
    }
    return capture;
}

std::string releaseStderr(StderrCapture& capture) {
    std::string text;
    std::fflush(stderr);
    if (capture.saved >= 0) {
        dup2(capture.saved, 2);
        close(capture.saved);
    }
    if (capture.file != nullptr) {
        std::rewind(capture.file);
        char buffer[512];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof(buffer), capture.file)) > 0)
            text.append(buffer, n);
        std::fclose(capture.file);
    }
    capture = StderrCapture{};
    return text;
}

// The first non-empty line of text, without its line break.
std::string firstLine(const std::string& text) {
    const std::size_t start = text.find_first_not_of("\r\n");
    if (start == std::string::npos) return "";
    return text.substr(start, text.find_first_of("\r\n", start) - start);
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
        case SDL_WINDOWEVENT_MINIMIZED: reportSize(hWnd, *native, {}, SIZE_MINIMIZED); break;
        case SDL_WINDOWEVENT_DISPLAY_CHANGED:
            native->refreshHz = refreshRateOf(native->window);
            break;
        case SDL_WINDOWEVENT_CLOSE:
            // One WM_CLOSE per close request, though SDL may follow it with SDL_QUIT.
            if (!closed[hWnd]) enqueue(hWnd, WM_CLOSE, 0, 0);
            closed[hWnd] = true;
            break;
        default: break;
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

// The texture holds the frame plus one spare column and row (copies of the last ones):
// room for drawStretched's texture coordinates to stay inside [0, 1]. Recreated only
// when the frame size changes.
bool uploadFrame(NativeWindow& native, const std::uint32_t* pixels, int width, int height) {
    if (native.texture == nullptr || native.textureWidth != width ||
        native.textureHeight != height) {
        if (native.texture != nullptr) SDL_DestroyTexture(native.texture);
        // X8R8G8B8 is SDL's RGB888: 32-bit words, the top byte ignored.
        native.texture = SDL_CreateTexture(native.renderer, SDL_PIXELFORMAT_RGB888,
                                           SDL_TEXTUREACCESS_STREAMING, width + 1, height + 1);
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
    for (int y = 0; y <= height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(static_cast<unsigned char*>(target) +
                                                     static_cast<std::size_t>(y) * pitch);
        const std::uint32_t* source =
            pixels + static_cast<std::size_t>(y < height ? y : height - 1) * width;
        std::memcpy(row, source, rowBytes);
        row[width] = source[width - 1];
    }
    SDL_UnlockTexture(native.texture);
    return true;
}

// The frame over the whole output, sampled at pixel centres. A plain SDL_RenderCopy
// does that too, except where a centre falls exactly on a texel edge: the GPU's float
// arithmetic then picks either side, while the rule (floor) takes the texel after the
// edge. Centres sit k / (2 · out) texels from an edge, so coordinates pushed forward by
// a quarter of that settle every tie the same way and move no other sample.
void drawStretched(NativeWindow& native, int width, int height) {
    int outW = 0;
    int outH = 0;
    if (SDL_GetRendererOutputSize(native.renderer, &outW, &outH) != 0 || outW <= 0 || outH <= 0) {
        return;
    }
    const SDL_Rect frame{0, 0, width, height};
    // The software renderer steps in 16.16 fixed point, so a few columns land one texel
    // off the rule; its geometry path is no closer. It is only the fallback.
    if (native.software) {
        SDL_RenderCopy(native.renderer, native.texture, &frame, nullptr);
        return;
    }
    const double texW = width + 1.0;  // the texture's size, spare texels included
    const double texH = height + 1.0;
    const auto u0 = static_cast<float>(1.0 / (4.0 * outW) / texW);
    const auto v0 = static_cast<float>(1.0 / (4.0 * outH) / texH);
    const auto u1 = static_cast<float>(width / texW + 1.0 / (4.0 * outW) / texW);
    const auto v1 = static_cast<float>(height / texH + 1.0 / (4.0 * outH) / texH);
    const auto x1 = static_cast<float>(outW);
    const auto y1 = static_cast<float>(outH);
    const SDL_Color white{255, 255, 255, 255};
    const SDL_Vertex corners[4] = {
        {{0.0f, 0.0f}, white, {u0, v0}},
        {{x1, 0.0f}, white, {u1, v0}},
        {{x1, y1}, white, {u1, v1}},
        {{0.0f, y1}, white, {u0, v1}},
    };
    static constexpr int kIndices[6] = {0, 1, 2, 0, 2, 3};
    if (SDL_RenderGeometry(native.renderer, native.texture, corners, 4, kIndices, 6) != 0) {
        // nearest, ties aside
        SDL_RenderCopy(native.renderer, native.texture, &frame, nullptr);
    }
}

// Vsync is trusted only once it has been seen to wait: Xvfb and some drivers accept
// the setting and then return at once. The first presents (driver warm-up) are not
// counted; of the next ones most must come a near-full period apart with the wait
// inside SDL_RenderPresent. A wrong "no" costs nothing (deadline pacing takes over).
void presentPaced(NativeWindow& native) {
    using clock = std::chrono::steady_clock;
    if (!(native.vsyncOn && native.probed < kVsyncWarmUp + kVsyncProbeFrames)) {
        if (!(native.vsyncOn && native.vsyncWorks)) waitForRefresh(native.pacer, native.refreshHz);
        SDL_RenderPresent(native.renderer);
        return;
    }
    const auto start = clock::now();
    SDL_RenderPresent(native.renderer);
    const auto end = clock::now();
    if (native.probed++ >= kVsyncWarmUp) {
        const double period = 1.0 / native.refreshHz;
        const double interval = std::chrono::duration<double>(end - native.lastPresent).count();
        native.probeInside += std::chrono::duration<double>(end - start).count();
        native.probeTotal += interval;
        if (interval >= 0.75 * period) ++native.probeFull;
    }
    native.lastPresent = end;
    if (native.probed == kVsyncWarmUp + kVsyncProbeFrames) {
        native.vsyncWorks = native.probeFull >= kVsyncProbeFrames * 3 / 4 &&
                            native.probeInside >= 0.2 * native.probeTotal;
        if (!native.vsyncWorks) {
            setVsync(native, false);
            native.rendererHasVsync = false;  // never again for this window
        }
    }
}

}  // namespace

bool createWindow(HWND hWnd, const std::string& titleUtf8, int x, int y, int width, int height) {
    if (!state.sdlUp) {
        // Ours: only drivers with a screen. SDL would otherwise fall back to its
        // offscreen driver and "open" a window nobody can see. Wayland is tried only
        // where a compositor is announced: its library writes to stderr when it fails.
        // SDL_VIDEODRIVER still wins over this list.
        const bool wayland = std::getenv("WAYLAND_DISPLAY") != nullptr;
        SDL_SetHint(SDL_HINT_VIDEODRIVER, wayland ? "x11,wayland,KMSDRM" : "x11,KMSDRM");
        StderrCapture capture = captureStderr();
        const bool up = SDL_Init(SDL_INIT_VIDEO) == 0;
        const std::string printed = releaseStderr(capture);
        if (!up) {
            std::string reason = std::string("SDL_Init failed: ") + SDL_GetError();
            const char* display = std::getenv("DISPLAY");
            if (display == nullptr && !wayland) {
                reason += " (DISPLAY is not set)";
            } else if (display != nullptr) {
                // SDL only says the driver is unavailable: name the display, and the
                // server's own words when it refused us.
                const std::string said = firstLine(printed);
                reason += std::string(" (cannot open the X display \"") + display +
                          "\": " + (said.empty() ? "no X server answers there" : said) + ")";
            }
            setLastErrorText("cannot open a window: " + reason);
            SDL_Quit();
            return false;
        }
        if (!printed.empty()) std::fputs(printed.c_str(), stderr);
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
    if (SDL_GetRendererInfo(native.renderer, &info) == 0) {
        native.software = (info.flags & SDL_RENDERER_SOFTWARE) != 0;
        native.rendererHasVsync = (info.flags & SDL_RENDERER_PRESENTVSYNC) != 0;
    }
    native.vsyncOn = native.rendererHasVsync;
    native.refreshHz = refreshRateOf(native.window);
    native.reported = {width, height};
    state.windows[key(hWnd)] = native;
    return true;
}

void windowCreated(HWND) {}

void showWindow(HWND hWnd, int nCmdShow, ClientSize* client) {
    NativeWindow* native = find(hWnd);
    if (native == nullptr) return;
    switch (nCmdShow) {
        case SW_HIDE: SDL_HideWindow(native->window); break;
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
        default: SDL_ShowWindow(native->window); break;
    }
    const bool minimised = nCmdShow == SW_SHOWMINIMIZED || nCmdShow == SW_MINIMIZE;
    const ClientSize size = minimised ? ClientSize{} : pixelSizeOf(*native);
    // ShowWindow sends this WM_SIZE itself; later SDL events repeating it are dropped.
    native->reported = size;
    native->reportedType = minimised                      ? SIZE_MINIMIZED
                           : nCmdShow == SW_SHOWMAXIMIZED ? SIZE_MAXIMIZED
                                                          : SIZE_RESTORED;
    if (!minimised) *client = size;
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
            case SDL_WINDOWEVENT: onWindowEvent(event.window, closed); break;
            case SDL_KEYDOWN:
            case SDL_KEYUP: onKeyEvent(event.key); break;
            case SDL_QUIT:
                // A quit request (the last window's close button, Ctrl+C) closes every
                // window that has not been asked already.
                for (const auto& [handle, native] : state.windows) {
                    const HWND hWnd = reinterpret_cast<HWND>(handle);
                    if (!closed[hWnd]) enqueue(hWnd, WM_CLOSE, 0, 0);
                    closed[hWnd] = true;
                }
                break;
            default: break;
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
    drawStretched(*native, width, height);
    if (paced) {
        presentPaced(*native);
    } else {
        SDL_RenderPresent(native->renderer);
    }
    return true;
}

}  // namespace win::backend
