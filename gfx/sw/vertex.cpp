// The draw entry and its front end: vertex fetch and transform, then primitive assembly
// handing each line or triangle through clip → setup, and batches of set-ups to
// raster → output on the row threads.
// Validation is the device's job: a DrawCall arrives already checked against its buffers.
#include <algorithm>
#include <cstring>

#include "gfx/sw/stages.h"

namespace sw {

void transformVertices(const DrawState& state, const DrawCall& call, std::uint32_t first,
                       std::uint32_t count, ClipVertex* out) {
    const D3DMATRIX& m = state.worldViewProjection;
    const bool lit = state.lighting != FALSE;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* p = call.vertices + std::size_t{first + i} * call.stride;
        float v[3];
        D3DCOLOR color;
        std::memcpy(v, p, sizeof v);
        std::memcpy(&color, p + 12, sizeof color);
        // Row vector times matrix in 32-bit float, as the fixed-function pipeline does.
        // z and w use the same expression shape, so equal columns give equal z and w.
        ClipVertex& o = out[i];
        o.x = v[0] * m._11 + v[1] * m._21 + v[2] * m._31 + m._41;
        o.y = v[0] * m._12 + v[1] * m._22 + v[2] * m._32 + m._42;
        o.z = v[0] * m._13 + v[1] * m._23 + v[2] * m._33 + m._43;
        o.w = v[0] * m._14 + v[1] * m._24 + v[2] * m._34 + m._44;
        if (lit) {
            // Lighting on with no lights and no ambient: the lit diffuse is black.
            o.r = o.g = o.b = 0.0;
        } else {
            o.r = (color >> 16) & 0xFF;
            o.g = (color >> 8) & 0xFF;
            o.b = color & 0xFF;
        }
    }
}

namespace {

// Vertices a draw of `count` primitives reads, 0 for types we do not draw.
std::uint64_t elementCount(D3DPRIMITIVETYPE type, std::uint64_t count) {
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
std::int64_t slotOf(const DrawCall& call, std::uint64_t k) {
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
    RowThreads* rows;
    std::int64_t firstSlot;
    bool flat;
};

// Set-ups held before they are rasterized together: enough to make waking the row
// threads worth it, few enough to keep in cache.
constexpr std::size_t kBatch = 256;

// Rasterizes the waiting set-ups in order, each thread on its own rows.
void flush(const Draw& d) {
    Scratch& s = d.scratch;
    if (s.triangles.empty() && s.lines.empty()) return;
    const auto job = [&](RowShare share) {
        SpanScratch& spans = s.spans[static_cast<std::size_t>(share.phase)];
        for (const TriangleSetup& t : s.triangles) rasterTriangle(t, d.out, spans, share);
        for (const LineSetup& l : s.lines) rasterLine(l, d.out, share);
    };
    runOnRows(d.rows, job);
    s.triangles.clear();
    s.lines.clear();
}

// The rows a primitive may write, noted for the clears before any thread writes them.
void noteRows(const Draw& d, int y0, int y1) {
    const RenderTarget& t = d.out.target;
    if (t.colorWritten) t.colorWritten->noteRows(y0, y1);
    if (d.out.writeDepth && t.depthWritten) t.depthWritten->noteRows(y0, y1);
}

void drawTriangle(const Draw& d, const ClipVertex& a, const ClipVertex& b, const ClipVertex& c) {
    // Flat shading uses the first vertex of the primitive, whatever clipping leaves.
    const std::uint32_t flatColor = packColor(a.r, a.g, a.b);
    ClipPolygon poly;
    clipTriangle(d.volume, a, b, c, poly);
    if (poly.count < 3) return;

    const int width = d.out.target.width;
    const int height = d.out.target.height;
    ScreenVertex sv[kMaxClipVertices];
    for (int i = 0; i < poly.count; ++i) projectVertex(poly.v[i], width, height, sv[i]);
    const std::int64_t area = windingArea(sv, poly.count);
    if (area == 0 || culled(d.state.cullMode, area)) return;

    for (int i = 1; i + 1 < poly.count; ++i) {
        TriangleSetup setup;
        if (!setupTriangle(sv[0], sv[i], sv[i + 1], area, width, height, setup)) continue;
        setup.flat = d.flat;
        setup.flatColor = flatColor;
        noteRows(d, setup.minY, setup.maxY);
        d.scratch.triangles.push_back(setup);
        if (d.scratch.triangles.size() >= kBatch) flush(d);
    }
}

void drawLine(const Draw& d, ClipVertex a, ClipVertex b) {
    LineSetup line;
    line.flat = d.flat;
    line.flatColor = packColor(a.r, a.g, a.b);
    line.lastPixel = d.state.lastPixel != FALSE;
    if (!clipLine(d.volume, a, b)) return;
    const int height = d.out.target.height;
    projectVertex(a, d.out.target.width, height, line.a);
    projectVertex(b, d.out.target.width, height, line.b);
    // Every pixel of the line lies on a row between the ends' nearest rows, or one
    // past: pixel centres along the major axis may lie up to half a pixel beyond an end,
    // which moves the minor coordinate by at most half a pixel.
    const std::int64_t ya = nearestPixel(line.a.y), yb = nearestPixel(line.b.y);
    const std::int64_t y0 = std::max<std::int64_t>(std::min(ya, yb) - 1, 0);
    const std::int64_t y1 = std::min<std::int64_t>(std::max(ya, yb) + 1, height - 1);
    if (y0 > y1) return;  // no row of the target
    noteRows(d, static_cast<int>(y0), static_cast<int>(y1));
    d.scratch.lines.push_back(line);
    if (d.scratch.lines.size() >= kBatch) flush(d);
}

// Assemble the primitives of the call and send each down the pipeline. Primitives
// naming a slot outside the call are skipped rather than read.
void assemble(const Draw& d, const DrawCall& call) {
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

}  // namespace

void drawPrimitives(const DrawState& state, const RenderTarget& target, const DrawCall& call,
                    Scratch& scratch, RowThreads* rows) {
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

    // 4. Span memory for every thread, sized here: the threads must not allocate.
    const std::size_t threads = rows != nullptr ? static_cast<std::size_t>(rows->count()) : 1;
    if (scratch.spans.size() < threads) scratch.spans.resize(threads);
    for (SpanScratch& spans : scratch.spans) {
        if (spans.depth.size() < std::size_t(target.width)) spans.depth.resize(target.width);
        if (spans.color.size() < std::size_t(target.width)) spans.color.resize(target.width);
    }
    scratch.triangles.reserve(kBatch);
    scratch.lines.reserve(kBatch);

    // 5. Assemble and set up each primitive, rasterizing a batch at a time.
    const Draw d{state,
                 outputStateFor(state, target),
                 clipVolumeFor(target.width, target.height),
                 scratch,
                 rows,
                 lo,
                 state.shadeMode == D3DSHADE_FLAT};
    assemble(d, call);
    flush(d);
}

}  // namespace sw
