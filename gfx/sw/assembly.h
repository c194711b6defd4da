// Primitive assembly: which transformed slots make each line or triangle of a draw, in
// draw order. The front of drawPrimitives (draw.cpp); what happens to each primitive
// is the caller's, so the device can batch set-ups for its row threads while a
// one-thread caller rasterizes each at once.
#pragma once

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstring>

#include "gfx/sw/pipeline.h"

namespace sw {

// Slot named by element k of the draw. The device has checked every index, so each
// names a slot of the call.
inline std::uint32_t slotOf(const DrawCall& call, std::uint64_t k) {
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

// The slots a draw transforms, from slot 0: every slot of an indexed call (the device
// narrowed them to those its indices name), the first ones a plain call reads. 0 when
// there is nothing to draw or nothing to draw into.
inline std::uint32_t slotsToDraw(const RenderTarget& target, const DrawCall& call) {
    if (!target.color || target.width <= 0 || target.height <= 0) return 0;
    if (!call.vertices || call.vertexCount == 0 || call.primitiveCount == 0) return 0;
    const std::uint64_t elements = elementsFor(call.type, call.primitiveCount);
    if (elements == 0) return 0;
    if (call.indices16 || call.indices32) return call.vertexCount;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(elements, call.vertexCount));
}

// Calls line(a, b) or triangle(a, b, c) for each primitive of the call, in order; `v`
// holds the call's slots transformed.
template <class Line, class Triangle>
void assemble(const DrawCall& call, const ClipVertex* v, Line&& line, Triangle&& triangle) {
    auto at = [&](std::uint64_t k) -> const ClipVertex& { return v[slotOf(call, k)]; };
    for (std::uint64_t i = 0; i < call.primitiveCount; ++i) {
        switch (call.type) {
            case D3DPT_LINELIST: line(at(2 * i), at(2 * i + 1)); break;
            case D3DPT_LINESTRIP: line(at(i), at(i + 1)); break;
            case D3DPT_TRIANGLELIST: triangle(at(3 * i), at(3 * i + 1), at(3 * i + 2)); break;
            case D3DPT_TRIANGLESTRIP:
                // Every odd triangle of a strip is wound the other way round; swapping
                // its last two vertices restores the winding and keeps the first
                // vertex, which flat shading uses.
                triangle(at(i), at(i + ((i & 1) ? 2 : 1)), at(i + ((i & 1) ? 1 : 2)));
                break;
            case D3DPT_TRIANGLEFAN:
                // Triangle i is (v[0], v[i+1], v[i+2]); Direct3D shades a flat fan
                // triangle from v[i+1], so it starts there (a rotation: same winding).
                triangle(at(i + 1), at(i + 2), at(0));
                break;
            default: return;
        }
    }
}

}  // namespace sw
