// The Debian package `make package` makes: lintian accepts it, dpkg-shlibdeps filled
// in its Depends, and it holds the same files as the DESTDIR install.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "commands.h"
#include "tests/e2e/support/process.h"

namespace {

using namespace install;
using e2e::readFile;

TEST(Package, LintianAcceptsTheDebAndItHoldsTheInstalledTree) {
    const std::string dir = makeTempDir("package");
    ASSERT_FALSE(dir.empty());
    const Output packed =
        run("cd " + quote(dir) + " && " + quote(CPACK_COMMAND) + " --config " +
            quote(std::string(BUILD_DIR) + "/CPackConfig.cmake") + " -B " + quote(dir));
    ASSERT_EQ(packed.code, 0) << packed.out << packed.err;
    const Output arch = run("dpkg --print-architecture");
    ASSERT_EQ(arch.code, 0) << arch.err;
    const std::string deb = dir + "/our-direct3d-program_" + PROJECT_VERSION + "-1_" +
                            arch.out.substr(0, arch.out.find('\n')) + ".deb";
    ASSERT_TRUE(std::filesystem::exists(deb)) << "no " << deb << "; cpack said: " << packed.out;

    // No error; of the warnings only the one that belongs to an upload to Debian itself:
    // a first upload there closes its "intent to package" bug, which this one has none of.
    const Output lint = run("lintian --fail-on error " + quote(deb));
    EXPECT_EQ(lint.code, 0) << lint.out << lint.err;
    std::istringstream tags(lint.out);
    for (std::string line; std::getline(tags, line);) {
        EXPECT_TRUE(line.rfind("W: ", 0) != 0 ||
                    line.find(" initial-upload-closes-no-bugs ") != std::string::npos)
            << line;
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
    std::filesystem::remove_all(dir);
}

}  // namespace
