// What the fuzz targets share: stopping the run on a broken property (libFuzzer then
// reports the input), and floats drawn from a table of hard values or raw bits.
// Only the fuzzers include this; nothing in the program depends on it.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <bit>
#include <cfloat>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace fuzz {

// Prints the broken property, then aborts so libFuzzer keeps the crashing input.
[[noreturn]] inline void fail(const char* what, long detail = 0) {
    std::fprintf(stderr, "fuzz property broken: %s (%ld)\n", what, detail);
    std::abort();
}

inline void check(bool ok, const char* what, long detail = 0) {
    if (!ok) fail(what, detail);
}

// Mostly values that break arithmetic (NaN, infinities, denormals, the float range's
// ends), sometimes any bit pattern.
inline float hardFloat(FuzzedDataProvider& in) {
    static constexpr float kValues[] = {
        0.0f,
        -0.0f,
        1.0f,
        -1.0f,
        0.5f,
        2.0f,
        10.0f,
        -20.0f,
        std::numeric_limits<float>::quiet_NaN(),
        std::numeric_limits<float>::infinity(),
        -std::numeric_limits<float>::infinity(),
        std::numeric_limits<float>::denorm_min(),
        -std::numeric_limits<float>::denorm_min(),
        FLT_MIN,
        FLT_MAX,
        -FLT_MAX,
        1e38f,
        -1e38f,
        1e-38f,
        65536.0f,
        1e6f,
        1e-6f,
    };
    if (in.ConsumeBool()) return in.PickValueInArray(kValues);
    return std::bit_cast<float>(in.ConsumeIntegral<std::uint32_t>());
}

}  // namespace fuzz
