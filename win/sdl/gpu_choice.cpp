// The renderer names that mean "the CPU draws": matched anywhere in the string and in
// any case, since drivers decorate them ("llvmpipe (LLVM 15.0.6, 256 bits)").
#include "win/sdl/gpu_choice.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

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

}  // namespace win::sdl
