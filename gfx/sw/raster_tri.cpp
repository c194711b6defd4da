// Triangle rasterization: the edge functions walked row by row over the set-up's clamped
// bounding box, stepped incrementally, producing one span of fragments per row.
// Between setup.cpp and output.cpp; the fragments' values come from shade.cpp, the depth
// test and the stores happen in output.cpp.
#include "gfx/sw/stages.h"

namespace sw {

namespace {

// Depths of the span's fragments, from the set-up's depth plane at each centre.
void shadeDepths(const TriangleSetup& s, Span& span, SpanScratch& scratch) {
    if (s.depth.dx == 0.0 && s.depth.dy == 0.0) {
        span.depth = depthToD16(s.depth.at);  // a constant plane needs no per-pixel work
    } else {
        shadeDepths(s.depth, span.x, span.y, span.count, scratch.depth.data());
        span.depths = scratch.depth.data();
    }
}

// The span cut to its fragments from `first` to `last`, whose colours are shaded from
// the uncut span's start, so each has the bits it would have had uncut.
void shadeColors(const TriangleSetup& s, Span& span, int first, int last, SpanScratch& scratch) {
    if (s.flat) {
        span.color = s.flatColor;
    } else {
        shadeColors(s, span.x, span.y, first, last + 1, scratch.color.data());
        span.colors = scratch.color.data() + first;
    }
    if (span.depths) span.depths += first;
    span.x += first;
    span.count = last - first + 1;
}

}  // namespace

// `scratch` holds a row of the target's width (drawPrimitives sizes it). Depths are
// tested before colours are shaded: a fragment the test drops costs no division.
void rasterTriangle(const TriangleSetup& s, const OutputState& out, SpanScratch& scratch,
                    RowShare share) {
    for (int y = share.firstFrom(s.minY); y <= s.maxY; y = share.nextAfter(y)) {
        Span span;
        if (!coveredRun(s, y, span)) continue;
        shadeDepths(s, span, scratch);
        int first = 0, last = 0;
        if (!out.passing(out, span, first, last)) continue;
        shadeColors(s, span, first, last, scratch);
        writeSpan(out, span);
    }
}

}  // namespace sw
