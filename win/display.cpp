// win::presentFrame (win/display.h), the graphics layer's way onto the screen: checks
// the window and the frame, reads the client size from the registry and hands both to
// the back end, which stretches and paces. Does not know how pixels reach the display.
#include <cerrno>
#include <cstdio>
#include <map>
#include <set>

#include "win/backend.h"
#include "win/core.h"
#include "win/display.h"
#include "win/error.h"

namespace win {
namespace {

// All state of this file: windows whose presents fail, said already; who presented to
// each window last, and where each presenter presented last.
std::set<HWND> failing;
std::map<HWND, const void*> presenters;
std::map<const void*, HWND> targets;

}  // namespace

PresentResult presentFrame(HWND hWnd, const SharedPixels& pixels, int width, int height, bool paced,
                           const FrameChange& change, const void* presenter) {
    ClientSize client;
    if (!clientSizeOf(hWnd, &client)) {
        setLastErrorText("cannot present: the window does not exist");
        return {};
    }
    if (pixels == nullptr || width <= 0 || height <= 0) {
        setLastErrorText("cannot present: empty frame");
        return {};
    }
    // A change is only known against the frame before when both went from the same
    // presenter to the same window, one after the other.
    FrameChange known = change;
    const void*& previous = presenters[hWnd];
    HWND& target = targets[presenter];
    if (presenter == nullptr || previous != presenter || target != hWnd) known.all = true;
    previous = presenter;
    target = hWnd;
    PresentResult result =
        backend::present(hWnd, pixels, width, height, client.width, client.height, paced, known);
    // Ours: the program never looks at what Present returns, so a window that stops
    // showing frames is said here, once for each run of failures rather than every
    // frame, and once more when frames show again. The loop goes on meanwhile.
    if (!result.ok && failing.insert(hWnd).second) {
        std::fprintf(stderr, "%s: %s (frames are not shown until a present succeeds)\n",
                     program_invocation_short_name, lastErrorText());
    } else if (result.ok && failing.erase(hWnd) != 0) {
        std::fprintf(stderr, "%s: presents succeed again: frames are shown\n",
                     program_invocation_short_name);
    }
    return result;
}

void resetPresents() {
    failing.clear();
    presenters.clear();
    targets.clear();
}

}  // namespace win
