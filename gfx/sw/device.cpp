// The device's lifetime, state (render states, transforms, FVF, bound buffers), Clear,
// scenes, and the draw entries, which validate every byte they would read before one
// state snapshot goes to the pipeline. Pixels are the pipeline's; creation of buffers
// and Present live in buffers.cpp and present.cpp.
#include "gfx/sw/device.h"

#include <algorithm>
#include <cstddef>
#include <thread>
#include <utility>

namespace sw {

namespace {

bool isBool(DWORD v) {
    return v == FALSE || v == TRUE;
}

// What SetRenderState accepts per state, in the order of kRenderStates. A state the
// subset lacks, or a value it cannot honour, is refused rather than stored unused.
bool renderStateAccepts(std::size_t slot, DWORD v) {
    switch (kRenderStates[slot]) {
        case D3DRS_ZENABLE: return v == D3DZB_FALSE || v == D3DZB_TRUE;  // no w-buffer
        case D3DRS_FILLMODE: return v == D3DFILL_SOLID;
        // Direct3D 9 hardware shades D3DSHADE_PHONG as Gouraud, so it is accepted as that.
        case D3DRS_SHADEMODE: return v >= D3DSHADE_FLAT && v <= D3DSHADE_PHONG;
        case D3DRS_CULLMODE: return v >= D3DCULL_NONE && v <= D3DCULL_CCW;
        case D3DRS_ZFUNC: return v >= D3DCMP_NEVER && v <= D3DCMP_ALWAYS;
        case D3DRS_ALPHABLENDENABLE:
            return v == FALSE;  // no blending in the subset
        // Dithering has no visible effect on a 32-bit target, so both values are honoured.
        case D3DRS_ZWRITEENABLE:
        case D3DRS_LASTPIXEL:
        case D3DRS_DITHERENABLE:
        case D3DRS_LIGHTING: return isBool(v);
    }
    return false;
}

DWORD renderStateDefault(D3DRENDERSTATETYPE state, bool hasDepthBuffer) {
    switch (state) {
        // Direct3D 9 turns depth testing on when the device has an automatic depth buffer.
        case D3DRS_ZENABLE: return hasDepthBuffer ? D3DZB_TRUE : D3DZB_FALSE;
        case D3DRS_FILLMODE: return D3DFILL_SOLID;
        case D3DRS_SHADEMODE: return D3DSHADE_GOURAUD;
        case D3DRS_ZWRITEENABLE: return TRUE;
        case D3DRS_LASTPIXEL: return TRUE;
        case D3DRS_CULLMODE: return D3DCULL_CCW;
        case D3DRS_ZFUNC: return D3DCMP_LESSEQUAL;
        case D3DRS_DITHERENABLE: return FALSE;
        case D3DRS_ALPHABLENDENABLE: return FALSE;
        case D3DRS_LIGHTING: return TRUE;
    }
    return 0;
}

// Position of a state in kRenderStates, or kRenderStates.size() when the subset lacks it.
std::size_t renderStateSlot(D3DRENDERSTATETYPE state) {
    const auto it = std::find(kRenderStates.begin(), kRenderStates.end(), state);
    return static_cast<std::size_t>(it - kRenderStates.begin());
}

D3DMATRIX identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

D3DMATRIX multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX p{};
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += a.m[row][k] * b.m[k][col];
            p.m[row][col] = sum;
        }
    }
    return p;
}

// The lowest and highest of `count` indices, false when one lies outside
// [lo, lo + span).
template <class Index>
bool indexRange(const std::uint8_t* bytes, std::uint64_t count, std::uint64_t lo,
                std::uint64_t span, std::uint64_t& lowest, std::uint64_t& highest) {
    const Index* indices = reinterpret_cast<const Index*>(bytes);
    lowest = ~std::uint64_t{0};
    highest = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t index = indices[i];
        if (index < lo || index - lo >= span) return false;
        lowest = std::min(lowest, index);
        highest = std::max(highest, index);
    }
    return true;
}

}  // namespace

// ---- lifetime ----

Device::Device(IDirect3D9* direct3d, HWND window, const D3DPRESENT_PARAMETERS& params)
    : direct3d_(direct3d),
      window_(window),
      params_(params),
      width_(static_cast<int>(params.BackBufferWidth)),
      height_(static_cast<int>(params.BackBufferHeight)),
      color_(width_, height_, 0xFF000000u, 2) {  // black, X byte as stored
    if (params.EnableAutoDepthStencil) depth_ = DepthSurface(width_, height_, 0xFFFF);
    for (std::size_t slot = 0; slot < kRenderStates.size(); ++slot) {
        renderStates_[slot] = renderStateDefault(kRenderStates[slot], !depth_.empty());
    }
    world_ = view_ = projection_ = identity();
    spareVertexBuffers_.reserve(kSpareBuffers);
    spareIndexBuffers_.reserve(kSpareBuffers);
    direct3d_->AddRef();  // last: nothing above may throw once the reference is taken
}

Device::~Device() {
    // Bindings go first: a buffer the app has already released retires here, into the
    // spares freed next.
    if (stream_ != nullptr) std::exchange(stream_, nullptr)->unbind();
    if (indices_ != nullptr) std::exchange(indices_, nullptr)->unbind();
    for (VertexBuffer* spare : spareVertexBuffers_) delete spare;
    for (IndexBuffer* spare : spareIndexBuffers_) delete spare;
    // The window keeps its pixels; our buffer, where it would copy them back, goes.
    if (lent_ != nullptr) lent_->returnTo = nullptr;
    direct3d_->Release();
}

ULONG Device::AddRef() {
    return ++refs_;
}

ULONG Device::Release() {
    const ULONG remaining = --refs_;
    if (remaining == 0) delete this;
    return remaining;
}

HRESULT Device::GetDirect3D(IDirect3D9** ppD3D9) {
    if (ppD3D9 == nullptr) return D3DERR_INVALIDCALL;
    direct3d_->AddRef();
    *ppD3D9 = direct3d_;
    return D3D_OK;
}

RenderTarget Device::view() {
    followLoan();
    return {color_.pixels(), depth_.pixels(), width_, height_, color_.written(), depth_.written()};
}

// ---- scenes and Clear ----

HRESULT Device::BeginScene() {
    if (inScene_) return D3DERR_INVALIDCALL;
    inScene_ = true;
    return D3D_OK;
}

HRESULT Device::EndScene() {
    if (!inScene_) return D3DERR_INVALIDCALL;
    inScene_ = false;
    return D3D_OK;
}

HRESULT Device::Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z,
                      DWORD) {
    const DWORD known = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL;
    if (Flags == 0 || (Flags & ~known) != 0) return D3DERR_INVALIDCALL;
    // D16 has no stencil bits.
    if ((Flags & D3DCLEAR_STENCIL) != 0) return D3DERR_INVALIDCALL;
    const bool clearTarget = (Flags & D3DCLEAR_TARGET) != 0;
    const bool clearZ = (Flags & D3DCLEAR_ZBUFFER) != 0;
    if (clearZ && (depth_.empty() || !(Z >= 0.0f && Z <= 1.0f))) return D3DERR_INVALIDCALL;

    const std::uint32_t color = storedColor(Color);
    const std::uint16_t depth = toD16(Z);
    followLoan();
    // No rectangles, or a count with no array, clears the whole viewport (Direct3D 9
    // ignores the count then), which is the whole back buffer.
    if (Count == 0 || pRects == nullptr) {
        if (clearTarget) color_.clearTo(color, sharedRows());
        if (clearZ) depth_.clearTo(depth, sharedRows());
        return D3D_OK;
    }
    for (DWORD i = 0; i < Count; ++i) {
        const D3DRECT& r = pRects[i];  // clipped to the target
        const int x1 = std::max<LONG>(r.x1, 0);
        const int y1 = std::max<LONG>(r.y1, 0);
        const int x2 = std::min<LONG>(r.x2, width_);
        const int y2 = std::min<LONG>(r.y2, height_);
        if (clearTarget) color_.clearRect(x1, y1, x2, y2, color);
        if (clearZ) depth_.clearRect(x1, y1, x2, y2, depth);
    }
    return D3D_OK;
}

// ---- transforms, render states, FVF ----

D3DMATRIX* Device::transformSlot(D3DTRANSFORMSTATETYPE state) {
    if (state == D3DTS_VIEW) return &view_;
    if (state == D3DTS_PROJECTION) return &projection_;
    if (state == D3DTS_WORLD) return &world_;
    return nullptr;  // texture transforms and world matrices past 0 are not in the subset
}

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) {
    D3DMATRIX* slot = transformSlot(State);
    if (slot == nullptr || pMatrix == nullptr) return D3DERR_INVALIDCALL;
    *slot = *pMatrix;
    return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) {
    const D3DMATRIX* slot = transformSlot(State);
    if (slot == nullptr || pMatrix == nullptr) return D3DERR_INVALIDCALL;
    *pMatrix = *slot;
    return D3D_OK;
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) {
    const std::size_t slot = renderStateSlot(State);
    if (slot == kRenderStates.size() || !renderStateAccepts(slot, Value)) {
        return D3DERR_INVALIDCALL;
    }
    renderStates_[slot] = Value;
    return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) {
    const std::size_t slot = renderStateSlot(State);
    if (slot == kRenderStates.size() || pValue == nullptr) return D3DERR_INVALIDCALL;
    *pValue = renderStates_[slot];
    return D3D_OK;
}

HRESULT Device::SetFVF(DWORD FVF) {
    if (FVF != kColoredVertexFvf) return D3DERR_INVALIDCALL;  // the one layout the subset has
    fvf_ = FVF;
    return D3D_OK;
}

HRESULT Device::GetFVF(DWORD* pFVF) {
    if (pFVF == nullptr) return D3DERR_INVALIDCALL;
    *pFVF = fvf_;
    return D3D_OK;
}

// ---- bound buffers ----

HRESULT Device::SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9* pStreamData,
                                UINT OffsetInBytes, UINT Stride) {
    if (StreamNumber != 0) return D3DERR_INVALIDCALL;  // the subset has one stream
    VertexBuffer* buffer = nullptr;
    if (pStreamData != nullptr) {
        buffer = dynamic_cast<VertexBuffer*>(pStreamData);
        if (buffer == nullptr || buffer->owner() != this) return D3DERR_INVALIDCALL;
        buffer->bind();  // before the old one goes, in case they are the same buffer
    }
    if (stream_ != nullptr) stream_->unbind();
    stream_ = buffer;
    streamOffset_ = buffer != nullptr ? OffsetInBytes : 0;
    streamStride_ = buffer != nullptr ? Stride : 0;
    return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer9* pIndexData) {
    IndexBuffer* buffer = nullptr;
    if (pIndexData != nullptr) {
        buffer = dynamic_cast<IndexBuffer*>(pIndexData);
        if (buffer == nullptr || buffer->owner() != this) return D3DERR_INVALIDCALL;
        buffer->bind();
    }
    if (indices_ != nullptr) indices_->unbind();
    indices_ = buffer;
    return D3D_OK;
}

// ---- draws ----

DrawState Device::snapshot() const {
    auto state = [this](D3DRENDERSTATETYPE s) { return renderStates_[renderStateSlot(s)]; };
    DrawState d;
    d.worldViewProjection = multiply(multiply(world_, view_), projection_);
    d.cullMode = state(D3DRS_CULLMODE);
    const DWORD shade = state(D3DRS_SHADEMODE);
    d.shadeMode = shade == D3DSHADE_PHONG ? D3DSHADE_GOURAUD : shade;
    d.zEnable = state(D3DRS_ZENABLE);  // the output stage knows there may be no depth buffer
    d.zWriteEnable = state(D3DRS_ZWRITEENABLE);
    d.zFunc = state(D3DRS_ZFUNC);
    d.lastPixel = state(D3DRS_LASTPIXEL);
    d.lighting = state(D3DRS_LIGHTING);
    return d;
}

HRESULT Device::checkDrawState() const {
    // Direct3D 9 fails draws outside BeginScene/EndScene.
    if (!inScene_) return D3DERR_INVALIDCALL;
    if (fvf_ != kColoredVertexFvf) return D3DERR_INVALIDCALL;
    return D3D_OK;
}

// A buffer still locked may be drawn from: its storage never moves, so the draw reads
// whatever the app has written so far, as a managed-pool buffer does in Direct3D 9.
HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex,
                              UINT PrimitiveCount) {
    // 1. Validate: state, then every byte the draw would read.
    if (const HRESULT hr = checkDrawState(); FAILED(hr)) return hr;
    const std::uint64_t vertexCount = elementsFor(PrimitiveType, PrimitiveCount);
    // A draw of nothing is refused (ours: the debug runtime reports it as an error).
    if (PrimitiveCount == 0 || vertexCount == 0) return D3DERR_INVALIDCALL;
    // The retail runtime does not check that a stream is bound: with none, the draw
    // succeeds, reads nothing and draws nothing.
    if (stream_ == nullptr) return D3D_OK;
    if (streamStride_ != kColoredVertexStride) return D3DERR_INVALIDCALL;
    const std::uint64_t first = streamOffset_ + std::uint64_t{StartVertex} * streamStride_;
    if (first + vertexCount * streamStride_ > stream_->size()) return D3DERR_INVALIDCALL;

    // 2. Describe the draw and 3. hand it to the pipeline with one state snapshot.
    DrawCall call;
    call.type = PrimitiveType;
    call.primitiveCount = PrimitiveCount;
    call.vertices = stream_->bytes() + first;
    call.stride = streamStride_;
    call.vertexCount = static_cast<std::uint32_t>(vertexCount);
    drawPrimitives(snapshot(), view(), call, scratch_, sharedRows());
    return D3D_OK;
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, INT BaseVertexIndex,
                                     UINT MinVertexIndex, UINT NumVertices, UINT startIndex,
                                     UINT primCount) {
    // 1. Validate the state and the index range.
    if (const HRESULT hr = checkDrawState(); FAILED(hr)) return hr;
    const std::uint64_t indexCount = elementsFor(PrimitiveType, primCount);
    if (primCount == 0 || indexCount == 0 || NumVertices == 0) return D3DERR_INVALIDCALL;
    // As for DrawPrimitive: with no stream or no index buffer bound the retail runtime
    // succeeds, and nothing is read or drawn.
    if (stream_ == nullptr || indices_ == nullptr) return D3D_OK;
    if (streamStride_ != kColoredVertexStride) return D3DERR_INVALIDCALL;
    const bool wide = indices_->format() == D3DFMT_INDEX32;
    const std::uint64_t indexSize = wide ? 4 : 2;
    if ((std::uint64_t{startIndex} + indexCount) * indexSize > indices_->size()) {
        return D3DERR_INVALIDCALL;
    }

    // 2. The vertices the draw may use, [BaseVertexIndex + MinVertexIndex, + NumVertices),
    //    must lie inside the vertex buffer.
    const std::int64_t firstSlot = std::int64_t{BaseVertexIndex} + MinVertexIndex;
    if (firstSlot < 0) return D3DERR_INVALIDCALL;
    const std::uint64_t first =
        streamOffset_ + static_cast<std::uint64_t>(firstSlot) * streamStride_;
    if (first + std::uint64_t{NumVertices} * streamStride_ > stream_->size()) {
        return D3DERR_INVALIDCALL;
    }

    // 3. Every index must name a vertex of that range; the lowest and highest named
    //    are all the draw fetches.
    const std::uint8_t* indexBytes = indices_->bytes() + std::uint64_t{startIndex} * indexSize;
    std::uint64_t lowest = 0, highest = 0;
    const bool inRange = wide ? indexRange<std::uint32_t>(indexBytes, indexCount, MinVertexIndex,
                                                          NumVertices, lowest, highest)
                              : indexRange<std::uint16_t>(indexBytes, indexCount, MinVertexIndex,
                                                          NumVertices, lowest, highest);
    if (!inRange) return D3DERR_INVALIDCALL;

    // 4. Describe the draw: slot 0 is vertex BaseVertexIndex + lowest, so index i names
    //    slot i − lowest.
    DrawCall call;
    call.type = PrimitiveType;
    call.primitiveCount = primCount;
    call.vertices =
        stream_->bytes() + streamOffset_ +
        (static_cast<std::uint64_t>(std::int64_t{BaseVertexIndex} + lowest)) * streamStride_;
    call.stride = streamStride_;
    call.vertexCount = static_cast<std::uint32_t>(highest - lowest + 1);
    if (wide) {
        call.indices32 = reinterpret_cast<const std::uint32_t*>(indexBytes);
    } else {
        call.indices16 = reinterpret_cast<const std::uint16_t*>(indexBytes);
    }
    call.indexBias = static_cast<std::uint32_t>(lowest);

    // 5. Draw with one state snapshot.
    drawPrimitives(snapshot(), view(), call, scratch_, sharedRows());
    return D3D_OK;
}

}  // namespace sw
