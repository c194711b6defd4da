// Drives the real drawFrame through one whole turn and reads back what it left in the
// device: the buffers through read-only locks, the matrices through GetTransform.
// The axes' world matrix is the cube's without its translation row, as drawFrame
// builds one from the other.
#include "bench/scene_record.h"

#include <cstring>

#include "bench/session.h"
#include "gfx/d3dx9math.h"
#include "scene/globals.h"

namespace bench {

namespace {

template <typename T, typename Buffer>
bool copyBuffer(Buffer* buffer, UINT bytes, std::vector<T>* out) {
    void* data = nullptr;
    if (buffer == nullptr || FAILED(buffer->Lock(0, 0, &data, D3DLOCK_READONLY)) ||
        data == nullptr) {
        return false;
    }
    out->resize(bytes / sizeof(T));
    std::memcpy(out->data(), data, out->size() * sizeof(T));
    buffer->Unlock();
    return true;
}

D3DXMATRIX asD3DX(const D3DMATRIX& m) {
    D3DXMATRIX x;
    std::memcpy(x.m, m.m, sizeof(m.m));
    return x;
}

bool recordOpenScene(SceneRecording* out, std::string* why) {
    // The geometry drawFrame rebuilds every frame, captured once: it never changes.
    D3DVERTEXBUFFER_DESC vbDesc{};
    D3DINDEXBUFFER_DESC ibDesc{};
    buildAxes(20.0f, 0x00FFFFFF);
    if (vertexBuffer == nullptr || FAILED(vertexBuffer->GetDesc(&vbDesc)) ||
        !copyBuffer(vertexBuffer, vbDesc.Size, &out->axes)) {
        *why = "cannot read the axes' vertex buffer";
        return false;
    }
    buildCube(10.0f);
    if (vertexBuffer == nullptr || FAILED(vertexBuffer->GetDesc(&vbDesc)) ||
        !copyBuffer(vertexBuffer, vbDesc.Size, &out->cube) || indexBuffer == nullptr ||
        FAILED(indexBuffer->GetDesc(&ibDesc)) ||
        !copyBuffer(indexBuffer, ibDesc.Size, &out->cubeIndices)) {
        *why = "cannot read the cube's buffers";
        return false;
    }

    for (int angle = 0; angle < 360; ++angle) {
        angleDeg = static_cast<float>(angle);
        drawFrame();
        D3DMATRIX world{}, view{}, projection{};
        if (FAILED(device->GetTransform(D3DTS_WORLD, &world)) ||
            FAILED(device->GetTransform(D3DTS_VIEW, &view)) ||
            FAILED(device->GetTransform(D3DTS_PROJECTION, &projection))) {
            *why = "GetTransform failed";
            return false;
        }
        D3DXMATRIX axesWorld = asD3DX(world);
        axesWorld._41 = axesWorld._42 = axesWorld._43 = 0.0f;
        FrameTransforms& f = out->frames[static_cast<std::size_t>(angle)];
        f.projection = projection;
        f.axesWorldView = axesWorld * asD3DX(view);
        f.cubeWorldView = asD3DX(world) * asD3DX(view);
    }
    return true;
}

}  // namespace

bool recordScene(const Camera& camera, SceneRecording* out, std::string* why) {
    if (!openScene(camera, D3DCULL_CCW, why)) return false;
    const bool ok = recordOpenScene(out, why);
    closeScene();
    return ok;
}

}  // namespace bench
