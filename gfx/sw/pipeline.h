// The software device's drawing pipeline: the records passed between stages and the
// entries the device calls once a draw has been validated.
//
//   draw.cpp        drawPrimitives: batches, the row threads' jobs
//   assembly.h      the slots of each line or triangle, in draw order
//   vertex.cpp      fetch + v × world × view × projection          -> clip-space vertices
//   clip.cpp        homogeneous clipping, one plane at a time      -> clipped polygons / lines
//   setup.cpp       divide, viewport, fixed point, cull, edges     -> TriangleSetup
//   raster_tri.cpp  edge-function walk, top-left rule              -> spans of fragments
//   raster_line.cpp major-axis walk, last pixel per D3DRS_LASTPIXEL -> fragments
//   shade.cpp       span depths and Gouraud colours, SSE2 / AVX2 / AVX-512
//   output.cpp      D16 depth test/write, X8R8G8B8 colour
//
// Set-ups are gathered a batch at a time and rasterized on the row threads (rows.cpp):
// each row share walks every primitive of the batch over its own rows. The stage
// functions and the records only they share are in stages.h. Stages never reach back
// into the device: everything they use arrives here, and what they write is noted
// through the surfaces' view (RenderTarget) for the surfaces' own clears (surface.h).
#pragma once

#include <cstdint>
#include <vector>

#include "gfx/d3d9.h"
#include "gfx/sw/surface.h"

namespace sw {

// The view of the back and depth surfaces a draw writes through. Row-major, pitch ==
// width.
struct RenderTarget {
    std::uint32_t* color = nullptr;  // X8R8G8B8, width × height
    std::uint16_t* depth = nullptr;  // D16, width × height; null when there is no depth buffer
    int width = 0;
    int height = 0;
    // Where the stages note what they write to each surface, for its next clear; null:
    // not noted.
    WrittenRows* colorWritten = nullptr;
    WrittenRows* depthWritten = nullptr;
};

// The device state a draw reads, snapshotted once per draw.
struct DrawState {
    D3DMATRIX worldViewProjection{};  // world × view × projection, row vectors
    DWORD cullMode = D3DCULL_CCW;
    DWORD shadeMode = D3DSHADE_GOURAUD;
    DWORD zEnable = D3DZB_TRUE;
    DWORD zWriteEnable = TRUE;
    DWORD zFunc = D3DCMP_LESSEQUAL;
    DWORD lastPixel = TRUE;
    DWORD lighting = TRUE;  // with no lights the lit colour is black, as Direct3D 9 gives
};

// The one vertex layout the subset has (D3DFVF_XYZ | D3DFVF_DIFFUSE): float x, y, z at
// +0, D3DCOLOR at +12, 16 bytes a vertex.
inline constexpr DWORD kColoredVertexFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;
inline constexpr UINT kColoredVertexStride = 16;
inline constexpr UINT kColoredVertexColor = 12;

// Vertices (or indices) that `count` primitives of `type` read, or 0 for a type the
// pipeline does not draw. 64-bit so no count can wrap.
inline std::uint64_t elementsFor(D3DPRIMITIVETYPE type, std::uint64_t count) {
    switch (type) {
        case D3DPT_LINELIST: return 2 * count;
        case D3DPT_LINESTRIP: return count + 1;
        case D3DPT_TRIANGLELIST: return 3 * count;
        case D3DPT_TRIANGLESTRIP:
        case D3DPT_TRIANGLEFAN: return count + 2;
        case D3DPT_POINTLIST: return 0;  // the pipeline has no point rasterizer
    }
    return 0;
}

// One validated draw. Every vertex slot the draw names lies in [0, vertexCount), and
// every byte of those vertices lies inside the bound buffer; the device narrows an
// indexed draw's slots to those its indices name, so every slot is fetched.
struct DrawCall {
    D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
    std::uint32_t primitiveCount = 0;
    const std::uint8_t* vertices = nullptr;  // slot 0
    std::uint32_t stride = 0;                // bytes between slots
    std::uint32_t vertexCount = 0;
    // Indexed draws: index i names slot (indices[i] - indexBias). Both null: the
    // primitives take slots 0, 1, 2, … in order.
    const std::uint16_t* indices16 = nullptr;
    const std::uint32_t* indices32 = nullptr;
    std::uint32_t indexBias = 0;
};

// A transformed vertex, before clipping. Clip space is kept in double from here on so
// clip-plane distances of coordinates up to FLT_MAX neither overflow nor lose the
// z == w equality a near distance of 0 gives every vertex.
struct ClipVertex {
    double x = 0, y = 0, z = 0, w = 0;  // clip space: v × world × view × projection
    double r = 0, g = 0, b = 0;         // diffuse colour, 0..255 per channel
};

struct Scratch;    // the pipeline's working memory (stages.h)
class RowThreads;  // rows.h

// A colour as an X8R8G8B8 target stores it. Ours: every colour stored, cleared or
// drawn, has its X8 byte set to 0xFF, so a reader that does look at it sees an opaque
// pixel.
inline std::uint32_t storedColor(D3DCOLOR color) {
    return color | 0xFF000000u;
}

// D16 of a depth: clamped to [0, 1] first (NaN counts as 0), then rounded to nearest.
inline std::uint16_t toD16(float z) {
    if (!(z > 0.0f)) return 0;
    if (z >= 1.0f) return 0xFFFF;
    return static_cast<std::uint16_t>(z * 65535.0f + 0.5f);
}

// Draws the call into the target. With `rows`, the target's rows are shared among its
// threads; the pixels are the same either way.
void drawPrimitives(const DrawState& state, const RenderTarget& target, const DrawCall& call,
                    Scratch& scratch, RowThreads* rows = nullptr);

}  // namespace sw
