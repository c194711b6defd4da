// A virtual X display for a test: Xvfb on a display number it picks itself (parallel
// runs never collide), the test's own connection to it, optionally a window manager,
// and the viewer started on it. Everything it started ends with it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/support/process.h"
#include "tests/e2e/support/x_window.h"

namespace e2e {

// The viewer's window title.
inline constexpr const char* kViewerTitle = "Our Direct3D Program";

struct XServerOptions {
    std::string screen = "1280x1024x24";  // WIDTHxHEIGHTxDEPTH of screen 0
    std::string authFile{};  // non-empty: only clients with a cookie from it get in (and the
                             // session has no connection of its own)
};

class XSession {
public:
    XSession() = default;
    ~XSession() { stop(); }
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    // Up once it has reported its display and (when it admits anyone) answered the
    // session's connection. On failure, *error names Xvfb in its own words and nothing
    // is left running.
    bool start(const XServerOptions& options, std::string* error);
    // twm, placing windows itself with neither title bar nor border, ready once it has
    // taken charge of the root window.
    bool startWindowManager(std::string* error);
    void stop();

    std::string name() const;  // ":N"
    XClient* client() const { return client_; }
    const Process& server() const { return server_; }
    // For a suite that keeps one session: the server still runs, answers, and the window
    // manager (if any) is still in charge.
    ::testing::AssertionResult stillThere() const;

private:
    Process server_;
    Process windowManager_;
    int display_ = -1;
    XClient* client_ = nullptr;
};

// A suite sharing one X session among its tests: started before the first, stopped
// after the last, checked still there before each.
class XSessionSuite : public ::testing::Test {
public:
    static void SetUpTestSuite();
    static void TearDownTestSuite();

protected:
    void SetUp() override;
    static XSession& x() { return *x_; }

private:
    static XSession* x_;
    static std::string error_;  // why it did not start
};

// A test with the viewer's window on an X server of its own; all end with the test.
class ViewerInX : public ::testing::Test {
protected:
    // Xvfb with `options`, under twm when asked, and the viewer at `path` on it with its
    // window found; the test fails where one of them does not come up.
    void showViewer(const std::string& path, const XServerOptions& options = {},
                    bool underTwm = false);

    XSession x_;
    Process viewer_;
    unsigned long window_ = 0;
};

// The viewer (or a test build of it) with DISPLAY set to `display`, "" to unset it.
// SDL_VIDEODRIVER and WAYLAND_DISPLAY are removed: a user's desktop must not send the
// viewer away from the test's server. `extra` is applied last.
Process startViewer(const std::string& path, const std::string& display,
                    const Environment& extra = {});
// The viewer's window, as only the process `viewer` shows it: its title, and the class
// SDL names after the executable.
WindowQuery viewerWindow(const std::string& path, const Process& viewer);

}  // namespace e2e
