// Judges what the page's canvas showed against the viewer run headless, for page_test.py:
// the angle whose headless frame each image is, and whether it is that frame bit for bit
// or where its first pixel differs.
//
// Usage: viewer-page-verdict KEYS WIDTH HEIGHT LEFT TOP RIGHT BOTTOM < CANVASES
// KEYS: the virtual-key codes pressed before the first frame, comma-separated (empty:
// none); the client resized to WIDTH × HEIGHT (0 0: as at start-up) inside the frame the
// page drew around it. One line a canvas: its angle (-1: none), a space, what differs.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/support/reference.h"

namespace {

// A canvas as page_test.py writes it: its width and height on a line, then the RGBA
// bytes of its ImageData. Empty at the end of the input, or when it is not that.
e2e::Image readCanvas(std::istream& in) {
    int width = 0, height = 0;
    if (!(in >> width >> height) || width <= 0 || height <= 0 || width > 8192 || height > 8192) {
        return {};
    }
    in.get();  // the line's end
    std::string rgba(4 * std::size_t(width) * height, '\0');
    if (!in.read(rgba.data(), std::streamsize(rgba.size()))) return {};
    e2e::Image image{width, height, std::vector<std::uint32_t>(std::size_t(width) * height)};
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        const auto byte = [&](std::size_t at) { return std::uint32_t(std::uint8_t(rgba[at])); };
        image.pixels[i] = byte(4 * i) << 16 | byte(4 * i + 1) << 8 | byte(4 * i + 2);
    }
    return image;
}

// "" when the images (of one size) are the same pixels; else where the first one differs.
std::string difference(const e2e::Image& shown, const e2e::Image& expected) {
    std::size_t differing = 0, first = 0;
    for (std::size_t i = 0; i < shown.pixels.size(); ++i) {
        if (shown.pixels[i] == expected.pixels[i]) continue;
        if (differing++ == 0) first = i;
    }
    if (differing == 0) return "";
    char at[160];
    std::snprintf(at, sizeof(at), "%zu pixels differ, the first at (%zu, %zu): 0x%06X, not 0x%06X",
                  differing, first % shown.width, first / shown.width, shown.pixels[first],
                  expected.pixels[first]);
    return at;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 8) {
        std::cerr << "usage: viewer-page-verdict KEYS WIDTH HEIGHT LEFT TOP RIGHT BOTTOM "
                     "< CANVASES\n";
        return 2;
    }
    std::vector<WPARAM> keys;
    std::istringstream list(argv[1]);
    for (std::string key; std::getline(list, key, ',');)
        keys.push_back(std::stoul(key, nullptr, 0));
    const int width = std::atoi(argv[2]), height = std::atoi(argv[3]);
    const e2e::FrameSides frame{std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]),
                                std::atoi(argv[7])};
    const auto differenceAt = [&](const e2e::Image& shown, int angle) {
        e2e::ReferenceSet one = e2e::renderFrames(keys, width, height, frame, 1, angle, angle + 1);
        return difference(shown, {one.width, one.height, std::move(one.frames[0])});
    };
    for (e2e::Image shown; !(shown = readCanvas(std::cin)).pixels.empty();) {
        int angle = e2e::bestMatch(e2e::references(keys, width, height, frame), shown).angle;
        std::string differs =
            angle < 0 ? "no headless frame looks like the canvas" : differenceAt(shown, angle);
        // Angles 0 and 180 are one picture (the rotations about all three axes undo each
        // other there), so either is taken.
        if (!differs.empty() && angle % 180 == 0 && differenceAt(shown, 180 - angle).empty()) {
            angle = 180 - angle;
            differs.clear();
        }
        std::cout << angle << ' ' << differs << std::endl;
    }
    return 0;
}
