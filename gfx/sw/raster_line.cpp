// Line rasterization: one pixel per step along the major axis, walked from the first
// vertex, the last pixel drawn only under D3DRS_LASTPIXEL. Fragments go to output.cpp.
// Lines arrive clipped and projected; this file does no clipping of its own beyond
// skipping pixels outside the target.
#include <algorithm>
#include <utility>

#include "gfx/sw/stages.h"

namespace sw {

namespace {

// Fragments of an x-major line that land on one row, gathered so the output merger
// takes them as one span rather than one call and one set of notes per pixel.
constexpr int kRun = 64;

struct Run {
    int y = 0, count = 0;
    int x = 0;  // the first fragment's column; the others follow it in walk order
    std::uint16_t depths[kRun];
    std::uint32_t colors[kRun];
};

// Whether every fragment takes the colour the line has at both ends. Set-up saw each
// channel the same whole number c at both ends; the walk would compute c·(1/w) over 1/w,
// within a few units in the last place times max(1/w)/min(1/w) of c. With that ratio
// bounded here the error stays far below the half a byte rounding could notice.
bool constantColour(const LineSetup& l) {
    const double lo = std::min(l.a.invW, l.b.invW), hi = std::max(l.a.invW, l.b.invW);
    return l.sameColour && lo > 0.0 && hi <= lo * 1048576.0;
}

void flush(const OutputState& out, Run& run, bool backwards, bool constant, std::uint32_t color) {
    if (run.count == 0) return;
    Span span;
    span.y = run.y;
    span.count = run.count;
    span.x = backwards ? run.x - run.count + 1 : run.x;
    if (backwards) std::reverse(run.depths, run.depths + run.count);
    span.depths = run.depths;
    if (constant) {
        span.color = color;
    } else {
        if (backwards) std::reverse(run.colors, run.colors + run.count);
        span.colors = run.colors;
    }
    writeSpan(out, span);
    run.count = 0;
}

}  // namespace

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
    if (kFirst > kLast) return;
    // Minor coordinate at centre i: nearest pixel to n0 + (i·S − m0)·dn/dm, exactly, as
    // floor(num / den). num grows by the same amount every step, so the quotient j and
    // remainder r are carried along and no step divides.
    const std::int64_t sgn = dm > 0 ? 1 : -1;
    const std::int64_t den = kSubPixel * dm * sgn;
    const std::int64_t alongStep = kSubPixel * step;
    const std::int64_t numStep = alongStep * dn * sgn;
    const std::int64_t jStep = floorDiv(numStep, den), rStep = numStep - jStep * den;
    std::int64_t i = i0 + kFirst * step;
    std::int64_t along = i * kSubPixel - m0;  // from the first vertex, fixed point
    const std::int64_t num = (n0 * dm + along * dn + kSubPixel / 2 * dm) * sgn;
    std::int64_t j = floorDiv(num, den), r = num - j * den;

    const bool constant = l.flat || constantColour(l);
    const std::uint32_t color = l.flatColor;  // a constant colour is always this one
    const bool backwards = xMajor && step < 0;
    Run run;
    // Whether the walk's share owns the current row, asked again only when the row
    // enters another block.
    std::int64_t block = -1;
    bool owned = false;
    // The row moves one block at most per visit to it, upward when `rowsUp`.
    const bool rowsUp = xMajor ? numStep > 0 : step > 0;
    for (std::int64_t k = kFirst; k <= kLast;
         ++k, i += step, along += alongStep, j += jStep, r += rStep) {
        if (r >= den) {
            r -= den;
            ++j;
        }
        if (j < 0 || j >= nSize) continue;
        const std::int64_t row = xMajor ? j : i;
        if (row / kRowBlock != block) {
            block = row / kRowBlock;
            owned = share.owns(static_cast<int>(row));
        }
        if (!owned) {
            // Another share draws this block: on to the last step before the row leaves
            // it (one division per block, not per step).
            const std::int64_t edge = rowsUp ? (block + 1) * kRowBlock : block * kRowBlock - 1;
            std::int64_t n = kLast - k;  // a horizontal line never leaves its row
            if (!xMajor) {
                n = (edge - i) * step - 1;
            } else if (numStep != 0) {
                // The first step whose j reaches `edge`: num >= edge·den going up,
                // num < (edge + 1)·den going down.
                const std::int64_t at = j * den + r;
                n = (rowsUp ? ceilDiv(edge * den - at, numStep)
                            : floorDiv(at - (edge + 1) * den, -numStep) + 1) -
                    1;
            }
            n = std::min(n, kLast - k);
            k += n;
            i += n * step;
            along += n * alongStep;
            const std::int64_t at = j * den + r + n * numStep;
            j = floorDiv(at, den);
            r = at - j * den;
            continue;
        }

        // Position along the line, 0 at the first vertex; depth is affine on screen,
        // colour perspective-correct.
        const double t = std::clamp(static_cast<double>(along) / static_cast<double>(dm), 0.0, 1.0);
        const std::uint16_t depth = depthToD16(l.a.depth + t * (l.b.depth - l.a.depth));
        std::uint32_t c = color;
        if (!constant) {
            const double inv = l.a.invW + t * (l.b.invW - l.a.invW);
            const double w = 1.0 / inv;  // both ends have 1/w > 0, so inv > 0
            c = packColor((l.a.rw + t * (l.b.rw - l.a.rw)) * w,
                          (l.a.gw + t * (l.b.gw - l.a.gw)) * w,
                          (l.a.bw + t * (l.b.bw - l.a.bw)) * w);
        }
        const int x = static_cast<int>(xMajor ? i : j), y = static_cast<int>(xMajor ? j : i);
        if (!xMajor) {  // one fragment a row
            Span span;
            span.x = x;
            span.y = y;
            span.count = 1;
            span.depth = depth;
            span.color = c;
            writeSpan(out, span);
            continue;
        }
        if (run.count == kRun || (run.count > 0 && y != run.y)) {
            flush(out, run, backwards, constant, color);
        }
        if (run.count == 0) {
            run.y = y;
            run.x = x;
        }
        run.depths[run.count] = depth;
        run.colors[run.count] = c;
        ++run.count;
    }
    flush(out, run, backwards, constant, color);
}

}  // namespace sw
