// The SDL key → Win32 virtual-key table, without a display: codes are present and
// distinct, the keypad follows Num Lock, letters follow the layout, and the scan code
// and extended bit reach the lParam the core builds.
#include <gtest/gtest.h>

#include <SDL_keyboard.h>
#include <SDL_keycode.h>
#include <SDL_scancode.h>

#include <cstdint>
#include <set>
#include <tuple>

#include "win/core.h"
#include "win/sdl/keys.h"

namespace {

using win::sdl::keyTable;
using win::sdl::translateKey;

TEST(SdlKeys, EveryEntryHasItsOwnNonzeroCode) {
    std::set<int> scancodes;
    std::set<std::tuple<WPARAM, BYTE, bool>> codes;
    for (const auto& entry : keyTable()) {
        EXPECT_NE(entry.vk, 0u) << "scancode " << entry.scancode;
        EXPECT_NE(entry.vk, win::sdl::kNoVirtualKey) << "scancode " << entry.scancode;
        EXPECT_NE(entry.scan, 0) << "scancode " << entry.scancode;
        EXPECT_TRUE(scancodes.insert(entry.scancode).second) << "twice: " << entry.scancode;
        // Left and right twins share a VK but never the whole (VK, scan, extended) triple.
        EXPECT_TRUE(codes.insert({entry.vk, entry.scan, entry.extended}).second)
            << "same code for scancode " << entry.scancode;
    }
    EXPECT_GE(scancodes.size(), 100u);
}

// The keycode a key has when it types no character (letters are given explicitly).
SDL_Keycode plainKey(SDL_Scancode scancode) {
    return SDL_SCANCODE_TO_KEYCODE(scancode);
}

struct Expect {
    SDL_Scancode scancode;
    WPARAM vk;
    BYTE scan;
    bool extended;
};

void expectKeys(std::initializer_list<Expect> cases, bool numLock) {
    for (const Expect& c : cases) {
        const SDL_Keycode keycode = plainKey(c.scancode);
        const auto key = translateKey(c.scancode, keycode, numLock);
        EXPECT_EQ(key.vk, c.vk) << SDL_GetScancodeName(c.scancode) << " numLock " << numLock;
        EXPECT_EQ(key.scan, c.scan) << SDL_GetScancodeName(c.scancode);
        EXPECT_EQ(key.extended, c.extended) << SDL_GetScancodeName(c.scancode);
    }
}

TEST(SdlKeys, NavigationAndFunctionKeys) {
    expectKeys(
        {{SDL_SCANCODE_LEFT, 0x25, 0x4B, true},       {SDL_SCANCODE_UP, 0x26, 0x48, true},
         {SDL_SCANCODE_RIGHT, 0x27, 0x4D, true},      {SDL_SCANCODE_DOWN, 0x28, 0x50, true},
         {SDL_SCANCODE_PAGEUP, 0x21, 0x49, true},     {SDL_SCANCODE_PAGEDOWN, 0x22, 0x51, true},
         {SDL_SCANCODE_END, 0x23, 0x4F, true},        {SDL_SCANCODE_HOME, 0x24, 0x47, true},
         {SDL_SCANCODE_INSERT, 0x2D, 0x52, true},     {SDL_SCANCODE_DELETE, 0x2E, 0x53, true},
         {SDL_SCANCODE_ESCAPE, 0x1B, 0x01, false},    {SDL_SCANCODE_SPACE, 0x20, 0x39, false},
         {SDL_SCANCODE_RETURN, 0x0D, 0x1C, false},    {SDL_SCANCODE_TAB, 0x09, 0x0F, false},
         {SDL_SCANCODE_BACKSPACE, 0x08, 0x0E, false}, {SDL_SCANCODE_LSHIFT, 0x10, 0x2A, false},
         {SDL_SCANCODE_RSHIFT, 0x10, 0x36, false},    {SDL_SCANCODE_LCTRL, 0x11, 0x1D, false},
         {SDL_SCANCODE_RCTRL, 0x11, 0x1D, true},      {SDL_SCANCODE_LALT, 0x12, 0x38, false},
         {SDL_SCANCODE_RALT, 0x12, 0x38, true},       {SDL_SCANCODE_SEMICOLON, 0xBA, 0x27, false},
         {SDL_SCANCODE_SLASH, 0xBF, 0x35, false}},
        false);
    // F1–F12 are 0x70–0x7B; F11 and F12 sit apart from F1–F10 in scan codes.
    for (int i = 0; i < 12; ++i) {
        const auto scancode = static_cast<SDL_Scancode>(SDL_SCANCODE_F1 + i);
        const auto key = translateKey(scancode, plainKey(scancode), false);
        EXPECT_EQ(key.vk, WPARAM(0x70 + i)) << "F" << i + 1;
        EXPECT_EQ(key.scan, i < 10 ? 0x3B + i : 0x57 + (i - 10)) << "F" << i + 1;
    }
}

TEST(SdlKeys, KeypadFollowsNumLock) {
    // Off: the keypad is a second navigation block, told apart by the missing extended bit.
    expectKeys({{SDL_SCANCODE_KP_8, 0x26, 0x48, false},
                {SDL_SCANCODE_KP_2, 0x28, 0x50, false},
                {SDL_SCANCODE_KP_4, 0x25, 0x4B, false},
                {SDL_SCANCODE_KP_6, 0x27, 0x4D, false},
                {SDL_SCANCODE_KP_9, 0x21, 0x49, false},
                {SDL_SCANCODE_KP_3, 0x22, 0x51, false},
                {SDL_SCANCODE_KP_7, 0x24, 0x47, false},
                {SDL_SCANCODE_KP_1, 0x23, 0x4F, false},
                {SDL_SCANCODE_KP_0, 0x2D, 0x52, false},
                {SDL_SCANCODE_KP_PERIOD, 0x2E, 0x53, false},
                {SDL_SCANCODE_KP_5, 0x0C, 0x4C, false}},
               false);
    // On: VK_NUMPAD0–9 (0x60–0x69) and VK_DECIMAL (0x6E).
    const SDL_Scancode digits[] = {SDL_SCANCODE_KP_0, SDL_SCANCODE_KP_1, SDL_SCANCODE_KP_2,
                                   SDL_SCANCODE_KP_3, SDL_SCANCODE_KP_4, SDL_SCANCODE_KP_5,
                                   SDL_SCANCODE_KP_6, SDL_SCANCODE_KP_7, SDL_SCANCODE_KP_8,
                                   SDL_SCANCODE_KP_9};
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(translateKey(digits[i], SDLK_KP_0 + i, true).vk, WPARAM(0x60 + i)) << i;
    }
    EXPECT_EQ(translateKey(SDL_SCANCODE_KP_PERIOD, SDLK_KP_PERIOD, true).vk, 0x6Eu);
    // Operators and Enter do not depend on Num Lock.
    for (bool numLock : {false, true}) {
        expectKeys({{SDL_SCANCODE_KP_MULTIPLY, 0x6A, 0x37, false},
                    {SDL_SCANCODE_KP_PLUS, 0x6B, 0x4E, false},
                    {SDL_SCANCODE_KP_MINUS, 0x6D, 0x4A, false},
                    {SDL_SCANCODE_KP_DIVIDE, 0x6F, 0x35, true},
                    {SDL_SCANCODE_KP_ENTER, 0x0D, 0x1C, true}},
                   numLock);
    }
}

TEST(SdlKeys, LettersFollowTheLayoutDigitsThePosition) {
    for (int i = 0; i < 26; ++i) {
        const auto scancode = static_cast<SDL_Scancode>(SDL_SCANCODE_A + i);
        EXPECT_EQ(translateKey(scancode, SDLK_a + i, false).vk, WPARAM('A' + i));
    }
    // AZERTY: the key in the Q position types 'a', the one in the A position types 'q'.
    EXPECT_EQ(translateKey(SDL_SCANCODE_Q, SDLK_a, false).vk, WPARAM('A'));
    EXPECT_EQ(translateKey(SDL_SCANCODE_A, SDLK_q, false).vk, WPARAM('Q'));
    EXPECT_EQ(translateKey(SDL_SCANCODE_A, SDLK_q, false).scan, 0x1E) << "scan code stays physical";
    // The AZERTY digit row types '&' unshifted, yet Win32 still reports '1'.
    EXPECT_EQ(translateKey(SDL_SCANCODE_1, SDLK_AMPERSAND, false).vk, WPARAM('1'));
    EXPECT_EQ(translateKey(SDL_SCANCODE_0, SDLK_0, false).vk, WPARAM('0'));
}

TEST(SdlKeys, KeysWithoutACodeStillArriveWithTheReservedOne) {
    for (SDL_Scancode scancode : {SDL_SCANCODE_MUTE, SDL_SCANCODE_AC_BACK, SDL_SCANCODE_UNKNOWN}) {
        const auto key = translateKey(scancode, plainKey(scancode), false);
        EXPECT_EQ(key.vk, win::sdl::kNoVirtualKey) << SDL_GetScancodeName(scancode);
    }
}

TEST(SdlKeys, TheScanCodeAndExtendedBitReachLParam) {
    const auto lParamOf = [](SDL_Scancode scancode, SDL_Keycode keycode) {
        const auto key = translateKey(scancode, keycode, false);
        return static_cast<std::uint32_t>(win::keyParamOf({key.vk, key.scan, key.extended}));
    };
    EXPECT_EQ(lParamOf(SDL_SCANCODE_A, SDLK_a), 0x001E0001u);
    EXPECT_EQ(lParamOf(SDL_SCANCODE_UP, SDLK_UP), 0x01480001u);        // E0 48
    EXPECT_EQ(lParamOf(SDL_SCANCODE_KP_8, SDLK_KP_8), 0x00480001u);    // the keypad twin: 48
    EXPECT_EQ(lParamOf(SDL_SCANCODE_RCTRL, SDLK_RCTRL), 0x011D0001u);  // E0 1D
}

}  // namespace
