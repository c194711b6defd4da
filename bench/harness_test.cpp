// Checks of the benchmark harness itself: the allocation counter, the statm reader,
// the headless scene session and the scene recording the Mesa comparison is fed.
// Expected matrices come from the scene's geometry: the eye at (0, 0, -20) looking
// at the origin, the cube's centre at (8, 8, 8).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "bench/alloc_count.h"
#include "bench/resident.h"
#include "bench/scene_record.h"
#include "bench/session.h"
#include "scene/globals.h"
#include "win/headless/headless.h"

namespace {

// Kept where the optimiser must assume it is read, so no allocation is elided.
void* volatile sink = nullptr;

TEST(AllocationCounter, EveryFormOfNewCountsOnceWithItsSize) {
    struct alignas(64) Wide {
        char bytes[64];
    };
    struct Case {
        const char* name;
        void (*allocateAndFree)();
        std::uint64_t bytes;
    };
    const Case cases[] = {
        {"new",
         [] {
             sink = new int(1);
             delete static_cast<int*>(sink);
         },
         sizeof(int)},
        {"new[]",
         [] {
             sink = new char[100];
             delete[] static_cast<char*>(sink);
         },
         100},
        {"nothrow",
         [] {
             sink = new (std::nothrow) double(2);
             delete static_cast<double*>(sink);
         },
         sizeof(double)},
        {"aligned",
         [] {
             sink = new Wide;
             delete static_cast<Wide*>(sink);
         },
         sizeof(Wide)},
        {"operator new",
         [] {
             sink = ::operator new(24);
             ::operator delete(sink);
         },
         24},
    };
    for (const Case& c : cases) {
        const bench::AllocationCount before = bench::allocationsSoFar();
        c.allocateAndFree();
        const bench::AllocationCount after = bench::allocationsSoFar();
        EXPECT_EQ(after.calls - before.calls, 1u) << c.name;
        EXPECT_EQ(after.bytes - before.bytes, c.bytes) << c.name;
    }
}

TEST(AllocationCounter, AlignedNewHonoursTheAlignment) {
    struct alignas(256) Page {
        char bytes[300];
    };
    auto p = std::make_unique<Page>();
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p.get()) % 256, 0u);
}

TEST(AllocationCounter, MallocIsNotCounted) {
    const bench::AllocationCount before = bench::allocationsSoFar();
    sink = std::malloc(64);
    std::free(sink);
    EXPECT_EQ(bench::allocationsSoFar().calls, before.calls);
}

TEST(Statm, ResidentIsTheSecondFieldOfAWellFormedLine) {
    struct Case {
        const char* line;
        std::optional<long> pages;
    };
    const Case cases[] = {
        {"1000 250 30 5 0 200 0\n", 250},
        {"  7 7 0 0 0 0 0", 7},
        {"", std::nullopt},
        {"1000", std::nullopt},
        {"1000 ", std::nullopt},
        {"abc 250", std::nullopt},
        {"1000 -5", std::nullopt},
        {"10 20 0", std::nullopt},  // more resident than the whole size
        {"99999999999999999999999 1", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(bench::parseStatmResidentPages(c.line), c.pages) << '"' << c.line << '"';
    }
    EXPECT_EQ(bench::parseStatmResidentPages(nullptr), std::nullopt);
}

TEST(Statm, TouchingMemoryRaisesResidentSize) {
    constexpr std::size_t kBytes = 32u << 20;
    const std::optional<long> before = bench::residentBytes();
    ASSERT_TRUE(before.has_value());
    // Freed on every path, a failed assertion's included.
    std::unique_ptr<char, void (*)(void*)> block(static_cast<char*>(std::malloc(kBytes)),
                                                 std::free);
    ASSERT_NE(block, nullptr);
    std::memset(block.get(), 1, kBytes);
    sink = block.get();
    const std::optional<long> after = bench::residentBytes();
    block.reset();
    ASSERT_TRUE(after.has_value());
    EXPECT_GE(*after - *before, static_cast<long>(kBytes * 9 / 10));
}

class Session : public ::testing::Test {
protected:
    void TearDown() override { bench::closeScene(); }
};

TEST_F(Session, OpensTheSceneAsWinMainDoesAndPresentsWholeFrames) {
    std::string why;
    ASSERT_TRUE(bench::openScene(bench::kNearCamera, D3DCULL_NONE, &why)) << why;
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(camZ, 3.0f);
    DWORD cull = 0;
    EXPECT_EQ(device->GetRenderState(D3DRS_CULLMODE, &cull), D3D_OK);
    EXPECT_EQ(cull, static_cast<DWORD>(D3DCULL_NONE));
    D3DMATRIX p{};
    EXPECT_EQ(device->GetTransform(D3DTS_PROJECTION, &p), D3D_OK);
    EXPECT_FLOAT_EQ(p._22 / p._11, 800.0f / 600.0f);

    drawFrame();
    drawFrame();
    EXPECT_EQ(win::headless::presentCount(), 2);
    EXPECT_EQ(win::headless::lastBackBuffer().width, 800);
    EXPECT_EQ(win::headless::lastBackBuffer().height, 600);
    EXPECT_EQ(angleDeg, 2.0f);

    bench::closeScene();
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(direct3d, nullptr);
    EXPECT_EQ(camZ, 0.0f);
}

TEST_F(Session, ReopeningStartsFromAFreshBackEnd) {
    std::string why;
    ASSERT_TRUE(bench::openScene(bench::kStartCamera, D3DCULL_CCW, &why)) << why;
    drawFrame();
    bench::closeScene();
    ASSERT_TRUE(bench::openScene(bench::kStartCamera, D3DCULL_CCW, &why)) << why;
    EXPECT_EQ(win::headless::presentCount(), 0);
    drawFrame();
    EXPECT_EQ(win::headless::presentCount(), 1);
}

TEST(SceneRecording, HoldsTheSceneBuffersAndItsMatricesPerAngle) {
    auto scene = std::make_unique<bench::SceneRecording>();
    std::string why;
    ASSERT_TRUE(bench::recordScene(bench::kStartCamera, scene.get(), &why)) << why;
    EXPECT_EQ(device, nullptr) << "the scene is closed again";

    ASSERT_EQ(scene->axes.size(), 6u);  // three lines
    ASSERT_EQ(scene->cube.size(), 8u);
    ASSERT_EQ(scene->cubeIndices.size(), 36u);
    EXPECT_EQ(scene->axes[1].x, 20.0f);  // the x axis is 20 long
    EXPECT_EQ(scene->cube[0].x, -5.0f);  // a cube of size 10 about its centre

    // Angle 0: no turn, so the origin lies 20 ahead of the eye and the cube's centre at
    // (8, 8, 8 + 20) in view space.
    const bench::FrameTransforms& f0 = scene->frames[0];
    EXPECT_FLOAT_EQ(f0.axesWorldView._41, 0.0f);
    EXPECT_FLOAT_EQ(f0.axesWorldView._42, 0.0f);
    EXPECT_FLOAT_EQ(f0.axesWorldView._43, 20.0f);
    EXPECT_FLOAT_EQ(f0.cubeWorldView._41, 8.0f);
    EXPECT_FLOAT_EQ(f0.cubeWorldView._42, 8.0f);
    EXPECT_FLOAT_EQ(f0.cubeWorldView._43, 28.0f);

    // Every angle: the axes turn about the origin (their origin stays 20 ahead), and the
    // cube's centre keeps its distance sqrt(3 · 64) from the origin.
    for (int a = 0; a < 360; ++a) {
        const bench::FrameTransforms& f = scene->frames[static_cast<std::size_t>(a)];
        EXPECT_NEAR(f.axesWorldView._43, 20.0f, 1e-4f) << a;
        const float cx = f.cubeWorldView._41, cy = f.cubeWorldView._42;
        const float cz = f.cubeWorldView._43 - 20.0f;
        EXPECT_NEAR(cx * cx + cy * cy + cz * cz, 192.0f, 1e-2f) << a;
        for (int i = 0; i < 16; ++i) {
            EXPECT_EQ(f.projection.m[i / 4][i % 4], f0.projection.m[i / 4][i % 4]) << a;
        }
    }
    // Angle 90 about z, then y, then x takes (8, 8, 8) to (-8, 8, 8), (8, 8, 8), then
    // (8, -8, 8).
    EXPECT_NEAR(scene->frames[90].cubeWorldView._41, 8.0f, 1e-4f);
    EXPECT_NEAR(scene->frames[90].cubeWorldView._42, -8.0f, 1e-4f);
    EXPECT_NEAR(scene->frames[90].cubeWorldView._43, 28.0f, 1e-4f);
}

}  // namespace
