// The frame an X11 window manager draws around a window, learnt before the window is
// mapped: what makes CreateWindowExW's size the outer box under an EWMH manager.
// Nothing is learnt on other drivers or under managers that do not say.
#pragma once

#include <SDL.h>

#include "win/core.h"

namespace win::sdl {

// Asks the window manager (_NET_REQUEST_FRAME_EXTENTS) what frame it would give the
// unmapped window and waits a moment for the answer (_NET_FRAME_EXTENTS). False, with
// *frame left alone, where the driver is not X11, the manager does not offer the
// request, or no answer comes.
bool frameExtentsBeforeMapping(SDL_Window* window, FrameExtents* frame);

}  // namespace win::sdl
