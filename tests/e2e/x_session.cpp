// X11 side of the end-to-end tests: Xvfb, the viewer process, and Xlib/XTEST calls.
#include "x_session.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace e2e {

struct XClient {
    Display* display = nullptr;
};

namespace {

using Clock = std::chrono::steady_clock;

// A fresh file name in TMPDIR (or /tmp) that no parallel run shares.
std::string temporaryPath(const char* stem) {
    const char* dir = std::getenv("TMPDIR");
    std::string path = (dir != nullptr && *dir != '\0') ? dir : "/tmp";
    path += std::string("/") + stem + "-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd >= 0) close(fd);
    return path;
}

std::string readProperty(Display* d, Window w, Atom property, Atom type) {
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::string out;
    if (XGetWindowProperty(d, w, property, 0, 1024, False, type, &actualType, &format, &count,
                           &after, &data) == Success &&
        data != nullptr) {
        if (format == 8) out.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
    }
    return out;
}

}  // namespace

bool startXServer(XServer* server, std::string* error) {
    return startXServer(server, XServerOptions{}, error);
}

bool startXServer(XServer* server, const XServerOptions& options, std::string* error) {
    int fds[2];
    if (pipe(fds) != 0) {
        *error = "pipe failed";
        return false;
    }
    // Only the server's built-in fonts, whatever font packages the machine has: a fresh
    // machine has no others, and helpers that need fonts (twm) must work with these.
    std::vector<std::string> argv = {"Xvfb",    "-displayfd", std::to_string(fds[1]),
                                     "-screen", "0",          options.screen,
                                     "-fp",     "built-ins",  "-nolisten",
                                     "tcp",     "-noreset"};
    if (!options.authFile.empty()) {
        argv.push_back("-auth");
        argv.push_back(options.authFile);
    }
    Helper xvfb = startHelper("Xvfb", argv, {}, temporaryPath("viewer-xvfb-stderr"));
    close(fds[1]);
    server->pid = xvfb.pid;
    server->errPath = xvfb.errPath;
    // Xvfb writes its display number once it accepts connections; it may be slow to get
    // there on a loaded machine, but not this slow.
    char buffer[32] = {};
    std::size_t used = 0;
    pollfd ready{fds[0], POLLIN, 0};
    while (used < sizeof(buffer) - 1 && poll(&ready, 1, 30000) == 1) {
        const ssize_t n = read(fds[0], buffer + used, sizeof(buffer) - 1 - used);
        if (n <= 0) break;
        used += static_cast<std::size_t>(n);
        if (std::memchr(buffer, '\n', used) != nullptr) break;
    }
    close(fds[0]);
    if (used == 0) {
        // Its pipe closes as it exits, a moment before its exit status can be read.
        for (int waited = 0; waited < 500 && helperRunning(xvfb); waited += 10) sleepMs(10);
        *error = helperFailure(xvfb, "reported no display (is the xvfb package installed?)");
        stopXServer(server);
        return false;
    }
    server->display = std::atoi(buffer);
    // It answers: a client can connect (when the server lets anyone in) and round-trip.
    if (options.authFile.empty()) {
        XClient* client = connect(server->display);
        const bool answers = client != nullptr && XSync(client->display, False) != 0;
        disconnect(client);
        if (!answers) {
            *error = helperFailure(xvfb, "does not answer on " + displayName(server->display));
            stopXServer(server);
            return false;
        }
    }
    return true;
}

void stopXServer(XServer* server) {
    stopProcess(server->pid);
    server->pid = -1;
    if (!server->errPath.empty()) unlink(server->errPath.c_str());
}

Helper xServerHelper(const XServer& server) {
    return Helper{"Xvfb (" + displayName(server.display) + ")", server.pid, server.errPath};
}

std::string displayName(int display) {
    std::string name = ":";
    name += std::to_string(display);
    return name;
}

void stopProcess(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    if (waitExit(pid, 2000) == -1) waitpid(pid, nullptr, 0);
}

pid_t startProgram(const std::string& path, const std::string& display,
                   const std::string& errPath) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (display.empty()) {
            unsetenv("DISPLAY");
        } else {
            setenv("DISPLAY", display.c_str(), 1);
            unsetenv("SDL_VIDEODRIVER");
        }
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (err >= 0) dup2(err, 2);
        execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

int waitExit(pid_t pid, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            if (WIFEXITED(status)) return WEXITSTATUS(status);
            if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
            return -2;
        }
        if (Clock::now() >= deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            return -1;
        }
        sleepMs(10);
    }
}

XClient* connect(int display) {
    Display* d = XOpenDisplay(displayName(display).c_str());
    if (d == nullptr) return nullptr;
    return new XClient{d};
}

void disconnect(XClient* client) {
    if (client == nullptr) return;
    XCloseDisplay(client->display);
    delete client;
}

std::string windowTitle(XClient* client, unsigned long window) {
    Display* d = client->display;
    std::string title = readProperty(d, window, XInternAtom(d, "_NET_WM_NAME", False),
                                     XInternAtom(d, "UTF8_STRING", False));
    if (title.empty()) title = readProperty(d, window, XA_WM_NAME, AnyPropertyType);
    return title;
}

bool windowClass(XClient* client, unsigned long window, std::string* name, std::string* cls) {
    XClassHint hint{};
    if (XGetClassHint(client->display, window, &hint) == 0) return false;
    *name = hint.res_name != nullptr ? hint.res_name : "";
    *cls = hint.res_class != nullptr ? hint.res_class : "";
    if (hint.res_name != nullptr) XFree(hint.res_name);
    if (hint.res_class != nullptr) XFree(hint.res_class);
    return true;
}

namespace {

// Depth-first below `parent`: a window manager puts each top-level window in a frame.
unsigned long findViewable(XClient* client, Window parent, const std::string& title, int depth) {
    Display* d = client->display;
    Window root = 0;
    Window up = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    unsigned long found = 0;
    if (XQueryTree(d, parent, &root, &up, &children, &count) == 0) return 0;
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(d, children[i], &attributes) == 0 ||
            attributes.map_state != IsViewable) {
            continue;
        }
        if (windowTitle(client, children[i]) == title) {
            found = children[i];
        } else if (depth > 0) {
            found = findViewable(client, children[i], title, depth - 1);
        }
    }
    if (children != nullptr) XFree(children);
    return found;
}

}  // namespace

unsigned long findWindow(XClient* client, const std::string& title, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const unsigned long found =
            findViewable(client, DefaultRootWindow(client->display), title, 2);
        if (found != 0 || Clock::now() >= deadline) return found;
        sleepMs(50);
    }
}

bool clientSize(XClient* client, unsigned long window, int* width, int* height) {
    XWindowAttributes attributes;
    if (XGetWindowAttributes(client->display, window, &attributes) == 0) return false;
    *width = attributes.width;
    *height = attributes.height;
    return true;
}

Image grab(XClient* client, unsigned long window) {
    Image out;
    int width = 0;
    int height = 0;
    if (!clientSize(client, window, &width, &height)) return out;
    XImage* image = XGetImage(client->display, window, 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (image == nullptr) return out;
    out.width = width;
    out.height = height;
    out.pixels.resize(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            out.pixels[static_cast<std::size_t>(y) * width + x] =
                static_cast<std::uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF);
        }
    }
    XDestroyImage(image);
    return out;
}

void pressKey(XClient* client, unsigned long window, const char* keysymName) {
    Display* d = client->display;
    XSetInputFocus(d, window, RevertToParent, CurrentTime);
    const KeyCode code = XKeysymToKeycode(d, XStringToKeysym(keysymName));
    XTestFakeKeyEvent(d, code, True, CurrentTime);
    XTestFakeKeyEvent(d, code, False, CurrentTime);
    XSync(d, False);
}

void resize(XClient* client, unsigned long window, int width, int height) {
    XResizeWindow(client->display, window, static_cast<unsigned>(width),
                  static_cast<unsigned>(height));
    XSync(client->display, False);
}

void moveResize(XClient* client, unsigned long window, int x, int y, int width, int height) {
    XMoveResizeWindow(client->display, window, x, y, static_cast<unsigned>(width),
                      static_cast<unsigned>(height));
    XSync(client->display, False);
}

void iconify(XClient* client, unsigned long window) {
    Display* d = client->display;
    XIconifyWindow(d, window, DefaultScreen(d));
    XSync(d, False);
}

void restore(XClient* client, unsigned long window) {
    XMapRaised(client->display, window);
    XSync(client->display, False);
}

bool isViewable(XClient* client, unsigned long window) {
    XWindowAttributes attributes;
    return XGetWindowAttributes(client->display, window, &attributes) != 0 &&
           attributes.map_state == IsViewable;
}

bool windowManagerInCharge(XClient* client) {
    XWindowAttributes attributes;
    return XGetWindowAttributes(client->display, DefaultRootWindow(client->display), &attributes) !=
               0 &&
           (attributes.all_event_masks & SubstructureRedirectMask) != 0;
}

void requestClose(XClient* client, unsigned long window) {
    Display* d = client->display;
    XEvent event;
    std::memset(&event, 0, sizeof(event));
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, window, False, NoEventMask, &event);
    XSync(d, False);
}

}  // namespace e2e
