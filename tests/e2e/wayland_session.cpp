// weston and the viewer as its client, each started with the environment it needs, and
// weston checked alive and ready before anything relies on it.
#include "wayland_session.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <poll.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

namespace e2e {

namespace {

// Generous: the machine running the tests may be busy building.
constexpr int kReadyMs = 20000;

// Asks the compositor for its globals and waits for the answer: true once it has
// answered with a shell that takes top-level windows (xdg_wm_base).
bool answersWithShell(const std::string& socketPath) {
    wl_display* display = wl_display_connect(socketPath.c_str());
    if (display == nullptr) return false;
    bool shell = false;
    bool done = false;
    static const wl_registry_listener registryListener = {
        [](void* data, wl_registry*, std::uint32_t, const char* interface, std::uint32_t) {
            if (std::strcmp(interface, "xdg_wm_base") == 0) *static_cast<bool*>(data) = true;
        },
        [](void*, wl_registry*, std::uint32_t) {}};
    static const wl_callback_listener doneListener = {
        [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }};
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &shell);
    wl_callback* sync = wl_display_sync(display);
    wl_callback_add_listener(sync, &doneListener, &done);
    // Not wl_display_roundtrip: a compositor that never answers must not hang the test.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done && std::chrono::steady_clock::now() < deadline) {
        if (wl_display_flush(display) < 0) break;
        pollfd fd = {wl_display_get_fd(display), POLLIN, 0};
        if (poll(&fd, 1, 100) > 0 && wl_display_dispatch(display) < 0) break;
    }
    wl_callback_destroy(sync);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return done && shell;
}

// Keys typed on the X display go to weston from now on: a focus change later, in the
// middle of typing, makes weston hand its keyboard focus round again and can lose a
// key. Its pointer goes to the desktop's top left corner, where the shell has its
// panel and places no window.
void prepareInput(int display, unsigned long window) {
    Display* d = XOpenDisplay(displayName(display).c_str());
    if (d == nullptr) return;
    XSetInputFocus(d, window, RevertToParent, CurrentTime);
    Window child = 0;
    int rootX = 0;
    int rootY = 0;
    XTranslateCoordinates(d, window, DefaultRootWindow(d), 0, 0, &rootX, &rootY, &child);
    XTestFakeMotionEvent(d, DefaultScreen(d), rootX, rootY, CurrentTime);
    XSync(d, False);
    XCloseDisplay(d);
}

}  // namespace

bool startWeston(XClient* client, int display, Weston* weston, std::string* error) {
    char dir[] = "/tmp/viewer-wayland-XXXXXX";
    if (mkdtemp(dir) == nullptr) {  // mode 0700, as a runtime directory must be
        *error = std::string("cannot make a runtime directory for weston: ") + std::strerror(errno);
        return false;
    }
    weston->runtimeDir = dir;
    weston->socket = "wayland-e2e";
    // No weston.ini and a home of its own: what the user has configured cannot leak in.
    weston->helper =
        startHelper("weston",
                    {"weston", "--backend=x11-backend.so", "--use-pixman", "--width=1024",
                     "--height=768", "--no-config", "--socket=" + weston->socket},
                    {{"DISPLAY", displayName(display)},
                     {"XDG_RUNTIME_DIR", weston->runtimeDir},
                     {"HOME", weston->runtimeDir},
                     {"WAYLAND_DISPLAY", ""},
                     {"WAYLAND_SOCKET", ""}},
                    weston->runtimeDir + ".weston-stderr");
    const std::string socketPath = weston->runtimeDir + "/" + weston->socket;
    const bool ready =
        waitUntilReady(
            weston->helper,
            [&] { return access(socketPath.c_str(), F_OK) == 0 && answersWithShell(socketPath); },
            "answering on its socket with a shell", kReadyMs, error) &&
        waitUntilReady(
            weston->helper,
            [&] {
                weston->window = findWindow(client, "Weston Compositor - screen0", 0);
                return weston->window != 0;
            },
            "showing its output window on the X display", kReadyMs, error) &&
        // Its output is black until the shell has drawn the desktop.
        waitUntilReady(
            weston->helper,
            [&] {
                const Image output = grab(client, weston->window);
                return !output.pixels.empty() && output.pixels.back() != 0;
            },
            "drawing its desktop", kReadyMs, error);
    if (!ready) {
        stopWeston(weston);
        return false;
    }
    prepareInput(display, weston->window);
    return true;
}

void stopWeston(Weston* weston) {
    if (weston->helper.pid > 0) stopHelper(&weston->helper);
    if (!weston->runtimeDir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(weston->runtimeDir, ignored);
        std::filesystem::remove(weston->helper.errPath, ignored);
    }
    weston->runtimeDir.clear();
}

Helper startWaylandViewer(const std::string& path, const Weston& weston, const Environment& extra,
                          const std::string& errPath) {
    // Only weston: no X display to fall back to, no driver or surface choice of the user's.
    Environment environment = {{"DISPLAY", ""},         {"WAYLAND_DISPLAY", weston.socket},
                               {"WAYLAND_SOCKET", ""},  {"XDG_RUNTIME_DIR", weston.runtimeDir},
                               {"SDL_VIDEODRIVER", ""}, {"SDL_FRAMEBUFFER_ACCELERATION", ""}};
    environment.insert(environment.end(), extra.begin(), extra.end());
    return startHelper("the viewer", {path}, environment, errPath);
}

bool locateClient(const Image& output, int width, int height, int* x, int* y) {
    // A run this long is the scene's background: the pointer, an icon or a line of
    // text on weston's desktop has no black run near it.
    constexpr int kRun = 24;
    int left = output.width;
    int right = -1;
    int top = output.height;
    int bottom = -1;
    for (int row = 0; row < output.height; ++row) {
        const std::uint32_t* line =
            output.pixels.data() + static_cast<std::size_t>(row) * output.width;
        for (int start = 0; start < output.width;) {
            int end = start;
            while (end < output.width && line[end] == 0) ++end;
            if (end - start >= kRun) {
                left = std::min(left, start);
                right = std::max(right, end - 1);
                top = std::min(top, row);
                bottom = std::max(bottom, row);
            }
            start = end + 1;
        }
    }
    if (right - left + 1 != width || bottom - top + 1 != height) return false;
    *x = left;
    *y = top;
    return true;
}

Image crop(const Image& image, int x, int y, int width, int height) {
    Image out;
    out.width = width;
    out.height = height;
    out.pixels.reserve(static_cast<std::size_t>(width) * height);
    for (int row = y; row < y + height; ++row) {
        const auto first =
            image.pixels.begin() + static_cast<std::ptrdiff_t>(row) * image.width + x;
        out.pixels.insert(out.pixels.end(), first, first + width);
    }
    return out;
}

}  // namespace e2e
