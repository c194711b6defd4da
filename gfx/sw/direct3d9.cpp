// Direct3DCreate9 and the Direct3D object: one adapter, and CreateDevice, which checks
// the presentation parameters as Direct3D 9 does before making the software device.
// The device's own behaviour is in device.cpp; nothing here touches pixels.
#include <algorithm>
#include <new>

#include "gfx/sw/device.h"

namespace sw {

namespace {

constexpr DWORD kVertexProcessingFlags = D3DCREATE_SOFTWARE_VERTEXPROCESSING |
                                         D3DCREATE_HARDWARE_VERTEXPROCESSING |
                                         D3DCREATE_MIXED_VERTEXPROCESSING;

HRESULT checkBehaviorFlags(DWORD flags) {
    const DWORD vertexProcessing = flags & kVertexProcessingFlags;
    // Exactly one way of processing vertices.
    if (vertexProcessing == 0 || (vertexProcessing & (vertexProcessing - 1)) != 0) {
        return D3DERR_INVALIDCALL;
    }
    // A pure device needs hardware vertex processing.
    if ((flags & D3DCREATE_PUREDEVICE) != 0 &&
        vertexProcessing != D3DCREATE_HARDWARE_VERTEXPROCESSING) {
        return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

// Checks `p` for a windowed device on `window` and fills in what Direct3D 9 fills in:
// a zero width or height becomes the client's, an unknown format the display's
// (X8R8G8B8), a zero back-buffer count one.
HRESULT checkPresentParameters(D3DPRESENT_PARAMETERS& p, HWND window) {
    if (!p.Windowed) return D3DERR_NOTAVAILABLE;  // there is no exclusive full-screen mode
    if (p.FullScreen_RefreshRateInHz != 0) return D3DERR_INVALIDCALL;  // windowed: must be 0
    if (p.BackBufferFormat != D3DFMT_UNKNOWN && p.BackBufferFormat != D3DFMT_X8R8G8B8) {
        return D3DERR_NOTAVAILABLE;
    }
    if (p.BackBufferCount > 1) return D3DERR_INVALIDCALL;
    if (p.MultiSampleType != D3DMULTISAMPLE_NONE || p.MultiSampleQuality != 0) {
        return D3DERR_INVALIDCALL;
    }
    if (p.SwapEffect < D3DSWAPEFFECT_DISCARD || p.SwapEffect > D3DSWAPEFFECT_COPY) {
        return D3DERR_INVALIDCALL;
    }
    if (p.EnableAutoDepthStencil) {
        if (p.AutoDepthStencilFormat == D3DFMT_UNKNOWN) return D3DERR_INVALIDCALL;
        if (p.AutoDepthStencilFormat != D3DFMT_D16) return D3DERR_NOTAVAILABLE;
    }
    if (p.PresentationInterval != D3DPRESENT_INTERVAL_DEFAULT &&
        p.PresentationInterval != D3DPRESENT_INTERVAL_ONE &&
        p.PresentationInterval != D3DPRESENT_INTERVAL_IMMEDIATE) {
        return D3DERR_INVALIDCALL;  // windowed devices cannot wait for 2–4 refreshes
    }
    if (p.Flags != 0) return D3DERR_INVALIDCALL;  // no presentation flag is in the subset

    if (p.BackBufferWidth == 0 || p.BackBufferHeight == 0) {
        RECT client{};
        if (!GetClientRect(window, &client)) return D3DERR_INVALIDCALL;
        // A minimised window has no client area; ours: fall back to one pixel.
        if (p.BackBufferWidth == 0)
            p.BackBufferWidth = std::max<LONG>(client.right - client.left, 1);
        if (p.BackBufferHeight == 0)
            p.BackBufferHeight = std::max<LONG>(client.bottom - client.top, 1);
    }
    if (p.BackBufferWidth > kMaxBackBufferSide || p.BackBufferHeight > kMaxBackBufferSide) {
        return D3DERR_INVALIDCALL;
    }
    if (p.BackBufferFormat == D3DFMT_UNKNOWN) p.BackBufferFormat = D3DFMT_X8R8G8B8;
    if (p.BackBufferCount == 0) p.BackBufferCount = 1;
    return D3D_OK;
}

class Direct3D9 final : public IDirect3D9 {
public:
    ULONG AddRef() override { return ++refs_; }

    ULONG Release() override {
        const ULONG remaining = --refs_;
        if (remaining == 0) delete this;
        return remaining;
    }

    UINT GetAdapterCount() override { return 1; }

    HRESULT CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow,
                         DWORD BehaviorFlags, D3DPRESENT_PARAMETERS* pPresentationParameters,
                         IDirect3DDevice9** ppReturnedDeviceInterface) override {
        if (ppReturnedDeviceInterface == nullptr) return D3DERR_INVALIDCALL;
        *ppReturnedDeviceInterface = nullptr;
        if (pPresentationParameters == nullptr) return D3DERR_INVALIDCALL;
        if (Adapter != D3DADAPTER_DEFAULT) return D3DERR_INVALIDCALL;
        // The software device stands in for both the hardware and the reference rasterizer.
        if (DeviceType != D3DDEVTYPE_HAL && DeviceType != D3DDEVTYPE_REF) {
            return D3DERR_INVALIDCALL;
        }
        if (const HRESULT hr = checkBehaviorFlags(BehaviorFlags); FAILED(hr)) return hr;
        // The device window is hDeviceWindow, or the focus window when that is NULL.
        HWND window = pPresentationParameters->hDeviceWindow;
        if (window == nullptr) window = hFocusWindow;
        if (window == nullptr || !IsWindow(window)) return D3DERR_INVALIDCALL;

        D3DPRESENT_PARAMETERS params = *pPresentationParameters;
        if (const HRESULT hr = checkPresentParameters(params, window); FAILED(hr)) return hr;
        try {
            *ppReturnedDeviceInterface = new Device(this, window, params);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        // Direct3D 9 writes the sizes and format it chose back into the caller's record.
        *pPresentationParameters = params;
        return D3D_OK;
    }

private:
    ~Direct3D9() = default;  // through Release only

    ULONG refs_ = 1;
};

}  // namespace

}  // namespace sw

IDirect3D9* WINAPI Direct3DCreate9(UINT SDKVersion) {
    if (SDKVersion != D3D_SDK_VERSION) return nullptr;
    return new (std::nothrow) sw::Direct3D9();
}
