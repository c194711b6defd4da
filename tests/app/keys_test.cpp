// The thirteen keys, through the window procedure, on a real device.
#include <gtest/gtest.h>

#include "app/app.h"
#include "scene/globals.h"
#include "scene/scene.h"
#include "tests/support/scene_window.h"
#include "win/headless/headless.h"

namespace {

class Keys : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(hWnd = test_support::openSceneWindow(mainWndProc), nullptr); }
    void TearDown() override { test_support::closeSceneWindow(); }

    void press(WPARAM key) { SendMessageW(hWnd, WM_KEYDOWN, key, 1); }
    DWORD state(D3DRENDERSTATETYPE which) {
        DWORD value = 0xDEADBEEF;
        EXPECT_EQ(device->GetRenderState(which, &value), D3D_OK);
        return value;
    }

    HWND hWnd = nullptr;
};

TEST_F(Keys, CameraKeysStepOneUnit) {
    struct Case {
        WPARAM key;
        float dx, dy, dz;
    };
    const Case cases[] = {{VK_PRIOR, 0, 0, 1}, {VK_NEXT, 0, 0, -1}, {VK_LEFT, -1, 0, 0},
                          {VK_RIGHT, 1, 0, 0}, {VK_UP, 0, 1, 0},    {VK_DOWN, 0, -1, 0}};
    for (const Case& c : cases) {
        camX = camY = camZ = 0.0f;
        press(c.key);
        press(c.key);  // an auto-repeat counts the same
        EXPECT_EQ(camX, 2 * c.dx) << c.key;
        EXPECT_EQ(camY, 2 * c.dy) << c.key;
        EXPECT_EQ(camZ, 2 * c.dz) << c.key;
    }
}

TEST_F(Keys, DefaultsHoldUntilAKeyChangesThem) {
    EXPECT_EQ(state(D3DRS_CULLMODE), static_cast<DWORD>(D3DCULL_CCW));
    EXPECT_EQ(state(D3DRS_SHADEMODE), static_cast<DWORD>(D3DSHADE_GOURAUD));
    EXPECT_EQ(state(D3DRS_ZENABLE), static_cast<DWORD>(D3DZB_TRUE));
    EXPECT_EQ(state(D3DRS_LIGHTING), static_cast<DWORD>(FALSE));
}

TEST_F(Keys, FunctionKeysSwitchRenderStatesAndTheLastOneWins) {
    struct Case {
        WPARAM key;
        D3DRENDERSTATETYPE state;
        DWORD value;
    };
    const Case cases[] = {
        {VK_F1, D3DRS_CULLMODE, D3DCULL_NONE},      {VK_F3, D3DRS_CULLMODE, D3DCULL_CW},
        {VK_F2, D3DRS_CULLMODE, D3DCULL_CCW},       {VK_F4, D3DRS_SHADEMODE, D3DSHADE_FLAT},
        {VK_F5, D3DRS_SHADEMODE, D3DSHADE_GOURAUD}, {VK_F7, D3DRS_ZENABLE, D3DZB_FALSE},
        {VK_F6, D3DRS_ZENABLE, D3DZB_TRUE},         {VK_F3, D3DRS_CULLMODE, D3DCULL_CW},
    };
    for (const Case& c : cases) {
        press(c.key);
        EXPECT_EQ(state(c.state), c.value) << "key 0x" << std::hex << c.key;
    }
}

TEST_F(Keys, OtherKeysChangeNothing) {
    press(VK_F3);
    for (WPARAM key :
         {VK_HOME, VK_END, VK_F8, VK_F12, VK_ESCAPE, VK_SPACE, WPARAM{'A'}, WPARAM{0xFF}}) {
        press(key);
    }
    EXPECT_EQ(camX, 0.0f);
    EXPECT_EQ(camY, 0.0f);
    EXPECT_EQ(camZ, 0.0f);
    EXPECT_EQ(state(D3DRS_CULLMODE), static_cast<DWORD>(D3DCULL_CW));
    EXPECT_EQ(state(D3DRS_SHADEMODE), static_cast<DWORD>(D3DSHADE_GOURAUD));
    EXPECT_EQ(state(D3DRS_ZENABLE), static_cast<DWORD>(D3DZB_TRUE));
}

TEST_F(Keys, KeysWithoutADeviceAreHarmless) {
    releaseDevice();
    for (WPARAM key = VK_F1; key <= VK_F7; ++key) press(key);
    press(VK_PRIOR);
    EXPECT_EQ(camZ, 1.0f);
    ASSERT_EQ(setupDevice(hWnd), D3D_OK);  // for TearDown
}

}  // namespace
