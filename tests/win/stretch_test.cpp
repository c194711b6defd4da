// The nearest-neighbour stretch into rows with padding, as a window's surface has them:
// every pixel holds the texel whose area contains its centre, and the padding between
// rows is never written. Stretched over the pixels showing a part of the frame, exactly
// those pixels are written.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "win/stretch.h"

namespace {

TEST(StretchIntoPaddedRows, EveryPixelSamplesItsCentreAndPaddingIsLeftAlone) {
    struct Case {
        int srcW, srcH, dstW, dstH, pad;
    };
    const Case cases[] = {
        {8, 6, 8, 6, 3},            // same size: row copies
        {8, 6, 8, 6, 0},            // same size, no padding: one copy
        {4, 3, 10, 5, 2},           // larger both ways, repeated rows
        {10, 5, 4, 3, 1},           // smaller both ways
        {800, 600, 1000, 500, 24},  // the resize the end-to-end test makes
    };
    constexpr std::uint32_t kUntouched = 0xDEADBEEF;
    win::StretchColumns columns;  // one map reused as the sizes change, as a window keeps it
    for (const Case& c : cases) {
        // Each texel holds its own position, so a pixel says which texel it sampled.
        std::vector<std::uint32_t> src(static_cast<std::size_t>(c.srcW) * c.srcH);
        for (int y = 0; y < c.srcH; ++y) {
            for (int x = 0; x < c.srcW; ++x) src[y * c.srcW + x] = (y << 16) | x;
        }
        const std::size_t stride =
            static_cast<std::size_t>(c.dstW) + static_cast<std::size_t>(c.pad);
        // The whole frame, and a part of it whose edges fall inside texels' pixels.
        for (const RECT part : {RECT{0, 0, c.srcW, c.srcH},
                                RECT{c.srcW / 4, c.srcH / 3, c.srcW * 3 / 4 + 1, c.srcH}}) {
            const RECT area = win::destinationOf(part, c.srcW, c.srcH, c.dstW, c.dstH);
            std::vector<std::uint32_t> dst(stride * c.dstH, kUntouched);
            win::stretchNearest(src.data(), c.srcW, c.srcH, dst.data(), c.dstW, c.dstH, stride,
                                area, columns);
            for (int y = 0; y < c.dstH; ++y) {
                // floor((y + 0.5) · srcH / dstH), the texel whose area holds the centre.
                const int sy = static_cast<int>((2 * y + 1) * c.srcH / (2 * c.dstH));
                for (int x = 0; x < c.dstW; ++x) {
                    const int sx = static_cast<int>((2 * x + 1) * c.srcW / (2 * c.dstW));
                    const bool shows =
                        sx >= part.left && sx < part.right && sy >= part.top && sy < part.bottom;
                    ASSERT_EQ(dst[y * stride + x],
                              shows ? std::uint32_t((sy << 16) | sx) : kUntouched)
                        << c.srcW << "x" << c.srcH << " -> " << c.dstW << "x" << c.dstH << " at ("
                        << x << ", " << y << "), part from (" << part.left << ", " << part.top
                        << ")";
                }
                for (std::size_t x = c.dstW; x < stride; ++x) {
                    ASSERT_EQ(dst[y * stride + x], kUntouched) << "padding of row " << y;
                }
            }
        }
    }
}

}  // namespace
