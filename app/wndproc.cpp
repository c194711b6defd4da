// The window procedure of "WindowClass": quit on destroy, follow the client size with
// the projection, hand key-downs to the controls. Everything else, and every key after
// the controls have seen it, goes to DefWindowProcW (which turns WM_CLOSE into a destroy).
#include "app/app.h"
#include "scene/scene.h"

LRESULT CALLBACK mainWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY: PostQuitMessage(0); return 0;
        case WM_SIZE: applyProjection(LOWORD(lParam), HIWORD(lParam)); return 0;
        case WM_KEYDOWN: handleKeyDown(wParam); break;
        default: break;
    }
    return DefWindowProcW(hWnd, message, wParam, lParam);
}
