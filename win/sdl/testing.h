// Seams of the SDL back end for tests and the test builds of the viewer only: which way
// a window's frames reach the screen, the OpenGL renderer name read, and levers that take
// Mesa's CPU OpenGL for a GPU or make the GPU present fail. Compiled into win_sdl_testing,
// which links in place of win_sdl; the shipped programs hold none of it. No SDL here.
#pragma once

#include <string>

#include "win/win32.h"

namespace win::sdl {

enum class PresentPath {
    none,          // no such window
    sharedMemory,  // stretched by the CPU into the window's own surface
    gpu,           // one texture upload, stretched and synchronised by the graphics driver
};

PresentPath presentPathOf(HWND hWnd);
// The path the newest window's frames took last (none before any window showed one),
// kept after the window is gone.
PresentPath lastWindowPath();

// The OpenGL renderer name read for the latest window ("" when none was read).
std::string lastRendererName();

struct GpuTestLevers {
    bool acceptSoftware = false;    // take llvmpipe & co. for a GPU, on a machine without one
    int failFromPresent = 0;        // > 0: the GPU present with this number, per window, fails
    std::string devRoot = "/dev";   // where GPU devices are looked for
    bool trialVsyncAnyway = false;  // put vsync on trial where the driver refused it
};
void setGpuTestLevers(const GpuTestLevers& levers);

}  // namespace win::sdl
