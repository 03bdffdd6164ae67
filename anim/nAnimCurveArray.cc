#include "anim/nAnimCurveArray.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kernel/nFile.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"

const nClassInfo nAnimCurveArray::classInfo = nClassInfo::Make<nAnimCurveArray>("nanimcurvearray", "nroot");

namespace {

const char* const ipolNames[] = {"step", "linear", "quaternion"};
const char* const repeatNames[] = {"loop", "oneshot"};

// Little-endian reads that never pass the end.
class Reader {
public:
    Reader(const char* data, size_t size) : p_(reinterpret_cast<const unsigned char*>(data)), left_(size) {}
    size_t Left() const { return left_; }
    bool U8(uint32_t& v) { return Bytes(1, v); }
    bool U16(uint32_t& v) { return Bytes(2, v); }
    bool U32(uint32_t& v) { return Bytes(4, v); }
    bool F32(float& f) {
        uint32_t v;
        if (!U32(v)) return false;
        std::memcpy(&f, &v, 4);
        return true;
    }
    bool Take(size_t n, const unsigned char*& out) {
        if (n > left_) return false;
        out = p_;
        p_ += n;
        left_ -= n;
        return true;
    }

private:
    bool Bytes(int n, uint32_t& v) {
        const unsigned char* b;
        if (!Take(static_cast<size_t>(n), b)) return false;
        v = 0;
        for (int i = n - 1; i >= 0; i--) v = (v << 8) | b[i];
        return true;
    }
    const unsigned char* p_;
    size_t left_;
};

void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; i++) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}
void PutU16(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>(v & 0xff));
    out.push_back(static_cast<char>((v >> 8) & 0xff));
}
void PutF32(std::string& out, float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    PutU32(out, v);
}

// The smallest curve record: two tags with lengths, the fixed fields, an empty name.
constexpr size_t MinRecord = 8 + 16 + 2 + 8;

bool ReadFile(nFileServer2* fs, const char* fileName, const char* mode, std::string& out) {
    nFile* file = fs ? fs->NewFileObject() : nullptr;
    if (!file || !fileName || !file->Open(fileName, mode)) {
        delete file;
        return false;
    }
    char buf[16384];
    for (size_t got; (got = file->Read(buf, sizeof buf)) > 0;) out.append(buf, got);
    file->Close();
    delete file;
    return true;
}

bool WriteFile(nFileServer2* fs, const char* fileName, const char* mode, const std::string& data) {
    nFile* file = fs ? fs->NewFileObject() : nullptr;
    if (!file || !fileName || !file->Open(fileName, mode)) {
        delete file;
        return false;
    }
    bool ok = file->Write(data.data(), data.size()) == data.size();
    file->Close();
    delete file;
    return ok;
}

nFileServer2* KernelFileServer() {
    nRoot* fs = nKernelServer::ks ? nKernelServer::ks->Lookup("/sys/servers/file2") : nullptr;
    if (!fs || !fs->IsA("nfileserver2")) nKernelServer::FatalError("Aborting.");
    return static_cast<nFileServer2*>(fs);
}

// One text line split at blanks, CR, LF and tabs; at most 8 tokens are kept.
struct Tokens {
    std::string t[8];
    int n = 0;
};

Tokens Split(const char* line, size_t size) {
    Tokens tk;
    size_t i = 0;
    while (i < size && tk.n < 8) {
        while (i < size && std::strchr(" \r\n\t", line[i]) && line[i]) i++;
        if (i >= size) break;
        size_t start = i;
        while (i < size && !(std::strchr(" \r\n\t", line[i]) && line[i])) i++;
        tk.t[tk.n++].assign(line + start, i - start);
    }
    return tk;
}

bool ParseInt(const std::string& s, long long& v) {
    if (s.empty()) return false;
    errno = 0;
    char* end = nullptr;
    v = std::strtoll(s.c_str(), &end, 10);
    return errno == 0 && end && *end == 0;
}

bool ParseFloat(const std::string& s, float& v) {
    if (s.empty()) return false;
    errno = 0;
    char* end = nullptr;
    v = std::strtof(s.c_str(), &end);
    return end && *end == 0;
}

}  // namespace

nAnimCurveArray::nAnimCurveArray() = default;
nAnimCurveArray::~nAnimCurveArray() = default;

std::string nAnimCurveArray::Describe(const char* what, const char* fileName) const {
    std::string s = GetFullName();
    s += ": ";
    s += what;
    if (fileName) {
        s += " '";
        s += fileName;
        s += "'";
    }
    return s;
}

void nAnimCurveArray::Commit(std::vector<nAnimCurve>& curves) {
    curves_.swap(curves);
    index_.clear();
    for (size_t i = 0; i < curves_.size(); i++) index_.emplace(curves_[i].GetName(), static_cast<int>(i));
}

void nAnimCurveArray::SetNumCurves(int n) {
    std::vector<nAnimCurve> curves(static_cast<size_t>(n > 0 ? n : 0));
    Commit(curves);
}

nAnimCurve* nAnimCurveArray::GetCurve(int index) {
    if (index < 0 || index >= GetNumCurves()) return nullptr;
    return &curves_[static_cast<size_t>(index)];
}

int nAnimCurveArray::FindCurveIndex(const char* name) const {
    if (!name) return -1;
    auto it = index_.find(name);
    return it == index_.end() ? -1 : it->second;
}

nAnimCurve* nAnimCurveArray::FindCurve(const char* name) {
    return GetCurve(FindCurveIndex(name));
}

size_t nAnimCurveArray::GetByteSize() const {
    size_t sum = 0;
    for (const nAnimCurve& c : curves_) sum += c.GetByteSize();
    return sum;
}

// ---- binary

bool nAnimCurveArray::ReadBinary(const char* data, size_t size, const char* what) {
    const char* name = what ? what : "";
    auto fail = [&](const char* why, long long at) {
        n_error("%s: %s (curve %lld)\n", Describe("LoadBinary", name).c_str(), why, at);
        return false;
    };
    Reader r(data, size);
    uint32_t magic, version, n;
    if (!r.U32(magic) || magic != NaxMagic) {
        n_error("%s: not a .nax file (bad magic)\n", Describe("LoadBinary", name).c_str());
        return false;
    }
    if (!r.U32(version) || !r.U32(n)) return fail("file shorter than its head", -1);
    if (n > r.Left() / MinRecord) return fail("more curves announced than the file holds", n);
    std::vector<nAnimCurve> curves(n);
    for (uint32_t c = 0; c < n; c++) {
        uint32_t tag, len, startKey, numKeys, ipol, repeat, packed, pad, nameLen;
        float kps;
        if (!r.U32(tag) || !r.U32(len) || !r.U32(startKey) || !r.U32(numKeys) || !r.F32(kps) || !r.U8(ipol) ||
            !r.U8(repeat) || !r.U8(packed) || !r.U8(pad) || !r.U16(nameLen))
            return fail("file ends inside a curve header", c);
        if (nameLen > MaxNameLength) return fail("curve name longer than 511 bytes", c);
        const unsigned char* nameBytes;
        if (!r.Take(nameLen, nameBytes)) return fail("file ends inside a curve name", c);
        if (!(kps > 0.0f) || !std::isfinite(kps)) return fail("keys per second not above 0", c);
        if (ipol > nAnimCurve::Quat) return fail("unknown interpolation type", c);
        if (repeat > nAnimCurve::Oneshot) return fail("unknown repeat type", c);
        if (startKey > INT_MAX) return fail("start key out of range", c);
        if (!r.U32(tag) || !r.U32(len)) return fail("file ends before a curve's keys", c);
        size_t keySize = packed ? 8 : 16;
        if (numKeys > r.Left() / keySize) return fail("more keys announced than the file holds", c);
        nAnimCurve& curve = curves[c];
        curve.Init(kps, static_cast<int>(startKey), static_cast<int>(numKeys), packed != 0);
        // The name is a C string: a zero inside it ends it.
        const char* nameText = reinterpret_cast<const char*>(nameBytes);
        curve.SetName(std::string(nameText, strnlen(nameText, nameLen)));
        curve.SetIpolType(static_cast<int>(ipol));
        curve.SetRepeatType(static_cast<int>(repeat));
        const unsigned char* keys = nullptr;
        if (!r.Take(numKeys * keySize, keys)) return fail("file ends inside a curve's keys", c);
        for (size_t k = 0; k < static_cast<size_t>(numKeys) * 4; k++) {
            const unsigned char* b = keys + k * (keySize / 4);
            if (packed) {
                curve.PackedKeys()[k] = static_cast<uint16_t>(b[0] | (b[1] << 8));
            } else {
                uint32_t v = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
                std::memcpy(&curve.FloatKeys()[k], &v, 4);
            }
        }
    }
    Commit(curves);
    return true;
}

bool nAnimCurveArray::LoadBinary(nFileServer2* fs, const char* fileName) {
    std::string data;
    if (!ReadFile(fs, fileName, "rb", data)) {
        n_error("%s: cannot open\n", Describe("LoadBinary", fileName ? fileName : "").c_str());
        return false;
    }
    return ReadBinary(data.data(), data.size(), fileName);
}

bool nAnimCurveArray::SaveBinary(nFileServer2* fs, const char* fileName) {
    std::string out;
    PutU32(out, NaxMagic);
    PutU32(out, 4);
    PutU32(out, static_cast<uint32_t>(curves_.size()));
    for (const nAnimCurve& c : curves_) {
        if (c.GetName().size() > MaxNameLength) {
            n_error("%s: curve name longer than 511 bytes\n", Describe("SaveBinary", fileName).c_str());
            return false;
        }
        uint32_t nameLen = static_cast<uint32_t>(c.GetName().size());
        PutU32(out, HeaderTag);
        PutU32(out, 18 + nameLen);
        PutU32(out, static_cast<uint32_t>(c.GetStartKey()));
        PutU32(out, static_cast<uint32_t>(c.GetNumKeys()));
        PutF32(out, c.GetKeysPerSecond());
        out.push_back(static_cast<char>(c.GetIpolType()));
        out.push_back(static_cast<char>(c.GetRepeatType()));
        out.push_back(c.IsPacked() ? 1 : 0);
        out.push_back(0);
        PutU16(out, nameLen);
        out += c.GetName();
        PutU32(out, c.IsPacked() ? PackedDataTag : FloatDataTag);
        PutU32(out, static_cast<uint32_t>(c.GetByteSize()));
        size_t n = static_cast<size_t>(c.GetNumKeys()) * 4;
        for (size_t k = 0; k < n; k++) {
            if (c.IsPacked()) PutU16(out, c.PackedKeys()[k]);
            else PutF32(out, c.FloatKeys()[k]);
        }
    }
    if (!WriteFile(fs, fileName, "wb", out)) {
        n_error("%s: cannot write\n", Describe("SaveBinary", fileName ? fileName : "").c_str());
        return false;
    }
    return true;
}

// ---- text

bool nAnimCurveArray::ReadText(const char* data, size_t size, const char* what) {
    const char* name = what ? what : "";
    int lineNo = 0;
    auto fail = [&](const char* why) {
        n_error("%s line %d: %s\n", Describe("LoadText", name).c_str(), lineNo, why);
        return false;
    };
    std::vector<nAnimCurve> curves;
    bool announced = false;
    int current = -1;
    int keyCount = 0;
    long long totalKeys = 0;
    size_t pos = 0;
    while (pos < size) {
        size_t end = pos;
        while (end < size && data[end] != '\n') end++;
        lineNo++;
        const char* line = data + pos;
        size_t len = end - pos;
        pos = end + 1;
        if (len > 511) return fail("line longer than 511 characters");
        Tokens tk = Split(line, len);
        if (tk.n == 0) continue;
        const std::string& key = tk.t[0];
        if (key == "curves") {
            long long n;
            if (tk.n < 2) return fail("'curves' without a count");
            if (!ParseInt(tk.t[1], n) || n < 0 || n > MaxTextCurves) return fail("bad curve count");
            curves.assign(static_cast<size_t>(n), nAnimCurve());
            announced = true;
            current = -1;
            keyCount = 0;
            totalKeys = 0;
        } else if (key == "curve") {
            if (tk.n < 7) return fail("'curve' needs name, start key, keys, keys per second, repeat, interpolation");
            if (!announced) return fail("'curve' before 'curves'");
            if (current + 1 >= static_cast<int>(curves.size())) return fail("more 'curve' lines than announced");
            long long startKey, numKeys;
            float kps;
            if (!ParseInt(tk.t[2], startKey) || startKey < INT_MIN || startKey > INT_MAX) return fail("bad start key");
            if (!ParseInt(tk.t[3], numKeys) || numKeys < 0) return fail("bad number of keys");
            if (!ParseFloat(tk.t[4], kps) || !(kps > 0.0f) || !std::isfinite(kps))
                return fail("keys per second not above 0");
            int ipol = -1;
            for (int i = 0; i < 3; i++)
                if (tk.t[6] == ipolNames[i]) ipol = i;
            if (ipol < 0) return fail("unknown interpolation type");
            totalKeys += numKeys;
            if (totalKeys > MaxTextKeys) return fail("too many keys for a text curve file");
            int repeat = tk.t[5] == "oneshot" ? nAnimCurve::Oneshot : nAnimCurve::Loop;
            nAnimCurve& c = curves[static_cast<size_t>(++current)];
            c.Init(kps, static_cast<int>(startKey), static_cast<int>(numKeys), ipol == nAnimCurve::Quat);
            c.SetName(tk.t[1]);
            c.SetIpolType(ipol);
            c.SetRepeatType(repeat);
            keyCount = 0;
        } else if (key == "key") {
            if (tk.n < 5) return fail("'key' needs four values");
            if (current < 0) return fail("'key' before the first 'curve'");
            nAnimCurve& c = curves[static_cast<size_t>(current)];
            if (keyCount >= c.GetNumKeys()) return fail("more 'key' lines than the curve has keys");
            nAnimKey k;
            if (!ParseFloat(tk.t[1], k.x) || !ParseFloat(tk.t[2], k.y) || !ParseFloat(tk.t[3], k.z) ||
                !ParseFloat(tk.t[4], k.w))
                return fail("a key value is no number");
            c.SetKey(keyCount++, k);
        }
    }
    Commit(curves);
    return true;
}

bool nAnimCurveArray::LoadText(nFileServer2* fs, const char* fileName) {
    std::string data;
    if (!ReadFile(fs, fileName, "r", data)) {
        n_error("%s: cannot open\n", Describe("LoadText", fileName ? fileName : "").c_str());
        return false;
    }
    return ReadText(data.data(), data.size(), fileName);
}

bool nAnimCurveArray::SaveText(nFileServer2* fs, const char* fileName) {
    std::string out;
    char buf[640];
    std::snprintf(buf, sizeof buf, "curves %d\n", GetNumCurves());
    out += buf;
    for (const nAnimCurve& c : curves_) {
        const std::string& n = c.GetName();
        if (n.empty() || n.size() > 400 || n.find_first_of(" \r\n\t") != std::string::npos) {
            n_error("%s: curve name '%s' cannot be written as text\n", Describe("SaveText", fileName).c_str(),
                    n.c_str());
            return false;
        }
        int ipol = c.GetIpolType();
        std::snprintf(buf, sizeof buf, "curve %s %d %d %f %s %s\n", n.c_str(), c.GetStartKey(), c.GetNumKeys(),
                      static_cast<double>(c.GetKeysPerSecond()), repeatNames[c.GetRepeatType() == 1 ? 1 : 0],
                      ipolNames[ipol >= 0 && ipol <= 2 ? ipol : 1]);
        out += buf;
        for (int k = 0; k < c.GetNumKeys(); k++) {
            nAnimKey v = c.GetKey(k);
            std::snprintf(buf, sizeof buf, "key %f %f %f %f\n", static_cast<double>(v.x), static_cast<double>(v.y),
                          static_cast<double>(v.z), static_cast<double>(v.w));
            out += buf;
        }
    }
    if (!WriteFile(fs, fileName, "w", out)) {
        n_error("%s: cannot write\n", Describe("SaveText", fileName ? fileName : "").c_str());
        return false;
    }
    return true;
}

bool nAnimCurveArray::Load(const char* fileName) {
    if (fileName && std::strstr(fileName, ".nax")) return LoadBinary(KernelFileServer(), fileName);
    return LoadText(KernelFileServer(), fileName);
}
