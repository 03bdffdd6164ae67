#include "anim/nBoneKeys.h"

#include <cstdlib>
#include <cstring>

#include "kernel/nKernelServer.h"

namespace {

// Fields of a key line between '(' and ')', split at runs of ',' and ' '.
std::vector<std::string> Fields(const std::string& line, size_t open) {
    std::vector<std::string> out;
    const size_t close = line.find(')', open);
    const std::string inner = line.substr(open, close == std::string::npos ? std::string::npos : close - open);
    size_t i = 0;
    while (i < inner.size()) {
        while (i < inner.size() && (inner[i] == ',' || inner[i] == ' ')) i++;
        size_t j = i;
        while (j < inner.size() && inner[j] != ',' && inner[j] != ' ') j++;
        if (j > i) out.push_back(inner.substr(i, j - i));
        i = j;
    }
    return out;
}

// A decimal integer as the files have it: leading blanks skipped, digits up to the
// first other character, 0 without digits; far out of range gives -1.
long long Int(const std::string& s) {
    const char* p = s.c_str();
    while (*p == ' ' || *p == '\t') p++;
    bool neg = false;
    if (*p == '-' || *p == '+') neg = *p++ == '-';
    long long v = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
        v = v * 10 + (*p - '0');
        if (v > (1LL << 40)) return -1;
    }
    return neg ? -v : v;
}

float Float(const std::string& s) { return std::strtof(s.c_str(), nullptr); }

struct Reader {
    const uint8_t* p;
    size_t left;
    bool U32(uint32_t& v) {
        if (left < 4) return false;
        v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        p += 4, left -= 4;
        return true;
    }
    bool Floats(float* out, size_t n) {
        if (left / 4 < n) return false;
        for (size_t i = 0; i < n; i++) {
            uint32_t v = 0;
            U32(v);
            std::memcpy(&out[i], &v, 4);
        }
        return true;
    }
};

}  // namespace

bool nBoneKeyTable::IsTextName(const char* fileName) {
    const char* dot = fileName ? std::strrchr(fileName, '.') : nullptr;
    return dot && std::strcmp(dot, ".tkey") == 0;
}

bool nBoneKeyTable::ReadText(const char* data, size_t size, const char* what) {
    nBoneKeyTable t;
    bool haveKeys = false;
    int lineNo = 0;
    auto fail = [&](const char* why) {
        n_error("key file '%s', line %d: %s\n", what, lineNo, why);
        return false;
    };
    size_t pos = 0;
    while (pos < size) {
        size_t end = pos;
        while (end < size && data[end] != '\n') end++;
        lineNo++;
        if (end - pos > 511) return fail("line longer than 511 characters");
        const std::string line(data + pos, end - pos);
        pos = end + 1;
        size_t at;
        if ((at = line.find("numbones(")) != std::string::npos) {
            const long long n = Int(line.substr(at + 9));
            if (n < 0 || n > MaxBones) return fail("bad bone count (at most 65536)");
            t.numBones = int(n);
            t.numKeys = 0;
            t.bones.clear();
            t.bones.resize(size_t(n));
            haveKeys = false;
        } else if ((at = line.find("numkeys(")) != std::string::npos) {
            const long long k = Int(line.substr(at + 8));
            // Every bone gets a key record even for 0 keys: count it as one.
            if (k < 0 || k > MaxTextKeys || (k > 0 ? k : 1) * (t.numBones > 0 ? t.numBones : 1) > MaxTextKeys)
                return fail("bad key count (bones x keys at most 4194304)");
            t.numKeys = int(k);
            for (auto& b : t.bones) {
                b = std::make_unique<nBoneKeys>();
                b->numKeys = t.numKeys;
            }
            haveKeys = true;
        } else {
            const bool rot = (at = line.find("rotkey(")) != std::string::npos;
            if (!rot && (at = line.find("transkey(")) == std::string::npos) continue;
            if (!haveKeys) return fail("key line before \"numkeys(\"");
            const std::vector<std::string> f = Fields(line, at + (rot ? 7 : 9));
            if (f.size() < (rot ? 6u : 5u)) return fail("key line with too few fields");
            const long long b = Int(f[0]), k = Int(f[1]);
            if (b < 0 || b >= t.numBones) return fail("bone index out of range");
            if (k < 0 || k >= t.numKeys) return fail("key index out of range");
            nBoneKeys& keys = *t.bones[size_t(b)];
            if (rot) {
                if (keys.rot.empty()) keys.rot.assign(size_t(t.numKeys), quaternion());
                keys.rot[size_t(k)] = quaternion(Float(f[2]), Float(f[3]), Float(f[4]), Float(f[5]));
            } else {
                // A track starts zeroed: keys no line sets are not left undefined.
                if (keys.trans.empty()) keys.trans.assign(size_t(t.numKeys), vector3());
                keys.trans[size_t(k)] = vector3(Float(f[2]), Float(f[3]), Float(f[4]));
            }
        }
    }
    *this = std::move(t);
    return true;
}

bool nBoneKeyTable::ReadBinary(const char* data, size_t size, const char* what) {
    Reader r{reinterpret_cast<const uint8_t*>(data), size};
    auto fail = [&](const char* why) {
        n_error("key file '%s': %s\n", what, why);
        return false;
    };
    uint32_t bones, keys;
    if (!r.U32(bones) || !r.U32(keys)) return fail("file ends inside the header");
    // Each bone takes at least its two track words.
    if (bones > r.left / 8) return fail("more bones announced than the file holds");
    nBoneKeyTable t;
    t.numBones = int(bones);
    t.numKeys = int(keys > 0x7FFFFFFFu ? 0x7FFFFFFFu : keys);
    t.bones.resize(bones);
    for (uint32_t i = 0; i < bones; i++) {
        uint32_t index;
        if (!r.U32(index)) return fail("file ends before a translation track");
        if (index != NoTrack) {
            if (index >= bones) return fail("translation track of a bone out of range");
            if (keys > r.left / 12) return fail("file ends inside a translation track");
            // A bone given twice replaces its old keys.
            auto b = std::make_unique<nBoneKeys>();
            b->numKeys = int(keys);
            b->trans.resize(keys);
            for (vector3& v : b->trans) {
                float f[3];
                r.Floats(f, 3);
                v.set(f[0], f[1], f[2]);
            }
            t.bones[index] = std::move(b);
        }
        if (!r.U32(index)) return fail("file ends before a rotation track");
        if (index != NoTrack) {
            if (index >= bones) return fail("rotation track of a bone out of range");
            if (keys > r.left / 16) return fail("file ends inside a rotation track");
            auto& b = t.bones[index];
            if (!b) {
                b = std::make_unique<nBoneKeys>();
                b->numKeys = int(keys);
            }
            b->rot.resize(keys);
            for (quaternion& q : b->rot) {
                float f[4];
                r.Floats(f, 4);
                q.set(f[0], f[1], f[2], f[3]);
            }
        }
    }
    *this = std::move(t);
    return true;
}
