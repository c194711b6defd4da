// The headless window and device set-up shared by every benchmark. Start-up mirrors
// WinMain step for step; the window procedure is DefWindowProcW since no benchmark
// dispatches the viewer's keys.
#include "bench/session.h"

#include <cstdio>
#include <cstring>

#include "scene/globals.h"
#include "scene/scene.h"
#include "win/error.h"
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
    char text[96];
    std::snprintf(text, sizeof(text), "%s failed: 0x%08X", what, static_cast<unsigned>(hr));
    return text;
}

HWND openWindow(int width, int height, std::string* why) {
    win::headless::reset();
    WNDCLASSEXW wc;
    std::memset(&wc, 0, sizeof(wc));
    wc.cbSize = sizeof(WNDCLASSEXW);
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"BenchWindow";
    RegisterClassExW(&wc);
    HWND hWnd = CreateWindowExW(0, L"BenchWindow", L"viewer-bench", WS_OVERLAPPEDWINDOW, 0, 0,
                                width, height, nullptr, nullptr, wc.hInstance, nullptr);
    if (hWnd == nullptr) {
        *why = std::string("CreateWindowExW failed: ") + win::lastErrorText();
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
    *direct3dOut = nullptr;
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (d3d == nullptr) {
        *why = "Direct3DCreate9 returned NULL";
        return nullptr;
    }
    D3DPRESENT_PARAMETERS pp;
    std::memset(&pp, 0, sizeof(pp));
    pp.BackBufferWidth = kWidth;
    pp.BackBufferHeight = kHeight;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.hDeviceWindow = hWnd;
    pp.Windowed = TRUE;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D16;
    IDirect3DDevice9* dev = nullptr;
    const HRESULT hr = d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, hWnd,
                                         D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &dev);
    if (FAILED(hr) || dev == nullptr) {
        *why = describeFailure("CreateDevice", hr);
        d3d->Release();
        return nullptr;
    }
    *direct3dOut = d3d;
    return dev;
}

}  // namespace bench
