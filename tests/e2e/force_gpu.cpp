// Linked into the test builds of the viewer only: takes Mesa's CPU OpenGL for a GPU so
// the GPU present runs under Xvfb (optionally failing from a given present on), and
// says at exit which path the window ended on, so the end-to-end tests can check it.
#include <cstdio>
#include <cstdlib>

#include "win/sdl/testing.h"

#ifndef VIEWER_GPU_FAIL_FROM
#define VIEWER_GPU_FAIL_FROM 0
#endif

namespace {

void sayPath() {
    const win::sdl::PresentPath path = win::sdl::lastWindowPath();
    if (path == win::sdl::PresentPath::none) return;  // no window: start-up failures stay one line
    std::fprintf(stderr, "present path: %s\n",
                 path == win::sdl::PresentPath::gpu ? "gpu" : "shared memory");
}

struct ForceGpu {
    ForceGpu() {
        win::sdl::setGpuTestLevers(
            {.acceptSoftware = true, .failFromPresent = VIEWER_GPU_FAIL_FROM});
        std::atexit(sayPath);
    }
};
const ForceGpu forceGpu;

}  // namespace
