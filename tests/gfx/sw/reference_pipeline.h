// The software pipeline's set-up, rasterizers, output merger and primitive assembly
// exactly as they were before they were tuned for speed: the straightforward code the
// optimised stages must match bit for bit. Test-only; transform and clipping are shared.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <functional>
#include <utility>

#include "gfx/sw/stages.h"

namespace sw::reference {

// The production stages these copies lean on: the parts that were not tuned.
using sw::ceilDiv;
using sw::floorDiv;

// The working memory as it was: one row of fragments, no threads.
struct Scratch {
    std::vector<ClipVertex> vertices;
    std::vector<std::uint16_t> spanDepth;
    std::vector<std::uint32_t> spanColor;
};

// The conversions the stages share, as they were.
inline std::uint16_t toD16(float z) {
    if (!(z > 0.0f)) return 0;
    if (z >= 1.0f) return 0xFFFF;
    return static_cast<std::uint16_t>(z * 65535.0f + 0.5f);
}
inline std::uint16_t depthToD16(double z) {
    if (!(z > 0.0)) return 0;
    if (z >= 1.0) return 0xFFFF;
    return toD16(static_cast<float>(z));
}
inline std::uint32_t toByte(double v) {
    if (!(v > 0.0)) return 0;
    if (v >= 255.0) return 255;
    return static_cast<std::uint32_t>(v + 0.5);
}
inline std::uint32_t packColor(double r, double g, double b) {
    return 0xFF000000u | (toByte(r) << 16) | (toByte(g) << 8) | toByte(b);
}

inline void writeSpan(const OutputState& out, const Span& s);  // below, with the output merger

inline std::int64_t cross(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c) {
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

// The plane through three values at the snapped vertex positions.
inline Plane planeOf(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c, double fa,
                     double fb, double fc) {
    // Fixed-point positions stay far below 2^53, so they convert to double exactly.
    const double s = 1.0 / kSubPixel;
    auto px = [s](std::int64_t v) { return static_cast<double>(v) * s; };
    const double e1x = px(b.x - a.x), e1y = px(b.y - a.y);
    const double e2x = px(c.x - a.x), e2y = px(c.y - a.y);
    const double area = e1x * e2y - e1y * e2x;
    const double d1 = fb - fa, d2 = fc - fa;
    Plane p;
    p.at = fa;
    p.x0 = px(a.x);
    p.y0 = px(a.y);
    p.dx = (d1 * e2y - d2 * e1y) / area;
    p.dy = (d2 * e1x - d1 * e2x) / area;
    return p;
}

inline void projectVertex(const ClipVertex& v, int width, int height, ScreenVertex& out) {
    // Direct3D 9's viewport map puts pixel centres at integers: x/w = −1 lands on the
    // centre of column 0, not on its left edge.
    const double sx = (1.0 + v.x / v.w) * width * 0.5;
    const double sy = (1.0 - v.y / v.w) * height * 0.5;
    out.x = std::llround(sx * kSubPixel);
    out.y = std::llround(sy * kSubPixel);
    out.invW = 1.0 / v.w;
    out.depth = v.z / v.w;
    out.rw = v.r * out.invW;
    out.gw = v.g * out.invW;
    out.bw = v.b * out.invW;
}

inline std::int64_t windingArea(const ScreenVertex* v, int count) {
    std::int64_t area = 0;
    for (int i = 1; i + 1 < count; ++i) area += cross(v[0], v[i], v[i + 1]);
    return area;
}

inline bool culled(DWORD cullMode, std::int64_t area) {
    // On a y-down screen a positive area runs clockwise.
    if (cullMode == D3DCULL_CCW) return area < 0;
    if (cullMode == D3DCULL_CW) return area > 0;
    return false;
}

inline bool setupTriangle(const ScreenVertex& a, const ScreenVertex& b0, const ScreenVertex& c0,
                          std::int64_t sign, int width, int height, TriangleSetup& out) {
    const std::int64_t area = cross(a, b0, c0);
    if (area == 0 || (area > 0) != (sign > 0)) return false;
    // Walk every triangle clockwise so "inside" is E >= 0 on all three edges.
    const ScreenVertex& b = area > 0 ? b0 : c0;
    const ScreenVertex& c = area > 0 ? c0 : b0;

    const ScreenVertex* v[3] = {&a, &b, &c};
    for (int i = 0; i < 3; ++i) {
        const ScreenVertex& p = *v[i];
        const ScreenVertex& q = *v[(i + 1) % 3];
        const std::int64_t dx = q.x - p.x, dy = q.y - p.y;
        Edge& e = out.edge[i];
        e.a = -dy * kSubPixel;
        e.b = dx * kSubPixel;
        e.c = dy * p.x - dx * p.y;
        // Top-left rule: centres exactly on a top edge (horizontal, interior below) or a
        // left edge (interior to its right) are covered; on any other edge they are not.
        const bool topLeft = dy < 0 || (dy == 0 && dx > 0);
        if (!topLeft) e.c -= 1;
    }

    const std::int64_t minX = std::min({a.x, b.x, c.x}), maxX = std::max({a.x, b.x, c.x});
    const std::int64_t minY = std::min({a.y, b.y, c.y}), maxY = std::max({a.y, b.y, c.y});
    out.minX = static_cast<int>(std::max<std::int64_t>(ceilDiv(minX, kSubPixel), 0));
    out.minY = static_cast<int>(std::max<std::int64_t>(ceilDiv(minY, kSubPixel), 0));
    out.maxX = static_cast<int>(std::min<std::int64_t>(floorDiv(maxX, kSubPixel), width - 1));
    out.maxY = static_cast<int>(std::min<std::int64_t>(floorDiv(maxY, kSubPixel), height - 1));
    if (out.minX > out.maxX || out.minY > out.maxY) return false;

    // Depth is z/w, affine on screen; colour is perspective-correct through c/w and 1/w.
    out.depth = planeOf(a, b, c, a.depth, b.depth, c.depth);
    out.invW = planeOf(a, b, c, a.invW, b.invW, c.invW);
    out.rw = planeOf(a, b, c, a.rw, b.rw, c.rw);
    out.gw = planeOf(a, b, c, a.gw, b.gw, c.gw);
    out.bw = planeOf(a, b, c, a.bw, b.bw, c.bw);
    return true;
}

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

inline void rasterTriangle(const TriangleSetup& s, const OutputState& out, Scratch& scratch) {
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
        reference::writeSpan(out, span);
    }
}

// The pixel whose centre is nearest a fixed-point coordinate; halves go to the higher.
inline std::int64_t nearestPixel(std::int64_t v) {
    return floorDiv(v + kSubPixel / 2, kSubPixel);
}

inline void rasterLine(const LineSetup& l, const OutputState& out) {
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
        const std::int64_t along = i * kSubPixel - m0;  // from the first vertex, fixed point
        const std::int64_t j = floorDiv((n0 * dm + along * dn + kSubPixel / 2 * dm) * sgn, den);
        if (j < 0 || j >= nSize) continue;

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
        reference::writeSpan(out, span);
    }
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

inline OutputState outputStateFor(const DrawState& state, const RenderTarget& target) {
    OutputState out;
    out.target = target;
    // ZENABLE FALSE neither tests nor writes; without a depth buffer there is nothing to
    // test. D3DZB_USEW is taken as TRUE (ours: we keep no w-buffer).
    out.testDepth = target.depth != nullptr && state.zEnable != D3DZB_FALSE;
    out.writeDepth = out.testDepth && state.zWriteEnable != FALSE;
    out.zFunc = state.zFunc;
    return out;
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

// Vertices a draw of `count` primitives reads, 0 for types we do not draw.
inline std::uint64_t elementCount(D3DPRIMITIVETYPE type, std::uint64_t count) {
    switch (type) {
        case D3DPT_LINELIST: return 2 * count;
        case D3DPT_LINESTRIP: return count + 1;
        case D3DPT_TRIANGLELIST: return 3 * count;
        case D3DPT_TRIANGLESTRIP:
        case D3DPT_TRIANGLEFAN: return count + 2;
        default: return 0;  // points are not drawn by this device
    }
}

// Slot named by element k of the draw, or -1 when it names no vertex of the call.
inline std::int64_t slotOf(const DrawCall& call, std::uint64_t k) {
    std::int64_t index = static_cast<std::int64_t>(k);
    if (call.indices16) {
        std::uint16_t i;
        std::memcpy(&i, call.indices16 + k, sizeof i);
        index = i;
    } else if (call.indices32) {
        std::uint32_t i;
        std::memcpy(&i, call.indices32 + k, sizeof i);
        index = i;
    }
    if (call.indices16 || call.indices32) index -= call.indexBias;
    return index >= 0 && index < call.vertexCount ? index : -1;
}

struct Draw {
    const DrawState& state;
    OutputState out;
    ClipVolume volume;
    Scratch& scratch;
    std::int64_t firstSlot;
    bool flat;
};

inline void drawTriangle(const Draw& d, const ClipVertex& a, const ClipVertex& b,
                         const ClipVertex& c) {
    // Flat shading uses the first vertex of the primitive, whatever clipping leaves.
    const std::uint32_t flatColor = packColor(a.r, a.g, a.b);
    ClipPolygon poly;
    clipTriangle(d.volume, a, b, c, poly);
    if (poly.count < 3) return;

    const int width = d.out.target.width;
    const int height = d.out.target.height;
    ScreenVertex sv[kMaxClipVertices];
    for (int i = 0; i < poly.count; ++i) reference::projectVertex(poly.v[i], width, height, sv[i]);
    const std::int64_t area = reference::windingArea(sv, poly.count);
    if (area == 0 || reference::culled(d.state.cullMode, area)) return;

    for (int i = 1; i + 1 < poly.count; ++i) {
        TriangleSetup setup;
        if (!reference::setupTriangle(sv[0], sv[i], sv[i + 1], area, width, height, setup))
            continue;
        setup.flat = d.flat;
        setup.flatColor = flatColor;
        reference::rasterTriangle(setup, d.out, d.scratch);
    }
}

inline void drawLine(const Draw& d, ClipVertex a, ClipVertex b) {
    LineSetup line;
    line.flat = d.flat;
    line.flatColor = packColor(a.r, a.g, a.b);
    line.lastPixel = d.state.lastPixel != FALSE;
    if (!clipLine(d.volume, a, b)) return;
    reference::projectVertex(a, d.out.target.width, d.out.target.height, line.a);
    reference::projectVertex(b, d.out.target.width, d.out.target.height, line.b);
    reference::rasterLine(line, d.out);
}

// Assemble the primitives of the call and send each down the pipeline. Primitives
// naming a slot outside the call are skipped rather than read.
inline void assemble(const Draw& d, const DrawCall& call) {
    const ClipVertex* v = d.scratch.vertices.data();
    auto vertexAt = [&](std::uint64_t k) -> const ClipVertex* {
        const std::int64_t slot = slotOf(call, k);
        return slot < 0 ? nullptr : &v[slot - d.firstSlot];
    };
    for (std::uint64_t i = 0; i < call.primitiveCount; ++i) {
        const ClipVertex *p0 = nullptr, *p1 = nullptr, *p2 = nullptr;
        switch (call.type) {
            case D3DPT_LINELIST:
            case D3DPT_LINESTRIP: {
                const std::uint64_t k = call.type == D3DPT_LINELIST ? 2 * i : i;
                p0 = vertexAt(k);
                p1 = vertexAt(k + 1);
                if (p0 && p1) drawLine(d, *p0, *p1);
                continue;
            }
            case D3DPT_TRIANGLELIST:
                p0 = vertexAt(3 * i);
                p1 = vertexAt(3 * i + 1);
                p2 = vertexAt(3 * i + 2);
                break;
            case D3DPT_TRIANGLESTRIP:
                // Every odd triangle of a strip is wound the other way round; swapping
                // its last two vertices restores the winding and keeps the first
                // vertex, which flat shading uses.
                p0 = vertexAt(i);
                p1 = vertexAt(i + ((i & 1) ? 2 : 1));
                p2 = vertexAt(i + ((i & 1) ? 1 : 2));
                break;
            case D3DPT_TRIANGLEFAN:
                // Triangle i is (v[0], v[i+1], v[i+2]); Direct3D shades a flat fan
                // triangle from v[i+1], so it starts there (a rotation: same winding).
                p0 = vertexAt(i + 1);
                p1 = vertexAt(i + 2);
                p2 = vertexAt(0);
                break;
            default: return;
        }
        if (p0 && p1 && p2) drawTriangle(d, *p0, *p1, *p2);
    }
}

inline void drawPrimitives(const DrawState& state, const RenderTarget& target, const DrawCall& call,
                           Scratch& scratch) {
    // 1. Anything to draw into, and anything to draw?
    if (!target.color || target.width <= 0 || target.height <= 0) return;
    if (!call.vertices || call.vertexCount == 0) return;
    const std::uint64_t elements = elementCount(call.type, call.primitiveCount);
    if (call.primitiveCount == 0 || elements == 0) return;

    // 2. The slots the draw uses, so only those are fetched and transformed.
    std::int64_t lo = call.vertexCount, hi = -1;
    if (call.indices16 || call.indices32) {
        for (std::uint64_t k = 0; k < elements; ++k) {
            const std::int64_t slot = slotOf(call, k);
            if (slot < 0) continue;
            lo = std::min(lo, slot);
            hi = std::max(hi, slot);
        }
    } else {
        lo = 0;
        hi = static_cast<std::int64_t>(std::min<std::uint64_t>(elements, call.vertexCount)) - 1;
    }
    if (hi < lo) return;

    // 3. Fetch and transform into scratch memory (grown once, then reused).
    const auto count = static_cast<std::uint32_t>(hi - lo + 1);
    if (scratch.vertices.size() < count) scratch.vertices.resize(count);
    transformVertices(state, call, static_cast<std::uint32_t>(lo), count, scratch.vertices.data());

    // 4. Assemble and draw each primitive.
    const Draw d{state,
                 reference::outputStateFor(state, target),
                 clipVolumeFor(target.width, target.height),
                 scratch,
                 lo,
                 state.shadeMode == D3DSHADE_FLAT};
    assemble(d, call);
}

}  // namespace sw::reference
