// The page tests' side of page_driver.py: the driver started as an e2e Process, and each
// command a verb and a length on one line, then its bytes, written to one pipe and
// answered the same way ("ok" or "error") on the other.
#include "tests/web/web_browser.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace e2e {
namespace {

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

}  // namespace

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

bool startBrowser(const std::string& webDir, Browser* browser, std::string* error) {
    int commands[2] = {-1, -1}, answers[2] = {-1, -1};  // [0] reads, [1] writes
    if (::pipe2(commands, O_CLOEXEC) != 0 || ::pipe2(answers, O_CLOEXEC) != 0) {
        for (const int fd : {commands[0], commands[1], answers[0], answers[1]}) {
            if (fd >= 0) ::close(fd);
        }
        *error = "cannot make the driver's pipes";
        return false;
    }
    // Debian's python, which has python3-selenium, whatever python3 comes first in PATH.
    browser->driver = Process({.name = "the page driver (tests/web/page_driver.py)",
                               .argv = {"/usr/bin/python3", WEB_PAGE_DRIVER, webDir,
                                        WEB_SERVE_SCRIPT, runPath("chromium-profile"),
                                        std::to_string(commands[0]), std::to_string(answers[1])},
                               .keepFds = {commands[0], answers[1]}});
    // Only the driver holds its ends: a driver gone is an end of file here at once.
    ::close(commands[0]);
    ::close(answers[1]);
    browser->commands = commands[1];
    browser->answers = answers[0];
    if (!readAnswer(*browser, &browser->base, error)) {
        stopBrowser(browser);
        return false;
    }
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
    read->image = {width, height, std::vector<std::uint32_t>(count)};
    for (std::size_t i = 0; i < count; ++i) {
        read->image.pixels[i] = (std::uint32_t{rgb[3 * i]} << 16) |
                                (std::uint32_t{rgb[3 * i + 1]} << 8) | rgb[3 * i + 2];
    }
    return true;
}

}  // namespace e2e
