// Whether the machine has a GPU, and whether an OpenGL renderer string names one. SDL
// calls Mesa's CPU rasterizers "accelerated", and presenting through them costs more CPU
// than the shared-memory copy, so the present path is chosen from the name the driver
// gives; where no GPU device exists at all, OpenGL is not even loaded (Mesa's llvmpipe
// would stay in memory for the life of the process). No SDL here.
#pragma once

#include <string>
#include <string_view>

namespace win::sdl {

// False for Mesa's llvmpipe, softpipe and swrast, for "Software Rasterizer" (what the
// GLX fallback calls itself) and for an empty name (the string could not be read).
bool isHardwareRenderer(std::string_view glRenderer);

// True when devRoot ("/dev") holds a DRM render node (dri/renderD*), which every Mesa
// hardware driver opens, or NVIDIA's control device (nvidiactl). A display-only DRM
// device (dri/card* alone, as simpledrm makes) is no GPU.
bool hasGpuDevice(const std::string& devRoot);

// Whether one present waited for the display's vertical blank: it spent a good part of
// a period inside the swap and ended on the refresh grid, a whole number of periods (up
// to four) after the previous present ended. A slow swap on a busy CPU does the first,
// seldom the second; a swap that ignores vsync does neither. Times in seconds.
bool presentWaitedForVsync(double inside, double sincePrevious, double period);

// Keeps watching a vsync the probe trusted: a slow swap on a busy CPU can pass the probe,
// and a driver may stop waiting later. Presents that end less than half a period after
// the previous one are let through a few at a time (a queue of swaps fills that way), but
// kFastInARow of them running means vsync no longer holds the pace. Times in seconds.
struct VsyncWatch {
    static constexpr int kFastInARow = 4;
    int fastInARow = 0;
    bool stillWaits(double sincePrevious, double period);
};

}  // namespace win::sdl
