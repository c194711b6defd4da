// A stand-in device that records every call the scene makes, in order, with the
// arguments that matter, so a frame's call sequence can be checked without pixels.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "gfx/d3d9.h"

namespace scene_test {

struct Call {
    std::string name;
    std::vector<std::int64_t> args;
    D3DMATRIX matrix{};  // for SetTransform
};

class RecordingDevice;

// A buffer that keeps its bytes in memory and logs its release into the device's log.
template <class Interface, class Desc>
class RecordingBuffer final : public Interface {
public:
    RecordingBuffer(RecordingDevice* owner, UINT size) : owner_(owner), bytes_(size) {}
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override;
    HRESULT Lock(UINT, UINT, void** ppbData, DWORD) override {
        *ppbData = bytes_.data();
        return D3D_OK;
    }
    HRESULT Unlock() override { return D3D_OK; }
    // The scene never asks a buffer for these.
    HRESULT GetDevice(IDirect3DDevice9**) override { return D3DERR_INVALIDCALL; }
    HRESULT GetDesc(Desc*) override { return D3DERR_INVALIDCALL; }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

private:
    RecordingDevice* owner_;
    std::vector<std::uint8_t> bytes_;
    ULONG refs_ = 1;
};
using RecordingVertexBuffer = RecordingBuffer<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC>;
using RecordingIndexBuffer = RecordingBuffer<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC>;

class RecordingDevice final : public IDirect3DDevice9 {
public:
    std::vector<Call> calls;
    std::vector<std::string>* releaseLog = nullptr;  // shared with a fake Direct3D object
    int liveBuffers = 0;

    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        if (releaseLog != nullptr) releaseLog->push_back("device");
        return --refs_;  // owned by the test, never deleted here
    }
    HRESULT GetDirect3D(IDirect3D9**) override { return D3DERR_INVALIDCALL; }
    HRESULT Present(const RECT*, const RECT*, HWND, const RGNDATA*) override {
        return record("Present", {});
    }
    HRESULT CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                               IDirect3DVertexBuffer9** pp, HANDLE*) override {
        *pp = new RecordingVertexBuffer(this, Length);
        ++liveBuffers;
        return record("CreateVertexBuffer", {Length, Usage, FVF, Pool});
    }
    HRESULT CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                              IDirect3DIndexBuffer9** pp, HANDLE*) override {
        *pp = new RecordingIndexBuffer(this, Length);
        ++liveBuffers;
        return record("CreateIndexBuffer", {Length, Usage, Format, Pool});
    }
    HRESULT BeginScene() override { return record("BeginScene", {}); }
    HRESULT EndScene() override { return record("EndScene", {}); }
    HRESULT Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z,
                  DWORD Stencil) override {
        return record("Clear", {Count, pRects != nullptr, Flags, Color,
                                static_cast<std::int64_t>(Z * 1000.0f), Stencil});
    }
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) override {
        record("SetTransform", {State});
        calls.back().matrix = *pMatrix;
        return D3D_OK;
    }
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE, D3DMATRIX*) override { return D3DERR_INVALIDCALL; }
    HRESULT SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) override {
        return record("SetRenderState", {State, Value});
    }
    HRESULT GetRenderState(D3DRENDERSTATETYPE, DWORD*) override { return D3DERR_INVALIDCALL; }
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE Type, UINT Start, UINT Count) override {
        return record("DrawPrimitive", {Type, Start, Count});
    }
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE Type, INT Base, UINT Min, UINT Num, UINT Start,
                                 UINT Count) override {
        return record("DrawIndexedPrimitive", {Type, Base, Min, Num, Start, Count});
    }
    HRESULT SetFVF(DWORD FVF) override { return record("SetFVF", {FVF}); }
    HRESULT GetFVF(DWORD*) override { return D3DERR_INVALIDCALL; }
    HRESULT SetStreamSource(UINT Stream, IDirect3DVertexBuffer9* vb, UINT Offset,
                            UINT Stride) override {
        const auto* recorded = static_cast<RecordingVertexBuffer*>(vb);
        return record("SetStreamSource",
                      {Stream, recorded ? static_cast<std::int64_t>(recorded->bytes().size()) : -1,
                       Offset, Stride});
    }
    HRESULT SetIndices(IDirect3DIndexBuffer9* ib) override {
        const auto* recorded = static_cast<RecordingIndexBuffer*>(ib);
        return record("SetIndices",
                      {recorded ? static_cast<std::int64_t>(recorded->bytes().size()) : -1});
    }

    // The matrices set for `which`, in order.
    std::vector<D3DMATRIX> transforms(D3DTRANSFORMSTATETYPE which) const {
        std::vector<D3DMATRIX> out;
        for (const Call& call : calls) {
            if (call.name == "SetTransform" && call.args[0] == which) out.push_back(call.matrix);
        }
        return out;
    }
    // The calls' names, in order, one space between.
    std::string names() const {
        std::string out;
        for (const Call& call : calls) out += (out.empty() ? "" : " ") + call.name;
        return out;
    }

private:
    HRESULT record(const char* name, std::vector<std::int64_t> args) {
        calls.push_back({name, std::move(args), {}});
        return D3D_OK;
    }
    ULONG refs_ = 1;
};

template <class Interface, class Desc>
ULONG RecordingBuffer<Interface, Desc>::Release() {
    if (--refs_ != 0) return refs_;
    if (owner_->releaseLog != nullptr) {
        owner_->releaseLog->push_back(
            std::is_same_v<Interface, IDirect3DVertexBuffer9> ? "vertexBuffer" : "indexBuffer");
    }
    --owner_->liveBuffers;
    delete this;
    return 0;
}

}  // namespace scene_test
