#include "helper_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "x_session.h"

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;

// How it ended, or "" while it runs. WNOWAIT leaves the zombie for stopHelper to reap,
// so the pid cannot be handed to another process in between.
std::string howItEnded(pid_t pid) {
    if (pid <= 0) return "was never started";
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
        return "is gone";
    }
    if (info.si_pid == 0) return "";
    if (info.si_code == CLD_EXITED) return "exited with code " + std::to_string(info.si_status);
    return "was killed by signal " + std::to_string(info.si_status) + " (" +
           strsignal(info.si_status) + ")";
}

// The end of what it printed: its reason for leaving is usually the last thing it said.
std::string lastWords(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::string words = text.str();
    constexpr std::size_t kKeep = 2000;
    if (words.size() > kKeep) words = "..." + words.substr(words.size() - kKeep);
    while (!words.empty() && (words.back() == '\n' || words.back() == ' ')) words.pop_back();
    return words;
}

}  // namespace

Helper startHelper(const std::string& name, const std::vector<std::string>& argv,
                   const Environment& environment, const std::string& errPath) {
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        for (const auto& [variable, value] : environment) {
            if (value.empty()) {
                unsetenv(variable.c_str());
            } else {
                setenv(variable.c_str(), value.c_str(), 1);
            }
        }
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err >= 0 ? err : devnull, 2);
        execvp(args[0], args.data());
        const std::string why =
            std::string("cannot run ") + args[0] + ": " + strerror(errno) + "\n";
        (void)!write(2, why.data(), why.size());
        _exit(127);
    }
    return Helper{name, pid, errPath};
}

bool helperRunning(const Helper& helper) {
    return helper.pid > 0 && howItEnded(helper.pid).empty();
}

std::string helperFailure(const Helper& helper, const std::string& what) {
    std::string message = helper.name + " " + what;
    const std::string ended = howItEnded(helper.pid);
    if (!ended.empty()) message += " (it " + ended + ")";
    const std::string words = lastWords(helper.errPath);
    message += words.empty() ? "; it printed nothing on stderr" : "; its stderr:\n" + words;
    return message;
}

bool waitUntilReady(const Helper& helper, const std::function<bool()>& ready,
                    const std::string& readiness, int timeoutMs, std::string* error) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (!helperRunning(helper)) {
            *error = helperFailure(helper, "ended before " + readiness);
            return false;
        }
        if (ready()) return true;
        if (Clock::now() >= deadline) {
            *error = helperFailure(helper, "was not ready after " + std::to_string(timeoutMs) +
                                               " ms (" + readiness + ")");
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

double secondsWaitingForCpu(pid_t pid) {
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    double seconds = 0;
    std::error_code ignored;
    for (const auto& task : std::filesystem::directory_iterator(tasks, ignored)) {
        std::ifstream in(task.path() / "schedstat");
        long long running = 0;
        long long waiting = 0;  // nanoseconds
        if (in >> running >> waiting) seconds += static_cast<double>(waiting) * 1e-9;
    }
    return seconds;
}

void stopHelper(Helper* helper) {
    stopProcess(helper->pid);
    helper->pid = -1;
}

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace e2e
