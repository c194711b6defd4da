// The shipped answers of gpu_policy.h: a GPU device must exist, the renderer must be a
// GPU's by its name (gpu_choice.h), and a refused swap interval means deadlines.
#include "win/sdl/gpu_policy.h"

#include "win/sdl/gpu_choice.h"

namespace win::sdl {

bool gpuMayBePresent() {
    return hasGpuDevice("/dev");
}

bool rendererTakesPresents(std::string_view glRenderer) {
    return isHardwareRenderer(glRenderer);
}

bool vsyncTrialWithoutSwapInterval() {
    return false;
}

}  // namespace win::sdl
