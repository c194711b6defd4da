// The nearest-neighbour rule every back end uses to put a back buffer over a client
// area of another size, over all of it or only where a frame changed. Pixels only: no
// pacing, no windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "win/win32.h"

namespace win {

// The source index sampled by destination index d of dstSize along one axis:
// floor((d + 0.5) · srcSize / dstSize), the texel whose area holds the pixel centre.
int nearestSource(int d, int srcSize, int dstSize);

// The column map of a stretch, kept by its caller from call to call so a steady client
// size allocates nothing.
using StretchColumns = std::vector<int>;

// Fills the whole dst (dstWidth × dstHeight) from the whole src (srcWidth × srcHeight),
// both row-major without padding. Sizes must be positive.
void stretchNearest(const std::uint32_t* src, int srcWidth, int srcHeight, std::uint32_t* dst,
                    int dstWidth, int dstHeight, StretchColumns& columns);
// The same into rows dstStride pixels apart (dstStride >= dstWidth), as a window's
// surface may pad its rows, and only over the pixels of `area` (inside dst): the rest
// of dst is left as it is.
void stretchNearest(const std::uint32_t* src, int srcWidth, int srcHeight, std::uint32_t* dst,
                    int dstWidth, int dstHeight, std::size_t dstStride, const RECT& area,
                    StretchColumns& columns);

// The destination pixels whose sources lie in `src` (a rectangle inside the source):
// exactly those, as a rectangle, empty when none does.
RECT destinationOf(const RECT& src, int srcWidth, int srcHeight, int dstWidth, int dstHeight);

}  // namespace win
