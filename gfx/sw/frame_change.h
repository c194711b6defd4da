// What a presented frame changed against the frame presented before it: per band of
// rows, the columns either frame drew into, from the colour surface's written rows.
// Present hands the result to the window layer, which then moves only those pixels.
// Knows nothing of windows or of drawing.
#pragma once

#include <cstdint>
#include <vector>

#include "gfx/sw/surface.h"
#include "win/display.h"
#include "win/win32.h"

namespace sw {

// Rows a band: one rectangle a band keeps the count handed to the display small (38 at
// 600 rows) while a band's columns stay close to what was drawn there.
inline constexpr int kChangeBand = 16;

class FrameChanges {
public:
    // The change of the frame now in `surface` (width × height) against the one this
    // was last called with. Both frames hold one value outside their written columns,
    // so where neither wrote they are equal; otherwise (the first frame, another value,
    // unknown contents, another size) the whole frame has changed. The rectangles stay
    // valid until the next call.
    win::FrameChange next(ColorSurface& surface, int width, int height);

private:
    std::vector<int> first_, last_;  // the previous frame's columns per band; first > last: none
    bool known_ = false;             // the previous frame held value_ outside those
    std::uint32_t value_ = 0;
    int width_ = 0;
    std::vector<RECT> rects_;
};

}  // namespace sw
