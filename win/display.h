// What the window layer offers the graphics layer beyond user32: putting a finished
// frame on a window's client area, and the reason the last window call failed.
// Not part of Win32; the device's Present is its only caller.
#pragma once

#include <cstdint>
#include <memory>

#include "win/win32.h"

namespace win {

// A finished frame's X8R8G8B8 pixels, row-major, no padding. Shared so that a back end
// that goes on showing a frame after presenting it can hold on to it instead of
// copying it: while use_count() > 1 the caller must draw elsewhere. A back end holds at
// most the frame it was given last.
using SharedPixels = std::shared_ptr<const std::uint32_t[]>;

// Shows a width × height frame stretched over the whole client area of hWnd. With paced
// set, returns no sooner than the display's next refresh after the previous paced
// present. False when hWnd is not a live window or the back end cannot show the frame.
bool presentFrame(HWND hWnd, const SharedPixels& pixels, int width, int height, bool paced);

// One line naming why the latest failing window call failed ("" when none has).
const char* lastErrorText();

}  // namespace win
