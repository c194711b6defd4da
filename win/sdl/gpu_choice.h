// Whether an OpenGL renderer string names a real GPU. SDL calls Mesa's CPU rasterizers
// "accelerated", and presenting through them costs more CPU than the shared-memory copy,
// so the present path is chosen from the name the driver gives. No SDL here.
#pragma once

#include <string_view>

namespace win::sdl {

// False for Mesa's llvmpipe, softpipe and swrast, for "Software Rasterizer" (what the
// GLX fallback calls itself) and for an empty name (the string could not be read).
bool isHardwareRenderer(std::string_view glRenderer);

}  // namespace win::sdl
