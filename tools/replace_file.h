// Writing a file so that the one it replaces survives any failure.
#pragma once

#include <cstddef>
#include <string>

namespace tools {

// Puts size bytes at path. A regular file (or none) at path is replaced only once the
// new bytes are complete and on disk: they go to a new file beside it, which is synced
// and renamed over it, keeping the old file's permissions. A symbolic link is followed.
// Something else at path (a device, a pipe such as /dev/stdout) is written to directly.
// False with "cannot write PATH: CAUSE" in *error when it fails; no new file is left
// behind, and the old one is as it was.
bool replaceFile(const std::string& path, const void* bytes, std::size_t size, std::string* error);

}  // namespace tools
