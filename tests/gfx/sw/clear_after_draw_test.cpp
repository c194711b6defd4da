// Whole Clears after draws, through the device: whatever was drawn, cleared by rectangles
// or written through target() before, a Clear leaves every colour and depth value of the
// back buffer at the cleared value. The device puts back only what it noted as written
// when the rest already holds that value, so each sequence is one that could trip it.
#include <gtest/gtest.h>

#include <cstdint>

#include "tests/gfx/device_fixture.h"
#include "tests/gfx/sw/canvas.h"

namespace {

using swtest::Vertex;

class ClearAfterDraw : public gfxtest::DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        if (HasFatalFailure()) return;
        D3DMATRIX identity{};
        identity._11 = identity._22 = identity._33 = identity._44 = 1.0f;
        device->SetTransform(D3DTS_WORLD, &identity);
        device->SetTransform(D3DTS_VIEW, &identity);
        device->SetTransform(D3DTS_PROJECTION, &identity);
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        // A triangle over most of the target reaching its right edge, and a line
        // along the bottom row's neighbourhood: writes on many rows and columns.
        const Vertex v[] = {
            {-0.9f, 0.9f, 0.3f, 0xFFFF0000},  {1.0f, 0.5f, 0.6f, 0xFF00FF00},
            {-0.2f, -0.8f, 0.9f, 0xFF0000FF}, {-1.0f, -0.95f, 0.2f, 0xFFFFFFFF},
            {1.0f, -0.95f, 0.2f, 0xFFFFFFFF},
        };
        ASSERT_EQ(device->CreateVertexBuffer(sizeof v, 0, D3DFVF_XYZ | D3DFVF_DIFFUSE,
                                             D3DPOOL_MANAGED, &vb, nullptr),
                  D3D_OK);
        gfxtest::fill(vb, v, sizeof v);
    }
    void TearDown() override {
        if (vb != nullptr) vb->Release();
        DeviceTest::TearDown();
    }

    // Draws the triangle and the line; the frame shown must differ from `background`.
    void draw(D3DCOLOR background) {
        device->BeginScene();
        device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
        device->SetStreamSource(0, vb, 0, sizeof(Vertex));
        device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1);
        device->DrawPrimitive(D3DPT_LINELIST, 3, 1);
        device->EndScene();
        EXPECT_LT(shownCount(background), kWidth * kHeight) << "the draw wrote nothing";
    }

    // Pixels of the presented back buffer equal to `value` (X8 byte set). Presenting
    // reads the back buffer without the caller getting write access to it.
    unsigned shownCount(D3DCOLOR value) {
        EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        unsigned n = 0;
        for (std::uint32_t p : win::headless::lastBackBuffer().pixels)
            n += p == (value | 0xFF000000u);
        return n;
    }

    void clear(DWORD flags, D3DCOLOR color, float z) {
        ASSERT_EQ(device->Clear(0, nullptr, flags, color, z, 0), D3D_OK);
    }

    // Every depth value, read last: target() makes the next Clear fill everything.
    unsigned depthCount(std::uint16_t value) {
        const sw::RenderTarget t = target();
        unsigned n = 0;
        for (int i = 0; i < t.width * t.height; ++i) n += t.depth[i] == value;
        return n;
    }

    static constexpr unsigned kAll = kWidth * kHeight;
    IDirect3DVertexBuffer9* vb = nullptr;
};

TEST_F(ClearAfterDraw, ClearToTheSameValuesPutsBackEverythingDrawn) {
    clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f);
    for (int frame = 0; frame < 3; ++frame) {
        draw(0xFF000000);
        clear(D3DCLEAR_TARGET, 0xFF000000, 1.0f);
        clear(D3DCLEAR_ZBUFFER, 0, 1.0f);
        EXPECT_EQ(shownCount(0xFF000000), kAll) << "frame " << frame;
    }
    EXPECT_EQ(depthCount(0xFFFF), kAll);
}

// Presents alternate between two colour buffers, each with its own record of what was
// drawn: the triangle moved wholly into the left half or the right, in an order that
// gives each buffer both sides in turn, and each frame shown must have nothing of the
// other side.
TEST_F(ClearAfterDraw, FramesInTurnShowOnlyTheirOwnDrawing) {
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
    for (int frame = 0; frame < 8; ++frame) {
        const bool left = (frame + 1) / 2 % 2 == 0;  // L R R L L R R L
        // x' = 0.45·x ∓ 0.5 puts the triangle (x in [-1, 1]) inside [-0.95, -0.05] or
        // [0.05, 0.95]; the line (x in [-1, 1]) goes with it.
        D3DMATRIX world{};
        world._11 = 0.45f;
        world._22 = world._33 = world._44 = 1.0f;
        world._41 = left ? -0.5f : 0.5f;
        device->SetTransform(D3DTS_WORLD, &world);
        clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f);
        draw(0xFF000000);  // presents
        const win::headless::Frame& shown = win::headless::lastBackBuffer();
        int leftLit = 0, rightLit = 0;
        for (int y = 0; y < shown.height; ++y) {
            for (int x = 0; x < shown.width; ++x) {
                if ((shown.pixels[y * shown.width + x] & 0xFFFFFFu) == 0) continue;
                (x < shown.width / 2 ? leftLit : rightLit)++;
            }
        }
        EXPECT_GT(left ? leftLit : rightLit, 0) << "frame " << frame;
        EXPECT_EQ(left ? rightLit : leftLit, 0) << "frame " << frame;
    }
}

TEST_F(ClearAfterDraw, DrawsBeforeTheFirstClearAreCleared) {
    draw(0xFF000000);  // onto the device's initial black and far depth
    clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00000000, 1.0f);  // X8 ignored: still black
    EXPECT_EQ(shownCount(0xFF000000), kAll);
    EXPECT_EQ(depthCount(0xFFFF), kAll);
}

TEST_F(ClearAfterDraw, ChangingTheClearValueFillsEverythingAndIsRememberedAfter) {
    clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f);
    draw(0xFF000000);
    clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF204060, 0.5f);
    EXPECT_EQ(shownCount(0xFF204060), kAll);
    draw(0xFF204060);
    clear(D3DCLEAR_TARGET, 0xFF204060, 0.0f);
    EXPECT_EQ(shownCount(0xFF204060), kAll);
    clear(D3DCLEAR_ZBUFFER, 0, 0.5f);
    EXPECT_EQ(depthCount(sw::toD16(0.5f)), kAll);
}

TEST_F(ClearAfterDraw, RectangleClearsAreCleared) {
    clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f);
    // A rectangle in the corner the draws never reach, in other values.
    const D3DRECT corner{0, 0, 3, 2};
    ASSERT_EQ(device->Clear(1, &corner, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FF, 0.25f, 0),
              D3D_OK);
    EXPECT_EQ(shownCount(0xFF0000FF), 6u);
    clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f);
    EXPECT_EQ(shownCount(0xFF000000), kAll);
    EXPECT_EQ(depthCount(0xFFFF), kAll);
}

TEST_F(ClearAfterDraw, WritesThroughTheTargetAreCleared) {
    clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f);
    draw(0xFF000000);
    clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f);
    // A caller that writes through target() is not seen by the pipeline's notes.
    sw::RenderTarget t = target();
    t.color[kAll - 1] = 0xFFFFFFFF;
    t.depth[kAll - 1] = 7;
    clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f);
    EXPECT_EQ(shownCount(0xFF000000), kAll);
    EXPECT_EQ(depthCount(0xFFFF), kAll);
}

TEST_F(ClearAfterDraw, DepthWrittenWithoutColourIsCleared) {
    clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f);
    // The buffers cleared apart: depth right after a draw that wrote it, colour after
    // a later draw that wrote colour alone.
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
    draw(0xFF000000);
    clear(D3DCLEAR_ZBUFFER, 0, 1.0f);
    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    draw(0xFF000000);
    clear(D3DCLEAR_TARGET, 0xFF000000, 1.0f);
    EXPECT_EQ(shownCount(0xFF000000), kAll);
    EXPECT_EQ(depthCount(0xFFFF), kAll);
}

}  // namespace
