// The viewer's scene drawn by Mesa through OSMesa, for the cost comparison only: an
// off-screen RGBA buffer with a 16-bit depth buffer and fixed-function GL. The only
// file that includes GL headers is mesa_scene.cpp (mesa_absent.cpp when OSMesa is
// not installed, whose open fails with a reason).
#pragma once

#include <cstdint>
#include <string>

namespace bench {

// One frame's input, in the layouts the viewer already has: vertices are 16-byte
// records (float x, y, z, then a D3DCOLOR, B G R A in memory), matrices are Direct3D
// row-vector matrices stored row by row.
struct MesaFrame {
    const float* projection = nullptr;     // 16 floats
    const float* axesWorldView = nullptr;  // 16 floats
    const float* cubeWorldView = nullptr;  // 16 floats
    const void* axes = nullptr;            // line list
    int axesVertexCount = 0;
    const void* cube = nullptr;
    int cubeVertexCount = 0;
    const std::uint16_t* cubeIndices = nullptr;
    int cubeIndexCount = 0;
    bool cullCounterClockwise = true;  // Direct3D 9's default; false draws both windings
};

struct MesaScene;

// A context drawing into a width × height RGBA buffer with D16 depth. Null with the
// reason in *why when OSMesa is not built in or refuses the context.
MesaScene* openMesaScene(int width, int height, std::string* why);
void closeMesaScene(MesaScene* scene);

// GL_RENDERER of the context ("llvmpipe (…)" when Mesa picked its LLVM rasterizer).
const char* mesaRenderer(const MesaScene* scene);

// Two clears (colour black, depth 1.0), the buffers re-uploaded with glBufferData as
// the viewer re-creates its own, the line list, the cube's indexed triangles, then
// glFinish. Returns glGetError() (0 when all went well).
unsigned drawMesaFrame(MesaScene* scene, const MesaFrame& frame);

// The colour buffer after the last frame: R G B A bytes, rows bottom-up as GL keeps them.
const std::uint8_t* mesaPixels(const MesaScene* scene);

}  // namespace bench
