// viewer-present-cpu: the CPU a real viewer and its X server spend at the display's pace,
// per client size. Starts its own Xvfb (screen 4000 × 2400), the viewer given on the
// command line, resizes the window to each size, waits 3 s, then reads utime + stime
// of both processes (/proc/PID/stat, all threads) over 10 s. Then the frame rate at that
// size: the spin's angle (one degree a frame, read by matching the 800 × 600 picture
// against the headless frames) before and after 3 s at the size, -1 for a viewer that
// draws no cube (viewer-idle, which says its rate on stderr, shown at the end).
//   viewer-present-cpu VIEWER [WIDTHxHEIGHT ...]   (default 800x600 1920x1080 3840x2160)
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/support/reference.h"
#include "tests/e2e/support/x_session.h"

namespace {

// utime + stime in clock ticks, or -1 when the process is gone.
long cpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');  // the name may hold spaces
    if (close == std::string::npos) return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    long utime = 0;
    long stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {  // fields 14 and 15 of stat(5)
        if (i == 14) utime = std::stol(field);
        if (i == 15) stime = std::stol(field);
    }
    return utime + stime;
}

void sleepSeconds(double s) {
    std::this_thread::sleep_for(std::chrono::duration<double>(s));
}

// Frames per second shown at width × height, from the angle at 800 × 600 before and
// after about 3 s there; -1 when a picture matches no angle.
double frameRate(e2e::XClient* client, unsigned long window, const e2e::ReferenceSet& refs,
                 int width, int height) {
    using clock = std::chrono::steady_clock;
    e2e::moveResize(client, window, 0, 0, 800, 600);
    e2e::waitForSize(client, window, 800, 600, 2000);
    sleepSeconds(0.3);
    const e2e::Match before = e2e::bestMatch(refs, e2e::grab(client, window));
    const auto start = clock::now();
    e2e::moveResize(client, window, 0, 0, width, height);
    sleepSeconds(3.0);
    e2e::moveResize(client, window, 0, 0, 800, 600);
    e2e::waitForSize(client, window, 800, 600, 2000);
    sleepSeconds(0.3);
    const e2e::Match after = e2e::bestMatch(refs, e2e::grab(client, window));
    const double seconds = std::chrono::duration<double>(clock::now() - start).count();
    if (before.mismatch > 0.01 || after.mismatch > 0.01) {
        std::fprintf(stderr, "no angle matches: mismatch %.4f before, %.4f after\n",
                     before.mismatch, after.mismatch);
        return -1.0;
    }
    return ((after.angle - before.angle + 360) % 360) / seconds;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s VIEWER [WIDTHxHEIGHT ...]\n", argv[0]);
        return 2;
    }
    std::vector<std::pair<int, int>> sizes;
    for (int i = 2; i < argc; ++i) {
        int w = 0;
        int h = 0;
        if (std::sscanf(argv[i], "%dx%d", &w, &h) != 2 || w <= 0 || h <= 0) {
            std::fprintf(stderr, "not a size: %s\n", argv[i]);
            return 2;
        }
        sizes.emplace_back(w, h);
    }
    if (sizes.empty()) sizes = {{800, 600}, {1920, 1080}, {3840, 2160}};

    e2e::XSession x;
    std::string error;
    if (!x.start({.screen = "4000x2400x24"}, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    e2e::Process viewer = e2e::startViewer(argv[1], x.name());
    e2e::XClient* client = x.client();
    const unsigned long window = e2e::findWindow(client, e2e::viewerWindow(argv[1], viewer), 10000);
    int status = 0;
    if (window == 0) {
        std::fprintf(stderr, "%s\n",
                     viewer.failure("showed no window on Xvfb " + x.name()).c_str());
        status = 1;
    }
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    const std::vector<WPARAM> noKeys;
    const e2e::ReferenceSet& refs = e2e::references(noKeys);
    std::printf("client      viewer %%  Xvfb %%   (one core, 10 s after 3 s)   frames/s\n");
    for (const auto& [w, h] : sizes) {
        if (window == 0) break;
        e2e::moveResize(client, window, 0, 0, w, h);
        sleepSeconds(3.0);
        int cw = 0;
        int ch = 0;
        e2e::clientSize(client, window, &cw, &ch);
        const long v0 = cpuTicks(viewer.pid());
        const long x0 = cpuTicks(x.server().pid());
        sleepSeconds(10.0);
        const long v1 = cpuTicks(viewer.pid());
        const long x1 = cpuTicks(x.server().pid());
        if (v0 < 0 || v1 < 0 || x0 < 0 || x1 < 0) {
            std::fprintf(stderr, "the viewer or Xvfb ended during the measurement\n");
            status = 1;
            break;
        }
        const double rate = frameRate(client, window, refs, w, h);
        std::printf("%4d x %-4d  %6.1f    %6.1f                              %5.1f%s\n", w, h,
                    100.0 * static_cast<double>(v1 - v0) / tick / 10.0,
                    100.0 * static_cast<double>(x1 - x0) / tick / 10.0, rate,
                    cw == w && ch == h ? "" : "   (the window did not take this size)");
        std::fflush(stdout);
    }
    if (window != 0) e2e::requestClose(client, window);
    if (viewer.waitExit(3000) != 0 && status == 0) {
        std::fprintf(stderr, "the viewer did not exit 0 on a close request\n");
        status = 1;
    }
    // viewer-idle says its own frame rate there, having no angle to read.
    const std::string said = viewer.stderrText();
    if (!said.empty()) std::fprintf(stderr, "%s said:\n%s", argv[1], said.c_str());
    return status;
}
