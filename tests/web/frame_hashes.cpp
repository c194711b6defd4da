// Every frame of a whole turn, for a set of key states, as one hash a line: built
// natively and for WebAssembly (run in node), so the test web.same_frames_as_native can
// check that the two builds draw the same bits at every angle, camera and render state.
// The viewer's own WinMain on the headless back end, unpaced.
#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

#include "tests/support/run_viewer.h"
#include "win/headless/headless.h"

namespace {

struct State {
    const char* name;
    std::vector<WPARAM> keys;  // pressed before the first frame
};

// FNV-1a over the pixels, a whole pixel (X byte included) a step: a quarter of the
// work of going byte by byte, which matters in node at 6,120 frames of 800 × 600.
std::uint64_t hashPixels(const std::vector<std::uint32_t>& pixels) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const std::uint32_t pixel : pixels) hash = (hash ^ pixel) * 0x100000001b3ull;
    return hash;
}

void printTurn(const State& state) {
    test_support::ViewerRun run;
    run.keys = state.keys;
    run.frames = 360;
    run.onPresent = [&state](HWND, int presents) {
        const win::headless::Frame& frame = win::headless::lastBackBuffer();
        std::printf("%s %d %016llx\n", state.name, presents - 1,
                    static_cast<unsigned long long>(hashPixels(frame.pixels)));
    };
    test_support::runViewerHeadless(std::move(run));
    win::headless::reset();
}

}  // namespace

int main() {
    const State states[] = {
        {"start", {}},
        {"PageUp", {VK_PRIOR}},
        {"PageDown", {VK_NEXT}},
        {"Left", {VK_LEFT}},
        {"Up", {VK_UP}},
        {"Right", {VK_RIGHT}},
        {"Down", {VK_DOWN}},
        {"F1", {VK_F1}},
        {"F2", {VK_F2}},
        {"F3", {VK_F3}},
        {"F4", {VK_F4}},
        {"F5", {VK_F5}},
        {"F6", {VK_F6}},
        {"F7", {VK_F7}},
        // The cube crosses the eye's plane and is clipped, drawn every way.
        {"near", {VK_PRIOR, VK_PRIOR, VK_PRIOR}},
        {"near-F1-F4-F7", {VK_PRIOR, VK_PRIOR, VK_PRIOR, VK_F1, VK_F4, VK_F7}},
        {"far-F3", {VK_NEXT, VK_NEXT, VK_NEXT, VK_NEXT, VK_NEXT, VK_F3, VK_LEFT, VK_UP}},
    };
    for (const State& state : states) printTurn(state);
    return 0;
}
