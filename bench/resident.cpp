// Reads /proc/self/statm with plain POSIX calls into a stack buffer: a counted loop
// may call this, and an ifstream would allocate.
#include "bench/resident.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace bench {

namespace {

// One unsigned decimal field, skipping leading blanks; null when there is none.
const char* readField(const char* p, long* value) {
    while (*p == ' ') ++p;
    if (*p < '0' || *p > '9') return nullptr;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(p, &end, 10);
    if (errno != 0 || end == p) return nullptr;
    *value = v;
    return end;
}

}  // namespace

std::optional<long> parseStatmResidentPages(const char* line) {
    if (line == nullptr) return std::nullopt;
    long size = 0;
    long resident = 0;
    const char* p = readField(line, &size);
    if (p == nullptr || *p != ' ') return std::nullopt;
    p = readField(p, &resident);
    if (p == nullptr || resident > size) return std::nullopt;
    return resident;
}

std::optional<long> residentBytes() {
    const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    char buffer[256];
    const ssize_t n = ::read(fd, buffer, sizeof(buffer) - 1);
    ::close(fd);
    if (n <= 0) return std::nullopt;
    buffer[n] = '\0';
    const std::optional<long> pages = parseStatmResidentPages(buffer);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (!pages || pageSize <= 0) return std::nullopt;
    return *pages * pageSize;
}

}  // namespace bench
