// Which way a window's frames reach the screen, for tests only: the program never
// prints it. Also the test build's levers, so the GPU path can be run where the only
// OpenGL is Mesa on the CPU, and its failure handling can be seen. No SDL here.
#pragma once

#include "win/win32.h"

namespace win::sdl {

enum class PresentPath {
    none,          // no such window
    sharedMemory,  // stretched by the CPU into the window's own surface
    gpu,           // one texture upload, stretched and synchronised by the graphics driver
};

PresentPath presentPathOf(HWND hWnd);
// The path the latest window created uses, or used last if it is gone.
PresentPath lastWindowPath();

struct GpuTestLevers {
    bool acceptSoftware = false;  // take llvmpipe & co. as if they were a GPU
    int failFromPresent = 0;      // > 0: the GPU present with this number, per window, fails
};
void setGpuTestLevers(const GpuTestLevers& levers);

}  // namespace win::sdl
