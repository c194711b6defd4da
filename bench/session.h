// Brings the viewer's own scene up on the headless back end the way WinMain does
// (class, window, setupDevice, applyProjection) so a benchmark can call drawFrame in
// a loop. No message loop runs: the benchmarks drive frames directly.
#pragma once

#include <string>

#include "gfx/d3d9.h"
#include "win/win32.h"

namespace bench {

inline constexpr int kWidth = 800;
inline constexpr int kHeight = 600;

// Camera offsets as the arrow and page keys leave them.
struct Camera {
    float x = 0.0f, y = 0.0f, z = 0.0f;
};
inline constexpr Camera kStartCamera{};
// Three Page Ups: the eye sits 17 units back, and the turning cube crosses its plane.
inline constexpr Camera kNearCamera{0.0f, 0.0f, 3.0f};

// A fresh headless back end (reset first) and one window with a client of
// width × height. Null with the reason in *why when the window cannot be made.
HWND openWindow(int width, int height, std::string* why);
void closeWindow(HWND hWnd);  // destroys the window and resets the headless back end

// openWindow(800, 600), then the scene's device and projection, the camera, the spin
// angle at 0 and the culling mode (D3DCULL_CCW is the device's default; D3DCULL_NONE
// is what F1 selects). False with the reason in *why; nothing is left open then.
bool openScene(const Camera& camera, DWORD cullMode, std::string* why);
void closeScene();  // releaseDevice, then closeWindow

// A device of the benchmark's own on hWnd: 800 × 600 X8R8G8B8 with D16, as the scene
// asks for, presented once so that its row threads run. Null with the reason in *why.
// Release the device, then the Direct3D object.
IDirect3DDevice9* createDevice(HWND hWnd, IDirect3D9** direct3dOut, std::string* why);

// "name failed: 0x88760868" for an HRESULT.
std::string describeFailure(const char* what, HRESULT hr);

}  // namespace bench
