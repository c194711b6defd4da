// The scene's shared state: the platform objects it holds, the camera offsets the keys
// move, and the spin angle. Each pointer holds one reference to what it points at.
#pragma once

#include "gfx/d3d9.h"

extern IDirect3D9* direct3d;                  // from setupDevice to releaseDevice
extern IDirect3DDevice9* device;              // from setupDevice to releaseDevice
extern IDirect3DVertexBuffer9* vertexBuffer;  // the newest vertex buffer a builder made
extern IDirect3DIndexBuffer9* indexBuffer;    // the newest index buffer buildCube made
extern float camX, camY, camZ;  // camera offsets; the eye is at (camX, camY, camZ - 20)
extern float angleDeg;          // spin angle of the next frame, 0 … 359
