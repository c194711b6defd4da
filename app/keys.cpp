// The keyboard controls: six keys move the camera by one unit, seven switch the
// device's culling, shading and depth buffering. Auto-repeats act like presses.
#include "app/app.h"
#include "scene/globals.h"

namespace {

void setRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    // A key can arrive before the device exists or after it is gone.
    if (device != nullptr) device->SetRenderState(state, value);
}

}  // namespace

void handleKeyDown(WPARAM wParam) {
    switch (wParam) {
        case VK_PRIOR: camZ += 1.0f; break;  // toward +z: nearer the origin from the start
        case VK_NEXT: camZ -= 1.0f; break;
        case VK_LEFT: camX -= 1.0f; break;
        case VK_UP: camY += 1.0f; break;
        case VK_RIGHT: camX += 1.0f; break;
        case VK_DOWN: camY -= 1.0f; break;
        // F2 is counter-clockwise (3), F3 clockwise (2): not the values' order.
        case VK_F1: setRenderState(D3DRS_CULLMODE, D3DCULL_NONE); break;
        case VK_F2: setRenderState(D3DRS_CULLMODE, D3DCULL_CCW); break;
        case VK_F3: setRenderState(D3DRS_CULLMODE, D3DCULL_CW); break;
        case VK_F4: setRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT); break;
        case VK_F5: setRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD); break;
        case VK_F6: setRenderState(D3DRS_ZENABLE, D3DZB_TRUE); break;
        case VK_F7: setRenderState(D3DRS_ZENABLE, D3DZB_FALSE); break;
        default: break;  // Home, End and every other key do nothing here
    }
}
