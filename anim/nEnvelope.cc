#include "anim/nEnvelope.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kernel/nFile.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/quaternion.h"

const nClassInfo nEnvelope::classInfo = nClassInfo::Make<nEnvelope>("nenvelope", "nroot");

nEnvelope::nEnvelope() = default;
nEnvelope::~nEnvelope() = default;

bool nEnvelope::BeginKeys(int count, int kind) {
    keys_.clear();
    kind_ = 0;
    if (count < 0 || count > MaxKeys) {
        n_error("%s: BeginKeys: key count %d is outside 0 to %d\n", GetFullName().c_str(), count, MaxKeys);
        return false;
    }
    kind_ = kind;
    keys_.resize(static_cast<size_t>(count));
    return true;
}

bool nEnvelope::SetKey(int index, float time, int type, const float values[4]) {
    if (index < 0 || index >= GetNumKeys()) {
        n_error("%s: SetKey: key %d of %d\n", GetFullName().c_str(), index, GetNumKeys());
        return false;
    }
    if (type < Step || type > Ease) {
        n_error("%s: SetKey: unknown interpolation type %d\n", GetFullName().c_str(), type);
        return false;
    }
    Key& k = keys_[static_cast<size_t>(index)];
    k.time = time;
    k.type = type;
    for (int i = 0; i < 4; i++) k.v[i] = i < kind_ ? values[i] : 0.0f;
    return true;
}

// ---- key-buffer text

bool nEnvelope::SaveKeys(nFileServer2* fs, const char* fileName) {
    if (kind_ < 1 || kind_ > 4) {
        n_error("%s: SaveKeys '%s': %d values per key; only 1 to 4 can be written\n", GetFullName().c_str(),
                fileName ? fileName : "", kind_);
        return false;
    }
    // The whole text first, so a failed open leaves nothing half written.
    std::string text;
    char line[512];
    std::snprintf(line, sizeof line, "keybuffer %d %d\n", GetNumKeys(), kind_);
    text += line;
    for (const Key& k : keys_) {
        int n = std::snprintf(line, sizeof line, "key %d %f", k.type, double(k.time));
        for (int i = 0; i < kind_; i++) n += std::snprintf(line + n, sizeof line - size_t(n), " %f", double(k.v[i]));
        text += line;
        text += '\n';
    }
    nFile* file = fs ? fs->NewFileObject() : nullptr;
    if (!file || !fileName || !file->Open(fileName, "w")) {
        n_error("%s: SaveKeys: cannot open '%s' for writing\n", GetFullName().c_str(), fileName ? fileName : "");
        delete file;
        return false;
    }
    bool ok = file->Write(text.data(), text.size()) == text.size();
    file->Close();
    delete file;
    if (!ok) n_error("%s: SaveKeys: writing '%s' failed\n", GetFullName().c_str(), fileName);
    return ok;
}

bool nEnvelope::LoadKeys(nFileServer2* fs, const char* fileName) {
    nFile* file = fs ? fs->NewFileObject() : nullptr;
    if (!file || !fileName || !file->Open(fileName, "r")) {
        n_error("%s: LoadKeys: cannot open '%s'\n", GetFullName().c_str(), fileName ? fileName : "");
        delete file;
        return false;
    }
    std::string text;
    char buf[4096];
    for (size_t got; (got = file->Read(buf, sizeof buf)) > 0;) text.append(buf, got);
    file->Close();
    delete file;
    return ReadKeys(text.data(), text.size(), fileName);
}

static nFileServer2* FileServer() {
    nRoot* fs = nKernelServer::ks ? nKernelServer::ks->Lookup("/sys/servers/file2") : nullptr;
    if (!fs || !fs->IsA("nfileserver2")) nKernelServer::FatalError("Aborting.");
    return static_cast<nFileServer2*>(fs);
}

bool nEnvelope::SaveKeys(const char* fileName) {
    return SaveKeys(FileServer(), fileName);
}

bool nEnvelope::LoadKeys(const char* fileName) {
    return LoadKeys(FileServer(), fileName);
}

namespace {

// One line split into at most 8 tokens; what lies beyond is never read.
struct Tokens {
    const char* t[8];
    size_t len[8];
    int n = 0;
};

Tokens Split(const char* line, size_t size) {
    Tokens tk;
    size_t i = 0;
    while (i < size && tk.n < 8) {
        while (i < size && std::strchr(" \r\n\t", line[i])) i++;
        if (i >= size) break;
        size_t start = i;
        while (i < size && !std::strchr(" \r\n\t", line[i])) i++;
        tk.t[tk.n] = line + start;
        tk.len[tk.n] = i - start;
        tk.n++;
    }
    return tk;
}

bool Is(const Tokens& tk, int i, const char* word) {
    return tk.len[i] == std::strlen(word) && std::memcmp(tk.t[i], word, tk.len[i]) == 0;
}

// Decimal conversions of one token: text that is no number reads 0, as the format
// has always done. A float that is not finite is refused.
long long ToInt(const char* t, size_t len) {
    char buf[64];
    size_t n = len < sizeof buf - 1 ? len : sizeof buf - 1;
    std::memcpy(buf, t, n);
    buf[n] = '\0';
    return std::strtoll(buf, nullptr, 10);
}

bool ToFloat(const char* t, size_t len, float& out) {
    char buf[64];
    size_t n = len < sizeof buf - 1 ? len : sizeof buf - 1;
    std::memcpy(buf, t, n);
    buf[n] = '\0';
    char* end = nullptr;
    double d = std::strtod(buf, &end);
    if (end == buf) d = 0.0;
    out = static_cast<float>(d);
    return std::isfinite(out);
}

}  // namespace

bool nEnvelope::ReadKeys(const char* text, size_t size, const char* fileName) {
    const char* name = fileName ? fileName : "";
    std::vector<Key> keys;
    int kind = 0;
    bool begun = false;
    size_t cursor = 0;
    int lineNo = 0;
    auto fail = [&](const char* what) {
        n_error("%s: LoadKeys '%s' line %d: %s\n", GetFullName().c_str(), name, lineNo, what);
        keys_.clear();
        kind_ = 0;
        return false;
    };
    size_t pos = 0;
    while (pos < size) {
        lineNo++;
        const char* line = text + pos;
        const void* nl = std::memchr(line, '\n', size - pos);
        size_t len = nl ? size_t(static_cast<const char*>(nl) - line) : size - pos;
        pos += nl ? len + 1 : len;
        // The format's lines are short; a longer one is no key-buffer text.
        if (len >= 512) return fail("line longer than 511 characters");
        // A NUL ends the line's text, as it would in a C string.
        if (const void* z = std::memchr(line, '\0', len)) len = size_t(static_cast<const char*>(z) - line);
        Tokens tk = Split(line, len);
        if (tk.n == 0) continue;
        if (Is(tk, 0, "keybuffer")) {
            if (tk.n < 3) return fail("'keybuffer' needs a key count and a kind");
            long long count = ToInt(tk.t[1], tk.len[1]);
            long long k = ToInt(tk.t[2], tk.len[2]);
            if (count < 0 || count > MaxKeys) return fail("key count outside 0 to 100000");
            if (k < 1 || k > 4) return fail("values per key outside 1 to 4");
            keys.assign(size_t(count), Key());
            kind = int(k);
            begun = true;
            cursor = 0;
        } else if (Is(tk, 0, "key")) {
            if (!begun) return fail("'key' before 'keybuffer'");
            if (tk.n < 3) return fail("'key' needs an interpolation type and a time");
            if (tk.n - 3 < kind) return fail("'key' has fewer values than the buffer's kind");
            if (cursor >= keys.size()) return fail("more keys than the buffer's count");
            long long type = ToInt(tk.t[1], tk.len[1]);
            if (type < Step || type > Ease) return fail("interpolation type outside 0 to 4");
            Key& key = keys[cursor];
            key.type = int32_t(type);
            if (!ToFloat(tk.t[2], tk.len[2], key.time)) return fail("time is not a finite number");
            for (int i = 0; i < kind; i++)
                if (!ToFloat(tk.t[3 + i], tk.len[3 + i], key.v[i])) return fail("value is not a finite number");
            cursor++;
        }
    }
    // Keys left unset would sample as nothing the file meant.
    if (begun && cursor < keys.size()) {
        char what[96];
        std::snprintf(what, sizeof what, "the file ends after %zu of %zu keys", cursor, keys.size());
        return fail(what);
    }
    keys_ = std::move(keys);
    kind_ = kind;
    return true;
}

// ---- sampling

void nEnvelope::Interpolate(int index, float f, float out[4]) const {
    const int count = GetNumKeys();
    const Key& k0 = keys_[size_t(index - 1)];
    const Key& k1 = keys_[size_t(index)];
    const float f2 = f * f, f3 = f2 * f;
    const float h00 = 2.0f * f3 - 3.0f * f2 + 1.0f;
    const float h01 = 3.0f * f2 - 2.0f * f3;
    const float h10 = f3 - 2.0f * f2 + f;
    const float h11 = f3 - f2;
    switch (k1.type) {
        case Linear:
            for (int i = 0; i < 4; i++) out[i] = k0.v[i] + (k1.v[i] - k0.v[i]) * f;
            break;
        case Cubic: {
            // Missing neighbours at either end are mirrored from the segment itself.
            const float gap = k1.time - k0.time;
            const Key* p = index >= 2 ? &keys_[size_t(index - 2)] : nullptr;
            const Key* n = index < count - 1 ? &keys_[size_t(index + 1)] : nullptr;
            const float pTime = p ? p->time : k0.time - gap;
            const float nTime = n ? n->time : k1.time + gap;
            const float d0 = k0.time - pTime, d1 = gap, d2 = nTime - k1.time;
            for (int i = 0; i < 4; i++) {
                const float pv = p ? p->v[i] : k0.v[i];
                const float nv = n ? n->v[i] : k1.v[i];
                const float t0 = d0 != 0.0f ? d1 * ((k1.v[i] - k0.v[i]) / 2.0f + (k0.v[i] - pv) / 2.0f) / d0 : 0.0f;
                const float t1 = d1 != 0.0f ? d2 * ((k1.v[i] - k0.v[i]) / 2.0f + (nv - k1.v[i]) / 2.0f) / d1 : 0.0f;
                out[i] = h00 * k0.v[i] + h01 * k1.v[i] + h10 * t0 + h11 * t1;
            }
            break;
        }
        case Spherical: {
            quaternion q;
            q.Slerp(quaternion(k0.v[0], k0.v[1], k0.v[2], k0.v[3]), quaternion(k1.v[0], k1.v[1], k1.v[2], k1.v[3]),
                    f);
            out[0] = q.x;
            out[1] = q.y;
            out[2] = q.z;
            out[3] = q.w;
            break;
        }
        case Ease:
            for (int i = 0; i < 4; i++) out[i] = h00 * k0.v[i] + h01 * k1.v[i];
            break;
        default:
            // Step, and a key that BeginKeys made but nobody set: the start key holds.
            for (int i = 0; i < 4; i++) out[i] = k0.v[i];
            break;
    }
}

void nEnvelope::Sample(int& cursor, float values[4], float t, float scale, bool loop) {
    const int count = GetNumKeys();
    if (count < 2) {
        for (int i = 0; i < 4; i++) values[i] = count ? keys_[0].v[i] : 0.0f;
        return;
    }
    const float first = scale * keys_[0].time;
    const float last = scale * keys_[size_t(count - 1)].time;
    // A loop over no time cannot wrap (the remainder would be undefined).
    if (loop && last > 0.0f) t = std::fmod(t, last);
    // Also catches a NaN time or scale, which no segment holds.
    if (!(t >= first)) {
        for (int i = 0; i < 4; i++) values[i] = keys_[0].v[i];
        return;
    }
    int index;
    if (t >= last) {
        index = count - 1;
        t = last;
    } else {
        index = (cursor >= 0 && cursor < count && scale * keys_[size_t(cursor)].time <= t) ? cursor : 0;
        // keys[0] is not later than t and the last key is, so index ends in 1 .. count - 1.
        while (index < count - 1 && scale * keys_[size_t(index)].time <= t) index++;
    }
    cursor = index;
    index_ = index;
    const float t0 = scale * keys_[size_t(index - 1)].time;
    const float t1 = scale * keys_[size_t(index)].time;
    factor_ = t1 <= t0 ? 1.0f : (t - t0) / (t1 - t0);
    Interpolate(index, factor_, values);
}
