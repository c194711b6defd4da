// Shared set-up for the device tests: a headless window, a Direct3D object and a device
// made the way the viewer makes it, with a small back buffer so pixel checks stay fast.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "gfx/d3d9.h"
#include "gfx/sw/testing.h"
#include "tests/support/window_device.h"
#include "win/headless/headless.h"

namespace gfxtest {

inline HWND makeWindow(int clientWidth, int clientHeight) {
    return test_support::makeWindow(DefWindowProcW, clientWidth, clientHeight);
}
using test_support::windowedParams;

// The first `bytes` of a vertex or index buffer set to those of `data`.
template <class Buffer>
void fill(Buffer* buffer, const void* data, std::size_t bytes) {
    void* p = nullptr;
    ASSERT_EQ(buffer->Lock(0, 0, &p, 0), D3D_OK);
    std::memcpy(p, data, bytes);
    buffer->Unlock();
}

class DeviceTest : public ::testing::Test {
protected:
    static constexpr UINT kWidth = 16;
    static constexpr UINT kHeight = 12;

    void SetUp() override {
        win::headless::reset();
        window = makeWindow(kWidth, kHeight);
        ASSERT_NE(window, nullptr);
        std::string why;
        device = test_support::createDevice(window, kWidth, kHeight, &d3d, &why);
        ASSERT_NE(device, nullptr) << why;
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
