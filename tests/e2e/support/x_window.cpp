#include "tests/e2e/support/x_window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>

#include <cstring>

#include "tests/e2e/support/poll.h"
#include "tests/e2e/support/x_errors.h"

namespace e2e {

struct XClient {
    Display* display = nullptr;
};

namespace {

// The property's bytes (format 8) or its first `items` items (format 32, in the low
// bits); false unless it has that many.
bool readProperty(Display* d, Window w, Atom property, Atom type, std::string* text,
                  unsigned long* numbers, unsigned long items = 1) {
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, property, 0, 1024, False, type, &actualType, &format, &count,
                           &after, &data) != Success ||
        data == nullptr) {
        return false;
    }
    bool read = false;
    if (format == 8 && text != nullptr) {
        text->assign(reinterpret_cast<char*>(data), count);
        read = true;
    } else if (format == 32 && count >= items && numbers != nullptr) {
        std::memcpy(numbers, data, items * sizeof(unsigned long));
        read = true;
    }
    XFree(data);
    return read;
}

bool answers(XClient* client, Window window, const WindowQuery& query) {
    Display* d = client->display;
    if (!query.title.empty() && windowTitle(client, window) != query.title) return false;
    if (!query.wmClass.empty() && windowClass(client, window).second != query.wmClass) return false;
    unsigned long pid = 0;
    return query.pid == 0 || (readProperty(d, window, XInternAtom(d, "_NET_WM_PID", False),
                                           XA_CARDINAL, nullptr, &pid) &&
                              static_cast<pid_t>(pid) == query.pid);
}

// Depth-first below `parent`: a window manager puts each top-level window in a frame.
unsigned long findViewable(XClient* client, Window parent, const WindowQuery& query, int depth) {
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
        if (answers(client, children[i], query)) {
            found = children[i];
        } else if (depth > 0) {
            found = findViewable(client, children[i], query, depth - 1);
        }
    }
    if (children != nullptr) XFree(children);
    return found;
}

}  // namespace

XClient* connect(const std::string& display) {
    Display* d = XOpenDisplay(display.c_str());
    if (d == nullptr) return nullptr;
    guardXErrors(d);
    return new XClient{d};
}

void disconnect(XClient* client) {
    if (client == nullptr) return;
    XCloseDisplay(client->display);
    delete client;
}

unsigned long findWindow(XClient* client, const WindowQuery& query, int timeoutMs) {
    unsigned long found = 0;
    pollUntil(
        [&] {
            WindowsMayVanish vanishing(client->display);
            found = findViewable(client, DefaultRootWindow(client->display), query, 2);
            // Gone by the time the last question was answered: look again.
            if (found != 0 && !isViewable(client, found)) found = 0;
            return found != 0;
        },
        {.timeoutMs = timeoutMs});
    return found;
}

std::string windowTitle(XClient* client, unsigned long window) {
    Display* d = client->display;
    std::string title;
    if (!readProperty(d, window, XInternAtom(d, "_NET_WM_NAME", False),
                      XInternAtom(d, "UTF8_STRING", False), &title, nullptr) ||
        title.empty()) {
        readProperty(d, window, XA_WM_NAME, AnyPropertyType, &title, nullptr);
    }
    return title;
}

std::pair<std::string, std::string> windowClass(XClient* client, unsigned long window) {
    XClassHint hint{};
    if (XGetClassHint(client->display, window, &hint) == 0) return {};
    const auto take = [](char* text) {
        std::string taken = text != nullptr ? text : "";
        if (text != nullptr) XFree(text);
        return taken;
    };
    return {take(hint.res_name), take(hint.res_class)};
}

bool waitForSize(XClient* client, unsigned long window, int width, int height, int timeoutMs) {
    return pollUntil(
        [&] {
            const Box box = clientBox(client, window);
            return box.width == width && box.height == height;
        },
        {.timeoutMs = timeoutMs});
}

Image grab(XClient* client, unsigned long window) {
    Image out;
    const auto [x0, y0, width, height] = clientBox(client, window);
    if (width == 0) return out;
    XImage* image = XGetImage(client->display, window, 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (image == nullptr) return out;
    out = {width, height, std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            out.pixels[static_cast<std::size_t>(y) * width + x] =
                static_cast<std::uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF);
        }
    }
    XDestroyImage(image);
    return out;
}

void pressChord(XClient* client, unsigned long window,
                const std::vector<std::string>& keysymNames) {
    Display* d = client->display;
    XSetInputFocus(d, window, RevertToParent, CurrentTime);
    std::vector<KeyCode> codes;
    codes.reserve(keysymNames.size());
    for (const std::string& name : keysymNames)
        codes.push_back(XKeysymToKeycode(d, XStringToKeysym(name.c_str())));
    for (const KeyCode code : codes) XTestFakeKeyEvent(d, code, True, CurrentTime);
    for (auto it = codes.rbegin(); it != codes.rend(); ++it)
        XTestFakeKeyEvent(d, *it, False, CurrentTime);
    XSync(d, False);
}

Box outerBox(XClient* client, unsigned long window) {
    Display* d = client->display;
    const Window root = DefaultRootWindow(d);
    Window top = window;
    for (;;) {  // up to the child of the root
        Window rootReturn = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(d, top, &rootReturn, &parent, &children, &count) == 0) return {};
        if (children != nullptr) XFree(children);
        if (parent == root || parent == 0) break;
        top = parent;
    }
    XWindowAttributes a;
    if (XGetWindowAttributes(d, top, &a) == 0) return {};
    return {a.x, a.y, a.width + 2 * a.border_width, a.height + 2 * a.border_width};
}

Box clientBox(XClient* client, unsigned long window) {
    Display* d = client->display;
    XWindowAttributes attributes;
    if (XGetWindowAttributes(d, window, &attributes) == 0) return {};
    Box box{0, 0, attributes.width, attributes.height};
    Window child = 0;
    XTranslateCoordinates(d, window, DefaultRootWindow(d), 0, 0, &box.x, &box.y, &child);
    return box;
}

bool clientSize(XClient* client, unsigned long window, int* width, int* height) {
    const Box box = clientBox(client, window);
    if (box.width == 0) return false;
    *width = box.width;
    *height = box.height;
    return true;
}

std::optional<FrameSides> frameExtents(XClient* client, unsigned long window) {
    Display* d = client->display;
    unsigned long s[4] = {};  // left, right, top, bottom
    if (!readProperty(d, window, XInternAtom(d, "_NET_FRAME_EXTENTS", False), XA_CARDINAL, nullptr,
                      s, 4)) {
        return std::nullopt;
    }
    const auto side = [&s](int i) { return static_cast<int>(s[i]); };
    return FrameSides{side(0), side(2), side(1), side(3)};
}

bool answersFrameExtents(XClient* client, const Poll& poll, std::string* error) {
    Display* d = client->display;
    const Window probe = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 64, 64, 0, 0, 0);
    XEvent event;
    std::memset(&event, 0, sizeof(event));
    event.xclient.type = ClientMessage;
    event.xclient.window = probe;
    event.xclient.message_type = XInternAtom(d, "_NET_REQUEST_FRAME_EXTENTS", False);
    event.xclient.format = 32;
    const bool answered = pollUntil(
        [&] {
            if (frameExtents(client, probe)) return true;
            // A request that arrives while the manager is still starting may be dropped.
            XSendEvent(d, DefaultRootWindow(d), False,
                       SubstructureRedirectMask | SubstructureNotifyMask, &event);
            XFlush(d);
            return false;
        },
        poll, error);
    XDestroyWindow(d, probe);
    XSync(d, False);
    return answered;
}

Image cursorOver(XClient* client, unsigned long window, int x, int y) {
    Display* d = client->display;
    if (window == 0) window = DefaultRootWindow(d);
    Window child = 0;
    int rootX = 0;
    int rootY = 0;
    XTranslateCoordinates(d, window, DefaultRootWindow(d), x, y, &rootX, &rootY, &child);
    XTestFakeMotionEvent(d, DefaultScreen(d), rootX, rootY, CurrentTime);
    XSync(d, False);
    XFixesCursorImage* cursor = XFixesGetCursorImage(d);
    if (cursor == nullptr) return {};
    // XFixes hands the 32-bit ARGB pixels over in longs.
    const unsigned long* const argb = cursor->pixels;
    Image image{cursor->width, cursor->height, {argb, argb + cursor->width * cursor->height}};
    XFree(cursor);
    return image;
}

Image arrowCursor(XClient* client, int x, int y) {
    Display* d = client->display;
    const Window mine = XCreateSimpleWindow(d, DefaultRootWindow(d), x, y, 64, 64, 0, 0, 0);
    const Cursor arrow = XCreateFontCursor(d, XC_left_ptr);
    XDefineCursor(d, mine, arrow);
    XMapWindow(d, mine);
    XSync(d, False);
    Image image = cursorOver(client, mine, 32, 32);
    XDestroyWindow(d, mine);
    XFreeCursor(d, arrow);
    XSync(d, False);
    return image;
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

void coverFor(XClient* client, unsigned long window, int ms) {
    Display* d = client->display;
    const Box box = clientBox(client, window);
    if (box.width == 0) return;
    XSetWindowAttributes attributes;
    attributes.override_redirect = True;  // placed as asked, whatever manages the rest
    attributes.background_pixel = WhitePixel(d, DefaultScreen(d));
    const Window cover =
        XCreateWindow(d, DefaultRootWindow(d), box.x, box.y, static_cast<unsigned>(box.width),
                      static_cast<unsigned>(box.height), 0, CopyFromParent, InputOutput,
                      CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
    XMapRaised(d, cover);
    XSync(d, False);
    sleepMs(ms);
    XDestroyWindow(d, cover);
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

void focusAndPoint(XClient* client, unsigned long window) {
    XSetInputFocus(client->display, window, RevertToParent, CurrentTime);
    cursorOver(client, window, 0, 0);  // the pointer's move; the cursor it reads goes unused
}

}  // namespace e2e
