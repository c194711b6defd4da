// The change between presented frames, band by band: this frame's written columns
// (surface.h) joined with the previous frame's, as the rectangles the window layer moves.
// Runs once a present on the calling thread, after every row share of the frame is done.
#include "gfx/sw/frame_change.h"

#include <algorithm>
#include <climits>

namespace sw {

win::FrameChange FrameChanges::next(ColorSurface& surface, int width, int height) {
    const int bands = (height + kChangeBand - 1) / kChangeBand;
    if (static_cast<int>(first_.size()) != bands || width != width_) {
        first_.assign(static_cast<std::size_t>(bands), INT_MAX);
        last_.assign(static_cast<std::size_t>(bands), -1);
        rects_.reserve(static_cast<std::size_t>(bands));  // presents allocate nothing after
        known_ = false;
        width_ = width;
    }
    std::uint32_t value = 0;
    const bool uniform = surface.uniform(&value);
    const bool comparable = known_ && uniform && value == value_;
    known_ = uniform;
    value_ = value;
    const WrittenRows& written = *surface.written();
    rects_.clear();
    for (int band = 0; band < bands; ++band) {
        const int y0 = band * kChangeBand, y1 = std::min(y0 + kChangeBand, height);
        int first = INT_MAX, last = -1;
        for (int y = std::max(y0, written.top); y < y1 && y <= written.bottom; ++y) {
            first = std::min(first, written.first[y]);
            last = std::max(last, written.last[y]);
        }
        const int from = std::min(first, first_[band]), to = std::max(last, last_[band]);
        first_[band] = first;
        last_[band] = last;
        if (!comparable || from > to) continue;
        RECT* above = rects_.empty() ? nullptr : &rects_.back();
        // A band under one with the same columns lengthens that rectangle instead.
        if (above != nullptr && above->bottom == y0 && above->left == from &&
            above->right == to + 1) {
            above->bottom = y1;
        } else {
            rects_.push_back(RECT{from, y0, to + 1, y1});
        }
    }
    if (!comparable) return win::FrameChange{};
    return win::FrameChange{false, rects_.data(), static_cast<int>(rects_.size())};
}

}  // namespace sw
