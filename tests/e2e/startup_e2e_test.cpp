// The viewer started where it cannot open its window, as a user meets it: no DISPLAY,
// a display with no server behind it, a server that refuses the connection (its cookie
// file is not ours). Each must exit 1 within seconds with exactly one line on stderr
// that says what went wrong, and never hang waiting for a display.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/e2e/support/x_session.h"

namespace {

using namespace e2e;

// An Xauthority file with one random MIT-MAGIC-COOKIE-1 entry: an Xvfb started with it
// admits only clients that present that cookie.
bool writeCookieFile(const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    auto field = [&out](const std::string& bytes) {
        out.put(static_cast<char>(bytes.size() >> 8));
        out.put(static_cast<char>(bytes.size() & 0xFF));
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    };
    char host[256] = {};
    gethostname(host, sizeof(host) - 1);
    std::string cookie(16, '\0');
    for (char& c : cookie) c = static_cast<char>(std::rand() & 0xFF);
    out.put(1).put(0);  // FamilyLocal (256), big-endian
    field(host);
    field("0");
    field("MIT-MAGIC-COOKIE-1");
    field(cookie);
    return static_cast<bool>(out);
}

// Runs the viewer on `display` ("" unsets DISPLAY) without our own Xauthority, so only
// the server's rules decide; its one line must carry the words `cause`.
void expectOneLineAndCodeOne(const std::string& display, const std::string& cause) {
    const std::string emptyAuth = runPath("no-cookie");
    std::ofstream(emptyAuth).close();
    Process viewer = startViewer(VIEWER_PATH, display, {{"XAUTHORITY", emptyAuth}});
    EXPECT_EQ(viewer.waitExit(5000), 1) << "DISPLAY=" << display;
    const std::string err = viewer.stderrText();
    ASSERT_FALSE(err.empty());
    EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line: " << err;
    // Messages carry the name the program was invoked by, whatever it is installed as.
    const std::string name = std::filesystem::path(VIEWER_PATH).filename().string();
    EXPECT_EQ(err.rfind(name + ": ", 0), 0u) << err;
    EXPECT_NE(err.find(cause), std::string::npos) << "DISPLAY=" << display << ": " << err;
}

TEST(ViewerStartup, WithoutDisplaySaysDisplayIsNotSet) {
    expectOneLineAndCodeOne("", "DISPLAY is not set");
}

TEST(ViewerStartup, DisplayWithoutServerNamesTheDisplay) {
    expectOneLineAndCodeOne(":4999", ":4999");
}

TEST(ViewerStartup, DisplayThatRefusesTheConnectionNamesTheDisplay) {
    const std::string cookie = runPath("cookie");
    ASSERT_TRUE(writeCookieFile(cookie));
    XSession x;
    std::string error;
    ASSERT_TRUE(x.start({.authFile = cookie}, &error)) << error;
    expectOneLineAndCodeOne(x.name(), x.name());
}

}  // namespace
