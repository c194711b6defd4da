// The vertex stage: fetch in the one layout the subset has and v × world × view ×
// projection into clip space, with the diffuse colour lit or passed through. Called by
// draw.cpp; it neither assembles nor clips.
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
        std::memcpy(&color, p + kColoredVertexColor, sizeof color);
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

}  // namespace sw
