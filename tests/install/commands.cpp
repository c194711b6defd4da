// Running commands for the install checks, and the installed tree they expect.
#include "commands.h"

#include <filesystem>

#include "tests/e2e/support/process.h"

namespace install {

std::string quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

Output run(const std::string& command) {
    static int serial = 0;
    const std::string outPath = e2e::runPath("command-" + std::to_string(++serial) + ".out");
    e2e::Process shell(
        {.name = "sh -c " + command, .argv = {"/bin/sh", "-c", command}, .stdoutPath = outPath});
    Output output;
    // Within the test's own time-out: a command that hangs fails the test, not ctest.
    output.code = shell.waitExit(240000);
    output.out = e2e::readFile(outPath);
    output.err = shell.stderrText();
    return output;
}

const std::map<std::string, mode_t>& expectedFiles() {
    static const std::map<std::string, mode_t> files = {
        {"bin/our-direct3d-program", 0755},
        {"bin/our-direct3d-program-snapshot", 0755},
        {"share/applications/our-direct3d-program.desktop", 0644},
        {"share/metainfo/example.our_direct3d_program.viewer.metainfo.xml", 0644},
        {"share/icons/hicolor/48x48/apps/our-direct3d-program.png", 0644},
        {"share/icons/hicolor/64x64/apps/our-direct3d-program.png", 0644},
        {"share/icons/hicolor/128x128/apps/our-direct3d-program.png", 0644},
        {"share/icons/hicolor/256x256/apps/our-direct3d-program.png", 0644},
        {"share/man/man1/our-direct3d-program.1.gz", 0644},
        {"share/man/man1/our-direct3d-program-snapshot.1.gz", 0644},
        {"share/doc/our-direct3d-program/README.md", 0644},
        {"share/doc/our-direct3d-program/LICENSE", 0644},
        {"share/doc/our-direct3d-program/copyright", 0644},
        {"share/doc/our-direct3d-program/changelog.Debian.gz", 0644},
    };
    return files;
}

std::map<std::string, mode_t> listFiles(const std::string& root) {
    std::map<std::string, mode_t> files;
    namespace fs = std::filesystem;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_directory()) continue;
        const fs::perms mode = entry.symlink_status().permissions() & fs::perms::mask;
        files[fs::relative(entry.path(), root).string()] = static_cast<mode_t>(mode);
    }
    return files;
}

}  // namespace install
