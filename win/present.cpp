// win::presentFrame, the graphics layer's way onto the screen: checks the window and
// the frame, reads the client size from the registry and hands both to the back end,
// which stretches and paces. Does not know how pixels reach the display.
#include "win/backend.h"
#include "win/core.h"
#include "win/display.h"

namespace win {

PresentResult presentFrame(HWND hWnd, const SharedPixels& pixels, int width, int height,
                           bool paced) {
    ClientSize client;
    if (!clientSizeOf(hWnd, &client)) {
        setLastErrorText("cannot present: the window does not exist");
        return {};
    }
    if (pixels == nullptr || width <= 0 || height <= 0) {
        setLastErrorText("cannot present: empty frame");
        return {};
    }
    return backend::present(hWnd, pixels, width, height, client.width, client.height, paced);
}

}  // namespace win
