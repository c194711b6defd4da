#include "tests/e2e/support/poll.h"

#include <chrono>

namespace e2e {

bool pollUntil(const std::function<bool()>& done, const Poll& poll, std::string* error) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(poll.timeoutMs);
    std::string what = poll.what.empty() ? "the wait was over" : poll.what;
    for (;;) {
        for (const Process* process : poll.watched) {
            if (!process->alive()) {
                if (error != nullptr) *error = process->failure(what.insert(0, "ended before "));
                return false;
            }
        }
        if (done()) return true;
        if (Clock::now() >= deadline) {
            if (error != nullptr) {
                const std::string after = std::to_string(poll.timeoutMs) + " ms";
                if (poll.watched.size() == 1) {
                    what.insert(0, "was not ready after " + after + " (");
                    what += ')';
                    *error = poll.watched[0]->failure(what);
                } else {
                    *error = what.append(": not done after ").append(after);
                }
            }
            return false;
        }
        sleepMs(poll.everyMs);
    }
}

}  // namespace e2e
