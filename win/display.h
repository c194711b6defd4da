// What the window layer offers the graphics layer beyond user32: putting a finished
// frame on a window's client area, and saying what that did. Not part of Win32; the
// device's Present is its only caller (the error line is in win/error.h).
#pragma once

#include <cstdint>
#include <memory>

#include "win/win32.h"

namespace win {

// A finished frame's X8R8G8B8 pixels, row-major, no padding. Shared so that a back end
// that goes on showing a frame after presenting it can hold on to it instead of
// copying it. A back end holds at most the frame it was given last.
using SharedPixels = std::shared_ptr<const std::uint32_t[]>;

// A window's own pixels, lent to the presenter whose frame they hold so that it draws
// its next frame in them: the present after that moves nothing into the window, it only
// names what changed to the display. width × height X8R8G8B8, no padding. The back end
// takes them back before the memory goes (a resize, another presenter, the window
// destroyed): it copies them into `returnTo` first, where the borrower set it, then sets
// `pixels` null; `lost` says the pixels went before they could be copied.
struct LentPixels {
    std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::uint32_t* returnTo = nullptr;  // the borrower's own width × height buffer
    bool lost = false;
};
using SharedLoan = std::shared_ptr<LentPixels>;

// What a present did, as the back end knows it, so the caller need not guess.
struct PresentResult {
    bool ok = false;         // false: not a live window, an empty frame, or the back end failed
    bool shown = false;      // the pixels reached the client area (not while it is minimised)
    bool held = false;       // the back end keeps the pixels until the next present: the caller
                             // must draw elsewhere meanwhile
    bool waited = false;     // the call waited for the display's refresh before returning
    bool immediate = false;  // nothing holds presents to the display's refresh: frames follow
                             // one another as fast as they are drawn (tools, benchmarks)
    SharedLoan lent;  // non-null: the window's pixels, holding this frame, to draw the next in
};

// Where a frame differs from the one its presenter gave the same window before: a back
// end whose client area still shows that frame redraws and hands to the display only
// the client pixels that show these rectangles.
struct FrameChange {
    bool all = true;              // everything may differ: no rectangles are looked at
    const RECT* rects = nullptr;  // frame pixels, disjoint; none: the frames are the same
    int count = 0;
};

// Shows a width × height frame stretched over the whole client area of hWnd. With paced
// set, returns no sooner than the display's next refresh after the previous paced
// present. `change` holds against the frame `presenter` (any address that names the
// caller) presented to hWnd last; with another presenter in between it counts as all.
// On failure the reason is in lastErrorText().
PresentResult presentFrame(HWND hWnd, const SharedPixels& pixels, int width, int height, bool paced,
                           const FrameChange& change = {}, const void* presenter = nullptr);

}  // namespace win
