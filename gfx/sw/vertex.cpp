// Draw entry and vertex stage: fetch, transform to clip space, primitive assembly.
// First stage of a draw; hands clip-space primitives to clip.cpp.
#include "gfx/sw/pipeline.h"

namespace sw {

void drawPrimitives(const DrawState&, const RenderTarget&, const DrawCall&, Scratch&) {}

}  // namespace sw
