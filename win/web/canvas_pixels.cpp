// X8R8G8B8 words to the canvas's RGBA byte order, in place, one pass after the stretch.
#include "win/web/canvas_pixels.h"

#include <cstring>

namespace win::web {

void toCanvasPixels(std::uint32_t* pixels, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t p = pixels[i];
        const unsigned char rgba[4] = {static_cast<unsigned char>(p >> 16),
                                       static_cast<unsigned char>(p >> 8),
                                       static_cast<unsigned char>(p), 0xFF};
        std::memcpy(&pixels[i], rgba, sizeof(rgba));
    }
}

}  // namespace win::web
