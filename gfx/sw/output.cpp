// Output merger: the D16 depth test and write, X8R8G8B8 colour packing, and the clears.
// Last stage of a draw; fragments arrive from raster_tri.cpp / raster_line.cpp already
// inside the target. It does no coverage or interpolation of its own.
#include <algorithm>
#include <cstddef>

#include "gfx/sw/pipeline.h"

namespace sw {

void clearColor(const RenderTarget& target, D3DCOLOR color) {
    if (!target.color || target.width <= 0 || target.height <= 0) return;
    const std::size_t n = static_cast<std::size_t>(target.width) * target.height;
    // X8R8G8B8 ignores alpha; we store 0xFF there so a reader may treat it as opaque.
    std::fill_n(target.color, n, color | 0xFF000000u);
}

void clearDepth(const RenderTarget& target, float z) {
    if (!target.depth || target.width <= 0 || target.height <= 0) return;
    const std::size_t n = static_cast<std::size_t>(target.width) * target.height;
    std::fill_n(target.depth, n, toD16(z));
}

}  // namespace sw
