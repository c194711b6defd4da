// Xlib's default handlers end the process on any X error or a lost connection: a test
// would vanish mid-way with its helpers still running. These make both a failure of the
// running test that names the request, and let the test go on to its teardown.
#pragma once

#include <string>

struct _XDisplay;  // Xlib's Display; its header's macros clash with GoogleTest's

namespace e2e {

// Installs the handlers for the whole process (once; later calls do nothing) and lets
// `display` survive the loss of its server.
void guardXErrors(_XDisplay* display);

// While one lives, errors about a window or drawable that no longer exists on `display`
// are taken here instead of failing the test: windows of other clients may be destroyed
// at any moment, between listing them and asking about them.
class WindowsMayVanish {
public:
    explicit WindowsMayVanish(_XDisplay* display);
    ~WindowsMayVanish();
    WindowsMayVanish(const WindowsMayVanish&) = delete;
    WindowsMayVanish& operator=(const WindowsMayVanish&) = delete;
    // Whether an open scope on `display` takes the error.
    static bool absorb(_XDisplay* display);

private:
    _XDisplay* display_;
    WindowsMayVanish* outer_;
};

}  // namespace e2e
