// A test's own connection to an X server, and the windows on it as a person meets them:
// find one, read its title and what it shows, press keys into it, resize, minimise,
// restore and close it. X errors fail the test (x_errors.h) instead of ending it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/support/poll.h"

namespace e2e {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // 0x00RRGGBB, row-major
};

struct XClient;                                // an open connection to the server
XClient* connect(const std::string& display);  // ":N"
void disconnect(XClient* client);

// What a window is found by. Empty fields and pid 0 match any.
struct WindowQuery {
    std::string title{};    // _NET_WM_NAME, else WM_NAME
    std::string wmClass{};  // WM_CLASS's class name
    pid_t pid = 0;          // _NET_WM_PID: the program that made it
};

// The one viewable window that answers the query, at the top level or inside a window
// manager's frame; 0 if none within timeoutMs (0: one look). Hidden windows, and windows
// destroyed while it looks (a program's short-lived helper windows), are passed over.
unsigned long findWindow(XClient* client, const WindowQuery& query, int timeoutMs);
std::string windowTitle(XClient* client, unsigned long window);
// WM_CLASS: the instance name and the class name; both empty when the window has none.
std::pair<std::string, std::string> windowClass(XClient* client, unsigned long window);

struct Box {
    int x = 0;  // on the root window, pixels
    int y = 0;
    int width = 0;  // 0: the window could not be read
    int height = 0;
};
// The box a window takes on the screen with its window manager's frame, as `xwininfo
// -frame` shows it: the top-level window holding it, border included.
Box outerBox(XClient* client, unsigned long window);
// Where the window's own area lies on the screen; its size alone, false when unreadable.
Box clientBox(XClient* client, unsigned long window);
bool clientSize(XClient* client, unsigned long window, int* width, int* height);

// The frame a window manager (or the page) draws around the client: pixels a side.
struct FrameSides {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};
// _NET_FRAME_EXTENTS as the window manager set it on the window.
std::optional<FrameSides> frameExtents(XClient* client, unsigned long window);
// Whether a manager answers _NET_REQUEST_FRAME_EXTENTS for an unmapped window of ours
// within the poll: what a viewer asks before it maps its window, so the sign that a
// starting manager is ready (its EWMH check window comes before its event loop).
bool answersFrameExtents(XClient* client, const Poll& poll, std::string* error);
// The pointer moved over the window at (x, y) of its own area (window 0: the root),
// and the cursor image shown there (XFixes), ARGB; empty when unknown.
Image cursorOver(XClient* client, unsigned long window, int x, int y);
// The image of the server's arrow (the core font's left_ptr), read over a window of the
// test's own at (x, y) on the screen, gone again on return.
Image arrowCursor(XClient* client, int x, int y);
// Waits up to timeoutMs until the window has that client size.
bool waitForSize(XClient* client, unsigned long window, int width, int height, int timeoutMs);
// What the window shows; empty when it cannot be read.
Image grab(XClient* client, unsigned long window);

// Key events through the XTEST extension, as a keyboard would make them, with the input
// focus on the window. Keys held together, as a person presses a shortcut, are pressed
// in order and released in the reverse order ({"Alt_L", "F4"}).
void pressChord(XClient* client, unsigned long window, const std::vector<std::string>& keysymNames);
inline void pressKey(XClient* client, unsigned long window, const char* keysymName) {
    pressChord(client, window, {keysymName});
}
void resize(XClient* client, unsigned long window, int width, int height);
// Moves the window's top-left corner to (x, y) on the screen as it resizes it, so a big
// window stays whole on the screen (where XGetImage can read it).
void moveResize(XClient* client, unsigned long window, int x, int y, int width, int height);
// The window manager's minimise (an iconify request, ICCCM WM_CHANGE_STATE) and
// restore (a map request); both take effect only with a window manager running.
void iconify(XClient* client, unsigned long window);
// Shows a white window of our own over the whole of `window` for `ms`, then takes it
// away again: what it hid is exposed, to be drawn anew by its owner.
void coverFor(XClient* client, unsigned long window, int ms);
void restore(XClient* client, unsigned long window);
bool isViewable(XClient* client, unsigned long window);
// Whether some client holds SubstructureRedirect on the root window, which only a
// running window manager does.
bool windowManagerInCharge(XClient* client);
// The close request a window manager's close button sends: WM_DELETE_WINDOW.
void requestClose(XClient* client, unsigned long window);
// The input focus on the window and the pointer at its top left corner, as a user
// about to type into it leaves them.
void focusAndPoint(XClient* client, unsigned long window);

}  // namespace e2e
