// The viewer left running: the real WinMain, scene and device on the headless back end
// for VIEWER_SOAK_FRAMES frames (100,000 by default), with every control key and resizes
// (minimised 0 × 0 included) going in along the way. Live objects and resident memory
// must be the same at the end as after warm-up: anything leaked per frame would show.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "app/app.h"
#include "scene/globals.h"
#include "scene/scene.h"
#include "tests/support/run_viewer.h"
#include "win/headless/headless.h"

namespace {

long framesToRun() {
    const char* text = std::getenv("VIEWER_SOAK_FRAMES");
    if (text == nullptr || *text == '\0') return 100000;
    char* end = nullptr;
    const long frames = std::strtol(text, &end, 10);
    return (*end == '\0' && frames >= 2000) ? frames : 100000;
}

long residentBytes() {
    long pages = 0, resident = 0;
    std::ifstream statm("/proc/self/statm");
    return statm >> pages >> resident ? resident * sysconf(_SC_PAGESIZE) : -1;
}

// A reference count read through the platform's own calls.
ULONG referencesOf(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

// One event every 20 frames, the whole cycle inside the first 1,000 frames so the warm-up
// sees every size and state. The camera keys cancel out, so the view stays in range.
struct Event {
    WPARAM key;  // 0: a resize to width × height instead
    int width;
    int height;
};
constexpr Event kCycle[] = {
    {VK_PRIOR, 0, 0}, {VK_PRIOR, 0, 0}, {VK_LEFT, 0, 0}, {VK_UP, 0, 0},   {VK_F1, 0, 0},
    {0, 0, 0},        {VK_F3, 0, 0},    {0, 1, 1},       {VK_F4, 0, 0},   {VK_F7, 0, 0},
    {0, 1000, 500},   {VK_RIGHT, 0, 0}, {VK_DOWN, 0, 0}, {VK_NEXT, 0, 0}, {VK_NEXT, 0, 0},
    {VK_F5, 0, 0},    {VK_F6, 0, 0},    {VK_F2, 0, 0},   {VK_HOME, 0, 0}, {VK_RIGHT, 0, 0},
    {VK_LEFT, 0, 0},  {VK_DOWN, 0, 0},  {VK_UP, 0, 0},   {0, 1600, 1200}, {0, 800, 600},
};
constexpr int kCycleFrames = 20 * static_cast<int>(std::size(kCycle));
static_assert(kCycleFrames < 1000, "the warm-up covers the whole cycle");

TEST(Soak, ObjectsAndResidentMemoryStayFlat) {
    const long frames = framesToRun();

    // Live objects' reference counts and resident bytes, after warm-up and at the end.
    struct Sample {
        ULONG device = 0, vertices = 0, indices = 0;
        long resident = 0;
    } warm, end;

    test_support::ViewerRun run;
    run.frames = static_cast<int>(frames);
    run.onPresent = [&](HWND hWnd, int presents) {
        if (presents % 20 == 0) {
            const Event& e = kCycle[(presents / 20) % std::size(kCycle)];
            if (e.key != 0) {
                PostMessageW(hWnd, WM_KEYDOWN, e.key, 1);
            } else {
                win::headless::setClientSize(hWnd, e.width, e.height);
            }
        }
        // Both samples at the same point of the cycle: 800 × 600, every state at default.
        if (presents != 1000 && presents != frames) return;
        (presents == 1000 ? warm : end) = Sample{referencesOf(device), referencesOf(vertexBuffer),
                                                 referencesOf(indexBuffer), residentBytes()};
    };
    ASSERT_EQ(test_support::runViewerHeadless(run), 0);
    EXPECT_EQ(win::headless::presentCount(), frames);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(vertexBuffer, nullptr);

    // Each live buffer keeps the device alive, so the device's count also counts them.
    EXPECT_GT(warm.device, 0u);
    EXPECT_EQ(end.device, warm.device);
    EXPECT_EQ(end.vertices, warm.vertices);
    EXPECT_EQ(end.indices, warm.indices);
    ASSERT_GT(warm.resident, 0);
    EXPECT_LT(end.resident - warm.resident, 1L << 20)
        << "resident " << warm.resident << " bytes at frame 1,000, " << end.resident << " at frame "
        << frames;
    win::headless::reset();
}

}  // namespace
