#include "tests/e2e/support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/e2e/support/poll.h"

namespace e2e {
namespace {

// The process groups started and not yet reaped. Lock-free slots, because the fatal
// signal handlers read them.
constexpr int kSlots = 256;
std::atomic<pid_t> liveGroups[kSlots];

void killLiveGroups() {
    for (std::atomic<pid_t>& slot : liveGroups) {
        const pid_t group = slot.load();
        if (group > 0) kill(-group, SIGKILL);
    }
}

// The first slot holding `from` gets `to`: a group remembered (from 0) or forgotten (to 0).
void replaceGroup(pid_t from, pid_t to) {
    for (std::atomic<pid_t>& slot : liveGroups) {
        pid_t expected = from;
        if (slot.compare_exchange_strong(expected, to)) return;
    }
}

constexpr int kFatalSignals[] = {SIGHUP,  SIGINT, SIGQUIT, SIGTERM, SIGABRT,
                                 SIGSEGV, SIGBUS, SIGFPE,  SIGILL,  SIGPIPE};

void onFatalSignal(int number) {
    killLiveGroups();
    raise(number);  // SA_RESETHAND put the default action back
}

// Once, before the first start: every way out of the test process ends the groups. A
// signal the test process ignores, or handles itself, is left as it is.
void guardTheWaysOut() {
    static const bool guarded = [] {
        std::atexit(killLiveGroups);
        for (const int number : kFatalSignals) {
            struct sigaction old = {};
            if (sigaction(number, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) continue;
            struct sigaction action = {};
            action.sa_handler = onFatalSignal;
            action.sa_flags = SA_RESETHAND | SA_NODEFER;
            sigemptyset(&action.sa_mask);
            sigaction(number, &action, nullptr);
        }
        return true;
    }();
    (void)guarded;
}

// Never destroyed: a static string's destructor is registered only once its initializer
// returns, after the exit handler registered inside it, so it would run first and leave
// the handler reading a freed string.
std::string runFolder() {
    static const std::string* const folder = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
        pattern += "/viewer-e2e-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) return new std::string("/tmp");
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(runFolder(), ignored);
        });
        return new std::string(pattern);
    }();
    return *folder;
}

// The test's environment with the launch's changes, built before fork: the child may
// only make async-signal-safe calls.
std::vector<std::string> environmentFor(const Environment& changes) {
    std::vector<std::string> out;
    for (char** entry = environ; *entry != nullptr; ++entry) out.emplace_back(*entry);
    for (const auto& [variable, value] : changes) {
        const std::string prefix = variable + "=";
        std::erase_if(out, [&](const std::string& e) { return e.rfind(prefix, 0) == 0; });
        if (!value.empty()) out.push_back(prefix + value);
    }
    return out;
}

std::vector<char*> pointersTo(std::vector<std::string>& strings) {
    std::vector<char*> out;
    out.reserve(strings.size() + 1);
    for (std::string& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

// Every descriptor above 2 closed but the kept ones (sorted), which lose close-on-exec.
void closeAllBut(const std::vector<int>& keep) {
    unsigned int from = 3;
    for (const int fd : keep) {
        if (fd < static_cast<int>(from)) continue;
        if (static_cast<unsigned int>(fd) > from) close_range(from, fd - 1, 0);
        fcntl(fd, F_SETFD, 0);
        from = static_cast<unsigned int>(fd) + 1;
    }
    close_range(from, ~0U, 0);
}

[[noreturn]] void becomeProgram(pid_t parent, char* const* argv, char* const* envp,
                                const char* outPath, const char* errPath,
                                const std::vector<int>& keep) {
    setpgid(0, 0);
    // Dies with the test process; if that is already gone, the signal would never come.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(outPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in >= 0) dup2(in, 0);
    if (out >= 0) dup2(out, 1);
    if (err >= 0) dup2(err, 2);
    closeAllBut(keep);
    execvpe(argv[0], argv, envp);
    const char* why = strerror(errno);
    const char* words[] = {"cannot run ", argv[0], ": ", why, "\n"};
    for (const char* w : words) (void)!write(2, w, std::strlen(w));
    _exit(127);
}

int codeOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

Process::Process(const Launch& launch) : name_(launch.name) {
    guardTheWaysOut();
    static std::atomic<int> serial{0};
    errPath_ = runPath("process-" + std::to_string(++serial) + ".stderr");
    std::vector<std::string> args = launch.argv;
    std::vector<std::string> env = environmentFor(launch.environment);
    const std::vector<char*> argv = pointersTo(args);
    const std::vector<char*> envp = pointersTo(env);
    const std::string outPath = launch.stdoutPath.empty() ? "/dev/null" : launch.stdoutPath;
    std::vector<int> keep = launch.keepFds;
    std::sort(keep.begin(), keep.end());
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        becomeProgram(parent, argv.data(), envp.data(), outPath.c_str(), errPath_.c_str(), keep);
    }
    if (pid < 0) return;
    setpgid(pid, pid);  // also here, so the group exists whichever side runs first
    replaceGroup(0, pid);
    pid_ = pid;
}

Process::Process(Process&& other) noexcept {
    *this = std::move(other);  // stopping a Process that never ran does nothing
}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        stop();
        name_ = std::move(other.name_);
        pid_ = std::exchange(other.pid_, -1);
        code_ = other.code_;
        errPath_ = std::move(other.errPath_);
    }
    return *this;
}

// How it ended, or "" while it runs. WNOWAIT leaves the zombie to reap(), so the pid
// and the group id cannot be handed to another process in between.
std::string Process::howItEnded() const {
    if (pid_ <= 0) return code_ >= 0 ? "ended with code " + std::to_string(code_) : "never ran";
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
        return "is gone";
    }
    if (info.si_pid == 0) return "";
    if (info.si_code == CLD_EXITED) return "exited with code " + std::to_string(info.si_status);
    return "was killed by signal " + std::to_string(info.si_status) + " (" +
           strsignal(info.si_status) + ")";
}

bool Process::alive() const {
    return pid_ > 0 && howItEnded().empty();
}

// The program has ended: what is left of its group goes too, then its zombie.
int Process::reap() {
    kill(-pid_, SIGKILL);
    int status = 0;
    code_ = waitpid(pid_, &status, 0) == pid_ ? codeOf(status) : -1;
    replaceGroup(pid_, 0);
    pid_ = -1;
    return code_;
}

int Process::waitExit(int timeoutMs) {
    if (pid_ <= 0) return code_;
    if (pollUntil([this] { return !alive(); }, {.timeoutMs = timeoutMs, .everyMs = 10})) {
        return reap();
    }
    stop();
    return -1;
}

int Process::stop() {
    if (pid_ <= 0) return code_;
    if (alive()) {
        kill(-pid_, SIGTERM);
        pollUntil([this] { return !alive(); }, {.timeoutMs = 2000, .everyMs = 10});
    }
    return reap();
}

void Process::signal(int number) const {
    if (pid_ > 0) kill(pid_, number);
}

std::string Process::stderrText() const {
    return readFile(errPath_);
}

std::string Process::failure(const std::string& what) const {
    std::string message = name_ + " " + what;
    const std::string ended = howItEnded();
    if (!ended.empty()) message += " (it " + ended + ")";
    // Its reason for leaving is usually the last thing it said.
    std::string words = stderrText();
    constexpr std::size_t kKeep = 2000;
    if (words.size() > kKeep) words = "..." + words.substr(words.size() - kKeep);
    while (!words.empty() && (words.back() == '\n' || words.back() == ' ')) words.pop_back();
    message += words.empty() ? "; it printed nothing on stderr" : "; its stderr:\n" + words;
    return message;
}

std::string runPath(const std::string& name) {
    return runFolder() + "/" + name;
}

std::string makeTempDir(const std::string& stem) {
    std::string pattern = runPath(stem + "-XXXXXX");
    return mkdtemp(pattern.data()) != nullptr ? pattern : "";
}

std::set<std::string> namesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

bool isRunning(pid_t pid) {
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
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

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace e2e
