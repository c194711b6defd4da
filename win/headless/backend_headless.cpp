// The headless back end: no display, windows are the core's records only. Presents
// are kept in memory (back buffer and the stretched client image) for tests and tools;
// messages come from the caller (PostMessageW, setClientSize), never from a device.
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
    bool pacing = false;
    int refreshHz = 60;
    Pacer pacer;
    std::string failReason;  // non-empty: the next window creation fails with it
    bool failPending = false;
    int presents = 0;
    Frame frame;  // made from backBuffer when first asked for after a present
    bool frameStale = false;
    int clientWidth = 0;
    int clientHeight = 0;
    Frame backBuffer;
};
State state;

}  // namespace

void reset() {
    resetWindows();
    resetQueue();
    resetErrors();
    state = State{};
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
    state.pacing = paced;
    state.refreshHz = refreshHz > 0 ? refreshHz : 60;
    state.pacer = Pacer{};
}

void failNextWindowCreation(const char* reason) {
    state.failPending = true;
    state.failReason = reason != nullptr ? reason : "window creation refused";
}

int presentCount() {
    return state.presents;
}
// The stretched client image costs a second full copy, which only tests and tools
// look at, so it is made on demand rather than on every present.
const Frame& lastFrame() {
    if (!state.frameStale) return state.frame;
    Frame& frame = state.frame;
    const Frame& back = state.backBuffer;
    frame.width = state.clientWidth;
    frame.height = state.clientHeight;
    frame.pixels.resize(static_cast<std::size_t>(frame.width) * frame.height);
    if (frame.width > 0 && frame.height > 0 && back.width > 0 && back.height > 0) {
        stretchNearest(back.pixels.data(), back.width, back.height, frame.pixels.data(),
                       frame.width, frame.height);
    }  // minimised: nothing to draw
    state.frameStale = false;
    return frame;
}
const Frame& lastBackBuffer() {
    return state.backBuffer;
}

}  // namespace win::headless

namespace win::backend {

using headless::state;

bool createWindow(HWND, const std::string&, int, int, int, int) {
    if (state.failPending) {
        state.failPending = false;
        setLastErrorText("cannot open a window: " + state.failReason);
        return false;
    }
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

bool present(HWND hWnd, const std::uint32_t* pixels, int width, int height, int clientWidth,
             int clientHeight, bool paced) {
    headless::Frame& back = state.backBuffer;
    back.width = width;
    back.height = height;
    back.pixels.assign(pixels, pixels + static_cast<std::size_t>(width) * height);

    state.clientWidth = clientWidth;
    state.clientHeight = clientHeight;
    state.frameStale = true;

    if (paced && state.pacing) waitForRefresh(state.pacer, state.refreshHz);
    ++state.presents;
    const auto hook = state.hooks.onPresent;
    if (hook) hook(hWnd, state.presents);
    return true;
}

}  // namespace win::backend
