// Frames from every kind of camera position the keys can reach: far, near, past the
// origin, inside the cube, off to the side. Each frame must complete, and wherever
// the cube's centre lies in front of the eye, inside the view and the eye is outside
// the cube, the pixel there must show the cube (its front faces are never culled).
// Every pixel that differs from the frame before lies where the present said it changed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "gfx/d3dx9math.h"
#include "scene/globals.h"
#include "scene/scene.h"
#include "tests/support/scene_window.h"
#include "win/headless/headless.h"

namespace {

struct Vec4 {
    float x, y, z, w;
};

Vec4 mul(const Vec4& v, const D3DXMATRIX& m) {
    return {v.x * m._11 + v.y * m._21 + v.z * m._31 + v.w * m._41,
            v.x * m._12 + v.y * m._22 + v.z * m._32 + v.w * m._42,
            v.x * m._13 + v.y * m._23 + v.z * m._33 + v.w * m._43,
            v.x * m._14 + v.y * m._24 + v.z * m._34 + v.w * m._44};
}

class CameraSweep : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(test_support::openSceneWindow(DefWindowProcW), nullptr); }
    void TearDown() override { test_support::closeSceneWindow(); }

    // Draws the frame at this angle and checks the cube's centre pixel when it must show.
    void check(float angle) {
        angleDeg = angle;
        const int before = win::headless::presentCount();
        drawFrame();
        ASSERT_EQ(win::headless::presentCount(), before + 1) << "the frame did not complete";
        checkChange();

        const D3DXVECTOR3 eye(camX, camY, camZ - 20.0f);
        const D3DXVECTOR3 at(0, 0, 0);
        const D3DXVECTOR3 up(0, 1, 0);
        if (eye.x == 0 && eye.z == 0) return;  // looking straight along up: no defined view

        D3DXMATRIX rx, ry, rz, t, view, projection;
        const float radians = angle * 0.017453292f;
        D3DXMatrixRotationX(&rx, radians);
        D3DXMatrixRotationY(&ry, radians);
        D3DXMatrixRotationZ(&rz, radians);
        D3DXMatrixTranslation(&t, 8, 8, 8);
        const D3DXMATRIX world = t * ((rz * ry) * rx);
        D3DXMatrixLookAtLH(&view, &eye, &at, &up);
        D3DXMatrixPerspectiveFovLH(&projection, 0.785398185f, 800.0f / 600.0f, 0.0f, 5.0f);

        // Is the eye inside the cube? Undo the turn: the rotation is orthonormal.
        const D3DXMATRIX turn = (rz * ry) * rx;
        // Row-vector rotation inverse is the transpose: local = R · eye.
        const float lx = turn._11 * eye.x + turn._12 * eye.y + turn._13 * eye.z;
        const float ly = turn._21 * eye.x + turn._22 * eye.y + turn._23 * eye.z;
        const float lz = turn._31 * eye.x + turn._32 * eye.y + turn._33 * eye.z;
        const bool inside =
            std::fabs(lx - 8) < 5.5f && std::fabs(ly - 8) < 5.5f && std::fabs(lz - 8) < 5.5f;

        const Vec4 clip = mul(mul(mul({0, 0, 0, 1}, world), view), projection);
        if (inside || clip.w < 0.5f) return;
        const float sx = (1 + clip.x / clip.w) * 400.0f;
        const float sy = (1 - clip.y / clip.w) * 300.0f;
        if (sx < 3 || sx > 796 || sy < 3 || sy > 596) return;

        const auto& frame = win::headless::lastBackBuffer();
        const std::uint32_t pixel =
            frame.pixels[static_cast<std::size_t>(std::lround(sy)) * 800 + std::lround(sx)] &
            0xFFFFFF;
        ++checked_;
        EXPECT_NE(pixel, 0u) << "cube missing at angle " << angle << ", eye (" << eye.x << ", "
                             << eye.y << ", " << eye.z << "), pixel (" << sx << ", " << sy << ")";
        EXPECT_NE(pixel, 0xFFFFFFu) << "an axis shows over the cube at angle " << angle;
    }

    // The frame against the one before, pixel by pixel, unless the present said all.
    void checkChange() {
        const std::vector<std::uint32_t>& now = win::headless::lastBackBuffer().pixels;
        const win::headless::Change& change = win::headless::lastChange();
        if (!change.all && previous_.size() == now.size()) {
            ++partial_;
            std::vector<bool> named(now.size());
            for (const RECT& r : change.rects) {
                for (LONG y = r.top; y < r.bottom; ++y) {
                    std::fill_n(named.begin() + y * 800 + r.left, r.right - r.left, true);
                }
            }
            for (std::size_t i = 0; i < now.size(); ++i) {
                ASSERT_TRUE(now[i] == previous_[i] || named[i])
                    << "pixel (" << i % 800 << ", " << i / 800 << ") changed unnamed";
            }
        }
        previous_ = now;
    }

    int checked_ = 0;
    int partial_ = 0;  // frames whose present named what changed
    std::vector<std::uint32_t> previous_;
};

TEST_F(CameraSweep, FromTheStartToFortyPageUps) {
    for (int ups = 0; ups <= 40; ++ups) {
        camX = 0.0f;
        camY = 0.0f;
        camZ = static_cast<float>(ups);
        for (int a = 0; a < 360; a += 11) check(static_cast<float>(a));
    }
    EXPECT_GT(checked_, 200);   // the check must actually have looked at the cube
    EXPECT_GT(partial_, 1000);  // and that of the change at frames that named it
}

TEST_F(CameraSweep, SidewaysAndUpAndDown) {
    for (int step = -20; step <= 20; step += 5) {
        camX = static_cast<float>(step);
        camY = -0.5f * static_cast<float>(step);
        camZ = 3.0f;
        for (int a = 0; a < 360; a += 11) check(static_cast<float>(a));
    }
    EXPECT_GT(checked_, 50);
    EXPECT_GT(partial_, 200);
}

}  // namespace
