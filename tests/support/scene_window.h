// A fresh headless back end with one 800 × 600 window and the scene's device on it, as
// WinMain sets them up, for tests that drive the scene without the message loop.
#pragma once

#include "scene/globals.h"
#include "scene/scene.h"
#include "tests/support/window_device.h"
#include "win/headless/headless.h"

namespace test_support {

// NULL when the window or the device could not be made.
inline HWND openSceneWindow(WNDPROC windowProc) {
    win::headless::reset();
    HWND hWnd = makeWindow(windowProc, 800, 600);
    if (hWnd == nullptr || FAILED(setupDevice(hWnd))) return nullptr;
    applyProjection(800, 600);
    camX = camY = camZ = 0.0f;
    angleDeg = 0.0f;
    return hWnd;
}

inline void closeSceneWindow() {
    releaseDevice();
    camX = camY = camZ = 0.0f;
    angleDeg = 0.0f;
    win::headless::reset();
}

}  // namespace test_support
