// Writing frames as PNG files, for the snapshot tool and for looking at test output.
#pragma once

#include <cstdint>
#include <string>

namespace tools {

// Writes width × height X8R8G8B8 pixels as an 8-bit RGB PNG, replacing a file at path
// only once the new one is complete (see replaceFile). False (with a reason in *error)
// when the file cannot be written; a file already at path is then left as it was.
bool writePng(const std::string& path, const std::uint32_t* pixels, int width, int height,
              std::string* error);

}  // namespace tools
