// The window finder against the windows a real session has besides the viewer's: a
// hidden one of the same name (SDL's OpenGL probe), ones of another class or another
// program, and windows made and destroyed while it looks, which must be passed over,
// never a fatal X error.
#include <gtest/gtest.h>
// After GoogleTest: Xlib defines None, Bool and Status as macros.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <atomic>
#include <thread>

#include "tests/e2e/support/x_session.h"

namespace {

using namespace e2e;

constexpr long kPid = 4242;  // stands for the viewer's pid

Window makeWindow(Display* d, const char* title, const char* cls, long pid, bool shown) {
    const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 64, 48, 0, 0, 0);
    XStoreName(d, w, title);
    XClassHint hint{const_cast<char*>(cls), const_cast<char*>(cls)};
    XSetClassHint(d, w, &hint);
    XChangeProperty(d, w, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    if (shown) XMapWindow(d, w);
    XSync(d, False);
    return w;
}

TEST(WindowFinder, ReturnsOnlyTheShownWindowWhileOthersComeAndGo) {
    XSession x;
    std::string error;
    ASSERT_TRUE(x.start({}, &error)) << error;
    Display* program = XOpenDisplay(x.name().c_str());
    ASSERT_NE(program, nullptr);
    const WindowQuery query{.title = "T", .wmClass = "viewer", .pid = kPid};
    makeWindow(program, "T", "viewer", kPid, false);
    makeWindow(program, "T", "other", kPid, true);
    makeWindow(program, "T", "viewer", kPid + 1, true);
    makeWindow(program, "U", "viewer", kPid, true);

    // Another program making and destroying shown windows of the same name and class as
    // fast as it can: the finder lists them, then asks about windows already gone.
    std::atomic<bool> done{false};
    std::atomic<int> made{0};
    std::thread churn([&] {
        Display* d = XOpenDisplay(x.name().c_str());
        while (d != nullptr && !done) {
            const Window w = makeWindow(d, "T", "viewer", kPid + 2, true);
            XDestroyWindow(d, w);
            XSync(d, False);
            ++made;
        }
        if (d != nullptr) XCloseDisplay(d);
    });
    EXPECT_EQ(findWindow(x.client(), query, 300), 0u) << "no shown window answers yet";
    const Window target = makeWindow(program, "T", "viewer", kPid, true);
    int found = 0;
    for (int look = 0; look < 300; ++look) found += findWindow(x.client(), query, 0) == target;
    done = true;
    churn.join();
    EXPECT_GT(made, 100) << "the other program hardly made any windows";
    EXPECT_EQ(found, 300);
    XCloseDisplay(program);
}

}  // namespace
