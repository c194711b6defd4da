// The device's lifetime and the projection, on a recording device.
#include <gtest/gtest.h>

#include "recording_device.h"
#include "scene/globals.h"
#include "scene/scene.h"

namespace {

using scene_test::RecordingDevice;

struct LoggingDirect3D final : IDirect3D9 {
    std::vector<std::string>* log = nullptr;
    ULONG AddRef() override { return 2; }
    ULONG Release() override {
        log->push_back("direct3d");
        return 0;
    }
    UINT GetAdapterCount() override { return 1; }
    HRESULT CreateDevice(UINT, D3DDEVTYPE, HWND, DWORD, D3DPRESENT_PARAMETERS*,
                         IDirect3DDevice9**) override {
        return D3DERR_NOTAVAILABLE;
    }
};

class SceneDevice : public ::testing::Test {
protected:
    void SetUp() override {
        recorder.releaseLog = &log;
        d3d.log = &log;
        direct3d = &d3d;
        device = &recorder;
        vertexBuffer = nullptr;
        indexBuffer = nullptr;
    }
    void TearDown() override { releaseDevice(); }

    std::vector<std::string> log;
    RecordingDevice recorder;
    LoggingDirect3D d3d;
};

TEST_F(SceneDevice, ReleaseGoesBuffersThenDeviceThenDirect3D) {
    buildCube(10.0f);  // fills both slots
    releaseDevice();
    EXPECT_EQ(log, (std::vector<std::string>{"vertexBuffer", "indexBuffer", "device", "direct3d"}));
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(direct3d, nullptr);
    EXPECT_EQ(vertexBuffer, nullptr);
    EXPECT_EQ(indexBuffer, nullptr);
    releaseDevice();  // a second call finds nothing left to release
    EXPECT_EQ(log.size(), 4u);
}

TEST_F(SceneDevice, ProjectionFollowsTheClientAspect) {
    struct Case {
        int width, height;
        float aspect;
    };
    const Case cases[] = {
        {800, 600, 800.0f / 600.0f}, {1000, 500, 2.0f}, {1, 1, 1.0f}, {300, 900, 1.0f / 3.0f}};
    for (const Case& c : cases) {
        applyProjection(c.width, c.height);
        const std::vector<D3DMATRIX> projections = recorder.transforms(D3DTS_PROJECTION);
        ASSERT_FALSE(projections.empty());
        const D3DMATRIX& p = projections.back();
        EXPECT_NEAR(p._22, 2.4142137f, 1e-6);  // cot(22.5°): a 45° field of view
        EXPECT_FLOAT_EQ(p._22 / p._11, c.aspect) << c.width << "x" << c.height;
        // Near 0: the third and fourth columns are both (0, 0, 1, 0), so z/w is 1.
        EXPECT_EQ(p._33, 1.0f);
        EXPECT_EQ(p._34, 1.0f);
        EXPECT_EQ(p._43, 0.0f);
        EXPECT_EQ(p._44, 0.0f);
    }
    applyProjection(1000, 500);
    const D3DMATRIX wide = recorder.transforms(D3DTS_PROJECTION).back();
    EXPECT_EQ(wide._22, 2.0f * wide._11);  // exactly 2.0
}

TEST_F(SceneDevice, EmptyClientKeepsTheLastProjection) {
    applyProjection(800, 600);
    const std::size_t before = recorder.calls.size();
    applyProjection(0, 0);  // minimised
    applyProjection(640, 0);
    applyProjection(0, 480);
    EXPECT_EQ(recorder.calls.size(), before);
}

TEST_F(SceneDevice, SizeBeforeTheDeviceExistsChangesNothing) {
    device = nullptr;
    applyProjection(1000, 500);  // must not touch a missing device
    device = &recorder;
    EXPECT_TRUE(recorder.transforms(D3DTS_PROJECTION).empty());
}

}  // namespace
