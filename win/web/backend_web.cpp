// The web back end: the window is the page's drawn frame, its client the page's one
// canvas. Keys, size changes and the close button are queued by the page's script
// (shell.html) as one record kind and moved into the message queue by pumpEvents;
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

// 1 when the page has its canvas and has made the window's outer box width × height CSS
// pixels; the frame it drew around the canvas goes into sides (left, top, right, bottom).
// The page's event records are of the kinds named here, and nowhere else.
EM_JS(int, webOpenWindow, (const char* title, int width, int height, int* sides, int keyKind,
                           int sizeKind, int closeKind), {
    const page = Module["viewerPage"];
    if (!page || !page.canvas) return 0;
    const frame = page.open(UTF8ToString(title), width, height,
                            {key: keyKind, size: sizeKind, close: closeKind});
    HEAP32[(sides >> 2) + 0] = frame.left;
    HEAP32[(sides >> 2) + 1] = frame.top;
    HEAP32[(sides >> 2) + 2] = frame.right;
    HEAP32[(sides >> 2) + 3] = frame.bottom;
    return 1;
});

// Moves the oldest queued record into the PageEvent whose fields are at these addresses,
// field by field; 0 (and nothing moved) when there is none.
EM_JS(int, webNextEvent, (int* kind, char* code, int codeSize, int* down, int* repeat, int* alt,
                          int* ctrl, int* numLock, int* width, int* height, int* minimised), {
    const event = Module["viewerPage"].events.shift();
    if (!event) return 0;
    HEAP32[kind >> 2] = event.kind;
    stringToUTF8(event.code, code, codeSize);
    HEAP32[down >> 2] = event.down ? 1 : 0;
    HEAP32[repeat >> 2] = event.repeat ? 1 : 0;
    HEAP32[alt >> 2] = event.alt ? 1 : 0;
    HEAP32[ctrl >> 2] = event.ctrl ? 1 : 0;
    HEAP32[numLock >> 2] = event.numLock ? 1 : 0;
    HEAP32[width >> 2] = event.width;
    HEAP32[height >> 2] = event.height;
    HEAP32[minimised >> 2] = event.minimised ? 1 : 0;
    return 1;
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

// What the page saw, one record for every kind: a key (code and the key fields), a new
// client size (width, height, minimised), or the close button.
enum class PageEventKind : int { key = 1, size = 2, close = 3 };
struct PageEvent {
    int kind = 0;        // a PageEventKind
    char code[32] = {};  // KeyboardEvent.code
    int down = 0;
    int repeat = 0;
    int alt = 0;
    int ctrl = 0;
    int numLock = 0;
    int width = 0;  // CSS pixels
    int height = 0;
    int minimised = 0;
};

bool nextPageEvent(PageEvent* event) {
    return webNextEvent(&event->kind, event->code, sizeof(event->code), &event->down,
                        &event->repeat, &event->alt, &event->ctrl, &event->numLock, &event->width,
                        &event->height, &event->minimised) != 0;
}

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

// The page's size is reported as it sees the canvas, also when nothing changed (its
// observer reports the size the window was created with): that is no WM_SIZE, which
// would set the projection from the client and lose the start-up aspect.
void noteSize(HWND hWnd, const PageEvent& event) {
    const bool minimised = event.minimised != 0;
    const int width = minimised ? 0 : clampSize(event.width);
    const int height = minimised ? 0 : clampSize(event.height);
    ClientSize last;
    if (clientSizeOf(hWnd, &last) && last.width == width && last.height == height) return;
    noteClientSize(hWnd, width, height, minimised ? SIZE_MINIMIZED : SIZE_RESTORED);
}

}  // namespace

bool createWindow(HWND hWnd, const std::string& titleUtf8, int, int, int width, int height) {
    if (state.window != nullptr) {
        setLastErrorText("cannot open a window: the page's one canvas is in use");
        return false;
    }
    int sides[4] = {};
    if (webOpenWindow(titleUtf8.c_str(), width, height, sides, static_cast<int>(PageEventKind::key),
                      static_cast<int>(PageEventKind::size),
                      static_cast<int>(PageEventKind::close)) == 0) {
        setLastErrorText("cannot open a window: the page has no canvas");
        return false;
    }
    noteFrameExtents(hWnd, {sides[0], sides[2], sides[1], sides[3]});
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
    PageEvent event;
    while (nextPageEvent(&event)) {
        if (state.window == nullptr) continue;  // nothing to deliver to
        switch (static_cast<PageEventKind>(event.kind)) {
            case PageEventKind::key: {
                const web::KeyCode key = web::translateKey(event.code, event.numLock != 0);
                const bool down = event.down != 0;
                // The core makes Alt+key and F10 system keys, and the lParam, as on the
                // desktop.
                noteKey(state.window,
                        KeyEvent{key.vk, key.scan, key.extended, down, down && event.repeat != 0,
                                 event.alt != 0, event.ctrl != 0});
                break;
            }
            case PageEventKind::size: noteSize(state.window, event); break;
            case PageEventKind::close: enqueue(state.window, WM_CLOSE, 0, 0); break;
            default: break;  // a kind this build does not know
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
