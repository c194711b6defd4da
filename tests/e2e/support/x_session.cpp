#include "tests/e2e/support/x_session.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tests/e2e/support/poll.h"

namespace e2e {
namespace {

// The display number Xvfb writes to its -displayfd pipe once it accepts connections;
// -1 if it says nothing within 30 s (slow on a loaded machine, but not that slow).
int readDisplayNumber(int fd) {
    char buffer[32] = {};
    std::size_t used = 0;
    pollfd ready{fd, POLLIN, 0};
    while (used < sizeof(buffer) - 1 && poll(&ready, 1, 30000) == 1) {
        const ssize_t n = read(fd, buffer + used, sizeof(buffer) - 1 - used);
        if (n <= 0) break;
        used += static_cast<std::size_t>(n);
        if (std::memchr(buffer, '\n', used) != nullptr) break;
    }
    return used == 0 ? -1 : std::atoi(buffer);
}

}  // namespace

bool XSession::start(const XServerOptions& options, std::string* error) {
    stop();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        *error = std::string("cannot make a pipe for Xvfb: ") + std::strerror(errno);
        return false;
    }
    // Only the server's built-in fonts, whatever font packages the machine has: a fresh
    // machine has no others, and helpers that need fonts (twm) must work with these.
    std::vector<std::string> argv = {"Xvfb",    "-displayfd", std::to_string(fds[1]),
                                     "-screen", "0",          options.screen,
                                     "-fp",     "built-ins",  "-nolisten",
                                     "tcp",     "-noreset"};
    if (!options.authFile.empty()) argv.insert(argv.end(), {"-auth", options.authFile});
    server_ = Process({.name = "Xvfb", .argv = argv, .keepFds = {fds[1]}});
    close(fds[1]);
    display_ = readDisplayNumber(fds[0]);
    close(fds[0]);
    if (display_ < 0) {
        // Its pipe closes as it exits, a moment before its exit status can be read.
        pollUntil([this] { return !server_.alive(); }, {.timeoutMs = 500, .everyMs = 10});
        *error = server_.failure("reported no display (is the xvfb package installed?)");
        stop();
        return false;
    }
    if (options.authFile.empty()) {
        client_ = connect(name());
        if (client_ == nullptr) {
            *error = server_.failure("does not answer on " + name());
            stop();
            return false;
        }
    }
    return true;
}

bool XSession::startWindowManager(std::string* error) {
    const std::string rc = runPath("twmrc-" + std::to_string(display_));
    std::ofstream(rc) << "RandomPlacement\nNoTitle\nBorderWidth 0\nUsePPosition \"on\"\n";
    // In a UTF-8 locale twm cannot open its font set and exits at once.
    windowManager_ = Process({.name = "the window manager (twm)",
                              .argv = {"twm", "-display", name(), "-f", rc},
                              .environment = {{"LC_ALL", "C"}}});
    return pollUntil([this] { return windowManagerInCharge(client_); },
                     {.timeoutMs = 10000,
                      .watched = {&windowManager_},
                      .what = "it took charge of the root window"},
                     error);
}

void XSession::stop() {
    disconnect(client_);
    client_ = nullptr;
    windowManager_.stop();
    server_.stop();
    display_ = -1;
}

std::string XSession::name() const {
    std::string name = ":";  // two steps: GCC 12 misreports "lit" + std::string at -O3
    name += std::to_string(display_);
    return name;
}

::testing::AssertionResult XSession::stillThere() const {
    if (!server_.alive()) return ::testing::AssertionFailure() << server_.failure("is gone");
    if (client_ == nullptr) return ::testing::AssertionFailure() << "no connection to " << name();
    if (windowManager_.started() && (!windowManager_.alive() || !windowManagerInCharge(client_))) {
        return ::testing::AssertionFailure() << windowManager_.failure("is no longer in charge");
    }
    return ::testing::AssertionSuccess() << "Xvfb " << name() << " is there";
}

XSession* XSessionSuite::x_ = nullptr;
std::string XSessionSuite::error_;

void XSessionSuite::SetUpTestSuite() {
    x_ = new XSession;
    if (!x_->start({}, &error_)) FAIL() << error_;
}

void XSessionSuite::TearDownTestSuite() {
    delete x_;
    x_ = nullptr;
}

void XSessionSuite::SetUp() {
    ASSERT_TRUE(x_ != nullptr && x_->server().started()) << error_;
    ASSERT_TRUE(x_->stillThere());
}

void ViewerInX::showViewer(const std::string& path, const XServerOptions& options, bool underTwm) {
    std::string error;
    ASSERT_TRUE(x_.start(options, &error)) << error;
    ASSERT_TRUE(!underTwm || x_.startWindowManager(&error)) << error;
    viewer_ = startViewer(path, x_.name());
    window_ = findWindow(x_.client(), viewerWindow(path, viewer_), 10000);
    ASSERT_NE(window_, 0u) << viewer_.failure("showed no window");
}

namespace {

// VIEWER_E2E_COMMAND, when set, is started in place of `path` (words split at spaces):
// `qemu-aarch64 build/arm64/viewer` puts a viewer built for another machine in front of
// this build's headless frames. The window is still found by the file name and pid,
// which qemu-user both keeps.
std::vector<std::string> viewerCommand(const std::string& path) {
    const char* command = std::getenv("VIEWER_E2E_COMMAND");
    if (command == nullptr || *command == '\0') return {path};
    std::istringstream words(command);
    return {std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
}

}  // namespace

Process startViewer(const std::string& path, const std::string& display, const Environment& extra) {
    Environment environment = {
        {"DISPLAY", display}, {"SDL_VIDEODRIVER", ""}, {"WAYLAND_DISPLAY", ""}};
    environment.insert(environment.end(), extra.begin(), extra.end());
    return Process({.name = "the viewer", .argv = viewerCommand(path), .environment = environment});
}

WindowQuery viewerWindow(const std::string& path, const Process& viewer) {
    return {.title = kViewerTitle,
            .wmClass = std::filesystem::path(path).filename().string(),
            .pid = viewer.pid()};
}

}  // namespace e2e
