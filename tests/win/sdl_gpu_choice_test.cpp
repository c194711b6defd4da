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

}  // namespace
