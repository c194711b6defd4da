// Frames as a canvas takes them: ImageData holds R, G, B, A bytes in memory order,
// where a frame holds X8R8G8B8 words. Compiled without emscripten too, for the tests.
#pragma once

#include <cstddef>
#include <cstdint>

namespace win::web {

// Rewrites `count` X8R8G8B8 words in place as opaque RGBA bytes (the X byte is
// ignored, as an X8R8G8B8 target ignores it, and the canvas gets alpha 255).
void toCanvasPixels(std::uint32_t* pixels, std::size_t count);

}  // namespace win::web
