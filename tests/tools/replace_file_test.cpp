// replaceFile on the paths it meets besides a plain file: a link, a device, a folder,
// a folder that is not there.
#include "tools/replace_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "tests/e2e/support/process.h"

namespace {

namespace fs = std::filesystem;

class ReplaceFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(folder_ = e2e::makeTempDir("replace-file"), ""); }
    void TearDown() override { fs::remove_all(folder_); }

    bool replace(const std::string& path) {
        return tools::replaceFile(path, bytes_.data(), bytes_.size(), &error_);
    }

    const std::string bytes_ = "new bytes";
    std::string folder_;
    std::string error_;
};

// The link stays a link, and the file it points at gets the bytes, as when writing
// through it.
TEST_F(ReplaceFile, FollowsALinkToTheFileItReplaces) {
    std::ofstream(folder_ + "/real.png") << "old";
    fs::create_symlink("real.png", folder_ + "/link.png");
    ASSERT_TRUE(replace(folder_ + "/link.png")) << error_;
    EXPECT_TRUE(fs::is_symlink(folder_ + "/link.png"));
    EXPECT_EQ(e2e::readFile(folder_ + "/real.png"), bytes_);
    EXPECT_EQ(e2e::namesIn(folder_), (std::set<std::string>{"link.png", "real.png"}));
}

// A device cannot be renamed over (and /dev has no room for a file beside it): it is
// written to, as `--out /dev/stdout` expects.
TEST_F(ReplaceFile, WritesIntoWhatIsNotARegularFile) {
    EXPECT_TRUE(replace("/dev/null")) << error_;
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST_F(ReplaceFile, FailsOnAFolderOrAMissingFolderLeavingNothing) {
    fs::create_directory(folder_ + "/taken.png");
    EXPECT_FALSE(replace(folder_ + "/taken.png"));
    EXPECT_EQ(error_, "cannot write " + folder_ +
                          "/taken.png: Is a directory; the file there "
                          "is left as it was");
    EXPECT_TRUE(fs::is_directory(folder_ + "/taken.png"));

    EXPECT_FALSE(replace(folder_ + "/missing/out.png"));
    EXPECT_EQ(error_, "cannot write " + folder_ + "/missing/out.png: No such file or directory");
    EXPECT_EQ(e2e::namesIn(folder_), std::set<std::string>{"taken.png"});
}

}  // namespace
