// A fresh DESTDIR install of the release build under the prefix /usr for each test,
// removed afterwards: the tree the packaged files come from.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "commands.h"

namespace install {

class DestdirInstall : public ::testing::Test {
protected:
    void SetUp() override {
        destdir_ = makeTempDir("destdir");
        ASSERT_FALSE(destdir_.empty());
        const Output installed = run("DESTDIR=" + quote(destdir_) + " " + quote(CMAKE_COMMAND) +
                                     " --install " + quote(BUILD_DIR) + " --prefix /usr");
        ASSERT_EQ(installed.code, 0) << installed.out << installed.err;
        usr_ = destdir_ + "/usr/";
    }
    void TearDown() override {
        if (!destdir_.empty()) std::filesystem::remove_all(destdir_);
    }

    std::string destdir_;
    std::string usr_;  // with its trailing slash
};

}  // namespace install
