// The programs a test starts (Xvfb, a window manager, weston, the viewer, valgrind, a
// shell command). Each runs in a process group of its own with the environment the test
// gives it, its stdin on /dev/null and no descriptor of the test's above 2 but those it
// is handed, so it can hold none of ctest's pipes or logs. It dies with the test process
// however that ends: killed (the kernel's parent-death signal), by a fatal signal or by
// exit (the groups still alive are killed then), or by the Process going out of scope.
// Its stderr is kept in a file of this run, for the message when it fails. Start it from
// the thread that lasts as long as the test: the parent-death signal follows the thread
// that forked.
#pragma once

#include <sys/types.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

// Variables to set in the program's environment; an empty value removes the variable.
using Environment = std::vector<std::pair<std::string, std::string>>;

struct Launch {
    std::string name{};               // as failures name it: "Xvfb", "the viewer"
    std::vector<std::string> argv{};  // argv[0] is looked up in PATH
    Environment environment{};        // changes to the test's own environment
    std::vector<int> keepFds{};       // descriptors above 2 it keeps (Xvfb's -displayfd pipe)
    std::string stdoutPath{};         // "" sends stdout to /dev/null
};

class Process {
public:
    Process() = default;
    explicit Process(const Launch& launch);
    ~Process() { stop(); }
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    const std::string& name() const { return name_; }
    pid_t pid() const { return pid_; }
    bool started() const { return pid_ > 0; }
    // Whether it still runs; asking never reaps it, so its pid stays its own.
    bool alive() const;
    // Waits up to timeoutMs for it to end by itself: its exit code, 128 + the signal that
    // ended it, or -1 on time-out (it is stopped then).
    int waitExit(int timeoutMs);
    // Ends the whole group: SIGTERM, SIGKILL after 2 s; returns as waitExit does. Also
    // for a process that has already ended, which it reaps.
    int stop();
    // A signal to the program alone, not its group (a test killing weston, say).
    void signal(int number) const;
    // What it printed on stderr so far.
    std::string stderrText() const;
    // One message naming it, what went wrong, how it ended (if it has) and the last of
    // its stderr.
    std::string failure(const std::string& what) const;

private:
    int reap();
    std::string howItEnded() const;

    std::string name_;
    pid_t pid_ = -1;  // also its process group
    int code_ = -1;   // once reaped
    std::string errPath_;
};

// A file name of this run: in a folder of its own under TMPDIR (or /tmp), removed when
// the test process exits, so two runs at once never share a file.
std::string runPath(const std::string& name);
// A new empty folder among this run's files ("" when it cannot be made), and the names
// of what a folder holds.
std::string makeTempDir(const std::string& stem);
std::set<std::string> namesIn(const std::string& folder);

// Whether the process runs (or is stopped): not a zombie waiting to be reaped.
bool isRunning(pid_t pid);

// Seconds all threads of the process have spent ready to run but waiting for a CPU
// (the kernel's schedstat), so far; 0 where the kernel does not keep it.
double secondsWaitingForCpu(pid_t pid);

// Small shared pieces of the tests: a pause of the test thread, and a whole file as text
// ("" when it cannot be read).
void sleepMs(int ms);
std::string readFile(const std::string& path);

}  // namespace e2e
