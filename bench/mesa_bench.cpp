// BM_Mesa: the viewer's scene drawn by Mesa through OSMesa with the same bytes and
// matrices, one glFinish per frame, over the same 360-angle turn as BM_Frame. Skipped
// with the reason when the build has no OSMesa.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "bench/mesa_scene.h"
#include "bench/scene_record.h"
#include "bench/session.h"

namespace {

bench::MesaFrame mesaFrameFor(const bench::SceneRecording& scene, int angle, bool cull) {
    const bench::FrameTransforms& t = scene.frames[static_cast<std::size_t>(angle)];
    bench::MesaFrame f;
    f.projection = &t.projection.m[0][0];
    f.axesWorldView = &t.axesWorldView.m[0][0];
    f.cubeWorldView = &t.cubeWorldView.m[0][0];
    f.axes = scene.axes.data();
    f.axesVertexCount = static_cast<int>(scene.axes.size());
    f.cube = scene.cube.data();
    f.cubeVertexCount = static_cast<int>(scene.cube.size());
    f.cubeIndices = scene.cubeIndices.data();
    f.cubeIndexCount = static_cast<int>(scene.cubeIndices.size());
    f.cullCounterClockwise = cull;
    return f;
}

void mesaBenchmark(benchmark::State& state, bench::Camera camera, bool cull) {
    std::string why;
    // The recording is about 70 KB: kept off the stack.
    auto scene = std::make_unique<bench::SceneRecording>();
    if (!bench::recordScene(camera, scene.get(), &why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    bench::MesaScene* mesa = bench::openMesaScene(bench::kWidth, bench::kHeight, &why);
    if (mesa == nullptr) {
        state.SkipWithError(why.c_str());
        return;
    }
    state.SetLabel(bench::mesaRenderer(mesa));
    unsigned error = 0;
    for (int angle = 0; angle < 360; ++angle) {
        error |= bench::drawMesaFrame(mesa, mesaFrameFor(*scene, angle, cull));
    }
    int angle = 0;
    for (auto _ : state) {
        error |= bench::drawMesaFrame(mesa, mesaFrameFor(*scene, angle, cull));
        angle = angle == 359 ? 0 : angle + 1;
    }
    state.counters["target_px"] = benchmark::Counter(
        double(state.iterations()) * bench::kWidth * bench::kHeight, benchmark::Counter::kIsRate);
    bench::closeMesaScene(mesa);
    if (error != 0) state.SkipWithError("GL reported an error: the frames were not all drawn");
}

void BM_Mesa_Start(benchmark::State& state) {
    mesaBenchmark(state, bench::kStartCamera, true);
}
void BM_Mesa_Near(benchmark::State& state) {
    mesaBenchmark(state, bench::kNearCamera, true);
}
void BM_Mesa_CullNone(benchmark::State& state) {
    mesaBenchmark(state, bench::kStartCamera, false);
}

void mesaArgs(benchmark::internal::Benchmark* b) {
    b->Iterations(720)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime()->Unit(
        benchmark::kMicrosecond);
}
BENCHMARK(BM_Mesa_Start)->Apply(mesaArgs);
BENCHMARK(BM_Mesa_Near)->Apply(mesaArgs);
BENCHMARK(BM_Mesa_CullNone)->Apply(mesaArgs);

}  // namespace
