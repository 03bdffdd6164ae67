#pragma once
// A shared key buffer (script class "nenvelope"): time-ordered keys of one to four floats,
// sampled at any time. Loaded from and saved to the ".nea" key-buffer text; users share
// one envelope per key file through the envelope server.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "kernel/nRoot.h"

class nFileServer2;

class nEnvelope : public nRoot {
public:
    static const nClassInfo classInfo;

    // Interpolation types; the type of the key that ends a segment decides.
    enum Type : int32_t {
        Unset = -1,  // after BeginKeys, until the key is set
        Step = 0,
        Linear = 1,
        Cubic = 2,
        Spherical = 3,  // the four values as a quaternion (x, y, z, w)
        Ease = 4,
    };
    struct Key {
        float time = 0.0f;
        int32_t type = Unset;
        float v[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    };
    // Key counts above this are refused: no real envelope comes near it, and a corrupt
    // count must not reserve gigabytes.
    static constexpr int MaxKeys = 100000;

    nEnvelope();
    ~nEnvelope() override;

    // Drops the old keys and makes `count` unset keys of `kind` values. A negative or
    // absurd count is refused (logged): the envelope is left empty and false returned.
    bool BeginKeys(int count, int kind);
    // Writes key `index`; values beyond the kind are stored as 0. An index out of range
    // or a type outside 0 to 4 is refused (logged), so Sample only meets known types.
    bool SetKey(int index, float time, int type, const float values[4]);
    int GetNumKeys() const { return static_cast<int>(keys_.size()); }
    int GetKind() const { return kind_; }
    // Null outside 0 .. GetNumKeys() - 1.
    const Key* GetKey(int index) const {
        return index >= 0 && index < GetNumKeys() ? &keys_[static_cast<size_t>(index)] : nullptr;
    }

    // The key-buffer text through a file object of `fs`. False (logged) when the file
    // cannot be opened or written, or, for saving, when the kind is outside 1 to 4.
    bool SaveKeys(nFileServer2* fs, const char* fileName);
    // False (logged with file and line) for malformed content; the envelope is then
    // left empty, never half read.
    bool LoadKeys(nFileServer2* fs, const char* fileName);
    // The same through "/sys/servers/file2".
    bool SaveKeys(const char* fileName);
    bool LoadKeys(const char* fileName);
    // Parses key-buffer text already in memory; `fileName` only names it in the log.
    bool ReadKeys(const char* text, size_t size, const char* fileName);

    // Writes the values at time `t` (key times stretched by `scale`; with `loop`, t is
    // wrapped into the key range) to `values`. `cursor` is the caller's own search start,
    // updated; any value is safe. Fewer than two keys give the first key's values
    // (zeros without keys). Allocates nothing.
    void Sample(int& cursor, float values[4], float t, float scale, bool loop);
    // The segment of the last Sample: index of its end key and the position within it.
    int GetSegmentIndex() const { return index_; }
    float GetSegmentFactor() const { return factor_; }

private:
    // Fills `out` from `keys` by the end key's type.
    void Interpolate(int index, float f, float out[4]) const;

    std::vector<Key> keys_;
    int kind_ = 0;
    int index_ = 0;
    float factor_ = 0.0f;
};
