// Writing frames as PNG files, for the snapshot tool and for looking at test output.
#pragma once

#include <cstdint>
#include <string>

namespace tools {

// Writes width × height X8R8G8B8 pixels as an 8-bit RGB PNG. False (with a reason in
// *error) when the file cannot be written.
bool writePng(const std::string& path, const std::uint32_t* pixels, int width, int height,
              std::string* error);

}  // namespace tools
