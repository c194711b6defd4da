// The program as `cmake --install` leaves it: a DESTDIR install with prefix /usr must
// hold exactly the expected files, and what it holds must work from there: the
// snapshot tool draws what the build tree's tool draws, the viewer opens its window
// under the class its desktop entry is named for, the entry and the manual pages pass
// their validators.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <sstream>
#include <vector>

#include "commands.h"
#include "tests/e2e/support/process.h"
#include "tests/e2e/support/x_session.h"

namespace {

using namespace install;
using e2e::readFile;

// The value of key in a desktop entry's text, "" when absent.
std::string entryValue(const std::string& entry, const std::string& key) {
    std::istringstream lines(entry);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    }
    return "";
}

class InstalledTree : public DestdirInstall {};

TEST_F(InstalledTree, HoldsExactlyTheProgramsAndWhatDescribesThem) {
    std::map<std::string, mode_t> underUsr;
    for (const auto& [path, mode] : listFiles(destdir_)) {
        EXPECT_EQ(path.rfind("usr/", 0), 0u) << path << " lies outside the prefix";
        underUsr[path.substr(4)] = mode;
    }
    EXPECT_EQ(underUsr, expectedFiles());
}

// A PNG's size sits in its IHDR chunk: big-endian width and height at bytes 16 and 20.
TEST_F(InstalledTree, IconsAreSquarePicturesOfTheirFoldersSize) {
    for (int size : {48, 64, 128, 256}) {
        const std::string dir = std::to_string(size) + "x" + std::to_string(size);
        const std::string png =
            readFile(usr_ + "share/icons/hicolor/" + dir + "/apps/our-direct3d-program.png");
        ASSERT_GE(png.size(), 24u) << dir;
        ASSERT_EQ(png.substr(1, 3), "PNG") << dir;
        auto be32 = [&png](std::size_t at) {
            std::uint32_t value = 0;
            for (std::size_t i = 0; i < 4; ++i)
                value = value << 8 | static_cast<unsigned char>(png[at + i]);
            return static_cast<int>(value);
        };
        EXPECT_EQ(be32(16), size) << dir;
        EXPECT_EQ(be32(20), size) << dir;
    }
}

TEST_F(InstalledTree, SnapshotToolDrawsWhatTheBuildTreesToolDraws) {
    const std::string dir = makeTempDir("snapshots");
    const std::string args = " --frames 30 --keys PRIOR,LEFT,F1,F4 --size 640x400 --out ";
    const Output built = run(quote(SNAPSHOT_PATH) + args + quote(dir + "/built.png"));
    const Output installed = run(quote(usr_ + "bin/our-direct3d-program-snapshot") + args +
                                 quote(dir + "/installed.png"));
    ASSERT_EQ(built.code, 0) << built.err;
    ASSERT_EQ(installed.code, 0) << installed.err;
    const std::string builtPng = readFile(dir + "/built.png");
    EXPECT_GT(builtPng.size(), 1000u);
    EXPECT_TRUE(builtPng == readFile(dir + "/installed.png")) << "the two PNG files differ";

    const Output version = run(quote(usr_ + "bin/our-direct3d-program-snapshot") + " --version");
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out, std::string("our-direct3d-program-snapshot ") + PROJECT_VERSION + "\n");
}

// Docks group a window with the entry whose id equals its WM_CLASS; SDL takes that
// from the executable's name, so the entry's Exec, Icon and file name must agree.
TEST_F(InstalledTree, ViewerFromTheDesktopEntryOpensItsWindowUnderTheEntrysId) {
    const std::string id = "our-direct3d-program";
    const std::string entry = readFile(usr_ + "share/applications/" + id + ".desktop");
    ASSERT_FALSE(entry.empty());
    EXPECT_EQ(entryValue(entry, "Icon"), id);
    const std::string exec = entryValue(entry, "Exec");
    ASSERT_EQ(exec.find_first_of(" /%"), std::string::npos) << "Exec=" << exec;

    e2e::XSession x;
    std::string error;
    ASSERT_TRUE(x.start({}, &error)) << error;
    const std::string path = usr_ + "bin/" + exec;
    e2e::Process viewer = e2e::startViewer(path, x.name());
    const unsigned long window =
        e2e::findWindow(x.client(), {.title = e2e::kViewerTitle, .pid = viewer.pid()}, 10000);
    EXPECT_NE(window, 0u) << viewer.failure("showed no window");
    if (window != 0) {
        EXPECT_EQ(e2e::windowClass(x.client(), window), std::make_pair(id, id));
        e2e::requestClose(x.client(), window);
    }
    EXPECT_EQ(viewer.waitExit(10000), 0) << viewer.stderrText();
}

TEST_F(InstalledTree, DesktopEntryPassesItsValidatorWithoutAWord) {
    const Output checked = run("desktop-file-validate " +
                               quote(usr_ + "share/applications/our-direct3d-program.desktop"));
    EXPECT_EQ(checked.code, 0);
    EXPECT_EQ(checked.out + checked.err, "");
}

// The text of each element opened by <tag> in xml, in order; tag may carry attributes.
std::vector<std::string> elements(const std::string& xml, const std::string& tag) {
    std::vector<std::string> found;
    const std::string open = "<" + tag + ">";
    const std::string close = "</" + tag.substr(0, tag.find(' ')) + ">";
    for (std::size_t at = xml.find(open); at != std::string::npos; at = xml.find(open, at)) {
        at += open.size();
        const std::size_t end = xml.find(close, at);
        if (end == std::string::npos) break;
        found.push_back(xml.substr(at, end - at));
    }
    return found;
}

// Software centres read the metadata and follow it to the desktop entry: the validator
// checks both over the whole tree, and what the metadata names must be installed.
TEST_F(InstalledTree, MetainfoValidatesAndNamesWhatIsInstalled) {
    const std::string id = "example.our_direct3d_program.viewer";
    const std::string path = usr_ + "share/metainfo/" + id + ".metainfo.xml";
    for (const std::string& command : {"appstreamcli validate --no-net " + quote(path),
                                       "appstreamcli validate-tree --no-net " + quote(destdir_)}) {
        const Output checked = run(command);
        EXPECT_EQ(checked.code, 0) << command << ":\n" << checked.out << checked.err;
        std::istringstream lines(checked.out + checked.err);
        for (std::string line; std::getline(lines, line);) {
            const std::size_t tag = line.find_first_not_of(' ');
            const bool serious = tag != std::string::npos && line.size() > tag + 1 &&
                                 line[tag + 1] == ':' && (line[tag] == 'E' || line[tag] == 'W');
            EXPECT_FALSE(serious) << command << ": " << line;
        }
    }

    const std::string xml = readFile(path);
    EXPECT_EQ(elements(xml, "id"), std::vector<std::string>{id});
    const std::vector<std::string> launchables = elements(xml, "launchable type=\"desktop-id\"");
    ASSERT_EQ(launchables.size(), 1u) << xml;
    EXPECT_TRUE(std::filesystem::exists(usr_ + "share/applications/" + launchables[0]))
        << launchables[0];
    const std::vector<std::string> binaries = elements(xml, "binary");
    EXPECT_EQ(binaries,
              (std::vector<std::string>{"our-direct3d-program", "our-direct3d-program-snapshot"}));
    for (const std::string& binary : binaries) {
        EXPECT_TRUE(std::filesystem::exists(usr_ + "bin/" + binary)) << binary;
    }
    EXPECT_NE(xml.find("<release version=\"" + std::string(PROJECT_VERSION) + "\""),
              std::string::npos)
        << xml;
    EXPECT_NE(xml.find("<content_rating type=\"oars-"), std::string::npos) << xml;
}

TEST_F(InstalledTree, ManualPagesRenderWithoutWarnings) {
    for (const char* page : {"our-direct3d-program", "our-direct3d-program-snapshot"}) {
        const Output shown =
            run("man --warnings -l " + quote(usr_ + "share/man/man1/" + page + ".1.gz"));
        EXPECT_EQ(shown.code, 0) << page << ": " << shown.err;
        EXPECT_EQ(shown.err, "") << page;
        EXPECT_NE(shown.out.find("EXIT STATUS"), std::string::npos) << page << ": " << shown.out;
    }
}

}  // namespace
