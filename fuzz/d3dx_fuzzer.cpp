// Fuzzes the D3DX matrix functions with any floats. Where the exact math has a finite
// answer that a float can hold and no intermediate step can leave the float range
// (inputs within ±1e18, so squares and products stay finite), the result must be
// finite: no NaN or infinity may reach the device from a camera or a projection.
#include <cmath>
#include <cstdint>

#include "fuzz_check.h"
#include "gfx/d3dx9math.h"

namespace {

constexpr float kSafe = 1e18f;  // squares of this (1e36) and three of them summed stay finite

bool bounded(float v) {
    return std::isfinite(v) && std::fabs(v) <= kSafe;
}
bool bounded(const D3DXVECTOR3& v) {
    return bounded(v.x) && bounded(v.y) && bounded(v.z);
}

bool allFinite(const D3DXMATRIX& m) {
    for (int i = 0; i < 16; ++i) {
        if (!std::isfinite(m.m[i / 4][i % 4])) return false;
    }
    return true;
}

D3DXVECTOR3 hardVector(FuzzedDataProvider& in) {
    return {fuzz::hardFloat(in), fuzz::hardFloat(in), fuzz::hardFloat(in)};
}

float dot(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

D3DXVECTOR3 cross(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

D3DXVECTOR3 column(const D3DXMATRIX& m, int c) {
    return {m.m[0][c], m.m[1][c], m.m[2][c]};
}

// A normalized axis is a unit vector, or zero when there was nothing to normalize.
// Where the squared length before normalizing is a denormal float (a vector near 1e-22
// long), its rounding leaves the result off by tens of percent: that is float
// arithmetic, not a fault, so such an axis is only held to being finite.
void checkNormalized(const D3DXVECTOR3& before, const D3DXVECTOR3& after, const char* what) {
    if (dot(before, before) < FLT_MIN) return;
    const double length2 =
        double(after.x) * after.x + double(after.y) * after.y + double(after.z) * after.z;
    fuzz::check(std::fabs(length2 - 1.0) <= 1e-4, what);
}

void lookAt(FuzzedDataProvider& in) {
    const D3DXVECTOR3 eye = hardVector(in);
    const D3DXVECTOR3 at = hardVector(in);
    const D3DXVECTOR3 up = hardVector(in);
    D3DXMATRIX m;
    fuzz::check(D3DXMatrixLookAtLH(&m, &eye, &at, &up) == &m, "LookAtLH returns its output");
    if (!bounded(eye) || !bounded(at) || !bounded(up)) return;
    fuzz::check(allFinite(m), "LookAtLH not finite for bounded finite input");
    fuzz::check(m._14 == 0.0f && m._24 == 0.0f && m._34 == 0.0f && m._44 == 1.0f,
                "LookAtLH last column");
    // The axes as the documented formula builds them: z from at - eye, x from up × z.
    const D3DXVECTOR3 z = column(m, 2);
    const D3DXVECTOR3 x = column(m, 0);
    const D3DXVECTOR3 toAt = {at.x - eye.x, at.y - eye.y, at.z - eye.z};
    checkNormalized(toAt, z, "look-at z axis not unit");
    checkNormalized(cross(up, z), x, "look-at x axis not unit");
}

void rotation(FuzzedDataProvider& in) {
    const float angle = fuzz::hardFloat(in);
    D3DXMATRIX m[3];
    D3DXMatrixRotationX(&m[0], angle);
    D3DXMatrixRotationY(&m[1], angle);
    D3DXMatrixRotationZ(&m[2], angle);
    if (!std::isfinite(angle)) return;  // sin and cos of an infinity are NaN everywhere
    for (const D3DXMATRIX& r : m) {
        fuzz::check(allFinite(r), "rotation not finite for a finite angle");
        for (int i = 0; i < 16; ++i)
            fuzz::check(std::fabs(r.m[i / 4][i % 4]) <= 1.0f, "rotation entry past 1");
        fuzz::check(r._44 == 1.0f, "rotation keeps w");
    }
}

void perspective(FuzzedDataProvider& in) {
    const float fovy = fuzz::hardFloat(in);
    const float aspect = fuzz::hardFloat(in);
    const float zn = fuzz::hardFloat(in);
    const float zf = fuzz::hardFloat(in);
    D3DXMATRIX m;
    D3DXMatrixPerspectiveFovLH(&m, fovy, aspect, zn, zf);
    if (!bounded(fovy) || !bounded(aspect) || !bounded(zn) || !bounded(zf)) return;
    // Non-degenerate: a field of view strictly between 0 and π whose cotangent a float
    // holds, a non-zero aspect, and distinct planes. The exact entries must fit a float.
    const double t = std::tan(double(fovy) / 2.0);
    if (!(fovy > 0.0f && fovy < 3.14159f) || !(std::fabs(t) > 1e-30) || aspect == 0.0f || zn == zf)
        return;
    const double yScale = 1.0 / t;
    const double xScale = yScale / aspect;
    const double zScale = double(zf) / (double(zf) - zn);
    const double zOffset = -double(zn) * zScale;
    for (double v : {xScale, yScale, zScale, zOffset}) {
        if (!(std::fabs(v) < 1e37)) return;
    }
    fuzz::check(allFinite(m), "PerspectiveFovLH not finite where the exact entries are");
    fuzz::check(m._34 == 1.0f && m._44 == 0.0f, "PerspectiveFovLH copies z into w");
}

void multiply(FuzzedDataProvider& in) {
    D3DXMATRIX a;
    D3DXMATRIX b;
    for (int i = 0; i < 16; ++i) a.m[i / 4][i % 4] = fuzz::hardFloat(in);
    for (int i = 0; i < 16; ++i) b.m[i / 4][i % 4] = fuzz::hardFloat(in);
    D3DXMATRIX product;
    D3DXMatrixMultiply(&product, &a, &b);
    // Multiplying into one of the inputs gives the same product.
    D3DXMATRIX aliased = a;
    D3DXMatrixMultiply(&aliased, &aliased, &b);
    for (int i = 0; i < 16; ++i) {
        const float x = product.m[i / 4][i % 4];
        const float y = aliased.m[i / 4][i % 4];
        fuzz::check(x == y || (std::isnan(x) && std::isnan(y)), "aliased multiply differs", i);
    }
    bool small = true;  // products of entries within ±1e18 cannot overflow (4e36 < FLT_MAX)
    for (int i = 0; i < 16; ++i)
        small = small && bounded(a.m[i / 4][i % 4]) && bounded(b.m[i / 4][i % 4]);
    if (small) fuzz::check(allFinite(product), "multiply not finite for bounded entries");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    while (in.remaining_bytes() > 0) {
        switch (in.ConsumeIntegralInRange(0, 3)) {
            case 0: lookAt(in); break;
            case 1: rotation(in); break;
            case 2: perspective(in); break;
            case 3: multiply(in); break;
        }
    }
    return 0;
}
