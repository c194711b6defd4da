// The shared-memory present. Surfaces of 32-bit words with the colour in the low 24 bits
// (X8R8G8B8 or A8R8G8B8) take the stretch directly; any other layout gets it converted
// from a staging copy. Only the client rectangles showing what changed are drawn and
// handed to the display, unless the surface does not hold the previous frame. Where the
// surface stores the frame as it is, its pixels are lent to the presenter, who draws the
// next frame in them: that present only names the change to the display. The surface
// has no vsync: deadlines pace it.
#include "win/sdl/surface_present.h"

#include <algorithm>
#include <memory>

namespace win::sdl {
namespace {

// The client rectangles this present draws and shows, into stretch.rects: those showing
// the frame's change, or the whole surface when the surface does not hold the frame
// before (another surface or size, a frame of another size, a change of everything).
void areaToShow(const SDL_Surface& surface, SurfaceStretch& stretch, int width, int height,
                const FrameChange& change) {
    stretch.rects.clear();
    const bool whole = change.all || &surface != stretch.holder ||
                       surface.w != stretch.holderWidth || surface.h != stretch.holderHeight ||
                       width != stretch.frameWidth || height != stretch.frameHeight;
    if (whole) {
        stretch.rects.push_back(SDL_Rect{0, 0, surface.w, surface.h});
        return;
    }
    for (int i = 0; i < change.count; ++i) {
        const RECT r = destinationOf(change.rects[i], width, height, surface.w, surface.h);
        if (r.left < r.right && r.top < r.bottom) {
            stretch.rects.push_back(SDL_Rect{static_cast<int>(r.left), static_cast<int>(r.top),
                                             static_cast<int>(r.right - r.left),
                                             static_cast<int>(r.bottom - r.top)});
        }
    }
}

// The frame over stretch.rects of the surface by the rule the headless back end keeps,
// so the window shows exactly the headless client image.
bool drawToSurface(SDL_Surface* surface, SurfaceStretch& stretch, const std::uint32_t* pixels,
                   int width, int height) {
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return false;
    const Uint32 format = surface->format->format;
    const bool direct = (format == SDL_PIXELFORMAT_RGB888 || format == SDL_PIXELFORMAT_ARGB8888) &&
                        surface->pitch % 4 == 0;
    if (!direct) stretch.staging.resize(static_cast<std::size_t>(surface->w) * surface->h);
    bool ok = true;
    for (const SDL_Rect& r : stretch.rects) {
        const RECT area{r.x, r.y, r.x + r.w, r.y + r.h};
        if (direct) {
            stretchNearest(pixels, width, height, static_cast<std::uint32_t*>(surface->pixels),
                           surface->w, surface->h, static_cast<std::size_t>(surface->pitch / 4),
                           area, stretch.columns);
            continue;
        }
        const std::size_t at = static_cast<std::size_t>(r.y) * surface->w + r.x;
        stretchNearest(pixels, width, height, stretch.staging.data(), surface->w, surface->h,
                       static_cast<std::size_t>(surface->w), area, stretch.columns);
        ok = ok &&
             SDL_ConvertPixels(r.w, r.h, SDL_PIXELFORMAT_RGB888, stretch.staging.data() + at,
                               surface->w * 4, format,
                               static_cast<Uint8*>(surface->pixels) +
                                   static_cast<std::size_t>(r.y) * surface->pitch +
                                   static_cast<std::size_t>(r.x) * surface->format->BytesPerPixel,
                               surface->pitch) == 0;
    }
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    return ok;
}

// Whether the surface stores a width × height frame as it is, so a borrower can draw
// straight into it.
bool lendable(const SDL_Surface& surface, int width, int height) {
    const Uint32 format = surface.format->format;
    return (format == SDL_PIXELFORMAT_RGB888 || format == SDL_PIXELFORMAT_ARGB8888) &&
           surface.w == width && surface.h == height && surface.pitch == width * 4 &&
           !SDL_MUSTLOCK(&surface);
}

// The loan of the surface's pixels after a present that left this frame in them.
SharedLoan loanOf(SurfaceStretch& stretch, SDL_Surface& surface, int width, int height) {
    if (!lendable(surface, width, height)) {
        takeBackLoan(stretch);
        return nullptr;
    }
    auto* memory = static_cast<std::uint32_t*>(surface.pixels);
    if (stretch.loan != nullptr && stretch.loan->pixels != memory) takeBackLoan(stretch);
    if (stretch.loan == nullptr) {
        // Once a surface: a present allocates nothing while the size holds.
        stretch.loan = std::make_shared<LentPixels>(LentPixels{memory, width, height});
    }
    return stretch.loan;
}

}  // namespace

void takeBackLoan(SurfaceStretch& stretch) {
    if (stretch.loan == nullptr) return;
    LentPixels& loan = *stretch.loan;
    if (loan.returnTo != nullptr && loan.pixels != nullptr) {
        std::copy_n(loan.pixels, static_cast<std::size_t>(loan.width) * loan.height, loan.returnTo);
    }
    loan.pixels = nullptr;
    stretch.loan.reset();
}

bool presentThroughSurface(SDL_Window* window, SurfaceStretch& stretch, const std::uint32_t* pixels,
                           int width, int height, const FrameChange& change, bool paced,
                           Pacing& pacing, bool* waited, SharedLoan* lent) {
    *lent = nullptr;
    // Another frame drawn into lent pixels would overwrite the borrower's.
    if (stretch.loan != nullptr && stretch.loan.use_count() > 1 && pixels != stretch.loan->pixels) {
        takeBackLoan(stretch);
    }
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    if (stretch.loan != nullptr &&
        (surface == nullptr || surface->pixels != stretch.loan->pixels)) {
        // The memory went without the resize that takes it back first: what the borrower
        // drew is lost, and what it has of its own is shown instead.
        if (pixels == stretch.loan->pixels) pixels = stretch.loan->returnTo;
        stretch.loan->lost = true;
        stretch.loan->pixels = nullptr;
        stretch.loan.reset();
    }
    bool drawn = surface != nullptr && pixels != nullptr;
    if (drawn && surface->w > 0 && surface->h > 0) {  // else nothing to show
        areaToShow(*surface, stretch, width, height, change);
        // Lent pixels hold the frame already.
        if (pixels != surface->pixels) {
            drawn = drawToSurface(surface, stretch, pixels, width, height);
        }
    } else {
        stretch.rects.clear();
    }
    // Until this present has shown, the surface's contents are not known to be a frame.
    stretch.holder = nullptr;
    *waited = paced && waitForDeadline(pacing);
    if (!drawn) return false;
    if (!stretch.rects.empty() &&
        SDL_UpdateWindowSurfaceRects(window, stretch.rects.data(),
                                     static_cast<int>(stretch.rects.size())) != 0) {
        return false;
    }
    stretch.holder = surface;
    stretch.holderWidth = surface->w;
    stretch.holderHeight = surface->h;
    stretch.frameWidth = width;
    stretch.frameHeight = height;
    *lent = loanOf(stretch, *surface, width, height);
    return true;
}

}  // namespace win::sdl
