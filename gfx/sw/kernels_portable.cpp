// The portable span kernels. Each loop has no branch the compiler cannot turn into a
// lane select, so it vectorises them at the target's own width (NEON's two doubles on
// arm64); the clamps are written the way the SIMD kernels compute them, which gives the
// scalar rules' bits (see shade.cpp).
#include <cstddef>
#include <functional>

#include "gfx/sw/kernels.h"

namespace sw {

namespace {

// Clamped to [0, top], NaN to 0. Both comparisons are made whatever the value, which
// lets the compiler turn them into lane selects; nested, the inner one would be a branch.
inline double clamped(double v, double top) {
    const double low = v > 0.0 ? v : 0.0;
    return low < top ? low : top;
}

// toByte: 0 and 255.5 at the ends truncate to 0 and 255.
inline std::uint32_t clampedByte(double v) {
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(clamped(v, 255.0) + 0.5));
}

// Every fragment's stored values are read and written back, the passing ones replaced,
// so the loop has no branch; a row belongs to one thread, so the write-back races with
// nothing. Each source of values is its own loop, for the same reason.
template <bool kWriteDepth, class Pass, class DepthAt, class ColorAt>
void testedRun(std::uint16_t* depth, std::uint32_t* color, int count, Pass pass, DepthAt zAt,
               ColorAt colorAt) {
    for (int i = 0; i < count; ++i) {
        const std::uint16_t z = zAt(i);
        const std::uint32_t c = colorAt(i);
        const std::uint16_t stored = depth[i];
        const bool passed = pass(z, stored);
        color[i] = passed ? c : color[i];
        if constexpr (kWriteDepth) depth[i] = passed ? z : stored;
    }
}

template <class Pass>
void depthTested(const OutputState& out, const Span& s, Pass pass) {
    const std::size_t row = static_cast<std::size_t>(s.y) * out.target.width + s.x;
    std::uint32_t* color = out.target.color + row;
    std::uint16_t* depth = out.target.depth + row;
    const auto run = [&](auto zAt, auto colorAt) {
        if (out.writeDepth) return testedRun<true>(depth, color, s.count, pass, zAt, colorAt);
        testedRun<false>(depth, color, s.count, pass, zAt, colorAt);
    };
    const auto zs = [d = s.depths](int i) { return d[i]; };
    const auto z = [d = s.depth](int) { return d; };
    const auto colors = [c = s.colors](int i) { return c[i]; };
    const auto colour = [c = s.color](int) { return c; };
    if (s.depths && s.colors) return run(zs, colors);
    if (s.depths) return run(zs, colour);
    if (s.colors) return run(z, colors);
    run(z, colour);
}

}  // namespace

void depthsPortable(double z0, double dz, int count, std::uint16_t* out) {
    for (int i = 0; i < count; ++i) {
        // depthToD16: clamped in double (NaN to 0), narrowed, scaled and rounded in float.
        const float scaled = static_cast<float>(clamped(z0 + i * dz, 1.0)) * 65535.0f + 0.5f;
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
