// What the window layer offers the graphics layer beyond user32: putting a finished
// frame on a window's client area, and the reason the last window call failed.
// Not part of Win32; the device's Present is its only caller.
#pragma once

#include <cstdint>

#include "win/win32.h"

namespace win {

// Shows a width × height frame of X8R8G8B8 pixels (row-major, no padding) stretched
// over the whole client area of hWnd. With paced set, returns no sooner than the
// display's next refresh after the previous paced present. False when hWnd is not a
// live window or the back end cannot show the frame.
bool presentFrame(HWND hWnd, const std::uint32_t* pixels, int width, int height, bool paced);

// One line naming why the latest failing window call failed ("" when none has).
const char* lastErrorText();

}  // namespace win
