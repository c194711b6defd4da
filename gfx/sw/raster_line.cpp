// Line rasterization: one pixel per step along the major axis, walked from the first
// vertex, the last pixel drawn only under D3DRS_LASTPIXEL. Fragments go to output.cpp.
// Lines arrive clipped and projected; this file does no clipping of its own beyond
// skipping pixels outside the target.
#include <algorithm>
#include <utility>

#include "gfx/sw/stages.h"

namespace sw {

void rasterLine(const LineSetup& l, const OutputState& out, RowShare share) {
    const std::int64_t dx = l.b.x - l.a.x, dy = l.b.y - l.a.y;
    if (dx == 0 && dy == 0) return;
    // Walk the major axis (x on ties); "m" names it and "n" the minor axis below.
    const bool xMajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
    const std::int64_t m0 = xMajor ? l.a.x : l.a.y, n0 = xMajor ? l.a.y : l.a.x;
    const std::int64_t dm = xMajor ? dx : dy, dn = xMajor ? dy : dx;
    const std::int64_t mSize = xMajor ? out.target.width : out.target.height;
    const std::int64_t nSize = xMajor ? out.target.height : out.target.width;

    const std::int64_t i0 = nearestPixel(m0), i1 = nearestPixel(m0 + dm);
    const std::int64_t step = dm > 0 ? 1 : -1;
    const std::int64_t steps = (i1 - i0) * step + (l.lastPixel ? 1 : 0);
    // Only the steps whose major coordinate lies inside the target are visited.
    std::int64_t kFirst = 0, kLast = steps - 1;
    if (step > 0) {
        kFirst = std::max<std::int64_t>(kFirst, -i0);
        kLast = std::min<std::int64_t>(kLast, mSize - 1 - i0);
    } else {
        kFirst = std::max<std::int64_t>(kFirst, i0 - (mSize - 1));
        kLast = std::min<std::int64_t>(kLast, i0);
    }
    // Minor coordinate at centre i: nearest pixel to n0 + (i·S − m0)·dn/dm, exactly.
    const std::int64_t sgn = dm > 0 ? 1 : -1;
    const std::int64_t den = kSubPixel * dm * sgn;

    for (std::int64_t k = kFirst; k <= kLast; ++k) {
        const std::int64_t i = i0 + k * step;
        if (!xMajor && !share.owns(static_cast<int>(i))) continue;
        const std::int64_t along = i * kSubPixel - m0;  // from the first vertex, fixed point
        const std::int64_t j = floorDiv((n0 * dm + along * dn + kSubPixel / 2 * dm) * sgn, den);
        if (j < 0 || j >= nSize) continue;
        if (xMajor && !share.owns(static_cast<int>(j))) continue;

        // Position along the line, 0 at the first vertex; depth is affine on screen,
        // colour perspective-correct.
        const double t = std::clamp(static_cast<double>(along) / static_cast<double>(dm), 0.0, 1.0);
        Span span;
        span.x = static_cast<int>(xMajor ? i : j);
        span.y = static_cast<int>(xMajor ? j : i);
        span.count = 1;
        span.depth = depthToD16(l.a.depth + t * (l.b.depth - l.a.depth));
        if (l.flat) {
            span.color = l.flatColor;
        } else {
            const double inv = l.a.invW + t * (l.b.invW - l.a.invW);
            const double w = 1.0 / inv;  // both ends have 1/w > 0, so inv > 0
            span.color = packColor((l.a.rw + t * (l.b.rw - l.a.rw)) * w,
                                   (l.a.gw + t * (l.b.gw - l.a.gw)) * w,
                                   (l.a.bw + t * (l.b.bw - l.a.bw)) * w);
        }
        writeSpan(out, span);
    }
}

}  // namespace sw
