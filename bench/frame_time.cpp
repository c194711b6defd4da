// The start-camera frame's time on one thread, as one line: the same source built
// natively and for WebAssembly (run in node), so bench/web_ratio.py can compare the two
// builds within one run. The viewer's own drawFrame on the headless back end, unpaced:
// 60 warm-up frames, then `rounds` rounds of 720 frames (two whole turns); the median
// round is reported. A second argument "sse2" times the 128-bit kernels natively, the
// width WebAssembly has; "portable", the kernels targets without x86 ones draw with.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/session.h"
#include "gfx/sw/testing.h"
#include "scene/scene.h"

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    sw::limitRowThreads(1);  // WebAssembly here has one thread: so has the native side
    const std::string kernels = argc > 2 ? argv[2] : "";
    if (kernels == "sse2" && !sw::selectSpanKernels(sw::SpanKernels::sse2)) {
        std::fprintf(stderr, "frame-time: no SSE2 kernels here\n");
        return 1;
    }
    if (kernels == "portable") sw::selectSpanKernels(sw::SpanKernels::portable);
    std::string why;
    if (!bench::openScene(bench::kStartCamera, D3DCULL_CCW, &why)) {
        std::fprintf(stderr, "frame-time: %s\n", why.c_str());
        return 1;
    }
    for (int i = 0; i < 60; ++i) drawFrame();
    constexpr int kFrames = 720;
    std::vector<double> msPerFrame;
    for (int round = 0; round < rounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kFrames; ++i) drawFrame();
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        msPerFrame.push_back(took.count() / kFrames);
    }
    bench::closeScene();
    std::sort(msPerFrame.begin(), msPerFrame.end());
    std::printf("frame_ms %.4f min %.4f max %.4f\n", msPerFrame[msPerFrame.size() / 2],
                msPerFrame.front(), msPerFrame.back());
    return 0;
}
