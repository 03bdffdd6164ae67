#pragma once
// The keys of one bone of a bone animation: a track of translations and a track of
// rotations, one key per key interval; and the ".tkey" key files that hold them for
// every bone, as text or binary. Both readers check the whole file into a fresh table,
// so a refused file loads nothing.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kernel/quaternion.h"
#include "kernel/vector3.h"

class nFileServer2;

struct nBoneKeys {
    // Empty when the bone has no such track.
    std::vector<vector3> trans;
    std::vector<quaternion> rot;
    int numKeys = 0;
};

struct nBoneKeyTable {
    // Marks a missing track in binary files.
    static constexpr uint32_t NoTrack = 0xCCCCCCCCu;
    // Text files announce counts without carrying the keys: bones x keys is bounded.
    static constexpr long long MaxTextKeys = 1 << 22;
    static constexpr long long MaxBones = 1 << 16;

    int numBones = 0;
    int numKeys = 0;
    // One entry a bone; null for a bone without keys.
    std::vector<std::unique_ptr<nBoneKeys>> bones;

    // The readers on bytes in memory; false (logged with `what` and the reason) for a
    // malformed file, leaving the table as it was.
    bool ReadText(const char* data, size_t size, const char* what);
    bool ReadBinary(const char* data, size_t size, const char* what);
    // Text when the name's extension from its last '.' is exactly ".tkey", else binary.
    static bool IsTextName(const char* fileName);
};
