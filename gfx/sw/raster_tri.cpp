// Triangle rasterization: the edge functions walked row by row over the set-up's clamped
// bounding box, stepped incrementally, producing one span of fragments per row.
// Between setup.cpp and output.cpp; depth testing and colour packing happen in output.
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
        const double z0 = s.depth.eval(x, y), dz = s.depth.dx;
        std::uint16_t* out = scratch.spanDepth.data();
        for (int i = 0; i < span.count; ++i) out[i] = depthToD16(z0 + i * dz);
        span.depths = out;
    }
    if (s.flat) {
        span.color = s.flatColor;
        return;
    }
    // Perspective-correct Gouraud: c/w and 1/w are affine on screen, c is their ratio.
    // Each fragment is evaluated from the span start rather than by running sums, so no
    // rounding is carried along the row.
    const double inv0 = s.invW.eval(x, y), r0 = s.rw.eval(x, y), g0 = s.gw.eval(x, y),
                 b0 = s.bw.eval(x, y);
    const double dInv = s.invW.dx, dr = s.rw.dx, dg = s.gw.dx, db = s.bw.dx;
    std::uint32_t* out = scratch.spanColor.data();
    for (int i = 0; i < span.count; ++i) {
        // Centres a hair outside the snapped triangle can extrapolate 1/w to zero or
        // below; those take the smallest positive 1/w instead of dividing by it.
        const double w = 1.0 / std::max(inv0 + i * dInv, 1e-300);
        out[i] = packColor((r0 + i * dr) * w, (g0 + i * dg) * w, (b0 + i * db) * w);
    }
    span.colors = out;
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
