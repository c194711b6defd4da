// The process's resident memory as /proc/self/statm reports it, for the benchmarks'
// growth counters. Linux only; nothing here allocates, so reading it inside a counted
// loop does not disturb the allocation count.
#pragma once

#include <optional>

namespace bench {

// The resident page count: the second field of a statm line ("size resident shared …").
std::optional<long> parseStatmResidentPages(const char* line);

// Resident bytes now, or nullopt when /proc/self/statm cannot be read.
std::optional<long> residentBytes();

}  // namespace bench
