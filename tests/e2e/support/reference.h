// Reference frames for the end-to-end tests: the same WinMain, scene and device run on
// the headless back end, for every angle of the spin, with the same keys pressed.
// A program using these links app, scene, gfx and win_headless (the e2e CMake function
// does so for suites declared with FRAMES).
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "tests/e2e/support/poll.h"
#include "tests/e2e/support/x_window.h"
#include "win/win32.h"

namespace e2e {

struct ReferenceSet {
    int width = 0;  // client size the frames were stretched to
    int height = 0;
    int step = 1;  // every step-th pixel in each direction is kept
    std::vector<std::vector<std::uint32_t>> frames;  // [angle], 0x00RRGGBB
};

// Named, so a call that keeps the returned set holds no temporary (GCC 14's
// -Wdangling-reference counts any temporary of class type in the call).
inline constexpr FrameSides kNoFrame{};

// Frames at angles 0 … 359 with the keys pressed before the first frame, in a window
// with `frame` around its client (win::headless::setFrame) and, when width and height
// are not 0, the client resized to them; every 4th pixel each way. Made once per
// process for each keys, size and frame, then kept to the end of the process.
const ReferenceSet& references(const std::vector<WPARAM>& keys, int width = 0, int height = 0,
                               FrameSides frame = kNoFrame);

// The headless frames at angles from … to − 1 (frames[0] at `from`) as references()
// makes them, every step-th pixel each way: step 1 keeps whole frames.
ReferenceSet renderFrames(const std::vector<WPARAM>& keys, int width, int height, FrameSides frame,
                          int step, int from, int to);

// The shares of kept pixels that tell frames apart, for every suite that compares a
// window with these frames. A window shows exactly the headless frame, so a match
// differs nowhere and the margin only absorbs a stray pixel; a one-unit camera step with
// only the thin axes in view changes well under 1% of the kept pixels, so "different"
// starts low.
constexpr double kSameFrame = 0.001;
constexpr double kOtherFrame = 0.003;

struct Match {
    int angle = -1;
    double mismatch = 1.0;  // share of kept pixels that differ
};
// The angle whose reference frame the image is closest to.
Match bestMatch(const ReferenceSet& references, const Image& image);

// Looks until what `look` returns matches a frame with a mismatch under `same`, or the
// poll ends (*error, if given, then says why as pollUntil's does): the best look.
Match lookUntilMatch(const ReferenceSet& references, const std::function<Image()>& look,
                     double same, const Poll& poll, std::string* error = nullptr);

// A key typed into a window: its keysym, the virtual key the viewer gets, and whether it
// changes the picture (depth testing does not, here).
struct KeyStep {
    const char* key;
    WPARAM vk;
    bool changesPicture = true;
};
// Types each key in turn into `window` after the keys already `pressed`: within the poll
// `look` must show the frame with all of them, and where the key changes the picture,
// that look must no longer show the frame before it.
void typeAndMatch(XClient* client, unsigned long window, std::vector<WPARAM> pressed,
                  std::span<const KeyStep> steps, const std::function<Image()>& look,
                  const Poll& poll);

}  // namespace e2e
