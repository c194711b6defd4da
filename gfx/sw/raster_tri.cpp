// Triangle rasterization: the edge functions walked row by row over the set-up's clamped
// bounding box, stepped incrementally, producing one span of fragments per row.
// Between setup.cpp and output.cpp; the fragments' values come from shade.cpp, the depth
// test and the stores happen in output.cpp.
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
