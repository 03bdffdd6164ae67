#pragma once
// Rotation quaternion (x, y, z, w) of 32-bit floats; the default is the identity.

#include <cmath>

#include "kernel/nMath.h"
#include "kernel/vector3.h"

class quaternion {
public:
    float x, y, z, w;

    quaternion() : x(0.0f), y(0.0f), z(0.0f), w(1.0f) {}
    quaternion(float _x, float _y, float _z, float _w) : x(_x), y(_y), z(_z), w(_w) {}

    void set(float _x, float _y, float _z, float _w) {
        x = _x;
        y = _y;
        z = _z;
        w = _w;
    }
    void ident() { set(0.0f, 0.0f, 0.0f, 1.0f); }

    // 0 for a zero (or NaN-free negative rounding) squared length.
    float Len() const { return ClampedSqrt(x * x + y * y + z * z + w * w); }

    // A quaternion without length becomes the identity.
    void Norm() {
        float l = Len();
        if (l > 0.0f) {
            float inv = 1.0f / l;
            x *= inv;
            y *= inv;
            z *= inv;
            w *= inv;
        } else {
            ident();
        }
    }

    // Conjugate divided by the squared length; a zero quaternion only gets conjugated.
    void Invert() {
        float l2 = x * x + y * y + z * z + w * w;
        if (l2 > 0.0f) {
            x /= l2;
            y /= l2;
            z /= l2;
            w /= l2;
        }
        x = -x;
        y = -y;
        z = -z;
    }

    // this := this * r (Hamilton product).
    void Mul(const quaternion& r);

    // (axis * sin(a/2), cos(a/2)); the axis is taken as given.
    void FromAxisAngle(const vector3& axis, float angle) {
        float s = std::sin(angle * 0.5f);
        set(axis.x * s, axis.y * s, axis.z * s, std::cos(angle * 0.5f));
    }

    // v' = q v q*, the right-handed rotation of v for a unit quaternion.
    vector3 Rotate(const vector3& v) const;

    // this := interpolation from a (t = 0) to b (t = 1). When the two lie in
    // opposite hemispheres a is negated first, so the result may come out as
    // the negated quaternion; it is not renormalised.
    void Slerp(const quaternion& a, const quaternion& b, float t) {
        float dot = a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
        quaternion qa = a;
        if (dot < 0.0f) {
            qa.set(-a.x, -a.y, -a.z, -a.w);
            dot = -dot;
        }
        float wa, wb;
        if (1.0f - dot < 0.05f) {
            wa = 1.0f - t;
            wb = t;
        } else {
            float theta = ClampedACos(dot);
            float s = std::sin(theta);
            wa = std::sin((1.0f - t) * theta) / s;
            wb = std::sin(t * theta) / s;
        }
        set(wa * qa.x + wb * b.x, wa * qa.y + wb * b.y, wa * qa.z + wb * b.z, wa * qa.w + wb * b.w);
    }

    bool isequal(const quaternion& q, float tol) const {
        return std::fabs(x - q.x) <= tol && std::fabs(y - q.y) <= tol && std::fabs(z - q.z) <= tol &&
               std::fabs(w - q.w) <= tol;
    }
    bool operator==(const quaternion& q) const { return x == q.x && y == q.y && z == q.z && w == q.w; }
    bool operator!=(const quaternion& q) const { return !(*this == q); }
};

// Hamilton product: a * b applies b first, then a, when rotating vectors.
inline quaternion operator*(const quaternion& a, const quaternion& b) {
    return quaternion(a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
                      a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
                      a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w,
                      a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z);
}
inline quaternion operator*(const quaternion& q, float s) { return quaternion(q.x * s, q.y * s, q.z * s, q.w * s); }
inline quaternion operator*(float s, const quaternion& q) { return q * s; }
inline quaternion operator+(const quaternion& a, const quaternion& b) {
    return quaternion(a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w);
}
inline quaternion operator-(const quaternion& a, const quaternion& b) {
    return quaternion(a.x - b.x, a.y - b.y, a.z - b.z, a.w - b.w);
}
inline quaternion operator-(const quaternion& q) { return quaternion(-q.x, -q.y, -q.z, -q.w); }

inline void quaternion::Mul(const quaternion& r) { *this = *this * r; }

inline vector3 quaternion::Rotate(const vector3& v) const {
    quaternion p = (*this * quaternion(v.x, v.y, v.z, 0.0f)) * quaternion(-x, -y, -z, w);
    return vector3(p.x, p.y, p.z);
}
