// The web back end's key table (the keypad with Num Lock too) and the lParam the core
// builds from it, and the canvas byte order: plain C++, checked
// without a browser.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "win/core.h"
#include "win/web/canvas_pixels.h"
#include "win/web/keys.h"

namespace {

using win::web::translateKey;

TEST(WebKeys, TableIsSortedForItsLookup) {
    EXPECT_TRUE(win::web::keyTableSorted());
}

struct Named {
    const char* code;
    WPARAM vk;
};

TEST(WebKeys, ControlKeysGiveTheDesktopCodes) {
    const Named keys[] = {
        {"PageUp", 0x21},    {"PageDown", 0x22}, {"End", 0x23},        {"Home", 0x24},
        {"ArrowLeft", 0x25}, {"ArrowUp", 0x26},  {"ArrowRight", 0x27}, {"ArrowDown", 0x28},
        {"F1", 0x70},        {"F2", 0x71},       {"F3", 0x72},         {"F4", 0x73},
        {"F5", 0x74},        {"F6", 0x75},       {"F7", 0x76},         {"F10", 0x79},
        {"F12", 0x7B},       {"Escape", 0x1B},   {"Space", 0x20},      {"Enter", 0x0D},
        {"KeyA", 'A'},       {"KeyZ", 'Z'},      {"Digit0", '0'},      {"Digit9", '9'}};
    for (const Named& key : keys) EXPECT_EQ(translateKey(key.code, false).vk, key.vk) << key.code;
}

TEST(WebKeys, KeysWithoutACodeStillArriveNeverAsZero) {
    for (const char* code : {"", "Unidentified", "Lang1", "F", "KeyAA", "pageup"}) {
        EXPECT_EQ(translateKey(code, false).vk, win::web::kNoVirtualKey) << '"' << code << '"';
    }
}

TEST(WebKeys, TheScanCodeAndExtendedBitReachLParam) {
    const auto lParamOf = [](const char* code) {
        const win::web::KeyCode key = translateKey(code, false);
        return static_cast<std::uint32_t>(win::keyParamOf({key.vk, key.scan, key.extended}));
    };
    EXPECT_EQ(lParamOf("ArrowUp"), 0x01480001u);  // E0 48
    EXPECT_EQ(lParamOf("F5"), 0x003F0001u);
    EXPECT_EQ(lParamOf("Numpad8"), 0x00480001u);  // the keypad twin of the arrow: not E0
}

TEST(WebKeys, TheKeypadFollowsNumLockAsOnTheDesktop) {
    const Named off[] = {{"Numpad8", VK_UP},    {"Numpad2", VK_DOWN},        {"Numpad4", VK_LEFT},
                         {"Numpad6", VK_RIGHT}, {"Numpad9", VK_PRIOR},       {"Numpad3", VK_NEXT},
                         {"Numpad5", VK_CLEAR}, {"NumpadDecimal", VK_DELETE}};
    for (const Named& key : off) EXPECT_EQ(translateKey(key.code, false).vk, key.vk) << key.code;
    for (int digit = 0; digit <= 9; ++digit) {
        const std::string code = "Numpad" + std::to_string(digit);
        EXPECT_EQ(translateKey(code, true).vk, WPARAM(VK_NUMPAD0 + digit)) << code;
    }
    EXPECT_EQ(translateKey("NumpadDecimal", true).vk, WPARAM(VK_DECIMAL));
    EXPECT_EQ(translateKey("ArrowUp", true).vk, WPARAM(VK_UP));  // Num Lock leaves the arrows
}

TEST(WebCanvasPixels, BecomeOpaqueRgbaBytesWhateverTheXByte) {
    std::uint32_t pixels[] = {0x00112233u, 0xAB112233u, 0xFFFFFFFFu, 0x00000000u};
    win::web::toCanvasPixels(pixels, 4);
    const unsigned char expected[] = {0x11, 0x22, 0x33, 0xFF, 0x11, 0x22, 0x33, 0xFF,
                                      0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xFF};
    EXPECT_EQ(std::memcmp(pixels, expected, sizeof(expected)), 0);
}

}  // namespace
