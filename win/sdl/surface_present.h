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
    // The surface's pixels as lent out, while they hold the last frame shown; borrowed
    // while anyone besides this holds it.
    SharedLoan loan;
};

// Stretches a width × height X8R8G8B8 frame over the window's surface, where it differs
// from the frame shown before (`change`), waits for the display's next deadline when
// paced (failing or not), then shows what it drew. *waited says whether it waited.
// Pixels that are the surface's own, lent, are only shown. Where the surface stores the
// frame as it is (same size and layout), *lent is its pixels, lent out for the next
// frame; else null. False with SDL's error set when the surface cannot be drawn or shown.
bool presentThroughSurface(SDL_Window* window, SurfaceStretch& stretch, const std::uint32_t* pixels,
                           int width, int height, const FrameChange& change, bool paced,
                           Pacing& pacing, bool* waited, SharedLoan* lent);

// Takes the lent pixels back, copied first into the borrower's own buffer where it has
// one: the surface's memory may go after this (a resize, the window destroyed).
void takeBackLoan(SurfaceStretch& stretch);

}  // namespace win::sdl
