// The draw entry and its front end: primitive assembly handing each line or triangle
// through vertex → clip → setup, and batches of set-ups to raster → output on the row
// threads. Validation is the device's job: a DrawCall arrives already checked against
// its buffers.
#include <algorithm>
#include <vector>

#include "gfx/sw/assembly.h"
#include "gfx/sw/stages.h"

namespace sw {

namespace {

struct Draw {
    OutputState out;
    SetupState setup;
    Scratch& scratch;
    RowThreads* rows;
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
    std::vector<TriangleSetup>& batch = d.scratch.triangles;
    const std::size_t first = batch.size();
    setUpTriangle(d.setup, a, b, c, batch);
    for (std::size_t i = first; i < batch.size(); ++i) noteRows(d, batch[i].minY, batch[i].maxY);
    if (batch.size() >= kBatch) flush(d);
}

void drawLine(const Draw& d, const ClipVertex& a, const ClipVertex& b) {
    LineSetup line;
    if (!setUpLine(d.setup, a, b, line)) return;
    // Every pixel of the line lies on a row between the ends' nearest rows, or one
    // past: pixel centres along the major axis may lie up to half a pixel beyond an end,
    // which moves the minor coordinate by at most half a pixel.
    const std::int64_t ya = nearestPixel(line.a.y), yb = nearestPixel(line.b.y);
    const std::int64_t y0 = std::max<std::int64_t>(std::min(ya, yb) - 1, 0);
    const std::int64_t y1 = std::min<std::int64_t>(std::max(ya, yb) + 1, d.setup.height - 1);
    if (y0 > y1) return;  // no row of the target
    noteRows(d, static_cast<int>(y0), static_cast<int>(y1));
    d.scratch.lines.push_back(line);
    if (d.scratch.lines.size() >= kBatch) flush(d);
}

}  // namespace

void drawPrimitives(const DrawState& state, const RenderTarget& target, const DrawCall& call,
                    Scratch& scratch, RowThreads* rows) {
    // 1. Anything to draw into, and anything to draw?
    const std::uint32_t count = slotsToDraw(target, call);
    if (count == 0) return;

    // 2. Fetch and transform into scratch memory (grown once, then reused).
    if (scratch.vertices.size() < count) scratch.vertices.resize(count);
    transformVertices(state, call, 0, count, scratch.vertices.data());

    // 3. Span memory for every thread, sized here: the threads must not allocate.
    const std::size_t threads = rows != nullptr ? static_cast<std::size_t>(rows->count()) : 1;
    if (scratch.spans.size() < threads) scratch.spans.resize(threads);
    for (SpanScratch& spans : scratch.spans) {
        if (spans.depth.size() < std::size_t(target.width)) spans.depth.resize(target.width);
        if (spans.color.size() < std::size_t(target.width)) spans.color.resize(target.width);
    }
    // A triangle adds at most the triangles of one clipped polygon past a full batch.
    scratch.triangles.reserve(kBatch + kMaxClipVertices - 2);
    scratch.lines.reserve(kBatch);

    // 4. Assemble and set up each primitive, rasterizing a batch at a time.
    const Draw d{outputStateFor(state, target), setupStateFor(state, target.width, target.height),
                 scratch, rows};
    assemble(
        call, scratch.vertices.data(),
        [&](const ClipVertex& a, const ClipVertex& b) { drawLine(d, a, b); },
        [&](const ClipVertex& a, const ClipVertex& b, const ClipVertex& c) {
            drawTriangle(d, a, b, c);
        });
    flush(d);
}

}  // namespace sw
