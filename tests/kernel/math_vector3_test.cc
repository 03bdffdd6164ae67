// vector3, bbox3, triangle and the scalar helpers.
#include <gtest/gtest.h>

#include <cmath>

#include "kernel/bbox3.h"
#include "kernel/nMath.h"
#include "kernel/triangle.h"
#include "kernel/vector3.h"

namespace {

void ExpectVec(const vector3& v, float x, float y, float z, float tol = 1e-6f) {
    EXPECT_NEAR(v.x, x, tol);
    EXPECT_NEAR(v.y, y, tol);
    EXPECT_NEAR(v.z, z, tol);
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

}  // namespace
