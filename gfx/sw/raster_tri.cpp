// Triangle rasterization: the edge functions walked row by row over the set-up's clamped
// bounding box, stepped incrementally, producing one span of fragments per row.
// Between setup.cpp and output.cpp; depth testing and colour packing happen in output.
#include <emmintrin.h>

#include <algorithm>

#include "gfx/sw/stages.h"

namespace sw {

namespace {

// Every fragment below is computed with the same double operations, in the same order,
// as the scalar rule beside it (no fused multiply-add on the SSE2 baseline), so a lane
// of two gives the very bits one fragment at a time would.

// Fragment i of a span: start + i · step, i exact as a double.
inline __m128d lanesAt(__m128d start, __m128d step, __m128d index) {
    return _mm_add_pd(start, _mm_mul_pd(index, step));
}

// toByte of two doubles, in the two low 32-bit lanes: 0 unless v > 0 (NaN too), 255
// from 255 up, otherwise v + 0.5 truncated.
inline __m128i bytesOf(__m128d v) {
    const __m128d positive = _mm_cmpgt_pd(v, _mm_setzero_pd());
    const __m128d top = _mm_cmpge_pd(v, _mm_set1_pd(255.0));
    const __m128d rounded = _mm_add_pd(v, _mm_set1_pd(0.5));
    // In range the sum is below 255.5, so the truncation never meets its overflow value.
    const __m128d kept = _mm_and_pd(_mm_andnot_pd(top, positive), rounded);
    const __m128d value = _mm_or_pd(kept, _mm_and_pd(top, _mm_set1_pd(255.0)));
    return _mm_cvttpd_epi32(value);  // masked-off lanes are +0.0, which converts to 0
}

// depthToD16 of two doubles, in the two low 32-bit lanes.
inline __m128i d16Of(__m128d z) {
    const __m128d positive = _mm_cmpgt_pd(z, _mm_setzero_pd());
    const __m128d top = _mm_cmpge_pd(z, _mm_set1_pd(1.0));
    // Inside (0, 1): narrowed to float, then z · 65535 + 0.5 in float and truncated.
    const __m128 zf = _mm_cvtpd_ps(_mm_and_pd(z, _mm_andnot_pd(top, positive)));
    const __m128 scaled = _mm_add_ps(_mm_mul_ps(zf, _mm_set1_ps(65535.0f)), _mm_set1_ps(0.5f));
    const __m128i inside = _mm_cvttps_epi32(scaled);
    // Lane 0 of `top` sits in 32-bit lanes 0-1, lane 1 in 2-3: gather them to 0 and 1.
    const __m128i topLanes = _mm_shuffle_epi32(_mm_castpd_si128(top), _MM_SHUFFLE(3, 3, 2, 0));
    const __m128i ones = _mm_and_si128(topLanes, _mm_set1_epi32(0xFFFF));
    return _mm_or_si128(_mm_andnot_si128(topLanes, inside), ones);
}

void shadeDepths(const Plane& p, double x, double y, int count, std::uint16_t* out) {
    const double z0 = p.eval(x, y), dz = p.dx;
    const __m128d start = _mm_set1_pd(z0), step = _mm_set1_pd(dz);
    __m128d index = _mm_set_pd(1.0, 0.0);
    const __m128d two = _mm_set1_pd(2.0);
    int i = 0;
    for (; i + 2 <= count; i += 2) {
        const __m128i d = d16Of(lanesAt(start, step, index));
        out[i] = static_cast<std::uint16_t>(_mm_cvtsi128_si32(d));
        out[i + 1] = static_cast<std::uint16_t>(_mm_cvtsi128_si32(_mm_srli_si128(d, 4)));
        index = _mm_add_pd(index, two);
    }
    for (; i < count; ++i) out[i] = depthToD16(z0 + i * dz);
}

// Perspective-correct Gouraud: c/w and 1/w are affine on screen, c is their ratio.
// Each fragment is evaluated from the span start rather than by running sums, so no
// rounding is carried along the row.
void shadeColors(const TriangleSetup& s, double x, double y, int count, std::uint32_t* out) {
    const double inv0 = s.invW.eval(x, y), r0 = s.rw.eval(x, y), g0 = s.gw.eval(x, y),
                 b0 = s.bw.eval(x, y);
    const double dInv = s.invW.dx, dr = s.rw.dx, dg = s.gw.dx, db = s.bw.dx;
    const __m128d vInv = _mm_set1_pd(inv0), vR = _mm_set1_pd(r0), vG = _mm_set1_pd(g0),
                  vB = _mm_set1_pd(b0);
    const __m128d sInv = _mm_set1_pd(dInv), sR = _mm_set1_pd(dr), sG = _mm_set1_pd(dg),
                  sB = _mm_set1_pd(db);
    // Centres a hair outside the snapped triangle can extrapolate 1/w to zero or below;
    // those take the smallest positive 1/w instead of dividing by it. max(floor, v)
    // returns v when v is NaN, as std::max(v, floor) does.
    const __m128d floorInv = _mm_set1_pd(1e-300), one = _mm_set1_pd(1.0);
    const __m128d two = _mm_set1_pd(2.0);
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    __m128d index = _mm_set_pd(1.0, 0.0);
    int i = 0;
    for (; i + 2 <= count; i += 2) {
        const __m128d w = _mm_div_pd(one, _mm_max_pd(floorInv, lanesAt(vInv, sInv, index)));
        const __m128i r = bytesOf(_mm_mul_pd(lanesAt(vR, sR, index), w));
        const __m128i g = bytesOf(_mm_mul_pd(lanesAt(vG, sG, index), w));
        const __m128i b = bytesOf(_mm_mul_pd(lanesAt(vB, sB, index), w));
        const __m128i rgb = _mm_or_si128(_mm_or_si128(alpha, _mm_slli_epi32(r, 16)),
                                         _mm_or_si128(_mm_slli_epi32(g, 8), b));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), rgb);
        index = _mm_add_pd(index, two);
    }
    for (; i < count; ++i) {
        const double w = 1.0 / std::max(inv0 + i * dInv, 1e-300);
        out[i] = packColor((r0 + i * dr) * w, (g0 + i * dg) * w, (b0 + i * db) * w);
    }
}

// Depths and colours of the span's fragments, from the set-up's planes at each centre.
void shadeSpan(const TriangleSetup& s, Span& span, Scratch& scratch) {
    const double x = span.x, y = span.y;
    if (s.depth.dx == 0.0 && s.depth.dy == 0.0) {
        span.depth = depthToD16(s.depth.at);  // a constant plane needs no per-pixel work
    } else {
        shadeDepths(s.depth, x, y, span.count, scratch.spanDepth.data());
        span.depths = scratch.spanDepth.data();
    }
    if (s.flat) {
        span.color = s.flatColor;
        return;
    }
    shadeColors(s, x, y, span.count, scratch.spanColor.data());
    span.colors = scratch.spanColor.data();
}

}  // namespace

void rasterTriangle(const TriangleSetup& s, const OutputState& out, Scratch& scratch) {
    const std::size_t width = static_cast<std::size_t>(out.target.width);
    if (scratch.spanDepth.size() < width) scratch.spanDepth.resize(width);
    if (scratch.spanColor.size() < width) scratch.spanColor.resize(width);

    // Each edge's value at the start of the row, stepped down one row at a time.
    std::int64_t rowE[3];
    for (int i = 0; i < 3; ++i) rowE[i] = s.edge[i].b * s.minY + s.edge[i].c;
    for (int y = s.minY; y <= s.maxY; ++y) {
        // A centre is covered when a·x + rowE >= 0 on every edge; each edge bounds the
        // run from one side, exactly, in integers. A triangle is convex, so a row holds
        // at most one run.
        std::int64_t lo = s.minX, hi = s.maxX;
        for (int i = 0; i < 3; ++i) {
            const std::int64_t a = s.edge[i].a, e = rowE[i];
            rowE[i] += s.edge[i].b;
            if (a > 0) {
                lo = std::max(lo, ceilDiv(-e, a));
            } else if (a < 0) {
                hi = std::min(hi, floorDiv(e, -a));
            } else if (e < 0) {
                hi = lo - 1;
            }
        }
        if (lo > hi) continue;
        Span span;
        span.x = static_cast<int>(lo);
        span.y = y;
        span.count = static_cast<int>(hi - lo + 1);
        shadeSpan(s, span, scratch);
        writeSpan(out, span);
    }
}

}  // namespace sw
