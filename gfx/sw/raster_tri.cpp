// Triangle rasterization: the edge-function walk over the set-up's clamped bounding box,
// stepped incrementally, producing one span of fragments per row.
// Between setup.cpp and output.cpp; depth testing and colour packing happen in output.
#include "gfx/sw/stages.h"

namespace sw {

namespace {

// Depths and colours of the span's fragments, from the set-up's planes at each centre.
void shadeSpan(const TriangleSetup& s, Span& span, Scratch& scratch) {
    const double x = span.x, y = span.y;
    if (s.depth.dx == 0.0 && s.depth.dy == 0.0) {
        span.depth = depthToD16(s.depth.at);  // a constant plane needs no per-pixel work
    } else {
        double z = s.depth.eval(x, y);
        std::uint16_t* out = scratch.spanDepth.data();
        for (int i = 0; i < span.count; ++i, z += s.depth.dx) out[i] = depthToD16(z);
        span.depths = out;
    }
    if (s.flat) {
        span.color = s.flatColor;
        return;
    }
    // Perspective-correct Gouraud: c/w and 1/w are affine on screen, c is their ratio.
    double inv = s.invW.eval(x, y), r = s.rw.eval(x, y), g = s.gw.eval(x, y), b = s.bw.eval(x, y);
    std::uint32_t* out = scratch.spanColor.data();
    for (int i = 0; i < span.count; ++i) {
        // Centres a hair outside the snapped triangle can extrapolate 1/w to zero or
        // below; those take the smallest positive 1/w instead of dividing by it.
        const double w = inv > 1e-300 ? 1.0 / inv : 1e300;
        out[i] = packColor(r * w, g * w, b * w);
        inv += s.invW.dx;
        r += s.rw.dx;
        g += s.gw.dx;
        b += s.bw.dx;
    }
    span.colors = out;
}

}  // namespace

void rasterTriangle(const TriangleSetup& s, const OutputState& out, Scratch& scratch) {
    const std::size_t width = static_cast<std::size_t>(out.target.width);
    if (scratch.spanDepth.size() < width) scratch.spanDepth.resize(width);
    if (scratch.spanColor.size() < width) scratch.spanColor.resize(width);

    const Edge& e0 = s.edge[0];
    const Edge& e1 = s.edge[1];
    const Edge& e2 = s.edge[2];
    for (int y = s.minY; y <= s.maxY; ++y) {
        std::int64_t f0 = e0.a * s.minX + e0.b * y + e0.c;
        std::int64_t f1 = e1.a * s.minX + e1.b * y + e1.c;
        std::int64_t f2 = e2.a * s.minX + e2.b * y + e2.c;
        int x = s.minX;
        // Skip to the first covered centre, then take the run; a triangle is convex,
        // so a row has at most one run.
        for (; x <= s.maxX && (f0 | f1 | f2) < 0; ++x) {
            f0 += e0.a;
            f1 += e1.a;
            f2 += e2.a;
        }
        const int start = x;
        for (; x <= s.maxX && (f0 | f1 | f2) >= 0; ++x) {
            f0 += e0.a;
            f1 += e1.a;
            f2 += e2.a;
        }
        if (x == start) continue;
        Span span;
        span.x = start;
        span.y = y;
        span.count = x - start;
        shadeSpan(s, span, scratch);
        writeSpan(out, span);
    }
}

}  // namespace sw
