// The scene globals, defined once. All start at zero or null.
#include "scene/globals.h"

IDirect3D9* direct3d = nullptr;
IDirect3DDevice9* device = nullptr;
IDirect3DVertexBuffer9* vertexBuffer = nullptr;
IDirect3DIndexBuffer9* indexBuffer = nullptr;
float camX = 0.0f;
float camY = 0.0f;
float camZ = 0.0f;
float angleDeg = 0.0f;
