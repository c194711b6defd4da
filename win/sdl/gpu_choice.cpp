// The renderer names that mean "the CPU draws": matched anywhere in the string and in
// any case, since drivers decorate them ("llvmpipe (LLVM 15.0.6, 256 bits)").
#include "win/sdl/gpu_choice.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <string>
#include <system_error>

namespace win::sdl {

bool isHardwareRenderer(std::string_view glRenderer) {
    std::string lower(glRenderer);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower.find_first_not_of(" \t") == std::string::npos) return false;
    constexpr std::array<std::string_view, 4> kSoftware = {"llvmpipe", "softpipe", "swrast",
                                                           "software rasterizer"};
    return std::none_of(kSoftware.begin(), kSoftware.end(), [&](std::string_view name) {
        return lower.find(name) != std::string::npos;
    });
}

bool hasGpuDevice(const std::string& devRoot) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::exists(fs::path(devRoot) / "nvidiactl", ec)) return true;
    for (fs::directory_iterator it(fs::path(devRoot) / "dri", ec), end; !ec && it != end;
         it.increment(ec)) {
        if (it->path().filename().string().rfind("renderD", 0) == 0) return true;
    }
    return false;
}

}  // namespace win::sdl
