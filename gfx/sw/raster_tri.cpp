// Triangle rasterization: the edge functions walked row by row over the set-up's clamped
// bounding box, stepped incrementally, producing one span of fragments per row.
// Between setup.cpp and output.cpp; the fragments' values come from shade.cpp, the depth
// test and the stores happen in output.cpp.
#include <algorithm>

#include "gfx/sw/stages.h"

namespace sw {

namespace {

// Depths and colours of the span's fragments, from the set-up's planes at each centre.
void shadeSpan(const TriangleSetup& s, Span& span, Scratch& scratch) {
    const double x = span.x, y = span.y;
    if (s.depth.dx == 0.0 && s.depth.dy == 0.0) {
        span.depth = depthToD16(s.depth.at);  // a constant plane needs no per-pixel work
    } else {
        shadeDepths(s.depth, x, y, span.count, scratch.spanDepth.data());
        span.depths = scratch.spanDepth.data();
    }
    if (s.flat) {
        span.color = s.flatColor;
        return;
    }
    shadeColors(s, x, y, span.count, scratch.spanColor.data());
    span.colors = scratch.spanColor.data();
}

}  // namespace

void rasterTriangle(const TriangleSetup& s, const OutputState& out, Scratch& scratch) {
    const std::size_t width = static_cast<std::size_t>(out.target.width);
    if (scratch.spanDepth.size() < width) scratch.spanDepth.resize(width);
    if (scratch.spanColor.size() < width) scratch.spanColor.resize(width);

    // Each edge's value at the start of the row, stepped down one row at a time.
    std::int64_t rowE[3];
    for (int i = 0; i < 3; ++i) rowE[i] = s.edge[i].b * s.minY + s.edge[i].c;
    for (int y = s.minY; y <= s.maxY; ++y) {
        // A centre is covered when a·x + rowE >= 0 on every edge; each edge bounds the
        // run from one side, exactly, in integers. A triangle is convex, so a row holds
        // at most one run.
        std::int64_t lo = s.minX, hi = s.maxX;
        for (int i = 0; i < 3; ++i) {
            const std::int64_t a = s.edge[i].a, e = rowE[i];
            rowE[i] += s.edge[i].b;
            if (a > 0) {
                lo = std::max(lo, ceilDiv(-e, a));
            } else if (a < 0) {
                hi = std::min(hi, floorDiv(e, -a));
            } else if (e < 0) {
                hi = lo - 1;
            }
        }
        if (lo > hi) continue;
        Span span;
        span.x = static_cast<int>(lo);
        span.y = y;
        span.count = static_cast<int>(hi - lo + 1);
        shadeSpan(s, span, scratch);
        writeSpan(out, span);
    }
}

}  // namespace sw
