// Device creation and state: the checks CreateDevice makes, the Direct3D 9 defaults,
// which render-state values the subset takes, transforms, Clear and scene bracketing.
#include <limits>

#include "tests/gfx/device_fixture.h"

namespace {

using gfxtest::DeviceTest;
// Devices of their own, made beside the fixture's from its Direct3D object.
using CreateDevice = DeviceTest;
using DeviceDefaults = DeviceTest;
using gfxtest::makeWindow;
using gfxtest::windowedParams;

TEST(Direct3DCreate9, OnlyTheSdkVersionOfTheHeader) {
    EXPECT_EQ(Direct3DCreate9(31), nullptr);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    EXPECT_EQ(d3d->GetAdapterCount(), 1u);
    EXPECT_EQ(d3d->AddRef(), 2u);
    EXPECT_EQ(d3d->Release(), 1u);
    EXPECT_EQ(d3d->Release(), 0u);
}

// What a CreateDevice case may change from the viewer's own call.
struct Request {
    D3DPRESENT_PARAMETERS p;
    UINT adapter = 0;
    D3DDEVTYPE type = D3DDEVTYPE_HAL;
    DWORD flags = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
};

TEST_F(CreateDevice, ChecksLikeDirect3D9) {
    const DWORD sw = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    const DWORD hw = D3DCREATE_HARDWARE_VERTEXPROCESSING;
    const struct {
        const char* name;
        void (*change)(Request&);
        HRESULT expected;
    } cases[] = {
        {"as the viewer", [](Request&) {}, D3D_OK},
        {"reference device", [](Request& r) { r.type = D3DDEVTYPE_REF; }, D3D_OK},
        {"hardware vertices", [](Request& r) { r.flags = hw; }, D3D_OK},
        {"pure hardware", [](Request& r) { r.flags = hw | D3DCREATE_PUREDEVICE; }, D3D_OK},
        {"unknown format", [](Request& r) { r.p.BackBufferFormat = D3DFMT_UNKNOWN; }, D3D_OK},
        {"immediate", [](Request& r) { r.p.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE; },
         D3D_OK},
        {"no depth buffer", [](Request& r) { r.p.EnableAutoDepthStencil = FALSE; }, D3D_OK},
        {"second adapter", [](Request& r) { r.adapter = 1; }, D3DERR_INVALIDCALL},
        {"software device", [](Request& r) { r.type = D3DDEVTYPE_SW; }, D3DERR_INVALIDCALL},
        {"no vertex processing", [](Request& r) { r.flags = 0; }, D3DERR_INVALIDCALL},
        {"two vertex processings", [](Request& r) { r.flags = sw | hw; }, D3DERR_INVALIDCALL},
        {"pure software", [](Request& r) { r.flags = sw | D3DCREATE_PUREDEVICE; },
         D3DERR_INVALIDCALL},
        {"full screen", [](Request& r) { r.p.Windowed = FALSE; }, D3DERR_NOTAVAILABLE},
        {"16-bit colour", [](Request& r) { r.p.BackBufferFormat = D3DFMT_R5G6B5; },
         D3DERR_NOTAVAILABLE},
        {"two back buffers", [](Request& r) { r.p.BackBufferCount = 2; }, D3DERR_INVALIDCALL},
        {"multisampled", [](Request& r) { r.p.MultiSampleType = D3DMULTISAMPLE_TYPE(2); },
         D3DERR_INVALIDCALL},
        {"swap effect 0", [](Request& r) { r.p.SwapEffect = D3DSWAPEFFECT(0); },
         D3DERR_INVALIDCALL},
        {"D24S8 depth", [](Request& r) { r.p.AutoDepthStencilFormat = D3DFMT_D24S8; },
         D3DERR_NOTAVAILABLE},
        {"interval two", [](Request& r) { r.p.PresentationInterval = 2; }, D3DERR_INVALIDCALL},
        {"refresh rate", [](Request& r) { r.p.FullScreen_RefreshRateInHz = 60; },
         D3DERR_INVALIDCALL},
        {"wider than 8192", [](Request& r) { r.p.BackBufferWidth = 8193; }, D3DERR_INVALIDCALL},
        {"no window", [](Request& r) { r.p.hDeviceWindow = nullptr; }, D3DERR_INVALIDCALL},
        {"dead window",
         [](Request& r) {
             r.p.hDeviceWindow = makeWindow(8, 8);
             DestroyWindow(r.p.hDeviceWindow);
         },
         D3DERR_INVALIDCALL},
    };
    for (const auto& c : cases) {
        Request r{windowedParams(window, kWidth, kHeight)};
        c.change(r);
        // The focus window is null so "no window" has nothing to fall back on.
        // A failing CreateDevice must still overwrite the out-pointer with NULL.
        IDirect3DDevice9* const sentinel = reinterpret_cast<IDirect3DDevice9*>(&r);
        IDirect3DDevice9* made = sentinel;
        EXPECT_EQ(d3d->CreateDevice(r.adapter, r.type, nullptr, r.flags, &r.p, &made), c.expected)
            << c.name;
        EXPECT_EQ(made != nullptr, SUCCEEDED(c.expected)) << c.name;
        if (made != nullptr && made != sentinel) {
            EXPECT_EQ(made->Release(), 0u) << c.name;
        }
    }
    D3DPRESENT_PARAMETERS p = windowedParams(window, kWidth, kHeight);
    IDirect3DDevice9* made = nullptr;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, sw, nullptr, &made), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, sw, &p, nullptr), D3DERR_INVALIDCALL);
}

TEST_F(CreateDevice, ZeroSizeTakesTheClientAreaAndIsWrittenBack) {
    D3DPRESENT_PARAMETERS p = windowedParams(nullptr, 0, 0);
    p.BackBufferFormat = D3DFMT_UNKNOWN;
    IDirect3DDevice9* made = nullptr;
    // hDeviceWindow is null, so the focus window becomes the device window.
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, makeWindow(320, 200),
                                D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &made),
              D3D_OK);
    EXPECT_EQ(p.BackBufferWidth, 320u);
    EXPECT_EQ(p.BackBufferHeight, 200u);
    EXPECT_EQ(p.BackBufferFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(p.BackBufferCount, 1u);
    const sw::RenderTarget t = sw::DeviceProbe::target(made);
    EXPECT_EQ(t.width, 320);
    EXPECT_EQ(t.height, 200);
    EXPECT_NE(t.depth, nullptr);
    EXPECT_EQ(made->Release(), 0u);
}

TEST_F(DeviceTest, StartsWithDirect3D9Defaults) {
    const std::pair<D3DRENDERSTATETYPE, DWORD> defaults[] = {
        {D3DRS_ZENABLE, D3DZB_TRUE},  // the device has an automatic depth buffer
        {D3DRS_ZWRITEENABLE, TRUE},
        {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
        {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},
        {D3DRS_CULLMODE, D3DCULL_CCW},
        {D3DRS_LIGHTING, TRUE},
        {D3DRS_LASTPIXEL, TRUE},
        {D3DRS_FILLMODE, D3DFILL_SOLID},
        {D3DRS_DITHERENABLE, FALSE},
        {D3DRS_ALPHABLENDENABLE, FALSE},
    };
    for (const auto& [state, value] : defaults) {
        DWORD got = 0xDEAD;
        EXPECT_EQ(device->GetRenderState(state, &got), D3D_OK);
        EXPECT_EQ(got, value) << "state " << state;
    }
    const D3DTRANSFORMSTATETYPE transforms[] = {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION};
    for (const D3DTRANSFORMSTATETYPE t : transforms) {
        D3DMATRIX m{};
        EXPECT_EQ(device->GetTransform(t, &m), D3D_OK);
        for (int i = 0; i < 16; ++i) EXPECT_EQ(m.m[i / 4][i % 4], i % 5 == 0 ? 1.0f : 0.0f);
    }
    DWORD fvf = 1;
    EXPECT_EQ(device->GetFVF(&fvf), D3D_OK);
    EXPECT_EQ(fvf, 0u);
}

TEST_F(DeviceDefaults, DepthTestingIsOffWithoutADepthBuffer) {
    D3DPRESENT_PARAMETERS p = windowedParams(window, kWidth, kHeight);
    p.EnableAutoDepthStencil = FALSE;
    IDirect3DDevice9* made = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p,
                                &made),
              D3D_OK);
    DWORD z = 7;
    made->GetRenderState(D3DRS_ZENABLE, &z);
    EXPECT_EQ(z, static_cast<DWORD>(D3DZB_FALSE));
    // Nothing to clear either.
    EXPECT_EQ(made->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(made->Release(), 0u);
}

TEST_F(DeviceTest, RenderStatesTakeOnlyWhatTheSubsetHonours) {
    struct Case {
        D3DRENDERSTATETYPE state;
        DWORD value;
        bool accepted;
    } cases[] = {
        {D3DRS_ZENABLE, D3DZB_FALSE, true},
        {D3DRS_ZENABLE, D3DZB_USEW, false},
        {D3DRS_ZWRITEENABLE, FALSE, true},
        {D3DRS_ZWRITEENABLE, 2, false},
        {D3DRS_ZFUNC, D3DCMP_ALWAYS, true},
        {D3DRS_ZFUNC, D3DCMP_NEVER, true},
        {D3DRS_ZFUNC, 0, false},
        {D3DRS_ZFUNC, 9, false},
        {D3DRS_SHADEMODE, D3DSHADE_FLAT, true},
        {D3DRS_SHADEMODE, D3DSHADE_PHONG, true},
        {D3DRS_SHADEMODE, 0, false},
        {D3DRS_SHADEMODE, 4, false},
        {D3DRS_CULLMODE, D3DCULL_NONE, true},
        {D3DRS_CULLMODE, D3DCULL_CW, true},
        {D3DRS_CULLMODE, 0, false},
        {D3DRS_CULLMODE, 4, false},
        {D3DRS_LIGHTING, FALSE, true},
        {D3DRS_LASTPIXEL, FALSE, true},
        {D3DRS_FILLMODE, D3DFILL_WIREFRAME, false},
        {D3DRS_FILLMODE, D3DFILL_POINT, false},
        {D3DRS_DITHERENABLE, TRUE, true},
        {D3DRS_ALPHABLENDENABLE, TRUE, false},
        {static_cast<D3DRENDERSTATETYPE>(60), 0, false},  // a state the subset lacks
    };
    for (const Case& c : cases) {
        DWORD before = 0xBEEF;
        const bool known = device->GetRenderState(c.state, &before) == D3D_OK;
        EXPECT_EQ(device->SetRenderState(c.state, c.value),
                  c.accepted ? D3D_OK : D3DERR_INVALIDCALL)
            << "state " << c.state << " value " << c.value;
        DWORD after = 0xBEEF;
        if (known) device->GetRenderState(c.state, &after);
        EXPECT_EQ(after, c.accepted ? c.value : before) << "state " << c.state;
        if (c.accepted) device->SetRenderState(c.state, before);  // back to the default
    }
    EXPECT_EQ(device->GetRenderState(D3DRS_LIGHTING, nullptr), D3DERR_INVALIDCALL);
}

TEST_F(DeviceTest, TransformsAndFvfRefuseWhatIsNotThere) {
    D3DMATRIX m{};
    m._41 = 3.0f;
    m._44 = 1.0f;
    EXPECT_EQ(device->SetTransform(D3DTS_VIEW, &m), D3D_OK);
    D3DMATRIX got{};
    device->GetTransform(D3DTS_VIEW, &got);
    EXPECT_EQ(got._41, 3.0f);
    EXPECT_EQ(device->SetTransform(D3DTS_WORLDMATRIX(1), &m), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(16), &m), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTransform(D3DTS_WORLD, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetTransform(D3DTS_PROJECTION, nullptr), D3DERR_INVALIDCALL);

    EXPECT_EQ(device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE), D3D_OK);
    EXPECT_EQ(device->SetFVF(D3DFVF_XYZ), D3DERR_INVALIDCALL);
    DWORD fvf = 0;
    device->GetFVF(&fvf);
    EXPECT_EQ(fvf, D3DFVF_XYZ | D3DFVF_DIFFUSE);
}

TEST_F(DeviceTest, ClearFillsColourAndD16Depth) {
    const sw::RenderTarget t = target();
    const int n = t.width * t.height;
    // Alpha is not stored in an X8R8G8B8 target: the colour must come out the same.
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00336699, 0.5f, 0),
              D3D_OK);
    for (int i = 0; i < n; ++i) {
        ASSERT_EQ(t.color[i] & 0x00FFFFFFu, 0x00336699u) << i;
        ASSERT_NEAR(t.depth[i], 0x8000, 2) << i;
    }
    const struct {
        float z;
        int d16;
    } depths[] = {{1.0f, 0xFFFF}, {0.0f, 0}, {0.25f, 0x4000}};
    for (const auto& d : depths) {
        device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, d.z, 0);
        EXPECT_NEAR(t.depth[0], d.d16, 1) << d.z;
        EXPECT_EQ(t.depth[n - 1], t.depth[0]);
    }
    EXPECT_EQ(t.color[0] & 0x00FFFFFFu, 0x00336699u);  // a depth clear leaves colour alone
}

// A count with no rectangle array clears the whole target, as a count of 0 does.
TEST_F(DeviceTest, ClearWithRectanglesMissingClearsEverything) {
    for (const DWORD count : {1u, 3u}) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x000000, 1.0f, 0);
        ASSERT_EQ(
            device->Clear(count, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00FF8000, 0.0f, 0),
            D3D_OK)
            << count;
        const sw::RenderTarget t = target();
        for (int i = 0; i < t.width * t.height; ++i) {
            ASSERT_EQ(t.color[i] & 0xFFFFFFu, 0xFF8000u) << count << ": " << i;
            ASSERT_EQ(t.depth[i], 0) << count << ": " << i;
        }
    }
}

TEST_F(DeviceTest, ClearRectanglesAreClippedToTheTarget) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x000000, 1.0f, 0);
    // One rectangle hangs off the top-left corner, one is empty, one is off-screen.
    const D3DRECT rects[] = {{-5, -5, 3, 2}, {6, 6, 6, 9}, {100, 100, 120, 120}};
    ASSERT_EQ(device->Clear(3, rects, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFFFF, 0.0f, 0),
              D3D_OK);
    const sw::RenderTarget t = target();
    for (int y = 0; y < t.height; ++y) {
        for (int x = 0; x < t.width; ++x) {
            const bool inside = x < 3 && y < 2;
            EXPECT_EQ(t.color[y * t.width + x] & 0xFFFFFFu, inside ? 0xFFFFFFu : 0u)
                << x << "," << y;
            EXPECT_EQ(t.depth[y * t.width + x], inside ? 0 : 0xFFFF) << x << "," << y;
        }
    }
}

TEST_F(DeviceTest, ClearMisuseIsRefusedAndChangesNothing) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x123456, 1.0f, 0);
    const std::vector<std::uint32_t> before = pixels();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        DWORD flags;
        float z;
    } cases[] = {
        {D3DCLEAR_STENCIL, 1.0f},                    // D16 has no stencil
        {D3DCLEAR_TARGET | D3DCLEAR_STENCIL, 1.0f},  // nor with colour
        {D3DCLEAR_ZBUFFER, 1.5f},
        {D3DCLEAR_ZBUFFER, -0.1f},
        {D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, nan},
        {0, 1.0f},
        {0x10, 1.0f},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(device->Clear(0, nullptr, c.flags, 0xFF0000, c.z, 0), D3DERR_INVALIDCALL)
            << c.flags;
    }
    EXPECT_EQ(pixels(), before);
    EXPECT_EQ(target().depth[0], 0xFFFF);
}

TEST_F(DeviceTest, ScenesDoNotNest) {
    EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->EndScene(), D3D_OK);
    EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->BeginScene(), D3D_OK);  // a new frame after a finished one
    EXPECT_EQ(device->EndScene(), D3D_OK);
}

}  // namespace
