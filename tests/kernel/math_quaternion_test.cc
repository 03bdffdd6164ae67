// quaternion: norm, inverse, Hamilton product, rotation and Slerp.
#include <gtest/gtest.h>

#include <cmath>

#include "kernel/quaternion.h"

namespace {

const float kPi = float(M_PI);

void ExpectVec(const vector3& v, float x, float y, float z) {
    EXPECT_NEAR(v.x, x, 1e-6f);
    EXPECT_NEAR(v.y, y, 1e-6f);
    EXPECT_NEAR(v.z, z, 1e-6f);
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

}  // namespace
