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

}  // namespace win::sdl
