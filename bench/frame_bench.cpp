// The whole frame against its memory floor: BM_Frame runs the viewer's own drawFrame
// on the headless back end (unpaced), BM_MemoryFloor touches the same bytes with
// memset and memcpy, BM_FrameResidentGrowth watches resident memory over 100,000
// frames. The Mesa comparison is in mesa_bench.cpp; the parts in stage_bench.cpp.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "bench/alloc_count.h"
#include "bench/resident.h"
#include "bench/session.h"
#include "scene/globals.h"
#include "scene/scene.h"
#include "win/headless/headless.h"

namespace {

using benchmark::Counter;

constexpr double kTargetPixels = double(bench::kWidth) * bench::kHeight;

double kilobytesBetween(std::optional<long> before, std::optional<long> after) {
    if (!before || !after) return -1.0;  // statm unreadable: shown as -1, never as 0
    return static_cast<double>(*after - *before) / 1024.0;
}

// Pixels of the last presented back buffer that are not the clear colour: 0 means
// the device drew nothing, and the timing is of clears and presents alone.
double litPixels() {
    double lit = 0;
    for (std::uint32_t p : win::headless::lastBackBuffer().pixels) {
        if ((p & 0x00FFFFFFu) != 0) ++lit;
    }
    return lit;
}

// The share of the frame a present names as changed since the frame before, which is
// what a window's present moves (1 when it names all), over one more whole turn.
double changedShare() {
    double changed = 0;
    for (int i = 0; i < 360; ++i) {
        drawFrame();
        const win::headless::Change& change = win::headless::lastChange();
        if (change.all) changed += kTargetPixels;
        for (const RECT& r : change.rects) {
            changed += double(r.right - r.left) * double(r.bottom - r.top);
        }
    }
    return changed / (360 * kTargetPixels);
}

void frameBenchmark(benchmark::State& state, bench::Camera camera, DWORD cullMode) {
    std::string why;
    if (!bench::openScene(camera, cullMode, &why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    // One whole turn first: the device's working memory reaches its steady size, and
    // the timed loop starts again at angle 0.
    for (int i = 0; i < 360; ++i) drawFrame();
    const int presentsBefore = win::headless::presentCount();
    const std::optional<long> rssBefore = bench::residentBytes();
    const bench::AllocationCount before = bench::allocationsSoFar();

    for (auto _ : state) drawFrame();

    const bench::AllocationCount after = bench::allocationsSoFar();
    const std::optional<long> rssAfter = bench::residentBytes();
    const auto frames = static_cast<double>(state.iterations());
    const int presents = win::headless::presentCount() - presentsBefore;
    state.counters["allocs_per_frame"] = Counter(double(after.calls - before.calls) / frames);
    state.counters["alloc_bytes_per_frame"] = Counter(double(after.bytes - before.bytes) / frames);
    state.counters["rss_growth_kB"] = Counter(kilobytesBetween(rssBefore, rssAfter));
    state.counters["lit_px"] = Counter(litPixels());
    state.counters["target_px"] = Counter(frames * kTargetPixels, Counter::kIsRate);
    state.counters["changed_share"] = Counter(changedShare());
    bench::closeScene();
    if (presents != static_cast<int>(frames)) {
        state.SkipWithError("Present failed during the run: the timing is not of whole frames");
    }
}

// Whole turns only, so every angle weighs the same; repetitions give a median.
void frameArgs(benchmark::internal::Benchmark* b) {
    b->Iterations(720)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime()->Unit(
        benchmark::kMicrosecond);
}

void BM_Frame_Start(benchmark::State& state) {
    frameBenchmark(state, bench::kStartCamera, D3DCULL_CCW);
}
void BM_Frame_Near(benchmark::State& state) {
    frameBenchmark(state, bench::kNearCamera, D3DCULL_CCW);
}
void BM_Frame_CullNone(benchmark::State& state) {
    frameBenchmark(state, bench::kStartCamera, D3DCULL_NONE);
}
BENCHMARK(BM_Frame_Start)->Apply(frameArgs);
BENCHMARK(BM_Frame_Near)->Apply(frameArgs);
BENCHMARK(BM_Frame_CullNone)->Apply(frameArgs);

// The bytes one frame cannot avoid touching: the colour clear, the depth clear and the
// present's copy of the back buffer.
void BM_MemoryFloor(benchmark::State& state) {
    const std::size_t pixels = static_cast<std::size_t>(bench::kWidth) * bench::kHeight;
    std::vector<std::uint32_t> color(pixels), shown(pixels);
    std::vector<std::uint16_t> depth(pixels);
    for (auto _ : state) {
        std::memset(color.data(), 0, pixels * sizeof(std::uint32_t));
        std::memset(depth.data(), 0xFF, pixels * sizeof(std::uint16_t));
        std::memcpy(shown.data(), color.data(), pixels * sizeof(std::uint32_t));
        benchmark::DoNotOptimize(shown.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(pixels * 10));
    state.counters["target_px"] =
        Counter(double(state.iterations()) * kTargetPixels, Counter::kIsRate);
}
BENCHMARK(BM_MemoryFloor)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// Steady state must not grow: resident size after 1,000 warm-up frames against after
// 100,000 more, with the allocations made meanwhile.
void BM_FrameResidentGrowth(benchmark::State& state) {
    constexpr int kWarmUp = 1000;
    constexpr int kFrames = 100000;
    std::string why;
    if (!bench::openScene(bench::kStartCamera, D3DCULL_CCW, &why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    double growthKb = 0, allocs = 0;
    for (auto _ : state) {
        for (int i = 0; i < kWarmUp; ++i) drawFrame();
        const std::optional<long> rssBefore = bench::residentBytes();
        const bench::AllocationCount before = bench::allocationsSoFar();
        for (int i = 0; i < kFrames; ++i) drawFrame();
        const bench::AllocationCount after = bench::allocationsSoFar();
        growthKb = kilobytesBetween(rssBefore, bench::residentBytes());
        allocs = double(after.calls - before.calls) / kFrames;
    }
    state.counters["rss_growth_kB"] = Counter(growthKb);
    state.counters["allocs_per_frame"] = Counter(allocs);
    state.counters["frames"] = Counter(kFrames);
    bench::closeScene();
}
BENCHMARK(BM_FrameResidentGrowth)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
