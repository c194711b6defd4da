// Lines: one pixel per step along the major axis from the first vertex, the last pixel
// per D3DRS_LASTPIXEL, colour along the line, and the part behind the eye left out.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "tests/gfx/sw/canvas.h"

namespace {

using swtest::Canvas;
using swtest::Vertex;
using Pixels = std::set<std::pair<int, int>>;

constexpr int kSize = 32;
constexpr D3DCOLOR kWhite = 0xFFFFFFFFu;

Pixels drawnPixels(const Canvas& c) {
    Pixels p;
    c.eachDrawn([&](int x, int y) { p.insert({x, y}); });
    return p;
}

Pixels run(int x0, int y0, int dx, int dy, int n) {
    Pixels p;
    for (int i = 0; i < n; ++i) p.insert({x0 + i * dx, y0 + i * dy});
    return p;
}

struct LineCase {
    std::string name;
    float x0, y0, x1, y1;  // screen positions
    Pixels withLast;       // LASTPIXEL TRUE
    Pixels withoutLast;    // LASTPIXEL FALSE
};

class EndPixels : public ::testing::TestWithParam<LineCase> {};

TEST_P(EndPixels, FirstPixelInLastPixelPerRenderState) {
    const LineCase& c = GetParam();
    for (DWORD last : {TRUE, FALSE}) {
        auto state = swtest::unlitState(swtest::screenMatrix(kSize, kSize));
        state.lastPixel = last;
        Canvas canvas(kSize, kSize);
        canvas.draw(state, D3DPT_LINELIST, 1,
                    {{c.x0, c.y0, 0.5f, kWhite}, {c.x1, c.y1, 0.5f, kWhite}});
        EXPECT_EQ(drawnPixels(canvas), last ? c.withLast : c.withoutLast) << "LASTPIXEL " << last;
    }
}

Pixels shallow() {
    // (0,0) → (9,2): nearest centre below each column, y = 2x/9 (no ties).
    const int ys[] = {0, 0, 0, 1, 1, 1, 1, 2, 2, 2};
    Pixels p;
    for (int x = 0; x < 10; ++x) p.insert({x, ys[x]});
    return p;
}
Pixels minus(Pixels p, std::pair<int, int> q) {
    p.erase(q);
    return p;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, EndPixels,
    ::testing::Values(
        LineCase{"Horizontal", 2, 3, 9, 3, run(2, 3, 1, 0, 8), run(2, 3, 1, 0, 7)},
        LineCase{"HorizontalBackwards", 9, 3, 2, 3, run(2, 3, 1, 0, 8), run(3, 3, 1, 0, 7)},
        LineCase{"Vertical", 5, 1, 5, 6, run(5, 1, 0, 1, 6), run(5, 1, 0, 1, 5)},
        LineCase{"VerticalBackwards", 5, 6, 5, 1, run(5, 1, 0, 1, 6), run(5, 2, 0, 1, 5)},
        LineCase{"Diagonal", 1, 1, 6, 6, run(1, 1, 1, 1, 6), run(1, 1, 1, 1, 5)},
        LineCase{"AntiDiagonal", 10, 2, 4, 8, run(10, 2, -1, 1, 7), run(10, 2, -1, 1, 6)},
        LineCase{"Shallow", 0, 0, 9, 2, shallow(), minus(shallow(), {9, 2})},
        // Ends off the target: only the pixels on it, nothing written outside.
        LineCase{"AcrossTheTarget", -1000, 7, 1000, 7, run(0, 7, 1, 0, kSize),
                 run(0, 7, 1, 0, kSize)},
        LineCase{"OffTheTarget", -10, -3, 40, -3, {}, {}}),
    [](const auto& info) { return info.param.name; });

TEST(Lines, OnePixelPerMajorStepAtEverySlope) {
    for (int dy = -12; dy <= 12; ++dy) {
        for (int dx : {-12, 12}) {
            for (bool swap : {false, true}) {
                const float ex = 15.0f + static_cast<float>(swap ? dy : dx);
                const float ey = 15.0f + static_cast<float>(swap ? dx : dy);
                Canvas canvas(kSize, kSize);
                canvas.draw(swtest::unlitState(swtest::screenMatrix(kSize, kSize)), D3DPT_LINELIST,
                            1, {{15, 15, 0.5f, kWhite}, {ex, ey, 0.5f, kWhite}});
                const Pixels p = drawnPixels(canvas);
                EXPECT_EQ(p.size(), 13u) << dx << "," << dy << " swap " << swap;
                EXPECT_TRUE(p.count({15, 15}));
                EXPECT_TRUE(p.count({int(ex), int(ey)}));
                // Exactly one pixel in every column (x-major) or row (y-major).
                std::set<int> major;
                for (const auto& q : p) major.insert(swap ? q.second : q.first);
                EXPECT_EQ(major.size(), 13u);
            }
        }
    }
}

TEST(Lines, StripJoinsSegmentsAndDropsEachLastPixelWhenAsked) {
    const std::vector<Vertex> v = {
        {0, 0, 0.5f, kWhite}, {5, 0, 0.5f, kWhite}, {5, 5, 0.5f, kWhite}};
    for (DWORD last : {TRUE, FALSE}) {
        auto state = swtest::unlitState(swtest::screenMatrix(kSize, kSize));
        state.lastPixel = last;
        Canvas canvas(kSize, kSize);
        canvas.draw(state, D3DPT_LINESTRIP, 2, v);
        Pixels want = run(0, 0, 1, 0, 5);
        want.merge(run(5, 0, 0, 1, last ? 6 : 5));
        EXPECT_EQ(drawnPixels(canvas), want);
    }
}

TEST(Lines, ColourRunsFromFirstToLastVertexOrStaysFirstWhenFlat) {
    const std::vector<Vertex> v = {{0, 4, 0.5f, 0xFFFF0000u}, {17, 4, 0.5f, 0xFF0000FFu}};
    for (DWORD shade : {D3DSHADE_GOURAUD, D3DSHADE_FLAT}) {
        auto state = swtest::unlitState(swtest::screenMatrix(kSize, kSize));
        state.shadeMode = shade;
        Canvas canvas(kSize, kSize);
        canvas.draw(state, D3DPT_LINELIST, 1, v);
        for (int x = 0; x <= 17; ++x) {
            const std::uint32_t c = canvas.at(x, 4);
            if (shade == D3DSHADE_FLAT) {
                EXPECT_EQ(c, 0xFF0000u);
                continue;
            }
            const double t = x / 17.0;
            EXPECT_NEAR(double((c >> 16) & 0xFF), 255 * (1 - t), 1.0) << x;
            EXPECT_NEAR(double(c & 0xFF), 255 * t, 1.0) << x;
        }
    }
}

TEST(Lines, OnlyThePartInFrontOfTheEyeIsDrawn) {
    // From clip (0.5, 0, w = 1) to (0.5, 0, w = −1): in front it runs from screen
    // x = 24 rightwards to infinity along row 16. Dividing the far end anyway would draw
    // from x = 24 leftwards to x = 8 instead.
    Canvas canvas(kSize, kSize);
    canvas.draw(swtest::unlitState(swtest::clipMatrix()), D3DPT_LINELIST, 1,
                {{0.5f, 0, 1, kWhite}, {0.5f, 0, -1, kWhite}});
    EXPECT_EQ(drawnPixels(canvas), run(24, 16, 1, 0, 8));
}

TEST(Lines, EntirelyBehindTheEyeDrawsNothing) {
    Canvas canvas(kSize, kSize);
    canvas.draw(swtest::unlitState(swtest::clipMatrix()), D3DPT_LINELIST, 1,
                {{-0.5f, 0.2f, -1, kWhite}, {0.5f, -0.3f, -2, kWhite}});
    EXPECT_EQ(canvas.drawnCount(), 0);
}

}  // namespace
