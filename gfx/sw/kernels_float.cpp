// The colour kernels that shade in float, twice the lanes of the double ones, and still
// store the exact rule's bits (shade.cpp): a float colour lies within a bound of the
// double one, and a fragment whose float colour lies nearer than that to a rounding
// boundary is shaded by the exact rule instead. SSE2 (also WebAssembly's 128-bit SIMD,
// through the compiler's SSE headers) and AVX2.
#ifdef __SSE2__
#include <immintrin.h>
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
// The span is taken only when every plane is finite and at most 2^100 in magnitude and
// n <= 2^20, so no product exceeds 2^120 and nothing overflows. Then
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
// keep the fragment only if the float difference |c' − n| < T, T = 0.5 − E − 2^-40
// rounded down to a float. Rounding is monotone and T is a float, so the real
// |c' − n| < T too, and |c − n| < 0.5 − 2^-40. For such c, toByte gives n clamped to
// [0, 255]: below zero or above 255 the clamps agree with n's; in between c + 0.5 lies
// in (n + 2^-40, n + 1 − 2^-40), where doubles are at most 2^-45 apart, so its rounding
// stays in [n, n + 1) and truncates to n. Saturating packs clamp n as toByte does. E
// above 0.25 (a span so steep in perspective that the check would reject most
// fragments anyway) leaves the span to the exact rule. So does a NaN or an infinity in
// any plane: every gate below is written to fail for those.
float trustedDistance(const ColorPlanes& p, int count) {
    if (count < 1 || count > (1 << 20)) return 0;
    for (const double v : {p.inv0, p.r0, p.g0, p.b0, p.dInv, p.dr, p.dg, p.db}) {
        if (!(std::abs(v) <= 0x1p100)) return 0;
    }
    const double last = count - 1;
    const auto most = [last](double start, double step) {
        return std::abs(start) + last * std::abs(step);
    };
    const double bMax = most(p.inv0, p.dInv);
    const double aMax = std::max({most(p.r0, p.dr), most(p.g0, p.dg), most(p.b0, p.db)});
    const double dLow = std::min(p.inv0, p.inv0 + last * p.dInv) - 0x1p-40 * bMax;
    if (!(dLow >= 0x1p-60)) return 0;
    const double beta = bMax / dLow;
    if (!(beta <= 0x1p16)) return 0;
    const double bound = 8.0 * 0x1p-24 * (aMax / dLow) * (1.0 + beta) + 0x1p-60;
    if (!(bound <= 0.25)) return 0;
    return std::nextafter(static_cast<float>(0.5 - bound - 0x1p-40), 0.0f);
}

#ifdef __SSE2__
namespace {

inline __m128 lanes4(__m128 start, __m128 step, __m128 index) {
    return _mm_add_ps(start, _mm_mul_ps(index, step));
}

// The whole number n near c, and the worst |c − n| of the channels so far in `worst`.
// How c is rounded only decides how often the exact rule runs, so WebAssembly's own
// conversion serves as well as the processor's round-to-nearest.
inline __m128i whole4(__m128 c, __m128& worst) {
    const __m128i n = _mm_cvtps_epi32(c);
    const __m128 off = _mm_andnot_ps(_mm_set1_ps(-0.0f), _mm_sub_ps(c, _mm_cvtepi32_ps(n)));
    worst = _mm_max_ps(worst, off);
    return n;
}

// Four X8R8G8B8 pixels from 32-bit channels, each saturated to [0, 255] by the packs:
// (B, G) and (R, 255) to 16 bits, interleaved to B G R A order, then to bytes.
inline __m128i pixels4(__m128i r, __m128i g, __m128i b) {
    const __m128i bg = _mm_packs_epi32(b, g), ra = _mm_packs_epi32(r, _mm_set1_epi32(255));
    const __m128i br = _mm_unpacklo_epi16(bg, ra), ga = _mm_unpackhi_epi16(bg, ra);
    return _mm_packus_epi16(_mm_unpacklo_epi16(br, ga), _mm_unpackhi_epi16(br, ga));
}

}  // namespace

bool colorsFloatSse2(const ColorPlanes& p, int count, std::uint32_t* out) {
    const float trusted = trustedDistance(p, count);
    if (trusted == 0) return false;
    const auto f = [](double v) { return _mm_set1_ps(static_cast<float>(v)); };
    const __m128 inv = f(p.inv0), r = f(p.r0), g = f(p.g0), b = f(p.b0);
    const __m128 dInv = f(p.dInv), dr = f(p.dr), dg = f(p.dg), db = f(p.db);
    const __m128 one = _mm_set1_ps(1.0f), four = _mm_set1_ps(4.0f), limit = _mm_set1_ps(trusted);
    __m128 index = _mm_set_ps(3.0f, 2.0f, 1.0f, 0.0f);
    int i = 0;
    for (; i + 4 <= count; i += 4, index = _mm_add_ps(index, four)) {
        const __m128 w = _mm_div_ps(one, lanes4(inv, dInv, index));
        __m128 worst = _mm_setzero_ps();
        const __m128i rn = whole4(_mm_mul_ps(lanes4(r, dr, index), w), worst);
        const __m128i gn = whole4(_mm_mul_ps(lanes4(g, dg, index), w), worst);
        const __m128i bn = whole4(_mm_mul_ps(lanes4(b, db, index), w), worst);
        if (_mm_movemask_ps(_mm_cmplt_ps(worst, limit)) != 0xF) {
            colorsExact(p, i, i + 4, out);
            continue;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), pixels4(rn, gn, bn));
    }
    colorsExact(p, i, count, out);
    return true;
}
#endif

#if defined(__x86_64__) || defined(__i386__)
// ---- AVX2: eight fragments a step, the same operations eight lanes wide ----

#define SW_AVX2 __attribute__((target("avx2")))

namespace {

SW_AVX2 inline __m256 splat8(double v) {
    return _mm256_set1_ps(static_cast<float>(v));
}

SW_AVX2 inline __m256 lanes8(__m256 start, __m256 step, __m256 index) {
    return _mm256_add_ps(start, _mm256_mul_ps(index, step));
}

SW_AVX2 inline __m256i whole8(__m256 c, __m256& worst) {
    const __m256i n = _mm256_cvtps_epi32(c);
    const __m256 off =
        _mm256_andnot_ps(_mm256_set1_ps(-0.0f), _mm256_sub_ps(c, _mm256_cvtepi32_ps(n)));
    worst = _mm256_max_ps(worst, off);
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

}  // namespace

SW_AVX2 bool colorsFloatAvx2(const ColorPlanes& p, int count, std::uint32_t* out) {
    const float trusted = trustedDistance(p, count);
    if (trusted == 0) return false;
    const __m256 inv = splat8(p.inv0), r = splat8(p.r0), g = splat8(p.g0), b = splat8(p.b0);
    const __m256 dInv = splat8(p.dInv), dr = splat8(p.dr), dg = splat8(p.dg), db = splat8(p.db);
    const __m256 one = _mm256_set1_ps(1.0f), eight = _mm256_set1_ps(8.0f),
                 limit = _mm256_set1_ps(trusted);
    __m256 index = _mm256_set_ps(7.0f, 6.0f, 5.0f, 4.0f, 3.0f, 2.0f, 1.0f, 0.0f);
    const __m256i lane = _mm256_set_epi32(7, 6, 5, 4, 3, 2, 1, 0);
    for (int i = 0; i < count; i += 8, index = _mm256_add_ps(index, eight)) {
        // Lanes past the span compute values nobody stores or checks (no traps: FP
        // exceptions are masked).
        const __m256 w = _mm256_div_ps(one, lanes8(inv, dInv, index));
        __m256 worst = _mm256_setzero_ps();
        const __m256i rn = whole8(_mm256_mul_ps(lanes8(r, dr, index), w), worst);
        const __m256i gn = whole8(_mm256_mul_ps(lanes8(g, dg, index), w), worst);
        const __m256i bn = whole8(_mm256_mul_ps(lanes8(b, db, index), w), worst);
        const int left = std::min(count - i, 8), inside = (1 << left) - 1;
        const int trustedLanes = _mm256_movemask_ps(_mm256_cmp_ps(worst, limit, _CMP_LT_OQ));
        if ((trustedLanes & inside) != inside) {
            colorsExact(p, i, i + left, out);
        } else if (left == 8) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), pixels8(rn, gn, bn));
        } else {
            const __m256i keep = _mm256_cmpgt_epi32(_mm256_set1_epi32(left), lane);
            _mm256_maskstore_epi32(reinterpret_cast<int*>(out + i), keep, pixels8(rn, gn, bn));
        }
    }
    return true;
}

#undef SW_AVX2
#endif

}  // namespace sw
