// The viewer's page in a headless Chromium, compared with the same program run headless:
// the canvas shows the headless frames bit for bit, spins a degree per animation frame,
// answers the 13 control keys (F5 without reloading the page), follows a resize of its
// frame, and leaves the console free of errors.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "scene/globals.h"
#include "tests/e2e/support/reference.h"
#include "tests/web/web_browser.h"
#include "win/headless/headless.h"

namespace e2e {
namespace {

// The whole frame the headless viewer shows at `angle` with `keys` pressed before the
// first frame and the client resized to width × height.
Image headlessFrame(const std::vector<WPARAM>& keys, int width, int height, int angle) {
    Image image;
    camX = camY = camZ = 0.0f;
    angleDeg = 0.0f;
    win::headless::reset();
    win::headless::Hooks hooks;
    hooks.onWindowCreated = [&](HWND hWnd) {
        for (WPARAM key : keys) PostMessageW(hWnd, WM_KEYDOWN, key, 1);
        win::headless::setClientSize(hWnd, width, height);
    };
    hooks.onPresent = [&](HWND hWnd, int presents) {
        if (presents != angle + 1) return;
        const win::headless::Frame& frame = win::headless::lastFrame();
        image.width = frame.width;
        image.height = frame.height;
        image.pixels.resize(frame.pixels.size());
        for (std::size_t i = 0; i < frame.pixels.size(); ++i) {
            image.pixels[i] = frame.pixels[i] & 0xFFFFFF;
        }
        PostMessageW(hWnd, WM_CLOSE, 0, 0);
    };
    win::headless::setHooks(hooks);
    char cmdLine[] = "";
    WinMain(GetModuleHandleW(nullptr), nullptr, cmdLine, SW_SHOWDEFAULT);
    win::headless::reset();
    return image;
}

// "" when the images are the same pixels; else where the first difference is.
std::string difference(const Image& shown, const Image& expected) {
    if (shown.width != expected.width || shown.height != expected.height) {
        return "the canvas is " + std::to_string(shown.width) + " x " +
               std::to_string(shown.height) + ", the headless client " +
               std::to_string(expected.width) + " x " + std::to_string(expected.height);
    }
    std::size_t differing = 0, first = 0;
    for (std::size_t i = 0; i < shown.pixels.size(); ++i) {
        if (shown.pixels[i] == expected.pixels[i]) continue;
        if (differing++ == 0) first = i;
    }
    if (differing == 0) return "";
    char at[160];
    std::snprintf(at, sizeof(at), "%zu pixels differ, the first at (%zu, %zu): 0x%06X, not 0x%06X",
                  differing, first % shown.width, first / shown.width, shown.pixels[first],
                  expected.pixels[first]);
    return at;
}

// The angle the shown image is, and whether it is that headless frame exactly. Angles 0
// and 180 are one picture (the rotations about all three axes undo each other there), so
// either is taken.
struct Verdict {
    int angle = -1;
    std::string difference;
};
Verdict judge(const ReferenceSet& set, const std::vector<WPARAM>& keys, const Image& shown) {
    const Match match = bestMatch(set, shown);
    if (match.angle < 0) return {-1, "no headless frame looks like the canvas"};
    const auto differenceAt = [&](int angle) {
        return difference(shown, headlessFrame(keys, set.width, set.height, angle));
    };
    Verdict verdict{match.angle, differenceAt(match.angle)};
    if (!verdict.difference.empty() && match.angle % 180 == 0) {
        const int other = 180 - match.angle;
        if (differenceAt(other).empty()) return {other, ""};
    }
    return verdict;
}

class WebPage : public testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(startBrowser(WEB_DIR, &browser_, &error)) << error;
        ASSERT_TRUE(navigate(browser_, pageUrl(browser_, "index.html"), &error)) << error;
        ASSERT_TRUE(waitForFrames(1)) << "the page showed no frame";
    }
    void TearDown() override {
        std::vector<std::string> errors;
        std::string error;
        if (!browser_.session.empty()) {
            EXPECT_TRUE(consoleErrors(browser_, &errors, &error)) << error;
            for (const std::string& line : errors) ADD_FAILURE() << "console error: " << line;
        }
        stopBrowser(&browser_);
    }

    std::string script(const std::string& body) {
        std::string result, error;
        EXPECT_TRUE(runScript(browser_, body, &result, &error)) << error;
        return result;
    }
    long frames() { return std::atol(script("return String(Module.viewerPage.frames);").c_str()); }
    // True once the page has put `count` frames on the canvas, within 20 s.
    bool waitForFrames(long count) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            std::string result, error;
            if (!runScript(browser_,
                           "return String(window.Module && Module.viewerPage ? "
                           "Module.viewerPage.frames : 0);",
                           &result, &error)) {
                ADD_FAILURE() << error;
                return false;
            }
            if (std::atol(result.c_str()) >= count) return true;
            sleepMs(20);
        }
        return false;
    }
    CanvasRead read() {
        CanvasRead canvas;
        std::string error;
        EXPECT_TRUE(readCanvas(browser_, &canvas, &error)) << error;
        return canvas;
    }

    Browser browser_;
};

const ReferenceSet& startReferences() {
    return references({});
}

TEST_F(WebPage, ShowsTheHeadlessFramesExactlyWithTheWindowsTitleAndFocus) {
    EXPECT_EQ(script("return document.title;"), "Our Direct3D Program");
    EXPECT_EQ(script("return document.getElementById('title').textContent;"),
              "Our Direct3D Program");
    EXPECT_EQ(script("return document.activeElement ? document.activeElement.id : '';"), "canvas");
    std::vector<int> angles;
    for (int look = 0; look < 3; ++look) {
        const CanvasRead canvas = read();
        const Verdict verdict = judge(startReferences(), {}, canvas.image);
        EXPECT_EQ(verdict.difference, "") << "at angle " << verdict.angle;
        angles.push_back(verdict.angle);
        sleepMs(250);
    }
    EXPECT_TRUE(angles[0] != angles[1] || angles[1] != angles[2]) << "the scene does not turn";
}

TEST_F(WebPage, TurnsOneDegreePerAnimationFrame) {
    const CanvasRead first = read();
    sleepMs(400);
    const CanvasRead second = read();
    const int a = judge(startReferences(), {}, first.image).angle;
    const int b = judge(startReferences(), {}, second.image).angle;
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    const long shown = second.frames - first.frames;
    EXPECT_GE(shown, 5) << "frames came too slowly to judge";
    // 0 and 180 are one picture: there the turn is known only modulo half a turn.
    const int period = (a % 180 == 0 || b % 180 == 0) ? 180 : 360;
    EXPECT_EQ(((b - a) % period + period) % period, shown % period)
        << "the angle went from " << a << " to " << b << " over " << shown << " frames";
}

TEST_F(WebPage, FirstFrameWithinASecondOfLoading) {
    const double ms = std::atof(script("return String(Module.viewerPage.firstFrameMs);").c_str());
    RecordProperty("first_frame_ms", std::to_string(ms));  // in --gtest_output=xml
    EXPECT_GT(ms, 0.0);
    EXPECT_LT(ms, 1000.0) << "the first frame came " << ms << " ms after the page started loading";
}

TEST_F(WebPage, ResizingTheFrameStretchesTheFrameAndFollowsTheAspect) {
    // The resize handle is the client area's bottom-right corner: drag it 300 px left and
    // 100 px down, as a person would.
    const std::string corner = script(
        "const r = document.getElementById('client').getBoundingClientRect();"
        "return [Math.round(r.right) - 3, Math.round(r.bottom) - 3].join(',');");
    const int x = std::atoi(corner.c_str());
    const int y = std::atoi(corner.c_str() + corner.find(',') + 1);
    std::string error;
    ASSERT_TRUE(drag(browser_, x, y, -300, 100, &error)) << error;
    ASSERT_TRUE(waitForFrames(frames() + 3));
    const CanvasRead canvas = read();
    ASSERT_EQ(canvas.image.width, 500);
    ASSERT_EQ(canvas.image.height, 700);
    const Verdict verdict = judge(references({}, 500, 700), {}, canvas.image);
    EXPECT_EQ(verdict.difference, "") << "at angle " << verdict.angle;
}

struct KeyCase {
    const char* name;
    const char* webDriverKey;
    WPARAM vk;
};

// ctest lists a case by its key's name rather than its bytes.
void PrintTo(const KeyCase& key, std::ostream* out) {
    *out << key.name;
}

class WebPageKey : public WebPage, public testing::WithParamInterface<KeyCase> {};

TEST_P(WebPageKey, GivesTheHeadlessFrameForThatKeyWithoutReloading) {
    const KeyCase key = GetParam();
    script("window.sameDocument = true; return '';");
    std::string error;
    ASSERT_TRUE(pressKey(browser_, key.webDriverKey, &error)) << error;
    ASSERT_TRUE(waitForFrames(frames() + 3));
    const CanvasRead canvas = read();
    EXPECT_EQ(script("return String(window.sameDocument === true);"), "true")
        << "the page was reloaded or left";
    const Verdict verdict = judge(references({key.vk}), {key.vk}, canvas.image);
    EXPECT_EQ(verdict.difference, "") << "at angle " << verdict.angle;
}

INSTANTIATE_TEST_SUITE_P(
    ControlKeys, WebPageKey,
    testing::Values(KeyCase{"PageUp", "\uE00E", VK_PRIOR}, KeyCase{"PageDown", "\uE00F", VK_NEXT},
                    KeyCase{"Left", "\uE012", VK_LEFT}, KeyCase{"Up", "\uE013", VK_UP},
                    KeyCase{"Right", "\uE014", VK_RIGHT}, KeyCase{"Down", "\uE015", VK_DOWN},
                    KeyCase{"F1", "\uE031", VK_F1}, KeyCase{"F2", "\uE032", VK_F2},
                    KeyCase{"F3", "\uE033", VK_F3}, KeyCase{"F4", "\uE034", VK_F4},
                    KeyCase{"F5", "\uE035", VK_F5}, KeyCase{"F6", "\uE036", VK_F6},
                    KeyCase{"F7", "\uE037", VK_F7}),
    [](const testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
