// The test answers to gpu_policy.h, driven by the levers, and what testing.h reads:
// the paths are the back end's own knowledge (its native windows). One SDL call is
// replaced here for the whole program (the executable's definition wins over libSDL2's;
// the real one is found with RTLD_NEXT), only to make GPU presents fail: every GPU
// present draws once with SDL_RenderGeometry.
#include "win/sdl/testing.h"

#include <SDL.h>
#include <dlfcn.h>

#include <map>
#include <string>
#include <string_view>

#include "win/sdl/gpu_choice.h"
#include "win/sdl/gpu_policy.h"
#include "win/sdl/native_window.h"

namespace win::sdl {
namespace {

// Built on first use: a test build sets the levers from a static constructor of its
// own, which may run before this file's globals are built.
GpuTestLevers& levers() {
    static GpuTestLevers current;
    return current;
}

std::string& rendererName() {
    static std::string name;
    return name;
}

// GPU presents so far, by window: handles are never reused, SDL's windows may be.
std::map<HWND, int>& gpuPresents() {
    static std::map<HWND, int> byWindow;
    return byWindow;
}

template <typename Function>
Function* realSdl(const char* name) {
    return reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));
}

}  // namespace

bool gpuMayBePresent() {
    rendererName().clear();
    return levers().acceptSoftware || hasGpuDevice(levers().devRoot);
}

bool rendererTakesPresents(std::string_view glRenderer) {
    rendererName() = glRenderer;
    return isHardwareRenderer(glRenderer) || (levers().acceptSoftware && !glRenderer.empty());
}

bool vsyncTrialWithoutSwapInterval() {
    return levers().trialVsyncAnyway;
}

void setGpuTestLevers(const GpuTestLevers& newLevers) {
    levers() = newLevers;
}

std::string lastRendererName() {
    return rendererName();
}

PresentPath presentPathOf(HWND hWnd) {
    const NativeWindow* native = nativeWindowOf(hWnd);
    if (native == nullptr) return PresentPath::none;
    return native->gpu != nullptr ? PresentPath::gpu : PresentPath::sharedMemory;
}

PresentPath lastWindowPath() {
    const NewestWindow newest = newestWindow();
    if (!newest.opened) return PresentPath::none;
    return newest.gpu ? PresentPath::gpu : PresentPath::sharedMemory;
}

}  // namespace win::sdl

extern "C" int SDL_RenderGeometry(SDL_Renderer* renderer, SDL_Texture* texture,
                                  const SDL_Vertex* vertices, int numVertices, const int* indices,
                                  int numIndices) {
    static auto* const real = win::sdl::realSdl<int(SDL_Renderer*, SDL_Texture*, const SDL_Vertex*,
                                                    int, const int*, int)>("SDL_RenderGeometry");
    SDL_Window* window = renderer != nullptr ? SDL_RenderGetWindow(renderer) : nullptr;
    const HWND hWnd = window != nullptr ? win::sdl::windowOfId(SDL_GetWindowID(window)) : nullptr;
    const int failFrom = win::sdl::levers().failFromPresent;
    if (hWnd != nullptr && ++win::sdl::gpuPresents()[hWnd] >= failFrom && failFrom > 0) {
        return SDL_SetError("the GPU present was made to fail");
    }
    return real(renderer, texture, vertices, numVertices, indices, numIndices);
}
