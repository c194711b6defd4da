// D3DX matrix functions against values worked out by hand from their documented
// definitions: row vectors, A × B applies A first, left-handed.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>

#include "gfx/d3dx9math.h"

namespace {

constexpr float kTol = 1e-5f;

D3DXVECTOR3 transformPoint(const D3DXVECTOR3& v, const D3DXMATRIX& m) {
    const float w = v.x * m._14 + v.y * m._24 + v.z * m._34 + m._44;
    return {(v.x * m._11 + v.y * m._21 + v.z * m._31 + m._41) / w,
            (v.x * m._12 + v.y * m._22 + v.z * m._32 + m._42) / w,
            (v.x * m._13 + v.y * m._23 + v.z * m._33 + m._43) / w};
}

void expectPoint(const D3DXVECTOR3& got, float x, float y, float z) {
    EXPECT_NEAR(got.x, x, kTol);
    EXPECT_NEAR(got.y, y, kTol);
    EXPECT_NEAR(got.z, z, kTol);
}

void expectMatrixNear(const D3DXMATRIX& got, const D3DXMATRIX& want) {
    for (unsigned r = 0; r < 4; ++r) {
        for (unsigned c = 0; c < 4; ++c) EXPECT_NEAR(got(r, c), want(r, c), kTol) << r << "," << c;
    }
}

TEST(D3DXPerspectiveFovLH, NearZeroMakesTheLastTwoColumnsEqual) {
    const float fovy = std::bit_cast<float>(std::uint32_t{0x3F490FDB});  // π/4
    const float yScale = 2.4142137f;                                     // cot(π/8)
    struct Case {
        float aspect;
        float xScale;
    } cases[] = {{800.0f / 600.0f, yScale * 0.75f}, {2.0f, yScale / 2.0f}};
    for (const Case& c : cases) {
        D3DXMATRIX m;
        D3DXMatrixPerspectiveFovLH(&m, fovy, c.aspect, 0.0f, 5.0f);
        expectMatrixNear(m, D3DXMATRIX(c.xScale, 0, 0, 0, 0, yScale, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0));
        for (unsigned r = 0; r < 4; ++r) EXPECT_EQ(m(r, 2), m(r, 3)) << "row " << r;
    }
}

TEST(D3DXPerspectiveFovLH, DepthRunsFromZeroAtNearToOneAtFar) {
    D3DXMATRIX m;
    D3DXMatrixPerspectiveFovLH(&m, D3DX_PI / 2.0f, 1.0f, 1.0f, 5.0f);
    EXPECT_NEAR(m._33, 1.25f, kTol);
    EXPECT_NEAR(m._43, -1.25f, kTol);
    EXPECT_NEAR(transformPoint({0, 0, 1}, m).z, 0.0f, kTol);
    EXPECT_NEAR(transformPoint({0, 0, 5}, m).z, 1.0f, kTol);
    // 90° field of view: a point at 45° above the axis lands on the top edge.
    EXPECT_NEAR(transformPoint({0, 3, 3}, m).y, 1.0f, kTol);
}

TEST(D3DXLookAtLH, ViewerCameraIsIdentityMovedTwentyForward) {
    const D3DXVECTOR3 eye(0, 0, -20), at(0, 0, 0), up(0, 1, 0);
    D3DXMATRIX m;
    EXPECT_EQ(D3DXMatrixLookAtLH(&m, &eye, &at, &up), &m);
    expectMatrixNear(m, D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 20, 1));
}

TEST(D3DXLookAtLH, PutsTheEyeAtTheOriginAndTheTargetAhead) {
    const D3DXVECTOR3 eye(10, 0, 0), at(0, 0, 0), up(0, 1, 0);
    D3DXMATRIX m;
    D3DXMatrixLookAtLH(&m, &eye, &at, &up);
    expectPoint(transformPoint(eye, m), 0, 0, 0);
    expectPoint(transformPoint(at, m), 0, 0, 10);
    expectPoint(transformPoint({10, 1, 0}, m), 0, 1, 0);  // up stays up
    // Left-handed, looking down −x with y up: +z is to the right.
    expectPoint(transformPoint({10, 0, 1}, m), 1, 0, 0);
}

TEST(D3DXLookAtLH, DegenerateInputsStayFinite) {
    const D3DXVECTOR3 origin(0, 0, 0), up(0, 1, 0), above(0, 5, 0);
    const D3DXVECTOR3* cases[][3] = {{&origin, &origin, &up}, {&origin, &above, &up}};
    for (const auto& c : cases) {
        D3DXMATRIX m;
        D3DXMatrixLookAtLH(&m, c[0], c[1], c[2]);
        for (unsigned i = 0; i < 16; ++i) EXPECT_TRUE(std::isfinite(m.m[i / 4][i % 4])) << i;
    }
}

TEST(D3DXRotation, QuarterTurnsMoveAxesAsDocumented) {
    using Fn = D3DXMATRIX* (*)(D3DXMATRIX*, float);
    struct Case {
        Fn rotate;
        D3DXVECTOR3 in, out;
    } cases[] = {
        {D3DXMatrixRotationZ, {1, 0, 0}, {0, 1, 0}},
        {D3DXMatrixRotationX, {0, 1, 0}, {0, 0, 1}},
        {D3DXMatrixRotationY, {0, 0, 1}, {1, 0, 0}},
        {D3DXMatrixRotationZ, {0, 1, 0}, {-1, 0, 0}},
    };
    for (const Case& c : cases) {
        D3DXMATRIX m;
        c.rotate(&m, D3DX_PI / 2.0f);
        expectPoint(transformPoint(c.in, m), c.out.x, c.out.y, c.out.z);
    }
}

TEST(D3DXMultiply, LeftOperandActsFirst) {
    D3DXMATRIX t, r;
    D3DXMatrixTranslation(&t, 1, 0, 0);
    D3DXMatrixRotationZ(&r, D3DX_PI / 2.0f);
    expectPoint(transformPoint({0, 0, 0}, t * r), 0, 1, 0);  // moved, then turned
    expectPoint(transformPoint({0, 0, 0}, r * t), 1, 0, 0);  // turned (no-op), then moved
    D3DXMATRIX viaFunction;
    D3DXMatrixMultiply(&viaFunction, &t, &r);
    EXPECT_TRUE(viaFunction == t * r);
    EXPECT_FALSE(t * r == r * t);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    EXPECT_TRUE(identity * r == r);
}

TEST(D3DXMultiply, OutputMayAliasEitherInput) {
    D3DXMATRIX a(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    D3DXMATRIX b;
    D3DXMatrixRotationY(&b, 0.3f);
    b._41 = 2.0f;
    const D3DXMATRIX expected = a * b;
    D3DXMATRIX left = a, right = b;
    EXPECT_EQ(D3DXMatrixMultiply(&left, &left, &b), &left);
    D3DXMatrixMultiply(&right, &a, &right);
    EXPECT_TRUE(left == expected);
    EXPECT_TRUE(right == expected);
    // a × a into a: every entry of row 0 of a² is Σ a[0][k]·a[k][c] = 90, 100, 110, 120.
    D3DXMatrixMultiply(&a, &a, &a);
    EXPECT_EQ(a._11, 90.0f);
    EXPECT_EQ(a._14, 120.0f);
}

}  // namespace
