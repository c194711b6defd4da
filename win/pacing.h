// Deadline pacing for presents where the display gives no vertical sync: at most one
// present per refresh period, on a steady grid rather than a fixed sleep per frame.
// Used by both back ends; knows nothing of windows.
#pragma once

#include <chrono>

namespace win {

struct Pacer {
    std::chrono::steady_clock::time_point next{};  // the earliest time of the next present
    bool running = false;                          // false until the first paced present
};

// Returns at once for the first present, then no sooner than one period after the
// previous deadline. A caller far behind (a stall, a minimise) resyncs to now instead
// of hurrying through missed periods. True when it had to wait for the deadline.
bool waitForRefresh(Pacer& pacer, int refreshHz);

}  // namespace win
