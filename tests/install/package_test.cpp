// The Debian package `make package` makes: lintian accepts it, dpkg-shlibdeps filled
// in its Depends, it holds the same files as the DESTDIR install, and packing it again
// later gives the same bytes.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "commands.h"
#include "tests/e2e/support/process.h"

namespace {

using namespace install;
using e2e::readFile;

// Packs the build into dir as `make package` does (umask 022, no SOURCE_DATE_EPOCH of
// the caller's); the .deb's path, or "" with cpack's words in *error.
std::string pack(const std::string& dir, std::string* error) {
    const Output packed = run(
        "umask 022 && cd " + quote(dir) + " && env -u SOURCE_DATE_EPOCH " + quote(CPACK_COMMAND) +
        " --config " + quote(std::string(BUILD_DIR) + "/CPackConfig.cmake") + " -B " + quote(dir));
    const Output arch = run("dpkg --print-architecture");
    std::string deb = dir + "/our-direct3d-program_" + PROJECT_VERSION + "-1_" +
                      arch.out.substr(0, arch.out.find('\n')) + ".deb";
    if (packed.code != 0 || !std::filesystem::exists(deb)) {
        *error = "no " + deb + "; cpack (" + std::to_string(packed.code) + ") said: " + packed.out +
                 packed.err + arch.err;
        return "";
    }
    return deb;
}

TEST(Package, LintianAcceptsTheDebAndItHoldsTheInstalledTree) {
    const std::string dir = makeTempDir("package");
    ASSERT_FALSE(dir.empty());
    std::string error;
    const std::string deb = pack(dir, &error);
    ASSERT_FALSE(deb.empty()) << error;

    // No error; of the warnings only the one that belongs to an upload to Debian itself:
    // a first upload there closes its "intent to package" bug, which this one has none of.
    // No hardening tag at any level, down to the pedantic and informational ones.
    const Output lint = run("lintian --pedantic -I --fail-on error " + quote(deb));
    EXPECT_EQ(lint.code, 0) << lint.out << lint.err;
    std::istringstream tags(lint.out);
    for (std::string line; std::getline(tags, line);) {
        EXPECT_TRUE(line.rfind("W: ", 0) != 0 ||
                    line.find(" initial-upload-closes-no-bugs ") != std::string::npos)
            << line;
        EXPECT_EQ(line.find(" hardening-"), std::string::npos) << line;
    }

    const Output depends = run("dpkg-deb -f " + quote(deb) + " Depends");
    EXPECT_NE(depends.out.find("libsdl2-2.0-0"), std::string::npos) << depends.out << depends.err;
    EXPECT_NE(depends.out.find("libpng16-16"), std::string::npos) << depends.out;
    const Output recommends = run("dpkg-deb -f " + quote(deb) + " Recommends");
    EXPECT_NE(recommends.out.find("libdecor-0-plugin-1-cairo"), std::string::npos)
        << "the Wayland title bar's plugin: " << recommends.out << recommends.err;

    // The archive's regular files, "./usr/..." in its listing, against the install's.
    const Output listing = run("dpkg-deb --fsys-tarfile " + quote(deb) + " | tar -t");
    ASSERT_EQ(listing.code, 0) << listing.err;
    std::set<std::string> packaged;
    std::istringstream lines(listing.out);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() != '/') packaged.insert(line);
    }
    std::set<std::string> expected;
    for (const auto& [path, mode] : expectedFiles()) expected.insert("./usr/" + path);
    EXPECT_EQ(packaged, expected);
}

// Packed twice from one build, into other folders, with every packed file's time moved
// in between: the same bytes. Every member is dated by the last commit (the release
// date outside a git checkout) and owned by root.
TEST(Package, PackingAgainLaterGivesTheSameBytes) {
    const std::string first = makeTempDir("package-first");
    const std::string second = makeTempDir("package-second");
    ASSERT_FALSE(first.empty() || second.empty());
    std::string error;
    const std::string firstDeb = pack(first, &error);
    ASSERT_FALSE(firstDeb.empty()) << error;

    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    const std::string build = BUILD_DIR;
    const Output touched =
        run("touch " + quote(build + "/our-direct3d-program") + " " +
            quote(build + "/our-direct3d-program-snapshot") + " && find " +
            quote(build + "/packaging") +
            " -type f \\( -name '*.png' -o -name '*.gz' -o -name '*.desktop' -o -name '*.xml'"
            " -o -name copyright \\) -exec touch {} +");
    ASSERT_EQ(touched.code, 0) << touched.err;
    const std::string secondDeb = pack(second, &error);
    ASSERT_FALSE(secondDeb.empty()) << error;

    const std::string bytes = readFile(firstDeb);
    ASSERT_GT(bytes.size(), 10000u);
    EXPECT_TRUE(bytes == readFile(secondDeb))
        << "the two packages differ: " << firstDeb << " " << secondDeb;

    const Output commit = run("git -C " + quote(SOURCE_DIR) + " log -1 --format=%ct");
    const long long epoch =
        commit.code == 0 && !commit.out.empty() ? std::stoll(commit.out) : RELEASE_EPOCH;
    // The .deb is an ar archive: "!<arch>\n", then 60-byte member headers whose date sits
    // at bytes 16 to 27; the first member is debian-binary, four bytes long.
    EXPECT_EQ(std::stoll(bytes.substr(8 + 16, 12)), epoch);
    // The data archive's members as tar lists them: "-rw-r--r-- 0/0 1234 2024-05-01
    // 12:00:00 ./usr/...", owners as numbers and times in UTC.
    const Output data = run("dpkg-deb --fsys-tarfile " + quote(firstDeb) +
                            " | tar -tv --numeric-owner --full-time --utc");
    ASSERT_EQ(data.code, 0) << data.err;
    char date[32];
    const std::time_t time = epoch;
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", std::gmtime(&time));
    std::istringstream members(data.out);
    std::size_t count = 0;
    for (std::string line; std::getline(members, line); ++count) {
        std::istringstream fields(line);
        std::string mode, owner, size, day, seconds;
        fields >> mode >> owner >> size >> day >> seconds;
        EXPECT_EQ(owner, "0/0") << line;
        EXPECT_EQ(day + " " + seconds.substr(0, 8), date) << line;  // whole seconds
    }
    EXPECT_GT(count, expectedFiles().size());
}

}  // namespace
