// Nearest-neighbour stretch of a frame over a client area, sampling at pixel centres,
// whole or only over a rectangle of the client. Every back end uses it: the headless one
// for its kept client image, the SDL one to fill the window's surface, the web one to
// fill the canvas. No pacing, no windows.
#include "win/stretch.h"

#include <algorithm>
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

namespace {

// The first destination index whose source is s or later (dstSize when none is):
// (2d + 1) · src >= 2 · s · dst, so d >= (2 · s · dst − src) / (2 · src), rounded up.
int firstSampling(int s, int srcSize, int dstSize) {
    const std::int64_t num = 2 * std::int64_t{s} * dstSize - srcSize;
    const std::int64_t den = 2 * std::int64_t{srcSize};
    const std::int64_t d = num >= 0 ? (num + den - 1) / den : -(-num / den);
    return static_cast<int>(std::clamp<std::int64_t>(d, 0, dstSize));
}

}  // namespace

RECT destinationOf(const RECT& src, int srcWidth, int srcHeight, int dstWidth, int dstHeight) {
    // nearestSource never decreases, so the pixels sampling a run of sources are a run.
    return RECT{firstSampling(src.left, srcWidth, dstWidth),
                firstSampling(src.top, srcHeight, dstHeight),
                firstSampling(src.right, srcWidth, dstWidth),
                firstSampling(src.bottom, srcHeight, dstHeight)};
}

void stretchNearest(const std::uint32_t* src, int srcWidth, int srcHeight, std::uint32_t* dst,
                    int dstWidth, int dstHeight, StretchColumns& columns) {
    stretchNearest(src, srcWidth, srcHeight, dst, dstWidth, dstHeight,
                   static_cast<std::size_t>(dstWidth), RECT{0, 0, dstWidth, dstHeight}, columns);
}

void stretchNearest(const std::uint32_t* src, int srcWidth, int srcHeight, std::uint32_t* dst,
                    int dstWidth, int dstHeight, std::size_t dstStride, const RECT& area,
                    StretchColumns& columns) {
    assert(src != nullptr && dst != nullptr && srcWidth > 0 && srcHeight > 0 && dstWidth > 0 &&
           dstHeight > 0 && dstStride >= static_cast<std::size_t>(dstWidth));
    assert(0 <= area.left && area.right <= dstWidth && 0 <= area.top && area.bottom <= dstHeight);
    if (area.left >= area.right || area.top >= area.bottom) return;
    const int x0 = static_cast<int>(area.left), width = static_cast<int>(area.right - area.left);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * sizeof(*dst);
    // Same size: the rule samples every texel at its own centre, so it is a copy.
    if (srcWidth == dstWidth && srcHeight == dstHeight) {
        for (int y = area.top; y < area.bottom; ++y) {
            std::memcpy(dst + y * dstStride + x0, src + static_cast<std::size_t>(y) * srcWidth + x0,
                        rowBytes);
        }
        return;
    }
    // The column map is the same for every row: work it out once.
    columns.resize(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x) columns[x] = nearestSource(x0 + x, srcWidth, dstWidth);

    int previousSource = -1;
    for (int y = area.top; y < area.bottom; ++y) {
        const int source = nearestSource(y, srcHeight, dstHeight);
        std::uint32_t* out = dst + y * dstStride + x0;
        if (source == previousSource) {  // a repeated row when stretching taller
            std::memcpy(out, out - dstStride, rowBytes);
            continue;
        }
        const std::uint32_t* row = src + static_cast<std::size_t>(source) * srcWidth;
        for (int x = 0; x < width; ++x) out[x] = row[columns[x]];
        previousSource = source;
    }
}

}  // namespace win
