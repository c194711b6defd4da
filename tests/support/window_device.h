// The one way tests and benchmarks open a window and a device on the headless back end,
// as WinMain does: a window of a registered class with a client of the asked size, and
// a device with the parameters the viewer asks for. Resetting the back end is the
// caller's choice, so a test can open a second window beside the first.
#pragma once

#include <cstdio>
#include <string>

#include "gfx/d3d9.h"
#include "tests/support/window_class.h"
#include "win/error.h"
#include "win/win32.h"

namespace test_support {

// A window whose procedure is `proc`, with a client of width × height, its class
// registered on first use. Null with the reason in *why (when given).
inline HWND makeWindow(WNDPROC proc, int width, int height, std::string* why = nullptr) {
    // One class per procedure: the name carries its address.
    wchar_t name[40];
    std::swprintf(name, sizeof name / sizeof name[0], L"TestWindow%p",
                  reinterpret_cast<void*>(proc));
    registerClass(name, proc);  // fails harmlessly when already registered
    HWND hWnd = CreateWindowExW(0, name, L"test window", WS_OVERLAPPEDWINDOW, 0, 0, width, height,
                                nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (hWnd == nullptr && why != nullptr) {
        *why = std::string("CreateWindowExW failed: ") + win::lastErrorText();
    }
    return hWnd;
}

// The viewer's parameters, at the given size.
inline D3DPRESENT_PARAMETERS windowedParams(HWND window, UINT width, UINT height) {
    D3DPRESENT_PARAMETERS p{};
    p.BackBufferWidth = width;
    p.BackBufferHeight = height;
    p.BackBufferFormat = D3DFMT_X8R8G8B8;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.hDeviceWindow = window;
    p.Windowed = TRUE;
    p.EnableAutoDepthStencil = TRUE;
    p.AutoDepthStencilFormat = D3DFMT_D16;
    p.PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
    return p;
}

// "name failed: 0x88760868" for an HRESULT.
inline std::string describeFailure(const char* what, HRESULT hr) {
    char text[96];
    std::snprintf(text, sizeof(text), "%s failed: 0x%08X", what, static_cast<unsigned>(hr));
    return text;
}

// A Direct3D object and a width × height device on hWnd, made as the viewer makes
// them. Null with the reason in *why; release the device, then *direct3dOut.
inline IDirect3DDevice9* createDevice(HWND hWnd, UINT width, UINT height, IDirect3D9** direct3dOut,
                                      std::string* why) {
    *direct3dOut = nullptr;
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (d3d == nullptr) {
        *why = "Direct3DCreate9 returned NULL";
        return nullptr;
    }
    D3DPRESENT_PARAMETERS p = windowedParams(hWnd, width, height);
    IDirect3DDevice9* device = nullptr;
    const HRESULT hr = d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, hWnd,
                                         D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &device);
    if (FAILED(hr) || device == nullptr) {
        *why = describeFailure("CreateDevice", hr);
        d3d->Release();
        return nullptr;
    }
    *direct3dOut = d3d;
    return device;
}

}  // namespace test_support
