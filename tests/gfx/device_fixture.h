// Shared set-up for the device tests: a headless window, a Direct3D object and a device
// made the way the viewer makes it, with a small back buffer so pixel checks stay fast.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "gfx/d3d9.h"
#include "gfx/sw/testing.h"
#include "win/headless/headless.h"

namespace gfxtest {

inline HWND makeWindow(int clientWidth, int clientHeight) {
    static const wchar_t* kClass = L"GfxTestClass";
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = kClass;
    RegisterClassExW(&wc);  // fails harmlessly when already registered
    return CreateWindowExW(0, kClass, L"gfx test", 0, 0, 0, clientWidth, clientHeight, nullptr,
                           nullptr, nullptr, nullptr);
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

class DeviceTest : public ::testing::Test {
protected:
    static constexpr UINT kWidth = 16;
    static constexpr UINT kHeight = 12;

    void SetUp() override {
        win::headless::reset();
        window = makeWindow(kWidth, kHeight);
        ASSERT_NE(window, nullptr);
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
        D3DPRESENT_PARAMETERS p = windowedParams(window, kWidth, kHeight);
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                    &p, &device),
                  D3D_OK);
        ASSERT_NE(device, nullptr);
    }

    void TearDown() override {
        if (device != nullptr) {
            EXPECT_EQ(device->Release(), 0u);
        }
        if (d3d != nullptr) {
            EXPECT_EQ(d3d->Release(), 0u);
        }
        win::headless::reset();
    }

    sw::RenderTarget target() { return sw::DeviceProbe::target(device); }

    std::vector<std::uint32_t> pixels() {
        const sw::RenderTarget t = target();
        return {t.color, t.color + t.width * t.height};
    }

    HWND window = nullptr;
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
};

}  // namespace gfxtest
