// Fuzzes the message path: the real WinMain, window procedure, scene and device on
// the headless back end, fed any sequence of Win32 messages between frames. The loop
// must keep drawing until the input runs out and the window is closed, then return 0
// with every platform object released; it must never crash, hang or draw garbage sizes.
#include <cstdint>
#include <cstring>

#include "app/app.h"
#include "fuzz_check.h"
#include "scene/globals.h"
#include "scene/scene.h"
#include "win/headless/headless.h"

namespace {

constexpr int kMaxFrames = 12;  // bounds the work per input; each frame is a full 800 × 600 draw

// Posts the next batch of messages from the input to hWnd. Returns false once the
// input is exhausted.
bool postBatch(FuzzedDataProvider& in, HWND hWnd) {
    const int count = in.ConsumeIntegralInRange(0, 12);
    for (int i = 0; i < count && in.remaining_bytes() > 0; ++i) {
        switch (in.ConsumeIntegralInRange(0, 7)) {
            case 0: {  // a user's resize, through the back end as a window manager would
                // The headless back end keeps the stretched client image, so sides stay
                // within what a screen has; the posted WM_SIZE below goes to 65535.
                static constexpr int kSides[] = {0, 1, 2, 799, 800, 4000};
                const int w = in.ConsumeBool() ? in.PickValueInArray(kSides)
                                               : in.ConsumeIntegralInRange(0, 4096);
                const int h = in.ConsumeBool() ? in.PickValueInArray(kSides)
                                               : in.ConsumeIntegralInRange(0, 4096);
                win::headless::setClientSize(hWnd, w, h);
                break;
            }
            case 1: {  // a WM_SIZE posted as is, with any size type and client size
                static constexpr LPARAM kSizes[] = {0, 0xFFFFFFFF, 0x0000FFFF, 0xFFFF0000,
                                                    0x00010001};
                const LPARAM size = in.ConsumeBool()
                                        ? in.PickValueInArray(kSizes)
                                        : static_cast<LPARAM>(in.ConsumeIntegral<std::uint32_t>());
                PostMessageW(hWnd, WM_SIZE, in.ConsumeIntegralInRange<WPARAM>(0, 4), size);
                break;
            }
            case 2:
            case 3: {  // keys: the ones the viewer knows most of the time, any code otherwise
                static constexpr WPARAM kKeys[] = {
                    VK_PRIOR, VK_NEXT, VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN, VK_F1,  VK_F2, VK_F3,
                    VK_F4,    VK_F5,   VK_F6,   VK_F7, VK_HOME,  VK_END,  VK_F12, 0,     0xFF};
                const WPARAM key =
                    in.ConsumeBool() ? in.PickValueInArray(kKeys) : in.ConsumeIntegral<WPARAM>();
                const LPARAM flags =
                    in.ConsumeBool() ? 1 : (1 | (1 << 30));  // press or auto-repeat
                PostMessageW(hWnd, WM_KEYDOWN, key, flags);
                break;
            }
            case 4: PostMessageW(hWnd, WM_CLOSE, 0, 0); break;
            case 5: PostMessageW(hWnd, WM_DESTROY, 0, 0); break;
            case 6: {  // anything else; WM_QUIT carries its own exit code, so it is left out
                UINT message = in.ConsumeIntegral<UINT>();
                if (message == WM_QUIT) message = WM_NULL;
                PostMessageW(hWnd, message, in.ConsumeIntegral<WPARAM>(),
                             in.ConsumeIntegral<LPARAM>());
                break;
            }
            case 7:  // a message for a handle that is no window
                PostMessageW(reinterpret_cast<HWND>(in.ConsumeIntegral<std::uintptr_t>()),
                             WM_KEYDOWN, VK_F1, 1);
                break;
        }
    }
    return in.remaining_bytes() > 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    win::headless::reset();
    camX = camY = camZ = 0.0f;
    angleDeg = 0.0f;

    bool closing = false;
    int frames = 0;
    win::headless::Hooks hooks;
    hooks.onWindowCreated = [&](HWND hWnd) { postBatch(in, hWnd); };
    hooks.onPresent = [&](HWND hWnd, int presents) {
        frames = presents;
        const auto& frame = win::headless::lastFrame();
        fuzz::check(frame.width >= 0 && frame.height >= 0 && frame.width <= 0xFFFF &&
                        frame.height <= 0xFFFF,
                    "presented client size out of range");
        const auto& back = win::headless::lastBackBuffer();
        fuzz::check(back.width == 800 && back.height == 600, "back buffer changed size");
        if (closing) {
            // The close went out after the previous frame: the loop had one drain to end.
            fuzz::check(presents <= kMaxFrames + 2, "the loop kept drawing after the close",
                        presents);
            return;
        }
        if (presents >= kMaxFrames || !postBatch(in, hWnd)) {
            closing = true;
            PostMessageW(hWnd, WM_CLOSE, 0, 0);
        }
    };
    win::headless::setHooks(hooks);

    char cmdLine[] = "";
    const int code = WinMain(GetModuleHandleW(nullptr), nullptr, cmdLine, SW_SHOWDEFAULT);
    fuzz::check(code == 0, "WinMain's exit code", code);
    fuzz::check(device == nullptr && direct3d == nullptr, "the device outlived WinMain");
    fuzz::check(vertexBuffer == nullptr && indexBuffer == nullptr, "a buffer outlived WinMain");
    fuzz::check(frames <= kMaxFrames + 2, "frames after the close", frames);
    win::headless::reset();
    return 0;
}
