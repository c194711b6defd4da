// The colour kernels that shade in float, twice the lanes of the double ones, and still
// store the exact rule's bits (shade.cpp): a float colour lies within a bound of the
// double one, and a fragment whose float colour lies nearer than that to a rounding
// boundary is shaded by the exact rule instead. SSE2 (also WebAssembly's 128-bit SIMD,
// through the compiler's SSE headers), AVX2 and AVX-512.
#ifdef __SSE2__
#include <immintrin.h>
#endif
#ifdef __wasm_simd128__
#include <wasm_simd128.h>
#endif

#include <algorithm>
#include <cmath>

#include "gfx/sw/kernels.h"

namespace sw {

// Why the bound holds. A span has n fragments, i = 0 .. n − 1; per channel the double
// planes c0, dc and inv0, dInv. Write N = c0 + i·dc, D = inv0 + i·dInv (real numbers),
// Q = N / D, A = |c0| + i·|dc|, B = |inv0| + i·|dInv|. The exact rule computes
// c = fl(fl(c0 + fl(i·dc)) · fl(1 / max(fl(inv0 + fl(i·dInv)), kMinInvW))) in double;
// its byte is toByte(c). The float kernels convert the eight planes to float and compute
// c' = fl(fl(c0' + fl(i·dc')) · fl(1 / fl(inv0' + fl(i·dInv')))) in float, i exact.
//
// Each float operation (and each conversion from double) gives x(1 + δ) + η with
// |δ| <= u = 2^-24 and |η| <= 2^-149, the latter only where the result is subnormal.
// The span is taken only when 2 <= n <= 2^20 and Amax, Bmax (A and B at i = n − 1) are
// at most 2^100: every plane and step is then finite and at most 2^100, so is every
// product i·dc, and nothing overflows. Then
//   |N' − N| <= u|c0| + (2u + u²)|i·dc| + u(1 + 3u)·A + 2^-128 <= 3.01·u·A + 2^-128,
// and the same for D with B. Let Dlow <= D over the span (D is affine in i, so its least
// value is at an end; the far end is computed in double, within 2^-51·B of the real
// one, and Dlow takes 2^-40·B off). With Dlow >= 2^-60, D' = D(1 + θ) where
// |θ| <= 3.01·u·B/D + 2^-68; with β = Bmax/Dlow, which is at least 1 (Bmax >= inv0 >=
// Dlow), and at most 2^16, |θ| <= 3.02·u·β <= 2^-6, so the
// divide sees a normal float in [2^-61, 2^121] and gives w' = (1 + δ)/D'. Then
//   c' − Q = (N' − N)/D' · (1 + δ)(1 + δ') + Q·((1 + δ)(1 + δ')/(1 + θ) − 1) + η
// and with α = Amax/Dlow >= |Q|:
//   |c' − Q| <= 3.08·u·α + u·α·(2.05 + 3.09·β) + 2^-66 <= 5.2·u·α·(1 + β) + 2^-66.
// The double value obeys the same bound with 2^-53 in place of u and a far smaller
// additive term (its conversions are exact; kMinInvW never acts, as D >= Dlow), so
//   |c' − c| <= 5.21·u·α·(1 + β) + 2^-65 <= E = 8·u·α·(1 + β) + 2^-60,
// where the 8 over 5.21 also covers the rounding of computing E itself in double.
// A fused multiply-add would only drop roundings, so the bound does not rest on
// -ffp-contract=off.
//
// The kernels then round c' to a whole number n (any n: the test below checks it) and
// keep the fragment only if the float difference |c' − n| < T, a float at most
// 0.5 − E − 2^-40. Rounding is monotone and T is a float, so the real
// |c' − n| < T too, and |c − n| < 0.5 − 2^-40. For such c, toByte gives n clamped to
// [0, 255]: below zero or above 255 the clamps agree with n's; in between c + 0.5 lies
// in (n + 2^-40, n + 1 − 2^-40), where doubles are at most 2^-45 apart, so its rounding
// stays in [n, n + 1) and truncates to n. Saturating packs clamp n as toByte does. E
// above 0.25 (a span so steep in perspective that the check would reject most
// fragments anyway) leaves the span to the exact rule. So does a NaN or an infinity in
// any plane: every gate below is written to fail for those.
// Only the x86 and WebAssembly kernels shade in float; other targets leave it unused.
#ifdef __SSE2__
namespace {

float trustedDistance(const ColorPlanes& p, int count) {
    if (count < 2 || count > (1 << 20)) return 0;
    const double last = count - 1;
    const auto most = [last](double start, double step) {
        return std::abs(start) + last * std::abs(step);
    };
    const double bMax = most(p.inv0, p.dInv);
    const double ar = most(p.r0, p.dr), ag = most(p.g0, p.dg), ab = most(p.b0, p.db);
    // Each on its own: std::max would drop a NaN that is not first.
    if (!(ar <= 0x1p100 && ag <= 0x1p100 && ab <= 0x1p100 && bMax <= 0x1p100)) return 0;
    const double aMax = std::max({ar, ag, ab});
    const double dLow = std::min(p.inv0, p.inv0 + last * p.dInv) - 0x1p-40 * bMax;
    if (!(dLow >= 0x1p-60)) return 0;
    // One division a span: α and β through 1 / Dlow, two roundings more, which the
    // margin of 8 over 5.21 covers as it covers those of E.
    const double perLow = 1.0 / dLow;
    const double beta = bMax * perLow;
    if (!(beta <= 0x1p16)) return 0;
    const double bound = 8.0 * 0x1p-24 * (aMax * perLow) * (1.0 + beta) + 0x1p-60;
    if (!(bound <= 0.25)) return 0;
    // Rounding to a float moves a value in [0.25, 0.5] by at most 2^-26, so T stays
    // below 0.5 − E − 2^-40.
    return static_cast<float>(0.5 - bound - 0x1p-20);
}

}  // namespace
#endif

#ifdef __SSE2__
namespace {

inline __m128 lanes4(__m128 start, __m128 step, __m128 index) {
    return _mm_add_ps(start, _mm_mul_ps(index, step));
}

// The whole number n near c, and |c − n| in `off`.
// How c is rounded only decides how often the exact rule runs: the check is on n.
inline __m128i whole4(__m128 c, __m128& off) {
#ifdef __wasm_simd128__
    // The SSE header converts one lane at a time; WebAssembly rounds whole vectors and
    // converts them exactly (|c| < 2^20 in a span the bound covers).
    const __m128 near = (__m128)wasm_f32x4_nearest((v128_t)c);
    const __m128i n = (__m128i)wasm_i32x4_trunc_sat_f32x4((v128_t)near);
#else
    const __m128i n = _mm_cvtps_epi32(c);
    const __m128 near = _mm_cvtepi32_ps(n);
#endif
    off = _mm_andnot_ps(_mm_set1_ps(-0.0f), _mm_sub_ps(c, near));
    return n;
}

// Four X8R8G8B8 pixels from 32-bit channels, each saturated to [0, 255] by the packs:
// (B, G) and (R, 255) to 16 bits, interleaved to B G R A order, then to bytes.
inline __m128i pixels4(__m128i r, __m128i g, __m128i b) {
    const __m128i bg = _mm_packs_epi32(b, g), ra = _mm_packs_epi32(r, _mm_set1_epi32(255));
    const __m128i br = _mm_unpacklo_epi16(bg, ra), ga = _mm_unpackhi_epi16(bg, ra);
    return _mm_packus_epi16(_mm_unpacklo_epi16(br, ga), _mm_unpackhi_epi16(br, ga));
}

// One group of four fragments from `index` on: their pixels, and a bit for each lane
// whose three colours all lie farther than `limit` from a rounding boundary.
struct Planes4 {
    __m128 inv, r, g, b, dInv, dr, dg, db, limit;
};
inline int group4(const Planes4& q, __m128 index, __m128i& pixels) {
    const __m128 w = _mm_div_ps(_mm_set1_ps(1.0f), lanes4(q.inv, q.dInv, index));
    __m128 offR, offG, offB;
    const __m128i rn = whole4(_mm_mul_ps(lanes4(q.r, q.dr, index), w), offR);
    const __m128i gn = whole4(_mm_mul_ps(lanes4(q.g, q.dg, index), w), offG);
    const __m128i bn = whole4(_mm_mul_ps(lanes4(q.b, q.db, index), w), offB);
    const __m128 worst = _mm_max_ps(_mm_max_ps(offR, offG), offB);
    pixels = pixels4(rn, gn, bn);
    return _mm_movemask_ps(_mm_cmplt_ps(worst, q.limit));
}

}  // namespace

bool colorsFloatSse2(const ColorPlanes& p, int count, std::uint32_t* out) {
    const float trusted = trustedDistance(p, count);
    if (trusted == 0) return false;
    const auto f = [](double v) { return _mm_set1_ps(static_cast<float>(v)); };
    const Planes4 q = {f(p.inv0), f(p.r0),   f(p.g0),
                       f(p.b0),   f(p.dInv), f(p.dr),
                       f(p.dg),   f(p.db),   _mm_set1_ps(trusted)};
    __m128 index = _mm_set_ps(3.0f, 2.0f, 1.0f, 0.0f);
    int i = 0;
    for (; i + 4 <= count; i += 4, index = _mm_add_ps(index, _mm_set1_ps(4.0f))) {
        __m128i pixels;
        if (group4(q, index, pixels) == 0xF) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), pixels);
        } else {
            colorsExact(p, i, i + 4, out);
        }
    }
    colorsExact(p, i, count, out);
    return true;
}
#endif

#if defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__))
// ---- AVX2: eight fragments a step, the same operations eight lanes wide ----

#define SW_AVX2 __attribute__((target("avx2")))

namespace {

SW_AVX2 inline __m256 splat8(double v) {
    return _mm256_set1_ps(static_cast<float>(v));
}

SW_AVX2 inline __m256 lanes8(__m256 start, __m256 step, __m256 index) {
    return _mm256_add_ps(start, _mm256_mul_ps(index, step));
}

SW_AVX2 inline __m256i whole8(__m256 c, __m256& off) {
    const __m256i n = _mm256_cvtps_epi32(c);
    off = _mm256_andnot_ps(_mm256_set1_ps(-0.0f), _mm256_sub_ps(c, _mm256_cvtepi32_ps(n)));
    return n;
}

// As pixels4 in each 128-bit half, which is how the packs and unpacks work: pixels
// 0-3 and 4-7 come out in order.
SW_AVX2 inline __m256i pixels8(__m256i r, __m256i g, __m256i b) {
    const __m256i bg = _mm256_packs_epi32(b, g);
    const __m256i ra = _mm256_packs_epi32(r, _mm256_set1_epi32(255));
    const __m256i br = _mm256_unpacklo_epi16(bg, ra), ga = _mm256_unpackhi_epi16(bg, ra);
    return _mm256_packus_epi16(_mm256_unpacklo_epi16(br, ga), _mm256_unpackhi_epi16(br, ga));
}

struct Planes8 {
    __m256 inv, r, g, b, dInv, dr, dg, db, limit;
};
// As group4, eight lanes wide.
SW_AVX2 inline int group8(const Planes8& q, __m256 index, __m256i& pixels) {
    const __m256 w = _mm256_div_ps(_mm256_set1_ps(1.0f), lanes8(q.inv, q.dInv, index));
    __m256 offR, offG, offB;
    const __m256i rn = whole8(_mm256_mul_ps(lanes8(q.r, q.dr, index), w), offR);
    const __m256i gn = whole8(_mm256_mul_ps(lanes8(q.g, q.dg, index), w), offG);
    const __m256i bn = whole8(_mm256_mul_ps(lanes8(q.b, q.db, index), w), offB);
    const __m256 worst = _mm256_max_ps(_mm256_max_ps(offR, offG), offB);
    pixels = pixels8(rn, gn, bn);
    return _mm256_movemask_ps(_mm256_cmp_ps(worst, q.limit, _CMP_LT_OQ));
}

}  // namespace

SW_AVX2 bool colorsFloatAvx2(const ColorPlanes& p, int count, std::uint32_t* out) {
    const float trusted = trustedDistance(p, count);
    if (trusted == 0) return false;
    const Planes8 q = {splat8(p.inv0), splat8(p.r0),   splat8(p.g0),
                       splat8(p.b0),   splat8(p.dInv), splat8(p.dr),
                       splat8(p.dg),   splat8(p.db),   _mm256_set1_ps(trusted)};
    __m256 index = _mm256_set_ps(7.0f, 6.0f, 5.0f, 4.0f, 3.0f, 2.0f, 1.0f, 0.0f);
    int i = 0;
    __m256i pixels;
    for (; i + 8 <= count; i += 8, index = _mm256_add_ps(index, _mm256_set1_ps(8.0f))) {
        if (group8(q, index, pixels) == 0xFF) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), pixels);
        } else {
            colorsExact(p, i, i + 8, out);
        }
    }
    if (i == count) return true;
    // The last few under a mask. Lanes past the span compute values nobody stores or
    // checks (no traps: FP exceptions are masked).
    const int left = count - i, inside = (1 << left) - 1;
    if ((group8(q, index, pixels) & inside) != inside) {
        colorsExact(p, i, count, out);
        return true;
    }
    const __m256i keep =
        _mm256_cmpgt_epi32(_mm256_set1_epi32(left), _mm256_set_epi32(7, 6, 5, 4, 3, 2, 1, 0));
    _mm256_maskstore_epi32(reinterpret_cast<int*>(out + i), keep, pixels);
    return true;
}

#undef SW_AVX2

// ---- AVX-512: sixteen fragments a step; AVX512F alone (no byte or word packs: the
// channels are clamped to [0, 255] as the packs would saturate them, then shifted) ----

#define SW_AVX512 __attribute__((target("avx512f")))
// GCC 12's AVX-512 headers start some intrinsics from an undefined vector and then warn
// about it at -O3; nothing here reads an undefined lane.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace {

struct Planes16 {
    __m512 inv, r, g, b, dInv, dr, dg, db, limit;
};

SW_AVX512 inline __m512 lanes16(__m512 start, __m512 step, __m512 index) {
    return _mm512_add_ps(start, _mm512_mul_ps(index, step));
}

// The whole number near c, clamped to a byte, and |c − n| (of the unclamped n) in `off`.
SW_AVX512 inline __m512i byte16(__m512 c, __m512& off) {
    const __m512i n = _mm512_cvtps_epi32(c);
    off = _mm512_abs_ps(_mm512_sub_ps(c, _mm512_cvtepi32_ps(n)));
    return _mm512_min_epi32(_mm512_max_epi32(n, _mm512_setzero_si512()), _mm512_set1_epi32(255));
}

// As group8, sixteen lanes wide: a mask bit for each lane whose colours are trusted.
SW_AVX512 inline __mmask16 group16(const Planes16& q, __m512 index, __m512i& pixels) {
    const __m512 w = _mm512_div_ps(_mm512_set1_ps(1.0f), lanes16(q.inv, q.dInv, index));
    __m512 offR, offG, offB;
    const __m512i r = byte16(_mm512_mul_ps(lanes16(q.r, q.dr, index), w), offR);
    const __m512i g = byte16(_mm512_mul_ps(lanes16(q.g, q.dg, index), w), offG);
    const __m512i b = byte16(_mm512_mul_ps(lanes16(q.b, q.db, index), w), offB);
    const __m512 worst = _mm512_max_ps(_mm512_max_ps(offR, offG), offB);
    const __m512i rg = _mm512_or_si512(_mm512_slli_epi32(r, 16), _mm512_slli_epi32(g, 8));
    pixels =
        _mm512_or_si512(_mm512_or_si512(rg, b), _mm512_set1_epi32(static_cast<int>(0xFF000000u)));
    return _mm512_cmp_ps_mask(worst, q.limit, _CMP_LT_OQ);
}

SW_AVX512 inline __m512 splat16(double v) {
    return _mm512_set1_ps(static_cast<float>(v));
}

}  // namespace

SW_AVX512 bool colorsFloatAvx512(const ColorPlanes& p, int count, std::uint32_t* out) {
    const float trusted = trustedDistance(p, count);
    if (trusted == 0) return false;
    const Planes16 q = {splat16(p.inv0), splat16(p.r0),   splat16(p.g0),
                        splat16(p.b0),   splat16(p.dInv), splat16(p.dr),
                        splat16(p.dg),   splat16(p.db),   _mm512_set1_ps(trusted)};
    __m512 index = _mm512_set_ps(15.0f, 14.0f, 13.0f, 12.0f, 11.0f, 10.0f, 9.0f, 8.0f, 7.0f, 6.0f,
                                 5.0f, 4.0f, 3.0f, 2.0f, 1.0f, 0.0f);
    for (int i = 0; i < count; i += 16, index = _mm512_add_ps(index, _mm512_set1_ps(16.0f))) {
        // Lanes past the span compute values nobody stores or checks (no traps: FP
        // exceptions are masked).
        const int left = count - i;
        const __mmask16 inside = left >= 16 ? 0xFFFF : static_cast<__mmask16>((1u << left) - 1);
        __m512i pixels;
        if ((group16(q, index, pixels) & inside) == inside) {
            _mm512_mask_storeu_epi32(out + i, inside, pixels);
        } else {
            colorsExact(p, i, i + std::min(left, 16), out);
        }
    }
    return true;
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#undef SW_AVX512
#endif

}  // namespace sw
