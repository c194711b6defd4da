// Vertex and index buffers: creation and its validation, Lock/Unlock, descriptions,
// reference counts, and the spares that let small buffers be reused. Draws read the
// bytes through the device (device.cpp); nothing here draws or checks draw ranges.
#include "gfx/sw/buffers.h"

#include <cstring>
#include <new>
#include <vector>

#include "gfx/sw/device.h"

namespace sw {

namespace {

bool poolAccepted(D3DPOOL pool) {
    // D3DPOOL_SCRATCH buffers cannot be drawn from; the subset has no use for them.
    return pool == D3DPOOL_DEFAULT || pool == D3DPOOL_MANAGED || pool == D3DPOOL_SYSTEMMEM;
}

bool usageAccepted(DWORD usage) {
    return usage == 0 || usage == D3DUSAGE_WRITEONLY;
}

// A retired buffer of exactly `size` bytes, taken out of `spares`, or null.
template <class B>
B* takeSpare(std::vector<B*>& spares, UINT size) {
    for (B*& spare : spares) {
        if (spare->size() != size) continue;
        B* found = spare;
        spare = spares.back();
        spares.pop_back();
        return found;
    }
    return nullptr;
}

// Small buffers wait in `spares` (whose capacity was reserved up front, so keeping
// one never allocates); the rest go back to the system.
template <class B>
void keepSpare(std::vector<B*>& spares, B* buffer) {
    if (buffer->size() <= kSpareBufferMaxBytes && spares.size() < spares.capacity()) {
        spares.push_back(buffer);
    } else {
        delete buffer;
    }
}

}  // namespace

// ---- Buffer ----

template <class Interface>
Buffer<Interface>::Buffer(Device* device, UINT size, DWORD usage, D3DPOOL pool)
    : usage_(usage),
      pool_(pool),
      device_(device),
      // Direct3D leaves a new buffer's contents undefined; zero keeps them predictable.
      storage_(new std::uint8_t[size]()),
      size_(size) {
    device_->AddRef();
}

template <class Interface>
void Buffer<Interface>::revive(DWORD usage, D3DPOOL pool) {
    usage_ = usage;
    pool_ = pool;
    // Zeroed like a new one, so no earlier buffer's data shows through.
    std::memset(storage_.get(), 0, size_);
    appRefs_ = 1;
    bindRefs_ = 0;
    lockCount_ = 0;
    device_->AddRef();
}

template <class Interface>
ULONG Buffer<Interface>::AddRef() {
    if (appRefs_++ == 0) device_->AddRef();
    return appRefs_;
}

template <class Interface>
ULONG Buffer<Interface>::Release() {
    // Releasing more than was added is undefined in COM; refusing keeps the object sane.
    if (appRefs_ == 0) return 0;
    const ULONG remaining = --appRefs_;
    if (remaining == 0) {
        Device* device = device_;
        if (bindRefs_ == 0) retire();
        // May destroy the device, which drops its binding and with it this buffer, so
        // nothing of `this` is touched after.
        device->Release();
    }
    return remaining;
}

template <class Interface>
void Buffer<Interface>::unbind() {
    if (--bindRefs_ == 0 && appRefs_ == 0) retire();
}

template <class Interface>
HRESULT Buffer<Interface>::GetDevice(IDirect3DDevice9** ppDevice) {
    if (ppDevice == nullptr) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *ppDevice = device_;
    return D3D_OK;
}

template <class Interface>
HRESULT Buffer<Interface>::Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD) {
    if (ppbData == nullptr) return D3DERR_INVALIDCALL;
    *ppbData = nullptr;
    // Size 0 locks from the offset to the end: with offset 0, the whole buffer.
    if (SizeToLock == 0) {
        if (OffsetToLock >= size_) return D3DERR_INVALIDCALL;
    } else if (std::uint64_t{OffsetToLock} + SizeToLock > size_) {
        return D3DERR_INVALIDCALL;
    }
    // Direct3D 9 lets locks nest; each needs its own Unlock. The storage never moves,
    // so every pointer handed out stays valid until the buffer goes.
    ++lockCount_;
    *ppbData = storage_.get() + OffsetToLock;
    return D3D_OK;
}

template <class Interface>
HRESULT Buffer<Interface>::Unlock() {
    if (lockCount_ == 0) return D3DERR_INVALIDCALL;
    --lockCount_;
    return D3D_OK;
}

template class Buffer<IDirect3DVertexBuffer9>;
template class Buffer<IDirect3DIndexBuffer9>;

void VertexBuffer::retire() {
    owner()->retire(this);
}
void IndexBuffer::retire() {
    owner()->retire(this);
}

HRESULT VertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* pDesc) {
    if (pDesc == nullptr) return D3DERR_INVALIDCALL;
    *pDesc = {
        D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, usage_, pool_, static_cast<UINT>(size()), fvf_};
    return D3D_OK;
}

HRESULT IndexBuffer::GetDesc(D3DINDEXBUFFER_DESC* pDesc) {
    if (pDesc == nullptr) return D3DERR_INVALIDCALL;
    *pDesc = {format_, D3DRTYPE_INDEXBUFFER, usage_, pool_, static_cast<UINT>(size())};
    return D3D_OK;
}

// ---- creation on the device ----

namespace {

// The body both creations share once their own arguments are checked: usage, pool and
// size, then a spare of the same size made new, or a new buffer.
template <class B, class Interface, class Kind>
HRESULT createBuffer(Device* device, std::vector<B*>& spares, UINT length, DWORD usage,
                     D3DPOOL pool, Kind kind, Interface** out) {
    if (!usageAccepted(usage) || !poolAccepted(pool)) return D3DERR_INVALIDCALL;
    if (length > kMaxBufferBytes) return D3DERR_OUTOFVIDEOMEMORY;
    try {
        B* buffer = takeSpare(spares, length);
        if (buffer != nullptr) {
            buffer->revive(usage, pool, kind);
        } else {
            buffer = new B(device, length, usage, pool, kind);
        }
        *out = buffer;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return D3D_OK;
}

}  // namespace

HRESULT Device::CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                                   IDirect3DVertexBuffer9** ppVertexBuffer, HANDLE* pSharedHandle) {
    if (ppVertexBuffer == nullptr) return D3DERR_INVALIDCALL;
    *ppVertexBuffer = nullptr;
    // Shared resources belong to Direct3D 9Ex; a plain device takes no handle.
    if (pSharedHandle != nullptr) return D3DERR_INVALIDCALL;
    // FVF 0 is a plain byte buffer; the subset has one vertex layout besides.
    if (FVF != 0 && FVF != kColoredVertexFvf) return D3DERR_INVALIDCALL;
    // An FVF buffer must hold at least one vertex of its format.
    if (Length == 0 || (FVF == kColoredVertexFvf && Length < kColoredVertexStride)) {
        return D3DERR_INVALIDCALL;
    }
    return createBuffer(this, spareVertexBuffers_, Length, Usage, Pool, FVF, ppVertexBuffer);
}

HRESULT Device::CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                  IDirect3DIndexBuffer9** ppIndexBuffer, HANDLE* pSharedHandle) {
    if (ppIndexBuffer == nullptr) return D3DERR_INVALIDCALL;
    *ppIndexBuffer = nullptr;
    if (pSharedHandle != nullptr) return D3DERR_INVALIDCALL;
    if (Format != D3DFMT_INDEX16 && Format != D3DFMT_INDEX32) return D3DERR_INVALIDCALL;
    const UINT indexSize = Format == D3DFMT_INDEX16 ? 2 : 4;
    if (Length == 0 || Length % indexSize != 0) return D3DERR_INVALIDCALL;
    return createBuffer(this, spareIndexBuffers_, Length, Usage, Pool, Format, ppIndexBuffer);
}

void Device::retire(VertexBuffer* buffer) {
    keepSpare(spareVertexBuffers_, buffer);
}
void Device::retire(IndexBuffer* buffer) {
    keepSpare(spareIndexBuffers_, buffer);
}

}  // namespace sw
