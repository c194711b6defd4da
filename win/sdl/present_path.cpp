// Which way a window's frames reach the screen, read for tests (present_path.h).
#include "win/sdl/present_path.h"

#include "win/sdl/native_window.h"

namespace win::sdl {
namespace {

PresentPath latest = PresentPath::none;  // of the latest window: all state of this file

}  // namespace

PresentPath presentPathOf(HWND hWnd) {
    const NativeWindow* native = nativeWindowOf(hWnd);
    if (native == nullptr) return PresentPath::none;
    return native->gpu != nullptr ? PresentPath::gpu : PresentPath::sharedMemory;
}

PresentPath lastWindowPath() {
    return latest;
}

void noteLatestPath(PresentPath path) {
    latest = path;
}

}  // namespace win::sdl
