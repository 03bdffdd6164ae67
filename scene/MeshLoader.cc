#include "scene/MeshLoader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "gfx/MeshFile.h"
#include "gfx/nVertexBuffer.h"
#include "gfx/nVertexPool.h"
#include "kernel/nFile.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "scene/nShadowCaster.h"

// The file blocks are copied as they are: their byte order is the machine's.
static_assert(std::endian::native == std::endian::little, "mesh files are little-endian");

namespace {

// The keys of .n3d lines and the values each needs after it.
enum Key { KeyV, KeyVn, KeyRgba, KeyVt0, KeyVt1, KeyVt2, KeyVt3, KeyJw1, KeyJw2, KeyJw3, KeyJw4, KeyWe, KeyF, KeyOther };

Key KeyOf(const std::string& t) {
    static const struct {
        const char* name;
        Key key;
    } keys[] = {{"v", KeyV},     {"vn", KeyVn},   {"rgba", KeyRgba}, {"vt", KeyVt0}, {"vt1", KeyVt1},
                {"vt2", KeyVt2}, {"vt3", KeyVt3}, {"jw1", KeyJw1},   {"jw2", KeyJw2}, {"jw3", KeyJw3},
                {"jw4", KeyJw4}, {"we", KeyWe},   {"f", KeyF},       {"fx", KeyF}};
    for (const auto& k : keys) {
        if (t == k.name) return k.key;
    }
    return KeyOther;
}

// A whole token as an integer.
bool ParseInt(const std::string& s, long& out) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(s.c_str(), &end, 10);
    if (end == s.c_str() || *end != '\0' || errno == ERANGE) return false;
    out = v;
    return true;
}

uint32_t PackArgb(const float rgba[4]) {
    uint32_t c[4];
    for (int i = 0; i < 4; i++) c[i] = uint32_t(std::clamp(rgba[i], 0.0f, 1.0f) * 255.0f);
    return c[3] << 24 | c[0] << 16 | c[1] << 8 | c[2];
}

uint32_t SwapRedBlue(uint32_t c) {
    return (c & 0xFF00FF00u) | ((c >> 16) & 0xFFu) | ((c & 0xFFu) << 16);
}

// n joints with their weights: divided by their sum; a sum that is not above 0 gives the
// first joint everything. Slots from n on are 0.
void NormalizeWeights(int n, float w[4]) {
    float sum = 0.0f;
    for (int k = 0; k < n; k++) sum += w[k];
    if (n > 1 && sum > 0.0f) {
        for (int k = 0; k < n; k++) w[k] /= sum;
    } else {
        w[0] = 1.0f;
        for (int k = 1; k < n; k++) w[k] = 0.0f;
    }
    for (int k = n; k < 4; k++) w[k] = 0.0f;
}

// The largest of n little-endian u16 at p (0 for none); a loop without early exit, so the
// common case of a good file is checked at memory speed.
uint32_t MaxU16(const uint8_t* p, size_t n) {
    uint16_t best = 0;
    size_t i = 0;
#if defined(__SSE2__)
    // Sixteen lanes in two registers; max(a, v) is a + (v - a saturated at 0).
    __m128i a = _mm_setzero_si128(), b = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * i));
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * i + 16));
        a = _mm_add_epi16(a, _mm_subs_epu16(v, a));
        b = _mm_add_epi16(b, _mm_subs_epu16(w, b));
    }
    a = _mm_add_epi16(a, _mm_subs_epu16(b, a));
    uint16_t lanes[8];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), a);
    for (uint16_t l : lanes) best = l > best ? l : best;
#endif
    for (; i < n; i++) {
        uint16_t v;
        std::memcpy(&v, p + 2 * i, 2);
        best = v > best ? v : best;
    }
    return best;
}

// The first of n u16 at p that is at least `limit` (for the message).
uint32_t FirstAtOrAbove(const uint8_t* p, size_t n, uint32_t limit) {
    for (size_t i = 0; i < n; i++) {
        uint16_t v;
        std::memcpy(&v, p + 2 * i, 2);
        if (v >= limit) return v;
    }
    return 0;
}

// Takes `count` positions, `stride` bytes apart, into lo and hi as bbox3::Extend does: a
// value is taken only when it is below (above) the one held, so NaN never is.
void ExtendBox(const uint8_t* p, size_t count, size_t stride, float lo[3], float hi[3]) {
    size_t i = 0;
#if defined(__SSE2__)
    // Four running boxes, so that one comparison need not wait for the one before; a
    // 16-byte load takes the position and one more word of the vertex.
    if (stride >= 16 && count >= 4) {
        __m128 l[4], h[4];
        for (int k = 0; k < 4; k++) {
            l[k] = _mm_setr_ps(lo[0], lo[1], lo[2], 0.0f);
            h[k] = _mm_setr_ps(hi[0], hi[1], hi[2], 0.0f);
        }
        for (; i + 4 <= count; i += 4) {
            for (int k = 0; k < 4; k++) {
                const __m128 c = _mm_loadu_ps(reinterpret_cast<const float*>(p + (i + size_t(k)) * stride));
                l[k] = _mm_min_ps(c, l[k]);  // c < l ? c : l
                h[k] = _mm_max_ps(c, h[k]);  // c > h ? c : h
            }
        }
        for (int k = 1; k < 4; k++) {
            l[0] = _mm_min_ps(l[k], l[0]);
            h[0] = _mm_max_ps(h[k], h[0]);
        }
        float out[4];
        _mm_storeu_ps(out, l[0]);
        std::memcpy(lo, out, 12);
        _mm_storeu_ps(out, h[0]);
        std::memcpy(hi, out, 12);
    }
#endif
    for (; i < count; i++) {
        float c[3];
        std::memcpy(c, p + i * stride, 12);
        for (int k = 0; k < 3; k++) lo[k] = std::min(lo[k], c[k]), hi[k] = std::max(hi[k], c[k]);
    }
}

void ResetBox(bbox3& box) {
    box.vmin = vector3(1e6f, 1e6f, 1e6f);
    box.vmax = vector3(-1e6f, -1e6f, -1e6f);
}

}  // namespace

bool MeshLoader::fail(const std::string& why) {
    error_ = why;
    reset();
    return false;
}

void MeshLoader::reset() {
    components_ = numVertices_ = numIndices_ = numEdges_ = 0;
    maxIndex_ = 0;
    isNvx_ = false;
    coords_.clear();
    normals_.clear();
    for (auto& uv : uvs_) uv.clear();
    weights_.clear();
    colors_.clear();
    joints_.clear();
    indices_.clear();
    edges_.clear();
    nvxVertices_ = nvxEdges_ = nvxIndices_ = nullptr;
    nvxStride_ = 0;
    vertexFile_.reset();
    vertexOffset_ = 0;
}

bool MeshLoader::readFile(const char* fileName) {
    fileBytes_.reset();
    fileSize_ = 0;
    nKernelServer* ks = nKernelServer::ks;
    nFileServer2* fs = ks ? ks->GetFileServer<nFileServer2>() : nullptr;
    if (!fs) return fail("no file server");
    std::unique_ptr<nFile> file(fs->NewFileObject());
    if (!fileName || !file->Open(fileName, "rb")) return fail("cannot be read");
    const size_t size = file->GetSize();
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[size ? size : 1]);
    const size_t got = size ? file->Read(bytes.get(), size) : 0;
    file->Close();
    if (got != size) return fail("read " + std::to_string(got) + " of " + std::to_string(size) + " bytes");
    fileBytes_ = std::move(bytes);
    fileSize_ = size;
    return true;
}

bool MeshLoader::ReadN3d(const char* fileName) {
    if (!readFile(fileName)) return false;
    const bool ok = ParseN3d(reinterpret_cast<const char*>(fileBytes_.get()), fileSize_);
    // The parsed arrays hold everything; the text is not needed again.
    fileBytes_.reset();
    fileSize_ = 0;
    return ok;
}

bool MeshLoader::ReadNvx(const char* fileName) {
    reset();
    error_.clear();
    fileBytes_.reset();
    fileSize_ = 0;
    nKernelServer* ks = nKernelServer::ks;
    nFileServer2* fs = ks ? ks->GetFileServer<nFileServer2>() : nullptr;
    if (!fs) return fail("no file server");
    std::unique_ptr<nFile> file(fs->NewFileObject());
    if (!fileName || !file->Open(fileName, "rb")) return fail("cannot be read");
    const size_t size = file->GetSize();
    uint8_t head[28] = {};
    const size_t headBytes = std::min(size, sizeof(head));
    if (file->Read(head, headBytes) != headBytes) return fail("the header cannot be read");
    MeshFile::NvxHeader h;
    std::string why;
    if (!MeshFile::ReadNvxHeader(head, size, h, why)) return fail(why);
    const int stride = checkNvxHeader(h);
    if (!stride) return false;
    // Edges and indices follow the vertices; they are checked before anything is made.
    const size_t vertexBytes = size_t(h.numVertices) * size_t(stride);
    const size_t tail = size_t(h.numEdges) * 8 + size_t(h.numIndices) * 2;
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[tail ? tail : 1]);
    if (tail && (!file->Seek(int64_t(h.dataOffset) + int64_t(vertexBytes), nFile::START) ||
                 file->Read(bytes.get(), tail) != tail)) {
        return fail("the edges and indices cannot be read");
    }
    fileBytes_ = std::move(bytes);
    fileSize_ = tail;
    if (!acceptNvx(h, stride, nullptr, fileBytes_.get(), fileBytes_.get() + size_t(h.numEdges) * 8)) return false;
    vertexFile_ = std::move(file);
    vertexOffset_ = h.dataOffset;
    return true;
}

// One pass over the lines into per-key arrays; the counts are compared at the end. Lines
// of any length are read whole, so a long comment line never ends the mesh early.
bool MeshLoader::ParseN3d(const char* text, size_t size) {
    reset();
    error_.clear();
    std::vector<long> corners;
    std::vector<long> edgeCorners;
    const char* p = text;
    const char* end = text + size;
    int lineNo = 0;
    std::string tok[9];
    auto line = [&lineNo](const std::string& what) { return "line " + std::to_string(lineNo) + ": " + what; };
    while (p < end) {
        const char* eol = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        if (!eol) eol = end;
        lineNo++;
        const int n = MeshFile::Tokenize(p, eol, tok, 9);
        p = eol < end ? eol + 1 : end;
        if (n == 0) continue;
        const Key key = KeyOf(tok[0]);
        if (key == KeyOther) continue;
        // Values each key needs after it.
        static const int needs[] = {3, 3, 4, 2, 2, 2, 2, 2, 4, 6, 8, 4, 3};
        if (n - 1 < needs[key]) {
            return fail(line("a \"" + tok[0] + "\" line needs " + std::to_string(needs[key]) + " values"));
        }
        float f[8];
        switch (key) {
        case KeyV:
        case KeyVn:
        case KeyRgba:
        case KeyVt0:
        case KeyVt1:
        case KeyVt2:
        case KeyVt3:
            for (int i = 0; i < needs[key]; i++) {
                if (!MeshFile::ParseFloat(tok[i + 1], f[i])) return fail(line("'" + tok[i + 1] + "' is no number"));
            }
            if (key == KeyV) {
                if (coords_.size() / 3 >= size_t(MaxVertices)) {
                    return fail("more than " + std::to_string(MaxVertices) + " vertices");
                }
                coords_.insert(coords_.end(), f, f + 3);
            } else if (key == KeyVn) {
                normals_.insert(normals_.end(), f, f + 3);
            } else if (key == KeyRgba) {
                colors_.push_back(PackArgb(f));
            } else {
                std::vector<float>& uv = uvs_[key - KeyVt0];
                uv.insert(uv.end(), f, f + 2);
            }
            break;
        case KeyJw1:
        case KeyJw2:
        case KeyJw3:
        case KeyJw4: {
            const int joints = key - KeyJw1 + 1;
            long j[4] = {0, 0, 0, 0};
            float w[4] = {0, 0, 0, 0};
            for (int k = 0; k < joints; k++) {
                if (!ParseInt(tok[1 + 2 * k], j[k]) || j[k] < INT32_MIN || j[k] > INT32_MAX) {
                    return fail(line("joint '" + tok[1 + 2 * k] + "' is no integer"));
                }
                if (!MeshFile::ParseFloat(tok[2 + 2 * k], w[k])) {
                    return fail(line("weight '" + tok[2 + 2 * k] + "' is no number"));
                }
            }
            NormalizeWeights(joints, w);
            for (int k = 0; k < 4; k++) {
                joints_.push_back(int32_t(j[k]));
                weights_.push_back(w[k]);
            }
            break;
        }
        case KeyWe:
            for (int k = 0; k < 4; k++) {
                long v = 0;
                if (!ParseInt(tok[k + 1], v)) return fail(line("edge corner '" + tok[k + 1] + "' is no integer"));
                edgeCorners.push_back(v);
            }
            break;
        case KeyF:
            for (int k = 0; k < 3; k++) {
                long c = 0;
                if (!MeshFile::ParseCorner(tok[k + 1], c)) return fail(line("corner '" + tok[k + 1] + "' is no index"));
                corners.push_back(c);
            }
            break;
        default: break;
        }
    }

    const size_t nv = coords_.size() / 3;
    if (nv == 0) return fail("no \"v\" line");
    struct Count {
        const char* key;
        size_t count;
    } counts[] = {{"vn", normals_.size() / 3}, {"rgba", colors_.size()},      {"vt", uvs_[0].size() / 2},
                  {"vt1", uvs_[1].size() / 2}, {"vt2", uvs_[2].size() / 2},  {"vt3", uvs_[3].size() / 2},
                  {"jw", weights_.size() / 4}};
    for (const Count& c : counts) {
        if (c.count != 0 && c.count != nv) {
            return fail(std::to_string(nv) + " \"v\" lines but " + std::to_string(c.count) + " \"" + c.key + "\" lines");
        }
    }
    for (long c : corners) {
        if (c < 0 || c >= long(nv)) {
            return fail("face corner " + std::to_string(c + 1) + " outside 1.." + std::to_string(nv));
        }
    }
    for (long c : edgeCorners) {
        if (c < 0 || c >= long(nv)) {
            return fail("edge corner " + std::to_string(c) + " outside 0.." + std::to_string(nv - 1));
        }
    }

    components_ = N_VT_COORD;
    if (!normals_.empty()) components_ |= N_VT_NORM;
    if (!colors_.empty()) components_ |= N_VT_RGBA;
    for (int k = 0; k < 4; k++) {
        if (!uvs_[k].empty()) components_ |= N_VT_UV0 << k;
    }
    if (!weights_.empty()) components_ |= N_VT_JW;

    // Triangles in ascending order of their first index; equal ones keep file order.
    std::vector<std::array<uint16_t, 3>> tris(corners.size() / 3);
    for (size_t t = 0; t < tris.size(); t++) {
        tris[t] = {uint16_t(corners[3 * t]), uint16_t(corners[3 * t + 1]), uint16_t(corners[3 * t + 2])};
    }
    std::stable_sort(tris.begin(), tris.end(), [](const auto& a, const auto& b) { return a[0] < b[0]; });
    indices_.reserve(corners.size());
    for (const auto& t : tris) indices_.insert(indices_.end(), t.begin(), t.end());
    edges_.assign(edgeCorners.begin(), edgeCorners.end());

    numVertices_ = int(nv);
    numIndices_ = int(indices_.size());
    for (uint16_t i : indices_) maxIndex_ = std::max(maxIndex_, i);
    numEdges_ = int(edges_.size() / 4);
    isNvx_ = false;
    return true;
}

bool MeshLoader::ParseNvx(const uint8_t* bytes, size_t size) {
    reset();
    error_.clear();
    MeshFile::NvxHeader h;
    std::string why;
    if (!MeshFile::ReadNvxHeader(bytes, size, h, why)) return fail(why);
    const int stride = checkNvxHeader(h);
    if (!stride) return false;
    const uint8_t* data = bytes + h.dataOffset;
    const uint8_t* edges = data + size_t(h.numVertices) * size_t(stride);
    return acceptNvx(h, stride, data, edges, edges + size_t(h.numEdges) * 8);
}

int MeshLoader::checkNvxHeader(const MeshFile::NvxHeader& h) {
    const uint32_t mask = h.vertexMask;
    char maskText[16];
    std::snprintf(maskText, sizeof(maskText), "0x%x", unsigned(mask));
    if (mask & ~0xFFu) return fail("component mask " + std::string(maskText) + " has bits above 0x80");
    if (!(mask & N_VT_COORD)) return fail("component mask " + std::string(maskText) + " has no coordinates");
    for (int k = 1; k < 4; k++) {
        if ((mask & (N_VT_UV0 << k)) && !(mask & (N_VT_UV0 << (k - 1)))) {
            return fail("texture set " + std::to_string(k) + " without set " + std::to_string(k - 1));
        }
    }
    if (h.numVertices == 0) return fail("no vertices");
    if (h.numVertices > uint32_t(MaxVertices)) {
        return fail(std::to_string(h.numVertices) + " vertices, more than " + std::to_string(MaxVertices));
    }
    if (h.numIndices % 3 != 0) return fail(std::to_string(h.numIndices) + " indices, not whole triangles");
    // The header check bounds both counts by the file's size; int keeps them.
    if (h.numIndices > uint32_t(INT_MAX) || h.numEdges > uint32_t(INT_MAX / 4)) return fail("counts too large");
    return MeshFile::NvxVertexWords(mask) * 4;
}

bool MeshLoader::acceptNvx(const MeshFile::NvxHeader& h, int stride, const uint8_t* vertices, const uint8_t* edges,
                           const uint8_t* indices) {
    const uint32_t largest = MaxU16(indices, h.numIndices);
    if (largest >= h.numVertices) {
        return fail("index " + std::to_string(FirstAtOrAbove(indices, h.numIndices, h.numVertices)) +
                    " outside the " + std::to_string(h.numVertices) + " vertices");
    }
    if (MaxU16(edges, h.numEdges * 4) >= h.numVertices) {
        return fail("edge corner " + std::to_string(FirstAtOrAbove(edges, h.numEdges * 4, h.numVertices)) +
                    " outside the " + std::to_string(h.numVertices) + " vertices");
    }
    maxIndex_ = uint16_t(largest);
    components_ = int(h.vertexMask);
    numVertices_ = int(h.numVertices);
    numIndices_ = int(h.numIndices);
    numEdges_ = int(h.numEdges);
    nvxVertices_ = vertices;
    nvxEdges_ = edges;
    nvxIndices_ = indices;
    nvxStride_ = stride;
    isNvx_ = true;
    return true;
}

bool MeshLoader::FillVertices(nVertexBuffer* vb, nShadowCaster* caster, bbox3& box) const {
    ResetBox(box);
    if (!vb || !vb->GetCoordPtr() || vb->GetLockedCount() < numVertices_) return true;
    float* casterCoords = caster && caster->GetNumVertices() >= numVertices_ ? caster->GetCoords() : nullptr;
    if (isNvx_) return fillFromNvx(vb, casterCoords, box);
    box = fillFromN3d(vb, casterCoords);
    return true;
}

bool MeshLoader::readVertices(void* to, size_t bytes) const {
    if (vertexFile_->Read(to, bytes) == bytes) return true;
    error_ = "the vertex block cannot be read";
    return false;
}

bbox3 MeshLoader::fillFromN3d(nVertexBuffer* vb, float* casterCoords) const {
    bbox3 box;
    ResetBox(box);
    const size_t stride = size_t(vb->GetStride());
    const bool argb = vb->IsColorArgb();
    float* coord = vb->GetCoordPtr();
    float* norm = normals_.empty() ? nullptr : vb->GetNormPtr();
    uint32_t* color = colors_.empty() ? nullptr : vb->GetColorPtr();
    float* uv[4];
    for (int k = 0; k < 4; k++) uv[k] = uvs_[k].empty() ? nullptr : vb->GetUvPtr(k);
    float* weights = weights_.empty() ? nullptr : vb->GetJointPtr(0);
    float* joints = weights_.empty() ? nullptr : vb->GetJointPtr(1);
    for (size_t i = 0; i < size_t(numVertices_); i++) {
        const size_t at = i * stride;
        const float* c = &coords_[3 * i];
        std::memcpy(coord + at, c, 12);
        box.Extend(vector3(c[0], c[1], c[2]));
        if (casterCoords) std::memcpy(casterCoords + 3 * i, c, 12);
        if (norm) std::memcpy(norm + at, &normals_[3 * i], 12);
        if (color) color[at] = argb ? colors_[i] : SwapRedBlue(colors_[i]);
        for (int k = 0; k < 4; k++) {
            if (uv[k]) std::memcpy(uv[k] + at, &uvs_[k][2 * i], 8);
        }
        if (weights) std::memcpy(weights + at, &weights_[4 * i], 16);
        if (joints) std::memcpy(joints + at, &joints_[4 * i], 16);
    }
    return box;
}

bool MeshLoader::fillFromNvx(nVertexBuffer* vb, float* casterCoords, bbox3& box) const {
    const int mask = components_;
    // Byte offsets of each component inside one file vertex.
    int off = 12;
    const int normOff = (mask & N_VT_NORM) ? std::exchange(off, off + 12) : -1;
    const int colorOff = (mask & N_VT_RGBA) ? std::exchange(off, off + 4) : -1;
    int uvOff[4];
    for (int k = 0; k < 4; k++) uvOff[k] = (mask & (N_VT_UV0 << k)) ? std::exchange(off, off + 8) : -1;
    const int jwOff = (mask & N_VT_JW) ? off : -1;

    const size_t stride = size_t(vb->GetStride());
    const bool argb = vb->IsColorArgb();
    float* coord = vb->GetCoordPtr();
    const size_t n = size_t(numVertices_), srcStride = size_t(nvxStride_);
    if (!nvxVertices_ && !vertexFile_->Seek(int64_t(vertexOffset_), nFile::START)) {
        error_ = "the vertex block cannot be read";
        return false;
    }
    // The buffer lays a vertex out as the file does (same components in the same order,
    // no joints to resolve, colours in the buffer's order): the block goes in as it is,
    // in pieces small enough that the box is taken while a piece is still in the cache.
    if (jwOff < 0 && (colorOff < 0 || argb) && stride * 4 == srcStride) {
        auto* to = reinterpret_cast<uint8_t*>(coord);
        const size_t piece = std::max<size_t>(1, (256 * 1024) / srcStride);
        float lo[3] = {box.vmin.x, box.vmin.y, box.vmin.z}, hi[3] = {box.vmax.x, box.vmax.y, box.vmax.z};
        for (size_t first = 0; first < n; first += piece) {
            const size_t count = std::min(piece, n - first);
            uint8_t* at = to + first * srcStride;
            if (nvxVertices_) std::memcpy(at, nvxVertices_ + first * srcStride, count * srcStride);
            else if (!readVertices(at, count * srcStride)) return false;
            ExtendBox(at, count, srcStride, lo, hi);
        }
        if (casterCoords) {
            for (size_t i = 0; i < n; i++) std::memcpy(casterCoords + 3 * i, to + i * srcStride, 12);
        }
        box.vmin = vector3(lo[0], lo[1], lo[2]);
        box.vmax = vector3(hi[0], hi[1], hi[2]);
        return true;
    }
    // Other layouts are converted vertex by vertex from the whole block.
    std::vector<uint8_t> block;
    const uint8_t* vertices = nvxVertices_;
    if (!vertices) {
        block.resize(n * srcStride);
        if (!readVertices(block.data(), block.size())) return false;
        vertices = block.data();
    }
    float* norm = normOff >= 0 ? vb->GetNormPtr() : nullptr;
    uint32_t* color = colorOff >= 0 ? vb->GetColorPtr() : nullptr;
    float* uv[4];
    for (int k = 0; k < 4; k++) uv[k] = uvOff[k] >= 0 ? vb->GetUvPtr(k) : nullptr;
    float* weights = jwOff >= 0 ? vb->GetJointPtr(0) : nullptr;
    float* joints = jwOff >= 0 ? vb->GetJointPtr(1) : nullptr;
    for (size_t i = 0; i < n; i++) {
        const uint8_t* src = vertices + i * srcStride;
        const size_t at = i * stride;
        float c[3];
        std::memcpy(c, src, 12);
        std::memcpy(coord + at, c, 12);
        box.Extend(vector3(c[0], c[1], c[2]));
        if (casterCoords) std::memcpy(casterCoords + 3 * i, c, 12);
        if (norm) std::memcpy(norm + at, src + normOff, 12);
        if (color) {
            uint32_t v;
            std::memcpy(&v, src + colorOff, 4);
            color[at] = argb ? v : SwapRedBlue(v);
        }
        for (int k = 0; k < 4; k++) {
            if (uv[k]) std::memcpy(uv[k] + at, src + uvOff[k], 8);
        }
        if (weights) {
            int16_t j[4];
            float w[4];
            std::memcpy(j, src + jwOff, 8);
            std::memcpy(w, src + jwOff + 8, 16);
            // A -1 in slot 1, 2 or 3 ends the list of joints.
            const int nj = j[1] == -1 ? 1 : j[2] == -1 ? 2 : j[3] == -1 ? 3 : 4;
            NormalizeWeights(nj, w);
            int32_t out[4];
            for (int k = 0; k < 4; k++) out[k] = k < nj ? j[k] : 0;
            std::memcpy(weights + at, w, 16);
            std::memcpy(joints + at, out, 16);
        }
    }
    return true;
}

const void* MeshLoader::GetIndices() const {
    return isNvx_ ? static_cast<const void*>(nvxIndices_) : indices_.data();
}

void MeshLoader::FillIndices(uint16_t* out) const {
    if (numIndices_ <= 0) return;
    std::memcpy(out, isNvx_ ? static_cast<const void*>(nvxIndices_) : indices_.data(), size_t(numIndices_) * 2);
}

void MeshLoader::FillEdges(nShadowEdge* out) const {
    if (numEdges_ <= 0) return;
    std::memcpy(out, isNvx_ ? static_cast<const void*>(nvxEdges_) : edges_.data(), size_t(numEdges_) * 8);
}
