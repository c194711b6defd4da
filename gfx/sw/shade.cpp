// Span shading: the depths and perspective-correct Gouraud colours of a run of fragments,
// several at a time in SIMD lanes (SSE2, the x86-64 baseline; AVX2 and AVX-512 when the
// processor has them, checked at run time; in WebAssembly the SSE2 kernels run on 128-bit
// SIMD through the compiler's SSE headers and the wider ones are left out). Other targets
// have the portable kernels only (kernels_portable.cpp), which x86 keeps for the tests.
// On x86 the colours are shaded in float first (kernels_float.cpp); the double kernels
// here take the spans its bound does not cover. Called by raster_tri.cpp; no coverage or
// depth test.
#ifdef __SSE2__
#include <immintrin.h>
#endif
#ifdef __wasm_simd128__
#include <wasm_simd128.h>
#endif

#include <algorithm>

#include "gfx/sw/kernels.h"
#include "gfx/sw/stages.h"

namespace sw {

// Every lane computes the same double operations, in the same order, as the scalar rule
// in the tails below: fragment i takes start + i · step with i exact as a double, 1/w
// is divided, and each channel is rounded by toByte. No lane fuses a multiply into an
// add (no kernel enables FMA, and the library is built with -ffp-contract=off), so
// every fragment gets the bits one fragment at a time would.

namespace {

ColorPlanes colorPlanes(const TriangleSetup& s, double x, double y) {
    return {s.invW.eval(x, y), s.rw.eval(x, y), s.gw.eval(x, y), s.bw.eval(x, y),
            s.invW.dx,         s.rw.dx,         s.gw.dx,         s.bw.dx};
}

#ifdef __SSE2__
// Fragments [from, count) one at a time.
void depthTail(double z0, double dz, int from, int count, std::uint16_t* out) {
    for (int i = from; i < count; ++i) out[i] = depthToD16(z0 + i * dz);
}

// ---- SSE2: two fragments a step ----

inline __m128d lanes2(__m128d start, __m128d step, __m128d index) {
    return _mm_add_pd(start, _mm_mul_pd(index, step));
}

// toByte in the two low 32-bit lanes. max(v, 0) gives 0 for NaN (the second operand
// wins) as !(v > 0) does; min(…, 255) then caps; in range v + 0.5 truncates as before,
// and the clamped ends 0.5 and 255.5 truncate to 0 and 255.
inline __m128i bytes2(__m128d v) {
    const __m128d clamped = _mm_min_pd(_mm_max_pd(v, _mm_setzero_pd()), _mm_set1_pd(255.0));
    const __m128d rounded = _mm_add_pd(clamped, _mm_set1_pd(0.5));
#ifdef __wasm_simd128__
    // The SSE header converts one lane at a time; WebAssembly has the truncation itself,
    // and on these clamped values it gives the same integers.
    return wasm_i32x4_trunc_sat_f64x2_zero(rounded);
#else
    return _mm_cvttpd_epi32(rounded);
#endif
}

// depthToD16 in the two low 32-bit lanes: clamped to [0, 1] in double (NaN to 0), then
// narrowed to float, times 65535 plus 0.5 in float, truncated. The ends give 0.5 and
// 65535.5, which truncate to 0 and 0xFFFF as the early returns of the scalar rule do.
inline __m128i d16x2(__m128d z) {
    const __m128d clamped = _mm_min_pd(_mm_max_pd(z, _mm_setzero_pd()), _mm_set1_pd(1.0));
    const __m128 zf = _mm_cvtpd_ps(clamped);
    const __m128 scaled = _mm_add_ps(_mm_mul_ps(zf, _mm_set1_ps(65535.0f)), _mm_set1_ps(0.5f));
#ifdef __wasm_simd128__
    return wasm_i32x4_trunc_sat_f32x4(scaled);  // as in bytes2
#else
    return _mm_cvttps_epi32(scaled);
#endif
}

void depthsSse2(double z0, double dz, int count, std::uint16_t* out) {
    const __m128d start = _mm_set1_pd(z0), step = _mm_set1_pd(dz), two = _mm_set1_pd(2.0);
    __m128d index = _mm_set_pd(1.0, 0.0);
    int i = 0;
    for (; i + 2 <= count; i += 2) {
        const __m128i d = d16x2(lanes2(start, step, index));
        out[i] = static_cast<std::uint16_t>(_mm_cvtsi128_si32(d));
        out[i + 1] = static_cast<std::uint16_t>(_mm_cvtsi128_si32(_mm_srli_si128(d, 4)));
        index = _mm_add_pd(index, two);
    }
    depthTail(z0, dz, i, count, out);
}

void colorsSse2(const ColorPlanes& p, int count, std::uint32_t* out) {
    const __m128d inv = _mm_set1_pd(p.inv0), r = _mm_set1_pd(p.r0), g = _mm_set1_pd(p.g0),
                  b = _mm_set1_pd(p.b0);
    const __m128d dInv = _mm_set1_pd(p.dInv), dr = _mm_set1_pd(p.dr), dg = _mm_set1_pd(p.dg),
                  db = _mm_set1_pd(p.db);
    // max(floor, v) keeps a NaN v, as std::max(v, floor) does.
    const __m128d floorInv = _mm_set1_pd(kMinInvW), one = _mm_set1_pd(1.0), two = _mm_set1_pd(2.0);
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    __m128d index = _mm_set_pd(1.0, 0.0);
    int i = 0;
    for (; i + 2 <= count; i += 2) {
        const __m128d w = _mm_div_pd(one, _mm_max_pd(floorInv, lanes2(inv, dInv, index)));
        const __m128i rb = bytes2(_mm_mul_pd(lanes2(r, dr, index), w));
        const __m128i gb = bytes2(_mm_mul_pd(lanes2(g, dg, index), w));
        const __m128i bb = bytes2(_mm_mul_pd(lanes2(b, db, index), w));
        const __m128i rgb = _mm_or_si128(_mm_or_si128(alpha, _mm_slli_epi32(rb, 16)),
                                         _mm_or_si128(_mm_slli_epi32(gb, 8), bb));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), rgb);
        index = _mm_add_pd(index, two);
    }
    colorsExact(p, i, count, out);
}
#endif

#if defined(__x86_64__) || defined(__i386__)
#define SW_WIDE_KERNELS 1
#endif

#ifdef SW_WIDE_KERNELS
// ---- AVX2: four fragments a step, the same operations four lanes wide ----

#define SW_AVX2 __attribute__((target("avx2")))

SW_AVX2 inline __m256d lanes4(__m256d start, __m256d step, __m256d index) {
    return _mm256_add_pd(start, _mm256_mul_pd(index, step));
}

SW_AVX2 inline __m128i bytes4(__m256d v) {
    const __m256d clamped =
        _mm256_min_pd(_mm256_max_pd(v, _mm256_setzero_pd()), _mm256_set1_pd(255.0));
    return _mm256_cvttpd_epi32(_mm256_add_pd(clamped, _mm256_set1_pd(0.5)));
}

SW_AVX2 void depthsAvx2(double z0, double dz, int count, std::uint16_t* out) {
    const __m256d start = _mm256_set1_pd(z0), step = _mm256_set1_pd(dz);
    const __m256d four = _mm256_set1_pd(4.0);
    __m256d index = _mm256_set_pd(3.0, 2.0, 1.0, 0.0);
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m256d z = lanes4(start, step, index);
        const __m256d clamped =
            _mm256_min_pd(_mm256_max_pd(z, _mm256_setzero_pd()), _mm256_set1_pd(1.0));
        const __m128 zf = _mm256_cvtpd_ps(clamped);
        const __m128i d =
            _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(zf, _mm_set1_ps(65535.0f)), _mm_set1_ps(0.5f)));
        // Four 32-bit values of at most 0xFFFF: packed to 16 bits without saturating.
        const __m128i packed = _mm_packus_epi32(d, d);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), packed);
        index = _mm256_add_pd(index, four);
    }
    depthTail(z0, dz, i, count, out);
}

SW_AVX2 void colorsAvx2(const ColorPlanes& p, int count, std::uint32_t* out) {
    const __m256d inv = _mm256_set1_pd(p.inv0), r = _mm256_set1_pd(p.r0), g = _mm256_set1_pd(p.g0),
                  b = _mm256_set1_pd(p.b0);
    const __m256d dInv = _mm256_set1_pd(p.dInv), dr = _mm256_set1_pd(p.dr),
                  dg = _mm256_set1_pd(p.dg), db = _mm256_set1_pd(p.db);
    const __m256d floorInv = _mm256_set1_pd(kMinInvW), one = _mm256_set1_pd(1.0),
                  four = _mm256_set1_pd(4.0);
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    __m256d index = _mm256_set_pd(3.0, 2.0, 1.0, 0.0);
    // The last step stores only the lanes inside the span, as the AVX-512 kernel does,
    // instead of dividing one fragment at a time.
    const __m128i lane = _mm_set_epi32(3, 2, 1, 0);
    for (int i = 0; i < count; i += 4) {
        const __m256d w = _mm256_div_pd(one, _mm256_max_pd(floorInv, lanes4(inv, dInv, index)));
        const __m128i rb = bytes4(_mm256_mul_pd(lanes4(r, dr, index), w));
        const __m128i gb = bytes4(_mm256_mul_pd(lanes4(g, dg, index), w));
        const __m128i bb = bytes4(_mm256_mul_pd(lanes4(b, db, index), w));
        const __m128i rgb = _mm_or_si128(_mm_or_si128(alpha, _mm_slli_epi32(rb, 16)),
                                         _mm_or_si128(_mm_slli_epi32(gb, 8), bb));
        if (count - i >= 4) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), rgb);
        } else {
            const __m128i keep = _mm_cmplt_epi32(lane, _mm_set1_epi32(count - i));
            _mm_maskstore_epi32(reinterpret_cast<int*>(out + i), keep, rgb);
        }
        index = _mm256_add_pd(index, four);
    }
}

#undef SW_AVX2

// ---- AVX-512: eight fragments a step; the last step of a span stores under a mask
// instead of finishing one fragment at a time ----

#define SW_AVX512 __attribute__((target("avx512f,avx512vl")))
// GCC 12's own AVX-512 headers start some intrinsics from a deliberately undefined
// vector and then warn about it at -O3; nothing here reads an undefined lane.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

SW_AVX512 inline __m512d lanes8(__m512d start, __m512d step, __m512d index) {
    return _mm512_add_pd(start, _mm512_mul_pd(index, step));
}

SW_AVX512 inline __m256i bytes8(__m512d v) {
    const __m512d clamped =
        _mm512_min_pd(_mm512_max_pd(v, _mm512_setzero_pd()), _mm512_set1_pd(255.0));
    return _mm512_cvttpd_epi32(_mm512_add_pd(clamped, _mm512_set1_pd(0.5)));
}

SW_AVX512 void colorsAvx512(const ColorPlanes& p, int count, std::uint32_t* out) {
    const __m512d inv = _mm512_set1_pd(p.inv0), r = _mm512_set1_pd(p.r0), g = _mm512_set1_pd(p.g0),
                  b = _mm512_set1_pd(p.b0);
    const __m512d dInv = _mm512_set1_pd(p.dInv), dr = _mm512_set1_pd(p.dr),
                  dg = _mm512_set1_pd(p.dg), db = _mm512_set1_pd(p.db);
    const __m512d floorInv = _mm512_set1_pd(kMinInvW), one = _mm512_set1_pd(1.0),
                  eight = _mm512_set1_pd(8.0);
    const __m256i alpha = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    __m512d index = _mm512_set_pd(7.0, 6.0, 5.0, 4.0, 3.0, 2.0, 1.0, 0.0);
    for (int i = 0; i < count; i += 8) {
        // Lanes past the span compute values nobody stores (no traps: FP exceptions
        // are masked).
        const __m512d w = _mm512_div_pd(one, _mm512_max_pd(floorInv, lanes8(inv, dInv, index)));
        const __m256i rb = bytes8(_mm512_mul_pd(lanes8(r, dr, index), w));
        const __m256i gb = bytes8(_mm512_mul_pd(lanes8(g, dg, index), w));
        const __m256i bb = bytes8(_mm512_mul_pd(lanes8(b, db, index), w));
        const __m256i rgb = _mm256_or_si256(_mm256_or_si256(alpha, _mm256_slli_epi32(rb, 16)),
                                            _mm256_or_si256(_mm256_slli_epi32(gb, 8), bb));
        const int left = count - i;
        const __mmask8 keep = left >= 8 ? 0xFF : static_cast<__mmask8>((1u << left) - 1);
        _mm256_mask_storeu_epi32(out + i, keep, rgb);
        index = _mm512_add_pd(index, eight);
    }
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#undef SW_AVX512

bool has(SpanKernels which) {
    __builtin_cpu_init();
    switch (which) {
        case SpanKernels::portable:
        case SpanKernels::sse2: return true;
        case SpanKernels::avx2: return __builtin_cpu_supports("avx2");
        case SpanKernels::avx512:
            return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
        case SpanKernels::neon: return false;
    }
    return false;
}
#elif defined(__SSE2__)
// No wider kernels on this target: the 128-bit ones are the only width.
bool has(SpanKernels which) {
    return which == SpanKernels::sse2 || which == SpanKernels::portable;
}
#elif defined(__aarch64__)
bool has(SpanKernels which) {
    return which == SpanKernels::neon || which == SpanKernels::portable;
}
#else
bool has(SpanKernels which) {
    return which == SpanKernels::portable;
}
#endif

SpanKernels widest() {
    if (has(SpanKernels::avx512)) return SpanKernels::avx512;
    if (has(SpanKernels::avx2)) return SpanKernels::avx2;
    if (has(SpanKernels::sse2)) return SpanKernels::sse2;
    return has(SpanKernels::neon) ? SpanKernels::neon : SpanKernels::portable;
}

// All mutable state of this file: the kernels every device in the process shades with.
struct State {
    SpanKernels kernels = widest();
};
State state;

}  // namespace

bool selectSpanKernels(SpanKernels which) {
    if (!has(which)) return false;
    state.kernels = which;
    return true;
}

void selectWidestSpanKernels() {
    state.kernels = widest();
}

SpanKernels spanKernels() {
    return state.kernels;
}

void shadeDepths(const Plane& p, double x, double y, int count, std::uint16_t* out) {
    const double z0 = p.eval(x, y), dz = p.dx;
#ifdef SW_WIDE_KERNELS
    if (state.kernels == SpanKernels::avx2 || state.kernels == SpanKernels::avx512) {
        return depthsAvx2(z0, dz, count, out);
    }
#endif
#ifdef __SSE2__
    if (state.kernels == SpanKernels::sse2) return depthsSse2(z0, dz, count, out);
#endif
    depthsPortable(z0, dz, count, out);
}

void shadeColors(const TriangleSetup& s, double x, double y, int count, std::uint32_t* out) {
    const ColorPlanes p = colorPlanes(s, x, y);
#ifdef SW_WIDE_KERNELS
    if (state.kernels == SpanKernels::avx512) {
        if (!colorsFloatAvx512(p, count, out)) colorsAvx512(p, count, out);
        return;
    }
    if (state.kernels == SpanKernels::avx2) {
        if (!colorsFloatAvx2(p, count, out)) colorsAvx2(p, count, out);
        return;
    }
#endif
#ifdef __SSE2__
    if (state.kernels == SpanKernels::sse2) {
        if (!colorsFloatSse2(p, count, out)) colorsSse2(p, count, out);
        return;
    }
#endif
#ifdef __aarch64__
    if (state.kernels == SpanKernels::neon) return colorsNeon(p, count, out);
#endif
    colorsPortable(p, count, out);
}

}  // namespace sw
