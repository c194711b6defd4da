// The draw entry and its front end: primitive assembly handing each line or triangle
// through vertex → clip → setup, and batches of set-ups to raster → output on the row
// threads. Validation is the device's job: a DrawCall arrives already checked against
// its buffers.
#include <algorithm>
#include <cassert>
#include <cstring>

#include "gfx/sw/stages.h"

namespace sw {

namespace {

// Slot named by element k of the draw. The device has checked every index, so each
// names a slot of the call.
std::uint32_t slotOf(const DrawCall& call, std::uint64_t k) {
    std::uint32_t slot = static_cast<std::uint32_t>(k);
    if (call.indices16) {
        std::uint16_t i;
        std::memcpy(&i, call.indices16 + k, sizeof i);
        slot = i - call.indexBias;
    } else if (call.indices32) {
        std::uint32_t i;
        std::memcpy(&i, call.indices32 + k, sizeof i);
        slot = i - call.indexBias;
    }
    assert(slot < call.vertexCount);
    return slot;
}

struct Draw {
    const DrawState& state;
    OutputState out;
    ClipVolume volume;
    Scratch& scratch;
    RowThreads* rows;
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

// Assemble the primitives of the call and send each down the pipeline.
void assemble(const Draw& d, const DrawCall& call) {
    const ClipVertex* v = d.scratch.vertices.data();
    auto at = [&](std::uint64_t k) -> const ClipVertex& { return v[slotOf(call, k)]; };
    for (std::uint64_t i = 0; i < call.primitiveCount; ++i) {
        switch (call.type) {
            case D3DPT_LINELIST: drawLine(d, at(2 * i), at(2 * i + 1)); break;
            case D3DPT_LINESTRIP: drawLine(d, at(i), at(i + 1)); break;
            case D3DPT_TRIANGLELIST:
                drawTriangle(d, at(3 * i), at(3 * i + 1), at(3 * i + 2));
                break;
            case D3DPT_TRIANGLESTRIP:
                // Every odd triangle of a strip is wound the other way round; swapping
                // its last two vertices restores the winding and keeps the first
                // vertex, which flat shading uses.
                drawTriangle(d, at(i), at(i + ((i & 1) ? 2 : 1)), at(i + ((i & 1) ? 1 : 2)));
                break;
            case D3DPT_TRIANGLEFAN:
                // Triangle i is (v[0], v[i+1], v[i+2]); Direct3D shades a flat fan
                // triangle from v[i+1], so it starts there (a rotation: same winding).
                drawTriangle(d, at(i + 1), at(i + 2), at(0));
                break;
            default: return;
        }
    }
}

}  // namespace

void drawPrimitives(const DrawState& state, const RenderTarget& target, const DrawCall& call,
                    Scratch& scratch, RowThreads* rows) {
    // 1. Anything to draw into, and anything to draw?
    if (!target.color || target.width <= 0 || target.height <= 0) return;
    if (!call.vertices || call.vertexCount == 0) return;
    const std::uint64_t elements = elementsFor(call.type, call.primitiveCount);
    if (call.primitiveCount == 0 || elements == 0) return;

    // 2. Fetch and transform into scratch memory (grown once, then reused): every slot
    //    of an indexed call, which the device narrowed to those named; the first
    //    `elements` of a plain one.
    const bool indexed = call.indices16 || call.indices32;
    const auto count = static_cast<std::uint32_t>(
        indexed ? call.vertexCount : std::min<std::uint64_t>(elements, call.vertexCount));
    if (scratch.vertices.size() < count) scratch.vertices.resize(count);
    transformVertices(state, call, 0, count, scratch.vertices.data());

    // 3. Span memory for every thread, sized here: the threads must not allocate.
    const std::size_t threads = rows != nullptr ? static_cast<std::size_t>(rows->count()) : 1;
    if (scratch.spans.size() < threads) scratch.spans.resize(threads);
    for (SpanScratch& spans : scratch.spans) {
        if (spans.depth.size() < std::size_t(target.width)) spans.depth.resize(target.width);
        if (spans.color.size() < std::size_t(target.width)) spans.color.resize(target.width);
    }
    scratch.triangles.reserve(kBatch);
    scratch.lines.reserve(kBatch);

    // 4. Assemble and set up each primitive, rasterizing a batch at a time.
    const Draw d{
        state, outputStateFor(state, target),   clipVolumeFor(target.width, target.height), scratch,
        rows,  state.shadeMode == D3DSHADE_FLAT};
    assemble(d, call);
    flush(d);
}

}  // namespace sw
