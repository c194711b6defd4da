// _NET_REQUEST_FRAME_EXTENTS and _NET_FRAME_EXTENTS over SDL's own X connection. Only
// properties are read, never events, so SDL's event queue is left as it was; X errors
// here (a manager gone between two requests) are caught, not fatal.
#include "win/sdl/x11_frame.h"

#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace win::sdl {
namespace {

// Long enough for a manager busy with other clients; paid only where a live manager
// offers the request and then does not answer.
constexpr auto kAnswerTimeout = std::chrono::milliseconds(1000);
// A manager names itself on the root before it enters its event loop, and drops the
// requests that arrive in between (openbox does): the request is sent again this often.
constexpr auto kAskAgainEvery = std::chrono::milliseconds(50);

int xErrors = 0;  // while our handler is in place: all state of this file

int countError(Display*, XErrorEvent*) {
    ++xErrors;
    return 0;
}

// The values of a property of 32-bit items (Xlib hands them over as longs).
std::vector<long> longProperty(Display* display, Window window, Atom property, Atom type) {
    std::vector<long> values;
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, property, 0, 1024, False, type, &actualType, &format,
                           &count, &after, &data) == Success &&
        data != nullptr && actualType == type && format == 32) {
        const auto* items = reinterpret_cast<const long*>(data);
        values.assign(items, items + count);
    }
    if (data != nullptr) XFree(data);
    return values;
}

// A live EWMH manager names a check window that names itself (a stale one may remain
// on the root after its manager ended), and lists what it supports on the root.
bool managerOffers(Display* display, Window root, Atom wanted) {
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    const std::vector<long> onRoot = longProperty(display, root, check, XA_WINDOW);
    if (onRoot.empty()) return false;
    const auto checkWindow = static_cast<Window>(onRoot[0]);
    const std::vector<long> onItself = longProperty(display, checkWindow, check, XA_WINDOW);
    if (onItself.empty() || static_cast<Window>(onItself[0]) != checkWindow) return false;
    const Atom supported = XInternAtom(display, "_NET_SUPPORTED", False);
    for (const long atom : longProperty(display, root, supported, XA_ATOM)) {
        if (static_cast<Atom>(atom) == wanted) return true;
    }
    return false;
}

void ask(Display* display, Window window, Atom request) {
    XEvent event;
    std::memset(&event, 0, sizeof(event));
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = request;
    event.xclient.format = 32;
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(display);
}

bool answered(Display* display, Window window, Atom extents, FrameExtents* frame) {
    // left, right, top, bottom, as the property orders them
    const std::vector<long> sides = longProperty(display, window, extents, XA_CARDINAL);
    if (sides.size() < 4) return false;
    *frame = {static_cast<int>(sides[0]), static_cast<int>(sides[1]), static_cast<int>(sides[2]),
              static_cast<int>(sides[3])};
    return true;
}

bool askAndWait(Display* display, Window window, FrameExtents* frame) {
    const Atom request = XInternAtom(display, "_NET_REQUEST_FRAME_EXTENTS", False);
    const Atom extents = XInternAtom(display, "_NET_FRAME_EXTENTS", False);
    if (!managerOffers(display, DefaultRootWindow(display), request)) return false;
    const auto start = std::chrono::steady_clock::now();
    auto nextAsk = start;
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= nextAsk) {
            ask(display, window, request);
            nextAsk = now + kAskAgainEvery;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (answered(display, window, extents, frame)) return true;
        if (xErrors != 0 || now - start >= kAnswerTimeout) return false;
    }
}

}  // namespace

bool frameExtentsBeforeMapping(SDL_Window* window, FrameExtents* frame) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_X11) {
        return false;
    }
    Display* display = info.info.x11.display;
    XSync(display, False);
    xErrors = 0;
    const auto previous = XSetErrorHandler(countError);
    FrameExtents found;
    const bool known = askAndWait(display, info.info.x11.window, &found);
    XSync(display, False);
    XSetErrorHandler(previous);
    if (!known || xErrors != 0) return false;
    // Negative sides are no frame at all.
    if (found.left < 0 || found.right < 0 || found.top < 0 || found.bottom < 0) return false;
    *frame = found;
    return true;
}

}  // namespace win::sdl
