// Output merger: the D16 depth test and write, and X8R8G8B8 colour stores.
// Last stage of a draw; spans arrive from raster_tri.cpp / raster_line.cpp already
// inside the target. It does no coverage or interpolation of its own.
#ifdef __SSE2__
#include <immintrin.h>
#endif

#include <algorithm>
#include <cstddef>

#include "gfx/sw/kernels.h"
#include "gfx/sw/stages.h"

namespace sw {

namespace {

using Stores = void (*)(const OutputState&, const Span&);

#ifdef __SSE2__

// Each comparison as a functor with a scalar form, for single fragments, and an SSE2
// form giving a lane mask for eight: D16 values are unsigned, so both sides are biased
// by 0x8000 to use the signed 16-bit compares.
inline __m128i less8(__m128i a, __m128i b) {
    const __m128i bias = _mm_set1_epi16(static_cast<short>(0x8000));
    return _mm_cmplt_epi16(_mm_xor_si128(a, bias), _mm_xor_si128(b, bias));
}
inline __m128i not8(__m128i m) {
    return _mm_xor_si128(m, _mm_set1_epi16(-1));
}

#if defined(__x86_64__) || defined(__i386__)
// The same comparisons sixteen lanes wide, where the processor has AVX2.
#define SW_WIDE_TEST 1
#define SW_AVX2 __attribute__((target("avx2")))
SW_AVX2 inline __m256i less16(__m256i a, __m256i b) {
    const __m256i bias = _mm256_set1_epi16(static_cast<short>(0x8000));
    return _mm256_cmpgt_epi16(_mm256_xor_si256(b, bias), _mm256_xor_si256(a, bias));
}
SW_AVX2 inline __m256i not16(__m256i m) {
    return _mm256_xor_si256(m, _mm256_set1_epi16(-1));
}
#define SW_WIDE_PASS(expression)                             \
    SW_AVX2 __m256i operator()(__m256i z, __m256i d) const { \
        return expression;                                   \
    }
#else
#define SW_WIDE_PASS(expression)
#endif

struct Less {
    bool operator()(std::uint16_t z, std::uint16_t d) const { return z < d; }
    __m128i operator()(__m128i z, __m128i d) const { return less8(z, d); }
    SW_WIDE_PASS(less16(z, d))
};
struct LessEqual {
    bool operator()(std::uint16_t z, std::uint16_t d) const { return z <= d; }
    __m128i operator()(__m128i z, __m128i d) const { return not8(less8(d, z)); }
    SW_WIDE_PASS(not16(less16(d, z)))
};
struct Greater {
    bool operator()(std::uint16_t z, std::uint16_t d) const { return z > d; }
    __m128i operator()(__m128i z, __m128i d) const { return less8(d, z); }
    SW_WIDE_PASS(less16(d, z))
};
struct GreaterEqual {
    bool operator()(std::uint16_t z, std::uint16_t d) const { return z >= d; }
    __m128i operator()(__m128i z, __m128i d) const { return not8(less8(z, d)); }
    SW_WIDE_PASS(not16(less16(z, d)))
};
struct Equal {
    bool operator()(std::uint16_t z, std::uint16_t d) const { return z == d; }
    __m128i operator()(__m128i z, __m128i d) const { return _mm_cmpeq_epi16(z, d); }
    SW_WIDE_PASS(_mm256_cmpeq_epi16(z, d))
};
struct NotEqual {
    bool operator()(std::uint16_t z, std::uint16_t d) const { return z != d; }
    __m128i operator()(__m128i z, __m128i d) const { return not8(_mm_cmpeq_epi16(z, d)); }
    SW_WIDE_PASS(not16(_mm256_cmpeq_epi16(z, d)))
};
#undef SW_WIDE_PASS

inline __m128i select(__m128i mask, __m128i yes, __m128i no) {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// One loop per comparison so the test is not re-dispatched for every fragment. Eight
// fragments a step: the stored values are read, the passing lanes replaced, and the
// whole group written back, which leaves failing fragments' values as they were.
template <class Pass>
void depthTestedSse2(const OutputState& out, const Span& s, Pass pass) {
    const std::size_t row = static_cast<std::size_t>(s.y) * out.target.width + s.x;
    std::uint32_t* color = out.target.color + row;
    std::uint16_t* depth = out.target.depth + row;
    const __m128i constZ = _mm_set1_epi16(static_cast<short>(s.depth));
    const __m128i constColor = _mm_set1_epi32(static_cast<int>(s.color));
    int i = 0;
    for (; i + 8 <= s.count; i += 8) {
        const __m128i z =
            s.depths ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.depths + i)) : constZ;
        __m128i* d = reinterpret_cast<__m128i*>(depth + i);
        const __m128i stored = _mm_loadu_si128(d);
        const __m128i passed = pass(z, stored);
        const int bits = _mm_movemask_epi8(passed);
        if (bits == 0) continue;
        if (out.writeDepth) _mm_storeu_si128(d, select(passed, z, stored));
        __m128i* c = reinterpret_cast<__m128i*>(color + i);
        __m128i lo = constColor, hi = constColor;
        if (s.colors) {
            lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.colors + i));
            hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.colors + i + 4));
        }
        if (bits != 0xFFFF) {  // widen the 16-bit lane mask to the colours' 32-bit lanes
            lo = select(_mm_unpacklo_epi16(passed, passed), lo, _mm_loadu_si128(c));
            hi = select(_mm_unpackhi_epi16(passed, passed), hi, _mm_loadu_si128(c + 1));
        }
        _mm_storeu_si128(c, lo);
        _mm_storeu_si128(c + 1, hi);
    }
    for (; i < s.count; ++i) {
        const std::uint16_t z = s.depths ? s.depths[i] : s.depth;
        if (!pass(z, depth[i])) continue;  // fragment depth against the stored one
        color[i] = s.colors ? s.colors[i] : s.color;
        if (out.writeDepth) depth[i] = z;
    }
}

#ifdef SW_WIDE_TEST
// Sixteen fragments a step, as depthTestedSse2 does eight; a span shorter than sixteen
// goes to it.
template <class Pass>
SW_AVX2 void depthTestedAvx2(const OutputState& out, const Span& s, Pass pass) {
    if (s.count < 16) return depthTestedSse2(out, s, pass);
    const std::size_t row = static_cast<std::size_t>(s.y) * out.target.width + s.x;
    std::uint32_t* color = out.target.color + row;
    std::uint16_t* depth = out.target.depth + row;
    const __m256i constZ = _mm256_set1_epi16(static_cast<short>(s.depth));
    const __m256i constColor = _mm256_set1_epi32(static_cast<int>(s.color));
    for (int i = 0; i < s.count; i += 16) {
        // The last step ends at the span's end, over fragments the step before did: a
        // fragment tested again against what it left decides as before (EQUAL, LESSEQUAL
        // and GREATEREQUAL pass and store the same values again, the others fail and
        // keep them), so no scalar tail is needed.
        if (i + 16 > s.count) i = s.count - 16;
        const __m256i z =
            s.depths ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s.depths + i)) : constZ;
        __m256i* d = reinterpret_cast<__m256i*>(depth + i);
        const __m256i stored = _mm256_loadu_si256(d);
        const __m256i passed = pass(z, stored);
        const int bits = _mm256_movemask_epi8(passed);
        if (bits == 0) continue;
        if (out.writeDepth) _mm256_storeu_si256(d, _mm256_blendv_epi8(stored, z, passed));
        __m256i* c = reinterpret_cast<__m256i*>(color + i);
        __m256i lo = constColor, hi = constColor;
        if (s.colors) {
            lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s.colors + i));
            hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s.colors + i + 8));
        }
        if (bits != -1) {  // the 16-bit lane mask sign-extended to the colours' 32-bit lanes
            const __m256i maskLo = _mm256_cvtepi16_epi32(_mm256_castsi256_si128(passed));
            const __m256i maskHi = _mm256_cvtepi16_epi32(_mm256_extracti128_si256(passed, 1));
            lo = _mm256_blendv_epi8(_mm256_loadu_si256(c), lo, maskLo);
            hi = _mm256_blendv_epi8(_mm256_loadu_si256(c + 1), hi, maskHi);
        }
        _mm256_storeu_si256(c, lo);
        _mm256_storeu_si256(c + 1, hi);
    }
}
#undef SW_AVX2
#endif

// The depth test of a span for one comparison, sixteen fragments a step where the
// processor has AVX2, else eight.
template <class Pass>
Stores depthTestedSpan() {
#ifdef SW_WIDE_TEST
    if (spanKernels() == SpanKernels::avx2 || spanKernels() == SpanKernels::avx512) {
        return [](const OutputState& out, const Span& s) { depthTestedAvx2(out, s, Pass{}); };
    }
#endif
    return [](const OutputState& out, const Span& s) { depthTestedSse2(out, s, Pass{}); };
}
#endif

// Every fragment passes: stored without reading what is there.
void storeAll(const OutputState& out, const Span& s) {
    const std::size_t row = static_cast<std::size_t>(s.y) * out.target.width + s.x;
    if (s.colors) {
        std::copy_n(s.colors, s.count, out.target.color + row);
    } else {
        std::fill_n(out.target.color + row, s.count, s.color);
    }
    if (!out.writeDepth) return;
    if (s.depths) {
        std::copy_n(s.depths, s.count, out.target.depth + row);
    } else {
        std::fill_n(out.target.depth + row, s.count, s.depth);
    }
}

void storeNone(const OutputState&, const Span&) {}

Stores storesFor(const OutputState& out) {
    if (!out.testDepth) return storeAll;  // writeDepth is false then
    switch (out.zFunc) {
        case D3DCMP_NEVER: return storeNone;  // no fragment passes, nothing is written
        case D3DCMP_LESS:
        case D3DCMP_EQUAL:
        case D3DCMP_LESSEQUAL:
        case D3DCMP_GREATER:
        case D3DCMP_NOTEQUAL:
        case D3DCMP_GREATEREQUAL: break;
        // Ours: a value outside D3DCMPFUNC (the device refuses those) passes, as ALWAYS.
        case D3DCMP_ALWAYS:
        default: return storeAll;
    }
#ifdef __SSE2__
    if (spanKernels() != SpanKernels::portable) {
        switch (out.zFunc) {
            case D3DCMP_LESS: return depthTestedSpan<Less>();
            case D3DCMP_EQUAL: return depthTestedSpan<Equal>();
            case D3DCMP_LESSEQUAL: return depthTestedSpan<LessEqual>();
            case D3DCMP_GREATER: return depthTestedSpan<Greater>();
            case D3DCMP_NOTEQUAL: return depthTestedSpan<NotEqual>();
            default: return depthTestedSpan<GreaterEqual>();
        }
    }
#endif
    return depthTestedSpanPortable;
}

}  // namespace

OutputState outputStateFor(const DrawState& state, const RenderTarget& target) {
    OutputState out;
    out.target = target;
    // ZENABLE FALSE neither tests nor writes; without a depth buffer there is nothing to
    // test. D3DZB_USEW is taken as TRUE (ours: we keep no w-buffer).
    out.testDepth = target.depth != nullptr && state.zEnable != D3DZB_FALSE;
    out.writeDepth = out.testDepth && state.zWriteEnable != FALSE;
    out.zFunc = state.zFunc;
    out.stores = storesFor(out);
    return out;
}

void writeSpan(const OutputState& out, const Span& s) {
    // Noted whether or not a fragment passes: the bound only has to hold every write.
    // The rows were noted when the primitive was set up.
    if (out.target.colorWritten) {
        out.target.colorWritten->noteColumns(s.y, s.x, s.x + s.count - 1);
    }
    if (out.writeDepth && out.target.depthWritten) {
        out.target.depthWritten->noteColumns(s.y, s.x, s.x + s.count - 1);
    }
    out.stores(out, s);
}

}  // namespace sw
