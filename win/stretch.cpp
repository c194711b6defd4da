// Nearest-neighbour stretch of a whole frame over a whole client area, sampling at
// pixel centres. Every back end uses it: the headless one for its kept client image, the
// SDL one to fill the window's surface, the web one to fill the canvas. No pacing, no
// windows.
#include "win/stretch.h"

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace win {

int nearestSource(int d, int srcSize, int dstSize) {
    assert(srcSize > 0 && dstSize > 0 && d >= 0 && d < dstSize);
    // (d + 0.5) · src / dst in integers: (2d + 1) · src / (2 · dst), floored.
    const std::int64_t num = (2 * std::int64_t{d} + 1) * srcSize;
    return static_cast<int>(num / (2 * std::int64_t{dstSize}));
}

void stretchNearest(const std::uint32_t* src, int srcWidth, int srcHeight, std::uint32_t* dst,
                    int dstWidth, int dstHeight, StretchColumns& columns) {
    stretchNearest(src, srcWidth, srcHeight, dst, dstWidth, dstHeight,
                   static_cast<std::size_t>(dstWidth), columns);
}

void stretchNearest(const std::uint32_t* src, int srcWidth, int srcHeight, std::uint32_t* dst,
                    int dstWidth, int dstHeight, std::size_t dstStride, StretchColumns& columns) {
    assert(src != nullptr && dst != nullptr && srcWidth > 0 && srcHeight > 0 && dstWidth > 0 &&
           dstHeight > 0 && dstStride >= static_cast<std::size_t>(dstWidth));
    const std::size_t rowBytes = static_cast<std::size_t>(dstWidth) * sizeof(*dst);
    // Same size: the rule samples every texel at its own centre, so it is a copy.
    if (srcWidth == dstWidth && srcHeight == dstHeight) {
        if (dstStride == static_cast<std::size_t>(dstWidth)) {
            std::memcpy(dst, src, rowBytes * dstHeight);
            return;
        }
        for (int y = 0; y < dstHeight; ++y) {
            std::memcpy(dst + y * dstStride, src + static_cast<std::size_t>(y) * srcWidth,
                        rowBytes);
        }
        return;
    }
    // The column map is the same for every row: work it out once.
    columns.resize(static_cast<std::size_t>(dstWidth));
    for (int x = 0; x < dstWidth; ++x) columns[x] = nearestSource(x, srcWidth, dstWidth);

    int previousSource = -1;
    for (int y = 0; y < dstHeight; ++y) {
        const int source = nearestSource(y, srcHeight, dstHeight);
        std::uint32_t* out = dst + y * dstStride;
        if (source == previousSource) {  // a repeated row when stretching taller
            std::memcpy(out, out - dstStride, rowBytes);
            continue;
        }
        const std::uint32_t* row = src + static_cast<std::size_t>(source) * srcWidth;
        for (int x = 0; x < dstWidth; ++x) out[x] = row[columns[x]];
        previousSource = source;
    }
}

}  // namespace win
