// Reference frames for the end-to-end tests: the same WinMain, scene and device run on
// the headless back end, for every angle of the spin, with the same keys pressed.
#pragma once

#include <cstdint>
#include <vector>

#include "win/win32.h"
#include "x_session.h"

namespace e2e {

struct ReferenceSet {
    int width = 0;  // client size the frames were stretched to
    int height = 0;
    int step = 1;  // every step-th pixel in each direction is kept
    std::vector<std::vector<std::uint32_t>> frames;  // [angle], 0x00RRGGBB
};

// Frames at angles 0 … 359 with the keys pressed before the first frame and, when
// width and height are not 0, the client resized to them.
ReferenceSet renderReferences(const std::vector<WPARAM>& keys, int width, int height, int step);

struct Match {
    int angle = -1;
    double mismatch = 1.0;  // share of kept pixels that differ
};
// The angle whose reference frame the image is closest to.
Match bestMatch(const ReferenceSet& references, const Image& image);

}  // namespace e2e
