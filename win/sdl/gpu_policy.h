// The questions a new window's present path turns on, answered from the machine by
// gpu_policy.cpp in the programs we ship. The SDL back end asks them; a test build links
// its own answers instead (win/sdl/testing.h), so the GPU present can run where the only
// OpenGL is Mesa on the CPU.
#pragma once

#include <string_view>

namespace win::sdl {

// Before OpenGL is loaded for a window: whether the machine may have a GPU at all.
// Where it cannot, OpenGL is not even loaded (Mesa's llvmpipe would stay in memory for
// the life of the process).
bool gpuMayBePresent();

// The OpenGL renderer a window got, by the name its driver gives ("" when it could not
// be read): whether frames go through it rather than the shared-memory surface.
bool rendererTakesPresents(std::string_view glRenderer);

// Where the driver refuses a swap interval: whether the driver's vsync still goes on
// trial rather than deadlines pacing from the first present.
bool vsyncTrialWithoutSwapInterval();

}  // namespace win::sdl
