// The SDL2 back end: one resizable SDL window per HWND, SDL events turned into posted
// Win32 messages inside PeekMessageW, and presents through the GPU where the driver is
// one (win/sdl/gpu_present.h), otherwise stretched by the CPU straight into the window's
// surface and paced to the display. Window rules live in the core.
#include <SDL.h>
#include <SDL_syswm.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "win/backend.h"
#include "win/core.h"
#include "win/pacing.h"
#include "win/sdl/gpu_present.h"
#include "win/sdl/keys.h"
#include "win/sdl/present_path.h"
#include "win/stretch.h"

namespace win::backend {
namespace {

struct NativeWindow {
    SDL_Window* window = nullptr;
    sdl::GpuPresent* gpu = nullptr;  // null on the shared-memory path, for good once so
    int refreshHz = 60;
    Pacer pacer;  // a window surface has no vsync: presents keep deadlines instead
    // The stretched frame when the window's surface stores pixels in another layout,
    // converted from here; kept while the size holds so presents allocate nothing.
    std::vector<std::uint32_t> staging;
    StretchColumns columns;
    ClientSize reported;  // the size WM_SIZE last carried
    WPARAM reportedType = SIZE_RESTORED;
};

// All mutable state of this file.
struct State {
    bool sdlUp = false;
    bool connectionLost = false;  // the display server went away, and that has been said
    std::map<std::uintptr_t, NativeWindow> windows;      // by HWND value
    sdl::PresentPath lastPath = sdl::PresentPath::none;  // of the latest window
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

// The error that ended the connection to the Wayland compositor, or 0 while it holds
// (and on other drivers). SDL turns a lost compositor into a quit event, which alone
// would read as a close request; Xlib instead ends the process itself when the X server
// goes, with one line and exit code 1.
int waylandConnectionError() {
    if (state.windows.empty()) return 0;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(state.windows.begin()->second.window, &info) != SDL_TRUE ||
        info.subsystem != SDL_SYSWM_WAYLAND) {
        return 0;
    }
    return wl_display_get_error(info.info.wl.display);
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

// The client size in pixels, which is what the window's surface or renderer holds.
ClientSize pixelSizeOf(const NativeWindow& native) {
    ClientSize size;
    if (native.gpu == nullptr || !sdl::outputSizeOf(*native.gpu, &size.width, &size.height)) {
        SDL_GetWindowSizeInPixels(native.window, &size.width, &size.height);
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

// The frame over the whole surface by the rule the headless back end keeps
// (win/stretch.h), so the window shows exactly the headless client image. Surfaces of
// 32-bit words with the colour in the low 24 bits (X8R8G8B8 or A8R8G8B8) take it
// directly; any other layout gets it converted from a staging copy.
bool drawToSurface(NativeWindow& native, const std::uint32_t* pixels, int width, int height) {
    SDL_Surface* surface = SDL_GetWindowSurface(native.window);
    if (surface == nullptr) return false;
    if (surface->w <= 0 || surface->h <= 0) return true;  // nothing to show
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return false;
    const Uint32 format = surface->format->format;
    bool ok = true;
    if ((format == SDL_PIXELFORMAT_RGB888 || format == SDL_PIXELFORMAT_ARGB8888) &&
        surface->pitch % 4 == 0) {
        stretchNearest(pixels, width, height, static_cast<std::uint32_t*>(surface->pixels),
                       surface->w, surface->h, static_cast<std::size_t>(surface->pitch / 4),
                       native.columns);
    } else {
        native.staging.resize(static_cast<std::size_t>(surface->w) * surface->h);
        stretchNearest(pixels, width, height, native.staging.data(), surface->w, surface->h,
                       native.columns);
        ok =
            SDL_ConvertPixels(surface->w, surface->h, SDL_PIXELFORMAT_RGB888, native.staging.data(),
                              surface->w * 4, format, surface->pixels, surface->pitch) == 0;
    }
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    return ok;
}

}  // namespace

bool createWindow(HWND hWnd, const std::string& titleUtf8, int x, int y, int width, int height) {
    // What the libraries print meanwhile (Xlib's refusals, libdecor's missing plugins)
    // is held until the window has shown it can take frames, then passed on unchanged;
    // a failure prints only its one line.
    std::string held;
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
        held = printed;
        // X11 gives window surfaces of its own (shared memory): without the hint SDL
        // would back them with a renderer, which without a GPU is OpenGL on the CPU.
        // Wayland and KMSDRM have no such surfaces; there the renderer is the only way.
        if (std::strcmp(SDL_GetCurrentVideoDriver(), "x11") == 0) {
            SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        }
        state.sdlUp = true;
    }
    StderrCapture capture = captureStderr();
    NativeWindow native;
    native.window = sdl::createPresentingWindow(
        titleUtf8.c_str(), x, y, width > 0 ? width : 1, height > 0 ? height : 1,
        SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE, &native.gpu);
    // A window that could never show a frame is a start-up failure, not an empty
    // window that runs on: presents go through the GPU renderer or, without one (and
    // after any GPU failure), into SDL_GetWindowSurface.
    const bool shows = native.window != nullptr &&
                       (native.gpu != nullptr || SDL_GetWindowSurface(native.window) != nullptr);
    held += releaseStderr(capture);
    if (!shows) {
        if (native.window == nullptr) {
            fail("SDL_CreateWindow");
        } else {
            const std::string why = SDL_GetError();
            setLastErrorText(
                "cannot show frames in the window: SDL_GetWindowSurface failed on the " +
                std::string(SDL_GetCurrentVideoDriver()) + " driver" +
                (why.empty() ? std::string() : ": " + why));
            SDL_DestroyWindow(native.window);
        }
        quitIfIdle();
        return false;
    }
    if (!held.empty()) std::fputs(held.c_str(), stderr);
    state.lastPath = native.gpu != nullptr ? sdl::PresentPath::gpu : sdl::PresentPath::sharedMemory;
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
    sdl::closeGpuPresent(native->gpu);
    SDL_DestroyWindow(native->window);  // frees the window's surface too
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
                if (waylandConnectionError() != 0) break;  // not a request: see below
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
    // Ours: a lost compositor ends the program as a lost X server does, with one line
    // and exit code 1, through WM_QUIT so the device is still released.
    const int lost = state.sdlUp && !state.connectionLost ? waylandConnectionError() : 0;
    if (lost != 0) {
        state.connectionLost = true;
        std::fprintf(stderr, "%s: the connection to the Wayland compositor is lost: %s\n",
                     program_invocation_short_name, std::strerror(lost));
        PostQuitMessage(1);
    }
}

// The frame is uploaded or stretched into the window's surface here and now, so it is
// not held. A GPU present that fails gives way to the surface for good, with this same
// frame, so nothing is lost but the GPU.
PresentResult present(HWND hWnd, const SharedPixels& pixels, int width, int height, int clientWidth,
                      int clientHeight, bool paced) {
    NativeWindow* native = find(hWnd);
    if (native == nullptr) return {};
    PresentResult result;
    if (clientWidth == 0 || clientHeight == 0) {  // minimised: nothing to draw, still paced
        result.waited = paced && waitForRefresh(native->pacer, native->refreshHz);
        result.ok = true;
        return result;
    }
    if (native->gpu != nullptr) {
        if (sdl::presentThroughGpu(*native->gpu, pixels.get(), width, height, paced,
                                   native->refreshHz, &result.waited)) {
            result.ok = result.shown = true;
            return result;
        }
        sdl::closeGpuPresent(native->gpu);
        native->gpu = nullptr;
        state.lastPath = sdl::PresentPath::sharedMemory;
    }
    const bool drawn = drawToSurface(*native, pixels.get(), width, height);
    result.waited = paced && waitForRefresh(native->pacer, native->refreshHz);  // failing or not
    if (!drawn || SDL_UpdateWindowSurface(native->window) != 0) {
        setLastErrorText(std::string("cannot present: ") + SDL_GetError());
        return result;  // a failure is said by the core, once for each run of them
    }
    result.ok = result.shown = true;
    return result;
}

}  // namespace win::backend

namespace win::sdl {

PresentPath presentPathOf(HWND hWnd) {
    const auto it = backend::state.windows.find(backend::key(hWnd));
    if (it == backend::state.windows.end()) return PresentPath::none;
    return it->second.gpu != nullptr ? PresentPath::gpu : PresentPath::sharedMemory;
}

PresentPath lastWindowPath() {
    return backend::state.lastPath;
}

}  // namespace win::sdl
