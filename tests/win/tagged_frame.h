// Frames whose every pixel names its own position, for the present tests of every back
// end: a stretched picture of one says where each of its pixels came from.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "win/display.h"

namespace wintest {

// Opaque, with x in bits 12-23 and y in bits 0-11.
inline std::uint32_t tag(int x, int y) {
    return 0xFF000000u | (std::uint32_t(x) << 12) | std::uint32_t(y);
}

// width × height tagged pixels, row-major, xored with salt.
inline std::vector<std::uint32_t> taggedFrame(int width, int height, std::uint32_t salt = 0) {
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) pixels.push_back(tag(x, y) ^ salt);
    }
    return pixels;
}

inline win::SharedPixels shared(const std::vector<std::uint32_t>& pixels) {
    std::shared_ptr<std::uint32_t[]> copy = std::make_shared<std::uint32_t[]>(pixels.size());
    std::copy(pixels.begin(), pixels.end(), copy.get());
    return copy;
}

// How many of the width × height pixels are not the tagged 800 × 600 frame (xored with
// salt) stretched by the pixel-centre rule: destination x samples source
// floor((x + 0.5) · 800 / width), and y likewise. The first few are named in *where.
// `opaque` is or-ed into each pixel, for a screen read back without alpha.
inline int offTheRule(const std::vector<std::uint32_t>& pixels, int width, int height,
                      std::uint32_t salt, std::string* where, std::uint32_t opaque = 0) {
    int wrong = 0;
    for (int y = 0; y < height; ++y) {
        const int sy = static_cast<int>(std::floor((y + 0.5) * 600.0 / height));
        for (int x = 0; x < width; ++x) {
            const int sx = static_cast<int>(std::floor((x + 0.5) * 800.0 / width));
            const std::uint32_t got = (pixels[std::size_t(y) * width + x] | opaque) ^ salt;
            if (got != tag(sx, sy) && wrong++ < 3) {
                *where += " (" + std::to_string(x) + ", " + std::to_string(y) + ") shows (" +
                          std::to_string((got >> 12) & 0xFFF) + ", " + std::to_string(got & 0xFFF) +
                          ")";
            }
        }
    }
    return wrong;
}

}  // namespace wintest
