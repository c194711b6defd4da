// Vertex and index buffers of the software device: their storage, Lock/Unlock and the
// two kinds of reference (the application's and the device's bindings). The device
// validates creation and reads the bytes at draw time; nothing here draws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "gfx/d3d9.h"

namespace sw {

class Device;

// Storage blocks of freed small buffers, kept per exact byte size, so the scene's
// create/release of the same few buffers every frame stops allocating once warm.
struct StoragePool {
    struct FreeList {
        std::size_t bytes = 0;
        std::vector<std::unique_ptr<std::uint8_t[]>> blocks;
    };
    std::vector<FreeList> lists;
};

// A zero-filled block of `bytes` bytes, from the pool when it has one.
std::unique_ptr<std::uint8_t[]> takeStorage(StoragePool& pool, std::size_t bytes);
// Keeps the block for reuse when it is small and the pool has room, else frees it.
void returnStorage(StoragePool& pool, std::size_t bytes, std::unique_ptr<std::uint8_t[]> block);

// What both buffer kinds share. References come in two kinds so that a device and a
// buffer it binds never keep each other alive:
//   - application references (AddRef/Release): while there is one, the buffer holds a
//     reference on its device, as a Direct3D 9 resource keeps its device alive;
//   - bindings (SetStreamSource/SetIndices): the device's own hold, which does not
//     hold the device in turn.
// AddRef and Release report the sum, which is what Direct3D 9 reports.
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
    void unbind();  // may destroy the buffer
    Device* owner() const { return device_; }
    const std::uint8_t* bytes() const { return storage_.get(); }
    std::size_t size() const { return size_; }
    unsigned lockCount() const { return lockCount_; }

protected:
    Buffer(Device* device, std::unique_ptr<std::uint8_t[]> storage, UINT size, DWORD usage,
           D3DPOOL pool);
    virtual ~Buffer();

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
    VertexBuffer(Device* device, std::unique_ptr<std::uint8_t[]> storage, UINT size, DWORD usage,
                 D3DPOOL pool, DWORD fvf)
        : Buffer(device, std::move(storage), size, usage, pool), fvf_(fvf) {}
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* pDesc) override;

private:
    DWORD fvf_;
};

class IndexBuffer final : public Buffer<IDirect3DIndexBuffer9> {
public:
    IndexBuffer(Device* device, std::unique_ptr<std::uint8_t[]> storage, UINT size, DWORD usage,
                D3DPOOL pool, D3DFORMAT format)
        : Buffer(device, std::move(storage), size, usage, pool), format_(format) {}
    HRESULT GetDesc(D3DINDEXBUFFER_DESC* pDesc) override;
    D3DFORMAT format() const { return format_; }

private:
    D3DFORMAT format_;
};

}  // namespace sw
