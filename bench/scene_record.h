// The scene as another renderer needs it: the bytes buildAxes and buildCube put in the
// device's buffers, and for each of the 360 spin angles the matrices drawFrame set.
// Everything is read back from the viewer's own scene, so nothing here restates it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "gfx/d3d9.h"
#include "scene/scene.h"

namespace bench {

struct Camera;

struct FrameTransforms {
    D3DMATRIX projection{};
    D3DMATRIX axesWorldView{};  // world × view of the line list
    D3DMATRIX cubeWorldView{};  // world × view of the cube
};

struct SceneRecording {
    std::vector<ColoredVertex> axes;            // the line list, two vertices per line
    std::vector<ColoredVertex> cube;            // the cube's corners
    std::vector<std::uint16_t> cubeIndices;     // 12 triangles
    std::array<FrameTransforms, 360> frames{};  // by spin angle in whole degrees
};

// Opens the scene for the camera, draws one frame per angle to read the transforms
// back, and closes it again. False with the reason in *why.
bool recordScene(const Camera& camera, SceneRecording* out, std::string* why);

}  // namespace bench
