// The Mesa comparison draws the viewer's scene where the viewer draws it: with the
// same matrices loaded as is, the cube's centre at angle 0 lands on pixel (606, 93)
// (row 506 counted from GL's bottom) and the x axis runs along the middle row.
// Skipped when the build has no OSMesa.
#include <gtest/gtest.h>

#include <memory>

#include "bench/mesa_scene.h"
#include "bench/scene_record.h"
#include "bench/session.h"

namespace {

struct Rgb {
    int r, g, b;
};

class MesaScene : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        mesa = bench::openMesaScene(bench::kWidth, bench::kHeight, &why);
        if (mesa == nullptr) GTEST_SKIP() << why;
        ASSERT_TRUE(bench::recordScene(bench::kStartCamera, scene.get(), &why)) << why;
    }
    void TearDown() override { bench::closeMesaScene(mesa); }

    void drawAngle0(bool cull) {
        const bench::FrameTransforms& t = scene->frames[0];
        bench::MesaFrame f;
        f.projection = &t.projection.m[0][0];
        f.axesWorldView = &t.axesWorldView.m[0][0];
        f.cubeWorldView = &t.cubeWorldView.m[0][0];
        f.axes = scene->axes.data();
        f.axesVertexCount = static_cast<int>(scene->axes.size());
        f.cube = scene->cube.data();
        f.cubeVertexCount = static_cast<int>(scene->cube.size());
        f.cubeIndices = scene->cubeIndices.data();
        f.cubeIndexCount = static_cast<int>(scene->cubeIndices.size());
        f.cullCounterClockwise = cull;
        ASSERT_EQ(bench::drawMesaFrame(mesa, f), 0u);
    }
    // (x, y) with y counted from the top, as the viewer's back buffer counts it.
    Rgb pixel(int x, int y) const {
        const std::uint8_t* p =
            bench::mesaPixels(mesa) + ((bench::kHeight - 1 - y) * bench::kWidth + x) * 4;
        return {p[0], p[1], p[2]};
    }

    bench::MesaScene* mesa = nullptr;
    std::unique_ptr<bench::SceneRecording> scene = std::make_unique<bench::SceneRecording>();
};

TEST_F(MesaScene, CullingKeepsTheNearFaceAndDrawingBothLetsTheFarFaceWin) {
    // The ray through the cube's centre crosses the near face z = -5 and the far face
    // z = +5 on their diagonals, whose corners are yellow (near) and green (far). Every
    // depth is 1.0, so with both windings drawn the later far face covers the near one.
    drawAngle0(true);
    const Rgb nearFace = pixel(606, 93);
    EXPECT_GT(nearFace.r, 240);
    EXPECT_GT(nearFace.g, 240);
    EXPECT_LT(nearFace.b, 16);

    drawAngle0(false);
    const Rgb farFace = pixel(606, 93);
    EXPECT_LT(farFace.r, 16);
    EXPECT_GT(farFace.g, 240);
    EXPECT_LT(farFace.b, 16);
}

TEST_F(MesaScene, AxesAreWhiteAndTheRestStaysClear) {
    drawAngle0(true);
    // The x axis lies on y = 0, the boundary between rows 299 and 300.
    const Rgb above = pixel(600, 299), below = pixel(600, 300);
    const bool white = (above.r == 255 && above.g == 255 && above.b == 255) ||
                       (below.r == 255 && below.g == 255 && below.b == 255);
    EXPECT_TRUE(white);
    // Nothing of the scene reaches the lower left corner.
    const Rgb corner = pixel(5, 594);
    EXPECT_EQ(corner.r + corner.g + corner.b, 0);
    EXPECT_NE(std::string(bench::mesaRenderer(mesa)), "");
}

}  // namespace
