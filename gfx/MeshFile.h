#pragma once
// Reader of the engine's two mesh files: ".n3d" text ("v x y z" and "f a b c" lines,
// corners as index or index/..., starting at 1) and ".nvx" binary (magic "1XVN", six
// header words, vertices, edges, 16-bit indices). It parses and checks a whole file in
// memory, so a caller builds from it only what was good. The collide shapes read
// positions and triangles. The mesh node's loader (scene/MeshLoader.h) accepts more of
// both formats under its own rules and shares the low-level reading below: line tokens,
// numbers, corners and the checked .nvx header.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "kernel/vector3.h"

class MeshFile {
public:
    static constexpr uint32_t NvxMagic = 0x4E565831;

    struct NvxHeader {
        uint32_t numVertices = 0;
        uint32_t numIndices = 0;
        uint32_t numEdges = 0;
        uint32_t vertexMask = 0;
        uint32_t dataOffset = 0;
        uint32_t dataSize = 0;
    };

    // 32-bit words of one .nvx vertex with the component mask: 3 for the position, then
    // 3 normal (0x2), 1 colour (0x4), 2 for each texture set (0x8 .. 0x40) and 6 joint
    // indices and weights (0x80).
    static int NvxVertexWords(uint32_t mask);

    // The tokens of one line (separated by ' ', '\t', '\r', '\n'), up to `max` of them
    // stored; returns how many there were in all.
    static int Tokenize(const char* p, const char* end, std::string* tokens, int max);
    // A whole token as a finite float; false for anything else.
    static bool ParseFloat(const std::string& s, float& out);
    // A corner "7", "7/2" or "7/2/3": the part before the first '/', counted from 1, as
    // an index from 0 (not checked against any vertex count).
    static bool ParseCorner(const std::string& s, long& out);
    // The header of an .nvx file of `size` bytes: false with `why` set when the file is
    // too short, the magic is wrong, the data block lies outside the file or the counts
    // do not fit in it.
    static bool ReadNvxHeader(const uint8_t* bytes, size_t size, NvxHeader& h, std::string& why);

    // Through the file server (archives too). False with GetError() set.
    bool ReadN3d(const char* fileName);
    bool ReadNvx(const char* fileName);
    bool ParseN3d(const char* text, size_t size);
    bool ParseNvx(const uint8_t* bytes, size_t size);

    const char* GetError() const { return error_.c_str(); }
    int GetNumVertices() const { return int(positions_.size()); }
    int GetNumTriangles() const { return int(triangles_.size() / 3); }
    const vector3& GetPosition(int i) const { return positions_[size_t(i)]; }
    // Three vertex indices, each below GetNumVertices().
    const int* GetTriangle(int t) const { return &triangles_[size_t(t) * 3]; }

    // .nvx only: the header and the vertex block as it is in the file.
    const NvxHeader& GetNvxHeader() const { return header_; }
    const std::vector<float>& GetNvxVertexWords() const { return vertexWords_; }

private:
    bool Fail(const std::string& why);
    // The whole file through the file server (archives too); false with `why` set.
    static bool ReadWholeFile(const char* fileName, std::string& out, std::string& why);

    std::string error_;
    std::vector<vector3> positions_;
    std::vector<int> triangles_;
    NvxHeader header_;
    std::vector<float> vertexWords_;
};
