// Which way a window's frames reach the screen, for tests only: the program never
// prints it. Also the test build's levers, so the GPU path can be run where the only
// OpenGL is Mesa on the CPU, and its failure handling can be seen. No SDL here.
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
// The path the latest window created uses, or used last if it is gone.
PresentPath lastWindowPath();
void noteLatestPath(PresentPath path);

// The OpenGL renderer name read for the latest window ("" when none was read).
std::string lastRendererName();

struct GpuTestLevers {
    bool acceptSoftware = false;     // take llvmpipe & co. for a GPU, on a machine without one
    int failFromPresent = 0;         // > 0: the GPU present with this number, per window, fails
    std::string devRoot = "/dev";    // where GPU devices are looked for
    bool probeWithoutVsync = false;  // run the vsync probe where the driver refused vsync
};
void setGpuTestLevers(const GpuTestLevers& levers);

}  // namespace win::sdl
