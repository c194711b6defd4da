// Microbenchmarks that explain the frame, each through the device's public calls on a
// device of its own: one big triangle, a screen of small ones, a fan of lines, the two
// clears and the headless present. Vertices are given in clip space (every transform
// identity), so pixel counts follow from the geometry: x, y in [-1, 1] span 800 × 600.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/session.h"
#include "scene/scene.h"
#include "win/headless/headless.h"

namespace {

using benchmark::Counter;

constexpr float kW = float(bench::kWidth);
constexpr float kH = float(bench::kHeight);

// A screen position in pixels (y down) as an identity-transformed vertex.
ColoredVertex at(float px, float py, D3DCOLOR color) {
    return {px / kW * 2.0f - 1.0f, 1.0f - py / kH * 2.0f, 0.5f, color};
}

struct Rig {
    HWND hWnd = nullptr;
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* dev = nullptr;
    IDirect3DVertexBuffer9* vb = nullptr;
};

void closeRig(Rig& rig) {
    if (rig.vb != nullptr) rig.vb->Release();
    if (rig.dev != nullptr) rig.dev->Release();
    if (rig.d3d != nullptr) rig.d3d->Release();
    bench::closeWindow(rig.hWnd);
    rig = Rig{};
}

// A window, a device with identity transforms, lighting and culling off, and the
// vertices in one buffer bound to stream 0. False with the reason in *why.
bool openRig(Rig& rig, const std::vector<ColoredVertex>& vertices, std::string* why) {
    rig.hWnd = bench::openWindow(bench::kWidth, bench::kHeight, why);
    if (rig.hWnd == nullptr) return false;
    rig.dev = bench::createDevice(rig.hWnd, &rig.d3d, why);
    if (rig.dev == nullptr) {
        closeRig(rig);
        return false;
    }
    D3DMATRIX identity{};
    identity._11 = identity._22 = identity._33 = identity._44 = 1.0f;
    rig.dev->SetTransform(D3DTS_WORLD, &identity);
    rig.dev->SetTransform(D3DTS_VIEW, &identity);
    rig.dev->SetTransform(D3DTS_PROJECTION, &identity);
    rig.dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    rig.dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    rig.dev->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    if (vertices.empty()) return true;

    const UINT bytes = static_cast<UINT>(vertices.size() * sizeof(ColoredVertex));
    HRESULT hr = rig.dev->CreateVertexBuffer(bytes, D3DUSAGE_WRITEONLY, D3DFVF_XYZ | D3DFVF_DIFFUSE,
                                             D3DPOOL_MANAGED, &rig.vb, nullptr);
    void* data = nullptr;
    if (SUCCEEDED(hr)) hr = rig.vb->Lock(0, 0, &data, 0);
    if (FAILED(hr) || data == nullptr) {
        *why = bench::describeFailure("vertex buffer", hr);
        closeRig(rig);
        return false;
    }
    std::memcpy(data, vertices.data(), bytes);
    rig.vb->Unlock();
    rig.dev->SetStreamSource(0, rig.vb, 0, sizeof(ColoredVertex));
    return true;
}

// Draws the rig's buffer once per iteration inside a scene. `pixels` is what one draw
// covers by its geometry, for the rate counter.
void drawBenchmark(benchmark::State& state, const std::vector<ColoredVertex>& vertices,
                   D3DPRIMITIVETYPE type, UINT primitives, double pixels) {
    Rig rig;
    std::string why;
    if (!openRig(rig, vertices, &why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    rig.dev->BeginScene();
    const HRESULT first = rig.dev->DrawPrimitive(type, 0, primitives);
    rig.dev->EndScene();
    if (FAILED(first)) {
        closeRig(rig);
        state.SkipWithError(bench::describeFailure("DrawPrimitive", first).c_str());
        return;
    }
    for (auto _ : state) {
        rig.dev->BeginScene();
        rig.dev->DrawPrimitive(type, 0, primitives);
        rig.dev->EndScene();
    }
    const double n = double(state.iterations());
    state.counters["px"] = Counter(n * pixels, Counter::kIsRate);
    state.counters["prims"] = Counter(n * primitives, Counter::kIsRate);
    closeRig(rig);
}

// Half the target in one Gouraud triangle: set-up once, the span walk dominates.
void BM_BigTriangle(benchmark::State& state) {
    const std::vector<ColoredVertex> v = {at(0, 0, 0xFFFF0000), at(kW, 0, 0xFF00FF00),
                                          at(0, kH, 0xFF0000FF)};
    drawBenchmark(state, v, D3DPT_TRIANGLELIST, 1, kW * kH / 2.0);
}
BENCHMARK(BM_BigTriangle)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The whole target tiled by cells of range(0) pixels, two triangles a cell: the same
// pixels as ever more, ever smaller triangles, so per-triangle cost shows as px/s falls.
void BM_SmallTriangles(benchmark::State& state) {
    const int cell = static_cast<int>(state.range(0));
    const int cols = bench::kWidth / cell;
    const int rows = bench::kHeight / cell;
    std::vector<ColoredVertex> v;
    v.reserve(static_cast<std::size_t>(cols) * rows * 6);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            const float x0 = float(c * cell), y0 = float(r * cell);
            const float x1 = x0 + float(cell), y1 = y0 + float(cell);
            v.push_back(at(x0, y0, 0xFFFF0000));
            v.push_back(at(x1, y0, 0xFF00FF00));
            v.push_back(at(x0, y1, 0xFF0000FF));
            v.push_back(at(x0, y1, 0xFF0000FF));
            v.push_back(at(x1, y0, 0xFF00FF00));
            v.push_back(at(x1, y1, 0xFFFFFFFF));
        }
    }
    const UINT triangles = static_cast<UINT>(cols * rows * 2);
    drawBenchmark(state, v, D3DPT_TRIANGLELIST, triangles, double(cols) * rows * cell * cell);
}
BENCHMARK(BM_SmallTriangles)
    ->Arg(4)
    ->Arg(16)
    ->Arg(64)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// 400 lines from the centre to points around the edge, as a line list: a line covers
// one pixel per step of its major axis.
void BM_Lines(benchmark::State& state) {
    constexpr int kLines = 400;
    std::vector<ColoredVertex> v;
    double pixels = 0;
    for (int i = 0; i < kLines; ++i) {
        // Walk the border: top, right, bottom, left, 100 end points each.
        const float t = float(i % 100) / 100.0f;
        float x = 0, y = 0;
        switch (i / 100) {
            case 0: x = t * (kW - 1), y = 0; break;
            case 1: x = kW - 1, y = t * (kH - 1); break;
            case 2: x = (1 - t) * (kW - 1), y = kH - 1; break;
            default: x = 0, y = (1 - t) * (kH - 1); break;
        }
        v.push_back(at(kW / 2, kH / 2, 0xFFFFFFFF));
        v.push_back(at(x, y, 0xFF00FFFF));
        pixels += std::max(std::abs(x - kW / 2), std::abs(y - kH / 2));
    }
    drawBenchmark(state, v, D3DPT_LINELIST, kLines, pixels);
}
BENCHMARK(BM_Lines)->UseRealTime()->Unit(benchmark::kMicrosecond);

// One whole clear of the colour (range 0 = 0) or the depth buffer (range 0 = 1). The
// value alternates: a clear to the value the buffer already holds puts back only what
// was drawn since, which here is nothing.
void BM_Clear(benchmark::State& state) {
    const bool depth = state.range(0) == 1;
    Rig rig;
    std::string why;
    if (!openRig(rig, {}, &why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    const DWORD flags = depth ? D3DCLEAR_ZBUFFER : D3DCLEAR_TARGET;
    const HRESULT first = rig.dev->Clear(0, nullptr, flags, 0xFF000000, 1.0f, 0);
    if (FAILED(first)) {
        closeRig(rig);
        state.SkipWithError(bench::describeFailure("Clear", first).c_str());
        return;
    }
    bool odd = false;
    for (auto _ : state) {
        odd = !odd;
        rig.dev->Clear(0, nullptr, flags, odd ? 0xFF204060 : 0xFF000000, odd ? 0.5f : 1.0f, 0);
    }
    const double pixels = double(state.iterations()) * kW * kH;
    state.counters["px"] = Counter(pixels, Counter::kIsRate);
    state.SetBytesProcessed(static_cast<std::int64_t>(pixels) * (depth ? 2 : 4));
    state.SetLabel(depth ? "depth (D16)" : "colour (X8R8G8B8)");
    closeRig(rig);
}
BENCHMARK(BM_Clear)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMicrosecond);

// Present onto a client of range(0) × range(1), with the client image made from it as
// a display would show it: 800 × 600 is a plain copy, other sizes a nearest-neighbour
// stretch. (The headless present itself only holds the frame; the image is made here.)
void BM_Present(benchmark::State& state) {
    const int cw = static_cast<int>(state.range(0));
    const int ch = static_cast<int>(state.range(1));
    Rig rig;
    std::string why;
    if (!openRig(rig, {}, &why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    win::headless::setClientSize(rig.hWnd, cw, ch);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    const HRESULT first = rig.dev->Present(nullptr, nullptr, nullptr, nullptr);
    if (FAILED(first)) {
        closeRig(rig);
        state.SkipWithError(bench::describeFailure("Present", first).c_str());
        return;
    }
    for (auto _ : state) {
        rig.dev->Present(nullptr, nullptr, nullptr, nullptr);
        benchmark::DoNotOptimize(win::headless::lastFrame().pixels.data());
    }
    state.counters["px"] = Counter(double(state.iterations()) * cw * ch, Counter::kIsRate);
    closeRig(rig);
}
BENCHMARK(BM_Present)
    ->Args({800, 600})
    ->Args({1024, 768})
    ->Args({640, 480})
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
