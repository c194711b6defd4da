// IDirect3DDevice9::Present: hands the finished back buffer to the window layer, which
// stretches it over the client area and paces it to the display. The last step of a
// frame; nothing here draws or changes the back buffer.
#include <algorithm>
#include <new>
#include <thread>

#include "gfx/sw/device.h"
#include "win/display.h"

namespace sw {

namespace {

// The most threads a device may start from now on (limitRowThreads, the benchmarks'
// lever): all mutable state of this file.
int rowThreadLimit = kRowThreads;

}  // namespace

void limitRowThreads(int threads) {
    rowThreadLimit = std::clamp(threads, 1, kRowThreads);
}

HRESULT Device::Present(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
                        const RGNDATA* pDirtyRegion) {
    // Partial presents are not in the subset: only the whole back buffer is shown.
    if (pSourceRect != nullptr || pDestRect != nullptr || pDirtyRegion != nullptr) {
        return D3DERR_INVALIDCALL;
    }
    // The frame is not finished until EndScene; the debug runtime refuses this too.
    if (inScene_) return D3DERR_INVALIDCALL;
    const HWND window = hDestWindowOverride != nullptr ? hDestWindowOverride : window_;
    // D3DPRESENT_INTERVAL_DEFAULT waits for the display exactly as INTERVAL_ONE does.
    const bool paced = params_.PresentationInterval != D3DPRESENT_INTERVAL_IMMEDIATE;
    // The window layer moves only what changed since this device's last present.
    followLoan();
    const win::FrameChange change = changes_.next(color_, width_, height_);
    // Lent pixels are passed as they are: the window sees they are its own.
    const win::SharedPixels frame =
        lent_ != nullptr ? win::SharedPixels(lent_, lent_->pixels) : color_.shared();
    const win::PresentResult presented =
        win::presentFrame(window, frame, width_, height_, paced, change, this);
    // Kept only while a present renews it: another window, or none, may show the frame.
    followLoan(presented.lent != lent_);
    if (presented.lent != nullptr && presented.lent != lent_ && presented.lent->width == width_ &&
        presented.lent->height == height_) {
        lent_ = presented.lent;
        lent_->returnTo = color_.own();
        color_.drawInto(lent_->pixels);
    }
    if (!presented.ok) return D3DERR_INVALIDCALL;  // the window is gone or cannot show it
    // A frame paced by the display has time to spare, and one thread spends the least
    // processor time on it; frames that follow each other at once finish sooner shared.
    if (presented.immediate && rows_ == nullptr) startRowThreads();
    shareRows_ = !presented.waited;
    // A display that goes on showing the frame keeps its pixels: drawing into them
    // would change what it shows.
    if (presented.held) color_.flip();
    return D3D_OK;
}

void Device::followLoan(bool now) {
    if (lent_ == nullptr) return;
    if (lent_->pixels != nullptr && !now) return;
    if (lent_->pixels != nullptr) {
        std::copy_n(lent_->pixels, std::size_t(width_) * height_, color_.own());
    } else if (lent_->lost) {
        color_.invalidate();  // our memory holds an older frame: the next Clear fills all
    }
    lent_->returnTo = nullptr;
    lent_.reset();
    color_.drawInto(nullptr);
}

void Device::startRowThreads() {
    const int threads =
        std::min(rowThreadLimit, static_cast<int>(std::thread::hardware_concurrency()));
    if (threads <= 1) return;
    try {
        rows_ = std::make_unique<RowThreads>(threads);
    } catch (const std::bad_alloc&) {
        // The caller draws alone, as it did so far: the same pixels, later.
    }
}

}  // namespace sw
