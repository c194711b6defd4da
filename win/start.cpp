// The process start-up: main hands over to the application's WinMain as the C runtime
// does on Windows, with the instance handle, the command line after the program name
// and SW_SHOWDEFAULT; WinMain's result is the exit code. Linked into the viewer only.
#include <cstdlib>
#include <string>

#include "win/win32.h"

namespace {

// The arguments after the program name, joined as Windows passes lpCmdLine; arguments
// with spaces are quoted again.
std::string commandLine(int argc, char** argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line.push_back(' ');
        const std::string arg = argv[i];
        const bool quote = arg.empty() || arg.find_first_of(" \t") != std::string::npos;
        if (quote) line.push_back('"');
        line += arg;
        if (quote) line.push_back('"');
    }
    return line;
}

}  // namespace

int main(int argc, char** argv) {
    int code = 0;
    {
        std::string line = commandLine(argc, argv);
        // No STARTUPINFO here, so the show command is always the default one.
        code = WinMain(GetModuleHandleW(nullptr), nullptr, line.data(), SW_SHOWDEFAULT);
    }
    // exit rather than return: in the browser, main's return comes back through
    // Asyncify's rewound stack, where the runtime never hears of it; exit ends the
    // program there too, and the page shows its status.
    std::exit(code);
}
