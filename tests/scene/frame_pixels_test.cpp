// The first frame's pixels on the real device, against colours worked out from the
// camera, the projection and the cube's corner colours. At 0° the cube is only moved
// to (8, 8, 8), so its near face lies in the plane z = 3 and its far face in z = 13,
// both square to the view: a pixel there is found by undoing the projection.
#include <gtest/gtest.h>

#include <cmath>

#include "gfx/d3dx9math.h"
#include "scene/globals.h"
#include "scene/scene.h"
#include "tests/support/scene_window.h"
#include "win/headless/headless.h"

namespace {

struct Rgb {
    double r, g, b;
};

Rgb rgbOf(D3DCOLOR c) {
    return {double((c >> 16) & 0xFF), double((c >> 8) & 0xFF), double(c & 0xFF)};
}

// The cube's corners in its own space (edge 10) and their colours.
const double kCorner[8][2] = {{-5, 5}, {5, 5}, {-5, -5}, {5, -5},
                              {-5, 5}, {5, 5}, {-5, -5}, {5, -5}};
const D3DCOLOR kColour[8] = {0xFFFF0000, 0xFFFFFF00, 0xFFFFFF00, 0xFF00FFFF,
                             0xFFFF00FF, 0xFF00FF00, 0xFF00FF00, 0xFF0000FF};

// Where the centre of back-buffer pixel (px, py) meets the plane z = planeZ, in the
// cube's own x, y (the cube sits at (8, 8, 8) at 0°).
void unproject(int px, int py, double planeZ, double* lx, double* ly) {
    const double yScale = 1.0 / std::tan(0.785398185 / 2.0);
    const double xScale = yScale / (800.0 / 600.0);
    const double depth = planeZ + 20.0;  // the eye is at z = -20
    *lx = (px / 400.0 - 1.0) * depth / xScale - 8.0;
    *ly = (1.0 - py / 300.0) * depth / yScale - 8.0;
}

// Barycentric weights of (x, y) in the corner triangle (a, b, c); all >= 0 inside.
bool weights(int a, int b, int c, double x, double y, double w[3]) {
    const double* A = kCorner[a];
    const double* B = kCorner[b];
    const double* C = kCorner[c];
    const double area = (B[0] - A[0]) * (C[1] - A[1]) - (B[1] - A[1]) * (C[0] - A[0]);
    w[1] = ((x - A[0]) * (C[1] - A[1]) - (y - A[1]) * (C[0] - A[0])) / area;
    w[2] = ((B[0] - A[0]) * (y - A[1]) - (B[1] - A[1]) * (x - A[0])) / area;
    w[0] = 1.0 - w[1] - w[2];
    return w[0] >= 0 && w[1] >= 0 && w[2] >= 0;
}

// The colour a face shows at a pixel: of its two triangles the later one wins, and
// flat shading takes a triangle's first corner.
Rgb faceColour(const int tris[2][3], double planeZ, int px, int py, bool flat) {
    double lx = 0;
    double ly = 0;
    unproject(px, py, planeZ, &lx, &ly);
    for (int t = 1; t >= 0; --t) {
        double w[3];
        if (!weights(tris[t][0], tris[t][1], tris[t][2], lx, ly, w)) continue;
        if (flat) return rgbOf(kColour[tris[t][0]]);
        Rgb out{0, 0, 0};
        for (int k = 0; k < 3; ++k) {
            const Rgb c = rgbOf(kColour[tris[t][k]]);
            out.r += w[k] * c.r;
            out.g += w[k] * c.g;
            out.b += w[k] * c.b;
        }
        return out;
    }
    ADD_FAILURE() << "pixel (" << px << ", " << py << ") is not on the face";
    return {0, 0, 0};
}

const int kNearFace[2][3] = {{0, 1, 2}, {2, 1, 3}};  // z = -h, drawn first
const int kFarFace[2][3] = {{7, 5, 6}, {6, 5, 4}};   // z = +h

class FirstFrame : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(test_support::openSceneWindow(DefWindowProcW), nullptr); }
    void TearDown() override { test_support::closeSceneWindow(); }

    const win::headless::Frame& draw() {
        angleDeg = 0.0f;
        drawFrame();
        return win::headless::lastBackBuffer();
    }
    static std::uint32_t at(const win::headless::Frame& f, int x, int y) {
        return f.pixels[static_cast<std::size_t>(y) * f.width + x] & 0x00FFFFFF;
    }
    static void expectColour(const win::headless::Frame& f, int x, int y, Rgb want) {
        const Rgb got = rgbOf(at(f, x, y));
        EXPECT_NEAR(got.r, want.r, 1.0) << "red at (" << x << ", " << y << ")";
        EXPECT_NEAR(got.g, want.g, 1.0) << "green at (" << x << ", " << y << ")";
        EXPECT_NEAR(got.b, want.b, 1.0) << "blue at (" << x << ", " << y << ")";
    }
};

// Pixels of the near face and of the far face, one in each of the face's triangles,
// away from every edge and from the faces at x = 13 and y = 3.
const int kProbes[2][2] = {{560, 120}, {700, 180}};
const int kFarProbes[2][2] = {{560, 120}, {640, 200}};

TEST_F(FirstFrame, AxesStartAtTheCentreOnBlack) {
    const auto& f = draw();
    ASSERT_EQ(f.width, 800);
    ASSERT_EQ(f.height, 600);
    EXPECT_EQ(at(f, 400, 300), 0xFFFFFFu);  // the origin
    EXPECT_EQ(at(f, 450, 300), 0xFFFFFFu);  // +x runs right along row 300
    EXPECT_EQ(at(f, 799, 300), 0xFFFFFFu);  // and leaves the screen
    EXPECT_EQ(at(f, 450, 301), 0u);         // one pixel thick
    EXPECT_EQ(at(f, 450, 299), 0u);
    EXPECT_EQ(at(f, 400, 250), 0xFFFFFFu);  // +y runs up column 400
    EXPECT_EQ(at(f, 401, 250), 0u);
    EXPECT_EQ(at(f, 399, 250), 0u);
    EXPECT_EQ(at(f, 350, 300), 0u);  // nothing left of or below the origin
    EXPECT_EQ(at(f, 400, 350), 0u);
    EXPECT_EQ(at(f, 100, 500), 0u);
}

TEST_F(FirstFrame, NearFaceBlendsItsCornerColours) {
    const auto& f = draw();
    for (const auto& p : kProbes)
        expectColour(f, p[0], p[1], faceColour(kNearFace, 3.0, p[0], p[1], false));
}

TEST_F(FirstFrame, FlatShadingTakesEachTrianglesFirstCorner) {
    device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    const auto& f = draw();
    expectColour(f, 560, 120, rgbOf(0xFFFF0000));  // triangle 0, 1, 2: red
    expectColour(f, 700, 180, rgbOf(0xFFFFFF00));  // triangle 2, 1, 3: yellow
}

TEST_F(FirstFrame, ClockwiseCullingShowsTheFarFaceFromInside) {
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    const auto& f = draw();
    for (const auto& p : kFarProbes)
        expectColour(f, p[0], p[1], faceColour(kFarFace, 13.0, p[0], p[1], false));
}

TEST_F(FirstFrame, NoCullingDrawsBothAndTheLaterFaceWins) {
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    const auto& f = draw();
    for (const auto& p : kFarProbes)
        expectColour(f, p[0], p[1], faceColour(kFarFace, 13.0, p[0], p[1], false));
}

TEST_F(FirstFrame, DepthBufferingOnOrOffGivesTheSameFrame) {
    // Every depth is 1.0 with a near distance of 0, so the test always passes.
    const std::vector<std::uint32_t> withDepth = draw().pixels;
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    const std::vector<std::uint32_t> withoutDepth = draw().pixels;
    EXPECT_TRUE(withDepth == withoutDepth);
}

}  // namespace
