// The software Direct3D 9 device: its state, back and depth buffers, and the validated
// entries that hand draws to the pipeline (pipeline.h), which makes the pixels. Bodies
// by topic: device.cpp (state, Clear, scenes, draws), buffers.cpp, present.cpp.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "gfx/d3d9.h"
#include "gfx/sw/buffers.h"
#include "gfx/sw/frame_change.h"
#include "gfx/sw/pipeline.h"
#include "gfx/sw/rows.h"
#include "gfx/sw/stages.h"
#include "gfx/sw/surface.h"
#include "win/display.h"

namespace sw {

// The render states the subset has, in the order of Device::renderStates_.
inline constexpr std::array<D3DRENDERSTATETYPE, 10> kRenderStates = {
    D3DRS_ZENABLE,  D3DRS_FILLMODE, D3DRS_SHADEMODE,    D3DRS_ZWRITEENABLE,     D3DRS_LASTPIXEL,
    D3DRS_CULLMODE, D3DRS_ZFUNC,    D3DRS_DITHERENABLE, D3DRS_ALPHABLENDENABLE, D3DRS_LIGHTING,
};

// Largest back buffer side we allocate (ours: Direct3D 9 has no such limit in windowed
// mode, but a software device must not try to allocate whatever a bad size asks).
inline constexpr UINT kMaxBackBufferSide = 8192;
// Largest buffer we allocate (ours, for the same reason).
inline constexpr UINT kMaxBufferBytes = 64u << 20;
// Retired buffers up to this size are kept for reuse, this many of each kind: enough
// for geometry rebuilt every frame, too little to matter when it is not.
inline constexpr UINT kSpareBufferMaxBytes = 64u << 10;
inline constexpr std::size_t kSpareBuffers = 16;
// Threads a device draws and clears with, the caller's included, at most one per
// processor: an 800 × 600 frame has too little work to share among more.
inline constexpr int kRowThreads = 4;
// Devices created from now on draw with at most `threads` threads, the caller's
// included (1 to kRowThreads), as a machine with fewer processors would: for timing one
// thread's work. Tests and benchmarks only (present.cpp keeps the limit).
void limitRowThreads(int threads);

class Device final : public IDirect3DDevice9 {
public:
    // `params` has been validated and filled in by CreateDevice. Holds a reference on
    // `direct3d` until the device goes. Throws std::bad_alloc when the buffers don't fit.
    Device(IDirect3D9* direct3d, HWND window, const D3DPRESENT_PARAMETERS& params);

    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetDirect3D(IDirect3D9** ppD3D9) override;
    HRESULT Present(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
                    const RGNDATA* pDirtyRegion) override;
    HRESULT CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                               IDirect3DVertexBuffer9** ppVertexBuffer,
                               HANDLE* pSharedHandle) override;
    HRESULT CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                              IDirect3DIndexBuffer9** ppIndexBuffer,
                              HANDLE* pSharedHandle) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z,
                  DWORD Stencil) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) override;
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex,
                          UINT PrimitiveCount) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, INT BaseVertexIndex,
                                 UINT MinVertexIndex, UINT NumVertices, UINT startIndex,
                                 UINT primCount) override;
    HRESULT SetFVF(DWORD FVF) override;
    HRESULT GetFVF(DWORD* pFVF) override;
    HRESULT SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9* pStreamData,
                            UINT OffsetInBytes, UINT Stride) override;
    HRESULT SetIndices(IDirect3DIndexBuffer9* pIndexData) override;

    // A buffer with no reference left comes back here: kept as a spare or freed.
    void retire(VertexBuffer* buffer);
    void retire(IndexBuffer* buffer);

private:
    friend struct DeviceProbe;  // testing.h
    ~Device();                  // through Release only

    // The back and depth surfaces as the stages draw into them.
    RenderTarget view();
    // The threads clears and draws share rows among, or null for the caller alone.
    RowThreads* sharedRows() { return shareRows_ ? rows_.get() : nullptr; }
    void startRowThreads();
    // Ends drawing into the window's lent pixels once the window layer has taken them
    // back (its copy is then in color_'s own memory), or, with `now`, at once: copies
    // them into color_'s own memory and gives them back.
    void followLoan(bool now = false);
    D3DMATRIX* transformSlot(D3DTRANSFORMSTATETYPE state);
    DrawState snapshot() const;
    // Common checks of both draw entries: scene and FVF.
    HRESULT checkDrawState() const;

    ULONG refs_ = 1;
    IDirect3D9* direct3d_;
    HWND window_;
    D3DPRESENT_PARAMETERS params_;

    int width_;
    int height_;
    // The back buffer, with a second one for a frame the display holds. A new depth
    // buffer's contents are undefined in Direct3D 9; ours starts at the far plane so a
    // draw before the first Clear still passes the default test. Empty without one.
    ColorSurface color_;
    DepthSurface depth_;
    FrameChanges changes_;  // what each present changed against the one before
    // The window's own pixels while they hold the back buffer (a present lent them):
    // color_ draws there, and the next present moves nothing into the window.
    win::SharedLoan lent_;

    std::array<DWORD, kRenderStates.size()> renderStates_{};
    D3DMATRIX world_{};
    D3DMATRIX view_{};
    D3DMATRIX projection_{};
    DWORD fvf_ = 0;
    VertexBuffer* stream_ = nullptr;  // bound, not owned by the app's count
    UINT streamOffset_ = 0;           // bytes
    UINT streamStride_ = 0;           // bytes
    IndexBuffer* indices_ = nullptr;  // bound, not owned by the app's count
    bool inScene_ = false;

    Scratch scratch_;
    // Started by the first present that nothing paces: a device whose frames the display
    // paces draws on the caller's thread alone and never has more.
    std::unique_ptr<RowThreads> rows_;
    // Off while presents wait for the display: a paced frame has time to spare, and one
    // thread spends the least processor time on it. On while frames follow each other
    // at once, where sharing the rows finishes each sooner.
    bool shareRows_ = true;
    std::vector<VertexBuffer*> spareVertexBuffers_;  // retired, no references, owned here
    std::vector<IndexBuffer*> spareIndexBuffers_;
};

}  // namespace sw
