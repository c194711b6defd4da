// The D3DX 9 matrix functions the scene builds its transforms with, in 32-bit floats.
// Row vectors throughout: a point v maps to v × M, and in A × B, A acts first.
// Pure math on the caller's matrices: nothing here touches the device.
#include <cmath>

#include "gfx/d3dx9math.h"

namespace {

// Sine, cosine and tangent worked out in double and rounded once to float. The float
// functions of C libraries differ in the last bit for some angles (glibc's and musl's,
// which the WebAssembly build has, for 5 of the 360 whole degrees), and that bit moves
// pixels: frames must not depend on the library. A double result rounded to float is
// the correctly rounded value in all but vanishingly rare cases, in either library.
float sinOf(float angle) {
    return static_cast<float>(std::sin(static_cast<double>(angle)));
}
float cosOf(float angle) {
    return static_cast<float>(std::cos(static_cast<double>(angle)));
}
float tanOf(float angle) {
    return static_cast<float>(std::tan(static_cast<double>(angle)));
}

D3DXVECTOR3 subtract(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

D3DXVECTOR3 cross(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float dot(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// D3DX normalizes a zero-length vector to zero rather than dividing by zero, which
// keeps a degenerate look-at finite.
D3DXVECTOR3 normalize(const D3DXVECTOR3& v) {
    const float length = std::sqrt(dot(v, v));
    if (!(length > 0.0f)) return {0.0f, 0.0f, 0.0f};
    return {v.x / length, v.y / length, v.z / length};
}

}  // namespace

D3DXMATRIX::D3DXMATRIX(float m11, float m12, float m13, float m14, float m21, float m22, float m23,
                       float m24, float m31, float m32, float m33, float m34, float m41, float m42,
                       float m43, float m44)
    : D3DMATRIX{} {
    _11 = m11, _12 = m12, _13 = m13, _14 = m14;
    _21 = m21, _22 = m22, _23 = m23, _24 = m24;
    _31 = m31, _32 = m32, _33 = m33, _34 = m34;
    _41 = m41, _42 = m42, _43 = m43, _44 = m44;
}

D3DXMATRIX D3DXMATRIX::operator*(const D3DXMATRIX& rhs) const {
    D3DXMATRIX product;
    D3DXMatrixMultiply(&product, this, &rhs);
    return product;
}

bool D3DXMATRIX::operator==(const D3DXMATRIX& rhs) const {
    for (unsigned row = 0; row < 4; ++row) {
        for (unsigned col = 0; col < 4; ++col) {
            if (m[row][col] != rhs.m[row][col]) return false;
        }
    }
    return true;
}

D3DXMATRIX* WINAPI D3DXMatrixIdentity(D3DXMATRIX* pOut) {
    *pOut = D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixMultiply(D3DXMATRIX* pOut, const D3DXMATRIX* pM1,
                                      const D3DXMATRIX* pM2) {
    // Built in a local first: pOut may be pM1 or pM2.
    D3DXMATRIX product;
    for (unsigned row = 0; row < 4; ++row) {
        for (unsigned col = 0; col < 4; ++col) {
            float sum = 0.0f;
            for (unsigned k = 0; k < 4; ++k) sum += pM1->m[row][k] * pM2->m[k][col];
            product.m[row][col] = sum;
        }
    }
    *pOut = product;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixLookAtLH(D3DXMATRIX* pOut, const D3DXVECTOR3* pEye,
                                      const D3DXVECTOR3* pAt, const D3DXVECTOR3* pUp) {
    const D3DXVECTOR3 eye = *pEye;
    const D3DXVECTOR3 zaxis = normalize(subtract(*pAt, eye));
    const D3DXVECTOR3 xaxis = normalize(cross(*pUp, zaxis));
    const D3DXVECTOR3 yaxis = cross(zaxis, xaxis);
    *pOut = D3DXMATRIX(xaxis.x, yaxis.x, zaxis.x, 0,  //
                       xaxis.y, yaxis.y, zaxis.y, 0,  //
                       xaxis.z, yaxis.z, zaxis.z, 0,  //
                       -dot(xaxis, eye), -dot(yaxis, eye), -dot(zaxis, eye), 1);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixPerspectiveFovLH(D3DXMATRIX* pOut, float fovy, float Aspect, float zn,
                                              float zf) {
    const float yScale = 1.0f / tanOf(fovy / 2.0f);
    const float xScale = yScale / Aspect;
    const float zScale = zf / (zf - zn);
    *pOut = D3DXMATRIX(xScale, 0, 0, 0,  //
                       0, yScale, 0, 0,  //
                       0, 0, zScale, 1,  //
                       0, 0, -zn * zScale, 0);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixRotationX(D3DXMATRIX* pOut, float Angle) {
    const float c = cosOf(Angle);
    const float s = sinOf(Angle);
    *pOut = D3DXMATRIX(1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixRotationY(D3DXMATRIX* pOut, float Angle) {
    const float c = cosOf(Angle);
    const float s = sinOf(Angle);
    *pOut = D3DXMATRIX(c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixRotationZ(D3DXMATRIX* pOut, float Angle) {
    const float c = cosOf(Angle);
    const float s = sinOf(Angle);
    *pOut = D3DXMATRIX(c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixTranslation(D3DXMATRIX* pOut, float x, float y, float z) {
    *pOut = D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1);
    return pOut;
}
