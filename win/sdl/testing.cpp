// The test answers to gpu_policy.h, driven by the levers, and the records testing.h
// reads. Three SDL calls are replaced here for the whole program (the executable's
// definition wins over libSDL2's; the real one is found with RTLD_NEXT): each window
// starts its record in SDL_CreateWindow, every GPU present draws once with
// SDL_RenderGeometry, and every shared-memory present (and the creation of a window
// without GPU) fetches SDL_GetWindowSurface. That is where a present is made to fail
// and where each window's path is seen, with nothing in the back end.
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

struct WindowRecord {
    int gpuPresents = 0;  // paced or not, failed or not
    PresentPath path = PresentPath::none;
};

// By SDL window, started afresh when SDL_CreateWindow returns it (SDL reuses ids and
// memory once it has been quit and started again).
std::map<const SDL_Window*, WindowRecord>& records() {
    static std::map<const SDL_Window*, WindowRecord> byWindow;
    return byWindow;
}
const SDL_Window* newest = nullptr;  // its record outlives the window

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
    return newest == nullptr ? PresentPath::none : records()[newest].path;
}

}  // namespace win::sdl

using win::sdl::PresentPath;

extern "C" SDL_Window* SDL_CreateWindow(const char* title, int x, int y, int w, int h,
                                        Uint32 flags) {
    static auto* const real =
        win::sdl::realSdl<SDL_Window*(const char*, int, int, int, int, Uint32)>("SDL_CreateWindow");
    SDL_Window* window = real(title, x, y, w, h, flags);
    if (window != nullptr) {
        win::sdl::records()[window] = {};
        win::sdl::newest = window;
    }
    return window;
}

extern "C" SDL_Surface* SDL_GetWindowSurface(SDL_Window* window) {
    static auto* const real = win::sdl::realSdl<SDL_Surface*(SDL_Window*)>("SDL_GetWindowSurface");
    if (window != nullptr) win::sdl::records()[window].path = PresentPath::sharedMemory;
    return real(window);
}

extern "C" int SDL_RenderGeometry(SDL_Renderer* renderer, SDL_Texture* texture,
                                  const SDL_Vertex* vertices, int numVertices, const int* indices,
                                  int numIndices) {
    static auto* const real = win::sdl::realSdl<int(SDL_Renderer*, SDL_Texture*, const SDL_Vertex*,
                                                    int, const int*, int)>("SDL_RenderGeometry");
    SDL_Window* window = renderer != nullptr ? SDL_RenderGetWindow(renderer) : nullptr;
    if (window != nullptr) {
        win::sdl::WindowRecord& record = win::sdl::records()[window];
        const int failFrom = win::sdl::levers().failFromPresent;
        if (++record.gpuPresents >= failFrom && failFrom > 0) {
            return SDL_SetError("the GPU present was made to fail");
        }
        record.path = PresentPath::gpu;
    }
    return real(renderer, texture, vertices, numVertices, indices, numIndices);
}
