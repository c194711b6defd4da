// Triangle rasterization: the edge functions walked row by row over the set-up's clamped
// bounding box, stepped incrementally, producing one span of fragments per row.
// Between setup.cpp and output.cpp; the fragments' values come from shade.cpp, the depth
// test and the stores happen in output.cpp.
#include <algorithm>

#include "gfx/sw/stages.h"

namespace sw {

namespace {

// Depths and colours of the span's fragments, from the set-up's planes at each centre.
void shadeSpan(const TriangleSetup& s, Span& span, SpanScratch& scratch) {
    const double x = span.x, y = span.y;
    if (s.depth.dx == 0.0 && s.depth.dy == 0.0) {
        span.depth = depthToD16(s.depth.at);  // a constant plane needs no per-pixel work
    } else {
        shadeDepths(s.depth, x, y, span.count, scratch.depth.data());
        span.depths = scratch.depth.data();
    }
    if (s.flat) {
        span.color = s.flatColor;
        return;
    }
    shadeColors(s, x, y, span.count, scratch.color.data());
    span.colors = scratch.color.data();
}

}  // namespace

bool coveredRun(const TriangleSetup& s, int y, Span& span) {
    // A centre is covered when a·x + e >= 0 on every edge; each edge bounds the run from
    // one side, exactly, in integers. A triangle is convex, so a row holds at most one
    // run.
    std::int64_t lo = s.minX, hi = s.maxX;
    for (int i = 0; i < 3; ++i) {
        // The edge's value at the start of the row.
        const std::int64_t a = s.edge[i].a, e = s.edge[i].b * y + s.edge[i].c;
        if (a > 0) {
            lo = std::max(lo, ceilDiv(-e, a));
        } else if (a < 0) {
            hi = std::min(hi, floorDiv(e, -a));
        } else if (e < 0) {
            hi = lo - 1;
        }
    }
    if (lo > hi) return false;
    span.x = static_cast<int>(lo);
    span.y = y;
    span.count = static_cast<int>(hi - lo + 1);
    return true;
}

// `scratch` holds a row of the target's width (drawPrimitives sizes it).
void rasterTriangle(const TriangleSetup& s, const OutputState& out, SpanScratch& scratch,
                    RowShare share) {
    for (int y = share.firstFrom(s.minY); y <= s.maxY; y = share.nextAfter(y)) {
        Span span;
        if (!coveredRun(s, y, span)) continue;
        shadeSpan(s, span, scratch);
        writeSpan(out, span);
    }
}

}  // namespace sw
