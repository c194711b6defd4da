// Wayland side of the end-to-end tests: weston nested in a virtual X display as a user
// would run it (X11 back end, pixman renderer, a private socket and runtime directory),
// the viewer as its client, and finding where weston shows that client on its output.
#pragma once

#include <string>

#include "helper_process.h"
#include "x_session.h"

namespace e2e {

struct Weston {
    Helper helper;             // weston itself
    std::string runtimeDir;    // its own XDG_RUNTIME_DIR (mode 0700), removed on stop
    std::string socket;        // the WAYLAND_DISPLAY clients use, inside runtimeDir
    unsigned long window = 0;  // its output window on the X display
};

// Starts weston on X display `display` and waits until it is ready: answering on its
// socket with a shell that takes windows, its output window viewable on X and the
// desktop drawn. Its window then has the X input focus, and its pointer rests in the
// desktop's top left corner, off any window it places. On failure returns false with
// *error naming weston in its own words; nothing is left running then.
bool startWeston(XClient* client, int display, Weston* weston, std::string* error);
void stopWeston(Weston* weston);

// The viewer as a client of `weston`: DISPLAY unset, WAYLAND_DISPLAY and the runtime
// directory set, then `extra` applied, stderr to errPath.
Helper startWaylandViewer(const std::string& path, const Weston& weston, const Environment& extra,
                          const std::string& errPath);

// Where a width × height client shows on weston's output, found by its frame: the
// bounding box of the long runs of black the scene is drawn on (weston's desktop and
// any decoration are never pure black in runs). False unless that box has exactly
// the client's size.
bool locateClient(const Image& output, int width, int height, int* x, int* y);
Image crop(const Image& image, int x, int y, int width, int height);

}  // namespace e2e
