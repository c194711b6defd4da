// The snapshot tool over an existing file: a write that fails part-way (here the
// process's file-size limit, as a full disk would) must leave the old file whole and
// no half-written one beside it; one that succeeds replaces it, keeping its mode.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Result {
    int status = -1;  // the exit status, -1 when the tool did not exit normally
    std::string err;
};

// Runs the snapshot tool writing out, with umask 022 and at most fileLimit bytes per
// file it writes; SIGXFSZ is ignored, so an over-long write fails with EFBIG instead
// of killing the tool.
Result runSnapshot(const std::string& out, rlim_t fileLimit) {
    std::vector<std::string> args = {
        SNAPSHOT_RUN_WITH, SNAPSHOT_PATH, "--frames", "3", "--out", out};
    if (args.front().empty()) args.erase(args.begin());  // a native build runs it directly
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    Result result;
    int errPipe[2];
    if (::pipe2(errPipe, O_CLOEXEC) != 0) return result;
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(errPipe[1], STDERR_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{fileLimit, fileLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::umask(022);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(errPipe[1]);
    char buffer[4096];
    for (ssize_t got; (got = ::read(errPipe[0], buffer, sizeof buffer)) != 0;) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) break;
        result.err.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(errPipe[0]);
    int status = 0;
    if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status)) {
        result.status = WEXITSTATUS(status);
    }
    return result;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::set<std::string> namesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

class SnapshotOutput : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "snapshot-output-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        out_ = folder_ + "/out.png";
        std::ofstream(out_, std::ios::binary) << old_;
        ASSERT_EQ(::chmod(out_.c_str(), 0640), 0);
    }
    void TearDown() override { fs::remove_all(folder_); }

    const std::string old_ = "the picture from yesterday, which must survive\n";
    std::string folder_;
    std::string out_;
};

// A frame's PNG is several kilobytes; 1 KiB lets the write start and then fail.
TEST_F(SnapshotOutput, FailedWriteLeavesTheOldFileWholeAndNothingBeside) {
    const Result run = runSnapshot(out_, 1024);
    EXPECT_EQ(run.status, 1) << run.err;
    ASSERT_FALSE(run.err.empty());
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "not one line: " << run.err;
    EXPECT_NE(run.err.find("cannot write " + out_ + ": " + std::strerror(EFBIG)), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("left as it was"), std::string::npos) << run.err;
    EXPECT_EQ(readFile(out_), old_);
    EXPECT_EQ(namesIn(folder_), std::set<std::string>{"out.png"});
}

TEST_F(SnapshotOutput, ReplacesTheFileKeepingItsModeAndCreatesNewOnesByTheUmask) {
    const Result replaced = runSnapshot(out_, RLIM_INFINITY);
    EXPECT_EQ(replaced.status, 0) << replaced.err;
    EXPECT_EQ(replaced.err, "");
    const std::string png = readFile(out_);
    EXPECT_GT(png.size(), 1024u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    struct stat info = {};
    ASSERT_EQ(::stat(out_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);

    const std::string fresh = folder_ + "/fresh.png";
    const Result created = runSnapshot(fresh, RLIM_INFINITY);
    EXPECT_EQ(created.status, 0) << created.err;
    EXPECT_TRUE(readFile(fresh) == png) << "the same frames gave other bytes";
    ASSERT_EQ(::stat(fresh.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
    EXPECT_EQ(namesIn(folder_), (std::set<std::string>{"fresh.png", "out.png"}));
}

}  // namespace
