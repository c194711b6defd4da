// The entry point: register the class, open the window, bring the device up, then
// alternate between emptying the message queue and drawing one frame until the
// quit message arrives. Start-up failures end the program with one line on stderr,
// under the name it was invoked by, as every later message is.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/app.h"
#include "scene/scene.h"
#include "win/error.h"

namespace {

const char* describe(HRESULT hr) {
    switch (hr) {
        case D3DERR_NOTAVAILABLE: return "the requested device is not available";
        case D3DERR_INVALIDCALL: return "the device settings were refused";
        case D3DERR_OUTOFVIDEOMEMORY: return "out of video memory";
        case E_OUTOFMEMORY: return "out of memory";
        default: return "unknown error";
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE /*hPrevInstance*/, LPSTR /*lpCmdLine*/,
                   int nShowCmd) {
    // 1. The window class.
    WNDCLASSEXW wc;
    std::memset(&wc, 0, sizeof(wc));
    wc.cbSize = sizeof(WNDCLASSEXW);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = mainWndProc;
    wc.hInstance = hInstance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = L"WindowClass";
    RegisterClassExW(&wc);

    // 2. The window; size messages may already reach mainWndProc from here on.
    HWND hWnd = CreateWindowExW(0, L"WindowClass", L"Our Direct3D Program", WS_OVERLAPPEDWINDOW, 0,
                                0, 800, 600, nullptr, nullptr, hInstance, nullptr);
    if (hWnd == nullptr) {
        // A window destroyed during its own creation leaves no reason behind.
        const char* reason = win::lastErrorText();
        if (reason[0] == '\0') reason = "cannot open a window: it was closed while being created";
        std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, reason);
        return 1;
    }
    ShowWindow(hWnd, nShowCmd);

    // 3. The device, and the projection for its 800 × 600 back buffer.
    const HRESULT hr = setupDevice(hWnd);
    if (FAILED(hr)) {
        // A device refused for a window that is already gone: name the window, not the settings.
        const char* cause =
            IsWindow(hWnd) ? describe(hr) : "the window was closed before it could be drawn in";
        std::fprintf(stderr, "%s: cannot create the Direct3D device: %s (0x%08X)\n",
                     program_invocation_short_name, cause, static_cast<unsigned>(hr));
        DestroyWindow(hWnd);
        return 1;
    }
    applyProjection(800, 600);

    // 4. The loop. msg keeps the last message taken; it starts cleared so it cannot
    //    read as WM_QUIT before anything arrives.
    MSG msg;
    std::memset(&msg, 0, sizeof(msg));
    for (;;) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            // Leave the drain at once: a later message must not overwrite the quit.
            if (msg.message == WM_QUIT) break;
        }
        if (msg.message == WM_QUIT) break;
        drawFrame();
    }

    // 5. Shutdown.
    releaseDevice();
    return static_cast<int>(msg.wParam);
}
