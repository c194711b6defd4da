// The GPU present: renderer and texture per window, the renderer-name check, the
// quarter-texel nudge that makes the driver's sampling equal the shared rule, and the
// swap timed for the window's pacing (win/pacing.h), which decides who paces. Falls
// silent on failure; the back end falls back.
#include "win/sdl/gpu_present.h"

#include <cstddef>
#include <string>
#include <thread>

#include "win/pacing.h"
#include "win/sdl/gpu_policy.h"

namespace win::sdl {

struct GpuPresent {
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    int textureWidth = 0;
    int textureHeight = 0;
};

namespace {

// glGetString(GL_RENDERER) of the context current now, "" when it cannot be read.
std::string currentRendererName() {
    constexpr unsigned int kGlRenderer = 0x1F01;
    using GetString = const unsigned char* (*)(unsigned int);
    if (SDL_GL_GetCurrentContext() == nullptr) return "";
    const auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    if (getString == nullptr) return "";
    const unsigned char* name = getString(kGlRenderer);
    return name != nullptr ? reinterpret_cast<const char*>(name) : "";
}

// The renderer, if the driver behind it is one to present through (gpu_policy.h).
SDL_Renderer* gpuRendererFor(SDL_Window* window) {
    SDL_Renderer* renderer =
        SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    if (renderer == nullptr) return nullptr;
    SDL_RendererInfo info;
    const bool openGl =
        SDL_GetRendererInfo(renderer, &info) == 0 && std::string(info.name).rfind("opengl", 0) == 0;
    if (openGl && rendererTakesPresents(currentRendererName())) return renderer;
    SDL_DestroyRenderer(renderer);
    return nullptr;
}

}  // namespace

SDL_Window* createPresentingWindow(const char* title, int x, int y, int width, int height,
                                   Uint32 flags, GpuPresent** gpu, Pacing* pacing) {
    *gpu = nullptr;
    if (!gpuMayBePresent()) {
        return SDL_CreateWindow(title, x, y, width, height, flags);
    }
    // Made an OpenGL window from the start: SDL would otherwise re-create the native
    // window to give it a renderer.
    SDL_Window* window = SDL_CreateWindow(title, x, y, width, height, flags | SDL_WINDOW_OPENGL);
    SDL_Renderer* renderer = window != nullptr ? gpuRendererFor(window) : nullptr;
    if (renderer != nullptr) {
        *gpu = new GpuPresent{};
        (*gpu)->renderer = renderer;
        // SDL imitates vsync with whole-millisecond sleeps where the driver refuses a
        // swap interval; deadlines at the real rate do better.
        const bool refused = SDL_GL_GetSwapInterval() == 0;
        if (refused) SDL_RenderSetVSync(renderer, 0);
        if (!refused || vsyncTrialWithoutSwapInterval()) trialVsync(*pacing);
        return window;
    }
    // No GPU: a window that never had OpenGL, so its surface is the driver's own (the
    // GL library, once loaded, stays for the life of the process all the same).
    if (window != nullptr) SDL_DestroyWindow(window);
    return SDL_CreateWindow(title, x, y, width, height, flags);
}

void closeGpuPresent(GpuPresent* gpu) {
    if (gpu == nullptr) return;
    if (gpu->texture != nullptr) SDL_DestroyTexture(gpu->texture);
    SDL_DestroyRenderer(gpu->renderer);
    delete gpu;
}

bool outputSizeOf(GpuPresent& gpu, int* width, int* height) {
    return SDL_GetRendererOutputSize(gpu.renderer, width, height) == 0;
}

namespace {

// The frame into the texture: only the rectangles of `change` while the texture holds
// the frame before, all of it otherwise.
bool upload(GpuPresent& gpu, const std::uint32_t* pixels, int width, int height,
            const FrameChange& change) {
    const int pitch = width * static_cast<int>(sizeof(std::uint32_t));
    if (gpu.texture == nullptr || gpu.textureWidth != width || gpu.textureHeight != height) {
        if (gpu.texture != nullptr) SDL_DestroyTexture(gpu.texture);
        // X8R8G8B8 is SDL's RGB888: the top byte ignored, so the window is opaque even
        // where a compositor honours alpha.
        gpu.texture = SDL_CreateTexture(gpu.renderer, SDL_PIXELFORMAT_RGB888,
                                        SDL_TEXTUREACCESS_STREAMING, width, height);
        gpu.textureWidth = gpu.texture != nullptr ? width : 0;
        gpu.textureHeight = gpu.texture != nullptr ? height : 0;
        if (gpu.texture == nullptr) return false;
        if (SDL_SetTextureScaleMode(gpu.texture, SDL_ScaleModeNearest) != 0 ||
            SDL_SetTextureBlendMode(gpu.texture, SDL_BLENDMODE_NONE) != 0) {
            return false;
        }
    } else if (!change.all) {
        for (int i = 0; i < change.count; ++i) {
            const RECT& r = change.rects[i];
            const SDL_Rect rect{static_cast<int>(r.left), static_cast<int>(r.top),
                                static_cast<int>(r.right - r.left),
                                static_cast<int>(r.bottom - r.top)};
            const std::uint32_t* first = pixels + static_cast<std::size_t>(r.top) * width + r.left;
            if (SDL_UpdateTexture(gpu.texture, &rect, first, pitch) != 0) return false;
        }
        return true;
    }
    return SDL_UpdateTexture(gpu.texture, nullptr, pixels, pitch) == 0;
}

// The frame over the whole output. A pixel centre x + 0.5 samples texel
// floor((x + 0.5) · width / outWidth) by the shared rule; the GPU computes the same but
// in floats, so where the centre falls exactly on a texel edge it may pick either side.
// Centres lie k / (2 · outWidth) texels from any edge, so texture coordinates pushed
// forward by a quarter of that settle every tie after the edge, as floor does, and move
// no other sample. SDL refuses coordinates past 1, so the quad ends where u reaches 1:
// a hair short of the last edge, still past the last pixel centre.
bool drawStretched(GpuPresent& gpu, int outWidth, int outHeight) {
    const double du = 1.0 / (4.0 * outWidth * gpu.textureWidth);
    const double dv = 1.0 / (4.0 * outHeight * gpu.textureHeight);
    const auto u0 = static_cast<float>(du);
    const auto v0 = static_cast<float>(dv);
    const auto x1 = static_cast<float>(outWidth * (1.0 - du));
    const auto y1 = static_cast<float>(outHeight * (1.0 - dv));
    const SDL_Color white{255, 255, 255, 255};
    const SDL_Vertex corners[4] = {
        {{0.0f, 0.0f}, white, {u0, v0}},
        {{x1, 0.0f}, white, {1.0f, v0}},
        {{x1, y1}, white, {1.0f, 1.0f}},
        {{0.0f, y1}, white, {u0, 1.0f}},
    };
    static constexpr int kIndices[6] = {0, 1, 2, 0, 2, 3};
    // Tests watch SDL_RenderGeometry: the test builds make a GPU present fail there
    // (win/sdl/testing.cpp).
    return SDL_RenderSetViewport(gpu.renderer, nullptr) == 0 &&
           SDL_RenderGeometry(gpu.renderer, gpu.texture, corners, 4, kIndices, 6) == 0;
}

// Turns the driver's vsync off when the pacing has just handed the pace to deadlines.
void followSwitch(GpuPresent& gpu, bool vsyncOff) {
    if (vsyncOff) SDL_RenderSetVSync(gpu.renderer, 0);
}

// The swap, paced (win/pacing.h), on the real clock.
bool pacedSwap(GpuPresent& gpu, Pacing& pacing) {
    return win::pacedSwap(
        pacing, {[] { return PaceClock::now(); },
                 [](PaceClock::time_point t) { std::this_thread::sleep_until(t); },
                 [&gpu] { SDL_RenderPresent(gpu.renderer); }, [&gpu] { followSwitch(gpu, true); }});
}

}  // namespace

bool presentThroughGpu(GpuPresent& gpu, const std::uint32_t* pixels, int width, int height,
                       const FrameChange& change, bool paced, Pacing& pacing, bool* waited) {
    *waited = false;
    int outWidth = 0;
    int outHeight = 0;
    if (!outputSizeOf(gpu, &outWidth, &outHeight) || outWidth <= 0 || outHeight <= 0) {
        return false;
    }
    if (!upload(gpu, pixels, width, height, change) || !drawStretched(gpu, outWidth, outHeight)) {
        return false;
    }
    if (paced) {
        *waited = pacedSwap(gpu, pacing);
        return true;
    }
    // An unpaced present must not wait on vsync either.
    followSwitch(gpu, switchToDeadlines(pacing));
    SDL_RenderPresent(gpu.renderer);
    return true;
}

}  // namespace win::sdl
