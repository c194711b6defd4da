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
    Frame frame;
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
const Frame& lastFrame() {
    return state.frame;
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

    headless::Frame& frame = state.frame;
    frame.width = clientWidth;
    frame.height = clientHeight;
    frame.pixels.resize(static_cast<std::size_t>(clientWidth) * clientHeight);
    if (clientWidth > 0 && clientHeight > 0) {  // minimised: nothing to draw
        stretchNearest(pixels, width, height, frame.pixels.data(), clientWidth, clientHeight);
    }

    if (paced && state.pacing) waitForRefresh(state.pacer, state.refreshHz);
    ++state.presents;
    const auto hook = state.hooks.onPresent;
    if (hook) hook(hWnd, state.presents);
    return true;
}

}  // namespace win::backend
