// The math types: vector3, bbox3, triangle, the scalar helpers, quaternion, matrix44 and
// the engine-wide random generator, checked against hand-computed values.
#include <gtest/gtest.h>

#include <cmath>

#include "kernel/bbox3.h"
#include "kernel/matrix44.h"
#include "kernel/nMath.h"
#include "kernel/nRandom.h"
#include "kernel/quaternion.h"
#include "kernel/triangle.h"
#include "kernel/vector3.h"

namespace {

const float kPi = float(M_PI);

void ExpectVec(const vector3& v, float x, float y, float z, float tol = 1e-5f) {
    EXPECT_NEAR(v.x, x, tol);
    EXPECT_NEAR(v.y, y, tol);
    EXPECT_NEAR(v.z, z, tol);
}

void ExpectMat(const matrix44& a, const float (&e)[4][4], float tol = 1e-5f) {
    for (int i = 0; i < 4; i++) {
        for (int j = 0; j < 4; j++) EXPECT_NEAR(a.m[i][j], e[i][j], tol) << "m" << i << j;
    }
}

bool IsIdentity(const matrix44& a, float tol) { return a.isequal(matrix44(), tol); }

TEST(Matrix44, FullProductAndDeterminant) {
    matrix44 c(2, -1, 0, 3, 1, 4, 2, -2, 0, 5, 1, 1, 3, 0, -1, 2);
    matrix44 d(1, 0, 2, 1, 0, 3, 1, 0, 2, 1, 0, 4, 1, 1, 1, 1);
    const float cd[4][4] = {{5, 0, 6, 5}, {3, 12, 4, 7}, {3, 17, 6, 5}, {3, 1, 8, 1}};
    ExpectMat(c * d, cd, 0);
    matrix44 inPlace = c;
    inPlace.Mult(d);
    ExpectMat(inPlace, cd, 0);
    EXPECT_NEAR(c.Det(), 88.0, 1e-9);
    EXPECT_NEAR(d.Det(), 8.0, 1e-9);
}

TEST(Matrix44, MultSimpleIsTheAffineProduct) {
    matrix44 a(1, 2, 0, 0, 0, 1, 3, 0, 4, 0, 1, 0, 5, 6, 7, 1);
    matrix44 b(2, 0, 1, 0, 1, 3, 0, 0, 0, 1, 2, 0, -1, 2, -3, 1);
    const float ab[4][4] = {{4, 6, 1, 0}, {1, 6, 6, 0}, {8, 1, 6, 0}, {15, 27, 16, 1}};
    matrix44 r = a;
    r.MultSimple(b);
    ExpectMat(r, ab, 0);
}

TEST(Matrix44, RowVectorsApplyTheLeftFactorFirst) {
    // Translate, then a quarter turn about z: (0,0,0) -> (1,0,0) -> (0,1,0).
    matrix44 m;
    m.SetTranslation(vector3(1, 0, 0));
    m.RotateZ(kPi / 2);
    ExpectVec(m * vector3(0, 0, 0), 0, 1, 0);
    ExpectVec(m.Mult3x3(vector3(1, 0, 0)), 0, 1, 0);  // no translation
}

TEST(Matrix44, RotationsAreRightHanded) {
    matrix44 rx, ry, rz;
    rx.RotateX(kPi / 2);
    ry.RotateY(kPi / 2);
    rz.RotateZ(kPi / 2);
    ExpectVec(rx * vector3(0, 1, 0), 0, 0, 1);
    ExpectVec(ry * vector3(0, 0, 1), 1, 0, 0);
    ExpectVec(rz * vector3(1, 0, 0), 0, 1, 0);

    // Axis-angle agrees with the axis rotations ...
    matrix44 ax;
    ax.Rotate(vector3(2, 0, 0), 0.7f);  // axis normalised
    matrix44 x7;
    x7.RotateX(0.7f);
    EXPECT_TRUE(ax.isequal(x7, 1e-6f));
    // ... and a third of a turn about the diagonal cycles x -> y -> z.
    matrix44 diag;
    diag.Rotate(vector3(1, 1, 1), 2 * kPi / 3);
    ExpectVec(diag * vector3(1, 0, 0), 0, 1, 0);

    matrix44 s;
    s.SetTranslation(vector3(1, 1, 1));
    s.Scale(vector3(2, 3, 4));
    ExpectVec(s * vector3(1, 1, 1), 4, 6, 8);
}

TEST(Matrix44, SetQuaternionAsLaidOut) {
    // q = (0.5, 0.5, 0.5, 0.5) by hand from the element formulas.
    matrix44 m;
    m.SetTranslation(vector3(9, 9, 9));
    m.SetQuaternion(quaternion(0.5f, 0.5f, 0.5f, 0.5f));
    const float e[4][4] = {{0, 0, 1, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 0, 1}};
    ExpectMat(m, e);

    // For row vectors the matrix of q turns the other way round than q itself:
    // it is the transpose of the axis-angle matrix.
    vector3 axis(1, -2, 0.5f);
    quaternion q;
    q.FromAxisAngle(vector3(axis.x, axis.y, axis.z) / axis.Len(), 1.1f);
    m.SetQuaternion(q);
    matrix44 r;
    r.Rotate(axis, 1.1f);
    for (int i = 0; i < 3; i++) {
        for (int j = 0; j < 3; j++) EXPECT_NEAR(m.m[i][j], r.m[j][i], 1e-6f);
    }
}

TEST(Matrix44, GetQuaternionReturnsPlusOrMinusQ) {
    const quaternion qs[] = {
        quaternion(0, 0, 0, 1),
        quaternion(1, 0, 0, 0),                  // trace 0: largest-diagonal branch, i = 0
        quaternion(0, 1, 0, 0),                  // i = 1
        quaternion(0.6f, 0, 0.8f, 0),            // i = 2
        quaternion(0.1f, 0.7f, -0.7f, 0.1f),     // near-zero w
        quaternion(0.18257f, 0.36515f, 0.54772f, 0.73030f),
        // Within a hair of a half turn the trace is about -1: a diver that a wall turned
        // round came back 0.5 to 1.2 long.
        quaternion(0.0f, 1.0f, 0.0f, 1e-4f),
        quaternion(0.0f, -1.0f, 0.0f, 3e-3f),
        quaternion(0.7071f, 0.0f, 0.7071f, 2e-3f),
    };
    for (quaternion q : qs) {
        q.Norm();
        matrix44 m;
        m.SetQuaternion(q);
        quaternion g = m.GetQuaternion();
        if (g.x * q.x + g.y * q.y + g.z * q.z + g.w * q.w < 0) g = -g;
        EXPECT_TRUE(g.isequal(q, 1e-5f)) << q.x << " " << q.y << " " << q.z << " " << q.w;
        EXPECT_NEAR(g.x * g.x + g.y * g.y + g.z * g.z + g.w * g.w, 1.0f, 1e-6f);
    }
}

TEST(Matrix44, InvertAffineAndSingular) {
    matrix44 s;
    s.Scale(vector3(2, 4, 8));
    s.SetTranslation(vector3(2, 4, 8));
    s.Invert();
    const float inv[4][4] = {{0.5f, 0, 0, 0}, {0, 0.25f, 0, 0}, {0, 0, 0.125f, 0}, {-1, -1, -1, 1}};
    ExpectMat(s, inv);

    matrix44 m;
    m.RotateX(0.3f);
    m.RotateY(-1.2f);
    m.Scale(vector3(1.5f, 0.5f, 2));
    m.RotateZ(2.0f);
    m.SetTranslation(vector3(3, -4, 5));
    matrix44 mi = m;
    mi.Invert();
    EXPECT_TRUE(IsIdentity(m * mi, 1e-5f));
    EXPECT_TRUE(IsIdentity(mi * m, 1e-5f));

    // Flattened along y: determinant 0, left exactly as it was.
    matrix44 flat;
    flat.RotateZ(0.5f);
    flat.Scale(vector3(1, 0, 1));
    flat.SetTranslation(vector3(1, 2, 3));
    matrix44 before = flat;
    flat.Invert();
    EXPECT_EQ(flat, before);
}

TEST(Matrix44, LookAtFacesAwayFromTarget) {
    matrix44 m;
    m.RotateX(1.0f);
    m.SetTranslation(vector3(5, 0, 0));
    m.LookAt(vector3(0, 0, 0), vector3(0, 1, 0));
    // z points from the target to the eye, x = up x z, y = z x x.
    const float e[4][4] = {{0, 0, -1, 0}, {0, 1, 0, 0}, {1, 0, 0, 0}, {5, 0, 0, 1}};
    ExpectMat(m, e);

    // Up parallel to the view: x cannot be normalised, but nothing turns NaN.
    matrix44 up;
    up.SetTranslation(vector3(0, 5, 0));
    up.LookAt(vector3(0, 0, 0), vector3(0, 1, 0));
    for (int i = 0; i < 4; i++) {
        for (int j = 0; j < 4; j++) EXPECT_FALSE(std::isnan(up.m[i][j]));
    }
    ExpectVec(vector3(up.m[2][0], up.m[2][1], up.m[2][2]), 0, 1, 0);
}

TEST(Vector3, ArithmeticAndProducts) {
    vector3 a(1, 2, 3), b(4, 5, 6);
    ExpectVec(a - b, -3, -3, -3);
    ExpectVec(b / 2.0f, 2, 2.5f, 3);
    // Cross product by hand: (2*6-3*5, 3*4-1*6, 1*5-2*4).
    ExpectVec(a * b, -3, 6, -3);
    // Right-handed: x cross y is z, and the product is perpendicular to both.
    ExpectVec(vector3(1, 0, 0) * vector3(0, 1, 0), 0, 0, 1);
    EXPECT_FLOAT_EQ(a % b, 32.0f);
    EXPECT_FLOAT_EQ(vector3(3, 4, 12).Len(), 13.0f);
}

TEST(Vector3, NormLeavesTooShortVectorsAlone) {
    vector3 v(3, 0, 4);
    v.Norm();
    ExpectVec(v, 0.6f, 0, 0.8f);

    vector3 tiny(1e-8f, 0, 0);
    tiny.Norm();
    EXPECT_EQ(tiny, vector3(1e-8f, 0, 0));

    // Just above the guard it is normalised.
    vector3 small(2e-7f, 0, 0);
    small.Norm();
    ExpectVec(small, 1, 0, 0);
}

TEST(Scalar, ClampAndClampedFunctions) {
    EXPECT_EQ(n_clamp(-2.0f, -1.0f, 1.0f), -1.0f);
    EXPECT_EQ(n_clamp(2.0f, -1.0f, 1.0f), 1.0f);
    EXPECT_FLOAT_EQ(ClampedACos(1.0001f), 0.0f);
    EXPECT_FLOAT_EQ(ClampedACos(-3.0f), float(M_PI));
    EXPECT_EQ(ClampedSqrt(-1.0f), 0.0f);
    // Script and file values reach int conversions: cut, saturate, NaN as 0.
    EXPECT_EQ(n_saturate_int(-2.9), -2);
    EXPECT_EQ(n_saturate_int(1e20), INT32_MAX);
    EXPECT_EQ(n_saturate_int(-1e20), INT32_MIN);
    EXPECT_EQ(n_saturate_int(std::nan("")), 0);
}

TEST(Bbox3, CenterExtentAndExtend) {
    bbox3 box;
    box.SetCenterExtent(vector3(1, 2, 3), vector3(0.5f, 1, 2));
    ExpectVec(box.vmin, 0.5f, 1, 1);
    ExpectVec(box.vmax, 1.5f, 3, 5);
    box.Extend(vector3(0, 2, 10));
    ExpectVec(box.vmin, 0, 1, 1);
    ExpectVec(box.vmax, 1.5f, 3, 10);
    box.Extend(vector3(1, 2, 3));  // inside: unchanged
    ExpectVec(box.vmin, 0, 1, 1);
    ExpectVec(box.vmax, 1.5f, 3, 10);
}

TEST(Triangle, EdgesAndNormal) {
    triangle t(vector3(1, 1, 1), vector3(3, 1, 1), vector3(1, 4, 1));
    ExpectVec(t.edge1, 2, 0, 0);
    ExpectVec(t.Point(2), 1, 4, 1);
    ExpectVec(t.Normal(), 0, 0, 1);  // counter-clockwise seen from +z

    // Degenerate: no direction to normalise, and no NaN either.
    triangle flat(vector3(0, 0, 0), vector3(1, 1, 1), vector3(2, 2, 2));
    EXPECT_EQ(flat.Normal(), vector3(0, 0, 0));
}

void ExpectQuat(const quaternion& q, float x, float y, float z, float w, float tol = 1e-6f) {
    EXPECT_NEAR(q.x, x, tol);
    EXPECT_NEAR(q.y, y, tol);
    EXPECT_NEAR(q.z, z, tol);
    EXPECT_NEAR(q.w, w, tol);
}

TEST(Quaternion, LenNormAndInvert) {
    quaternion q(1, 1, 1, 1);
    EXPECT_FLOAT_EQ(q.Len(), 2.0f);
    q.Norm();
    ExpectQuat(q, 0.5f, 0.5f, 0.5f, 0.5f);

    quaternion zero(0, 0, 0, 0);  // nothing to normalise: the identity
    zero.Norm();
    ExpectQuat(zero, 0, 0, 0, 1, 0);

    // Inverse of a non-unit quaternion: q * q^-1 is the identity.
    quaternion a(1, 2, 3, 4);
    quaternion inv = a;
    inv.Invert();
    ExpectQuat(inv, -1.0f / 30, -2.0f / 30, -3.0f / 30, 4.0f / 30);
    ExpectQuat(a * inv, 0, 0, 0, 1);

    // A zero quaternion has no inverse and is left (sign aside) alone.
    quaternion z0(0, 0, 0, 0);
    z0.Invert();
    EXPECT_EQ(z0.Len(), 0.0f);
}

TEST(Quaternion, HamiltonProductAndRotation) {
    // i * j = k, j * i = -k.
    ExpectQuat(quaternion(1, 0, 0, 0) * quaternion(0, 1, 0, 0), 0, 0, 1, 0);
    ExpectQuat(quaternion(0, 1, 0, 0) * quaternion(1, 0, 0, 0), 0, 0, -1, 0);

    quaternion rz, rx;
    rz.FromAxisAngle(vector3(0, 0, 1), kPi / 2);
    rx.FromAxisAngle(vector3(1, 0, 0), kPi / 2);

    // Right-handed: a quarter turn about z takes x to y, about x takes y to z.
    ExpectVec(rz.Rotate(vector3(1, 0, 0)), 0, 1, 0);
    ExpectVec(rx.Rotate(vector3(0, 1, 0)), 0, 0, 1);
    // a * b rotates by b first: x --rx--> x --rz--> y, whereas y --rx--> z --rz--> z.
    quaternion both = rz;
    both.Mul(rx);
    ExpectVec(both.Rotate(vector3(0, 1, 0)), 0, 0, 1);
    ExpectVec(both.Rotate(vector3(1, 0, 0)), 0, 1, 0);
}

TEST(Quaternion, SlerpBranches) {
    quaternion a, b;
    b.FromAxisAngle(vector3(0, 0, 1), kPi / 2);
    quaternion r;
    r.Slerp(a, b, 0.0f);
    ExpectQuat(r, 0, 0, 0, 1);
    r.Slerp(a, b, 1.0f);
    ExpectQuat(r, b.x, b.y, b.z, b.w);
    // Halfway between 0 and 90 degrees about z is 45 degrees, and of unit length.
    r.Slerp(a, b, 0.5f);
    ExpectQuat(r, 0, 0, std::sin(kPi / 8), std::cos(kPi / 8));
    EXPECT_NEAR(r.Len(), 1.0f, 1e-6f);

    // 0.2 rad apart: dot = cos(0.1) > 0.95, so plain linear weights, not renormalised.
    quaternion near;
    near.FromAxisAngle(vector3(0, 0, 1), 0.2f);
    r.Slerp(a, near, 0.5f);
    ExpectQuat(r, 0, 0, 0.5f * std::sin(0.1f), 0.5f * (1.0f + std::cos(0.1f)));
    EXPECT_LT(r.Len(), 1.0f);

    // Opposite hemispheres: the start is negated, so t = 0 gives -a and q
    // against -q gives -q.
    quaternion opp(0, 0, -std::sqrt(0.5f), -std::sqrt(0.5f));
    r.Slerp(a, opp, 0.0f);
    ExpectQuat(r, 0, 0, 0, -1);

    quaternion q(0.5f, 0.5f, 0.5f, 0.5f);
    r.Slerp(q, -q, 0.5f);
    ExpectQuat(r, -0.5f, -0.5f, -0.5f, -0.5f);
}

TEST(Random, SequenceAndRange) {
    // The first numbers after seed 1, known from the C runtime this range comes from.
    nRandom::Seed(1);
    EXPECT_EQ(nRandom::Next(), 41);
    EXPECT_EQ(nRandom::Next(), 18467);
    EXPECT_EQ(nRandom::Next(), 6334);
    EXPECT_EQ(nRandom::Next(), 26500);
    EXPECT_EQ(nRandom::Next(), 19169);

    // Reseeding replays the sequence; the state wraps without trouble.
    nRandom::Seed(0xFFFFFFFFu);
    int first = nRandom::Next();
    nRandom::Seed(0xFFFFFFFFu);
    EXPECT_EQ(nRandom::Next(), first);
    EXPECT_EQ(nRandom::Max, 0x7fff);
}

}  // namespace
