// Write beside, sync, rename over: the old file stays whole until the new one is.
#include "tools/replace_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace tools {
namespace {

bool writeAll(int fd, const void* bytes, std::size_t size) {
    const char* at = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t written = ::write(fd, at, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        at += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// A link's destination, so the file it points at is replaced and the link stays.
std::string followLinks(const std::string& path) {
    struct stat info = {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    const std::unique_ptr<char, decltype(&::free)> real(::realpath(path.c_str(), nullptr), &::free);
    return real != nullptr ? std::string(real.get()) : path;
}

mode_t creationMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Best effort: the rename is done, and a failure here loses nothing.
void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

bool replaceFile(const std::string& path, const void* bytes, std::size_t size, std::string* error) {
    const std::string target = followLinks(path);
    struct stat old = {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    auto fail = [&](int cause) {
        *error = "cannot write " + path + ": " + std::strerror(cause);
        if (exists) *error += "; the file there is left as it was";
        return false;
    };

    if (exists && !S_ISREG(old.st_mode) && !S_ISDIR(old.st_mode)) {
        const int fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd < 0) return fail(errno);
        const bool written = writeAll(fd, bytes, size);
        const int cause = errno;
        ::close(fd);
        return written || fail(cause);
    }
    if (exists && S_ISDIR(old.st_mode)) return fail(EISDIR);

    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temporary = folder + (folder == "." ? "/." : ".") + name + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return fail(errno);

    // mkostemp makes the file 0600: give it the old file's owner and permissions, or
    // what a plain create would have given it. Only root may give a file away; anyone
    // else's new file stays their own. The owner first: a change of it clears set-id bits.
    if (exists && ::fchown(fd, old.st_uid, old.st_gid) != 0 && errno != EPERM) {
        const int cause = errno;
        ::close(fd);
        ::unlink(temporary.c_str());
        return fail(cause);
    }
    ::fchmod(fd, exists ? old.st_mode & 07777 : creationMode());

    int cause = 0;
    if (!writeAll(fd, bytes, size) || ::fsync(fd) != 0) cause = errno;
    if (::close(fd) != 0 && cause == 0) cause = errno;
    if (cause == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) cause = errno;
    if (cause != 0) {
        ::unlink(temporary.c_str());
        return fail(cause);
    }
    syncFolder(folder);
    return true;
}

}  // namespace tools
