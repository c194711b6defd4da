// The SDL back end's two present paths in a real X server (Xvfb, where the only OpenGL
// is Mesa's llvmpipe): without the test lever a window takes the shared-memory path;
// with it, the GPU path shows the same picture for the same frame, stretches by the
// pixel-centre rule, keeps display pacing, and falls back mid-run to shared memory
// without losing the window or the frame.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/e2e/support/poll.h"
#include "tests/e2e/support/process.h"
#include "tests/e2e/support/x_session.h"
#include "tests/support/window_class.h"
#include "tests/win/tagged_frame.h"
#include "win/display.h"
#include "win/error.h"
#include "win/sdl/testing.h"
#include "win/win32.h"

namespace {

using e2e::sleepMs;
using win::sdl::PresentPath;

// The screen's pixels (read back without alpha) off the pixel-centre rule.
int offTheRule(const e2e::Image& image, std::uint32_t salt, std::string* where) {
    return wintest::offTheRule(image.pixels, image.width, image.height, salt, where, 0xFF000000u);
}

class GpuPresent : public e2e::XSessionSuite {
protected:
    static void SetUpTestSuite() {
        XSessionSuite::SetUpTestSuite();
        if (!x().server().started()) return;  // SetUp names the failure
        // This process is SDL's client: only the test's server, whatever the desktop.
        setenv("DISPLAY", x().name().c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("SDL_VIDEODRIVER");
        test_support::registerClass(L"GpuPresentTest", DefWindowProcW);
    }

    void SetUp() override {
        XSessionSuite::SetUp();
        if (HasFatalFailure()) return;
        client_ = x().client();
    }
    void TearDown() override {
        for (HWND hWnd : windows_) DestroyWindow(hWnd);
        win::sdl::setGpuTestLevers({});
    }

    // A shown 800 × 600 window and its X window, found by its unique title.
    HWND open(const win::sdl::GpuTestLevers& levers, unsigned long* xWindow) {
        win::sdl::setGpuTestLevers(levers);
        const std::wstring title = L"gpu present " + std::to_wstring(windows_.size());
        HWND hWnd = CreateWindowExW(0, L"GpuPresentTest", title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0,
                                    800, 600, nullptr, nullptr, nullptr, nullptr);
        EXPECT_NE(hWnd, nullptr) << win::lastErrorText();
        if (hWnd == nullptr) return nullptr;
        windows_.push_back(hWnd);
        ShowWindow(hWnd, SW_SHOWDEFAULT);
        *xWindow = e2e::findWindow(
            client_, {.title = std::string(title.begin(), title.end()), .pid = getpid()}, 5000);
        EXPECT_NE(*xWindow, 0u) << "the window never became viewable";
        return hWnd;
    }

    // The client size changed from outside, as a user's drag does, and taken in.
    void resizeTo(HWND hWnd, unsigned long xWindow, int width, int height) {
        e2e::moveResize(client_, xWindow, 0, 0, width, height);
        RECT rect{};
        const bool taken = e2e::pollUntil(
            [&] {
                MSG msg;
                while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
                GetClientRect(hWnd, &rect);
                return rect.right == width && rect.bottom == height;
            },
            {.timeoutMs = 5000, .everyMs = 10});
        if (!taken) FAIL() << "the client stayed " << rect.right << " x " << rect.bottom;
    }

    // Presents the tagged frame a few times (a swap may show the one before), then reads back
    // what the X server shows.
    e2e::Image showAndGrab(HWND hWnd, unsigned long xWindow) {
        for (int i = 0; i < 3; ++i) {
            EXPECT_TRUE(win::presentFrame(hWnd, tagged_, 800, 600, false).ok)
                << win::lastErrorText();
        }
        sleepMs(100);
        return e2e::grab(client_, xWindow);
    }

    e2e::XClient* client_ = nullptr;
    std::vector<HWND> windows_;
    const win::SharedPixels tagged_ = wintest::shared(wintest::taggedFrame(800, 600));
};

TEST_F(GpuPresent, BothPathsShowTheSameFrameUnstretched) {
    unsigned long plainX = 0;
    HWND plain = open({}, &plainX);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(win::sdl::presentPathOf(plain), PresentPath::sharedMemory)
        << "llvmpipe is no GPU: Xvfb must keep the shared-memory path";
    const e2e::Image shared = showAndGrab(plain, plainX);
    EXPECT_EQ(win::sdl::lastRendererName(), "") << "no GPU device: OpenGL is not even tried";

    unsigned long gpuX = 0;
    HWND gpu = open({.acceptSoftware = true}, &gpuX);
    ASSERT_NE(gpu, nullptr);
    ASSERT_EQ(win::sdl::presentPathOf(gpu), PresentPath::gpu);
    const e2e::Image viaGpu = showAndGrab(gpu, gpuX);
    EXPECT_EQ(win::sdl::presentPathOf(gpu), PresentPath::gpu) << "it presented without failing";

    ASSERT_EQ(viaGpu.width, 800);
    ASSERT_EQ(viaGpu.height, 600);
    std::string where;
    EXPECT_EQ(offTheRule(shared, 0, &where), 0) << "shared memory:" << where;
    where.clear();
    EXPECT_EQ(offTheRule(viaGpu, 0, &where), 0) << "GPU:" << where;
    EXPECT_TRUE(viaGpu.pixels == shared.pixels);
}

TEST_F(GpuPresent, ARenderNodeWithLlvmpipeBehindItKeepsSharedMemory) {
    // As on a machine whose GPU Mesa cannot drive: OpenGL is tried and named llvmpipe.
    namespace fs = std::filesystem;
    const fs::path dev = fs::path(e2e::runPath("gpu-present-dev"));
    fs::create_directories(dev / "dri");
    std::ofstream(dev / "dri" / "renderD128").close();
    unsigned long xWindow = 0;
    HWND hWnd = open({.devRoot = dev.string()}, &xWindow);
    ASSERT_NE(hWnd, nullptr);
    EXPECT_NE(win::sdl::lastRendererName().find("llvmpipe"), std::string::npos)
        << "read: \"" << win::sdl::lastRendererName() << '"';
    EXPECT_EQ(win::sdl::presentPathOf(hWnd), PresentPath::sharedMemory);
    std::string where;
    EXPECT_EQ(offTheRule(showAndGrab(hWnd, xWindow), 0, &where), 0) << where;
    fs::remove_all(dev);
}

TEST_F(GpuPresent, StretchFollowsThePixelCentreRule) {
    unsigned long xWindow = 0;
    HWND hWnd = open({.acceptSoftware = true}, &xWindow);
    ASSERT_NE(hWnd, nullptr);
    // Halving puts every sample on a texel edge; the others mix ties and plain samples
    // both ways.
    struct Size {
        int width, height;
    };
    for (const Size size : {Size{400, 300}, Size{1000, 700}, Size{1234, 457}, Size{1280, 1000}}) {
        resizeTo(hWnd, xWindow, size.width, size.height);
        const e2e::Image image = showAndGrab(hWnd, xWindow);
        ASSERT_EQ(image.width, size.width);
        ASSERT_EQ(image.height, size.height);
        std::string where;
        EXPECT_EQ(offTheRule(image, 0, &where), 0)
            << size.width << " x " << size.height << ":" << where;
    }
    EXPECT_EQ(win::sdl::presentPathOf(hWnd), PresentPath::gpu);
}

TEST_F(GpuPresent, FailureMidRunFallsBackWithTheSameFrameAndWindow) {
    unsigned long xWindow = 0;
    HWND hWnd = open({.acceptSoftware = true, .failFromPresent = 4}, &xWindow);
    ASSERT_NE(hWnd, nullptr);
    ASSERT_EQ(win::sdl::presentPathOf(hWnd), PresentPath::gpu);
    resizeTo(hWnd, xWindow, 1000, 700);
    for (std::uint32_t frame = 1; frame <= 6; ++frame) {
        const std::uint32_t salt = frame << 20;
        const win::SharedPixels pixels = wintest::shared(wintest::taggedFrame(800, 600, salt));
        ASSERT_TRUE(win::presentFrame(hWnd, pixels, 800, 600, false).ok)
            << "present " << frame << ": " << win::lastErrorText();
        EXPECT_EQ(win::sdl::presentPathOf(hWnd),
                  frame < 4 ? PresentPath::gpu : PresentPath::sharedMemory)
            << "after present " << frame;
        if (frame == 4 || frame == 6) {  // the failing present's frame reaches the screen
            sleepMs(100);
            const e2e::Image image = e2e::grab(client_, xWindow);
            ASSERT_EQ(image.width, 1000);
            std::string where;
            EXPECT_EQ(offTheRule(image, salt, &where), 0) << "frame " << frame << ":" << where;
        }
    }
    EXPECT_EQ(e2e::findWindow(client_, {.title = "gpu present 0", .pid = getpid()}, 1000), xWindow)
        << "the same X window";
    EXPECT_EQ(win::sdl::lastWindowPath(), PresentPath::sharedMemory);
}

// A frame of the surface's own size and layout leaves the surface's pixels lent to its
// presenter: what it draws there is shown without a copy, and a resize or the window's
// end first gives it back exactly what it drew.
TEST_F(GpuPresent, LentPixelsAreShownAndComeBackBeforeTheSurfaceGoes) {
    for (const bool resize : {true, false}) {
        unsigned long xWindow = 0;
        HWND hWnd = open({}, &xWindow);
        ASSERT_NE(hWnd, nullptr);
        const win::PresentResult first =
            win::presentFrame(hWnd, tagged_, 800, 600, false, {}, this);
        ASSERT_TRUE(first.ok && first.lent != nullptr && first.lent->pixels != nullptr);
        win::LentPixels& loan = *first.lent;
        std::vector<std::uint32_t> own(800 * 600);
        loan.returnTo = own.data();
        const win::SharedPixels drawn = wintest::shared(wintest::taggedFrame(800, 600, 0x5A5A5));
        std::copy_n(drawn.get(), own.size(), loan.pixels);
        const RECT all{0, 0, 800, 600};
        const win::PresentResult again =
            win::presentFrame(hWnd, win::SharedPixels(first.lent, loan.pixels), 800, 600, false,
                              {false, &all, 1}, this);
        EXPECT_TRUE(again.ok && again.lent == first.lent) << "the loan goes on";
        sleepMs(100);
        std::string where;
        EXPECT_EQ(offTheRule(e2e::grab(client_, xWindow), 0x5A5A5, &where), 0) << where;
        if (resize) {
            resizeTo(hWnd, xWindow, 1000, 700);
        } else {
            DestroyWindow(hWnd);
            windows_.pop_back();
        }
        EXPECT_EQ(loan.pixels, nullptr) << (resize ? "resized" : "destroyed");
        EXPECT_TRUE(std::equal(own.begin(), own.end(), drawn.get()))
            << (resize ? "resized" : "destroyed");
    }
}

TEST_F(GpuPresent, PacedPresentsKeepTheRefreshWhereVsyncDoesNotWait) {
    // Mesa under Xvfb refuses a swap interval, so deadlines pace at once; made to try
    // vsync anyway, the trial must hold the pace while it looks, see that no present waits,
    // and hand over to deadlines. 40 presents at 60 Hz span at least 39 periods
    // (0.65 s); presents left to a vsync that does not wait would take a fraction.
    for (const bool trial : {false, true}) {
        unsigned long xWindow = 0;
        HWND hWnd = open({.acceptSoftware = true, .trialVsyncAnyway = trial}, &xWindow);
        ASSERT_NE(hWnd, nullptr);
        const auto start = std::chrono::steady_clock::now();
        // The pace is a steady grid from the first present: present i ends no sooner than
        // i periods after the loop began. A present that overran its period on a starved
        // machine lets the next one catch up without waiting; none may get ahead of the grid.
        constexpr double kPeriod = 1.0 / 60;
        int waited = 0;
        int aheadOfGrid = 0;
        for (int i = 0; i < 40; ++i) {
            const win::PresentResult result = win::presentFrame(hWnd, tagged_, 800, 600, true);
            ASSERT_TRUE(result.ok && result.shown);
            waited += result.waited ? 1 : 0;
            const double elapsed =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (elapsed < i * kPeriod - 0.001) ++aheadOfGrid;
        }
        EXPECT_EQ(aheadOfGrid, 0) << (trial ? "trial" : "deadlines") << ": " << waited
                                  << " of 40 waited";
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_GE(seconds, 0.6) << (trial ? "trial" : "deadlines");
        EXPECT_LT(seconds, 3.0) << "each present waited far more than one period";
        EXPECT_EQ(win::sdl::presentPathOf(hWnd), PresentPath::gpu);
    }
}

}  // namespace
