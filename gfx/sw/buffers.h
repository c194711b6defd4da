// Vertex and index buffers of the software device: their storage, Lock/Unlock and the
// two kinds of reference (the application's and the device's bindings). The device
// validates creation, keeps retired buffers for reuse and reads the bytes at draw
// time; nothing here draws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "gfx/d3d9.h"

namespace sw {

class Device;

// What both buffer kinds share. References come in two kinds so that a device and a
// buffer it binds never keep each other alive:
//   - application references (AddRef/Release): while there is one, the buffer holds a
//     reference on its device, as a Direct3D 9 resource keeps its device alive;
//   - bindings (SetStreamSource/SetIndices): the device's own hold, which does not
//     hold the device in turn.
// AddRef and Release report the application's count alone, as Direct3D 9 does: a
// bound buffer the application has let go reports 0 yet still feeds draws until it is
// unbound. With neither kind left the buffer goes back to its device, which keeps
// small ones for reuse.
template <class Interface>
class Buffer : public Interface {
public:
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetDevice(IDirect3DDevice9** ppDevice) override;
    HRESULT Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags) override;
    HRESULT Unlock() override;

    // Device side.
    void bind() { ++bindRefs_; }
    void unbind();  // may retire the buffer
    Device* owner() const { return device_; }
    const std::uint8_t* bytes() const { return storage_.get(); }
    UINT size() const { return size_; }
    virtual ~Buffer() = default;

protected:
    // Zero-filled storage of `size` bytes and one application reference. Throws
    // std::bad_alloc.
    Buffer(Device* device, UINT size, DWORD usage, D3DPOOL pool);
    // A retired buffer made new again, as if just constructed with the same size.
    void revive(DWORD usage, D3DPOOL pool);
    // No reference of either kind is left: hand the buffer back to the device.
    virtual void retire() = 0;

    DWORD usage_;
    D3DPOOL pool_;

private:
    Device* device_;
    std::unique_ptr<std::uint8_t[]> storage_;
    UINT size_;
    ULONG appRefs_ = 1;
    ULONG bindRefs_ = 0;
    unsigned lockCount_ = 0;
};

class VertexBuffer final : public Buffer<IDirect3DVertexBuffer9> {
public:
    VertexBuffer(Device* device, UINT size, DWORD usage, D3DPOOL pool, DWORD fvf)
        : Buffer(device, size, usage, pool), fvf_(fvf) {}
    void revive(DWORD usage, D3DPOOL pool, DWORD fvf) {
        Buffer::revive(usage, pool);
        fvf_ = fvf;
    }
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* pDesc) override;

private:
    void retire() override;

    DWORD fvf_;
};

class IndexBuffer final : public Buffer<IDirect3DIndexBuffer9> {
public:
    IndexBuffer(Device* device, UINT size, DWORD usage, D3DPOOL pool, D3DFORMAT format)
        : Buffer(device, size, usage, pool), format_(format) {}
    void revive(DWORD usage, D3DPOOL pool, D3DFORMAT format) {
        Buffer::revive(usage, pool);
        format_ = format;
    }
    HRESULT GetDesc(D3DINDEXBUFFER_DESC* pDesc) override;
    D3DFORMAT format() const { return format_; }

private:
    void retire() override;

    D3DFORMAT format_;
};

}  // namespace sw
