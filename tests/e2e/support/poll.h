// Waiting in a test for something that happens in another program: a window appearing,
// a size taken, a frame drawn. One loop for all of them, so each wait has a deadline
// and notices a program it relies on ending instead of waiting it out.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tests/e2e/support/process.h"

namespace e2e {

struct Poll {
    int timeoutMs = 5000;
    int everyMs = 50;
    std::vector<const Process*> watched{};  // the wait fails at once when one of these ends
    std::string what{};                     // what is waited for, for the message
};

// Asks `done` until it says yes (at least once, however short the time-out): true.
// False when the time is up or a watched process ends first, with *error (if given)
// naming the process in its own words, or what was waited for.
bool pollUntil(const std::function<bool()>& done, const Poll& poll, std::string* error = nullptr);

}  // namespace e2e
