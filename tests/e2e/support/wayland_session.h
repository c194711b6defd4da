// weston nested in a virtual X display as a user would run it (X11 back end, pixman
// renderer, a private socket and runtime directory), the viewer as its client, and
// finding where weston shows that client on its output.
#pragma once

#include <string>

#include "tests/e2e/support/process.h"
#include "tests/e2e/support/x_session.h"

namespace e2e {

class WaylandSession {
public:
    WaylandSession() = default;
    ~WaylandSession() { stop(); }
    WaylandSession(const WaylandSession&) = delete;
    WaylandSession& operator=(const WaylandSession&) = delete;

    // Starts weston on the X session and waits until it is ready: answering on its
    // socket with a shell that takes windows, its output window viewable on X and the
    // desktop drawn. Its window then has the X input focus, and the pointer rests in the
    // desktop's top left corner, off any window it places. On failure *error names weston
    // in its own words; nothing is left running then.
    bool start(const XSession& x, std::string* error);
    void stop();

    const Process& weston() const { return weston_; }
    unsigned long window() const { return window_; }  // its output window on X
    // The viewer as weston's client: DISPLAY unset, WAYLAND_DISPLAY and the runtime
    // directory set, then `extra` applied.
    Process startViewer(const std::string& path, const Environment& extra = {}) const;

private:
    Process weston_;
    std::string runtimeDir_;  // its own XDG_RUNTIME_DIR (mode 0700) among the run's files
    std::string socket_;      // the WAYLAND_DISPLAY clients use, inside runtimeDir_
    unsigned long window_ = 0;
};

// Where a width × height client shows on weston's output, found by its frame: the
// bounding box of the long runs of black the scene is drawn on (weston's desktop and
// any decoration are never pure black in runs). An empty box unless that box has
// exactly the client's size.
Box locateClient(const Image& output, int width, int height);
Image crop(const Image& image, const Box& box);

}  // namespace e2e
