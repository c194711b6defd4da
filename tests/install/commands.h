// Running the commands the install checks rely on (cmake, cpack, lintian, man, ...)
// and keeping what each printed for the failure message; the installed tree they expect.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <map>
#include <string>

#include "tests/e2e/support/process.h"

namespace install {

using e2e::makeTempDir;  // a new empty folder among this run's files, removed with them at exit

struct Output {
    int code = -1;  // the exit status, 128 + a signal that ended it, -1 if it hung
    std::string out;
    std::string err;
};

// Runs command through /bin/sh, stdout and stderr kept apart, stdin empty.
Output run(const std::string& command);
// Single-quoted for the shell.
std::string quote(const std::string& text);

// What `cmake --install` must put under the prefix /usr: paths below it, with modes.
const std::map<std::string, mode_t>& expectedFiles();
// Regular files below root (paths relative to it) with their permission bits.
std::map<std::string, mode_t> listFiles(const std::string& root);

// A fresh DESTDIR install of the release build under the prefix /usr for each test: the
// tree the packaged files come from.
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

    std::string destdir_;
    std::string usr_;  // with its trailing slash
};

}  // namespace install
