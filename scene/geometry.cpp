// The scene's geometry, rebuilt into fresh device buffers on every frame: three axes
// as a line list, and a cube with a colour at each corner as 12 indexed triangles.
// Each new buffer replaces the one in its slot; a buffer still bound for a draw stays
// alive through the device's own reference.
#include <cstring>

#include "scene/globals.h"
#include "scene/scene.h"

namespace {

void fillVertexBuffer(const ColoredVertex* vertices, UINT bytes) {
    if (vertexBuffer != nullptr) vertexBuffer->Release();
    vertexBuffer = nullptr;
    device->CreateVertexBuffer(bytes, 0, D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPOOL_MANAGED,
                               &vertexBuffer, nullptr);
    if (vertexBuffer == nullptr) return;

    void* pVoid = nullptr;
    if (FAILED(vertexBuffer->Lock(0, 0, &pVoid, 0)) || pVoid == nullptr) return;
    std::memcpy(pVoid, vertices, bytes);
    vertexBuffer->Unlock();
}

void fillIndexBuffer(const WORD* indices, UINT bytes) {
    if (indexBuffer != nullptr) indexBuffer->Release();
    indexBuffer = nullptr;
    device->CreateIndexBuffer(bytes, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &indexBuffer, nullptr);
    if (indexBuffer == nullptr) return;

    void* pVoid = nullptr;
    if (FAILED(indexBuffer->Lock(0, 0, &pVoid, 0)) || pVoid == nullptr) return;
    std::memcpy(pVoid, indices, bytes);
    indexBuffer->Unlock();
}

}  // namespace

void buildAxes(float length, D3DCOLOR color) {
    const ColoredVertex vertices[] = {
        {0.0f, 0.0f, 0.0f, color}, {length, 0.0f, 0.0f, color},  // x
        {0.0f, 0.0f, 0.0f, color}, {0.0f, length, 0.0f, color},  // y
        {0.0f, 0.0f, 0.0f, color}, {0.0f, 0.0f, length, color},  // z
    };
    static_assert(sizeof(vertices) == 6 * 16);
    fillVertexBuffer(vertices, 6 * 16);
}

void buildCube(float size) {
    const float h = size / 2.0f;
    const ColoredVertex vertices[] = {
        {-h, h, -h, 0xFFFF0000},   // 0 red
        {h, h, -h, 0xFFFFFF00},    // 1 yellow
        {-h, -h, -h, 0xFFFFFF00},  // 2 yellow
        {h, -h, -h, 0xFF00FFFF},   // 3 cyan
        {-h, h, h, 0xFFFF00FF},    // 4 magenta
        {h, h, h, 0xFF00FF00},     // 5 green
        {-h, -h, h, 0xFF00FF00},   // 6 green
        {h, -h, h, 0xFF0000FF},    // 7 blue
    };
    static_assert(sizeof(vertices) == 8 * 16);
    fillVertexBuffer(vertices, 8 * 16);

    // Clockwise seen from outside, so the default counter-clockwise culling keeps
    // the faces turned toward the eye.
    const WORD indices[] = {
        0, 1, 2, 2, 1, 3,  // z = -h
        4, 0, 6, 6, 0, 2,  // x = -h
        7, 5, 6, 6, 5, 4,  // z = +h
        3, 1, 7, 7, 1, 5,  // x = +h
        4, 5, 0, 0, 5, 1,  // y = +h
        3, 7, 2, 2, 7, 6,  // y = -h
    };
    static_assert(sizeof(indices) == 36 * 2);
    fillIndexBuffer(indices, 36 * 2);
}
