#include "gfx/MeshFile.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"

int MeshFile::NvxVertexWords(uint32_t mask) {
    int n = 3;
    if (mask & 0x2) n += 3;
    if (mask & 0x4) n += 1;
    for (uint32_t bit : {0x8u, 0x10u, 0x20u, 0x40u}) {
        if (mask & bit) n += 2;
    }
    if (mask & 0x80) n += 6;
    return n;
}

bool MeshFile::Fail(const std::string& why) {
    error_ = why;
    positions_.clear();
    triangles_.clear();
    vertexWords_.clear();
    header_ = NvxHeader();
    return false;
}

bool MeshFile::ReadWholeFile(const char* fileName, std::string& out, std::string& why) {
    nKernelServer* ks = nKernelServer::ks;
    nFileServer2* fs = ks ? ks->GetFileServer<nFileServer2>() : nullptr;
    if (!fs) {
        why = "no file server";
        return false;
    }
    if (!fs->ReadFile(fileName, out)) {
        why = "cannot be read";
        return false;
    }
    return true;
}

bool MeshFile::ReadN3d(const char* fileName) {
    std::string text, why;
    if (!ReadWholeFile(fileName, text, why)) return Fail(why);
    return ParseN3d(text.data(), text.size());
}

bool MeshFile::ReadNvx(const char* fileName) {
    std::string bytes, why;
    if (!ReadWholeFile(fileName, bytes, why)) return Fail(why);
    return ParseNvx(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

int MeshFile::Tokenize(const char* p, const char* end, std::string* tokens, int max) {
    int n = 0;
    while (p < end) {
        while (p < end && IsBlank(*p)) p++;
        if (p >= end) break;
        const char* start = p;
        while (p < end && !IsBlank(*p)) p++;
        if (n < max) tokens[n].assign(start, size_t(p - start));
        n++;
    }
    return n;
}

bool MeshFile::ParseFloat(const std::string& s, float& out) {
    char* end = nullptr;
    errno = 0;
    float v = std::strtof(s.c_str(), &end);
    if (end == s.c_str() || *end != '\0' || !std::isfinite(v)) return false;
    out = v;
    return true;
}

bool MeshFile::ParseCorner(const std::string& s, long& out) {
    std::string head = s.substr(0, s.find('/'));
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(head.c_str(), &end, 10);
    if (end == head.c_str() || *end != '\0' || errno == ERANGE) return false;
    out = v - 1;
    return true;
}

bool MeshFile::ParseN3d(const char* text, size_t size) {
    error_.clear();
    positions_.clear();
    triangles_.clear();
    std::vector<long> corners;
    const char* p = text;
    const char* end = text + size;
    int lineNo = 0;
    std::string tok[4];
    while (p < end) {
        const char* eol = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        if (!eol) eol = end;
        lineNo++;
        int n = Tokenize(p, eol, tok, 4);
        p = eol < end ? eol + 1 : end;
        if (n == 0) continue;
        if (tok[0] == "v") {
            vector3 v;
            if (n < 4 || !ParseFloat(tok[1], v.x) || !ParseFloat(tok[2], v.y) || !ParseFloat(tok[3], v.z)) {
                return Fail("line " + std::to_string(lineNo) + ": a \"v\" line needs three numbers");
            }
            positions_.push_back(v);
        } else if (tok[0] == "f") {
            if (n < 4) return Fail("line " + std::to_string(lineNo) + ": an \"f\" line needs three corners");
            for (int i = 1; i <= 3; i++) {
                long c = 0;
                if (!ParseCorner(tok[i], c)) {
                    return Fail("line " + std::to_string(lineNo) + ": corner '" + tok[i] + "' is no index");
                }
                corners.push_back(c);
            }
        }
    }
    if (positions_.empty() || corners.empty()) return Fail("no \"v\" or no \"f\" lines");
    for (long c : corners) {
        if (c < 0 || c >= long(positions_.size())) {
            return Fail("corner " + std::to_string(c + 1) + " outside the " + std::to_string(positions_.size()) +
                        " vertices");
        }
        triangles_.push_back(int(c));
    }
    return true;
}

namespace {

uint32_t U32At(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

bool MeshFile::ReadNvxHeader(const uint8_t* bytes, size_t size, NvxHeader& h, std::string& why) {
    if (size < 28) {
        why = "too short for an .nvx header";
        return false;
    }
    if (U32At(bytes) != NvxMagic) {
        why = "wrong magic";
        return false;
    }
    h.numVertices = U32At(bytes + 4);
    h.numIndices = U32At(bytes + 8);
    h.numEdges = U32At(bytes + 12);
    h.vertexMask = U32At(bytes + 16);
    h.dataOffset = U32At(bytes + 20);
    h.dataSize = U32At(bytes + 24);
    if (uint64_t(h.dataOffset) + h.dataSize > size) {
        why = "data block outside the file";
        return false;
    }
    const uint64_t vertexBytes = uint64_t(h.numVertices) * uint64_t(NvxVertexWords(h.vertexMask)) * 4;
    const uint64_t edgeBytes = uint64_t(h.numEdges) * 8;
    const uint64_t indexBytes = uint64_t(h.numIndices) * 2;
    if (vertexBytes + edgeBytes + indexBytes > h.dataSize) {
        why = "header counts do not fit the data block";
        return false;
    }
    return true;
}

bool MeshFile::ParseNvx(const uint8_t* bytes, size_t size) {
    error_.clear();
    positions_.clear();
    triangles_.clear();
    vertexWords_.clear();
    NvxHeader h;
    std::string why;
    if (!ReadNvxHeader(bytes, size, h, why)) return Fail(why);
    const uint64_t words = uint64_t(NvxVertexWords(h.vertexMask));
    const uint64_t vertexBytes = uint64_t(h.numVertices) * words * 4;
    const uint64_t edgeBytes = uint64_t(h.numEdges) * 8;
    if (h.numVertices == 0 || h.numIndices < 3) return Fail("no vertices or no triangles");
    const uint8_t* data = bytes + h.dataOffset;
    vertexWords_.resize(size_t(h.numVertices * words));
    std::memcpy(vertexWords_.data(), data, size_t(vertexBytes));
    positions_.resize(h.numVertices);
    for (uint32_t i = 0; i < h.numVertices; i++) {
        const float* v = &vertexWords_[size_t(i * words)];
        positions_[i] = vector3(v[0], v[1], v[2]);
        if (!std::isfinite(v[0]) || !std::isfinite(v[1]) || !std::isfinite(v[2])) {
            return Fail("vertex " + std::to_string(i) + " is not finite");
        }
    }
    const uint8_t* idx = data + vertexBytes + edgeBytes;
    const uint32_t numTriangles = h.numIndices / 3;
    triangles_.resize(size_t(numTriangles) * 3);
    for (size_t i = 0; i < triangles_.size(); i++) {
        uint32_t v = uint32_t(idx[2 * i]) | uint32_t(idx[2 * i + 1]) << 8;
        if (v >= h.numVertices) {
            return Fail("index " + std::to_string(v) + " outside the " + std::to_string(h.numVertices) + " vertices");
        }
        triangles_[i] = int(v);
    }
    header_ = h;
    return true;
}
