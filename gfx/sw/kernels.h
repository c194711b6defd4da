// What the span kernels of every instruction set share, and the portable kernels: plain
// C++ the compiler vectorises for whatever target it builds, so the device builds and
// draws the same bits where there are no x86 kernels. Internal to gfx/sw.
#pragma once

#include <algorithm>
#include <cstdint>

#include "gfx/sw/stages.h"

namespace sw {

// The kernels shading and the depth test run with just now (chosen in shade.cpp).
SpanKernels spanKernels();

// The perspective-correct colour planes along one span.
struct ColorPlanes {
    double inv0, r0, g0, b0;  // at the span's first centre
    double dInv, dr, dg, db;  // per pixel to the right
};

// Centres a hair outside the snapped triangle can extrapolate 1/w to zero or below;
// those take the smallest positive 1/w instead of dividing by it.
inline constexpr double kMinInvW = 1e-300;

// The exact rule for fragments [from, to) of a span, one at a time: the double operations
// every colour kernel computes, in the same order.
inline void colorsExact(const ColorPlanes& p, int from, int to, std::uint32_t* out) {
    for (int i = from; i < to; ++i) {
        const double w = 1.0 / std::max(p.inv0 + i * p.dInv, kMinInvW);
        out[i] = packColor((p.r0 + i * p.dr) * w, (p.g0 + i * p.dg) * w, (p.b0 + i * p.db) * w);
    }
}

// The float colour kernels (kernels_float.cpp): the exact rule's bits at twice the lanes.
// False, having stored nothing, for a span whose planes the float bound does not cover;
// the double kernels shade those.
bool colorsFloatSse2(const ColorPlanes& planes, int count, std::uint32_t* out);
bool colorsFloatAvx2(const ColorPlanes& planes, int count, std::uint32_t* out);
bool colorsFloatAvx512(const ColorPlanes& planes, int count, std::uint32_t* out);

// Fragment i of each takes start + i · step, i exact as a double, as the SIMD kernels do.
void depthsPortable(double z0, double dz, int count, std::uint16_t* out);
void colorsPortable(const ColorPlanes& planes, int count, std::uint32_t* out);
// The colours with NEON on arm64 (kernels_neon.cpp).
void colorsNeon(const ColorPlanes& planes, int count, std::uint32_t* out);

// The depth test and stores of a span whose comparison is one of LESS to GREATEREQUAL.
void depthTestedSpanPortable(const OutputState& out, const Span& span);

}  // namespace sw
