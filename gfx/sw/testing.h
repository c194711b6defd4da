// Seams for tests and benchmarks only: what they read or choose inside the software
// device that the Direct3D 9 interfaces do not expose. The product never calls these.
#pragma once

#include <algorithm>
#include <cstddef>

#include "gfx/d3d9.h"
#include "gfx/sw/device.h"
#include "gfx/sw/pipeline.h"

namespace sw {

struct DeviceProbe {
    // The back and depth buffers as the stages see them: the subset has no surface
    // interface, so tests read depth here. The caller may write through it, so the
    // next whole Clear fills both entirely.
    static RenderTarget target(IDirect3DDevice9* device) {
        Device* d = static_cast<Device*>(device);
        d->color_.invalidate();
        d->depth_.invalidate();
        return {d->color_.pixels(), d->depth_.pixels(), d->width_, d->height_};
    }
    // Whether clears and draws share rows among the device's threads just now.
    static bool sharesRows(IDirect3DDevice9* device) {
        return static_cast<Device*>(device)->sharedRows() != nullptr;
    }
};

// Fill a whole target outside any device, as a device's Clear stores the values.
inline void clearColor(const RenderTarget& target, D3DCOLOR color) {
    if (!target.color || target.width <= 0 || target.height <= 0) return;
    std::fill_n(target.color, std::size_t(target.width) * target.height, storedColor(color));
}
inline void clearDepth(const RenderTarget& target, float z) {
    if (!target.depth || target.width <= 0 || target.height <= 0) return;
    std::fill_n(target.depth, std::size_t(target.width) * target.height, toD16(z));
}

// Devices created from now on draw with at most `threads` threads, the caller's
// included (1 to kRowThreads), as a machine with fewer processors would: for timing one
// thread's work.
void limitRowThreads(int threads);

// The kernels span shading and the depth test run with: the portable ones or a SIMD
// width. All give the same bits; the widest the processor has is chosen at start-up.
// False when the processor lacks the kernels asked for.
bool selectSpanKernels(SpanKernels which);
void selectWidestSpanKernels();

}  // namespace sw
