// The D3DX 9 math the scene uses, with the documented results: row vectors (a point
// v maps to v × M), A × B applies A first, left-handed coordinates. 32-bit floats.
#pragma once

#include "gfx/d3d9.h"

constexpr float D3DX_PI = 3.141592654f;

struct D3DXVECTOR3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    D3DXVECTOR3() = default;
    constexpr D3DXVECTOR3(float vx, float vy, float vz) : x(vx), y(vy), z(vz) {}
};

struct D3DXMATRIX : D3DMATRIX {
    D3DXMATRIX() : D3DMATRIX{} {}
    D3DXMATRIX(float m11, float m12, float m13, float m14, float m21, float m22, float m23,
               float m24, float m31, float m32, float m33, float m34, float m41, float m42,
               float m43, float m44);

    float& operator()(unsigned row, unsigned col) { return m[row][col]; }
    float operator()(unsigned row, unsigned col) const { return m[row][col]; }

    // this × rhs, as D3DXMatrixMultiply(out, this, rhs)
    D3DXMATRIX operator*(const D3DXMATRIX& rhs) const;
    bool operator==(const D3DXMATRIX& rhs) const;
};

// Each returns pOut, as D3DX does. pOut may alias an input.
D3DXMATRIX* WINAPI D3DXMatrixIdentity(D3DXMATRIX* pOut);
D3DXMATRIX* WINAPI D3DXMatrixMultiply(D3DXMATRIX* pOut, const D3DXMATRIX* pM1,
                                      const D3DXMATRIX* pM2);
D3DXMATRIX* WINAPI D3DXMatrixLookAtLH(D3DXMATRIX* pOut, const D3DXVECTOR3* pEye,
                                      const D3DXVECTOR3* pAt, const D3DXVECTOR3* pUp);
D3DXMATRIX* WINAPI D3DXMatrixPerspectiveFovLH(D3DXMATRIX* pOut, float fovy, float Aspect, float zn,
                                              float zf);
D3DXMATRIX* WINAPI D3DXMatrixRotationX(D3DXMATRIX* pOut, float Angle);
D3DXMATRIX* WINAPI D3DXMatrixRotationY(D3DXMATRIX* pOut, float Angle);
D3DXMATRIX* WINAPI D3DXMatrixRotationZ(D3DXMATRIX* pOut, float Angle);
D3DXMATRIX* WINAPI D3DXMatrixTranslation(D3DXMATRIX* pOut, float x, float y, float z);
