// One frame: clear, look at the origin from the camera, draw the axes and the cube
// turned by the spin angle, present, and advance the angle by one degree.
#include "gfx/d3dx9math.h"
#include "scene/globals.h"
#include "scene/scene.h"

void drawFrame() {
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device->BeginScene();
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);

    // View: from the camera offsets, always toward the origin.
    const D3DXVECTOR3 eye(camX, camY, camZ - 20.0f);
    const D3DXVECTOR3 at(0.0f, 0.0f, 0.0f);
    const D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
    D3DXMATRIX matView;
    D3DXMatrixLookAtLH(&matView, &eye, &at, &up);
    device->SetTransform(D3DTS_VIEW, &matView);

    // The same angle about all three axes; 0.017453292 is π/180 as a 32-bit float.
    const float angle = angleDeg * 0.017453292f;
    D3DXMATRIX rotacija_x;
    D3DXMATRIX rotacija_y;
    D3DXMATRIX rotacija_z;
    D3DXMatrixRotationX(&rotacija_x, angle);
    D3DXMatrixRotationY(&rotacija_y, angle);
    D3DXMatrixRotationZ(&rotacija_z, angle);

    buildAxes(20.0f, 0x00FFFFFF);

    // Turned about z first, then y, then x, all about the world origin.
    const D3DXMATRIX matrica = (rotacija_z * rotacija_y) * rotacija_x;

    device->SetStreamSource(0, vertexBuffer, 0, 16);
    device->SetTransform(D3DTS_WORLD, &matrica);
    device->DrawPrimitive(D3DPT_LINELIST, 0, 3);

    buildCube(10.0f);

    // The cube's centre goes to (8, 8, 8) first, then turns with the axes.
    D3DXMATRIX translacija;
    D3DXMatrixTranslation(&translacija, 8.0f, 8.0f, 8.0f);
    const D3DXMATRIX cubeWorld = translacija * matrica;
    device->SetTransform(D3DTS_WORLD, &cubeWorld);

    device->SetStreamSource(0, vertexBuffer, 0, 16);
    device->SetIndices(indexBuffer);
    device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 8, 0, 12);

    device->EndScene();
    device->Present(nullptr, nullptr, nullptr, nullptr);

    angleDeg += 1.0f;
    if (angleDeg == 360.0f) angleDeg = 0.0f;
}
