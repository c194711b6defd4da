// Wayland connection loss, read from libwayland-client through SDL's window-manager
// info: SDL itself has no way to say the compositor went away.
#include "win/sdl/wayland_loss.h"

#include <SDL_syswm.h>
#include <wayland-client.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "win/sdl/native_window.h"

namespace win::sdl {
namespace {

bool lossSaid = false;  // the loss has been said and WM_QUIT posted: all state of this file

}  // namespace

int waylandConnectionError() {
    // Asked on every pump: no allocation here.
    SDL_Window* window = firstSdlWindow();
    if (window == nullptr) return 0;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_WAYLAND) {
        return 0;
    }
    return wl_display_get_error(info.info.wl.display);
}

bool quitIfCompositorLost() {
    if (lossSaid) return true;
    const int lost = waylandConnectionError();
    if (lost == 0) return false;
    lossSaid = true;
    std::fprintf(stderr, "%s: the connection to the Wayland compositor is lost: %s\n",
                 program_invocation_short_name, std::strerror(lost));
    PostQuitMessage(1);
    return true;
}

}  // namespace win::sdl
