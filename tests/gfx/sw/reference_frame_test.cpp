// Whole frames from the tuned pipeline against the same pipeline without its tuning
// (reference_pipeline.h), compared bit for bit in colour and depth: the viewer's own
// axes and cube over angle, camera and state sweeps, and random triangles and lines.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "gfx/d3dx9math.h"
#include "tests/gfx/sw/canvas.h"
#include "tests/gfx/sw/reference_pipeline.h"

namespace {

using swtest::Vertex;

constexpr int kWidth = 800;
constexpr int kHeight = 600;

// The viewer's geometry: three white axes 20 long and a cube of side 10 with a colour
// at each corner, wound clockwise seen from outside.
const std::vector<Vertex> kAxes = {
    {0, 0, 0, 0x00FFFFFF},  {20, 0, 0, 0x00FFFFFF}, {0, 0, 0, 0x00FFFFFF},
    {0, 20, 0, 0x00FFFFFF}, {0, 0, 0, 0x00FFFFFF},  {0, 0, 20, 0x00FFFFFF},
};
const std::vector<Vertex> kCube = {
    {-5, 5, -5, 0xFFFF0000}, {5, 5, -5, 0xFFFFFF00}, {-5, -5, -5, 0xFFFFFF00},
    {5, -5, -5, 0xFF00FFFF}, {-5, 5, 5, 0xFFFF00FF}, {5, 5, 5, 0xFF00FF00},
    {-5, -5, 5, 0xFF00FF00}, {5, -5, 5, 0xFF0000FF},
};
const std::vector<std::uint16_t> kCubeIndices = {
    0, 1, 2, 2, 1, 3, 4, 0, 6, 6, 0, 2, 7, 5, 6, 6, 5, 4,
    3, 1, 7, 7, 1, 5, 4, 5, 0, 0, 5, 1, 3, 7, 2, 2, 7, 6,
};

struct Camera {
    const char* name;
    float x, y, z;  // offsets the keys move; the eye is at (x, y, z - 20)
};
const Camera kCameras[] = {
    {"start", 0, 0, 0},        {"three Page Ups", 0, 0, 3}, {"twenty Page Ups", 0, 0, 20},
    {"left and up", -6, 4, 0}, {"right, near", 9, -3, 5},
};

struct Look {
    DWORD cull = D3DCULL_CCW;
    DWORD shade = D3DSHADE_GOURAUD;
    DWORD zEnable = D3DZB_TRUE;
    DWORD zFunc = D3DCMP_LESSEQUAL;
};

// Both pipelines draw into a target of their own; everything else is shared input.
// The tuned one shares the rows among `rows` threads when given them.
struct Pair {
    swtest::Canvas tuned, plain;
    sw::reference::Scratch plainScratch;
    sw::RowThreads* rows;

    Pair(int w, int h, sw::RowThreads* threads) : tuned(w, h), plain(w, h), rows(threads) {}

    void clear(D3DCOLOR color, float z) {
        sw::clearColor(tuned.target(), color);
        sw::clearDepth(tuned.target(), z);
        sw::reference::clearColor(plain.target(), color);
        sw::reference::clearDepth(plain.target(), z);
    }
    void draw(const sw::DrawState& state, D3DPRIMITIVETYPE type, std::uint32_t count,
              const std::vector<Vertex>& v, const std::vector<std::uint16_t>* indices = nullptr) {
        const sw::DrawCall call = swtest::drawCall(type, count, v, indices);
        sw::drawPrimitives(state, tuned.target(), call, tuned.scratch, rows);
        sw::reference::drawPrimitives(state, plain.target(), call, plainScratch);
    }
    // Empty when both frames are the same in every colour and depth value.
    std::string difference() const {
        for (std::size_t i = 0; i < tuned.color.size(); ++i) {
            if (tuned.color[i] != plain.color[i] || tuned.depth[i] != plain.depth[i]) {
                char text[160];
                std::snprintf(text, sizeof text,
                              "first difference at (%zu, %zu): colour %08X vs %08X, depth %u vs %u",
                              i % tuned.width, i / tuned.width, unsigned(tuned.color[i]),
                              unsigned(plain.color[i]), unsigned(tuned.depth[i]),
                              unsigned(plain.depth[i]));
                return text;
            }
        }
        return {};
    }
};

// Every test runs once per kernel set the processor has (the portable kernels and each
// SIMD width), on one thread and with the rows shared among two and three; the default
// kernels are restored after.
struct Variant {
    sw::SpanKernels kernels;
    int threads;
};

void PrintTo(const Variant& v, std::ostream* os) {
    *os << "kernels " << static_cast<int>(v.kernels) << ", " << v.threads << " thread(s)";
}

class ReferenceFrame : public testing::TestWithParam<Variant> {
protected:
    void SetUp() override {
        if (!sw::selectSpanKernels(GetParam().kernels)) {
            GTEST_SKIP() << "the processor lacks these";
        }
        if (GetParam().threads > 1) {
            threads = std::make_unique<sw::RowThreads>(GetParam().threads);
            ASSERT_EQ(threads->count(), GetParam().threads);
        }
    }
    void TearDown() override { sw::selectWidestSpanKernels(); }

    // A pair drawing with this variant's threads.
    Pair pair(int w = kWidth, int h = kHeight) { return {w, h, threads.get()}; }

    std::unique_ptr<sw::RowThreads> threads;
};

D3DXMATRIX viewerProjection() {
    D3DXMATRIX m;
    D3DXMatrixPerspectiveFovLH(&m, 0.785398185f, float(double(kWidth) / kHeight), 0.0f, 5.0f);
    return m;
}

// One viewer frame at `angle` degrees: both clears, the axes, then the cube.
void drawViewerFrame(Pair& pair, const Camera& cam, int angleDeg, const Look& look) {
    pair.clear(0xFF000000, 1.0f);
    const D3DXVECTOR3 eye(cam.x, cam.y, cam.z - 20.0f), at(0, 0, 0), up(0, 1, 0);
    D3DXMATRIX view, rx, ry, rz, move;
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    const float angle = float(angleDeg) * 0.017453292f;
    D3DXMatrixRotationX(&rx, angle);
    D3DXMatrixRotationY(&ry, angle);
    D3DXMatrixRotationZ(&rz, angle);
    const D3DXMATRIX spin = (rz * ry) * rx;
    D3DXMatrixTranslation(&move, 8, 8, 8);
    const D3DXMATRIX projection = viewerProjection();

    sw::DrawState state = swtest::unlitState(spin * view * projection);
    state.cullMode = look.cull;
    state.shadeMode = look.shade;
    state.zEnable = look.zEnable;
    state.zFunc = look.zFunc;
    pair.draw(state, D3DPT_LINELIST, 3, kAxes);
    state.worldViewProjection = move * spin * view * projection;
    pair.draw(state, D3DPT_TRIANGLELIST, 12, kCube, &kCubeIndices);
}

TEST_P(ReferenceFrame, ViewerFramesMatchOverEveryThirdAngleFromEveryCamera) {
    Pair pair = this->pair();
    for (const Camera& cam : kCameras) {
        for (int angle = 0; angle < 360; angle += 3) {
            drawViewerFrame(pair, cam, angle, Look{});
            const std::string diff = pair.difference();
            ASSERT_TRUE(diff.empty()) << cam.name << ", angle " << angle << ": " << diff;
            // From the start the whole cube is in view: a frame of clears alone would
            // compare equal and prove nothing.
            if (cam.z == 0) {
                EXPECT_GT(pair.plain.drawnCount(), 2000) << cam.name << angle;
            }
        }
    }
}

TEST_P(ReferenceFrame, ViewerFramesMatchInEveryCullShadeAndDepthState) {
    const DWORD culls[] = {D3DCULL_NONE, D3DCULL_CCW, D3DCULL_CW};
    const DWORD shades[] = {D3DSHADE_FLAT, D3DSHADE_GOURAUD};
    const DWORD zEnables[] = {D3DZB_FALSE, D3DZB_TRUE};
    Pair pair = this->pair();
    for (const Camera& cam : kCameras) {
        for (DWORD cull : culls) {
            for (DWORD shade : shades) {
                for (DWORD z : zEnables) {
                    // A step coprime with 360 reaches different angles for each state.
                    for (int angle = int(cull * 7 + shade); angle < 360; angle += 37) {
                        drawViewerFrame(pair, cam, angle, {cull, shade, z, D3DCMP_LESSEQUAL});
                        const std::string diff = pair.difference();
                        ASSERT_TRUE(diff.empty())
                            << cam.name << ", cull " << cull << ", shade " << shade << ", z " << z
                            << ", angle " << angle << ": " << diff;
                    }
                }
            }
        }
    }
}

// Random triangles and lines in clip space with w from behind the eye to far away,
// colours and depths spread over their whole range, every depth comparison, spans
// from one pixel to wider than the target, and targets of odd sizes.
TEST_P(ReferenceFrame, RandomPrimitivesMatchInEveryDepthFunctionAndTargetSize) {
    const DWORD funcs[] = {D3DCMP_NEVER,   D3DCMP_LESS,     D3DCMP_EQUAL,        D3DCMP_LESSEQUAL,
                           D3DCMP_GREATER, D3DCMP_NOTEQUAL, D3DCMP_GREATEREQUAL, D3DCMP_ALWAYS};
    struct Size {
        int w, h;
    };
    const Size sizes[] = {{kWidth, kHeight}, {1, 1}, {3, 17}, {61, 29}, {257, 130}};
    std::mt19937 rng(20261208);
    std::uniform_real_distribution<float> xy(-1.6f, 1.6f), w(-0.3f, 4.0f);
    std::uniform_int_distribution<std::uint32_t> color(0, 0xFFFFFFFF);
    long drawn = 0;  // pixels not of the clear colour: the sweep must have drawn something
    for (const Size& size : sizes) {
        Pair pair = this->pair(size.w, size.h);
        for (int round = 0; round < 48; ++round) {
            // Model (a, b, c) goes to clip (a, b, s·c + t, c): w = c, and depth
            // s + t/c changes across every primitive.
            sw::DrawState state = swtest::unlitState(swtest::clipMatrix(0.8f));
            state.worldViewProjection._43 = 0.1f;
            state.zFunc = funcs[round % 8];
            state.shadeMode = round % 5 == 0 ? D3DSHADE_FLAT : D3DSHADE_GOURAUD;
            state.cullMode = round % 3 == 0 ? D3DCULL_CW : D3DCULL_NONE;
            state.zWriteEnable = round % 4 != 1;
            state.lastPixel = round % 2;
            std::vector<Vertex> v(30);
            for (Vertex& p : v) {
                const float pw = w(rng);
                p = {xy(rng) * pw, xy(rng) * pw, pw, color(rng)};
            }
            // Lines of one colour, which need not be interpolated.
            if (round % 4 == 3) {
                for (int i = 0; i < 6; i += 2) v[i + 1].color = v[i].color;
            }
            const bool black = round % 7 != 0;
            pair.clear(black ? 0xFF000000 : 0xFF102030, round % 6 == 0 ? 0.25f : 1.0f);
            for (int pass = 0; pass < 2; ++pass) {  // the second pass meets stored depths
                pair.draw(state, D3DPT_TRIANGLELIST, 8, v);
                pair.draw(state, D3DPT_LINELIST, 3, v);
                state.worldViewProjection._33 = 0.75f;
            }
            const std::string diff = pair.difference();
            ASSERT_TRUE(diff.empty())
                << size.w << "x" << size.h << ", round " << round << ": " << diff;
            if (black) drawn += pair.plain.drawnCount();
        }
    }
    EXPECT_GT(drawn, 100000);
}

// More primitives in one draw than the pipeline rasterizes at once, overlapping, with
// every fragment passing: the last written wins, so batches out of order would show.
TEST_P(ReferenceFrame, DrawsLongerThanABatchKeepTheirOrder) {
    std::mt19937 rng(8122026);
    std::uniform_real_distribution<float> xy(-1.2f, 1.2f), z(0.0f, 1.0f);
    std::uniform_int_distribution<std::uint32_t> color(0, 0xFFFFFFFF);
    std::vector<Vertex> v(3000);
    for (Vertex& p : v) p = {xy(rng), xy(rng), z(rng), color(rng)};
    Pair pair = this->pair(257, 130);
    D3DMATRIX identity{};
    identity._11 = identity._22 = identity._33 = identity._44 = 1.0f;
    for (DWORD func : {D3DCMP_ALWAYS, D3DCMP_LESSEQUAL}) {
        sw::DrawState state = swtest::unlitState(identity);
        state.cullMode = D3DCULL_NONE;
        state.zFunc = func;
        pair.clear(0xFF000000, 1.0f);
        pair.draw(state, D3DPT_TRIANGLELIST, 1000, v);
        pair.draw(state, D3DPT_LINELIST, 1500, v);
        const std::string diff = pair.difference();
        ASSERT_TRUE(diff.empty()) << "function " << func << ": " << diff;
        EXPECT_GT(pair.plain.drawnCount(), 257 * 130 / 2);
    }
}

// Spans in perspective whose every colour lies within a few float roundings of a byte's
// boundary k + 0.5: a kernel that shades in a narrower type and trusts a value too near
// the boundary stores the neighbouring byte.
TEST_P(ReferenceFrame, SpanColoursAtByteBoundariesMatch) {
    std::mt19937 rng(24122026);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_int_distribution<int> byte(0, 255);
    constexpr int kCount = 37;  // no kernel's width divides it: every tail runs
    sw::reference::Scratch plain;
    plain.spanColor.resize(kCount);
    std::vector<std::uint32_t> tuned(kCount);
    for (int trial = 0; trial < 3000; ++trial) {
        sw::TriangleSetup s;
        const double inv0 = 0.05 + std::abs(unit(rng)), dInv = inv0 * 0.01 * unit(rng);
        s.invW = {inv0, dInv};
        for (sw::Plane* c : {&s.rw, &s.gw, &s.bw}) {
            const double boundary = byte(rng) + 0.5;
            *c = {(boundary + 1e-5 * unit(rng)) * inv0, boundary * dInv + 1e-7 * inv0 * unit(rng)};
        }
        // Now and then a plane that is not finite, in one channel only.
        if (trial % 100 == 0) s.gw.dx = trial % 200 ? NAN : INFINITY;
        sw::Span span;
        span.count = kCount;
        sw::reference::shadeSpan(s, span, plain);
        sw::shadeColors(s, 0, 0, kCount, tuned.data());
        for (int i = 0; i < kCount; ++i) {
            ASSERT_EQ(tuned[i], plain.spanColor[i]) << "trial " << trial << ", fragment " << i;
        }
    }
}

std::string variantName(const testing::TestParamInfo<Variant>& info) {
    std::string name = "unknown";
    switch (info.param.kernels) {
        case sw::SpanKernels::portable: name = "portable"; break;
        case sw::SpanKernels::sse2: name = "sse2"; break;
        case sw::SpanKernels::avx2: name = "avx2"; break;
        case sw::SpanKernels::avx512: name = "avx512"; break;
        case sw::SpanKernels::neon: name = "neon"; break;
    }
    name.append("_").append(std::to_string(info.param.threads)).append("_threads");
    return name;
}

INSTANTIATE_TEST_SUITE_P(
    Kernels, ReferenceFrame,
    testing::Values(Variant{sw::SpanKernels::portable, 1}, Variant{sw::SpanKernels::portable, 2},
                    Variant{sw::SpanKernels::sse2, 1}, Variant{sw::SpanKernels::avx2, 1},
                    Variant{sw::SpanKernels::avx512, 1}, Variant{sw::SpanKernels::sse2, 3},
                    Variant{sw::SpanKernels::avx512, 2}, Variant{sw::SpanKernels::neon, 1}),
    variantName);

}  // namespace
