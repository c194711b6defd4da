// The headless window and device set-up shared by every benchmark. Start-up mirrors
// WinMain step for step; the window procedure is DefWindowProcW since no benchmark
// dispatches the viewer's keys.
#include "bench/session.h"

#include "scene/globals.h"
#include "scene/scene.h"
#include "tests/support/window_device.h"
#include "win/headless/headless.h"

namespace bench {

namespace {

HWND sceneWindow = nullptr;

void drainMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

}  // namespace

std::string describeFailure(const char* what, HRESULT hr) {
    return test_support::describeFailure(what, hr);
}

HWND openWindow(int width, int height, std::string* why) {
    win::headless::reset();
    HWND hWnd = test_support::makeWindow(DefWindowProcW, width, height, why);
    if (hWnd == nullptr) {
        win::headless::reset();
        return nullptr;
    }
    ShowWindow(hWnd, SW_SHOWDEFAULT);
    // The size and show messages would otherwise wait in the queue for the whole run.
    drainMessages();
    return hWnd;
}

void closeWindow(HWND hWnd) {
    if (hWnd != nullptr) DestroyWindow(hWnd);
    drainMessages();
    win::headless::reset();
}

bool openScene(const Camera& camera, DWORD cullMode, std::string* why) {
    sceneWindow = openWindow(kWidth, kHeight, why);
    if (sceneWindow == nullptr) return false;
    const HRESULT hr = setupDevice(sceneWindow);
    if (FAILED(hr)) {
        *why = describeFailure("setupDevice", hr);
        closeWindow(sceneWindow);
        sceneWindow = nullptr;
        return false;
    }
    applyProjection(kWidth, kHeight);
    camX = camera.x;
    camY = camera.y;
    camZ = camera.z;
    angleDeg = 0.0f;
    if (cullMode != D3DCULL_CCW) {
        const HRESULT cull = device->SetRenderState(D3DRS_CULLMODE, cullMode);
        if (FAILED(cull)) {
            *why = describeFailure("SetRenderState(D3DRS_CULLMODE)", cull);
            closeScene();
            return false;
        }
    }
    return true;
}

void closeScene() {
    releaseDevice();
    closeWindow(sceneWindow);
    sceneWindow = nullptr;
    camX = camY = camZ = 0.0f;
    angleDeg = 0.0f;
}

IDirect3DDevice9* createDevice(HWND hWnd, IDirect3D9** direct3dOut, std::string* why) {
    IDirect3DDevice9* device = test_support::createDevice(hWnd, kWidth, kHeight, direct3dOut, why);
    // A device starts its row threads with its first present that nothing paces, as the
    // frames of the headless tools are; the stage benchmarks that never present would
    // otherwise time the caller's thread alone.
    if (device != nullptr) device->Present(nullptr, nullptr, nullptr, nullptr);
    return device;
}

}  // namespace bench
