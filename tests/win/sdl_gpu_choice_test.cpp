// The present path's choice: no GPU device, no OpenGL at all; then by the OpenGL
// renderer's name, real GPUs take the GPU present, Mesa's CPU rasterizers and
// unreadable names keep the shared-memory copy.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "win/sdl/gpu_choice.h"

namespace {

using win::sdl::isHardwareRenderer;

TEST(GpuChoice, HardwareNamesTakeTheGpu) {
    for (const char* name :
         {"AMD Radeon RX 6600 (navi23, LLVM 15.0.6, DRM 3.49, 6.1.0-13-amd64)",
          "Mesa Intel(R) UHD Graphics 620 (KBL GT2)", "NVIDIA GeForce RTX 3060/PCIe/SSE2",
          "virgl (Apple M1)", "Mali-G52 (Panfrost)", "V3D 4.2"}) {
        EXPECT_TRUE(isHardwareRenderer(name)) << name;
    }
}

TEST(GpuChoice, SoftwareNamesAndFailuresKeepSharedMemory) {
    // "LLVM" alone is no sign of software: radeonsi names its compiler too (above).
    for (const char* name : {"llvmpipe (LLVM 15.0.6, 256 bits)", "softpipe", "Software Rasterizer",
                             "Mesa X11 swrast", "LLVMPIPE (LLVM 11.0.1, 128 bits)",
                             "Gallium 0.4 on llvmpipe (LLVM 3.4, 256 bits)", "", "   "}) {
        EXPECT_FALSE(isHardwareRenderer(name)) << '"' << name << '"';
    }
}

TEST(GpuChoice, OnlyARenderNodeOrNvidiaControlDeviceIsAGpu) {
    namespace fs = std::filesystem;
    const fs::path dev = fs::path(::testing::TempDir()) / "gpu-choice-dev";
    fs::remove_all(dev);
    fs::create_directories(dev);
    EXPECT_FALSE(win::sdl::hasGpuDevice(dev.string())) << "no dri folder";
    fs::create_directories(dev / "dri");
    std::ofstream(dev / "dri" / "card0").close();  // a display-only device (simpledrm)
    EXPECT_FALSE(win::sdl::hasGpuDevice(dev.string()));
    std::ofstream(dev / "dri" / "renderD128").close();
    EXPECT_TRUE(win::sdl::hasGpuDevice(dev.string()));
    fs::remove_all(dev / "dri");
    std::ofstream(dev / "nvidiactl").close();
    EXPECT_TRUE(win::sdl::hasGpuDevice(dev.string()));
    fs::remove_all(dev);
}

TEST(GpuChoice, APresentWaitedOnlyWhenItBlockedAndEndedOnTheRefreshGrid) {
    using win::sdl::presentWaitedForVsync;
    const double period = 1.0 / 60;
    // Blocked in the swap until the blank, one or two periods after the previous one.
    EXPECT_TRUE(presentWaitedForVsync(0.012, 0.0167, period));
    EXPECT_TRUE(presentWaitedForVsync(0.006, 0.0165, period));
    EXPECT_TRUE(presentWaitedForVsync(0.025, 0.0334, period));
    // Returned at once (vsync ignored), however the frames are spaced.
    EXPECT_FALSE(presentWaitedForVsync(0.0002, 0.0167, period));
    // A slow swap on a busy CPU, off the grid.
    EXPECT_FALSE(presentWaitedForVsync(0.009, 0.0230, period));
    EXPECT_FALSE(presentWaitedForVsync(0.009, 0.0100, period));
    // The first present has no previous one to be a period after; no rate, no wait.
    EXPECT_FALSE(presentWaitedForVsync(0.012, 1e9 + 0.5, period));
    EXPECT_FALSE(presentWaitedForVsync(0.012, 0.0167, 0.0));
}

TEST(GpuChoice, TrustedVsyncIsDroppedOnlyWhenPresentsKeepRunningFasterThanTheDisplay) {
    const double period = 1.0 / 60;
    win::sdl::VsyncWatch steady;
    for (int i = 0; i < 100; ++i) EXPECT_TRUE(steady.stillWaits(0.0167, period)) << i;
    // A swap queue filling lets a few through at once, then vsync holds again.
    win::sdl::VsyncWatch queue;
    for (int i = 0; i < win::sdl::VsyncWatch::kFastInARow - 1; ++i) {
        EXPECT_TRUE(queue.stillWaits(0.001, period)) << i;
    }
    for (int i = 0; i < 10; ++i) EXPECT_TRUE(queue.stillWaits(0.0167, period)) << i;
    // A driver that took the swap interval and stopped waiting: presents 7 ms apart.
    win::sdl::VsyncWatch ignored;
    bool dropped = false;
    for (int i = 0; i < win::sdl::VsyncWatch::kFastInARow; ++i) {
        dropped = !ignored.stillWaits(0.0069, period);
    }
    EXPECT_TRUE(dropped);
}

}  // namespace
