// The portable span kernels. Each loop has no branch the compiler cannot turn into a
// lane select, so it vectorises them at the target's own width (NEON's two doubles on
// arm64); the clamps are written the way the SIMD kernels compute them, which gives the
// scalar rules' bits (see shade.cpp).
#include <cstddef>
#include <functional>

#include "gfx/sw/kernels.h"

namespace sw {

namespace {

// toByte: NaN and below zero fail v > 0 and take 0; 255.5 truncates to 255.
inline std::uint32_t clampedByte(double v) {
    const double clamped = v > 0.0 ? (v < 255.0 ? v : 255.0) : 0.0;
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(clamped + 0.5));
}

// Every fragment's stored values are read and written back, the passing ones replaced,
// so the loop has no branch; a row belongs to one thread, so the write-back races with
// nothing.
template <class Pass>
void depthTested(const OutputState& out, const Span& s, Pass pass) {
    const std::size_t row = static_cast<std::size_t>(s.y) * out.target.width + s.x;
    std::uint32_t* color = out.target.color + row;
    std::uint16_t* depth = out.target.depth + row;
    for (int i = 0; i < s.count; ++i) {
        const std::uint16_t z = s.depths ? s.depths[i] : s.depth;
        const std::uint16_t stored = depth[i];
        const bool passed = pass(z, stored);
        color[i] = passed ? (s.colors ? s.colors[i] : s.color) : color[i];
        if (out.writeDepth) depth[i] = passed ? z : stored;
    }
}

}  // namespace

void depthsPortable(double z0, double dz, int count, std::uint16_t* out) {
    for (int i = 0; i < count; ++i) {
        // depthToD16: clamped in double (NaN to 0), narrowed, scaled and rounded in float.
        const double z = z0 + i * dz;
        const double clamped = z > 0.0 ? (z < 1.0 ? z : 1.0) : 0.0;
        const float scaled = static_cast<float>(clamped) * 65535.0f + 0.5f;
        out[i] = static_cast<std::uint16_t>(static_cast<std::int32_t>(scaled));
    }
}

void colorsPortable(const ColorPlanes& p, int count, std::uint32_t* out) {
    for (int i = 0; i < count; ++i) {
        const double inv = p.inv0 + i * p.dInv;
        const double w = 1.0 / (inv < kMinInvW ? kMinInvW : inv);  // std::max: NaN stays
        out[i] = 0xFF000000u | clampedByte((p.r0 + i * p.dr) * w) << 16 |
                 clampedByte((p.g0 + i * p.dg) * w) << 8 | clampedByte((p.b0 + i * p.db) * w);
    }
}

void depthTestedSpanPortable(const OutputState& out, const Span& s) {
    switch (out.zFunc) {
        case D3DCMP_LESS: return depthTested(out, s, std::less<>{});
        case D3DCMP_EQUAL: return depthTested(out, s, std::equal_to<>{});
        case D3DCMP_LESSEQUAL: return depthTested(out, s, std::less_equal<>{});
        case D3DCMP_GREATER: return depthTested(out, s, std::greater<>{});
        case D3DCMP_NOTEQUAL: return depthTested(out, s, std::not_equal_to<>{});
        case D3DCMP_GREATEREQUAL: return depthTested(out, s, std::greater_equal<>{});
        default: return;  // writeSpan handles NEVER and ALWAYS without a test
    }
}

}  // namespace sw
