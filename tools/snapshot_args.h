// The snapshot tool's command line, parsed apart from the run so it can be tested.
#pragma once

#include <string>
#include <vector>

#include "win/win32.h"

namespace tools {

struct SnapshotArgs {
    long frames = 0;
    std::vector<WPARAM> keys;  // virtual-key codes, pressed in order before the first frame
    bool resize = false;
    int width = 0;
    int height = 0;
    std::string out;
    bool help = false;     // --help alone: print the usage and exit 0
    bool version = false;  // --version alone: print the version and exit 0
};

// Follows the program's name in "usage: NAME ..." (installed and build-tree names differ).
inline constexpr const char* kSnapshotUsage =
    "--frames N [--keys K1,K2,...] [--size WxH] --out FILE.png";

// Virtual-key code for a key name as Win32 spells it without VK_ (case-insensitive):
// PRIOR, NEXT, LEFT, UP, RIGHT, DOWN, HOME, END, F1..F12, letters, digits, … 0 if unknown.
WPARAM keyFromName(const std::string& name);

// False with a one-line reason in *error when the arguments are not usable.
bool parseSnapshotArgs(const std::vector<std::string>& args, SnapshotArgs* out, std::string* error);

}  // namespace tools
