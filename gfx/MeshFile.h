#pragma once
// Reader of the engine's two mesh files: ".n3d" text ("v x y z" and "f a b c" lines,
// corners as index or index/..., starting at 1) and ".nvx" binary (magic "1XVN", six
// header words, vertices, edges, 16-bit indices). It parses and checks a whole file in
// memory, so a caller builds from it only what was good. The collide shapes read
// positions and triangles; a mesh loader can take the raw vertex block of an .nvx.
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
    bool ReadWhole(const char* fileName, std::string& out);

    std::string error_;
    std::vector<vector3> positions_;
    std::vector<int> triangles_;
    NvxHeader header_;
    std::vector<float> vertexWords_;
};
