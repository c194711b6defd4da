// The viewer's page in a headless Chromium, compared with the same program run headless:
// the canvas shows the headless frames bit for bit, spins a degree per animation frame,
// answers the 13 control keys (F5 without reloading the page) and keypad 8 with Num Lock
// off, is an 800 × 600 window frame included, follows a resize of its frame, closes by
// its close button with status 0, and leaves the console free of errors.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/support/poll.h"
#include "tests/e2e/support/reference.h"

namespace e2e {
namespace {

// Chromium driven as a person would, through page_driver.py (Debian's python3-selenium
// with chromedriver) and the static web server for build/web. The driver is an e2e
// Process in a process group of its own, which holds the server, chromedriver and
// Chromium: all gone with the test however it ends.
struct Browser {
    Process driver;
    int commands = -1;  // our ends of its two pipes
    int answers = -1;
};

constexpr int kAnswerMs = 120000;  // Chromium's start or a page load may take long; never forever

// Reads exactly `size` bytes, or fails once the driver has said nothing for kAnswerMs
// or has closed its end.
bool readExactly(int fd, std::size_t size, std::string* bytes) {
    bytes->clear();
    char buffer[65536];
    while (bytes->size() < size) {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, kAnswerMs) <= 0) return false;
        const ssize_t got = ::read(fd, buffer, std::min(sizeof buffer, size - bytes->size()));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        bytes->append(buffer, static_cast<std::size_t>(got));
    }
    return true;
}

// Each message, either way, is a verb and a length on one line, then its bytes; the
// driver answers "ok" or "error". False, with the test failed, unless "ok".
bool readAnswer(const Browser& browser, std::string* payload) {
    std::string line, c;
    while (line.size() < 64 && readExactly(browser.answers, 1, &c) && c != "\n") line += c;
    char verb[16] = {};
    std::size_t length = 0;
    if (std::sscanf(line.c_str(), "%15s %zu", verb, &length) != 2 ||
        !readExactly(browser.answers, length, payload)) {
        ADD_FAILURE() << browser.driver.failure("gave no answer");
        return false;
    }
    if (std::string(verb) == "ok") return true;
    ADD_FAILURE() << *payload;
    return false;
}

// Ends the session, then the driver and whatever it started.
void stopBrowser(Browser* browser) {
    if (browser->commands >= 0) ::close(browser->commands);  // the driver quits the session
    if (browser->driver.started()) browser->driver.waitExit(10000);
    browser->driver.stop();  // the whole group: the server, chromedriver and Chromium too
    if (browser->answers >= 0) ::close(browser->answers);
    browser->commands = browser->answers = -1;
}

// Starts the driver and waits for its session with headless Chromium; false, with the
// test failed and nothing left running, when it does not come.
bool startBrowser(Browser* browser) {
    int commands[2] = {-1, -1}, answers[2] = {-1, -1};  // [0] reads, [1] writes
    if (::pipe2(commands, O_CLOEXEC) != 0 || ::pipe2(answers, O_CLOEXEC) != 0) {
        for (const int fd : {commands[0], commands[1], answers[0], answers[1]}) {
            if (fd >= 0) ::close(fd);
        }
        ADD_FAILURE() << "cannot make the driver's pipes";
        return false;
    }
    // Debian's python, which has python3-selenium, whatever python3 comes first in PATH.
    browser->driver = Process({.name = "the page driver (tests/web/page_driver.py)",
                               .argv = {"/usr/bin/python3", WEB_PAGE_DRIVER, WEB_DIR,
                                        WEB_SERVE_SCRIPT, runPath("chromium-profile"),
                                        std::to_string(commands[0]), std::to_string(answers[1])},
                               .keepFds = {commands[0], answers[1]}});
    // Only the driver holds its ends: a driver gone is an end of file here at once.
    ::close(commands[0]);
    ::close(answers[1]);
    browser->commands = commands[1];
    browser->answers = answers[0];
    std::string base;  // the server's address, which the driver keeps
    if (readAnswer(*browser, &base)) return true;
    stopBrowser(browser);
    return false;
}

// What the canvas shows, with the number of frames the page had put on it when read.
struct CanvasRead {
    long frames = 0;
    Image image;  // 0x00RRGGBB
};

// How the headless viewer stands in for the page: keys pressed before the first frame,
// the frame the page drew around the canvas, and a client resized to width × height
// (0 × 0: left as the 800 × 600 box less the frame, as at start-up).
struct View {
    std::vector<WPARAM> keys;
    FrameSides frame;
    int width = 0;
    int height = 0;
};

// The whole frame the headless viewer shows at `angle`.
Image headlessFrame(const View& view, int angle) {
    ReferenceSet one =
        renderFrames(view.keys, view.width, view.height, view.frame, 1, angle, angle + 1);
    return {one.width, one.height, std::move(one.frames[0])};
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
Verdict judge(const View& view, const Image& shown) {
    const Match match =
        bestMatch(references(view.keys, view.width, view.height, view.frame), shown);
    if (match.angle < 0) return {-1, "no headless frame looks like the canvas"};
    const auto differenceAt = [&](int angle) {
        return difference(shown, headlessFrame(view, angle));
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
        if (browser().commands < 0) {
            ASSERT_TRUE(startBrowser(&browser()));
        }
        ASSERT_TRUE(command("open", "index.html"));
        ASSERT_TRUE(waitForFrames(1)) << "the page showed no frame";
        // The sides of the frame the page drew around the canvas, as a window manager's.
        const std::string sides = script(
            "const o = document.getElementById('frame').getBoundingClientRect();"
            "const i = document.getElementById('canvas').getBoundingClientRect();"
            "return [i.left - o.left, i.top - o.top, o.right - i.right, o.bottom - i.bottom]"
            ".map(Math.round).join(',');");
        ASSERT_EQ(std::sscanf(sides.c_str(), "%d,%d,%d,%d", &start_.frame.left, &start_.frame.top,
                              &start_.frame.right, &start_.frame.bottom),
                  4)
            << sides;
    }
    void TearDown() override {
        std::string errors;
        if (browser().commands >= 0 && command("errors", "", &errors)) {
            std::istringstream lines(errors);
            for (std::string line; std::getline(lines, line);) {
                ADD_FAILURE() << "console error: " << line;
            }
        }
        if (&browser() == &own_) stopBrowser(&own_);
    }

    // One command and its answer: "open" a page of the web build ("index.html"); run a
    // "script" (a function body), answered with what it returns as a string; press a
    // "key" as WebDriver spells it ("\uE035" for F5); "drag" the mouse "x y dx dy" in CSS
    // pixels of the viewport ("x y 0 0" clicks); the console's "errors" since the last
    // call, one a line; the "canvas" read through the page's own 2D context.
    bool command(const std::string& verb, const std::string& text, std::string* answer = nullptr) {
        const std::string message = verb + " " + std::to_string(text.size()) + "\n" + text;
        for (std::size_t sent = 0; sent < message.size();) {
            const ssize_t n =
                ::write(browser().commands, message.data() + sent, message.size() - sent);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                ADD_FAILURE() << browser().driver.failure("took no command");
                return false;
            }
            sent += static_cast<std::size_t>(n);
        }
        std::string ignored;
        return readAnswer(browser(), answer != nullptr ? answer : &ignored);
    }
    std::string script(const std::string& body) {
        std::string result;
        command("script", body, &result);
        return result;
    }
    long frames() { return std::atol(script("return String(Module.viewerPage.frames);").c_str()); }
    // True once `script` (a function body) returns "true", within 20 s.
    bool waitFor(const std::string& condition) {
        return pollUntil([&] { return script(condition) == "true"; },
                         Poll{20000, 20, {&browser().driver}, condition});
    }
    // True once the page has put `count` frames on the canvas, within 20 s.
    bool waitForFrames(long count) {
        return waitFor(
            "return String(window.Module && Module.viewerPage ? "
            "Module.viewerPage.frames >= " +
            std::to_string(count) + " : false);");
    }
    // The frame count, width and height on a line, then the RGB bytes.
    CanvasRead read() {
        CanvasRead canvas;
        std::string answer;
        if (!command("canvas", "", &answer)) return canvas;
        const std::size_t split = answer.find('\n');
        int width = 0, height = 0;
        if (split == std::string::npos ||
            std::sscanf(answer.c_str(), "%ld %d %d", &canvas.frames, &width, &height) != 3 ||
            answer.size() - split - 1 != 3 * std::size_t(width) * height) {
            ADD_FAILURE() << "the canvas read gave " << answer.substr(0, 200);
            return canvas;
        }
        const auto* rgb = reinterpret_cast<const unsigned char*>(answer.data() + split + 1);
        canvas.image = {width, height, std::vector<std::uint32_t>(std::size_t(width) * height)};
        for (std::size_t i = 0; i < canvas.image.pixels.size(); ++i) {
            canvas.image.pixels[i] = (std::uint32_t{rgb[3 * i]} << 16) |
                                     (std::uint32_t{rgb[3 * i + 1]} << 8) | rgb[3 * i + 2];
        }
        return canvas;
    }

    // Drags with the left button by (dx, dy) from the point `from` (a function body)
    // returns as "x,y", CSS pixels of the viewport, as a person would; (0, 0) clicks.
    bool drag(const std::string& from, int dx, int dy) {
        const std::string point = script(from);
        std::ostringstream text;
        text << std::atoi(point.c_str()) << ' ' << std::atoi(point.c_str() + point.find(',') + 1)
             << ' ' << dx << ' ' << dy;
        return command("drag", text.str());
    }
    // The page at start-up, drawn headless: no keys, the page's frame around the canvas.
    View startView() const { return start_; }
    View viewWithKey(WPARAM vk) const {
        View view = start_;
        view.keys = {vk};
        return view;
    }

    // The browser the test drives: its own, or one its suite shares.
    virtual Browser& browser() { return own_; }

    Browser own_;
    View start_;
};

TEST_F(WebPage, ShowsTheHeadlessFramesExactlyWithTheWindowsTitleAndFocus) {
    EXPECT_EQ(script("return document.title;"), "Our Direct3D Program");
    EXPECT_EQ(script("return document.getElementById('title').textContent;"),
              "Our Direct3D Program");
    EXPECT_EQ(script("return document.activeElement ? document.activeElement.id : '';"), "canvas");
    std::vector<int> angles;
    for (int look = 0; look < 3; ++look) {
        const CanvasRead canvas = read();
        const Verdict verdict = judge(startView(), canvas.image);
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
    const int a = judge(startView(), first.image).angle;
    const int b = judge(startView(), second.image).angle;
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
    // The resize handle is the window's bottom-right corner: drag it 300 px left and
    // 100 px down, as a person would. The box becomes 500 × 700, the client that less
    // the frame.
    ASSERT_TRUE(
        drag("const r = document.getElementById('frame').getBoundingClientRect();"
             "return [Math.round(r.right) - 3, Math.round(r.bottom) - 3].join(',');",
             -300, 100));
    ASSERT_TRUE(waitForFrames(frames() + 3));
    const CanvasRead canvas = read();
    View resized = startView();
    resized.width = 500 - resized.frame.left - resized.frame.right;
    resized.height = 700 - resized.frame.top - resized.frame.bottom;
    ASSERT_EQ(canvas.image.width, resized.width);
    ASSERT_EQ(canvas.image.height, resized.height);
    const Verdict verdict = judge(resized, canvas.image);
    EXPECT_EQ(verdict.difference, "") << "at angle " << verdict.angle;
}

// The 800 × 600 the program asks for is the outer box, frame included, as on the
// desktop; the canvas is the client inside it, and the projection keeps the back
// buffer's 4/3 although the client is not 4/3: the page reports no second size equal
// to the first (the start-up frames above match only so).
TEST_F(WebPage, TheWindowsOuterBoxIsTheFrameAndTheCanvas) {
    EXPECT_EQ(script("const r = document.getElementById('frame').getBoundingClientRect();"
                     "return [r.width, r.height].join('x');"),
              "800x600");
    const View start = startView();
    EXPECT_GT(start.frame.top, start.frame.bottom) << "no title bar above the canvas";
    const CanvasRead canvas = read();
    EXPECT_EQ(canvas.image.width, 800 - start.frame.left - start.frame.right);
    EXPECT_EQ(canvas.image.height, 600 - start.frame.top - start.frame.bottom);
    const Verdict verdict = judge(start, canvas.image);
    EXPECT_EQ(verdict.difference, "") << "at angle " << verdict.angle;
}

// The close button is the window's: WM_CLOSE, WinMain releases the device and returns
// 0, and the page says so under the program's one name, which is also the compiled
// code's argv[0] (the start of its lines on stderr).
TEST_F(WebPage, TheCloseButtonEndsTheProgramWithStatusZero) {
    ASSERT_TRUE(drag(
        "const r = document.getElementById('close').getBoundingClientRect();"
        "return [Math.round(r.left + r.width / 2), Math.round(r.top + r.height / 2)].join(',');",
        0, 0));
    EXPECT_TRUE(waitFor("return String(document.getElementById('status').textContent !== '');"));
    const std::string status = script("return document.getElementById('status').textContent;");
    const std::string program = script("return Module.thisProgram;");
    EXPECT_EQ(status, program + ": the program ended with status 0");
    EXPECT_EQ(program, "viewer");
    const long ended = frames();
    sleepMs(200);
    EXPECT_EQ(frames(), ended) << "frames after the program ended";
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

// The key cases share one browser session, each on a freshly loaded page.
class WebPageKey : public WebPage, public testing::WithParamInterface<KeyCase> {
protected:
    static Browser& shared() {
        static Browser browser;
        return browser;
    }
    Browser& browser() override { return shared(); }
    static void TearDownTestSuite() { stopBrowser(&shared()); }
};

TEST_P(WebPageKey, GivesTheHeadlessFrameForThatKeyWithoutReloading) {
    const KeyCase key = GetParam();
    script("window.sameDocument = true; return '';");
    ASSERT_TRUE(command("key", key.webDriverKey));
    ASSERT_TRUE(waitForFrames(frames() + 3));
    const CanvasRead canvas = read();
    EXPECT_EQ(script("return String(window.sameDocument === true);"), "true")
        << "the page was reloaded or left";
    const Verdict verdict = judge(viewWithKey(key.vk), canvas.image);
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

// With Num Lock off (the browser's state here) keypad 8 is the up arrow, as on the
// desktop: the camera moves.
TEST_F(WebPage, KeypadEightWithNumLockOffMovesTheCameraUp) {
    ASSERT_TRUE(command("key", "\uE022"));  // WebDriver's Numpad8
    ASSERT_TRUE(waitForFrames(frames() + 3));
    const Verdict verdict = judge(viewWithKey(VK_UP), read().image);
    EXPECT_EQ(verdict.difference, "") << "at angle " << verdict.angle;
}

}  // namespace
}  // namespace e2e
