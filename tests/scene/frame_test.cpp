// The frame's call sequence and transforms, and the geometry the builders upload,
// checked on a recording device.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "gfx/d3dx9math.h"
#include "recording_device.h"
#include "scene/globals.h"
#include "scene/scene.h"

namespace {

using scene_test::RecordingDevice;
using scene_test::RecordingIndexBuffer;
using scene_test::RecordingVertexBuffer;

struct Point {
    float x, y, z;
};

Point transform(const Point& p, const D3DMATRIX& m) {
    return {p.x * m._11 + p.y * m._21 + p.z * m._31 + m._41,
            p.x * m._12 + p.y * m._22 + p.z * m._32 + m._42,
            p.x * m._13 + p.y * m._23 + p.z * m._33 + m._43};
}

class SceneOnRecorder : public ::testing::Test {
protected:
    void SetUp() override {
        device = &recorder;
        vertexBuffer = nullptr;
        indexBuffer = nullptr;
        camX = camY = camZ = 0.0f;
        angleDeg = 0.0f;
    }
    // The recorder outlives the release: it counts, never deletes itself.
    void TearDown() override { releaseDevice(); }

    std::vector<ColoredVertex> vertices() const {
        const auto& bytes = static_cast<RecordingVertexBuffer*>(vertexBuffer)->bytes();
        std::vector<ColoredVertex> out(bytes.size() / sizeof(ColoredVertex));
        std::memcpy(out.data(), bytes.data(), out.size() * sizeof(ColoredVertex));
        return out;
    }
    std::vector<WORD> indices() const {
        const auto& bytes = static_cast<RecordingIndexBuffer*>(indexBuffer)->bytes();
        std::vector<WORD> out(bytes.size() / sizeof(WORD));
        std::memcpy(out.data(), bytes.data(), out.size() * sizeof(WORD));
        return out;
    }

    RecordingDevice recorder;
};

TEST_F(SceneOnRecorder, OneFrameIssuesItsCallsInOrder) {
    drawFrame();
    ASSERT_EQ(recorder.names(),
              "Clear Clear BeginScene SetFVF SetTransform "                     // the view
              "CreateVertexBuffer SetStreamSource SetTransform DrawPrimitive "  // the axes
              "CreateVertexBuffer CreateIndexBuffer SetTransform SetStreamSource SetIndices "
              "DrawIndexedPrimitive EndScene Present");  // the cube

    const auto& c = recorder.calls;
    // Target first, then depth: two calls, opaque black, depth 1.0.
    EXPECT_EQ(c[0].args, (std::vector<std::int64_t>{0, 0, D3DCLEAR_TARGET, 0xFF000000, 1000, 0}));
    EXPECT_EQ(c[1].args, (std::vector<std::int64_t>{0, 0, D3DCLEAR_ZBUFFER, 0xFF000000, 1000, 0}));
    EXPECT_EQ(c[3].args[0], 0x42);
    EXPECT_EQ(c[4].args[0], D3DTS_VIEW);
    EXPECT_EQ(c[5].args, (std::vector<std::int64_t>{96, 0, 0x42, D3DPOOL_MANAGED}));
    EXPECT_EQ(c[6].args, (std::vector<std::int64_t>{0, 96, 0, 16}));  // the axes' buffer
    EXPECT_EQ(c[8].args, (std::vector<std::int64_t>{D3DPT_LINELIST, 0, 3}));
    EXPECT_EQ(c[9].args, (std::vector<std::int64_t>{128, 0, 0x42, D3DPOOL_MANAGED}));
    EXPECT_EQ(c[10].args, (std::vector<std::int64_t>{72, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED}));
    EXPECT_EQ(c[12].args, (std::vector<std::int64_t>{0, 128, 0, 16}));  // the cube's buffer
    EXPECT_EQ(c[13].args, (std::vector<std::int64_t>{72}));
    EXPECT_EQ(c[14].args, (std::vector<std::int64_t>{D3DPT_TRIANGLELIST, 0, 0, 8, 0, 12}));
}

TEST_F(SceneOnRecorder, FirstFrameLooksAtTheOriginFromTwentyUnitsBack) {
    drawFrame();
    const D3DMATRIX& view = recorder.calls[4].matrix;
    const Point origin = transform({0, 0, 0}, view);
    EXPECT_FLOAT_EQ(origin.x, 0.0f);
    EXPECT_FLOAT_EQ(origin.y, 0.0f);
    EXPECT_FLOAT_EQ(origin.z, 20.0f);  // 20 units straight ahead of the eye
    const Point upward = transform({0, 1, 0}, view);
    EXPECT_FLOAT_EQ(upward.y, 1.0f);  // +y stays up
}

TEST_F(SceneOnRecorder, FirstFrameCubeSpansThreeToThirteen) {
    drawFrame();
    const auto w = recorder.transforms(D3DTS_WORLD);  // the axes', then the cube's
    ASSERT_EQ(w.size(), 2u);
    for (const ColoredVertex& v : vertices()) {
        const Point p = transform({v.x, v.y, v.z}, w[1]);
        for (float coord : {p.x, p.y, p.z}) {
            EXPECT_TRUE(coord == 3.0f || coord == 13.0f) << coord;
        }
    }
    const Point axisEnd = transform({20, 0, 0}, w[0]);  // axes unturned at 0°
    EXPECT_FLOAT_EQ(axisEnd.x, 20.0f);
    EXPECT_FLOAT_EQ(axisEnd.y, 0.0f);
}

TEST_F(SceneOnRecorder, CameraOffsetsMoveTheEye) {
    camX = 2.0f;
    camY = -1.0f;
    camZ = 3.0f;  // three Page Ups: eye at (2, -1, -17)
    drawFrame();
    const D3DMATRIX& view = recorder.calls[4].matrix;
    // The eye itself maps to the view-space origin.
    const Point eye = transform({2.0f, -1.0f, -17.0f}, view);
    EXPECT_NEAR(eye.x, 0.0f, 1e-5);
    EXPECT_NEAR(eye.y, 0.0f, 1e-5);
    EXPECT_NEAR(eye.z, 0.0f, 1e-5);
    const Point origin = transform({0, 0, 0}, view);
    EXPECT_NEAR(origin.z, std::sqrt(4.0f + 1.0f + 289.0f), 1e-4);
}

TEST_F(SceneOnRecorder, SpinTurnsAboutZThenYThenXByOneDegreePerFrame) {
    for (int frame = 0; frame < 90; ++frame) drawFrame();
    recorder.calls.clear();
    drawFrame();                                      // frame 90, drawn at 90°
    const auto w = recorder.transforms(D3DTS_WORLD);  // the axes', then the cube's
    ASSERT_EQ(w.size(), 2u);
    // At 90°: z turns +x to +y, y then leaves +y alone, x turns +y to +z.
    const Point p = transform({1, 0, 0}, w[0]);
    EXPECT_NEAR(p.x, 0.0f, 1e-6);
    EXPECT_NEAR(p.y, 0.0f, 1e-6);
    EXPECT_NEAR(p.z, 1.0f, 1e-6);
    // The cube's centre is moved to (8, 8, 8) before it turns with the axes.
    const Point centre = transform({0, 0, 0}, w[1]);
    const Point expected = transform({8, 8, 8}, w[0]);
    EXPECT_NEAR(centre.x, expected.x, 1e-5);
    EXPECT_NEAR(centre.y, expected.y, 1e-5);
    EXPECT_NEAR(centre.z, expected.z, 1e-5);
}

TEST_F(SceneOnRecorder, AngleCyclesThroughZeroTo359) {
    for (int frame = 0; frame < 360; ++frame) {
        EXPECT_EQ(angleDeg, static_cast<float>(frame));
        drawFrame();
        EXPECT_NE(angleDeg, 360.0f);
    }
    EXPECT_EQ(angleDeg, 0.0f);  // frame 360 is drawn at 0° again
}

TEST_F(SceneOnRecorder, BuffersDoNotPileUp) {
    for (int frame = 0; frame < 1000; ++frame) drawFrame();
    EXPECT_EQ(recorder.liveBuffers, 2);  // the two slots; the axes' buffers are gone
}

TEST_F(SceneOnRecorder, AxesAreThreeLinesFromTheOrigin) {
    buildAxes(20.0f, 0x00FFFFFF);
    const auto v = vertices();
    ASSERT_EQ(v.size(), 6u);
    const Point expected[] = {{0, 0, 0}, {20, 0, 0}, {0, 0, 0}, {0, 20, 0}, {0, 0, 0}, {0, 0, 20}};
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(v[i].x, expected[i].x);
        EXPECT_EQ(v[i].y, expected[i].y);
        EXPECT_EQ(v[i].z, expected[i].z);
        EXPECT_EQ(v[i].color, 0x00FFFFFFu);
    }
}

TEST_F(SceneOnRecorder, CubeTrianglesAreClockwiseFromOutsideAndCoverEveryFace) {
    buildCube(10.0f);
    const auto v = vertices();
    const auto idx = indices();
    ASSERT_EQ(v.size(), 8u);
    ASSERT_EQ(idx.size(), 36u);
    for (const ColoredVertex& corner : v) {
        EXPECT_EQ(std::fabs(corner.x), 5.0f);
        EXPECT_EQ(std::fabs(corner.y), 5.0f);
        EXPECT_EQ(std::fabs(corner.z), 5.0f);
    }
    int facesSeen[6] = {};
    for (std::size_t t = 0; t < 12; ++t) {
        const ColoredVertex& a = v.at(idx[t * 3]);
        const ColoredVertex& b = v.at(idx[t * 3 + 1]);
        const ColoredVertex& c = v.at(idx[t * 3 + 2]);
        // In left-handed coordinates, (b - a) × (c - a) points toward a viewer who
        // sees a, b, c clockwise; from outside that is away from the centre.
        const Point e1{b.x - a.x, b.y - a.y, b.z - a.z};
        const Point e2{c.x - a.x, c.y - a.y, c.z - a.z};
        const Point n{e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z,
                      e1.x * e2.y - e1.y * e2.x};
        const Point centroid{(a.x + b.x + c.x) / 3, (a.y + b.y + c.y) / 3, (a.z + b.z + c.z) / 3};
        EXPECT_GT(n.x * centroid.x + n.y * centroid.y + n.z * centroid.z, 0.0f) << "triangle " << t;
        // All three corners share one face coordinate.
        int face = -1;
        if (a.x == b.x && b.x == c.x) face = a.x < 0 ? 0 : 1;
        if (a.y == b.y && b.y == c.y) face = a.y < 0 ? 2 : 3;
        if (a.z == b.z && b.z == c.z) face = a.z < 0 ? 4 : 5;
        ASSERT_GE(face, 0) << "triangle " << t;
        ++facesSeen[face];
    }
    for (int count : facesSeen) EXPECT_EQ(count, 2);
}

TEST_F(SceneOnRecorder, CubeCornerColours) {
    buildCube(10.0f);
    const auto v = vertices();
    const D3DCOLOR expected[] = {0xFFFF0000, 0xFFFFFF00, 0xFFFFFF00, 0xFF00FFFF,
                                 0xFFFF00FF, 0xFF00FF00, 0xFF00FF00, 0xFF0000FF};
    for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(v[i].color, expected[i]) << "corner " << i;
    EXPECT_EQ(v[0].x, -5.0f);  // corner 0 is (-h, h, -h)
    EXPECT_EQ(v[0].y, 5.0f);
    EXPECT_EQ(v[7].z, 5.0f);  // corner 7 is (h, -h, h)
}

}  // namespace
