// A frame that draws nothing, linked in place of the viewer's own with the same shell,
// device and window layer: what a paced window costs before any drawing, for
// viewer-present-cpu to set beside the viewer. viewer-idle presents no change at all;
// viewer-idle-pixel changes one pixel a frame, so every present hands the X server a
// rectangle (one band of rows, one column wide).
#include <chrono>
#include <cstdio>

#include "scene/globals.h"
#include "scene/scene.h"

namespace {

// Frames and seconds since the first, said on stderr at exit: no cube means no angle
// for viewer-present-cpu to read the frame rate from.
struct FrameCount {
    long frames = 0;
    std::chrono::steady_clock::time_point first;
    ~FrameCount() {
        if (frames < 2) return;
        const double s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - first).count();
        std::fprintf(stderr, "%ld frames in %.1f s: %.1f a second\n", frames, s,
                     static_cast<double>(frames - 1) / s);
    }
};
FrameCount count;

}  // namespace

void drawFrame() {
    if (count.frames++ == 0) count.first = std::chrono::steady_clock::now();
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
#ifdef IDLE_PIXEL
    // Lit every other frame: the frames between put it back to black, also a change.
    if (count.frames % 2 == 0) {
        const D3DRECT pixel = {0, 0, 1, 1};
        device->Clear(1, &pixel, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0);
    }
#endif
    device->BeginScene();
    device->EndScene();
    device->Present(nullptr, nullptr, nullptr, nullptr);
}
