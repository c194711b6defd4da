// Running commands for the install checks, and the installed tree they expect.
#include "commands.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace install {

std::string quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string makeTempDir(const std::string& stem) {
    std::string pattern = ::testing::TempDir() + stem + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) return "";
    return pattern;
}

Output run(const std::string& command) {
    Output output;
    const std::string dir = makeTempDir("command");
    if (dir.empty()) return output;
    const std::string outPath = dir + "/out";
    const std::string errPath = dir + "/err";
    const int status = std::system(
        ("(" + command + ") >" + quote(outPath) + " 2>" + quote(errPath) + " </dev/null").c_str());
    if (status != -1 && WIFEXITED(status)) output.code = WEXITSTATUS(status);
    output.out = readFile(outPath);
    output.err = readFile(errPath);
    std::filesystem::remove_all(dir);
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
        struct stat info {};
        lstat(entry.path().c_str(), &info);
        files[fs::relative(entry.path(), root).string()] = info.st_mode & 07777;
    }
    return files;
}

}  // namespace install
