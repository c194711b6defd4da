// What the shell calls on the scene: the device's lifetime, the projection, and one
// frame. The geometry builders are here too, since the frame and the tests use them.
#pragma once

#include "gfx/d3d9.h"
#include "win/win32.h"

// The one vertex layout: position in model space, then a colour used as is (lighting off).
struct ColoredVertex {
    float x, y, z;
    D3DCOLOR color;
};
static_assert(sizeof(ColoredVertex) == 16, "vertices are fed to the device as 16-byte records");

// Creates the Direct3D object and the device for hWnd, and turns lighting off. On
// failure the scene globals stay null and the result says why.
HRESULT setupDevice(HWND hWnd);

// Sets a 45° perspective for a client of width × height. Does nothing before the
// device exists or for an empty client (a minimised window), keeping the last one.
void applyProjection(int width, int height);

// Releases the buffers still held, then the device, then the Direct3D object.
void releaseDevice();

void buildAxes(float length, D3DCOLOR color);
void buildCube(float size);

void drawFrame();
