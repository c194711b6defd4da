// How many times the program has called the global operator new, and for how many
// bytes: the benchmarks read it around a loop to report allocations per frame.
// The counting operators live in alloc_count.cpp, linked into each bench program.
#pragma once

#include <cstdint>

namespace bench {

struct AllocationCount {
    std::uint64_t calls = 0;
    std::uint64_t bytes = 0;
};

// Every operator new and new[] since the program started, nothrow and aligned forms included.
AllocationCount allocationsSoFar();

}  // namespace bench
