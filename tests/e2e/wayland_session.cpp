// weston and the viewer as its client, each started with exactly the environment it
// needs, and weston checked alive and ready before anything relies on it.
#include "wayland_session.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wayland-client.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace e2e {

namespace {

using Clock = std::chrono::steady_clock;

// Generous: the machine running the tests may be busy building.
constexpr std::chrono::seconds kReadyWithin{20};

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs argv[0] (found on PATH) with only `env` for its environment, stderr to errPath.
pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const std::string& errPath) {
    // Built before the fork: the child only calls what is safe after one.
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> vars;
    vars.reserve(env.size() + 1);
    for (const std::string& v : env) vars.push_back(const_cast<char*>(v.c_str()));
    vars.push_back(nullptr);
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const int devnull = open("/dev/null", O_WRONLY);
    if (devnull >= 0) dup2(devnull, 1);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (err >= 0) dup2(err, 2);
    execvpe(args[0], args.data(), vars.data());
    const char* why = std::strerror(errno);
    for (const char* part : {"cannot run ", static_cast<const char*>(args[0]), ": ", why, "\n"})
        if (write(2, part, std::strlen(part)) < 0) break;
    _exit(127);
}

// The last few lines a helper wrote, on one line.
std::string lastWords(const std::string& errPath) {
    std::string text = readFile(errPath);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    std::size_t start = text.size();
    for (int lines = 0; lines < 6 && start != std::string::npos && start > 0; ++lines)
        start = text.rfind('\n', start - 1);
    text = text.substr(start == std::string::npos ? 0 : start + 1);
    for (char& c : text) c = c == '\n' ? '|' : c;
    return text.empty() ? "(nothing on stderr)" : text;
}

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
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!done && Clock::now() < deadline) {
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
    std::string name = ":";
    name += std::to_string(display);
    Display* d = XOpenDisplay(name.c_str());
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

bool stillRunning(pid_t pid, const std::string& name, const std::string& errPath,
                  std::string* why) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) != pid) return true;
    std::ostringstream out;
    out << name << " ended";
    if (WIFEXITED(status)) out << " with exit code " << WEXITSTATUS(status);
    if (WIFSIGNALED(status)) out << " on signal " << WTERMSIG(status);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127) out << " (is it installed?)";
    out << "; its stderr: " << lastWords(errPath);
    *why = out.str();
    return false;
}

bool startWeston(XClient* client, int display, Weston* weston, std::string* error) {
    char dir[] = "/tmp/viewer-wayland-XXXXXX";
    if (mkdtemp(dir) == nullptr) {  // mode 0700, as a runtime directory must be
        *error = std::string("cannot make a runtime directory for weston: ") + std::strerror(errno);
        return false;
    }
    weston->runtimeDir = dir;
    weston->socket = "wayland-e2e";
    weston->errPath = weston->runtimeDir + ".weston-stderr.txt";
    std::string xDisplay = ":";  // two steps: GCC 12 misreports "lit" + string at -O3
    xDisplay += std::to_string(display);
    const char* path = std::getenv("PATH");
    // No weston.ini and a home of its own: what the user has configured cannot leak in.
    weston->pid = spawn({"weston", "--backend=x11-backend.so", "--use-pixman", "--width=1024",
                         "--height=768", "--no-config", "--socket=" + weston->socket},
                        {std::string("PATH=") + (path != nullptr ? path : "/usr/bin:/bin"),
                         "HOME=" + weston->runtimeDir, "DISPLAY=" + xDisplay,
                         "XDG_RUNTIME_DIR=" + weston->runtimeDir},
                        weston->errPath);
    auto giveUp = [&](const std::string& what) {
        if (stillRunning(weston->pid, "weston", weston->errPath, error)) {
            *error = "weston " + what + "; its stderr: " + lastWords(weston->errPath);
        } else {
            weston->pid = -1;  // reaped: *error says how it ended
        }
        stopWeston(weston);
        return false;
    };
    const auto deadline = Clock::now() + kReadyWithin;
    const std::string socketPath = weston->runtimeDir + "/" + weston->socket;
    // 1. Alive, with a socket that answers and a shell on it.
    for (;;) {
        if (!stillRunning(weston->pid, "weston", weston->errPath, error)) {
            weston->pid = -1;
            stopWeston(weston);
            return false;
        }
        if (access(socketPath.c_str(), F_OK) == 0 && answersWithShell(socketPath)) break;
        if (Clock::now() > deadline) return giveUp("did not answer on its socket in time");
        sleepMs(50);
    }
    // 2. Its output window, and the desktop drawn in it (black until the shell paints).
    const int msLeft = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
    weston->window = findWindow(client, "Weston Compositor - screen0", msLeft > 0 ? msLeft : 1);
    if (weston->window == 0) return giveUp("showed no output window on the X display");
    for (;;) {
        const Image output = grab(client, weston->window);
        if (!output.pixels.empty() && output.pixels.back() != 0) break;
        if (Clock::now() > deadline) return giveUp("never drew its desktop");
        sleepMs(50);
    }
    prepareInput(display, weston->window);
    return true;
}

void stopWeston(Weston* weston) {
    if (weston->pid > 0) stopProcess(weston->pid);
    weston->pid = -1;
    if (!weston->runtimeDir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(weston->runtimeDir, ignored);
        std::filesystem::remove(weston->errPath, ignored);
    }
    weston->runtimeDir.clear();
}

pid_t startWaylandViewer(const std::string& path, const Weston& weston,
                         const std::vector<std::string>& extraEnv, const std::string& errPath) {
    std::vector<std::string> env = {"HOME=" + weston.runtimeDir,
                                    "XDG_RUNTIME_DIR=" + weston.runtimeDir,
                                    "WAYLAND_DISPLAY=" + weston.socket};
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    return spawn({path}, env, errPath);
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
