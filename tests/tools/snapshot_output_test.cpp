// The snapshot tool over an existing file: a write that fails part-way (here the
// process's file-size limit, as a full disk would) must leave the old file whole and
// no half-written one beside it; one that succeeds replaces it, keeping its mode.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/support/process.h"

namespace {

namespace fs = std::filesystem;

struct Result {
    int status = -1;  // the exit status, as e2e::Process::waitExit gives it
    std::string err;
};

// Runs the snapshot tool writing out, with umask 022 and files of at most `blocks`
// 512-byte blocks ("unlimited" for no limit); SIGXFSZ is ignored, so an over-long write
// fails with EFBIG instead of killing the tool. The shell sets all three, then becomes
// the tool (under its emulator in a cross build: make test-arm64).
Result runSnapshot(const std::string& out, const std::string& blocks) {
    std::vector<std::string> argv = {
        "sh", "-c", "ulimit -f " + blocks + " && umask 022 && trap '' XFSZ && exec \"$@\"", "sh"};
    if (!std::string(SNAPSHOT_RUN_WITH).empty()) argv.emplace_back(SNAPSHOT_RUN_WITH);
    argv.insert(argv.end(), {SNAPSHOT_PATH, "--frames", "3", "--out", out});
    e2e::Process tool({.name = "viewer-snapshot", .argv = argv});
    const int status = tool.waitExit(120000);
    return {status, tool.stderrText()};
}

class SnapshotOutput : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(folder_ = e2e::makeTempDir("snapshot-output"), "");
        out_ = folder_ + "/out.png";
        std::ofstream(out_, std::ios::binary) << old_;
        ASSERT_EQ(::chmod(out_.c_str(), 0640), 0);
    }
    void TearDown() override { fs::remove_all(folder_); }

    const std::string old_ = "the picture from yesterday, which must survive\n";
    std::string folder_;
    std::string out_;
};

// A frame's PNG is several kilobytes; 1 KiB (two blocks) lets the write start and then fail.
TEST_F(SnapshotOutput, FailedWriteLeavesTheOldFileWholeAndNothingBeside) {
    const Result run = runSnapshot(out_, "2");
    EXPECT_EQ(run.status, 1) << run.err;
    ASSERT_FALSE(run.err.empty());
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "not one line: " << run.err;
    EXPECT_NE(run.err.find("cannot write " + out_ + ": " + std::strerror(EFBIG)), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("left as it was"), std::string::npos) << run.err;
    EXPECT_EQ(e2e::readFile(out_), old_);
    EXPECT_EQ(e2e::namesIn(folder_), std::set<std::string>{"out.png"});
}

TEST_F(SnapshotOutput, ReplacesTheFileKeepingItsModeAndCreatesNewOnesByTheUmask) {
    const Result replaced = runSnapshot(out_, "unlimited");
    EXPECT_EQ(replaced.status, 0) << replaced.err;
    EXPECT_EQ(replaced.err, "");
    const std::string png = e2e::readFile(out_);
    EXPECT_GT(png.size(), 1024u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    struct stat info = {};
    ASSERT_EQ(::stat(out_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);

    const std::string fresh = folder_ + "/fresh.png";
    const Result created = runSnapshot(fresh, "unlimited");
    EXPECT_EQ(created.status, 0) << created.err;
    EXPECT_TRUE(e2e::readFile(fresh) == png) << "the same frames gave other bytes";
    ASSERT_EQ(::stat(fresh.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
    EXPECT_EQ(e2e::namesIn(folder_), (std::set<std::string>{"fresh.png", "out.png"}));
}

}  // namespace
