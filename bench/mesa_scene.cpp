// OSMesa side of the Mesa comparison: fixed-function GL fed the viewer's own bytes and
// matrices. A Direct3D row-vector matrix stored row by row is the column-major layout
// of its transpose, which is what GL's column-vector convention needs, so
// glLoadMatrixf takes it as is. Costs are compared, never pixels.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/osmesa.h>

#include <cstddef>
#include <vector>

#include "bench/mesa_scene.h"

// OSMesa keeps the framebuffer record each OSMesaMakeCurrent creates in a list of its
// own that no call frees. The leak checker of a sanitizer build is told it is Mesa's;
// outside such a build nobody asks for this.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libOSMesa.so\n";
}

namespace bench {

struct MesaScene {
    OSMesaContext context = nullptr;
    std::vector<std::uint8_t> pixels;
    int width = 0;
    int height = 0;
    GLuint buffers[3] = {0, 0, 0};  // axes vertices, cube vertices, cube indices
    std::string renderer;
};

namespace {

constexpr GLsizei kStride = 16;

void pointAt(GLuint buffer) {
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glVertexPointer(3, GL_FLOAT, kStride, reinterpret_cast<const void*>(0));
    // D3DCOLOR lies B G R A in memory: GL_BGRA as the size reads it without a copy.
    glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, kStride, reinterpret_cast<const void*>(12));
}

}  // namespace

MesaScene* openMesaScene(int width, int height, std::string* why) {
    auto* scene = new MesaScene;
    scene->width = width;
    scene->height = height;
    scene->pixels.assign(static_cast<std::size_t>(width) * height * 4, 0);
    // 16 depth bits as the viewer's D16; no stencil or accumulation buffer.
    scene->context = OSMesaCreateContextExt(OSMESA_RGBA, 16, 0, 0, nullptr);
    if (scene->context == nullptr) {
        *why = "OSMesaCreateContextExt failed";
        delete scene;
        return nullptr;
    }
    if (!OSMesaMakeCurrent(scene->context, scene->pixels.data(), GL_UNSIGNED_BYTE, width, height)) {
        *why = "OSMesaMakeCurrent failed";
        OSMesaDestroyContext(scene->context);
        delete scene;
        return nullptr;
    }
    const GLubyte* renderer = glGetString(GL_RENDERER);
    scene->renderer = renderer != nullptr ? reinterpret_cast<const char*>(renderer) : "?";

    glViewport(0, 0, width, height);
    glDisable(GL_LIGHTING);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_DEPTH_TEST);
    // The viewer's near distance of 0 puts every depth at exactly 1.0: LEQUAL against a
    // clear of 1.0 lets each draw pass, as D3DCMP_LESSEQUAL does.
    glDepthFunc(GL_LEQUAL);
    glClearDepth(1.0);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    // Direct3D 9 keeps the faces that are clockwise on screen.
    glFrontFace(GL_CW);
    glCullFace(GL_BACK);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glGenBuffers(3, scene->buffers);
    if (glGetError() != GL_NO_ERROR) {
        *why = "GL set-up failed";
        closeMesaScene(scene);
        return nullptr;
    }
    return scene;
}

void closeMesaScene(MesaScene* scene) {
    if (scene == nullptr) return;
    if (OSMesaGetCurrentContext() == scene->context) {
        glDeleteBuffers(3, scene->buffers);
        OSMesaMakeCurrent(nullptr, nullptr, 0, 0, 0);
    }
    OSMesaDestroyContext(scene->context);
    delete scene;
}

const char* mesaRenderer(const MesaScene* scene) {
    return scene->renderer.c_str();
}

const std::uint8_t* mesaPixels(const MesaScene* scene) {
    return scene->pixels.data();
}

unsigned drawMesaFrame(MesaScene* scene, const MesaFrame& f) {
    glClear(GL_COLOR_BUFFER_BIT);
    glClear(GL_DEPTH_BUFFER_BIT);
    if (f.cullCounterClockwise) {
        glEnable(GL_CULL_FACE);
    } else {
        glDisable(GL_CULL_FACE);
    }

    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(f.projection);
    glMatrixMode(GL_MODELVIEW);

    // Fresh data every frame, as the viewer creates and fills new buffers each frame.
    glBindBuffer(GL_ARRAY_BUFFER, scene->buffers[0]);
    glBufferData(GL_ARRAY_BUFFER, f.axesVertexCount * kStride, f.axes, GL_STREAM_DRAW);
    pointAt(scene->buffers[0]);
    glLoadMatrixf(f.axesWorldView);
    glDrawArrays(GL_LINES, 0, f.axesVertexCount);

    glBindBuffer(GL_ARRAY_BUFFER, scene->buffers[1]);
    glBufferData(GL_ARRAY_BUFFER, f.cubeVertexCount * kStride, f.cube, GL_STREAM_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, scene->buffers[2]);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER,
                 static_cast<GLsizeiptr>(f.cubeIndexCount * sizeof(std::uint16_t)), f.cubeIndices,
                 GL_STREAM_DRAW);
    pointAt(scene->buffers[1]);
    glLoadMatrixf(f.cubeWorldView);
    glDrawElements(GL_TRIANGLES, f.cubeIndexCount, GL_UNSIGNED_SHORT,
                   reinterpret_cast<const void*>(0));

    glFinish();
    return glGetError();
}

}  // namespace bench
