// Triangle and line set-up: divide by w, viewport map, fixed-point snap, winding and
// culling, edge equations with the top-left rule, attribute planes; and each primitive
// of a draw from clipping to its set-ups. Between assembly and the rasterizers; it
// visits no pixels itself.
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "gfx/sw/stages.h"

namespace sw {

namespace {

std::int64_t cross(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c) {
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

// The plane through three values at the snapped vertex positions.
Plane planeOf(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c, double fa,
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

}  // namespace

void projectVertex(const ClipVertex& v, int width, int height, ScreenVertex& out) {
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

std::int64_t windingArea(const ScreenVertex* v, int count) {
    std::int64_t area = 0;
    for (int i = 1; i + 1 < count; ++i) area += cross(v[0], v[i], v[i + 1]);
    return area;
}

bool culled(DWORD cullMode, std::int64_t area) {
    // On a y-down screen a positive area runs clockwise.
    if (cullMode == D3DCULL_CCW) return area < 0;
    if (cullMode == D3DCULL_CW) return area > 0;
    return false;
}

bool setupTriangle(const ScreenVertex& a, const ScreenVertex& b0, const ScreenVertex& c0,
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

SetupState setupStateFor(const DrawState& state, int width, int height) {
    SetupState s;
    s.volume = clipVolumeFor(width, height);
    s.width = width;
    s.height = height;
    s.cullMode = state.cullMode;
    s.flat = state.shadeMode == D3DSHADE_FLAT;
    s.lastPixel = state.lastPixel != FALSE;
    return s;
}

void setUpTriangle(const SetupState& s, const ClipVertex& a, const ClipVertex& b,
                   const ClipVertex& c, std::vector<TriangleSetup>& out) {
    const std::uint32_t flatColor = packColor(a.r, a.g, a.b);
    ClipPolygon poly;
    clipTriangle(s.volume, a, b, c, poly);
    if (poly.count < 3) return;

    ScreenVertex sv[kMaxClipVertices];
    for (int i = 0; i < poly.count; ++i) projectVertex(poly.v[i], s.width, s.height, sv[i]);
    const std::int64_t area = windingArea(sv, poly.count);
    if (area == 0 || culled(s.cullMode, area)) return;

    for (int i = 1; i + 1 < poly.count; ++i) {
        TriangleSetup setup;
        if (!setupTriangle(sv[0], sv[i], sv[i + 1], area, s.width, s.height, setup)) continue;
        setup.flat = s.flat;
        setup.flatColor = flatColor;
        out.push_back(setup);
    }
}

bool setUpLine(const SetupState& s, ClipVertex a, ClipVertex b, LineSetup& out) {
    out.flat = s.flat;
    out.flatColor = packColor(a.r, a.g, a.b);  // the first vertex's, before clipping
    // Clipping leaves a channel equal at both ends as it was (a + t·0).
    const auto whole = [](double v) { return v >= 0.0 && v <= 255.0 && v == std::floor(v); };
    out.sameColour =
        a.r == b.r && a.g == b.g && a.b == b.b && whole(a.r) && whole(a.g) && whole(a.b);
    out.lastPixel = s.lastPixel;
    if (!clipLine(s.volume, a, b)) return false;
    projectVertex(a, s.width, s.height, out.a);
    projectVertex(b, s.width, s.height, out.b);
    return true;
}

}  // namespace sw
