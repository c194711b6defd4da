// Device lifetime and projection: created once after the window is shown, the
// projection set at start and on every resize, released once after the loop.
#include <cstring>

#include "gfx/d3dx9math.h"
#include "scene/globals.h"
#include "scene/scene.h"

HRESULT setupDevice(HWND hWnd) {
    direct3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (direct3d == nullptr) return D3DERR_NOTAVAILABLE;

    D3DPRESENT_PARAMETERS d3dpp;
    std::memset(&d3dpp, 0, sizeof(d3dpp));
    d3dpp.BackBufferWidth = 800;
    d3dpp.BackBufferHeight = 600;
    d3dpp.BackBufferFormat = D3DFMT_X8R8G8B8;
    d3dpp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    d3dpp.hDeviceWindow = hWnd;
    d3dpp.Windowed = TRUE;
    d3dpp.EnableAutoDepthStencil = TRUE;
    d3dpp.AutoDepthStencilFormat = D3DFMT_D16;
    d3dpp.PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;

    const HRESULT hr = direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, hWnd,
                                              D3DCREATE_SOFTWARE_VERTEXPROCESSING, &d3dpp, &device);
    if (FAILED(hr) || device == nullptr) {
        device = nullptr;
        direct3d->Release();
        direct3d = nullptr;
        return FAILED(hr) ? hr : D3DERR_NOTAVAILABLE;
    }

    // Vertices carry their own colours; with lighting on and no lights they would be black.
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    return D3D_OK;
}

void applyProjection(int width, int height) {
    // Win32 sends a size before the device exists (start-up sets the projection once
    // it does), and a minimised window reports 0 × 0: neither has an aspect ratio.
    if (device == nullptr || width <= 0 || height <= 0) return;

    const float aspect = static_cast<float>(static_cast<double>(width) / height);
    D3DXMATRIX matProjection;
    // Near 0 puts every point in front of the eye at depth 1.0, and far 5 then cuts
    // nothing: later draws cover earlier ones, with or without the depth test.
    D3DXMatrixPerspectiveFovLH(&matProjection, 0.785398185f, aspect, 0.0f, 5.0f);
    device->SetTransform(D3DTS_PROJECTION, &matProjection);
}

void releaseDevice() {
    if (vertexBuffer != nullptr) vertexBuffer->Release();
    if (indexBuffer != nullptr) indexBuffer->Release();
    vertexBuffer = nullptr;
    indexBuffer = nullptr;

    if (device != nullptr) device->Release();
    device = nullptr;
    if (direct3d != nullptr) direct3d->Release();
    direct3d = nullptr;
}
