#pragma once
// 4x4 matrix of 32-bit floats, m[row][column]. Points are row vectors and
// transform as p' = p * M, so A * B applies A first, then B; the translation
// is the fourth row.

#include <cmath>

#include "kernel/quaternion.h"
#include "kernel/vector3.h"

class matrix44 {
public:
    float m[4][4];

    matrix44() { Ident(); }
    matrix44(float m00, float m01, float m02, float m03, float m10, float m11, float m12, float m13, float m20,
             float m21, float m22, float m23, float m30, float m31, float m32, float m33)
        : m{{m00, m01, m02, m03}, {m10, m11, m12, m13}, {m20, m21, m22, m23}, {m30, m31, m32, m33}} {}

    void Ident() {
        for (int i = 0; i < 4; i++) {
            for (int j = 0; j < 4; j++) m[i][j] = (i == j) ? 1.0f : 0.0f;
        }
    }

    vector3 Translation() const { return vector3(m[3][0], m[3][1], m[3][2]); }
    void SetTranslation(const vector3& t) {
        m[3][0] = t.x;
        m[3][1] = t.y;
        m[3][2] = t.z;
    }
    void Translate(const vector3& t) {
        m[3][0] += t.x;
        m[3][1] += t.y;
        m[3][2] += t.z;
    }

    // this := this * b, all sixteen terms.
    void Mult(const matrix44& b);

    // this := this * b for affine matrices: 3x3 part and translation row; the
    // fourth column becomes (0, 0, 0, 1).
    void MultSimple(const matrix44& b) {
        float r[4][3];
        for (int i = 0; i < 4; i++) {
            for (int j = 0; j < 3; j++) {
                r[i][j] = m[i][0] * b.m[0][j] + m[i][1] * b.m[1][j] + m[i][2] * b.m[2][j];
            }
        }
        for (int j = 0; j < 3; j++) r[3][j] += b.m[3][j];
        for (int i = 0; i < 4; i++) {
            for (int j = 0; j < 3; j++) m[i][j] = r[i][j];
            m[i][3] = (i == 3) ? 1.0f : 0.0f;
        }
    }

    // Direction transform: the 3x3 part only, no translation.
    vector3 Mult3x3(const vector3& v) const {
        return vector3(m[0][0] * v.x + m[1][0] * v.y + m[2][0] * v.z, m[0][1] * v.x + m[1][1] * v.y + m[2][1] * v.z,
                       m[0][2] * v.x + m[1][2] * v.y + m[2][2] * v.z);
    }

    // Overwrites the whole matrix. Note the layout: for row vectors this
    // rotates by the inverse of q; GetQuaternion reads it back the same way.
    void SetQuaternion(const quaternion& q) {
        float xx = q.x * q.x, yy = q.y * q.y, zz = q.z * q.z;
        float xy = q.x * q.y, xz = q.x * q.z, yz = q.y * q.z;
        float xw = q.x * q.w, yw = q.y * q.w, zw = q.z * q.w;
        m[0][0] = 1.0f - 2.0f * (yy + zz);
        m[0][1] = 2.0f * (xy - zw);
        m[0][2] = 2.0f * (xz + yw);
        m[1][0] = 2.0f * (xy + zw);
        m[1][1] = 1.0f - 2.0f * (xx + zz);
        m[1][2] = 2.0f * (yz - xw);
        m[2][0] = 2.0f * (xz - yw);
        m[2][1] = 2.0f * (yz + xw);
        m[2][2] = 1.0f - 2.0f * (xx + yy);
        m[0][3] = m[1][3] = m[2][3] = 0.0f;
        m[3][0] = m[3][1] = m[3][2] = 0.0f;
        m[3][3] = 1.0f;
    }

    // The trace method where the trace is large (w at least 1/2), else the largest diagonal
    // element's: near a half turn the trace is about -1, and dividing the small differences
    // by its small root gives turns far off unit length. Normalised, so that a matrix that
    // rounding left a little off a rotation still gives a turn.
    quaternion GetQuaternion() const {
        quaternion q;
        const float trace = m[0][0] + m[1][1] + m[2][2];
        if (trace > 0.0f) {
            float s = 0.5f / std::sqrt(trace + 1.0f);
            q.w = 0.25f / s;
            q.x = (m[2][1] - m[1][2]) * s;
            q.y = (m[0][2] - m[2][0]) * s;
            q.z = (m[1][0] - m[0][1]) * s;
        } else {
            int i = 0;
            if (m[1][1] > m[0][0]) i = 1;
            if (m[2][2] > m[i][i]) i = 2;
            int j = (i + 1) % 3;
            int k = (j + 1) % 3;
            float v = m[i][i] - (m[j][j] + m[k][k]) + 1.0f;
            if (v < 1e-12f) v = 1e-12f;
            float s = 0.5f / std::sqrt(v);
            float c[3];
            c[i] = 0.25f / s;
            q.w = (m[k][j] - m[j][k]) * s;
            c[j] = (m[j][i] + m[i][j]) * s;
            c[k] = (m[k][i] + m[i][k]) * s;
            q.x = c[0];
            q.y = c[1];
            q.z = c[2];
        }
        const float len = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
        if (len > 0.0f && std::isfinite(len)) {
            q.x /= len;
            q.y /= len;
            q.z /= len;
            q.w /= len;
        } else {
            q = quaternion();
        }
        return q;
    }

    // M := M * Rx(a), the right-handed rotation of row vectors about x.
    void RotateX(float a) {
        float c = std::cos(a), s = std::sin(a);
        for (int i = 0; i < 4; i++) {
            float m1 = m[i][1], m2 = m[i][2];
            m[i][1] = m1 * c - m2 * s;
            m[i][2] = m1 * s + m2 * c;
        }
    }
    void RotateY(float a) {
        float c = std::cos(a), s = std::sin(a);
        for (int i = 0; i < 4; i++) {
            float m0 = m[i][0], m2 = m[i][2];
            m[i][0] = m0 * c + m2 * s;
            m[i][2] = m2 * c - m0 * s;
        }
    }
    void RotateZ(float a) {
        float c = std::cos(a), s = std::sin(a);
        for (int i = 0; i < 4; i++) {
            float m0 = m[i][0], m1 = m[i][1];
            m[i][0] = m0 * c - m1 * s;
            m[i][1] = m0 * s + m1 * c;
        }
    }

    // M := M * R(axis, a), right-handed like RotateX/Y/Z; the axis is
    // normalised when it has a length.
    void Rotate(const vector3& axis, float a) {
        vector3 k = axis;
        k.Norm();
        float c = std::cos(a), s = std::sin(a), t = 1.0f - c;
        matrix44 r(t * k.x * k.x + c, t * k.x * k.y + s * k.z, t * k.x * k.z - s * k.y, 0.0f,
                   t * k.x * k.y - s * k.z, t * k.y * k.y + c, t * k.y * k.z + s * k.x, 0.0f,
                   t * k.x * k.z + s * k.y, t * k.y * k.z - s * k.x, t * k.z * k.z + c, 0.0f,
                   0.0f, 0.0f, 0.0f, 1.0f);
        Mult(r);
    }

    // M := M * diag(s, 1).
    void Scale(const vector3& s) {
        for (int i = 0; i < 4; i++) {
            m[i][0] *= s.x;
            m[i][1] *= s.y;
            m[i][2] *= s.z;
        }
    }

    // Determinant of the full 4x4 matrix, accumulated in double.
    double Det() const {
        double a[4][4];
        for (int i = 0; i < 4; i++) {
            for (int j = 0; j < 4; j++) a[i][j] = m[i][j];
        }
        // 2x2 minors of the lower two rows.
        double s0 = a[2][0] * a[3][1] - a[2][1] * a[3][0];
        double s1 = a[2][0] * a[3][2] - a[2][2] * a[3][0];
        double s2 = a[2][0] * a[3][3] - a[2][3] * a[3][0];
        double s3 = a[2][1] * a[3][2] - a[2][2] * a[3][1];
        double s4 = a[2][1] * a[3][3] - a[2][3] * a[3][1];
        double s5 = a[2][2] * a[3][3] - a[2][3] * a[3][2];
        // 2x2 minors of the upper two rows.
        double c0 = a[0][0] * a[1][1] - a[0][1] * a[1][0];
        double c1 = a[0][0] * a[1][2] - a[0][2] * a[1][0];
        double c2 = a[0][0] * a[1][3] - a[0][3] * a[1][0];
        double c3 = a[0][1] * a[1][2] - a[0][2] * a[1][1];
        double c4 = a[0][1] * a[1][3] - a[0][3] * a[1][1];
        double c5 = a[0][2] * a[1][3] - a[0][3] * a[1][2];
        return c0 * s5 - c1 * s4 + c2 * s3 + c3 * s2 - c4 * s1 + c5 * s0;
    }

    // Inverse of an affine matrix: the 3x3 adjugate over the full determinant
    // and the translation carried through it. A singular matrix stays as it is.
    void Invert() {
        double det = Det();
        if (det == 0.0) return;
        double a = m[0][0], b = m[0][1], c = m[0][2];
        double d = m[1][0], e = m[1][1], f = m[1][2];
        double g = m[2][0], h = m[2][1], i = m[2][2];
        double inv = 1.0 / det;
        double n[3][3] = {{(e * i - f * h) * inv, (c * h - b * i) * inv, (b * f - c * e) * inv},
                          {(f * g - d * i) * inv, (a * i - c * g) * inv, (c * d - a * f) * inv},
                          {(d * h - e * g) * inv, (b * g - a * h) * inv, (a * e - b * d) * inv}};
        double t[3] = {m[3][0], m[3][1], m[3][2]};
        for (int r = 0; r < 3; r++) {
            for (int col = 0; col < 3; col++) m[r][col] = float(n[r][col]);
            m[r][3] = 0.0f;
        }
        for (int col = 0; col < 3; col++) {
            m[3][col] = float(-(t[0] * n[0][col] + t[1] * n[1][col] + t[2] * n[2][col]));
        }
        m[3][3] = 1.0f;
    }

    // Turns the rotation rows so that the matrix, standing at its translation,
    // faces the target (its z axis points away from it).
    void LookAt(const vector3& target, const vector3& up) {
        vector3 zv = Translation() - target;
        zv.Norm();
        vector3 xv = up * zv;
        xv.Norm();
        vector3 yv = zv * xv;
        yv.Norm();
        m[0][0] = xv.x;
        m[0][1] = xv.y;
        m[0][2] = xv.z;
        m[0][3] = 0.0f;
        m[1][0] = yv.x;
        m[1][1] = yv.y;
        m[1][2] = yv.z;
        m[1][3] = 0.0f;
        m[2][0] = zv.x;
        m[2][1] = zv.y;
        m[2][2] = zv.z;
        m[2][3] = 0.0f;
        m[3][3] = 1.0f;
    }

    bool isequal(const matrix44& o, float tol) const {
        for (int i = 0; i < 4; i++) {
            for (int j = 0; j < 4; j++) {
                if (std::fabs(m[i][j] - o.m[i][j]) > tol) return false;
            }
        }
        return true;
    }
    bool operator==(const matrix44& o) const { return isequal(o, 0.0f); }
    bool operator!=(const matrix44& o) const { return !(*this == o); }
};

// a * b: the full product, a applied first.
inline matrix44 operator*(const matrix44& a, const matrix44& b) {
    return matrix44(
        a.m[0][0] * b.m[0][0] + a.m[0][1] * b.m[1][0] + a.m[0][2] * b.m[2][0] + a.m[0][3] * b.m[3][0],
        a.m[0][0] * b.m[0][1] + a.m[0][1] * b.m[1][1] + a.m[0][2] * b.m[2][1] + a.m[0][3] * b.m[3][1],
        a.m[0][0] * b.m[0][2] + a.m[0][1] * b.m[1][2] + a.m[0][2] * b.m[2][2] + a.m[0][3] * b.m[3][2],
        a.m[0][0] * b.m[0][3] + a.m[0][1] * b.m[1][3] + a.m[0][2] * b.m[2][3] + a.m[0][3] * b.m[3][3],
        a.m[1][0] * b.m[0][0] + a.m[1][1] * b.m[1][0] + a.m[1][2] * b.m[2][0] + a.m[1][3] * b.m[3][0],
        a.m[1][0] * b.m[0][1] + a.m[1][1] * b.m[1][1] + a.m[1][2] * b.m[2][1] + a.m[1][3] * b.m[3][1],
        a.m[1][0] * b.m[0][2] + a.m[1][1] * b.m[1][2] + a.m[1][2] * b.m[2][2] + a.m[1][3] * b.m[3][2],
        a.m[1][0] * b.m[0][3] + a.m[1][1] * b.m[1][3] + a.m[1][2] * b.m[2][3] + a.m[1][3] * b.m[3][3],
        a.m[2][0] * b.m[0][0] + a.m[2][1] * b.m[1][0] + a.m[2][2] * b.m[2][0] + a.m[2][3] * b.m[3][0],
        a.m[2][0] * b.m[0][1] + a.m[2][1] * b.m[1][1] + a.m[2][2] * b.m[2][1] + a.m[2][3] * b.m[3][1],
        a.m[2][0] * b.m[0][2] + a.m[2][1] * b.m[1][2] + a.m[2][2] * b.m[2][2] + a.m[2][3] * b.m[3][2],
        a.m[2][0] * b.m[0][3] + a.m[2][1] * b.m[1][3] + a.m[2][2] * b.m[2][3] + a.m[2][3] * b.m[3][3],
        a.m[3][0] * b.m[0][0] + a.m[3][1] * b.m[1][0] + a.m[3][2] * b.m[2][0] + a.m[3][3] * b.m[3][0],
        a.m[3][0] * b.m[0][1] + a.m[3][1] * b.m[1][1] + a.m[3][2] * b.m[2][1] + a.m[3][3] * b.m[3][1],
        a.m[3][0] * b.m[0][2] + a.m[3][1] * b.m[1][2] + a.m[3][2] * b.m[2][2] + a.m[3][3] * b.m[3][2],
        a.m[3][0] * b.m[0][3] + a.m[3][1] * b.m[1][3] + a.m[3][2] * b.m[2][3] + a.m[3][3] * b.m[3][3]);
}

inline void matrix44::Mult(const matrix44& b) { *this = *this * b; }

// Point transform p * M, without the division by w.
inline vector3 operator*(const matrix44& m, const vector3& v) {
    return vector3(m.m[0][0] * v.x + m.m[1][0] * v.y + m.m[2][0] * v.z + m.m[3][0],
                   m.m[0][1] * v.x + m.m[1][1] * v.y + m.m[2][1] * v.z + m.m[3][1],
                   m.m[0][2] * v.x + m.m[1][2] * v.y + m.m[2][2] * v.z + m.m[3][2]);
}
