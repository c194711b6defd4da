// Presents through the graphics driver: an accelerated SDL renderer with vsync, one
// streaming texture of the back buffer's size uploaded once per present and drawn over
// the whole output by the nearest-neighbour rule of win/stretch.h. Taken only where the
// driver is a GPU; everything else stays on the window's shared-memory surface.
#pragma once

#include <SDL.h>

#include <cstdint>

#include "win/display.h"
#include "win/pacing.h"

namespace win::sdl {

struct GpuPresent;

// Creates the SDL window for a back end that presents, hidden. Where the driver is a
// GPU the window is an OpenGL one and *gpu receives its renderer, with the driver's
// vsync put on trial in *pacing where it takes a swap interval; otherwise *gpu is null
// and the window is a plain one, as if OpenGL had never been tried. Null window when
// SDL_CreateWindow fails.
SDL_Window* createPresentingWindow(const char* title, int x, int y, int width, int height,
                                   Uint32 flags, GpuPresent** gpu, Pacing* pacing);

// Frees the renderer and texture; the window stays, ready for its own surface.
void closeGpuPresent(GpuPresent* gpu);

// The drawable size in pixels (HiDPI aware); false if the renderer cannot say.
bool outputSizeOf(GpuPresent& gpu, int* width, int* height);

// Shows a width × height X8R8G8B8 frame over the whole output, uploading only the rows
// of `change` where the texture holds the frame before, then, when paced, waits
// for the display as the window's pacing says: by the driver's vsync or by deadlines.
// *waited says whether the call waited for the refresh, either way. An unpaced present
// hands the pace to deadlines for good. False when any step fails: the caller falls
// back to the shared-memory path with the same frame.
bool presentThroughGpu(GpuPresent& gpu, const std::uint32_t* pixels, int width, int height,
                       const FrameChange& change, bool paced, Pacing& pacing, bool* waited);

}  // namespace win::sdl
