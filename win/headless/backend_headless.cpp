// The headless back end: no display, windows are the core's records only. The latest
// present is kept in memory for tests and tools, by holding on to the presented pixels
// rather than copying them; messages come from the caller (PostMessageW,
// setClientSize), never from a device.
#include <string>
#include <utility>

#include "win/backend.h"
#include "win/core.h"
#include "win/headless/headless.h"
#include "win/pacing.h"
#include "win/stretch.h"

namespace win::headless {
namespace {

// All mutable state of this file.
struct State {
    Hooks hooks;
    bool paced = false;  // presents that ask for pacing get it
    Pacing pacing;
    std::string failReason;  // non-empty: the next window creation fails with it
    bool failPending = false;
    int presentsToFail = 0;  // the next presents that fail, as a display that stops showing
    std::string presentFailReason;
    int presents = 0;
    SharedPixels shown;  // the latest present, held rather than copied
    int shownWidth = 0;
    int shownHeight = 0;
    Change change;  // the latest present's; only tests look at it
    int clientWidth = 0;
    int clientHeight = 0;
    // Copies of `shown`, unstretched and stretched, made when first asked for after a
    // present: only tests and tools look at them.
    Frame backBuffer;
    bool backBufferStale = false;
    Frame frame;
    bool frameStale = false;
    StretchColumns columns;
    FrameExtents windowFrame;   // around windows created from now on
    std::vector<MSG> defaults;  // the DefWindowProcW calls
};
State state;

void recordDefault(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    state.defaults.push_back(MSG{hWnd, message, wParam, lParam, 0, POINT{0, 0}});
}

}  // namespace

void reset() {
    resetWindows();
    resetQueue();
    resetErrors();
    resetPresents();
    state = State{};
    watchDefWindowProc(recordDefault);
}

void setFrame(int left, int top, int right, int bottom) {
    state.windowFrame = {left, right, top, bottom};
}

void pressKey(HWND hWnd, WPARAM vk, bool down, bool altDown, bool ctrlDown) {
    KeyEvent key;
    key.vk = vk;
    key.down = down;
    key.altDown = altDown;
    key.ctrlDown = ctrlDown;
    noteKey(hWnd, key);
}

const std::vector<MSG>& defWindowProcCalls() {
    return state.defaults;
}

void setHooks(Hooks hooks) {
    state.hooks = std::move(hooks);
}

void setClientSize(HWND hWnd, int width, int height) {
    if (width < 0 || height < 0 || width > 0xFFFF || height > 0xFFFF) return;
    const bool minimised = width == 0 && height == 0;
    noteClientSize(hWnd, width, height, minimised ? SIZE_MINIMIZED : SIZE_RESTORED);
}

void setPacing(bool paced, int refreshHz) {
    state.paced = paced;
    state.pacing = Pacing{};
    setRefreshRate(state.pacing, refreshHz);
}

void failNextWindowCreation(const char* reason) {
    state.failPending = true;
    state.failReason = reason != nullptr ? reason : "window creation refused";
}

void failPresents(int count, const char* reason) {
    state.presentsToFail = count;
    state.presentFailReason = reason != nullptr ? reason : "the display refused the frame";
}

int presentCount() {
    return state.presents;
}
const Frame& lastFrame() {
    if (!state.frameStale) return state.frame;
    Frame& frame = state.frame;
    frame.width = state.clientWidth;
    frame.height = state.clientHeight;
    frame.pixels.resize(static_cast<std::size_t>(frame.width) * frame.height);
    if (frame.width > 0 && frame.height > 0) {
        stretchNearest(state.shown.get(), state.shownWidth, state.shownHeight, frame.pixels.data(),
                       frame.width, frame.height, state.columns);
    }  // minimised: nothing to draw
    state.frameStale = false;
    return frame;
}
const Change& lastChange() {
    return state.change;
}
const Frame& lastBackBuffer() {
    if (!state.backBufferStale) return state.backBuffer;
    Frame& back = state.backBuffer;
    back.width = state.shownWidth;
    back.height = state.shownHeight;
    const std::uint32_t* pixels = state.shown.get();
    back.pixels.assign(pixels, pixels + static_cast<std::size_t>(back.width) * back.height);
    state.backBufferStale = false;
    return back;
}

}  // namespace win::headless

namespace win::backend {

using headless::state;

bool createWindow(HWND hWnd, const std::string&, int, int, int, int) {
    if (state.failPending) {
        state.failPending = false;
        setLastErrorText("cannot open a window: " + state.failReason);
        return false;
    }
    noteFrameExtents(hWnd, state.windowFrame);
    return true;
}

// Hooks run from copies, so a hook may replace the hooks (or reset) while it runs.
void windowCreated(HWND hWnd) {
    const auto hook = state.hooks.onWindowCreated;
    if (hook) hook(hWnd);
}

// No window manager here: showing keeps the last size, maximising included.
void showWindow(HWND, int, ClientSize*) {}

void destroyWindow(HWND) {}

void pumpEvents() {}

// The frame is held, not copied, so a change costs nothing here: it is only kept.
PresentResult present(HWND hWnd, const SharedPixels& pixels, int width, int height, int clientWidth,
                      int clientHeight, bool paced, const FrameChange& change) {
    if (state.presentsToFail > 0) {
        --state.presentsToFail;
        setLastErrorText("cannot present: " + state.presentFailReason);
        return {};
    }
    state.shown = pixels;  // lets the previous frame go back to its owner
    state.change.all = change.all;
    state.change.rects.clear();
    if (!change.all && change.count > 0) {
        state.change.rects.assign(change.rects, change.rects + change.count);
    }
    state.shownWidth = width;
    state.shownHeight = height;
    state.clientWidth = clientWidth;
    state.clientHeight = clientHeight;
    state.backBufferStale = state.frameStale = true;

    PresentResult result;
    result.ok = true;
    result.shown = clientWidth > 0 && clientHeight > 0;
    result.held = true;  // kept until the next present, for lastFrame and lastBackBuffer
    result.immediate = !(paced && state.paced);
    result.waited = !result.immediate && waitForDeadline(state.pacing);
    ++state.presents;
    const auto hook = state.hooks.onPresent;
    if (hook) hook(hWnd, state.presents);
    return result;
}

}  // namespace win::backend
