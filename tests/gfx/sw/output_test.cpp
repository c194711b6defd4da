// Output: D16 values of clears and of drawn depths, the eight depth comparisons against
// the stored depth, ZENABLE and ZWRITEENABLE, targets without a depth buffer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "gfx/sw/stages.h"
#include "tests/gfx/sw/canvas.h"

namespace {

using swtest::Canvas;
using swtest::Vertex;

constexpr int kSize = 16;

struct ClearCase {
    float z;
    int want;
    int tolerance;
};

class ClearDepth : public ::testing::TestWithParam<ClearCase> {};

TEST_P(ClearDepth, StoresD16OfTheClampedValueEverywhere) {
    const ClearCase& c = GetParam();
    Canvas canvas(kSize, kSize);
    canvas.clear(c.z);
    for (std::uint16_t d : canvas.depth) ASSERT_LE(std::abs(int(d) - c.want), c.tolerance);
}

INSTANTIATE_TEST_SUITE_P(Values, ClearDepth,
                         ::testing::Values(ClearCase{1.0f, 0xFFFF, 0}, ClearCase{0.0f, 0, 0},
                                           ClearCase{0.5f, 0x8000, 2}, ClearCase{0.25f, 0x4000, 2},
                                           ClearCase{1.0000001f, 0xFFFF, 0},
                                           ClearCase{2.0f, 0xFFFF, 0}, ClearCase{-1.0f, 0, 0},
                                           ClearCase{std::nanf(""), 0, 0}));

TEST(ClearColor, FillsEveryPixelWithTheRgbOfTheColour) {
    Canvas canvas(kSize, kSize);
    canvas.clear(1.0f, 0x00123456u);
    for (std::uint32_t c : canvas.color) ASSERT_EQ(c & 0xFFFFFFu, 0x123456u);
}

TEST(DepthValues, AHairAboveOneStillStoresFFFF) {
    EXPECT_EQ(sw::depthToD16(1.0 + 1e-12), 0xFFFF);
    EXPECT_EQ(sw::depthToD16(std::nextafter(1.0f, 2.0f)), 0xFFFF);
    EXPECT_EQ(sw::toD16(std::nextafter(1.0f, 2.0f)), 0xFFFF);
    EXPECT_EQ(sw::depthToD16(-1e-12), 0);
    EXPECT_EQ(sw::depthToD16(1e300), 0xFFFF);
}

// A square at depth `z` over the left half of the target (columns 0..7).
void drawSquare(Canvas& canvas, const sw::DrawState& state, float z, D3DCOLOR color) {
    const std::vector<Vertex> v = {{0, 0, z, color}, {8, 0, z, color},  {8, 16, z, color},
                                   {0, 0, z, color}, {8, 16, z, color}, {0, 16, z, color}};
    canvas.draw(state, D3DPT_TRIANGLELIST, 2, v);
}

struct DepthCase {
    DWORD func;
    bool passLess, passEqual, passGreater;  // fragment below / at / above the stored 0.5
};

class DepthFunc : public ::testing::TestWithParam<DepthCase> {};

TEST_P(DepthFunc, ComparesFragmentWithStoredDepth) {
    const DepthCase& c = GetParam();
    const struct {
        float z;
        bool pass;
    } fragments[] = {{0.25f, c.passLess}, {0.5f, c.passEqual}, {0.75f, c.passGreater}};
    for (const auto& f : fragments) {
        for (DWORD write : {TRUE, FALSE}) {
            auto state = swtest::unlitState(swtest::screenMatrix(kSize, kSize));
            state.zFunc = c.func;
            state.zWriteEnable = write;
            Canvas canvas(kSize, kSize);
            canvas.clear(0.5f);
            const std::uint16_t stored = canvas.depthAt(0, 0);
            drawSquare(canvas, state, f.z, 0xFF00FF00u);
            const bool drawn = canvas.drawn(3, 5);
            EXPECT_EQ(drawn, f.pass) << "z " << f.z << " write " << write;
            const std::uint16_t want = f.pass && write ? sw::toD16(f.z) : stored;
            EXPECT_EQ(canvas.depthAt(3, 5), want) << "z " << f.z << " write " << write;
            EXPECT_FALSE(canvas.drawn(12, 5));  // right half untouched
            EXPECT_EQ(canvas.depthAt(12, 5), stored);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllEight, DepthFunc,
                         ::testing::Values(DepthCase{D3DCMP_NEVER, false, false, false},
                                           DepthCase{D3DCMP_LESS, true, false, false},
                                           DepthCase{D3DCMP_EQUAL, false, true, false},
                                           DepthCase{D3DCMP_LESSEQUAL, true, true, false},
                                           DepthCase{D3DCMP_GREATER, false, false, true},
                                           DepthCase{D3DCMP_NOTEQUAL, true, false, true},
                                           DepthCase{D3DCMP_GREATEREQUAL, false, true, true},
                                           DepthCase{D3DCMP_ALWAYS, true, true, true}));

TEST(DepthEnable, OffNeitherTestsNorWrites) {
    auto state = swtest::unlitState(swtest::screenMatrix(kSize, kSize));
    state.zEnable = D3DZB_FALSE;
    Canvas canvas(kSize, kSize);
    canvas.clear(0.5f);
    const std::uint16_t stored = canvas.depthAt(0, 0);
    drawSquare(canvas, state, 0.75f, 0xFF00FF00u);  // behind what is stored
    EXPECT_EQ(canvas.at(3, 5), 0x00FF00u);
    drawSquare(canvas, state, 0.25f, 0xFF0000FFu);
    EXPECT_EQ(canvas.at(3, 5), 0x0000FFu);
    EXPECT_EQ(canvas.depthAt(3, 5), stored);
}

TEST(DepthEnable, WithoutADepthBufferEveryFragmentLands) {
    Canvas canvas(kSize, kSize, /*withDepth=*/false);
    const auto state = swtest::unlitState(swtest::screenMatrix(kSize, kSize));
    drawSquare(canvas, state, 0.75f, 0xFF00FF00u);
    drawSquare(canvas, state, 0.9f, 0xFF0000FFu);  // later covers earlier
    EXPECT_EQ(canvas.at(3, 5), 0x0000FFu);
    EXPECT_FALSE(canvas.drawn(12, 5));
}

TEST(DepthValues, InterpolatedDepthIsAffineOnScreen) {
    // Depth 0 at x = 0 rising to 1 at x = 16 (w = 1): the pixel at x stores D16(x/16).
    const std::vector<Vertex> v = {{0, 0, 0, 0xFFFFFFFFu},   {16, 0, 1, 0xFFFFFFFFu},
                                   {16, 16, 1, 0xFFFFFFFFu}, {0, 0, 0, 0xFFFFFFFFu},
                                   {16, 16, 1, 0xFFFFFFFFu}, {0, 16, 0, 0xFFFFFFFFu}};
    Canvas canvas(kSize, kSize);
    canvas.draw(swtest::unlitState(swtest::screenMatrix(kSize, kSize)), D3DPT_TRIANGLELIST, 2, v);
    for (int x = 0; x < kSize; ++x) {
        EXPECT_LE(std::abs(int(canvas.depthAt(x, 7)) - int(x / 16.0 * 65535 + 0.5)), 1) << x;
    }
}

}  // namespace
