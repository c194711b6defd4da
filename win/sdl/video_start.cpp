// SDL video start-up: the driver order, the libraries' own stderr held back while SDL
// opens the display or a window, and the wording of a failure. Only drivers with a
// screen are tried.
#include "win/sdl/video_start.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "win/core.h"
#include "win/sdl/gpu_present.h"

namespace win::sdl {
namespace {

// All state of this file.
bool running = false;
SDL_Cursor* arrow = nullptr;  // the system arrow, while video runs

// Xlib prints an X server's refusal ("Authorization required, …") to stderr itself. While
// SDL opens the display that text goes to a file in memory instead (the program writes
// no file): on failure it becomes part of our one line, on success it is passed on to
// stderr unchanged.
struct StderrCapture {
    int memory = -1;  // the memory file standing in for stderr
    int saved = -1;   // the real stderr while captured
};

StderrCapture captureStderr() {
    StderrCapture capture;
    std::fflush(stderr);
    capture.memory = memfd_create("stderr", MFD_CLOEXEC);
    if (capture.memory < 0) return capture;  // not captured: the text goes to stderr
    capture.saved = dup(2);
    if (capture.saved < 0 || dup2(capture.memory, 2) < 0) {
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
    if (capture.memory >= 0) {
        char buffer[512];
        ssize_t n = 0;
        off_t offset = 0;
        while ((n = pread(capture.memory, buffer, sizeof(buffer), offset)) > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
            offset += n;
        }
        close(capture.memory);
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

// SDL only says the driver is unavailable: name the display, and the server's own words
// when it refused us.
std::string whyVideoFailed(bool wayland, const std::string& printed) {
    std::string reason = std::string("SDL_Init failed: ") + SDL_GetError();
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr && !wayland) return reason + " (DISPLAY is not set)";
    if (display == nullptr) return reason;
    const std::string said = firstLine(printed);
    return reason + " (cannot open the X display \"" + display +
           "\": " + (said.empty() ? "no X server answers there" : said) + ")";
}

// A window that exists but whose surface cannot be had shows nothing, ever.
std::string whyNoSurface() {
    const std::string why = SDL_GetError();
    return "cannot show frames in the window: SDL_GetWindowSurface failed on the " +
           std::string(SDL_GetCurrentVideoDriver()) + " driver" +
           (why.empty() ? std::string() : ": " + why);
}

}  // namespace

bool startVideo(std::string* libraryOutput) {
    if (running) return true;
    // Ours: only drivers with a screen. SDL would otherwise fall back to its offscreen
    // driver and "open" a window nobody can see. Wayland is tried only where a
    // compositor is announced: its library writes to stderr when it fails.
    // SDL_VIDEODRIVER still wins over this list.
    const bool wayland = std::getenv("WAYLAND_DISPLAY") != nullptr;
    SDL_SetHint(SDL_HINT_VIDEODRIVER, wayland ? "x11,wayland,KMSDRM" : "x11,KMSDRM");
    // A Win32 program that does nothing about it leaves the screensaver alone; SDL
    // would otherwise keep it off while a window is open.
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    StderrCapture capture = captureStderr();
    const bool up = SDL_Init(SDL_INIT_VIDEO) == 0;
    const std::string printed = releaseStderr(capture);
    if (!up) {
        setLastErrorText("cannot open a window: " + whyVideoFailed(wayland, printed));
        SDL_Quit();
        return false;
    }
    *libraryOutput += printed;
    // X11 gives window surfaces of its own (shared memory): without the hint SDL would
    // back them with a renderer, which without a GPU is OpenGL on the CPU. Wayland and
    // KMSDRM have no such surfaces; there the renderer is the only way.
    if (std::strcmp(SDL_GetCurrentVideoDriver(), "x11") == 0) {
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    }
    running = true;
    return true;
}

bool videoRunning() {
    return running;
}

void stopVideoIfIdle() {
    if (running && noNativeWindows()) {
        if (arrow != nullptr) SDL_FreeCursor(arrow);
        arrow = nullptr;
        SDL_Quit();
        running = false;
    }
}

void showArrowCursor() {
    if (!running) return;
    if (arrow == nullptr) arrow = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_ARROW);
    if (arrow != nullptr) SDL_SetCursor(arrow);  // without one, the cursor stays as it was
}

bool openNativeWindow(const std::string& titleUtf8, int x, int y, int width, int height,
                      NativeWindow* native, std::string* libraryOutput) {
    StderrCapture capture = captureStderr();
    native->window = createPresentingWindow(
        titleUtf8.c_str(), x, y, width > 0 ? width : 1, height > 0 ? height : 1,
        SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE, &native->gpu, &native->pacing);
    // Presents go through the GPU renderer or, without one (and after any GPU failure),
    // into SDL_GetWindowSurface.
    const bool shows = native->window != nullptr &&
                       (native->gpu != nullptr || SDL_GetWindowSurface(native->window) != nullptr);
    *libraryOutput += releaseStderr(capture);
    if (shows) return true;
    if (native->window == nullptr) {
        setLastErrorText(std::string("cannot open a window: SDL_CreateWindow failed: ") +
                         SDL_GetError());
    } else {
        setLastErrorText(whyNoSurface());
        SDL_DestroyWindow(native->window);
    }
    return false;
}

}  // namespace win::sdl
