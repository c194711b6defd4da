// viewer-snapshot: runs the viewer's own WinMain, scene and device on the headless
// back end, presses the asked keys before the first frame, draws N frames and writes
// the last presented back buffer as a PNG.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/png_file.h"
#include "tools/snapshot_args.h"
#include "win/headless/headless.h"
#include "win/win32.h"

int main(int argc, char** argv) {
    // Messages carry the name the tool was started by: viewer-snapshot in the build
    // tree, another once installed.
    const char* slash = argc > 0 ? std::strrchr(argv[0], '/') : nullptr;
    const char* name = slash != nullptr ? slash + 1 : (argc > 0 ? argv[0] : "viewer-snapshot");

    tools::SnapshotArgs args;
    std::string error;
    if (!tools::parseSnapshotArgs(std::vector<std::string>(argv + 1, argv + argc), &args, &error)) {
        std::fprintf(stderr, "%s: %s\nusage: %s %s\n", name, error.c_str(), name,
                     tools::kSnapshotUsage);
        return 2;
    }
    if (args.help) {
        std::printf("usage: %s %s\n", name, tools::kSnapshotUsage);
        return 0;
    }
    if (args.version) {
        std::printf("%s %s\n", name, VIEWER_VERSION);
        return 0;
    }

    win::headless::reset();
    win::headless::Hooks hooks;
    hooks.onWindowCreated = [&args](HWND hWnd) {
        // Queued now, taken by the loop's first drain: before the first frame.
        for (WPARAM key : args.keys) PostMessageW(hWnd, WM_KEYDOWN, key, 1);
        if (args.resize) win::headless::setClientSize(hWnd, args.width, args.height);
    };
    hooks.onPresent = [&args](HWND hWnd, int presents) {
        if (presents == args.frames) PostMessageW(hWnd, WM_CLOSE, 0, 0);
    };
    win::headless::setHooks(hooks);

    char cmdLine[] = "";
    const int exitCode = WinMain(GetModuleHandleW(nullptr), nullptr, cmdLine, SW_SHOWDEFAULT);
    if (exitCode != 0) {
        std::fprintf(stderr, "%s: the viewer ended with code %d\n", name, exitCode);
        return 1;
    }

    const win::headless::Frame& frame = win::headless::lastBackBuffer();
    if (!tools::writePng(args.out, frame.pixels.data(), frame.width, frame.height, &error)) {
        std::fprintf(stderr, "%s: %s\n", name, error.c_str());
        return 1;
    }
    return 0;
}
