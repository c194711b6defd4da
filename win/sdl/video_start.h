// Bringing SDL's video up and down, and opening a native window that can show frames:
// which drivers are tried, what the libraries print meanwhile (held back), and the one
// line a failure leaves in the error line. Events and presents are elsewhere.
#pragma once

#include <string>

#include "win/sdl/native_window.h"

namespace win::sdl {

// Starts SDL's video if it is not running. Appends what the libraries printed to
// *libraryOutput; on failure sets the error line and returns false.
bool startVideo(std::string* libraryOutput);
bool videoRunning();
// SDL goes with the last window.
void stopVideoIfIdle();
// Shows the system arrow over SDL's windows (on X11 SDL would leave the root window's
// cursor, an "X" on a bare server), as the class cursor IDC_ARROW is shown on Win32.
void showArrowCursor();

// Opens the hidden native window of a new HWND with its present path chosen, into
// *native. A window that could never show a frame is a failure: the error line says
// why and nothing is left open. Appends what the libraries printed to *libraryOutput.
bool openNativeWindow(const std::string& titleUtf8, int x, int y, int width, int height,
                      NativeWindow* native, std::string* libraryOutput);

}  // namespace win::sdl
