#include "tests/e2e/support/poll.h"

#include <chrono>

namespace e2e {

bool pollUntil(const std::function<bool()>& done, const Poll& poll, std::string* error) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(poll.timeoutMs);
    for (;;) {
        for (const Process* process : poll.watched) {
            if (!process->alive()) {
                if (error != nullptr) *error = process->failure("ended before " + poll.what);
                return false;
            }
        }
        if (done()) return true;
        if (Clock::now() >= deadline) {
            if (error != nullptr) {
                *error = poll.what + ": not after " + std::to_string(poll.timeoutMs) + " ms";
                if (poll.watched.size() == 1) {
                    *error = poll.watched[0]->failure("was not ready after " +
                                                      std::to_string(poll.timeoutMs) + " ms (" +
                                                      poll.what + ")");
                }
            }
            return false;
        }
        sleepMs(poll.everyMs);
    }
}

}  // namespace e2e
