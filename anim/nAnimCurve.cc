#include "anim/nAnimCurve.h"

void nAnimCurve::Init(float keysPerSecond, int startKey, int numKeys, bool packed) {
    if (numKeys < 0) numKeys = 0;
    keysPerSecond_ = keysPerSecond;
    startKey_ = startKey;
    numKeys_ = numKeys;
    packed_ = packed;
    keyTime_ = 1.0f / keysPerSecond;
    startTime_ = static_cast<float>(startKey) * keyTime_;
    endTime_ = static_cast<float>(numKeys) * keyTime_ + startTime_;
    keyModMagic_ = numKeys > 0 ? UINT64_MAX / static_cast<uint64_t>(numKeys) + 1 : 0;
    size_t n = static_cast<size_t>(numKeys) * 4;
    floatKeys_.assign(packed ? 0 : n, 0.0f);
    packedKeys_.assign(packed ? n : 0, 0);
    UpdateLinearLoop();
}

void nAnimCurve::SetKey(int index, const nAnimKey& key) {
    if (index < 0 || index >= numKeys_) return;
    size_t o = static_cast<size_t>(index) * 4;
    if (packed_) {
        uint16_t* c = packedKeys_.data() + o;
        c[0] = Pack(key.x);
        c[1] = Pack(key.y);
        c[2] = Pack(key.z);
        c[3] = Pack(key.w);
    } else {
        float* v = floatKeys_.data() + o;
        v[0] = key.x;
        v[1] = key.y;
        v[2] = key.z;
        v[3] = key.w;
    }
}

nAnimKey nAnimCurve::SampleAny(float t) const {
    const int n = numKeys_;
    if (n <= 0) {
        nAnimKey zero;
        if (ipol_ == Quat) zero.w = 1.0f;
        return zero;
    }
    if (repeat_ == Oneshot) {
        if (t < startTime_) return GetKey(0);
        if (t >= endTime_) return GetKey(n - 1);
    }
    int i;
    float f;
    Locate(t, i, f);
    if (ipol_ == Step) return GetKey(i);
    int j = i + 1 == n ? 0 : i + 1;
    nAnimKey a, b;
    if (!packed_) {
        const float* p = floatKeys_.data();
        const float* ka = p + 4 * i;
        const float* kb = p + 4 * j;
        if (ipol_ == Linear) {
            return nAnimKey{ka[0] + (kb[0] - ka[0]) * f, ka[1] + (kb[1] - ka[1]) * f, ka[2] + (kb[2] - ka[2]) * f,
                            ka[3] + (kb[3] - ka[3]) * f};
        }
        a = nAnimKey{ka[0], ka[1], ka[2], ka[3]};
        b = nAnimKey{kb[0], kb[1], kb[2], kb[3]};
    } else {
        a = GetKey(i);
        b = GetKey(j);
        if (ipol_ == Linear) {
            return nAnimKey{a.x + (b.x - a.x) * f, a.y + (b.y - a.y) * f, a.z + (b.z - a.z) * f, a.w + (b.w - a.w) * f};
        }
    }
    quaternion q;
    q.Slerp(quaternion(a.x, a.y, a.z, a.w), quaternion(b.x, b.y, b.z, b.w), f);
    return nAnimKey{q.x, q.y, q.z, q.w};
}
