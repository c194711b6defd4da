// Present: the whole back buffer reaches the window layer unchanged, on the device
// window or the override, and what the subset cannot present is refused.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iterator>
#include <string>
#include <thread>

#include "tests/gfx/device_fixture.h"

namespace {

using gfxtest::DeviceTest;

TEST_F(DeviceTest, PresentDeliversTheWholeBackBuffer) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0);
    const D3DRECT rect{2, 3, 6, 5};
    device->Clear(1, &rect, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(win::headless::presentCount(), 1);

    const win::headless::Frame& frame = win::headless::lastBackBuffer();
    ASSERT_EQ(frame.width, static_cast<int>(kWidth));
    ASSERT_EQ(frame.height, static_cast<int>(kHeight));
    ASSERT_EQ(frame.pixels.size(), std::size_t{kWidth} * kHeight);
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            const bool blue = x >= 2 && x < 6 && y >= 3 && y < 5;
            EXPECT_EQ(frame.pixels[y * frame.width + x] & 0xFFFFFFu, blue ? 0x0000FFu : 0xFF0000u)
                << x << "," << y;
        }
    }
}

// The display holds the presented pixels, so the device draws the next frame elsewhere:
// what is on show does not change until the next present. The shown frame is first
// read only after the next one has been cleared.
TEST_F(DeviceTest, TheShownFrameStaysWhileTheNextIsDrawn) {
    const auto all = [](D3DCOLOR value) {
        for (std::uint32_t p : win::headless::lastBackBuffer().pixels) {
            if ((p & 0xFFFFFFu) != (value & 0xFFFFFFu)) return false;
        }
        return true;
    };
    const D3DCOLOR colors[] = {0xFFFF0000, 0xFF0000FF, 0xFF00FF00, 0xFFFFFFFF};
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, colors[i], 1.0f, 0), D3D_OK);
        if (i > 0) {
            EXPECT_TRUE(all(colors[i - 1])) << "frame " << i - 1 << " changed on show";
        }
        ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    }
    EXPECT_TRUE(all(colors[3]));
}

// Frames drawn back to back share their rows among threads; frames paced by the display
// are drawn by the caller alone, which costs the least processor time. The threads
// start with the first present that nothing paces.
TEST_F(DeviceTest, RowsAreSharedOnlyWhilePresentsDoNotWait) {
    EXPECT_FALSE(sw::DeviceProbe::sharesRows(device)) << "no threads before a present";
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    const bool threads = std::thread::hardware_concurrency() > 1;
    EXPECT_EQ(sw::DeviceProbe::sharesRows(device), threads) << "an unpaced present returns at once";
    win::headless::setPacing(true, 60);
    for (int i = 0; i < 2; ++i) {  // the first paced present only starts the clock
        ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    }
    EXPECT_FALSE(sw::DeviceProbe::sharesRows(device));
    win::headless::setPacing(false);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(sw::DeviceProbe::sharesRows(device), threads);
}

// A device whose presents the display paces runs on its caller's thread only, however
// many frames it draws; the first unpaced present adds its row threads.
TEST(DeviceThreads, PacedFramesAddNoThreadUnpacedOnesDo) {
    const auto threadCount = [] {
        const auto tasks = std::filesystem::directory_iterator("/proc/self/task");
        return std::distance(begin(tasks), end(tasks));
    };
    win::headless::reset();
    win::headless::setPacing(true, 1000);  // 100 frames in a tenth of a second
    const HWND window = gfxtest::makeWindow(64, 48);
    ASSERT_NE(window, nullptr);
    // A sanitizer's runtime (ThreadSanitizer's) starts a thread of its own at the
    // process's first thread: let that happen before counting.
    // That thread, once joined, can stay listed a while (long under qemu-user): count
    // once the list has held still for 50 ms.
    std::thread([] {}).join();
    auto before = threadCount();
    for (int still = 0, i = 0; still < 5 && i < 200; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const auto now = threadCount();
        still = now == before ? still + 1 : 0;
        before = now;
    }
    IDirect3D9* d3d = nullptr;
    std::string why;
    IDirect3DDevice9* device = test_support::createDevice(window, 64, 48, &d3d, &why);
    ASSERT_NE(device, nullptr) << why;
    for (int i = 0; i < 100; ++i) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF204060, 1.0f, 0);
        ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    }
    EXPECT_EQ(threadCount(), before) << "after 100 paced frames";

    win::headless::setPacing(false);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    const int processors = static_cast<int>(std::thread::hardware_concurrency());
    EXPECT_EQ(threadCount(), before + std::clamp(processors, 1, sw::kRowThreads) - 1)
        << "after an unpaced present";
    EXPECT_EQ(device->Release(), 0u);
    EXPECT_EQ(d3d->Release(), 0u);
    // A joined thread can stay listed a moment: the kernel wakes the joiner before the
    // thread leaves the list, and under qemu-user that moment is long.
    for (int i = 0; i < 100 && threadCount() != before; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(threadCount(), before) << "the threads end with the device";
    win::headless::reset();
}

TEST_F(DeviceTest, PresentRefusesPartsScenesAndDeadWindows) {
    const RECT r{0, 0, 4, 4};
    EXPECT_EQ(device->Present(&r, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Present(nullptr, &r, nullptr, nullptr), D3DERR_INVALIDCALL);
    device->BeginScene();
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
    device->EndScene();
    EXPECT_EQ(win::headless::presentCount(), 0);

    // The override window takes the frame, stretched to its own client area.
    const HWND other = gfxtest::makeWindow(32, 24);
    ASSERT_EQ(device->Present(nullptr, nullptr, other, nullptr), D3D_OK);
    EXPECT_EQ(win::headless::lastFrame().width, 32);
    EXPECT_EQ(win::headless::lastFrame().height, 24);

    DestroyWindow(window);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(win::headless::presentCount(), 1);
}

}  // namespace
