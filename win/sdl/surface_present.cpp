// The shared-memory present. Surfaces of 32-bit words with the colour in the low 24 bits
// (X8R8G8B8 or A8R8G8B8) take the stretch directly; any other layout gets it converted
// from a staging copy. The surface has no vsync: deadlines pace it.
#include "win/sdl/surface_present.h"

namespace win::sdl {
namespace {

// The frame over the whole surface by the rule the headless back end keeps, so the
// window shows exactly the headless client image.
bool drawToSurface(SDL_Window* window, SurfaceStretch& stretch, const std::uint32_t* pixels,
                   int width, int height) {
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    if (surface == nullptr) return false;
    if (surface->w <= 0 || surface->h <= 0) return true;  // nothing to show
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return false;
    const Uint32 format = surface->format->format;
    bool ok = true;
    if ((format == SDL_PIXELFORMAT_RGB888 || format == SDL_PIXELFORMAT_ARGB8888) &&
        surface->pitch % 4 == 0) {
        stretchNearest(pixels, width, height, static_cast<std::uint32_t*>(surface->pixels),
                       surface->w, surface->h, static_cast<std::size_t>(surface->pitch / 4),
                       stretch.columns);
    } else {
        stretch.staging.resize(static_cast<std::size_t>(surface->w) * surface->h);
        stretchNearest(pixels, width, height, stretch.staging.data(), surface->w, surface->h,
                       stretch.columns);
        ok = SDL_ConvertPixels(surface->w, surface->h, SDL_PIXELFORMAT_RGB888,
                               stretch.staging.data(), surface->w * 4, format, surface->pixels,
                               surface->pitch) == 0;
    }
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    return ok;
}

}  // namespace

bool presentThroughSurface(SDL_Window* window, SurfaceStretch& stretch, const std::uint32_t* pixels,
                           int width, int height, bool paced, Pacing& pacing, bool* waited) {
    const bool drawn = drawToSurface(window, stretch, pixels, width, height);
    *waited = paced && waitForDeadline(pacing);
    return drawn && SDL_UpdateWindowSurface(window) == 0;
}

}  // namespace win::sdl
