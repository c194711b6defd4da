// Vertex and index buffers: creation checks, Lock/Unlock, descriptions, and the
// reference counts that decide which of device, buffer and Direct3D object outlives
// which. Run under the sanitizers, a wrong count shows up as a leak or a use after free.
#include <cstring>
#include <string>

#include "tests/gfx/device_fixture.h"

namespace {

using gfxtest::DeviceTest;

constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;

TEST_F(DeviceTest, BufferCreationChecks) {
    HANDLE shared = nullptr;
    const struct {
        const char* name;
        UINT length;
        DWORD usage;
        DWORD fvf;
        D3DPOOL pool;
        HANDLE* shared;
        HRESULT expected;
    } vertexCases[] = {
        {"as the viewer", 96, 0, kFvf, D3DPOOL_MANAGED, nullptr, D3D_OK},
        {"write-only default", 16, D3DUSAGE_WRITEONLY, kFvf, D3DPOOL_DEFAULT, nullptr, D3D_OK},
        {"raw bytes", 3, 0, 0, D3DPOOL_SYSTEMMEM, nullptr, D3D_OK},
        {"empty", 0, 0, kFvf, D3DPOOL_MANAGED, nullptr, D3DERR_INVALIDCALL},
        {"less than a vertex", 15, 0, kFvf, D3DPOOL_MANAGED, nullptr, D3DERR_INVALIDCALL},
        {"scratch", 96, 0, kFvf, D3DPOOL_SCRATCH, nullptr, D3DERR_INVALIDCALL},
        {"dynamic", 96, 0x200, kFvf, D3DPOOL_DEFAULT, nullptr, D3DERR_INVALIDCALL},
        {"other layout", 96, 0, D3DFVF_XYZ, D3DPOOL_MANAGED, nullptr, D3DERR_INVALIDCALL},
        {"shared", 96, 0, kFvf, D3DPOOL_DEFAULT, &shared, D3DERR_INVALIDCALL},
        {"4 GiB", 0xFFFFFFF0u, 0, kFvf, D3DPOOL_MANAGED, nullptr, D3DERR_OUTOFVIDEOMEMORY},
    };
    for (const auto& c : vertexCases) {
        IDirect3DVertexBuffer9* vb = nullptr;
        EXPECT_EQ(device->CreateVertexBuffer(c.length, c.usage, c.fvf, c.pool, &vb, c.shared),
                  c.expected)
            << c.name;
        EXPECT_EQ(vb != nullptr, SUCCEEDED(c.expected)) << c.name;
        if (vb != nullptr) vb->Release();
    }
    const struct {
        UINT length;
        D3DFORMAT format;
        HRESULT expected;
    } indexCases[] = {
        {72, D3DFMT_INDEX16, D3D_OK},
        {8, D3DFMT_INDEX32, D3D_OK},
        {7, D3DFMT_INDEX16, D3DERR_INVALIDCALL},
        {6, D3DFMT_INDEX32, D3DERR_INVALIDCALL},
        {0, D3DFMT_INDEX16, D3DERR_INVALIDCALL},
        {72, D3DFMT_D16, D3DERR_INVALIDCALL},
    };
    for (const auto& c : indexCases) {
        IDirect3DIndexBuffer9* ib = nullptr;
        EXPECT_EQ(device->CreateIndexBuffer(c.length, 0, c.format, D3DPOOL_MANAGED, &ib, nullptr),
                  c.expected)
            << c.length << " " << c.format;
        if (ib != nullptr) ib->Release();
    }
    EXPECT_EQ(device->CreateVertexBuffer(96, 0, kFvf, D3DPOOL_MANAGED, nullptr, nullptr),
              D3DERR_INVALIDCALL);
}

TEST_F(DeviceTest, LockGivesTheRequestedBytesAndUnlocksPair) {
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(96, 0, kFvf, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    std::uint8_t* whole = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, reinterpret_cast<void**>(&whole), 0), D3D_OK);
    for (int i = 0; i < 96; ++i) ASSERT_EQ(whole[i], 0) << i;  // new buffers start zeroed
    std::memset(whole, 0xAB, 96);
    const struct {
        UINT offset, size;
        bool ok;
    } locks[] = {{16, 32, true}, {0, 96, true}, {95, 1, true},           {96, 0, false},
                 {90, 7, false}, {40, 0, true}, {0xFFFFFFF0u, 32, false}};
    unsigned nested = 1;
    for (const auto& l : locks) {
        void* p = whole;
        EXPECT_EQ(vb->Lock(l.offset, l.size, &p, 0), l.ok ? D3D_OK : D3DERR_INVALIDCALL)
            << l.offset << "+" << l.size;
        EXPECT_EQ(p, l.ok ? whole + l.offset : nullptr);
        nested += l.ok;
    }
    EXPECT_EQ(vb->Lock(0, 0, nullptr, 0), D3DERR_INVALIDCALL);
    // Nested locks each need their own Unlock, and no more.
    for (unsigned i = 0; i < nested; ++i) EXPECT_EQ(vb->Unlock(), D3D_OK);
    EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL);
    // Contents persist across locks.
    std::uint8_t* again = nullptr;
    vb->Lock(0, 0, reinterpret_cast<void**>(&again), 0);
    EXPECT_EQ(again[95], 0xAB);
    vb->Unlock();

    D3DVERTEXBUFFER_DESC vd{};
    ASSERT_EQ(vb->GetDesc(&vd), D3D_OK);
    EXPECT_EQ(vd.Format, D3DFMT_VERTEXDATA);
    EXPECT_EQ(vd.Type, D3DRTYPE_VERTEXBUFFER);
    EXPECT_EQ(vd.Pool, D3DPOOL_MANAGED);
    EXPECT_EQ(vd.Size, 96u);
    EXPECT_EQ(vd.FVF, kFvf);
    vb->Release();

    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(device->CreateIndexBuffer(8, D3DUSAGE_WRITEONLY, D3DFMT_INDEX32, D3DPOOL_DEFAULT, &ib,
                                        nullptr),
              D3D_OK);
    D3DINDEXBUFFER_DESC id{};
    ASSERT_EQ(ib->GetDesc(&id), D3D_OK);
    EXPECT_EQ(id.Format, D3DFMT_INDEX32);
    EXPECT_EQ(id.Type, D3DRTYPE_INDEXBUFFER);
    EXPECT_EQ(id.Usage, D3DUSAGE_WRITEONLY);
    EXPECT_EQ(id.Pool, D3DPOOL_DEFAULT);
    EXPECT_EQ(id.Size, 8u);
    EXPECT_EQ(ib->Unlock(), D3DERR_INVALIDCALL);
    ib->Release();
}

TEST_F(DeviceTest, RetiredBuffersAreReusedAsNew) {
    IDirect3DVertexBuffer9* vb = nullptr;
    device->CreateVertexBuffer(96, 0, kFvf, D3DPOOL_MANAGED, &vb, nullptr);
    IDirect3DVertexBuffer9* const firstBuffer = vb;
    void* first = nullptr;
    vb->Lock(0, 0, &first, 0);
    std::memset(first, 0xCD, 96);
    // Retired while still locked and bound: the binding is the last reference.
    device->SetStreamSource(0, vb, 0, 16);
    vb->Release();
    device->SetStreamSource(0, nullptr, 0, 0);
    // The same size again, as the scene does every frame: the same object and storage
    // come back, but in the state of a new buffer.
    ASSERT_EQ(
        device->CreateVertexBuffer(96, D3DUSAGE_WRITEONLY, kFvf, D3DPOOL_DEFAULT, &vb, nullptr),
        D3D_OK);
    EXPECT_EQ(vb, firstBuffer);
    std::uint8_t* second = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, reinterpret_cast<void**>(&second), 0), D3D_OK);
    EXPECT_EQ(static_cast<void*>(second), first);
    for (int i = 0; i < 96; ++i) ASSERT_EQ(second[i], 0) << i;
    EXPECT_EQ(vb->Unlock(), D3D_OK);
    EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL);  // the old lock did not survive
    D3DVERTEXBUFFER_DESC desc{};
    vb->GetDesc(&desc);
    EXPECT_EQ(desc.Usage, D3DUSAGE_WRITEONLY);
    EXPECT_EQ(desc.Pool, D3DPOOL_DEFAULT);
    EXPECT_EQ(device->AddRef(), 3u);  // it holds the device again
    device->Release();
    EXPECT_EQ(vb->Release(), 0u);
    // A different size is a different buffer.
    IDirect3DVertexBuffer9* other = nullptr;
    device->CreateVertexBuffer(112, 0, kFvf, D3DPOOL_MANAGED, &other, nullptr);
    EXPECT_NE(other, firstBuffer);
    other->Release();
}

TEST_F(DeviceTest, ABufferHoldsItsDeviceAndABindingHoldsTheBuffer) {
    IDirect3DVertexBuffer9* vb = nullptr;
    device->CreateVertexBuffer(96, 0, kFvf, D3DPOOL_MANAGED, &vb, nullptr);
    EXPECT_EQ(device->AddRef(), 3u);  // ours, plus the buffer's
    EXPECT_EQ(device->Release(), 2u);
    IDirect3DDevice9* owner = nullptr;
    ASSERT_EQ(vb->GetDevice(&owner), D3D_OK);
    EXPECT_EQ(owner, device);
    EXPECT_EQ(owner->Release(), 2u);

    // With identity transforms: a clockwise triangle over the whole target, in green.
    struct {
        float x, y, z;
        D3DCOLOR color;
    } const kCover[3] = {
        {-1, 3, 0.5f, 0xFF00FF00}, {3, -1, 0.5f, 0xFF00FF00}, {-1, -1, 0.5f, 0xFF00FF00}};
    gfxtest::fill(vb, kCover, sizeof kCover);
    // A binding is the device's own hold: the counts the app sees leave it out.
    EXPECT_EQ(device->SetStreamSource(0, vb, 0, 16), D3D_OK);
    EXPECT_EQ(vb->AddRef(), 2u);  // the app's two
    EXPECT_EQ(vb->Release(), 1u);
    EXPECT_EQ(vb->Release(), 0u);  // only the binding is left
    EXPECT_EQ(vb->Release(), 0u);  // one too many changes nothing
    // The buffer still feeds draws with the data it was given.
    ASSERT_EQ(device->SetFVF(kFvf), D3D_OK);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x000000, 1.0f, 0);
    device->BeginScene();
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    device->EndScene();
    EXPECT_EQ(pixels()[kWidth * kHeight / 2] & 0xFFFFFFu, 0x00FF00u);
    // The app's last reference no longer holds the device.
    EXPECT_EQ(device->AddRef(), 2u);
    EXPECT_EQ(device->Release(), 1u);
    // Unbinding destroys it (a leak or use after free here shows under the sanitizers).
    EXPECT_EQ(device->SetStreamSource(0, nullptr, 0, 0), D3D_OK);
    EXPECT_EQ(device->SetStreamSource(1, nullptr, 0, 0), D3DERR_INVALIDCALL);
}

// A device of its own on an 8 × 8 window, and its Direct3D object in *d3d.
IDirect3DDevice9* ownDevice(IDirect3D9** d3d, HWND window = gfxtest::makeWindow(8, 8)) {
    std::string why;
    IDirect3DDevice9* device = test_support::createDevice(window, 8, 8, d3d, &why);
    EXPECT_NE(device, nullptr) << why;
    return device;
}

TEST(Lifetimes, DeviceGoingReleasesItsBindingsAndItsDirect3D) {
    win::headless::reset();
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = ownDevice(&d3d);
    ASSERT_NE(device, nullptr);
    // The Direct3D object first: the device keeps it alive.
    EXPECT_EQ(d3d->Release(), 1u);
    IDirect3D9* fromDevice = nullptr;
    ASSERT_EQ(device->GetDirect3D(&fromDevice), D3D_OK);
    EXPECT_EQ(fromDevice, d3d);
    EXPECT_EQ(fromDevice->GetAdapterCount(), 1u);
    EXPECT_EQ(fromDevice->Release(), 1u);

    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    device->CreateVertexBuffer(32, 0, kFvf, D3DPOOL_MANAGED, &vb, nullptr);
    device->CreateIndexBuffer(6, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr);
    device->SetStreamSource(0, vb, 0, 16);
    device->SetIndices(ib);
    device->SetIndices(ib);  // rebinding the bound buffer must not drop it
    EXPECT_EQ(vb->Release(), 0u);
    EXPECT_EQ(ib->Release(), 0u);
    // Bound buffers the app has let go do not keep the device: this is the last reference,
    // and it takes the buffers and the Direct3D object with it.
    EXPECT_EQ(device->Release(), 0u);
}

TEST(Lifetimes, BuffersOutliveTheAppsDeviceReference) {
    win::headless::reset();
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = ownDevice(&d3d);
    ASSERT_NE(device, nullptr);
    IDirect3DIndexBuffer9* ib = nullptr;
    device->CreateIndexBuffer(6, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr);
    device->SetIndices(ib);
    EXPECT_EQ(device->Release(), 1u);  // the buffer still holds it
    EXPECT_EQ(d3d->Release(), 1u);     // and the device holds this
    void* data = nullptr;
    EXPECT_EQ(ib->Lock(0, 0, &data, 0), D3D_OK);
    EXPECT_EQ(ib->Unlock(), D3D_OK);
    // Last app reference anywhere: buffer, device and Direct3D object all go.
    EXPECT_EQ(ib->Release(), 0u);
}

TEST_F(DeviceTest, BindingsRefuseForeignBuffers) {
    IDirect3D9* d3d2 = nullptr;
    IDirect3DDevice9* other = ownDevice(&d3d2, window);
    ASSERT_NE(other, nullptr);
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    other->CreateVertexBuffer(32, 0, kFvf, D3DPOOL_MANAGED, &vb, nullptr);
    other->CreateIndexBuffer(6, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr);
    EXPECT_EQ(device->SetStreamSource(0, vb, 0, 16), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetIndices(ib), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Release(), 0u);
    EXPECT_EQ(ib->Release(), 0u);
    EXPECT_EQ(other->Release(), 0u);
    EXPECT_EQ(d3d2->Release(), 0u);
}

}  // namespace
