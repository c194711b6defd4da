// Deadline pacing shared by the back ends: next += period, sleep until next, resync
// when more than a few periods late. Does not know how the refresh rate was found.
#include "win/pacing.h"

#include <thread>

namespace win {

bool waitForRefresh(Pacer& pacer, int refreshHz) {
    using clock = std::chrono::steady_clock;
    const auto period = std::chrono::duration_cast<clock::duration>(
        std::chrono::duration<double>(1.0 / (refreshHz > 0 ? refreshHz : 60)));
    const auto now = clock::now();
    if (!pacer.running || now > pacer.next + 4 * period) {
        pacer.running = true;
        pacer.next = now + period;
        return false;
    }
    const bool early = now < pacer.next;
    if (early) std::this_thread::sleep_until(pacer.next);
    pacer.next += period;
    return early;
}

}  // namespace win
