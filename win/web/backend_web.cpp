// The web back end: the window is the page's one canvas. Keys and size changes are queued
// by the page's script (shell.html) and moved into the message queue by pumpEvents;
// present puts the stretched frame on the canvas and then sleeps until the browser's next
// animation frame (Asyncify unwinds the stack into the browser's event loop meanwhile),
// so WinMain's loop runs unchanged, one frame per display refresh. Builds with
// emscripten only; the page's side of every call below lives in shell.html.
#include <emscripten.h>

#include <algorithm>
#include <string>
#include <vector>

#include "win/backend.h"
#include "win/core.h"
#include "win/stretch.h"
#include "win/web/canvas_pixels.h"
#include "win/web/keys.h"

// ---- the page's side ----
// JavaScript, which clang-format would re-space as C++ ("= =", "= >").
// clang-format off

// 1 when the page has its canvas and has sized it to width × height CSS pixels.
EM_JS(int, webOpenWindow, (const char* title, int width, int height), {
    const page = Module["viewerPage"];
    if (!page || !page.canvas) return 0;
    page.open(UTF8ToString(title), width, height);
    return 1;
});

// The next queued event, or 0 when there is none. 1: a key (its code into `code`, then
// down, repeat, Alt held and Ctrl held into values); 2: a client size (width, height,
// minimised into values).
EM_JS(int, webNextEvent, (char* code, int codeSize, int* values), {
    const event = Module["viewerPage"].events.shift();
    if (!event) return 0;
    const at = values >> 2;
    if (event.kind === 1) {
        stringToUTF8(event.code, code, codeSize);
        HEAP32[at] = event.down ? 1 : 0;
        HEAP32[at + 1] = event.repeat ? 1 : 0;
        HEAP32[at + 2] = event.alt ? 1 : 0;
        HEAP32[at + 3] = event.ctrl ? 1 : 0;
    } else {
        HEAP32[at] = event.width;
        HEAP32[at + 1] = event.height;
        HEAP32[at + 2] = event.minimised ? 1 : 0;
    }
    return event.kind;
});

// Only the pixels inside the rectangle (x, y, w, h) reach the canvas.
EM_JS(void, webShowFrame, (const void* rgba, int width, int height, int x, int y, int w, int h), {
    Module["viewerPage"].show(HEAPU8.subarray(rgba, rgba + width * height * 4), width, height,
                              x, y, w, h);
});

// Resolves at the browser's next animation frame: never while the tab is hidden.
EM_ASYNC_JS(void, webWaitForAnimationFrame, (), {
    await new Promise(function(resolve) { requestAnimationFrame(resolve); });
});
// clang-format on

namespace win::backend {
namespace {

constexpr int kKeyEvent = 1;
constexpr int kSizeEvent = 2;

// All mutable state of this file: the page has one canvas, so one window.
struct State {
    HWND window = nullptr;
    std::vector<std::uint32_t> canvas;  // the client-sized frame in the canvas's byte order
    int canvasWidth = 0;                // 0: neither it nor the page's canvas holds a frame
    StretchColumns columns;
};
State state;

int clampSize(int pixels) {
    return std::clamp(pixels, 0, 0xFFFF);  // WM_SIZE carries 16 bits a side
}

}  // namespace

bool createWindow(HWND hWnd, const std::string& titleUtf8, int, int, int width, int height) {
    if (state.window != nullptr) {
        setLastErrorText("cannot open a window: the page's one canvas is in use");
        return false;
    }
    if (webOpenWindow(titleUtf8.c_str(), width, height) == 0) {
        setLastErrorText("cannot open a window: the page has no canvas");
        return false;
    }
    state.window = hWnd;
    return true;
}

void windowCreated(HWND) {}

// The canvas is always shown; its size is the user's, through the page's resize handle.
void showWindow(HWND, int, ClientSize*) {}

void destroyWindow(HWND hWnd) {
    if (hWnd == state.window) state = State{};
}

void pumpEvents() {
    char code[32];
    int values[4];
    for (;;) {
        const int kind = webNextEvent(code, sizeof(code), values);
        if (kind == 0) return;
        if (state.window == nullptr) continue;  // nothing to deliver to
        if (kind == kKeyEvent) {
            const web::KeyCode key = web::translateKey(code);
            const bool down = values[0] != 0;
            // The core makes Alt+key and F10 system keys, as on the desktop.
            noteKey(state.window, KeyEvent{key.vk, web::keyParam(key, down, values[1] != 0), down,
                                           values[2] != 0, values[3] != 0});
        } else if (kind == kSizeEvent) {
            const bool minimised = values[2] != 0;
            noteClientSize(state.window, minimised ? 0 : clampSize(values[0]),
                           minimised ? 0 : clampSize(values[1]),
                           minimised ? SIZE_MINIMIZED : SIZE_RESTORED);
        }
    }
}

PresentResult present(HWND hWnd, const SharedPixels& pixels, int width, int height, int clientWidth,
                      int clientHeight, bool, const FrameChange& change) {
    PresentResult result;
    if (hWnd != state.window) {
        setLastErrorText("cannot present: the window has no canvas");
        return result;
    }
    result.ok = true;
    if (clientWidth > 0 && clientHeight > 0) {
        const std::size_t count = static_cast<std::size_t>(clientWidth) * clientHeight;
        // The canvas holds the frame before at this size, or all of it is drawn.
        const bool all =
            change.all || clientWidth != state.canvasWidth || count != state.canvas.size();
        state.canvas.resize(count);
        state.canvasWidth = clientWidth;
        RECT shown{clientWidth, clientHeight, 0, 0};  // what the page copies: all areas' bounds
        const RECT whole{0, 0, clientWidth, clientHeight};
        for (int i = 0; i < (all ? 1 : change.count); ++i) {
            const RECT area =
                all ? whole
                    : destinationOf(change.rects[i], width, height, clientWidth, clientHeight);
            if (area.left >= area.right || area.top >= area.bottom) continue;
            stretchNearest(pixels.get(), width, height, state.canvas.data(), clientWidth,
                           clientHeight, static_cast<std::size_t>(clientWidth), area,
                           state.columns);
            for (LONG y = area.top; y < area.bottom; ++y) {
                web::toCanvasPixels(state.canvas.data() + y * clientWidth + area.left,
                                    static_cast<std::size_t>(area.right - area.left));
            }
            shown = RECT{std::min(shown.left, area.left), std::min(shown.top, area.top),
                         std::max(shown.right, area.right), std::max(shown.bottom, area.bottom)};
        }
        webShowFrame(state.canvas.data(), clientWidth, clientHeight, shown.left, shown.top,
                     std::max<LONG>(shown.right - shown.left, 0),
                     std::max<LONG>(shown.bottom - shown.top, 0));
        result.shown = true;
    } else {
        state.canvasWidth = 0;  // the page may drop the hidden canvas's pixels
    }
    // Paced or not, the loop has to give the browser its turn: the page would freeze
    // otherwise. The wait also keeps the loop to the display's refresh, and stops it
    // while the tab is hidden, as a minimised window's is.
    webWaitForAnimationFrame();
    result.waited = true;
    return result;
}

}  // namespace win::backend
