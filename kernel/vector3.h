#pragma once
// Three 32-bit floats: points, directions and extents.

#include <cmath>

class vector3 {
public:
    float x, y, z;

    vector3() : x(0.0f), y(0.0f), z(0.0f) {}
    vector3(float _x, float _y, float _z) : x(_x), y(_y), z(_z) {}

    void set(float _x, float _y, float _z) {
        x = _x;
        y = _y;
        z = _z;
    }

    float Len() const { return std::sqrt(x * x + y * y + z * z); }

    // Too short to have a direction: left as it is rather than blown up.
    void Norm() {
        float l = Len();
        if (l > 1e-7f) {
            x /= l;
            y /= l;
            z /= l;
        }
    }

    // True when every component differs by at most tol.
    bool isequal(const vector3& v, float tol) const {
        return std::fabs(x - v.x) <= tol && std::fabs(y - v.y) <= tol && std::fabs(z - v.z) <= tol;
    }

    vector3& operator+=(const vector3& v) {
        x += v.x;
        y += v.y;
        z += v.z;
        return *this;
    }
    vector3& operator-=(const vector3& v) {
        x -= v.x;
        y -= v.y;
        z -= v.z;
        return *this;
    }
    vector3& operator*=(float s) {
        x *= s;
        y *= s;
        z *= s;
        return *this;
    }
    vector3& operator/=(float s) {
        x /= s;
        y /= s;
        z /= s;
        return *this;
    }
    bool operator==(const vector3& v) const { return x == v.x && y == v.y && z == v.z; }
    bool operator!=(const vector3& v) const { return !(*this == v); }
};

inline vector3 operator+(const vector3& a, const vector3& b) { return vector3(a.x + b.x, a.y + b.y, a.z + b.z); }
inline vector3 operator-(const vector3& a, const vector3& b) { return vector3(a.x - b.x, a.y - b.y, a.z - b.z); }
inline vector3 operator-(const vector3& v) { return vector3(-v.x, -v.y, -v.z); }
inline vector3 operator*(const vector3& v, float s) { return vector3(v.x * s, v.y * s, v.z * s); }
inline vector3 operator*(float s, const vector3& v) { return vector3(v.x * s, v.y * s, v.z * s); }
inline vector3 operator/(const vector3& v, float s) { return vector3(v.x / s, v.y / s, v.z / s); }

// a * b is the cross product, a % b the dot product.
inline vector3 operator*(const vector3& a, const vector3& b) {
    return vector3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}
inline float operator%(const vector3& a, const vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
