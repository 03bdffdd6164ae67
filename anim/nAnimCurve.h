#pragma once
// One named animation curve: equally spaced keys of four floats, sampled at a fixed
// number of keys per second, stored as floats or packed into 16-bit components (unit
// quaternions). Curves live in an nAnimCurveArray, which loads them from files.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "kernel/quaternion.h"

// A curve key or a sampled value: x, y, z, w.
struct nAnimKey {
    float x = 0.0f, y = 0.0f, z = 0.0f, w = 0.0f;
};

class nAnimCurve {
public:
    enum Ipol { Step = 0, Linear = 1, Quat = 2 };
    // The curves' own numbering; animation nodes number their repeat types the other way.
    enum Repeat { Loop = 0, Oneshot = 1 };

    // Sets the timing and allocates `numKeys` zeroed keys; a rate of 0 or less (or not
    // finite) and a negative key count are the caller's to refuse.
    void Init(float keysPerSecond, int startKey, int numKeys, bool packed);
    // Stores a key, encoding it when packed; an index outside the keys is ignored.
    void SetKey(int index, const nAnimKey& key);
    // The key as stored, decoded when packed; zeros outside the keys.
    nAnimKey GetKey(int index) const;
    // The curve at time `t` (seconds). Oneshot curves hold their first key before their
    // span and their last from its end on; otherwise the key index wraps, negative times
    // included, and the next key after the last is key 0. No keys: zeros, or the identity
    // for quaternion curves.
    nAnimKey GetValue(float t) const;

    // 16-bit key components: -1 -> 0, 1 -> 65535, computed in float as the files have it.
    static uint16_t Pack(float v) {
        if (!(v >= -1.0f)) v = -1.0f;  // NaN packs as -1
        if (v > 1.0f) v = 1.0f;
        return static_cast<uint16_t>(std::floor((v + 1.0f) * 32767.5f + 0.5f));
    }
    static float Unpack(uint16_t c) { return static_cast<float>(c) * 3.0518044e-05f - 1.0f; }

    void SetName(const std::string& name) { name_ = name; }
    const std::string& GetName() const { return name_; }
    void SetIpolType(int t) {
        ipol_ = t;
        UpdateLinearLoop();
    }
    int GetIpolType() const { return ipol_; }
    void SetRepeatType(int r) {
        repeat_ = r;
        UpdateLinearLoop();
    }
    int GetRepeatType() const { return repeat_; }
    bool IsPacked() const { return packed_; }
    float GetKeysPerSecond() const { return keysPerSecond_; }
    int GetStartKey() const { return startKey_; }
    int GetNumKeys() const { return numKeys_; }
    float GetKeyTime() const { return keyTime_; }
    float GetStartTime() const { return startTime_; }
    float GetEndTime() const { return endTime_; }
    // Bytes the keys take: 16 a float key, 8 a packed one.
    size_t GetByteSize() const { return static_cast<size_t>(numKeys_) * (packed_ ? 8 : 16); }

    // The raw key storage, for the loaders: numKeys × 4 floats or × 4 u16.
    float* FloatKeys() { return floatKeys_.data(); }
    uint16_t* PackedKeys() { return packedKeys_.data(); }
    const float* FloatKeys() const { return floatKeys_.data(); }
    const uint16_t* PackedKeys() const { return packedKeys_.data(); }

private:
    // Key position of `t` for a curve with keys: index in [0, K) and blend factor.
    void Locate(float t, int& i, float& f) const;
    // GetValue for every kind of curve and time.
    nAnimKey SampleAny(float t) const;
    void UpdateLinearLoop() { linearLoop_ = numKeys_ > 0 && !packed_ && ipol_ == Linear && repeat_ != Oneshot; }
    // a % numKeys_ for a >= 0 by two multiplications instead of a division: sampling
    // wraps every call, and a hardware division would cost more than the whole blend.
    uint32_t WrapKey(uint32_t a) const {
        __extension__ using u128 = unsigned __int128;
        uint64_t low = keyModMagic_ * a;
        return static_cast<uint32_t>((static_cast<u128>(low) * static_cast<uint32_t>(numKeys_)) >> 64);
    }

    std::string name_;
    int ipol_ = Linear;
    int repeat_ = Loop;
    bool packed_ = false;
    float keysPerSecond_ = 12.0f;
    int startKey_ = 0;
    int numKeys_ = 0;
    std::vector<float> floatKeys_;
    std::vector<uint16_t> packedKeys_;
    float keyTime_ = 1.0f / 12.0f;
    float startTime_ = 0.0f;
    float endTime_ = 0.0f;
    uint64_t keyModMagic_ = 0;  // 2^64 / numKeys_ rounded up, for WrapKey
    bool linearLoop_ = false;   // GetValue's inline case applies
};

inline void nAnimCurve::Locate(float t, int& i, float& f) const {
    float k = t / keyTime_;
    if (k >= 0.0f && k < 2147483520.0f) {
        i = static_cast<int>(k);
        f = k - static_cast<float>(i);
        i = static_cast<int>(WrapKey(static_cast<uint32_t>(i)));
        return;
    }
    // Negative, huge or not a number: wrap through floor so the index stays in range.
    if (!std::isfinite(k)) {
        i = 0;
        f = 0.0f;
        return;
    }
    double fl = std::floor(static_cast<double>(k));
    f = static_cast<float>(static_cast<double>(k) - fl);
    double m = std::fmod(fl, static_cast<double>(numKeys_));
    if (m < 0.0) m += numKeys_;
    i = static_cast<int>(m);
    if (i >= numKeys_) i = 0;
}

inline nAnimKey nAnimCurve::GetValue(float t) const {
    // The common case, float keys blended linearly in a loop, stays small enough to inline.
    if (linearLoop_) {
        float k = t / keyTime_;
        if (k >= 0.0f && k < 2147483520.0f) {
            int i = static_cast<int>(k);
            float f = k - static_cast<float>(i);
            i = static_cast<int>(WrapKey(static_cast<uint32_t>(i)));
            int j = i + 1 == numKeys_ ? 0 : i + 1;
            const float* ka = floatKeys_.data() + 4 * i;
            const float* kb = floatKeys_.data() + 4 * j;
            float v[4];
            for (int c = 0; c < 4; c++) v[c] = ka[c] + (kb[c] - ka[c]) * f;  // one vector blend
            return nAnimKey{v[0], v[1], v[2], v[3]};
        }
    }
    return SampleAny(t);
}

inline nAnimKey nAnimCurve::GetKey(int index) const {
    if (index < 0 || index >= numKeys_) return nAnimKey();
    size_t o = static_cast<size_t>(index) * 4;
    if (packed_) {
        const uint16_t* c = packedKeys_.data() + o;
        return nAnimKey{Unpack(c[0]), Unpack(c[1]), Unpack(c[2]), Unpack(c[3])};
    }
    const float* v = floatKeys_.data() + o;
    return nAnimKey{v[0], v[1], v[2], v[3]};
}
