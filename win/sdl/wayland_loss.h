// A lost Wayland compositor, told apart from a quit request: SDL reports both as
// SDL_QUIT. Xlib instead ends the process itself when the X server goes, with one line
// and exit code 1; this gives a lost compositor the same end.
#pragma once

namespace win::sdl {

// The error that ended the connection to the compositor, or 0 while it holds (and on
// other drivers).
int waylandConnectionError();

// Whether the connection is lost. The first time it is found so: says so in one line and
// posts WM_QUIT with exit code 1, so the device is still released on the way out. Asked
// before SDL touches the connection: on a broken one, with events still queued, SDL's pump
// never returns (libdecor's dispatch retries, for ever, events it can no longer dispatch).
bool quitIfCompositorLost();

}  // namespace win::sdl
