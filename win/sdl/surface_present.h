// The shared-memory present: the frame stretched by the CPU straight into the window's
// own surface (X11's shared memory, or a renderer's stand-in elsewhere), by the rule
// of win/stretch.h. The GPU present beside it is gpu_present.h.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <vector>

#include "win/display.h"
#include "win/pacing.h"
#include "win/stretch.h"

namespace win::sdl {

// What a window's surface present keeps while the size holds, so presents allocate
// nothing: the column map, the stretched frame where the surface stores pixels in
// another layout and needs it converted, and the client rectangles of a present. And
// which surface holds the last frame shown, so the next draws only what changed.
struct SurfaceStretch {
    std::vector<std::uint32_t> staging;
    StretchColumns columns;
    std::vector<SDL_Rect> rects;
    const SDL_Surface* holder = nullptr;  // null: no surface is known to hold a frame
    int holderWidth = 0, holderHeight = 0, frameWidth = 0, frameHeight = 0;  // pixels
};

// Stretches a width × height X8R8G8B8 frame over the window's surface, where it differs
// from the frame shown before (`change`), waits for the display's next deadline when
// paced (failing or not), then shows what it drew. *waited says whether it waited.
// False with SDL's error set when the surface cannot be drawn or shown.
bool presentThroughSurface(SDL_Window* window, SurfaceStretch& stretch, const std::uint32_t* pixels,
                           int width, int height, const FrameChange& change, bool paced,
                           Pacing& pacing, bool* waited);

}  // namespace win::sdl
