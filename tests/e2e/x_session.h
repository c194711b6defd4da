// Driving the real viewer in a virtual X display as a person would: start it, find
// its window by title, press keys, resize, read what the window shows, ask it to close.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "helper_process.h"

namespace e2e {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // 0x00RRGGBB, row-major
};

// An Xvfb server on a display number it picks itself (so parallel runs do not collide).
// It is up once it answers a client; its stderr is kept for the message if it is not.
struct XServer {
    pid_t pid = -1;
    int display = -1;
    std::string errPath;
};
bool startXServer(XServer* server, std::string* error);
struct XServerOptions {
    std::string screen = "1280x1024x24";  // WIDTHxHEIGHTxDEPTH of screen 0
    std::string authFile;                 // non-empty: only clients with a cookie from it get in
};
bool startXServer(XServer* server, const XServerOptions& options, std::string* error);
void stopXServer(XServer* server);
// Xvfb as a helper, for the message when it stops answering.
Helper xServerHelper(const XServer& server);
// ":N", built in two steps: GCC 12 misreports "lit" + std::string at -O3.
std::string displayName(int display);
void stopProcess(pid_t pid);

// Starts the program with DISPLAY set (an empty display name unsets it) and stderr
// sent to errPath. With a display, SDL_VIDEODRIVER is removed: a user's choice of
// driver for their desktop must not send the viewer away from the test's server.
pid_t startProgram(const std::string& path, const std::string& display, const std::string& errPath);
// Waits up to timeoutMs for the process to end: its exit code, or -1 on time-out
// (then the process is killed), or 128 + signal when a signal ended it.
int waitExit(pid_t pid, int timeoutMs);

struct XClient;  // an open connection to the server
XClient* connect(int display);
void disconnect(XClient* client);

// The window whose title (_NET_WM_NAME or WM_NAME) equals title, at the top level or
// inside a window manager's frame; 0 if none appears viewable within timeoutMs (0: one
// look).
unsigned long findWindow(XClient* client, const std::string& title, int timeoutMs);
std::string windowTitle(XClient* client, unsigned long window);
// WM_CLASS: the instance name and the class name; false when the window has none.
bool windowClass(XClient* client, unsigned long window, std::string* name, std::string* cls);
bool clientSize(XClient* client, unsigned long window, int* width, int* height);
Image grab(XClient* client, unsigned long window);

// Key events through the XTEST extension, as a keyboard would make them.
void pressKey(XClient* client, unsigned long window, const char* keysymName);
void resize(XClient* client, unsigned long window, int width, int height);
// Moves the window's top-left corner to (x, y) on the screen as it resizes it, so a big
// window stays whole on the screen (where XGetImage can read it).
void moveResize(XClient* client, unsigned long window, int x, int y, int width, int height);
// The window manager's minimise (an iconify request, ICCCM WM_CHANGE_STATE) and
// restore (a map request); both take effect only with a window manager running.
void iconify(XClient* client, unsigned long window);
void restore(XClient* client, unsigned long window);
bool isViewable(XClient* client, unsigned long window);
// Whether some client holds SubstructureRedirect on the root window, which only a
// running window manager does.
bool windowManagerInCharge(XClient* client);
// The close request a window manager's close button sends: WM_DELETE_WINDOW.
void requestClose(XClient* client, unsigned long window);

}  // namespace e2e
