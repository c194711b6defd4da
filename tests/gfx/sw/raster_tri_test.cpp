// Triangle coverage: the documented pixel counts, the top-left rule on shared edges,
// degenerate triangles, culling by screen winding, and strip / fan assembly.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>

#include "tests/gfx/sw/canvas.h"

namespace {

using swtest::Canvas;
using swtest::Vertex;

constexpr int kSize = 32;
constexpr D3DCOLOR kWhite = 0xFFFFFFFFu;

// White vertices at depth 0.5 on the given screen points.
std::vector<Vertex> points(std::initializer_list<std::array<float, 2>> xys) {
    std::vector<Vertex> v;
    for (const auto& [x, y] : xys) v.push_back({x, y, 0.5f, kWhite});
    return v;
}

std::vector<Vertex> tri(float ax, float ay, float bx, float by, float cx, float cy) {
    return points({{ax, ay}, {bx, by}, {cx, cy}});
}

struct CoverageCase {
    std::string name;
    std::vector<Vertex> vertices;          // a triangle list
    std::function<bool(int, int)> covers;  // the pixel centres the geometry covers
};

class Coverage : public ::testing::TestWithParam<CoverageCase> {};

TEST_P(Coverage, CoversExactlyThePixelCentresInside) {
    const CoverageCase& c = GetParam();
    Canvas canvas(kSize, kSize);
    canvas.draw(swtest::unlitState(swtest::screenMatrix(kSize, kSize)), D3DPT_TRIANGLELIST,
                static_cast<std::uint32_t>(c.vertices.size() / 3), c.vertices);
    canvas.each([&](int x, int y) {
        EXPECT_EQ(canvas.drawn(x, y), c.covers(x, y)) << "pixel " << x << "," << y;
    });
}

std::vector<Vertex> concat(std::vector<Vertex> a, const std::vector<Vertex>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

INSTANTIATE_TEST_SUITE_P(
    Triangles, Coverage,
    ::testing::Values(
        // Direct3D 9's documented examples: 25, 15 and 10 pixels.
        CoverageCase{"Rectangle0to5", concat(tri(0, 0, 5, 0, 5, 5), tri(0, 5, 0, 0, 5, 5)),
                     [](int x, int y) { return x < 5 && y < 5; }},
        CoverageCase{"UpperRightHalf", tri(0, 0, 5, 0, 5, 5),
                     [](int x, int y) { return x < 5 && y <= x; }},
        CoverageCase{"LowerLeftHalf", tri(0, 5, 0, 0, 5, 5),
                     [](int x, int y) { return y < 5 && x < y; }},
        // Centres on a bottom edge and a right edge are left out.
        CoverageCase{"OffsetSquare", concat(tri(2, 3, 7, 3, 7, 9), tri(2, 3, 7, 9, 2, 9)),
                     [](int x, int y) { return x >= 2 && x < 7 && y >= 3 && y < 9; }},
        // Half-pixel corners: the centres strictly inside, no ties.
        CoverageCase{"HalfPixelSquare",
                     concat(tri(1.5f, 1.5f, 4.5f, 1.5f, 4.5f, 4.5f),
                            tri(1.5f, 1.5f, 4.5f, 4.5f, 1.5f, 4.5f)),
                     [](int x, int y) { return x >= 2 && x <= 4 && y >= 2 && y <= 4; }},
        // Larger than the target: every pixel, and nothing written outside.
        CoverageCase{"CoversTarget", tri(-100, -100, 300, -100, -100, 300),
                     [](int, int) { return true; }},
        CoverageCase{"OffTarget", tri(40, 40, 60, 40, 40, 60), [](int, int) { return false; }},
        CoverageCase{"Collinear", tri(0, 0, 8, 8, 16, 16), [](int, int) { return false; }},
        CoverageCase{"OnePoint", tri(3, 3, 3, 3, 3, 3), [](int, int) { return false; }},
        // A sliver between two rows of centres covers none of them.
        CoverageCase{"SliverBetweenRows", tri(0, 2.25f, 20, 2.25f, 0, 2.75f),
                     [](int, int) { return false; }},
        // A sliver along a row of centres, on its top edge: the whole row up to x < 20.
        CoverageCase{"SliverOnTopEdge", tri(0, 2, 20, 2, 0, 2.5f),
                     [](int x, int y) { return y == 2 && x < 20; }}),
    [](const auto& info) { return info.param.name; });

// Tiny deterministic generator so the mesh is the same on every run.
struct Lcg {
    std::uint32_t s = 12345;
    float unit() {
        s = s * 1664525u + 1013904223u;
        return static_cast<float>(s >> 8) / static_cast<float>(1u << 24);
    }
};

// Draws each triangle of the list alone: every pixel must be covered by exactly one.
void expectEveryPixelHitOnce(const std::vector<Vertex>& list) {
    std::vector<int> count(std::size_t(kSize) * kSize, 0);
    Canvas canvas(kSize, kSize);
    const auto state = swtest::unlitState(swtest::screenMatrix(kSize, kSize));
    for (std::size_t i = 0; i + 2 < list.size(); i += 3) {
        canvas.clear();
        canvas.draw(state, D3DPT_TRIANGLELIST, 1, {list[i], list[i + 1], list[i + 2]});
        canvas.eachDrawn([&](int x, int y) { ++count[std::size_t(y) * kSize + x]; });
    }
    canvas.each([&](int x, int y) {
        EXPECT_EQ(count[std::size_t(y) * kSize + x], 1) << "pixel " << x << "," << y;
    });
}

// A grid over the whole target whose inner corners are jittered, some onto exact pixel
// centres and half-pixels so many edges pass through centres: every pixel must be hit
// by exactly one triangle, whichever way each triangle is wound.
TEST(SharedEdges, JitteredMeshHitsEveryPixelExactlyOnce) {
    constexpr int kCells = 6;
    const float cell = float(kSize) / kCells;
    Lcg rng;
    Vertex grid[kCells + 1][kCells + 1];
    for (int j = 0; j <= kCells; ++j) {
        for (int i = 0; i <= kCells; ++i) {
            float x = static_cast<float>(i) * cell, y = static_cast<float>(j) * cell;
            if (i > 0 && i < kCells && j > 0 && j < kCells) {
                const float r = rng.unit();
                if (r < 0.3f) {  // snap onto a pixel centre
                    x = static_cast<float>(static_cast<int>(x));
                    y = static_cast<float>(static_cast<int>(y));
                } else if (r < 0.5f) {  // onto a half-pixel
                    x = static_cast<float>(static_cast<int>(x)) + 0.5f;
                } else {
                    x += (rng.unit() - 0.5f) * cell * 0.6f;
                    y += (rng.unit() - 0.5f) * cell * 0.6f;
                }
            }
            grid[j][i] = {x, y, 0.5f, kWhite};
        }
    }
    std::vector<Vertex> list;
    for (int j = 0; j < kCells; ++j) {
        for (int i = 0; i < kCells; ++i) {
            const Vertex &a = grid[j][i], &b = grid[j][i + 1], &c = grid[j + 1][i + 1],
                         &d = grid[j + 1][i];
            // Alternate the diagonal and the winding.
            if ((i + j) % 2) {
                list.insert(list.end(), {a, b, c, a, d, c});
            } else {
                list.insert(list.end(), {b, a, d, b, d, c});
            }
        }
    }
    expectEveryPixelHitOnce(list);
}

// A fan about a pixel centre whose spokes run through many centres at every angle.
TEST(SharedEdges, FanAboutAPixelCentreHitsEveryPixelExactlyOnce) {
    const Vertex centre{13, 17, 0.5f, kWhite};
    std::vector<Vertex> rim;
    for (int x = 0; x < kSize; x += 4) rim.push_back({float(x), 0, 0.5f, kWhite});
    for (int y = 0; y < kSize; y += 4) rim.push_back({float(kSize), float(y), 0.5f, kWhite});
    for (int x = kSize; x > 0; x -= 4) rim.push_back({float(x), float(kSize), 0.5f, kWhite});
    for (int y = kSize; y > 0; y -= 4) rim.push_back({0, float(y), 0.5f, kWhite});
    std::vector<Vertex> list;
    for (std::size_t i = 0; i < rim.size(); ++i) {
        list.insert(list.end(), {centre, rim[i], rim[(i + 1) % rim.size()]});
    }
    expectEveryPixelHitOnce(list);
}

struct CullCase {
    DWORD mode;
    bool clockwise;  // as seen on the y-down screen
    bool drawn;
};

class Culling : public ::testing::TestWithParam<CullCase> {};

TEST_P(Culling, RemovesByScreenWinding) {
    const CullCase& c = GetParam();
    // (0,0) → (8,0) → (8,8) runs clockwise on a y-down screen.
    const auto v = c.clockwise ? tri(0, 0, 8, 0, 8, 8) : tri(0, 0, 8, 8, 8, 0);
    auto state = swtest::unlitState(swtest::screenMatrix(kSize, kSize));
    state.cullMode = c.mode;
    Canvas canvas(kSize, kSize);
    canvas.draw(state, D3DPT_TRIANGLELIST, 1, v);
    EXPECT_EQ(canvas.drawnCount(), c.drawn ? 36 : 0);  // 8 + 7 + … + 1 centres
}

INSTANTIATE_TEST_SUITE_P(
    AllModes, Culling,
    ::testing::Values(CullCase{D3DCULL_NONE, true, true}, CullCase{D3DCULL_NONE, false, true},
                      CullCase{D3DCULL_CW, true, false}, CullCase{D3DCULL_CW, false, true},
                      CullCase{D3DCULL_CCW, true, true}, CullCase{D3DCULL_CCW, false, false}));

// The quad (0,0)-(8,8) as a strip and as a fan, both clockwise on screen once the
// strip's odd triangle is taken the other way round.
struct AssemblyCase {
    D3DPRIMITIVETYPE type;
    std::vector<Vertex> v;
};

class Assembly : public ::testing::TestWithParam<AssemblyCase> {};

TEST_P(Assembly, QuadKeptUnderCcwRemovedUnderCw) {
    const AssemblyCase& c = GetParam();
    for (DWORD mode : {D3DCULL_CCW, D3DCULL_CW, D3DCULL_NONE}) {
        auto state = swtest::unlitState(swtest::screenMatrix(kSize, kSize));
        state.cullMode = mode;
        Canvas canvas(kSize, kSize);
        canvas.draw(state, c.type, 2, c.v);
        canvas.each([&](int x, int y) {
            EXPECT_EQ(canvas.drawn(x, y), mode != D3DCULL_CW && x < 8 && y < 8)
                << "mode " << mode << " pixel " << x << "," << y;
        });
    }
}

INSTANTIATE_TEST_SUITE_P(
    StripAndFan, Assembly,
    ::testing::Values(AssemblyCase{D3DPT_TRIANGLESTRIP, points({{0, 0}, {8, 0}, {0, 8}, {8, 8}})},
                      AssemblyCase{D3DPT_TRIANGLEFAN, points({{0, 0}, {8, 0}, {8, 8}, {0, 8}})}));

TEST(Assembly, IndexedListDrawsTheNamedVertices) {
    // Six slots, of which the indices use 2, 3, 5 and 4: the quad (4,4)-(12,12).
    const std::vector<Vertex> v =
        points({{100, 100}, {-50, 3}, {4, 4}, {12, 4}, {4, 12}, {12, 12}});
    const std::vector<std::uint16_t> indices = {2, 3, 5, 2, 5, 4};
    Canvas canvas(kSize, kSize);
    canvas.draw(swtest::unlitState(swtest::screenMatrix(kSize, kSize)), D3DPT_TRIANGLELIST, 2, v,
                &indices);
    canvas.each([&](int x, int y) {
        EXPECT_EQ(canvas.drawn(x, y), x >= 4 && x < 12 && y >= 4 && y < 12) << x << "," << y;
    });
}

// Flat strips and fans: each triangle takes the colour of its own first vertex; the
// odd triangles of a strip keep v[i] first even though their winding is turned round.
TEST(Assembly, FlatStripAndFanTakeEachTrianglesFirstVertex) {
    const D3DCOLOR c[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFF00u};
    auto state = swtest::unlitState(swtest::screenMatrix(kSize, kSize));
    state.shadeMode = D3DSHADE_FLAT;
    {
        // Strip (0,0) (8,0) (0,8) (8,8): triangle 0 is the upper-left half, 1 the lower-right.
        Canvas canvas(kSize, kSize);
        canvas.draw(
            state, D3DPT_TRIANGLESTRIP, 2,
            {{0, 0, 0.5f, c[0]}, {8, 0, 0.5f, c[1]}, {0, 8, 0.5f, c[2]}, {8, 8, 0.5f, c[3]}});
        EXPECT_EQ(canvas.at(1, 1), c[0] & 0xFFFFFFu);
        EXPECT_EQ(canvas.at(6, 6), c[1] & 0xFFFFFFu);
    }
    {
        // Fan about (0,0): triangle 0 is the upper-right half, 1 the lower-left; a flat
        // fan triangle i takes v[i + 1], not the shared centre.
        Canvas canvas(kSize, kSize);
        canvas.draw(
            state, D3DPT_TRIANGLEFAN, 2,
            {{0, 0, 0.5f, c[0]}, {8, 0, 0.5f, c[1]}, {8, 8, 0.5f, c[2]}, {0, 8, 0.5f, c[3]}});
        EXPECT_EQ(canvas.at(6, 1), c[1] & 0xFFFFFFu);
        EXPECT_EQ(canvas.at(1, 6), c[2] & 0xFFFFFFu);
    }
}

}  // namespace
