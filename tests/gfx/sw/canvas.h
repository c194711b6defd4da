// Test support for the pipeline stages: a small colour + depth target, vertices in the
// D3DFVF_XYZ | D3DFVF_DIFFUSE layout, and matrices derived by hand that place model
// coordinates at known screen or clip-space positions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gfx/sw/stages.h"
#include "gfx/sw/testing.h"

namespace swtest {

struct Vertex {
    float x, y, z;
    D3DCOLOR color;
};
// The layout the vertex stage fetches.
static_assert(sizeof(Vertex) == sw::kColoredVertexStride);
static_assert(offsetof(Vertex, color) == sw::kColoredVertexColor);

inline constexpr D3DCOLOR kBackground = 0xFF000000u;

// `count` primitives over the vertices, indexed when `indices` is given.
inline sw::DrawCall drawCall(D3DPRIMITIVETYPE type, std::uint32_t count,
                             const std::vector<Vertex>& v,
                             const std::vector<std::uint16_t>* indices = nullptr) {
    sw::DrawCall call;
    call.type = type;
    call.primitiveCount = count;
    call.vertices = reinterpret_cast<const std::uint8_t*>(v.data());
    call.stride = sizeof(Vertex);
    call.vertexCount = static_cast<std::uint32_t>(v.size());
    if (indices) call.indices16 = indices->data();
    return call;
}

struct Canvas {
    int width, height;
    std::vector<std::uint32_t> color;
    std::vector<std::uint16_t> depth;
    sw::Scratch scratch;

    Canvas(int w, int h, bool withDepth = true)
        : width(w),
          height(h),
          color(std::size_t(w) * h),
          depth(withDepth ? std::size_t(w) * h : 0) {
        clear();
    }
    sw::RenderTarget target() {
        return {color.data(), depth.empty() ? nullptr : depth.data(), width, height};
    }
    void clear(float z = 1.0f, D3DCOLOR background = kBackground) {
        sw::clearColor(target(), background);
        sw::clearDepth(target(), z);
    }
    std::uint32_t at(int x, int y) const { return color[std::size_t(y) * width + x] & 0xFFFFFFu; }
    std::uint16_t depthAt(int x, int y) const { return depth[std::size_t(y) * width + x]; }
    bool drawn(int x, int y) const { return at(x, y) != (kBackground & 0xFFFFFFu); }
    // f(x, y) for every pixel, row by row; eachDrawn for those drawn on only.
    template <class F>
    void each(F f) const {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) f(x, y);
        }
    }
    template <class F>
    void eachDrawn(F f) const {
        each([&](int x, int y) {
            if (drawn(x, y)) f(x, y);
        });
    }
    int drawnCount() const {
        int n = 0;
        each([&](int x, int y) { n += drawn(x, y); });
        return n;
    }

    void draw(const sw::DrawState& state, D3DPRIMITIVETYPE type, std::uint32_t count,
              const std::vector<Vertex>& v, const std::vector<std::uint16_t>* indices = nullptr) {
        sw::drawPrimitives(state, target(), drawCall(type, count, v, indices), scratch);
    }
};

// Model (px, py, z) lands on screen (px, py) with w = 1 and depth z: clip x = 2px/W − 1,
// clip y = 1 − 2py/H, so screen x = (1 + x)·W/2 = px and screen y = (1 − y)·H/2 = py.
// With power-of-two sizes every step is exact in float.
inline D3DMATRIX screenMatrix(int w, int h) {
    D3DMATRIX m{};
    m._11 = 2.0f / static_cast<float>(w);
    m._22 = -2.0f / static_cast<float>(h);
    m._33 = 1.0f;
    m._41 = -1.0f;
    m._42 = 1.0f;
    m._44 = 1.0f;
    return m;
}

// Model (a, b, c) goes to clip space (a, b, zScale·c, c): the test writes clip x, y and
// w directly. zScale 1 gives z == w, as a projection with near distance 0 does.
inline D3DMATRIX clipMatrix(float zScale = 1.0f) {
    D3DMATRIX m{};
    m._11 = 1.0f;
    m._22 = 1.0f;
    m._33 = zScale;
    m._34 = 1.0f;
    return m;
}

// Draw state with lighting off (vertex colours as given) and no culling unless the
// test asks for it.
inline sw::DrawState unlitState(const D3DMATRIX& m) {
    sw::DrawState s;
    s.worldViewProjection = m;
    s.lighting = FALSE;
    s.cullMode = D3DCULL_NONE;
    return s;
}

}  // namespace swtest
