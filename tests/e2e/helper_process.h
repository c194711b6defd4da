// The programs a test leans on (Xvfb, a window manager, valgrind). Each gets the
// environment it needs from the test, not from whoever ran the suite, and its stderr is
// kept, so a helper that dies or never gets ready fails the test once, by name, in its
// own words, instead of a check further on failing for a reason it does not show.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

struct Helper {
    std::string name;     // as failures name it
    pid_t pid = -1;       // stays a zombie once ended, until stopHelper reaps it
    std::string errPath;  // its stderr
};

// Variables to set in the helper's environment; an empty value removes the variable.
using Environment = std::vector<std::pair<std::string, std::string>>;

// Runs argv[0] (looked up in PATH) with stdout to /dev/null and stderr to errPath.
// Descriptors without close-on-exec stay open in it (Xvfb's -displayfd pipe).
Helper startHelper(const std::string& name, const std::vector<std::string>& argv,
                   const Environment& environment, const std::string& errPath);

bool helperRunning(const Helper& helper);

// One message naming the helper, what went wrong, how it ended (if it has) and the last
// of its stderr.
std::string helperFailure(const Helper& helper, const std::string& what);

// Asks `ready` every 50 ms until it says yes; false, with *error set, when the helper
// ends first or timeoutMs pass. `readiness` names what was waited for.
bool waitUntilReady(const Helper& helper, const std::function<bool()>& ready,
                    const std::string& readiness, int timeoutMs, std::string* error);

// Seconds all threads of the process have spent ready to run but waiting for a CPU
// (the kernel's schedstat), so far; 0 where the kernel does not keep it.
double secondsWaitingForCpu(pid_t pid);

// SIGTERM, then SIGKILL if it has not ended within 2 s; reaps it.
void stopHelper(Helper* helper);

// Small shared pieces of the tests: a pause of the test thread, and a whole file as text
// ("" when it cannot be read).
void sleepMs(int ms);
std::string readFile(const std::string& path);

}  // namespace e2e
