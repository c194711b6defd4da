// The one way tests and tools run the viewer itself on the headless back end: the real
// WinMain, window procedure, scene and device, from the scene's start-up state, with
// keys pressed and the client resized before the first frame and a look after every
// present. Links app, scene, gfx and win_headless.
#pragma once

#include <functional>
#include <utility>
#include <vector>

#include "scene/globals.h"
#include "win/headless/headless.h"
#include "win/win32.h"

namespace test_support {

struct ViewerRun {
    std::vector<WPARAM> keys;  // WM_KEYDOWN for each, before the first frame
    int clientWidth = 0;       // with clientHeight, when not 0: a resize before the first frame
    int clientHeight = 0;
    int frames = 0;  // WM_CLOSE after this many presents; 0: something else ends the run
    // After the back end's reset, before WinMain: set its frame, failures, pacing.
    std::function<void()> prepare;
    // After every present and before the close, with the number of presents so far.
    std::function<void(HWND, int)> onPresent;
};

// WinMain's exit code. The back end keeps what the run left (the last frame, the
// present count) until the next reset.
inline int runViewerHeadless(ViewerRun run) {
    camX = camY = camZ = 0.0f;
    angleDeg = 0.0f;
    win::headless::reset();
    if (run.prepare) run.prepare();
    win::headless::Hooks hooks;
    hooks.onWindowCreated = [keys = run.keys, width = run.clientWidth,
                             height = run.clientHeight](HWND hWnd) {
        for (const WPARAM key : keys) PostMessageW(hWnd, WM_KEYDOWN, key, 1);
        if (width != 0 || height != 0) win::headless::setClientSize(hWnd, width, height);
    };
    hooks.onPresent = [frames = run.frames, look = std::move(run.onPresent)](HWND hWnd,
                                                                             int presents) {
        if (look) look(hWnd, presents);
        if (presents == frames) PostMessageW(hWnd, WM_CLOSE, 0, 0);
    };
    win::headless::setHooks(std::move(hooks));
    char cmdLine[] = "";
    return WinMain(GetModuleHandleW(nullptr), nullptr, cmdLine, SW_SHOWDEFAULT);
}

}  // namespace test_support
