// The seam between the platform-neutral core and a back end (SDL2, headless or web): the
// core keeps window records, the queue and the Win32 rules (key messages and their
// lParam included); a back end owns the native window, reports native events as facts
// and puts pixels on screen. Exactly one back end is linked into a program: win_sdl
// (the viewer), win_headless (tests, tools, benchmarks) or win_web (the page).
//
//                 SDL (sdl/)                 headless (headless/)       web (web/)
// paced           vsync on trial, else our   on request (setPacing),    the browser's
//                 deadline clock             our deadline clock         animation frame
// held frame      no: copied to the display  yes, until the next        no: copied to
//                                            present (lastFrame)        the canvas
// frame extents   _NET_FRAME_EXTENTS (X11)   setFrame, none by default  the page's drawn
//                                                                       frame
// cursor          the class's, as the arrow  none                       the browser's
// minimise        the window manager's       setClientSize(0, 0)        a hidden tab
// resize          the window manager's       setClientSize              the page's handle
// system keys     Alt held, F10 (the core)   pressKey(alt, ctrl)        as SDL, from the
//                                                                       KeyboardEvent
// GPU path        SDL_Renderer when the      none: memory only          none: putImageData
//                 driver is a GPU, else the
//                 shared-memory surface
// display loss    a broken Wayland           failPresents               none
//                 connection fails presents
// close           close button, SDL_QUIT     PostMessageW(WM_CLOSE)     the title bar's
//                 -> WM_CLOSE                                           close button
#pragma once

#include <cstdint>
#include <string>

#include "win/core.h"
#include "win/display.h"
#include "win/win32.h"

namespace win::backend {

// Opens a hidden native window for the record hWnd whose outer box, frame included, is
// width × height with its top-left corner at (x, y), as Win32 places it. A back end
// that learns the frame's size reports it (noteFrameExtents) and gives the native window
// the client clientOfOuter leaves; one that cannot know it gives a width × height client.
// On failure returns false after setting the error line (setLastErrorText).
bool createWindow(HWND hWnd, const std::string& titleUtf8, int x, int y, int width, int height);

// Runs once CreateWindowExW has sent WM_CREATE and WM_SIZE, just before it returns.
void windowCreated(HWND hWnd);

// Applies a ShowWindow command to the native window. *client comes in as the size the
// window had when last not minimised; the back end replaces it where the native
// window knows better (a maximise). The core reports 0 × 0 for minimising commands.
void showWindow(HWND hWnd, int nCmdShow, ClientSize* client);

void destroyWindow(HWND hWnd);

// Moves pending native events into the queue without waiting.
void pumpEvents();

// Shows a width × height X8R8G8B8 frame stretched over a clientWidth × clientHeight
// client (nothing to draw when that is 0 × 0), then paces when asked, and says what it
// did: whether it keeps `pixels` until the next present, whether it waited. `change`
// says where the frame differs from the one presented to hWnd before; a back end whose
// client does not show that one (a resize, an expose, a present it skipped) draws all.
PresentResult present(HWND hWnd, const SharedPixels& pixels, int width, int height, int clientWidth,
                      int clientHeight, bool paced, const FrameChange& change);

}  // namespace win::backend
