// The colour kernel for arm64's NEON, two fragments a step. GCC vectorises the portable
// one too, but keeps the C++ NaN rules of its clamps with a compare and a select per
// bound; NEON's fmaxnm/fminnm give those results in one instruction each (NaN against a
// number yields the number), which more than halves the loop. The same double
// operations in the same order as every other kernel (shade.cpp), so the same bits.
#include "gfx/sw/kernels.h"

#ifdef __aarch64__
#include <arm_neon.h>

namespace sw {

namespace {

inline float64x2_t lanes2(float64x2_t start, float64x2_t step, float64x2_t index) {
    return vaddq_f64(start, vmulq_f64(index, step));
}

// toByte: NaN and below zero give 0, above 255 gives 255, then + 0.5 truncated.
inline uint32x2_t bytes2(float64x2_t v) {
    const float64x2_t clamped = vminnmq_f64(vmaxnmq_f64(v, vdupq_n_f64(0.0)), vdupq_n_f64(255.0));
    return vmovn_u64(vreinterpretq_u64_s64(vcvtq_s64_f64(vaddq_f64(clamped, vdupq_n_f64(0.5)))));
}

}  // namespace

void colorsNeon(const ColorPlanes& p, int count, std::uint32_t* out) {
    const float64x2_t inv = vdupq_n_f64(p.inv0), r = vdupq_n_f64(p.r0), g = vdupq_n_f64(p.g0),
                      b = vdupq_n_f64(p.b0);
    const float64x2_t dInv = vdupq_n_f64(p.dInv), dr = vdupq_n_f64(p.dr), dg = vdupq_n_f64(p.dg),
                      db = vdupq_n_f64(p.db);
    const float64x2_t floorInv = vdupq_n_f64(kMinInvW), one = vdupq_n_f64(1.0),
                      two = vdupq_n_f64(2.0);
    const uint32x2_t alpha = vdup_n_u32(0xFF000000u);
    float64x2_t index = {0.0, 1.0};
    for (int i = 0; i < count; i += 2) {
        // fmax keeps a NaN 1/w, as std::max(v, floor) does. A lane past the span computes
        // a value nobody stores (FP exceptions are masked).
        const float64x2_t w = vdivq_f64(one, vmaxq_f64(lanes2(inv, dInv, index), floorInv));
        const uint32x2_t rb = bytes2(vmulq_f64(lanes2(r, dr, index), w));
        const uint32x2_t gb = bytes2(vmulq_f64(lanes2(g, dg, index), w));
        const uint32x2_t bb = bytes2(vmulq_f64(lanes2(b, db, index), w));
        const uint32x2_t rgb =
            vorr_u32(vorr_u32(alpha, vshl_n_u32(rb, 16)), vorr_u32(vshl_n_u32(gb, 8), bb));
        if (count - i >= 2) {
            vst1_u32(out + i, rgb);
        } else {
            vst1_lane_u32(out + i, rgb, 0);
        }
        index = vaddq_f64(index, two);
    }
}

}  // namespace sw
#endif
