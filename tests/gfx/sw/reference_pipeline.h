// The drawing pipeline without its tuning: span shading one fragment at a time, the
// depth test one fragment at a time, lines one fragment a step with a division each,
// plain clears, one thread and no batches. The tuned stages must match it bit for bit.
// Test-only; the stages that were never tuned (transform, clipping, set-up, the
// triangle walk, assembly) are production's own and are tested on their own.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <vector>

#include "gfx/sw/assembly.h"
#include "gfx/sw/stages.h"

namespace sw::reference {

// One row of fragments and the draw's transformed slots and set-ups.
struct Scratch {
    std::vector<ClipVertex> vertices;
    std::vector<TriangleSetup> triangles;
    std::vector<std::uint16_t> spanDepth;
    std::vector<std::uint32_t> spanColor;
};

// Depths and colours of the span's fragments, from the set-up's planes at each centre.
inline void shadeSpan(const TriangleSetup& s, Span& span, Scratch& scratch) {
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

struct Never {
    bool operator()(std::uint16_t, std::uint16_t) const { return false; }
};
struct Always {
    bool operator()(std::uint16_t, std::uint16_t) const { return true; }
};

// One loop per comparison so the test is not re-dispatched for every fragment.
template <class Pass>
inline void depthTestedSpan(const OutputState& out, const Span& s, Pass pass) {
    const std::size_t row = static_cast<std::size_t>(s.y) * out.target.width + s.x;
    std::uint32_t* color = out.target.color + row;
    std::uint16_t* depth = out.target.depth + row;
    for (int i = 0; i < s.count; ++i) {
        const std::uint16_t z = s.depths ? s.depths[i] : s.depth;
        if (!pass(z, depth[i])) continue;  // fragment depth against the stored one
        color[i] = s.colors ? s.colors[i] : s.color;
        if (out.writeDepth) depth[i] = z;
    }
}

inline void writeSpan(const OutputState& out, const Span& s) {
    if (!out.testDepth) {
        std::uint32_t* color = out.target.color + static_cast<std::size_t>(s.y) * out.target.width;
        if (s.colors) {
            std::copy_n(s.colors, s.count, color + s.x);
        } else {
            std::fill_n(color + s.x, s.count, s.color);
        }
        return;
    }
    switch (out.zFunc) {
        case D3DCMP_NEVER: return depthTestedSpan(out, s, Never{});
        case D3DCMP_LESS: return depthTestedSpan(out, s, std::less<>{});
        case D3DCMP_EQUAL: return depthTestedSpan(out, s, std::equal_to<>{});
        case D3DCMP_LESSEQUAL: return depthTestedSpan(out, s, std::less_equal<>{});
        case D3DCMP_GREATER: return depthTestedSpan(out, s, std::greater<>{});
        case D3DCMP_NOTEQUAL: return depthTestedSpan(out, s, std::not_equal_to<>{});
        case D3DCMP_GREATEREQUAL: return depthTestedSpan(out, s, std::greater_equal<>{});
        // Ours: a value outside D3DCMPFUNC (the device refuses those) passes.
        default: return depthTestedSpan(out, s, Always{});
    }
}

// Every row of the triangle, in order, on this thread.
inline void rasterTriangle(const TriangleSetup& s, const OutputState& out, Scratch& scratch) {
    const std::size_t width = static_cast<std::size_t>(out.target.width);
    if (scratch.spanDepth.size() < width) scratch.spanDepth.resize(width);
    if (scratch.spanColor.size() < width) scratch.spanColor.resize(width);
    for (int y = s.minY; y <= s.maxY; ++y) {
        Span span;
        if (!coveredRun(s, y, span)) continue;
        shadeSpan(s, span, scratch);
        reference::writeSpan(out, span);
    }
}

// The line walk as plainly as it can be written: each fragment's minor coordinate,
// position along the line and colour computed afresh.
inline void rasterLine(const LineSetup& l, const OutputState& out) {
    const std::int64_t dx = l.b.x - l.a.x, dy = l.b.y - l.a.y;
    if (dx == 0 && dy == 0) return;
    const bool xMajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
    const std::int64_t m0 = xMajor ? l.a.x : l.a.y, n0 = xMajor ? l.a.y : l.a.x;
    const std::int64_t dm = xMajor ? dx : dy, dn = xMajor ? dy : dx;
    const std::int64_t mSize = xMajor ? out.target.width : out.target.height;
    const std::int64_t nSize = xMajor ? out.target.height : out.target.width;
    const std::int64_t i0 = nearestPixel(m0), step = dm > 0 ? 1 : -1;
    const std::int64_t steps = (nearestPixel(m0 + dm) - i0) * step + (l.lastPixel ? 1 : 0);
    for (std::int64_t k = 0; k < steps; ++k) {
        const std::int64_t i = i0 + k * step, along = i * kSubPixel - m0;
        const std::int64_t j =
            floorDiv((n0 * dm + along * dn + kSubPixel / 2 * dm) * step, kSubPixel * dm * step);
        if (i < 0 || i >= mSize || j < 0 || j >= nSize) continue;
        const double t = std::clamp(static_cast<double>(along) / static_cast<double>(dm), 0.0, 1.0);
        Span span;
        span.x = static_cast<int>(xMajor ? i : j);
        span.y = static_cast<int>(xMajor ? j : i);
        span.count = 1;
        span.depth = depthToD16(l.a.depth + t * (l.b.depth - l.a.depth));
        span.color = l.flatColor;
        if (!l.flat) {
            const double w = 1.0 / (l.a.invW + t * (l.b.invW - l.a.invW));
            span.color = packColor((l.a.rw + t * (l.b.rw - l.a.rw)) * w,
                                   (l.a.gw + t * (l.b.gw - l.a.gw)) * w,
                                   (l.a.bw + t * (l.b.bw - l.a.bw)) * w);
        }
        reference::writeSpan(out, span);
    }
}

inline void clearColor(const RenderTarget& target, D3DCOLOR color) {
    if (!target.color || target.width <= 0 || target.height <= 0) return;
    const std::size_t n = static_cast<std::size_t>(target.width) * target.height;
    std::fill_n(target.color, n, color | 0xFF000000u);
}

inline void clearDepth(const RenderTarget& target, float z) {
    if (!target.depth || target.width <= 0 || target.height <= 0) return;
    const std::size_t n = static_cast<std::size_t>(target.width) * target.height;
    std::fill_n(target.depth, n, toD16(z));
}

// Each primitive rasterized as soon as it is set up.
inline void drawPrimitives(const DrawState& state, const RenderTarget& target, const DrawCall& call,
                           Scratch& scratch) {
    const std::uint32_t count = slotsToDraw(target, call);
    if (count == 0) return;
    if (scratch.vertices.size() < count) scratch.vertices.resize(count);
    transformVertices(state, call, 0, count, scratch.vertices.data());

    const OutputState out = outputStateFor(state, target);
    const SetupState setup = setupStateFor(state, target.width, target.height);
    const auto line = [&](const ClipVertex& a, const ClipVertex& b) {
        LineSetup l;
        if (setUpLine(setup, a, b, l)) reference::rasterLine(l, out);
    };
    const auto triangle = [&](const ClipVertex& a, const ClipVertex& b, const ClipVertex& c) {
        scratch.triangles.clear();
        setUpTriangle(setup, a, b, c, scratch.triangles);
        for (const TriangleSetup& t : scratch.triangles) reference::rasterTriangle(t, out, scratch);
    };
    assemble(call, scratch.vertices.data(), line, triangle);
}

}  // namespace sw::reference
