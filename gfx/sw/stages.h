// The stage functions of the drawing pipeline and the records only they exchange.
// Internal to gfx/sw: the device calls drawPrimitives (pipeline.h), which runs these
// in order. Nothing here knows about the device or its COM objects.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include <vector>

#include "gfx/sw/pipeline.h"
#include "gfx/sw/rows.h"

namespace sw {

// Integer division rounding down / up, for fixed-point values of either sign (d > 0).
inline std::int64_t floorDiv(std::int64_t v, std::int64_t d) {
    return v >= 0 ? v / d : -((-v + d - 1) / d);
}
inline std::int64_t ceilDiv(std::int64_t v, std::int64_t d) {
    return -floorDiv(-v, d);
}

// ---- vertex (vertex.cpp) ----

// Transform slots [first, first + count) of the call into out[0..count).
void transformVertices(const DrawState& state, const DrawCall& call, std::uint32_t first,
                       std::uint32_t count, ClipVertex* out);

// ---- clip (clip.cpp) ----

// Planes a polygon may be cut by, in the order they are applied.
enum ClipPlane : int {
    kNearPlane,    // z >= 0
    kFarPlane,     // z <= w
    kWFloorPlane,  // w >= kMinW
    kLeftPlane,    // x >= -gx·w, the guard band's sides from here on
    kRightPlane,   // x <= gx·w
    kBottomPlane,  // y >= -gy·w
    kTopPlane,     // y <= gy·w
    kClipPlanes
};
// A convex polygon gains at most one vertex per plane; the rest is headroom for
// polygons that rounding has bent.
inline constexpr int kMaxClipVertices = 3 + 2 * kClipPlanes;

struct ClipPolygon {
    ClipVertex v[kMaxClipVertices];
    int count = 0;
};

// Guard band: screen positions may run this many pixels past the target on every side
// before x/y are cut. It keeps fixed-point products inside 64 bits (setup.cpp) while
// sparing on-screen edges the rounding that cutting at the target's sides would add.
inline constexpr double kGuardPixels = 65536.0;

// Smallest w that reaches the divide. Below it the point sits on the eye itself.
inline constexpr double kMinW = 1e-6;

// The clip volume of a target: near z >= 0, far z <= w, w >= kMinW, |x| <= gx·w,
// |y| <= gy·w. Boundaries are inside.
struct ClipVolume {
    double gx = 1, gy = 1;  // guard-band half-extent in units of the viewport half-size
};
ClipVolume clipVolumeFor(int width, int height);

// Cut a triangle to the volume. Returns the polygon (count 0 when nothing is left, or
// when a coordinate is NaN or infinite).
void clipTriangle(const ClipVolume& volume, const ClipVertex& a, const ClipVertex& b,
                  const ClipVertex& c, ClipPolygon& out);
// Cut a line; false when nothing is left.
bool clipLine(const ClipVolume& volume, ClipVertex& a, ClipVertex& b);

// ---- setup (setup.cpp) ----

inline constexpr int kSubPixelBits = 8;
inline constexpr std::int64_t kSubPixel = 1 << kSubPixelBits;

// The pixel whose centre is nearest a fixed-point coordinate; halves go to the higher.
inline std::int64_t nearestPixel(std::int64_t v) {
    return floorDiv(v + kSubPixel / 2, kSubPixel);
}

// A vertex after the divide and viewport map. Screen space: y down, pixel centres at
// integers.
struct ScreenVertex {
    std::int64_t x = 0, y = 0;      // fixed point, 1/kSubPixel pixel
    double invW = 0;                // 1/w
    double depth = 0;               // z/w
    double rw = 0, gw = 0, bw = 0;  // colour / w
};

void projectVertex(const ClipVertex& v, int width, int height, ScreenVertex& out);

// Twice the signed area of the polygon on the y-down screen, in fixed-point units.
// Positive: clockwise as seen on screen.
std::int64_t windingArea(const ScreenVertex* v, int count);

// Direct3D 9 culling by screen winding: true when the mode removes this winding.
bool culled(DWORD cullMode, std::int64_t windingArea);

// value(px, py) = at + dx·(px − x0) + dy·(py − y0), screen pixels.
struct Plane {
    double at = 0, dx = 0, dy = 0;
    double x0 = 0, y0 = 0;
    double eval(double px, double py) const { return at + dx * (px - x0) + dy * (py - y0); }
};

// Edge function E(px, py) = a·px + b·py + c (px, py whole pixels), biased so a pixel
// centre is covered when E >= 0 for all three edges (the top-left rule).
struct Edge {
    std::int64_t a = 0, b = 0, c = 0;
};

struct TriangleSetup {
    Edge edge[3];
    int minX = 0, minY = 0, maxX = -1, maxY = -1;  // pixel bounds, clamped to the target
    Plane depth;                                   // z/w, affine on screen
    Plane invW, rw, gw, bw;                        // Gouraud: perspective-correct planes
    bool flat = false;
    std::uint32_t flatColor = 0;  // X8R8G8B8 when flat
};

// Build the set-up for one triangle of a clipped polygon. `sign` is the polygon's
// winding; a triangle of the other winding or of zero area is a rounding sliver and
// yields false, as does one that covers no pixel of the target.
bool setupTriangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
                   std::int64_t sign, int width, int height, TriangleSetup& out);

// A line after clipping and projection. Flat lines take `flatColor`, and so may lines
// whose ends have the same colour in whole numbers (`sameColour`).
struct LineSetup {
    ScreenVertex a, b;
    bool flat = false;
    bool sameColour = false;
    std::uint32_t flatColor = 0;
    bool lastPixel = true;
};

// What set-up takes from a draw: the same for each of its primitives.
struct SetupState {
    ClipVolume volume;
    int width = 0, height = 0;  // the target, pixels
    DWORD cullMode = D3DCULL_CCW;
    bool flat = false;
    bool lastPixel = true;
};
SetupState setupStateFor(const DrawState& state, int width, int height);

// One triangle of a draw through clipping, projection and culling: appends the set-up
// of each triangle of what is left, in order, and nothing when nothing is. Flat
// shading takes a's colour whatever clipping leaves.
void setUpTriangle(const SetupState& setup, const ClipVertex& a, const ClipVertex& b,
                   const ClipVertex& c, std::vector<TriangleSetup>& out);
// One line of a draw clipped and projected; false when nothing of it is left.
bool setUpLine(const SetupState& setup, ClipVertex a, ClipVertex b, LineSetup& out);

// ---- output (output.cpp) ----

struct Span;
struct OutputState {
    RenderTarget target;
    bool testDepth = false;
    bool writeDepth = false;
    DWORD zFunc = D3DCMP_LESSEQUAL;
    // The test and stores of one span for this draw's comparison and kernels, chosen once
    // a draw so that a span pays for no choice (set by outputStateFor).
    void (*stores)(const OutputState& out, const Span& span) = nullptr;
};
OutputState outputStateFor(const DrawState& state, const RenderTarget& target);

// A run of fragments on one row, x in [x, x + count), already inside the target.
// Null arrays mean every fragment has the constant value.
struct Span {
    int x = 0, y = 0, count = 0;
    std::uint16_t depth = 0;
    std::uint32_t color = 0;
    const std::uint16_t* depths = nullptr;
    const std::uint32_t* colors = nullptr;
};
void writeSpan(const OutputState& out, const Span& span);

// D16 of a depth held in double: clamped before it narrows, so no value is out of
// range for the float that toD16 takes.
inline std::uint16_t depthToD16(double z) {
    if (!(z > 0.0)) return 0;
    if (z >= 1.0) return 0xFFFF;
    return toD16(static_cast<float>(z));
}

// Colour channel 0..255 as a double to a byte, rounded to nearest; NaN gives 0.
inline std::uint32_t toByte(double v) {
    if (!(v > 0.0)) return 0;
    if (v >= 255.0) return 255;
    return static_cast<std::uint32_t>(v + 0.5);
}
inline std::uint32_t packColor(double r, double g, double b) {
    return 0xFF000000u | (toByte(r) << 16) | (toByte(g) << 8) | toByte(b);
}

// ---- span shading (shade.cpp) ----

// Depths (D16) of `count` fragments at (x + i, y), from an affine plane.
void shadeDepths(const Plane& depth, double x, double y, int count, std::uint16_t* out);
// Perspective-correct Gouraud colours (X8R8G8B8) of `count` fragments at (x + i, y).
void shadeColors(const TriangleSetup& setup, double x, double y, int count, std::uint32_t* out);

// The kernels span shading and the depth test have: the portable ones on every target,
// the x86 SIMD widths, and NEON colours on arm64; tests select each in turn.
enum class SpanKernels { portable, sse2, avx2, avx512, neon };
// The kernels span shading and the depth test run with. All give the same bits; the
// widest the processor has is chosen at start-up. False when the processor lacks the
// kernels asked for. Tests and benchmarks only.
bool selectSpanKernels(SpanKernels which);
void selectWidestSpanKernels();

// ---- raster (raster_tri.cpp, raster_line.cpp) ----

// One row of fragment values, per thread: as wide as the target.
struct SpanScratch {
    std::vector<std::uint16_t> depth;  // D16
    std::vector<std::uint32_t> color;  // X8R8G8B8
};

// The run of row y the triangle covers, as the span's x, y and count; false when the
// row holds none. The same walk whatever shades and stores the span; inline, as it
// runs once a row.
inline bool coveredRun(const TriangleSetup& s, int y, Span& span) {
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

// The rows of the triangle that `share` owns.
void rasterTriangle(const TriangleSetup& setup, const OutputState& out, SpanScratch& spans,
                    RowShare share);

// The pixels of the line on rows that `share` owns.
void rasterLine(const LineSetup& line, const OutputState& out, RowShare share);

// Per-device working memory, reused from draw to draw so drawing allocates nothing
// once it has warmed up.
struct Scratch {
    std::vector<ClipVertex> vertices;  // the draw's slots, transformed
    // Set-ups waiting to be rasterized together; a draw holds one kind only.
    std::vector<TriangleSetup> triangles;
    std::vector<LineSetup> lines;
    std::vector<SpanScratch> spans;  // one per row thread
};

}  // namespace sw
