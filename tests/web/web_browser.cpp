// The page tests' side of page_driver.py: the driver started as an e2e Process, and each
// command a verb and a length on one line, then its bytes, written to one FIFO and
// answered the same way ("ok" or "error") on the other.
#include "tests/web/web_browser.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "tests/e2e/support/poll.h"

namespace e2e {
namespace {

constexpr int kStartMs = 30000;    // Chromium's first start on a busy machine takes seconds
constexpr int kAnswerMs = 120000;  // a script or a page load may take long; never forever

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

// One answer: its bytes in *payload; false (the payload then the reason) for "error".
bool readAnswer(const Browser& browser, std::string* payload, std::string* error) {
    std::string line, c;
    while (line.size() < 64 && readExactly(browser.answers, 1, &c) && c != "\n") line += c;
    char verb[16] = {};
    std::size_t length = 0;
    if (std::sscanf(line.c_str(), "%15s %zu", verb, &length) != 2 ||
        !readExactly(browser.answers, length, payload)) {
        *error = browser.driver.failure("gave no answer");
        return false;
    }
    if (std::string(verb) == "ok") return true;
    *error = *payload;
    return false;
}

bool call(const Browser& browser, const std::string& verb, const std::string& text,
          std::string* answer, std::string* error) {
    const std::string message = verb + " " + std::to_string(text.size()) + "\n" + text;
    for (std::size_t sent = 0; sent < message.size();) {
        const ssize_t n = ::write(browser.commands, message.data() + sent, message.size() - sent);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *error = browser.driver.failure("took no command");
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return readAnswer(browser, answer, error);
}

}  // namespace

bool startBrowser(const std::string& webDir, Browser* browser, std::string* error) {
    static int serial = 0;  // one pair for each browser this process starts
    const std::string pair = std::to_string(++serial);
    const std::string commands = runPath("page-driver-commands-" + pair);
    const std::string answers = runPath("page-driver-answers-" + pair);
    if (::mkfifo(commands.c_str(), 0600) != 0 || ::mkfifo(answers.c_str(), 0600) != 0) {
        *error = "cannot make the driver's FIFOs in " + commands;
        return false;
    }
    // Ours first, so neither side's open waits for a peer that has died.
    browser->answers = ::open(answers.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    // Debian's python, which has python3-selenium, whatever python3 comes first in PATH.
    browser->driver = Process(Launch{"the page driver (tests/web/page_driver.py)",
                                     {"/usr/bin/python3", WEB_PAGE_DRIVER, webDir, WEB_SERVE_SCRIPT,
                                      runPath("chromium-profile"), commands, answers}});
    if (browser->answers < 0 || !readAnswer(*browser, &browser->base, error)) {
        if (error->empty()) *error = "cannot open " + answers;
        stopBrowser(browser);
        return false;
    }
    const bool opened = pollUntil(
        [&] {
            browser->commands = ::open(commands.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            return browser->commands >= 0;
        },
        Poll{kStartMs, 20, {&browser->driver}, "the page driver reading its commands"}, error);
    if (!opened) {
        stopBrowser(browser);
        return false;
    }
    ::fcntl(browser->commands, F_SETFL, 0);  // blocking writes from here on
    return true;
}

void stopBrowser(Browser* browser) {
    if (browser->commands >= 0) ::close(browser->commands);  // the driver quits the session
    if (browser->driver.started()) browser->driver.waitExit(10000);
    browser->driver.stop();  // the whole group: the server, chromedriver and Chromium too
    if (browser->answers >= 0) ::close(browser->answers);
    browser->commands = browser->answers = -1;
}

bool started(const Browser& browser) {
    return browser.commands >= 0;
}

bool navigate(const Browser& browser, const std::string& path, std::string* error) {
    std::string ignored;
    return call(browser, "open", path, &ignored, error);
}

bool runScript(const Browser& browser, const std::string& script, std::string* result,
               std::string* error) {
    return call(browser, "script", script, result, error);
}

bool pressKey(const Browser& browser, const std::string& key, std::string* error) {
    std::string ignored;
    return call(browser, "key", key, &ignored, error);
}

bool drag(const Browser& browser, int x, int y, int dx, int dy, std::string* error) {
    std::ostringstream text;
    text << x << ' ' << y << ' ' << dx << ' ' << dy;
    std::string ignored;
    return call(browser, "drag", text.str(), &ignored, error);
}

bool consoleErrors(const Browser& browser, std::vector<std::string>* errors, std::string* error) {
    std::string lines;
    if (!call(browser, "errors", "", &lines, error)) return false;
    errors->clear();
    std::istringstream in(lines);
    for (std::string line; std::getline(in, line);) errors->push_back(line);
    return true;
}

bool readCanvas(const Browser& browser, CanvasRead* read, std::string* error) {
    std::string answer;
    if (!call(browser, "canvas", "", &answer, error)) return false;
    const std::size_t split = answer.find('\n');
    int width = 0, height = 0;
    if (split == std::string::npos ||
        std::sscanf(answer.c_str(), "%ld %d %d", &read->frames, &width, &height) != 3) {
        *error = "the canvas read gave " + answer.substr(0, 200);
        return false;
    }
    const std::size_t count = static_cast<std::size_t>(width) * height;
    if (answer.size() - split - 1 != count * 3) {
        *error = "the canvas read gave " + std::to_string(answer.size() - split - 1) +
                 " bytes for " + std::to_string(count) + " pixels";
        return false;
    }
    const auto* rgb = reinterpret_cast<const unsigned char*>(answer.data() + split + 1);
    read->image.width = width;
    read->image.height = height;
    read->image.pixels.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        read->image.pixels[i] = (std::uint32_t{rgb[3 * i]} << 16) |
                                (std::uint32_t{rgb[3 * i + 1]} << 8) | rgb[3 * i + 2];
    }
    return true;
}

}  // namespace e2e
