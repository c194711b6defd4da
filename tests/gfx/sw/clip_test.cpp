// Clipping: triangles crossing or behind the eye plane draw only what lies in front and
// nothing mirrored, seams stay closed after cutting, vertices on the far plane (z == w)
// are kept, and NaN, infinite or huge coordinates neither crash nor spill.
#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <string>

#include "tests/gfx/sw/canvas.h"

namespace {

using swtest::Canvas;
using swtest::Vertex;

constexpr int kSize = 64;
constexpr D3DCOLOR kWhite = 0xFFFFFFFFu;

struct P3 {
    double x, y, w;  // clip x, y and w; clipMatrix() sets z = w
};

double det(const std::array<double, 3>& a, const std::array<double, 3>& b,
           const std::array<double, 3>& c) {
    return a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) +
           a[2] * (b[0] * c[1] - b[1] * c[0]);
}

// Ground truth by ray casting: the eye ray through screen point (sx, sy) is
// (u·λ, v·λ, λ) in clip space; the point is covered when that ray meets the triangle
// in front of the eye (λ > 0). Nothing behind the eye can ever count.
bool rayHits(const std::array<P3, 3>& t, double sx, double sy) {
    const double u = 2.0 * sx / kSize - 1.0, v = 1.0 - 2.0 * sy / kSize;
    const std::array<double, 3> e1 = {t[1].x - t[0].x, t[1].y - t[0].y, t[1].w - t[0].w};
    const std::array<double, 3> e2 = {t[2].x - t[0].x, t[2].y - t[0].y, t[2].w - t[0].w};
    const std::array<double, 3> d = {-u, -v, -1.0};
    const std::array<double, 3> r = {-t[0].x, -t[0].y, -t[0].w};
    // Columns e1, e2, d times (s, t, λ) = r.
    auto col = [](const std::array<double, 3>& a, const std::array<double, 3>& b,
                  const std::array<double, 3>& c) {
        return det({a[0], b[0], c[0]}, {a[1], b[1], c[1]}, {a[2], b[2], c[2]});
    };
    const double D = col(e1, e2, d);
    if (D == 0) return false;
    const double s = col(r, e2, d) / D, tt = col(e1, r, d) / D, lambda = col(e1, e2, r) / D;
    return lambda > 0 && s >= 0 && tt >= 0 && s + tt <= 1;
}

// Pixels whose whole neighbourhood is inside must be drawn, pixels whose whole
// neighbourhood is outside must not; the thin band along the edges is left to the
// rasterization rules tested elsewhere. Returns how many pixels were required drawn.
int expectMatchesRayCast(const Canvas& canvas, const std::array<P3, 3>& t,
                         const std::string& what) {
    int required = 0;
    canvas.each([&](int x, int y) {
        int hits = 0;
        for (double dx : {-0.6, 0.0, 0.6}) {
            for (double dy : {-0.6, 0.0, 0.6}) hits += rayHits(t, x + dx, y + dy);
        }
        if (hits == 9) {
            ++required;
            EXPECT_TRUE(canvas.drawn(x, y)) << what << ": missing " << x << "," << y;
        } else if (hits == 0) {
            EXPECT_FALSE(canvas.drawn(x, y)) << what << ": stray " << x << "," << y;
        }
    });
    return required;
}

std::vector<Vertex> toVertices(const std::array<P3, 3>& t, D3DCOLOR color = kWhite) {
    std::vector<Vertex> v;
    v.reserve(t.size());
    for (const P3& p : t) v.push_back({float(p.x), float(p.y), float(p.w), color});
    return v;
}

struct EyePlaneCase {
    std::string name;
    std::array<P3, 3> t;
    bool anything;  // whether some part lies in front of the eye and on screen
};

class EyePlane : public ::testing::TestWithParam<EyePlaneCase> {};

TEST_P(EyePlane, DrawsOnlyWhatLiesInFront) {
    const EyePlaneCase& c = GetParam();
    Canvas canvas(kSize, kSize);
    canvas.draw(swtest::unlitState(swtest::clipMatrix()), D3DPT_TRIANGLELIST, 1, toVertices(c.t));
    const int required = expectMatchesRayCast(canvas, c.t, c.name);
    if (c.anything) {
        EXPECT_GT(required, 20);
    } else {
        EXPECT_EQ(canvas.drawnCount(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Triangles, EyePlane,
    ::testing::Values(
        EyePlaneCase{"InFront", {{{-0.5, -0.5, 1}, {0.5, -0.5, 2}, {0, 0.5, 1.5}}}, true},
        EyePlaneCase{"OneBehindBelow", {{{-0.5, -0.5, 1}, {0.5, -0.5, 1}, {0, -1, -1}}}, true},
        EyePlaneCase{"OneBehindAbove", {{{-0.5, -0.5, 1}, {0.5, -0.5, 1}, {0, 1, -1}}}, true},
        EyePlaneCase{"TwoBehind", {{{0, 0.2, 1}, {-1, -1, -1}, {1, -1, -2}}}, true},
        EyePlaneCase{"OneOnTheEyePlane", {{{-0.5, -0.5, 1}, {0.5, -0.5, 1}, {0.3, 0.7, 0}}}, true},
        // Its plane holds the eye, so it is seen edge-on and covers no area.
        EyePlaneCase{"ThroughTheEyeItself", {{{-0.5, -0.5, 1}, {0.5, -0.5, 1}, {0, 0, 0}}}, false},
        EyePlaneCase{
            "WideRangeOfW", {{{-0.001, -0.001, 0.002}, {500, -400, 1000}, {0, 900, 1000}}}, true},
        // Entirely behind: dividing anyway would draw these mirrored on screen.
        EyePlaneCase{"AllBehind", {{{-0.5, -0.5, -1}, {0.5, -0.5, -1}, {0, 0.5, -1}}}, false},
        EyePlaneCase{"AllBehindLarge", {{{-5, -5, -1}, {5, -5, -1}, {0, 5, -2}}}, false},
        EyePlaneCase{"AllOnTheEyePlane", {{{-1, -1, 0}, {1, -1, 0}, {0, 1, 0}}}, false}),
    [](const auto& info) { return info.param.name; });

// A floor (clip y = −1) from behind the eye to far ahead, as a mesh of quads split in
// two, drawn one triangle at a time: inside the floor's image every pixel is hit once,
// cut seams included, and nothing of the part behind the eye shows above the horizon.
class FloorMesh : public ::testing::TestWithParam<std::vector<double>> {};

TEST_P(FloorMesh, CutSeamsAreHitExactlyOnce) {
    const std::vector<double>& zs = GetParam();
    const double xs[] = {-2, -1, 0, 1, 2};
    std::vector<int> count(kSize * kSize, 0);
    Canvas canvas(kSize, kSize);
    const auto state = swtest::unlitState(swtest::clipMatrix());
    std::vector<std::array<P3, 3>> triangles;
    for (std::size_t j = 0; j + 1 < zs.size(); ++j) {
        for (int i = 0; i + 1 < 5; ++i) {
            const P3 a{xs[i], -1, zs[j]}, b{xs[i + 1], -1, zs[j]}, c{xs[i + 1], -1, zs[j + 1]},
                d{xs[i], -1, zs[j + 1]};
            triangles.push_back({a, b, c});
            triangles.push_back({a, c, d});
        }
    }
    for (const auto& t : triangles) {
        canvas.clear();
        canvas.draw(state, D3DPT_TRIANGLELIST, 1, toVertices(t));
        canvas.eachDrawn([&](int x, int y) { ++count[y * kSize + x]; });
    }
    int inside = 0;
    canvas.each([&](int x, int y) {
        const int n = count[y * kSize + x];
        EXPECT_LE(n, 1) << "hit twice: " << x << "," << y;
        // Above the horizon (screen y < 32) is the mirror image of the part behind.
        if (y < kSize / 2) {
            EXPECT_EQ(n, 0) << "mirrored: " << x << "," << y;
        }
        // Away from the floor's outline every centre must be covered.
        bool all = true;
        for (double dx : {-0.6, 0.0, 0.6}) {
            for (double dy : {-0.6, 0.0, 0.6}) {
                bool any = false;
                for (const auto& t : triangles) any = any || rayHits(t, x + dx, y + dy);
                all = all && any;
            }
        }
        if (all) {
            ++inside;
            EXPECT_EQ(n, 1) << "gap: " << x << "," << y;
        }
    });
    EXPECT_GT(inside, 200);
}

INSTANTIATE_TEST_SUITE_P(Depths, FloorMesh,
                         ::testing::Values(std::vector<double>{-1, 0.5, 2, 5, 10},
                                           std::vector<double>{-2, 0, 1, 4, 10},
                                           std::vector<double>{-3, -0.25, 0.25, 1.5, 3}));

// z == w puts a vertex exactly on the far plane, which is inside: a projection with a
// near distance of 0 does this to every vertex in front of the eye.
struct FarPlaneCase {
    float zScale;  // clip z = zScale · w
    bool drawn;
};

class FarAndNear : public ::testing::TestWithParam<FarPlaneCase> {};

TEST_P(FarAndNear, BoundariesAreInside) {
    const auto& c = GetParam();
    Canvas canvas(kSize, kSize);
    const std::array<P3, 3> t = {{{-0.5, -0.5, 3}, {5, -2, 7}, {0, 6, 11}}};
    canvas.draw(swtest::unlitState(swtest::clipMatrix(c.zScale)), D3DPT_TRIANGLELIST, 1,
                toVertices(t));
    if (c.drawn) {
        EXPECT_GT(expectMatchesRayCast(canvas, t, "boundary"), 20);
    } else {
        EXPECT_EQ(canvas.drawnCount(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Planes, FarAndNear,
                         ::testing::Values(FarPlaneCase{1.0f, true}, FarPlaneCase{0.0f, true},
                                           FarPlaneCase{1.001f, false},
                                           FarPlaneCase{-0.001f, false}));

TEST(FarPlane, DepthOneFromZEqualsWStoresFFFFAndLaterDrawsCoverEarlier) {
    Canvas canvas(kSize, kSize);
    const auto state = swtest::unlitState(swtest::clipMatrix());  // z == w
    const std::array<P3, 3> t = {{{-0.5, -0.5, 0.37}, {5, -2, 7.3}, {0, 6, 11.9}}};
    canvas.draw(state, D3DPT_TRIANGLELIST, 1, toVertices(t, 0xFF102030u));
    canvas.draw(state, D3DPT_TRIANGLELIST, 1, toVertices(t, 0xFF405060u));
    ASSERT_GT(canvas.drawnCount(), 100);
    canvas.eachDrawn([&](int x, int y) {
        EXPECT_EQ(canvas.at(x, y), 0x405060u);
        EXPECT_EQ(canvas.depthAt(x, y), 0xFFFF);
    });
}

// Positions Direct3D leaves undefined (NaN, ±inf) draw nothing; huge finite ones are
// clipped like any other. Either way nothing lands outside the target.
struct BadCase {
    std::string name;
    float value;
    bool finite;
};

class BadCoordinates : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadCoordinates, NoCrashNoSpill) {
    const BadCase& c = GetParam();
    const auto state = swtest::unlitState(swtest::clipMatrix());
    for (int slot = 0; slot < 3; ++slot) {  // x, y or w of the first vertex
        std::array<P3, 3> t = {{{0, 0.5, 1}, {-0.5, -0.5, 1}, {0.5, -0.5, 1}}};
        auto v = toVertices(t);
        (slot == 0 ? v[0].x : slot == 1 ? v[0].y : v[0].z) = c.value;
        // A canvas with a fence after it: the target is the first kSize² pixels.
        std::vector<std::uint32_t> color(kSize * kSize + 256, 0xDEADBEEFu);
        std::vector<std::uint16_t> depth(kSize * kSize + 256, 0xBEEF);
        sw::RenderTarget target{color.data(), depth.data(), kSize, kSize};
        sw::clearColor(target, swtest::kBackground);
        sw::clearDepth(target, 1.0f);
        for (D3DPRIMITIVETYPE type : {D3DPT_TRIANGLELIST, D3DPT_LINESTRIP}) {
            sw::Scratch scratch;
            sw::drawPrimitives(state, target,
                               swtest::drawCall(type, type == D3DPT_LINESTRIP ? 2 : 1, v), scratch);
        }
        for (int i = kSize * kSize; i < kSize * kSize + 256; ++i) {
            ASSERT_EQ(color[i], 0xDEADBEEFu);
            ASSERT_EQ(depth[i], 0xBEEF);
        }
        if (!c.finite) {
            // The whole triangle and both lines touching vertex 0 are dropped; only
            // the line from vertex 1 to vertex 2 remains, on row 48.
            for (int i = 0; i < kSize * kSize; ++i) {
                if ((color[i] & 0xFFFFFF) != 0) {
                    EXPECT_EQ(i / kSize, 48) << c.name << " " << i;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, BadCoordinates,
    ::testing::Values(BadCase{"NaN", std::numeric_limits<float>::quiet_NaN(), false},
                      BadCase{"Inf", std::numeric_limits<float>::infinity(), false},
                      BadCase{"MinusInf", -std::numeric_limits<float>::infinity(), false},
                      BadCase{"Huge30", 1e30f, true}, BadCase{"MinusHuge30", -1e30f, true},
                      BadCase{"Huge38", 1e38f, true}, BadCase{"MinusHuge38", -3e38f, true},
                      BadCase{"Tiny", 1e-38f, true}),
    [](const auto& info) { return info.param.name; });

}  // namespace
