// Vertex colours on screen: flat takes the first vertex (also once clipping has cut it
// away), Gouraud matches the barycentric blend, perspective-correct when w differs, and
// lighting with no lights gives black.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>

#include "gfx/sw/stages.h"
#include "tests/gfx/sw/canvas.h"

namespace {

using swtest::Canvas;
using swtest::Vertex;

constexpr int kSize = 32;
constexpr D3DCOLOR kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u, kBlue = 0xFF0000FFu;

int channel(std::uint32_t c, int shift) {
    return static_cast<int>((c >> shift) & 0xFF);
}

TEST(FlatShading, EveryPixelTakesTheFirstVertexColour) {
    const std::array<Vertex, 3> base = {
        {{2, 2, 0.5f, kRed}, {28, 4, 0.5f, kGreen}, {6, 27, 0.5f, kBlue}}};
    for (int first = 0; first < 3; ++first) {
        const std::vector<Vertex> v = {base[first], base[(first + 1) % 3], base[(first + 2) % 3]};
        auto state = swtest::unlitState(swtest::screenMatrix(kSize, kSize));
        state.shadeMode = D3DSHADE_FLAT;
        Canvas canvas(kSize, kSize);
        canvas.draw(state, D3DPT_TRIANGLELIST, 1, v);
        ASSERT_GT(canvas.drawnCount(), 100);
        canvas.eachDrawn([&](int x, int y) { EXPECT_EQ(canvas.at(x, y), v[0].color & 0xFFFFFFu); });
    }
}

// The first vertex lies behind the eye, so the near plane cuts it away; its colour
// still covers the part that is drawn.
TEST(FlatShading, SurvivesTheNearPlaneCuttingTheFirstVertexAway) {
    const std::vector<Vertex> v = {
        {0.0f, 1.0f, -1.0f, kRed}, {-0.5f, -0.5f, 1.0f, kGreen}, {0.5f, -0.5f, 1.0f, kBlue}};
    auto state = swtest::unlitState(swtest::clipMatrix());
    state.shadeMode = D3DSHADE_FLAT;
    Canvas canvas(kSize, kSize);
    canvas.draw(state, D3DPT_TRIANGLELIST, 1, v);
    ASSERT_GT(canvas.drawnCount(), 10);
    canvas.eachDrawn([&](int x, int y) { EXPECT_EQ(canvas.at(x, y), 0xFF0000u) << x << "," << y; });
}

struct Screen {
    double x, y, w;
    D3DCOLOR color;
};

// The perspective-correct colour at pixel centre (px, py): screen-space barycentrics
// weighted by 1/w.
std::array<double, 3> expectedColour(const std::array<Screen, 3>& t, double px, double py) {
    auto area = [](double ax, double ay, double bx, double by, double cx, double cy) {
        return (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
    };
    const double total = area(t[0].x, t[0].y, t[1].x, t[1].y, t[2].x, t[2].y);
    const double l[3] = {area(px, py, t[1].x, t[1].y, t[2].x, t[2].y) / total,
                         area(t[0].x, t[0].y, px, py, t[2].x, t[2].y) / total,
                         area(t[0].x, t[0].y, t[1].x, t[1].y, px, py) / total};
    std::array<double, 3> c{};
    double norm = 0;
    for (int i = 0; i < 3; ++i) norm += l[i] / t[i].w;
    for (int ch = 0; ch < 3; ++ch) {
        double sum = 0;
        for (int i = 0; i < 3; ++i) sum += l[i] / t[i].w * channel(t[i].color, 16 - 8 * ch);
        c[ch] = sum / norm;
    }
    return c;
}

// Model vertex that clipMatrix() places on screen (sx, sy) with the given w.
Vertex atScreen(double sx, double sy, double w, D3DCOLOR color) {
    const double x = (2.0 * sx / kSize - 1.0) * w, y = (1.0 - 2.0 * sy / kSize) * w;
    return {static_cast<float>(x), static_cast<float>(y), static_cast<float>(w), color};
}

struct GouraudCase {
    const char* name;
    std::array<Screen, 3> t;
    bool perspective;  // whether the w differ enough that an affine blend would be off
};

class Gouraud : public ::testing::TestWithParam<GouraudCase> {};

TEST_P(Gouraud, PixelMatchesTheBlendAtItsCentre) {
    const auto& t = GetParam().t;
    std::vector<Vertex> v;
    v.reserve(t.size());
    for (const Screen& s : t) v.push_back(atScreen(s.x, s.y, s.w, s.color));
    Canvas canvas(kSize, kSize);
    canvas.draw(swtest::unlitState(swtest::clipMatrix(0.5f)), D3DPT_TRIANGLELIST, 1, v);
    ASSERT_GT(canvas.drawnCount(), 100);
    double worstAffineError = 0;
    canvas.eachDrawn([&](int x, int y) {
        const auto want = expectedColour(t, x, y);
        auto flatW = t;
        for (auto& s : flatW) s.w = 1;
        const auto affine = expectedColour(flatW, x, y);
        for (int ch = 0; ch < 3; ++ch) {
            const int got = channel(canvas.at(x, y), 16 - 8 * ch);
            ASSERT_LE(std::abs(got - want[ch]), 1.0) << x << "," << y << " channel " << ch;
            worstAffineError = std::max(worstAffineError, std::abs(affine[ch] - want[ch]));
        }
    });
    // The perspective cases must be ones an affine blend would get visibly wrong.
    if (GetParam().perspective) {
        EXPECT_GT(worstAffineError, 20.0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Triangles, Gouraud,
    ::testing::Values(
        GouraudCase{"WOne", {{{1, 1, 1, kRed}, {30, 3, 1, kGreen}, {4, 30, 1, kBlue}}}, false},
        GouraudCase{"WDiffers", {{{1, 1, 1, kRed}, {30, 3, 8, kGreen}, {4, 30, 3, kBlue}}}, true},
        GouraudCase{"WDiffersGrey",
                    {{{2, 29, 0.5, 0xFF102030u}, {29, 28, 6, 0xFFF0E0D0u}, {15, 1, 2, kBlue}}},
                    true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Lighting, OnWithNoLightsDrawsBlackOffKeepsTheVertexColour) {
    const std::vector<Vertex> v = {
        {0, 0, 0.5f, 0xFF336699u}, {16, 0, 0.5f, 0xFF336699u}, {0, 16, 0.5f, 0xFF336699u}};
    for (DWORD lighting : {TRUE, FALSE}) {
        auto state = swtest::unlitState(swtest::screenMatrix(kSize, kSize));
        state.lighting = lighting;
        Canvas canvas(kSize, kSize);
        canvas.clear(1.0f, 0xFF808080u);
        canvas.draw(state, D3DPT_TRIANGLELIST, 1, v);
        EXPECT_EQ(canvas.at(3, 3), lighting ? 0x000000u : 0x336699u);
        EXPECT_EQ(canvas.at(20, 20), 0x808080u);
    }
}

TEST(VertexStage, RowVectorTimesMatrixInClipSpace) {
    const D3DMATRIX m = {{{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}}};
    const std::vector<Vertex> v = {{1, 0, 0, 0x11223344u}, {1, 2, 3, 0}};
    sw::ClipVertex out[2];
    sw::transformVertices(swtest::unlitState(m), swtest::drawCall(D3DPT_POINTLIST, 2, v), 0, 2,
                          out);
    // (1,0,0,1) × M = row 1 + row 4; (1,2,3,1) × M = row1 + 2·row2 + 3·row3 + row4.
    EXPECT_EQ(out[0].x, 14);
    EXPECT_EQ(out[0].w, 20);
    EXPECT_EQ(out[1].x, 1 + 10 + 27 + 13);
    EXPECT_EQ(out[1].y, 2 + 12 + 30 + 14);
    EXPECT_EQ(out[1].z, 3 + 14 + 33 + 15);
    EXPECT_EQ(out[1].w, 4 + 16 + 36 + 16);
    EXPECT_EQ(out[0].r, 0x22);
    EXPECT_EQ(out[0].g, 0x33);
    EXPECT_EQ(out[0].b, 0x44);
}

}  // namespace
