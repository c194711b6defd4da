// The draw entries' validation: every misuse returns D3DERR_INVALIDCALL and leaves the
// back and depth buffers exactly as they were, and no draw reads outside a buffer.
#include <functional>

#include "tests/gfx/device_fixture.h"

namespace {

using gfxtest::fill;

constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;
constexpr D3DCOLOR kBackground = 0x123456;

struct ColoredVertex {
    float x, y, z;
    D3DCOLOR color;
};

// With identity transforms these are clip coordinates: two clockwise triangles that
// cover the whole target, so a draw that got through would change every pixel.
constexpr ColoredVertex kQuad[6] = {
    {-1, 1, 0.5f, 0xFF00FF00}, {1, 1, 0.5f, 0xFF00FF00},  {1, -1, 0.5f, 0xFF00FF00},
    {-1, 1, 0.5f, 0xFF00FF00}, {1, -1, 0.5f, 0xFF00FF00}, {-1, -1, 0.5f, 0xFF00FF00},
};
constexpr WORD kQuadIndices[6] = {0, 1, 2, 0, 2, 5};

struct Misuse {
    const char* name;
    std::function<HRESULT(IDirect3DDevice9*, IDirect3DVertexBuffer9*)> draw;
    bool setFvf = true;
};

// A device in the middle of a scene with the quad bound and ready to draw.
class DrawTest : public gfxtest::DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(device->CreateVertexBuffer(sizeof(kQuad), 0, kFvf, D3DPOOL_MANAGED, &vb, nullptr),
                  D3D_OK);
        fill(vb, kQuad, sizeof(kQuad));
        ASSERT_EQ(device->CreateIndexBuffer(sizeof(kQuadIndices), 0, D3DFMT_INDEX16,
                                            D3DPOOL_MANAGED, &ib, nullptr),
                  D3D_OK);
        fill(ib, kQuadIndices, sizeof(kQuadIndices));
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBackground, 1.0f, 0);
        device->SetStreamSource(0, vb, 0, sizeof(ColoredVertex));
        device->SetIndices(ib);
        device->BeginScene();
    }

    void TearDown() override {
        device->EndScene();  // may fail when a case ended the scene itself
        vb->Release();
        ib->Release();
        DeviceTest::TearDown();
    }

    // Each case on a fresh device (SetFVF cannot be undone): it returns `expected` and
    // leaves the back and depth buffers as they were.
    template <class Cases>
    void expectEachDrawsNothing(const Cases& cases, HRESULT expected) {
        for (const Misuse& m : cases) {
            TearDown();
            SetUp();
            if (m.setFvf) {
                ASSERT_EQ(device->SetFVF(kFvf), D3D_OK);
            }
            const std::vector<std::uint32_t> before = pixels();
            EXPECT_EQ(m.draw(device, vb), expected) << m.name;
            EXPECT_EQ(pixels(), before) << m.name;
            EXPECT_EQ(target().depth[0], 0xFFFF) << m.name;
        }
    }

    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
};

HRESULT list(IDirect3DDevice9* d, UINT start, UINT count) {
    return d->DrawPrimitive(D3DPT_TRIANGLELIST, start, count);
}

HRESULT indexed(IDirect3DDevice9* d, INT base, UINT min, UINT num, UINT start, UINT count) {
    return d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, base, min, num, start, count);
}

const Misuse kMisuses[] = {
    {"outside a scene", [](auto d, auto) { return d->EndScene(), list(d, 0, 2); }},
    {"no FVF", [](auto d, auto) { return list(d, 0, 2); }, false},
    {"stride 12", [](auto d, auto vb) { return d->SetStreamSource(0, vb, 0, 12), list(d, 0, 2); }},
    {"stride 20", [](auto d, auto vb) { return d->SetStreamSource(0, vb, 0, 20), list(d, 0, 2); }},
    {"no primitives", [](auto d, auto) { return list(d, 0, 0); }},
    {"points", [](auto d, auto) { return d->DrawPrimitive(D3DPT_POINTLIST, 0, 6); }},
    {"type 0", [](auto d, auto) { return d->DrawPrimitive(D3DPRIMITIVETYPE(0), 0, 2); }},
    {"type 7", [](auto d, auto) { return d->DrawPrimitive(D3DPRIMITIVETYPE(7), 0, 2); }},
    {"one vertex too many", [](auto d, auto) { return list(d, 1, 2); }},
    {"strip one too long",
     [](auto d, auto) { return d->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 5); }},
    {"line strip one too long",
     [](auto d, auto) { return d->DrawPrimitive(D3DPT_LINESTRIP, 0, 6); }},
    {"offset pushes past the end",
     [](auto d, auto vb) { return d->SetStreamSource(0, vb, 16, 16), list(d, 0, 2); }},
    // 3 × 0x55555556 is 2 in 32 bits; (0xFFFFFFFF + 6) × 16 wraps too.
    {"count wraps", [](auto d, auto) { return list(d, 0, 0x55555556u); }},
    {"start wraps", [](auto d, auto) { return list(d, 0xFFFFFFFFu, 2); }},
    {"indexed, no primitives", [](auto d, auto) { return indexed(d, 0, 0, 6, 0, 0); }},
    {"indexed, no vertices", [](auto d, auto) { return indexed(d, 0, 0, 0, 0, 2); }},
    {"nothing bound, no primitives",
     [](auto d, auto) { return d->SetStreamSource(0, nullptr, 0, 0), list(d, 0, 0); }},
    {"nothing bound, points",
     [](auto d, auto) {
         return d->SetStreamSource(0, nullptr, 0, 0), d->DrawPrimitive(D3DPT_POINTLIST, 0, 6);
     }},
    {"indices past the end", [](auto d, auto) { return indexed(d, 0, 0, 6, 1, 2); }},
    {"start index wraps", [](auto d, auto) { return indexed(d, 0, 0, 6, 0x80000000u, 2); }},
    {"index above the range", [](auto d, auto) { return indexed(d, 0, 0, 5, 0, 2); }},
    {"index below the range", [](auto d, auto) { return indexed(d, -1, 1, 5, 0, 2); }},
    {"range past the vertex buffer", [](auto d, auto) { return indexed(d, 1, 0, 6, 0, 2); }},
    {"negative base", [](auto d, auto) { return indexed(d, -1, 0, 6, 0, 2); }},
    {"huge base", [](auto d, auto) { return indexed(d, 0x7FFFFFFF, 0, 6, 0, 2); }},
    {"32-bit index out of range",
     [](auto d, auto) {
         IDirect3DIndexBuffer9* wide = nullptr;
         d->CreateIndexBuffer(24, 0, D3DFMT_INDEX32, D3DPOOL_MANAGED, &wide, nullptr);
         const DWORD indices[6] = {0, 1, 2, 0, 2, 0xFFFFFFFFu};
         fill(wide, indices, sizeof(indices));
         d->SetIndices(wide);
         wide->Release();  // the binding keeps it
         return indexed(d, 0, 0, 6, 0, 2);
     }},
};

TEST_F(DrawTest, EveryMisuseIsRefusedAndDrawsNothing) {
    expectEachDrawsNothing(kMisuses, D3DERR_INVALIDCALL);
}

// Direct3D 9's retail runtime does not check that anything is bound: a draw with no
// stream, or an indexed one with no index buffer, succeeds and draws nothing. Each case
// would read far outside the quad's buffers if it read anything at all.
TEST_F(DrawTest, DrawsWithNothingBoundSucceedAndDrawNothing) {
    const Misuse kUnbound[] = {
        {"no stream",
         [](auto d, auto) { return d->SetStreamSource(0, nullptr, 0, 0), list(d, 1000, 2); }},
        {"no stream, indexed",
         [](auto d, auto) {
             return d->SetStreamSource(0, nullptr, 0, 0), indexed(d, 1000, 0, 6, 0, 2);
         }},
        {"no index buffer",
         [](auto d, auto) { return d->SetIndices(nullptr), indexed(d, 0, 0, 6, 1000, 2); }},
        {"neither",
         [](auto d, auto) {
             d->SetStreamSource(0, nullptr, 0, 0);
             return d->SetIndices(nullptr), indexed(d, 0, 0, 6, 0, 2);
         }},
    };
    expectEachDrawsNothing(kUnbound, D3D_OK);
}

TEST_F(DrawTest, WellFormedDrawsAreAccepted) {
    ASSERT_EQ(device->SetFVF(kFvf), D3D_OK);
    EXPECT_EQ(list(device, 0, 2), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 4), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLEFAN, 2, 2), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_LINELIST, 0, 3), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_LINESTRIP, 0, 5), D3D_OK);
    EXPECT_EQ(indexed(device, 0, 0, 6, 0, 2), D3D_OK);
    // The second triangle alone, its vertices counted from slot 0.
    EXPECT_EQ(indexed(device, 0, 0, 6, 3, 1), D3D_OK);
    // Locked buffers may be drawn from, as with a managed buffer in Direct3D 9.
    void* p = nullptr;
    vb->Lock(0, 0, &p, 0);
    EXPECT_EQ(list(device, 0, 2), D3D_OK);
    vb->Unlock();
}

}  // namespace

// Through the real pipeline: identity transforms make the quad's corners the target's
// corners, so its two triangles cover every pixel centre, the shared edge once.
TEST_F(DrawTest, FullScreenQuadCoversTheTarget) {
    ASSERT_EQ(device->SetFVF(kFvf), D3D_OK);
    ASSERT_EQ(list(device, 0, 2), D3D_OK);
    const sw::RenderTarget t = target();
    for (int i = 0; i < t.width * t.height; ++i) {
        ASSERT_EQ(t.color[i] & 0xFFFFFFu, 0x00FF00u) << i;
        ASSERT_NEAR(t.depth[i], 0x8000, 2) << i;  // z/w = 0.5
    }
}

// world × view × projection, in that order: world halves x, view moves right by 0.5
// (so x spans [0, 1], the right half), projection halves y (rows 3..8 of 12).
TEST_F(DrawTest, TransformsApplyWorldThenViewThenProjection) {
    ASSERT_EQ(device->SetFVF(kFvf), D3D_OK);
    D3DMATRIX world{}, view{}, projection{};
    world._11 = 0.5f, world._22 = world._33 = world._44 = 1.0f;
    view._11 = view._22 = view._33 = view._44 = 1.0f, view._41 = 0.5f;
    projection._11 = projection._33 = projection._44 = 1.0f, projection._22 = 0.5f;
    device->SetTransform(D3DTS_WORLD, &world);
    device->SetTransform(D3DTS_VIEW, &view);
    device->SetTransform(D3DTS_PROJECTION, &projection);
    ASSERT_EQ(list(device, 0, 2), D3D_OK);
    const sw::RenderTarget t = target();
    for (int y = 0; y < t.height; ++y) {
        for (int x = 0; x < t.width; ++x) {
            const bool covered = x >= 8 && y >= 3 && y < 9;
            EXPECT_EQ(t.color[y * t.width + x] & 0xFFFFFFu, covered ? 0x00FF00u : kBackground)
                << x << "," << y;
        }
    }
}

// Index i names vertex BaseVertexIndex + i: three red decoys come first, and only the
// four blue corners after them may reach the target.
TEST_F(DrawTest, IndexedDrawsCountFromTheBaseVertex) {
    ASSERT_EQ(device->SetFVF(kFvf), D3D_OK);
    const D3DCOLOR red = 0xFFFF0000, blue = 0xFF0000FF;
    const ColoredVertex vertices[7] = {
        {-1, 1, 0, red},    {1, 1, 0, red},      {1, -1, 0, red},      {-1, 1, 0.5f, blue},
        {1, 1, 0.5f, blue}, {1, -1, 0.5f, blue}, {-1, -1, 0.5f, blue},
    };
    IDirect3DVertexBuffer9* corners = nullptr;
    ASSERT_EQ(
        device->CreateVertexBuffer(sizeof(vertices), 0, kFvf, D3DPOOL_MANAGED, &corners, nullptr),
        D3D_OK);
    fill(corners, vertices, sizeof(vertices));
    device->SetStreamSource(0, corners, 0, sizeof(ColoredVertex));
    corners->Release();
    const struct {
        INT base;
        UINT min;
        WORD indices[6];
    } cases[] = {{3, 0, {0, 1, 2, 0, 2, 3}}, {2, 1, {1, 2, 3, 1, 3, 4}}};
    for (const auto& c : cases) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET, kBackground, 1.0f, 0);
        fill(ib, c.indices, sizeof(c.indices));
        ASSERT_EQ(indexed(device, c.base, c.min, 4, 0, 2), D3D_OK) << c.base;
        const sw::RenderTarget t = target();
        for (int i = 0; i < t.width * t.height; ++i) {
            ASSERT_EQ(t.color[i] & 0xFFFFFFu, 0x0000FFu) << "base " << c.base << " pixel " << i;
        }
    }
}
