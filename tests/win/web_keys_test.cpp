// The web back end's key table and lParam, and the canvas byte order: plain C++, checked
// without a browser.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

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
    for (const Named& key : keys) EXPECT_EQ(translateKey(key.code).vk, key.vk) << key.code;
}

TEST(WebKeys, KeysWithoutACodeStillArriveNeverAsZero) {
    for (const char* code : {"", "Unidentified", "Lang1", "F", "KeyAA", "pageup"}) {
        EXPECT_EQ(translateKey(code).vk, win::web::kNoVirtualKey) << '"' << code << '"';
    }
}

TEST(WebKeys, LParamCarriesScanCodeExtendedBitAndKeyState) {
    const win::web::KeyCode up = translateKey("ArrowUp");  // E0 48
    const win::web::KeyCode f5 = translateKey("F5");       // 3F
    const auto bits = [](LPARAM l) { return static_cast<std::uint32_t>(l); };

    EXPECT_EQ(bits(win::web::keyParam(up, true, false)), 0x01480001u);
    EXPECT_EQ(bits(win::web::keyParam(up, true, true)), 0x41480001u);  // a repeat: was down
    EXPECT_EQ(bits(win::web::keyParam(up, false, false)), 0xC1480001u);
    EXPECT_EQ(bits(win::web::keyParam(f5, true, false)), 0x003F0001u);
    EXPECT_EQ(bits(win::web::keyParam(f5, true, true)), 0x403F0001u);
}

TEST(WebCanvasPixels, BecomeOpaqueRgbaBytesWhateverTheXByte) {
    std::uint32_t pixels[] = {0x00112233u, 0xAB112233u, 0xFFFFFFFFu, 0x00000000u};
    win::web::toCanvasPixels(pixels, 4);
    const unsigned char expected[] = {0x11, 0x22, 0x33, 0xFF, 0x11, 0x22, 0x33, 0xFF,
                                      0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xFF};
    EXPECT_EQ(std::memcmp(pixels, expected, sizeof(expected)), 0);
}

}  // namespace
