// Fuzzes the software device through its COM interfaces, as an application would
// call it: any transforms, render states, buffers, bytes, strides and draw arguments.
// Every call must return D3D_OK or a defined error and touch memory only inside what
// it owns; afterwards the device must still clear and draw a known quad exactly.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "fuzz_check.h"
#include "gfx/d3d9.h"
#include "tests/support/window_device.h"
#include "win/headless/headless.h"

namespace {

constexpr UINT kWidth = 32;  // small, so a draw costs little and the check reads every pixel
constexpr UINT kHeight = 24;
constexpr UINT kMaxBufferBytes = 4096;  // bounds the work per input, not a device limit
constexpr int kSlots = 4;

bool definedResult(HRESULT hr) {
    switch (hr) {
        case D3D_OK:
        case D3DERR_INVALIDCALL:
        case D3DERR_NOTAVAILABLE:
        case D3DERR_OUTOFVIDEOMEMORY:
        case D3DERR_DEVICELOST:
        case D3DERR_NOTFOUND:
        case D3DERR_WRONGTEXTUREFORMAT:
        case E_OUTOFMEMORY: return true;
        default: return false;
    }
}

HRESULT checked(HRESULT hr) {
    fuzz::check(definedResult(hr), "undefined HRESULT", hr);
    return hr;
}

struct Session {
    HWND window = nullptr;
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    IDirect3DVertexBuffer9* vertexBuffers[kSlots] = {};
    IDirect3DIndexBuffer9* indexBuffers[kSlots] = {};
};

// Fills a locked range of `bytes` completely: a lock that succeeded must have handed
// out that much writable memory, and the address sanitizer holds it to that.
void fillLocked(FuzzedDataProvider& in, void* data, UINT bytes) {
    auto* out = static_cast<std::uint8_t*>(data);
    if (in.ConsumeBool()) {
        // Vertex-shaped: hard floats for x, y, z and any colour.
        for (UINT at = 0; at + 16 <= bytes; at += 16) {
            const float xyz[3] = {fuzz::hardFloat(in), fuzz::hardFloat(in), fuzz::hardFloat(in)};
            const std::uint32_t color = in.ConsumeIntegral<std::uint32_t>();
            std::memcpy(out + at, xyz, sizeof(xyz));
            std::memcpy(out + at + 12, &color, sizeof(color));
        }
        std::memset(out + bytes / 16 * 16, 0, bytes % 16);
    } else {
        const std::vector<std::uint8_t> raw = in.ConsumeBytes<std::uint8_t>(bytes);
        if (!raw.empty()) std::memcpy(out, raw.data(), raw.size());
        std::memset(out + raw.size(), 0xA5, bytes - raw.size());
    }
}

template <typename Buffer, typename Desc>
void lockAndFill(FuzzedDataProvider& in, Buffer* buffer) {
    Desc desc{};
    if (FAILED(checked(buffer->GetDesc(&desc)))) return;
    const UINT offset = in.ConsumeBool() ? 0 : in.ConsumeIntegral<UINT>();
    const UINT size = in.ConsumeBool() ? 0 : in.ConsumeIntegral<UINT>();
    void* data = nullptr;
    if (FAILED(checked(buffer->Lock(offset, size, &data, in.ConsumeIntegral<DWORD>())))) return;
    fuzz::check(data != nullptr, "lock succeeded without a pointer");
    // Size 0 locks the rest of the buffer; a lock past the end must have failed.
    fuzz::check(offset <= desc.Size, "lock succeeded past the end", offset);
    const UINT bytes = size == 0 ? desc.Size - offset : size;
    fuzz::check(bytes <= desc.Size - offset, "lock succeeded past the end", size);
    fillLocked(in, data, bytes);
    if (in.ConsumeBool()) checked(buffer->Unlock());  // a draw may meet a locked buffer
}

D3DMATRIX hardMatrix(FuzzedDataProvider& in) {
    D3DMATRIX m{};
    const int mode = in.ConsumeIntegralInRange(0, 2);
    for (int i = 0; i < 16; ++i) {
        float v = (i % 5 == 0) ? 1.0f : 0.0f;  // identity, then a few entries replaced
        if (mode == 2 || (mode == 1 && in.ConsumeBool())) v = fuzz::hardFloat(in);
        m.m[i / 4][i % 4] = v;
    }
    return m;
}

D3DRENDERSTATETYPE anyRenderState(FuzzedDataProvider& in) {
    static constexpr D3DRENDERSTATETYPE kStates[] = {
        D3DRS_ZENABLE,  D3DRS_FILLMODE, D3DRS_SHADEMODE,    D3DRS_ZWRITEENABLE,     D3DRS_LASTPIXEL,
        D3DRS_CULLMODE, D3DRS_ZFUNC,    D3DRS_DITHERENABLE, D3DRS_ALPHABLENDENABLE, D3DRS_LIGHTING,
    };
    if (in.ConsumeIntegralInRange(0, 7) != 0) return in.PickValueInArray(kStates);
    return static_cast<D3DRENDERSTATETYPE>(in.ConsumeIntegral<std::uint32_t>());
}

DWORD smallOrAny(FuzzedDataProvider& in, DWORD smallMax) {
    return in.ConsumeBool() ? in.ConsumeIntegralInRange<DWORD>(0, smallMax)
                            : in.ConsumeIntegral<DWORD>();
}

void runOne(FuzzedDataProvider& in, Session& s) {
    IDirect3DDevice9* dev = s.device;
    const int slot = in.ConsumeIntegralInRange(0, kSlots - 1);
    switch (in.ConsumeIntegralInRange(0, 13)) {
        case 0: {
            static constexpr D3DTRANSFORMSTATETYPE kWhich[] = {D3DTS_WORLD, D3DTS_VIEW,
                                                               D3DTS_PROJECTION};
            const D3DTRANSFORMSTATETYPE which =
                in.ConsumeIntegralInRange(0, 7) != 0
                    ? in.PickValueInArray(kWhich)
                    : static_cast<D3DTRANSFORMSTATETYPE>(in.ConsumeIntegral<std::uint32_t>());
            const D3DMATRIX m = hardMatrix(in);
            checked(dev->SetTransform(which, &m));
            break;
        }
        case 1: checked(dev->SetRenderState(anyRenderState(in), smallOrAny(in, 9))); break;
        case 2: {
            IDirect3DVertexBuffer9*& vb = s.vertexBuffers[slot];
            if (vb != nullptr) vb->Release();
            vb = nullptr;
            const UINT length = in.ConsumeIntegralInRange<UINT>(0, kMaxBufferBytes);
            const DWORD fvf =
                in.ConsumeBool() ? (D3DFVF_XYZ | D3DFVF_DIFFUSE) : in.ConsumeIntegral<DWORD>();
            const D3DPOOL pool = in.ConsumeBool()
                                     ? D3DPOOL_MANAGED
                                     : static_cast<D3DPOOL>(in.ConsumeIntegral<std::uint32_t>());
            if (FAILED(checked(
                    dev->CreateVertexBuffer(length, smallOrAny(in, 8), fvf, pool, &vb, nullptr)))) {
                fuzz::check(vb == nullptr, "failed create left a vertex buffer");
            } else {
                fuzz::check(vb != nullptr, "create succeeded without a vertex buffer");
            }
            break;
        }
        case 3: {
            IDirect3DIndexBuffer9*& ib = s.indexBuffers[slot];
            if (ib != nullptr) ib->Release();
            ib = nullptr;
            const UINT length = in.ConsumeIntegralInRange<UINT>(0, kMaxBufferBytes);
            const int f = in.ConsumeIntegralInRange(0, 2);
            const D3DFORMAT format =
                f == 0   ? D3DFMT_INDEX16
                : f == 1 ? D3DFMT_INDEX32
                         : static_cast<D3DFORMAT>(in.ConsumeIntegral<std::uint32_t>());
            const D3DPOOL pool = in.ConsumeBool()
                                     ? D3DPOOL_MANAGED
                                     : static_cast<D3DPOOL>(in.ConsumeIntegral<std::uint32_t>());
            if (FAILED(checked(dev->CreateIndexBuffer(length, smallOrAny(in, 8), format, pool, &ib,
                                                      nullptr)))) {
                fuzz::check(ib == nullptr, "failed create left an index buffer");
            } else {
                fuzz::check(ib != nullptr, "create succeeded without an index buffer");
            }
            break;
        }
        case 4:
            if (s.vertexBuffers[slot] != nullptr) {
                lockAndFill<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC>(in,
                                                                          s.vertexBuffers[slot]);
            }
            break;
        case 5:
            if (s.indexBuffers[slot] != nullptr) {
                lockAndFill<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC>(in, s.indexBuffers[slot]);
            }
            break;
        case 6: {
            const UINT stream =
                in.ConsumeIntegralInRange(0, 7) != 0 ? 0 : in.ConsumeIntegral<UINT>();
            const UINT offset = static_cast<UINT>(smallOrAny(in, 64));
            const UINT stride = in.ConsumeBool() ? 16 : static_cast<UINT>(smallOrAny(in, 64));
            checked(dev->SetStreamSource(stream, s.vertexBuffers[slot], offset, stride));
            break;
        }
        case 7: checked(dev->SetIndices(s.indexBuffers[slot])); break;
        case 8:
            checked(dev->SetFVF(in.ConsumeBool() ? (D3DFVF_XYZ | D3DFVF_DIFFUSE)
                                                 : in.ConsumeIntegral<DWORD>()));
            break;
        case 9: {
            const auto type = static_cast<D3DPRIMITIVETYPE>(smallOrAny(in, 7));
            const UINT start = static_cast<UINT>(smallOrAny(in, 300));
            const UINT count = static_cast<UINT>(smallOrAny(in, 300));
            checked(dev->DrawPrimitive(type, start, count));
            break;
        }
        case 10: {
            const auto type = static_cast<D3DPRIMITIVETYPE>(smallOrAny(in, 7));
            const INT base = in.ConsumeBool() ? in.ConsumeIntegralInRange<INT>(-300, 300)
                                              : in.ConsumeIntegral<INT>();
            const UINT minIndex = static_cast<UINT>(smallOrAny(in, 300));
            const UINT numVertices = static_cast<UINT>(smallOrAny(in, 300));
            const UINT startIndex = static_cast<UINT>(smallOrAny(in, 300));
            const UINT count = static_cast<UINT>(smallOrAny(in, 300));
            checked(
                dev->DrawIndexedPrimitive(type, base, minIndex, numVertices, startIndex, count));
            break;
        }
        case 11: checked(in.ConsumeBool() ? dev->BeginScene() : dev->EndScene()); break;
        case 12: {
            std::vector<D3DRECT> rects(in.ConsumeIntegralInRange(0, 3));
            for (D3DRECT& r : rects) {
                r = {in.ConsumeIntegral<LONG>(), in.ConsumeIntegral<LONG>(),
                     in.ConsumeIntegral<LONG>(), in.ConsumeIntegral<LONG>()};
            }
            const DWORD count =
                in.ConsumeBool() ? static_cast<DWORD>(rects.size()) : smallOrAny(in, 4);
            const D3DRECT* p = rects.empty() && in.ConsumeBool() ? nullptr : rects.data();
            // Count beyond the array is the caller's fault on any platform: keep it honest.
            const DWORD safeCount =
                p == nullptr ? count
                             : static_cast<DWORD>(std::min<std::size_t>(count, rects.size()));
            checked(dev->Clear(safeCount, p, smallOrAny(in, 7), in.ConsumeIntegral<D3DCOLOR>(),
                               fuzz::hardFloat(in), in.ConsumeIntegral<DWORD>()));
            break;
        }
        case 13: checked(dev->Present(nullptr, nullptr, nullptr, nullptr)); break;
    }
}

// A clear to black, then a green quad over the left half of the screen in clip space:
// pixel centres 0 … 15 of each row are inside (16 lies on the right edge, which the
// top-left rule leaves out), so the left half is green and the right half black.
void checkStillDraws(Session& s) {
    IDirect3DDevice9* dev = s.device;
    dev->EndScene();  // whatever the input left open
    D3DMATRIX identity{};
    for (int i = 0; i < 4; ++i) identity.m[i][i] = 1.0f;
    for (D3DTRANSFORMSTATETYPE t : {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION}) {
        fuzz::check(dev->SetTransform(t, &identity) == D3D_OK, "SetTransform after the input");
    }
    const std::pair<D3DRENDERSTATETYPE, DWORD> defaults[] = {
        {D3DRS_ZENABLE, D3DZB_TRUE},
        {D3DRS_FILLMODE, D3DFILL_SOLID},
        {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},
        {D3DRS_ZWRITEENABLE, TRUE},
        {D3DRS_LASTPIXEL, TRUE},
        {D3DRS_CULLMODE, D3DCULL_NONE},
        {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
        {D3DRS_DITHERENABLE, FALSE},
        {D3DRS_ALPHABLENDENABLE, FALSE},
        {D3DRS_LIGHTING, FALSE},
    };
    for (const auto& [state, value] : defaults) {
        fuzz::check(dev->SetRenderState(state, value) == D3D_OK, "SetRenderState after the input",
                    state);
    }
    fuzz::check(
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0) == D3D_OK,
        "Clear after the input");

    struct Vertex {
        float x, y, z;
        D3DCOLOR color;
    };
    const Vertex quad[] = {
        {-1, 1, 0.5f, 0xFF00FF00},  {0, 1, 0.5f, 0xFF00FF00}, {-1, -1, 0.5f, 0xFF00FF00},
        {-1, -1, 0.5f, 0xFF00FF00}, {0, 1, 0.5f, 0xFF00FF00}, {0, -1, 0.5f, 0xFF00FF00},
    };
    IDirect3DVertexBuffer9* vb = nullptr;
    fuzz::check(dev->CreateVertexBuffer(sizeof(quad), 0, D3DFVF_XYZ | D3DFVF_DIFFUSE,
                                        D3DPOOL_MANAGED, &vb, nullptr) == D3D_OK,
                "CreateVertexBuffer after the input");
    void* data = nullptr;
    fuzz::check(vb->Lock(0, 0, &data, 0) == D3D_OK, "Lock after the input");
    std::memcpy(data, quad, sizeof(quad));
    fuzz::check(vb->Unlock() == D3D_OK, "Unlock after the input");

    fuzz::check(dev->BeginScene() == D3D_OK, "BeginScene after the input");
    fuzz::check(dev->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE) == D3D_OK, "SetFVF after the input");
    fuzz::check(dev->SetStreamSource(0, vb, 0, sizeof(Vertex)) == D3D_OK,
                "SetStreamSource after the input");
    fuzz::check(dev->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2) == D3D_OK,
                "DrawPrimitive after the input");
    fuzz::check(dev->EndScene() == D3D_OK, "EndScene after the input");
    fuzz::check(dev->Present(nullptr, nullptr, nullptr, nullptr) == D3D_OK,
                "Present after the input");
    fuzz::check(dev->SetStreamSource(0, nullptr, 0, 0) == D3D_OK, "unbinding the stream");
    fuzz::check(vb->Release() == 0, "the check's buffer outlived its release");

    const win::headless::Frame& frame = win::headless::lastBackBuffer();
    fuzz::check(
        frame.width == static_cast<int>(kWidth) && frame.height == static_cast<int>(kHeight),
        "presented size");
    for (UINT y = 0; y < kHeight; ++y) {
        for (UINT x = 0; x < kWidth; ++x) {
            const std::uint32_t expected = x < kWidth / 2 ? 0x00FF00u : 0x000000u;
            const std::uint32_t got = frame.pixels[y * kWidth + x] & 0xFFFFFFu;
            fuzz::check(got == expected, "the known quad drew wrong pixels",
                        static_cast<long>(y) * kWidth + x);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    win::headless::reset();
    Session s;
    s.window = test_support::makeWindow(DefWindowProcW, kWidth, kHeight);
    fuzz::check(s.window != nullptr, "no headless window");
    s.d3d = Direct3DCreate9(D3D_SDK_VERSION);
    fuzz::check(s.d3d != nullptr, "no Direct3D object");
    D3DPRESENT_PARAMETERS p = test_support::windowedParams(s.window, kWidth, kHeight);
    fuzz::check(s.d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, s.window,
                                    D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &s.device) == D3D_OK,
                "CreateDevice");
    s.device->SetRenderState(D3DRS_LIGHTING, FALSE);

    for (int ops = 0; ops < 64 && in.remaining_bytes() > 0; ++ops) runOne(in, s);

    // Buffers first: the device must not depend on the input's buffers still existing.
    for (auto*& vb : s.vertexBuffers) {
        if (vb != nullptr) vb->Release();
        vb = nullptr;
    }
    for (auto*& ib : s.indexBuffers) {
        if (ib != nullptr) ib->Release();
        ib = nullptr;
    }
    checkStillDraws(s);

    fuzz::check(s.device->SetIndices(nullptr) == D3D_OK, "unbinding the indices");
    fuzz::check(s.device->Release() == 0, "the device outlived its last reference");
    fuzz::check(s.d3d->Release() == 0, "the Direct3D object outlived its last reference");
    win::headless::reset();
    return 0;
}
