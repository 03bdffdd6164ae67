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
    size_t n = static_cast<size_t>(numKeys) * 4;
    floatKeys_.assign(packed ? 0 : n, 0.0f);
    packedKeys_.assign(packed ? n : 0, 0);
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
