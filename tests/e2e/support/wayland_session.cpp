#include "tests/e2e/support/wayland_session.h"

#include <poll.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "tests/e2e/support/poll.h"

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

}  // namespace

bool WaylandSession::start(const XSession& x, std::string* error) {
    stop();
    runtimeDir_ = makeTempDir("wayland");  // mkdtemp: mode 0700, as a runtime directory must be
    if (runtimeDir_.empty()) {
        *error = std::string("cannot make a runtime directory for weston: ") + std::strerror(errno);
        return false;
    }
    socket_ = "wayland-e2e";
    // No weston.ini and a home of its own: what the user has configured cannot leak in.
    weston_ =
        Process({.name = "weston",
                 .argv = {"weston", "--backend=x11-backend.so", "--use-pixman", "--width=1024",
                          "--height=768", "--no-config", "--socket=" + socket_},
                 .environment = {{"DISPLAY", x.name()},
                                 {"XDG_RUNTIME_DIR", runtimeDir_},
                                 {"HOME", runtimeDir_},
                                 {"WAYLAND_DISPLAY", ""},
                                 {"WAYLAND_SOCKET", ""}}});
    const std::string socketPath = runtimeDir_ + "/" + socket_;
    const bool up =
        pollUntil(
            [&] { return access(socketPath.c_str(), F_OK) == 0 && answersWithShell(socketPath); },
            {kReadyMs, 50, {&weston_}, "answering on its socket with a shell"}, error) &&
        pollUntil(
            [&] {
                window_ = findWindow(x.client(), {.title = "Weston Compositor - screen0"}, 0);
                return window_ != 0;
            },
            {kReadyMs, 50, {&weston_}, "showing its output window on the X display"}, error) &&
        // Its output is black until the shell has drawn the desktop.
        pollUntil(
            [&] {
                const Image output = grab(x.client(), window_);
                return !output.pixels.empty() && output.pixels.back() != 0;
            },
            {kReadyMs, 50, {&weston_}, "drawing its desktop"}, error);
    if (!up) {
        stop();
        return false;
    }
    // Keys typed on the X display go to weston from now on: a focus change later, in the
    // middle of typing, makes weston hand its keyboard focus round again and can lose a
    // key. The shell has its panel in the top left corner and places no window there.
    focusAndPoint(x.client(), window_);
    return true;
}

void WaylandSession::stop() {
    weston_.stop();
    runtimeDir_.clear();
    window_ = 0;
}

Process WaylandSession::startViewer(const std::string& path, const Environment& extra) const {
    // Only weston: no X display to fall back to, no driver or surface choice of the user's.
    Environment environment = {{"DISPLAY", ""},         {"WAYLAND_DISPLAY", socket_},
                               {"WAYLAND_SOCKET", ""},  {"XDG_RUNTIME_DIR", runtimeDir_},
                               {"SDL_VIDEODRIVER", ""}, {"SDL_FRAMEBUFFER_ACCELERATION", ""}};
    environment.insert(environment.end(), extra.begin(), extra.end());
    return Process({.name = "the viewer", .argv = {path}, .environment = environment});
}

Box locateClient(const Image& output, int width, int height) {
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
    if (right - left + 1 != width || bottom - top + 1 != height) return {};
    return {left, top, width, height};
}

Image crop(const Image& image, const Box& box) {
    Image out{box.width, box.height, {}};
    out.pixels.reserve(static_cast<std::size_t>(box.width) * box.height);
    for (int row = box.y; row < box.y + box.height; ++row) {
        const auto first =
            image.pixels.begin() + static_cast<std::ptrdiff_t>(row) * image.width + box.x;
        out.pixels.insert(out.pixels.end(), first, first + box.width);
    }
    return out;
}

}  // namespace e2e
