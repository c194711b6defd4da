// Output merger: the D16 depth test and write, X8R8G8B8 colour stores, and the clears.
// Last stage of a draw; spans arrive from raster_tri.cpp / raster_line.cpp already
// inside the target. It does no coverage or interpolation of its own.
#include <algorithm>
#include <cstddef>
#include <functional>

#include "gfx/sw/stages.h"

namespace sw {

namespace {

struct Never {
    bool operator()(std::uint16_t, std::uint16_t) const { return false; }
};
struct Always {
    bool operator()(std::uint16_t, std::uint16_t) const { return true; }
};

// One loop per comparison so the test is not re-dispatched for every fragment.
template <class Pass>
void depthTestedSpan(const OutputState& out, const Span& s, Pass pass) {
    const std::size_t row = static_cast<std::size_t>(s.y) * out.target.width + s.x;
    std::uint32_t* color = out.target.color + row;
    std::uint16_t* depth = out.target.depth + row;
    for (int i = 0; i < s.count; ++i) {
        const std::uint16_t z = s.depths ? s.depths[i] : s.depth;
        if (!pass(z, depth[i])) continue;  // fragment depth against the stored one
        color[i] = s.colors ? s.colors[i] : s.color;
        if (out.writeDepth) depth[i] = z;
    }
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
    return out;
}

void writeSpan(const OutputState& out, const Span& s) {
    // Noted whether or not a fragment passes: the bound only has to hold every write.
    if (out.target.colorWritten) out.target.colorWritten->note(s.y, s.x, s.x + s.count - 1);
    if (out.writeDepth && out.target.depthWritten) {
        out.target.depthWritten->note(s.y, s.x, s.x + s.count - 1);
    }
    if (!out.testDepth) {
        std::uint32_t* color = out.target.color + static_cast<std::size_t>(s.y) * out.target.width;
        if (s.colors) {
            std::copy_n(s.colors, s.count, color + s.x);
        } else {
            std::fill_n(color + s.x, s.count, s.color);
        }
        return;
    }
    switch (out.zFunc) {
        case D3DCMP_NEVER: return depthTestedSpan(out, s, Never{});
        case D3DCMP_LESS: return depthTestedSpan(out, s, std::less<>{});
        case D3DCMP_EQUAL: return depthTestedSpan(out, s, std::equal_to<>{});
        case D3DCMP_LESSEQUAL: return depthTestedSpan(out, s, std::less_equal<>{});
        case D3DCMP_GREATER: return depthTestedSpan(out, s, std::greater<>{});
        case D3DCMP_NOTEQUAL: return depthTestedSpan(out, s, std::not_equal_to<>{});
        case D3DCMP_GREATEREQUAL: return depthTestedSpan(out, s, std::greater_equal<>{});
        // Ours: a value outside D3DCMPFUNC (the device refuses those) passes.
        default: return depthTestedSpan(out, s, Always{});
    }
}

void clearColor(const RenderTarget& target, D3DCOLOR color) {
    if (!target.color || target.width <= 0 || target.height <= 0) return;
    const std::size_t n = static_cast<std::size_t>(target.width) * target.height;
    std::fill_n(target.color, n, color | 0xFF000000u);
}

void clearDepth(const RenderTarget& target, float z) {
    if (!target.depth || target.width <= 0 || target.height <= 0) return;
    const std::size_t n = static_cast<std::size_t>(target.width) * target.height;
    std::fill_n(target.depth, n, toD16(z));
}

}  // namespace sw
