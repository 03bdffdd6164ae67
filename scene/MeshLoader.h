#pragma once
// Reads the two mesh files of the mesh node into memory and checks them whole: ".n3d"
// text and ".nvx" binary, with every vertex component, shadow edges and 16-bit indices.
// Only a file that passed every check is written into vertex buffers, index buffers and
// shadow casters, so a rejected file leaves nothing behind under its name.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gfx/MeshFile.h"
#include "kernel/bbox3.h"
#include "kernel/nFile.h"

class nVertexBuffer;
class nShadowCaster;
struct nShadowEdge;

class MeshLoader {
public:
    // Indices are 16-bit.
    static constexpr int MaxVertices = 65535;

    // Through the file server (archives too). False with GetError() set. ReadNvx reads
    // and checks everything but the vertex block, which FillVertices reads straight
    // into the buffer (the block itself has nothing to check).
    bool ReadN3d(const char* fileName);
    bool ReadNvx(const char* fileName);
    // Checks a whole file in memory. An accepted .nvx is read from `bytes` again by
    // FillVertices and FillEdges, so they must stay alive until then.
    bool ParseN3d(const char* text, size_t size);
    bool ParseNvx(const uint8_t* bytes, size_t size);

    const char* GetError() const { return error_.c_str(); }
    // Vertex component mask (N_VT_*), counts of an accepted file.
    int GetComponents() const { return components_; }
    int GetNumVertices() const { return numVertices_; }
    int GetNumIndices() const { return numIndices_; }
    int GetNumEdges() const { return numEdges_; }

    // Writes every vertex into a locked buffer of the file's vertex count and components
    // (a component the buffer does not store is skipped), and the coordinates into the
    // caster's when there is one; returns the bounding box of the coordinates. Colours
    // are packed for the buffer's colour order; joint weights go to the first field of
    // bit 7's block, the joint numbers as 32-bit integers to the second. False with
    // GetError() set only when the vertex block of a file cannot be read (any more).
    bool FillVertices(nVertexBuffer* vb, nShadowCaster* caster, bbox3& box) const;
    // GetNumIndices() indices; .n3d triangles sorted by their first index.
    void FillIndices(uint16_t* out) const;
    // The same indices where the loader keeps them (bytes of any alignment), and the
    // largest of them (0 without indices).
    const void* GetIndices() const;
    uint16_t GetMaxIndex() const { return maxIndex_; }
    // GetNumEdges() edges.
    void FillEdges(nShadowEdge* out) const;

private:
    bool fail(const std::string& why);
    void reset();
    bbox3 fillFromN3d(nVertexBuffer* vb, float* casterCoords) const;
    bool fillFromNvx(nVertexBuffer* vb, float* casterCoords, bbox3& box) const;
    // The mask and counts of a header; the bytes of one file vertex, 0 when refused.
    int checkNvxHeader(const MeshFile::NvxHeader& h);
    // Checks the edge and index blocks and takes the file as accepted.
    bool acceptNvx(const MeshFile::NvxHeader& h, int stride, const uint8_t* vertices, const uint8_t* edges,
                   const uint8_t* indices);
    // Reads `bytes` of the vertex block from the file into `to`.
    bool readVertices(void* to, size_t bytes) const;

    // The whole file into fileBytes_, through the file server (archives too); the
    // buffer is not cleared first, as every byte is read over.
    bool readFile(const char* fileName);

    mutable std::string error_;
    std::unique_ptr<uint8_t[]> fileBytes_;
    size_t fileSize_ = 0;
    int components_ = 0;
    int numVertices_ = 0;
    int numIndices_ = 0;
    int numEdges_ = 0;
    uint16_t maxIndex_ = 0;
    bool isNvx_ = false;

    // .n3d: one array per component, colours packed a<<24 | r<<16 | g<<8 | b, weights
    // already divided by their sum.
    std::vector<float> coords_, normals_, uvs_[4], weights_;
    std::vector<uint32_t> colors_;
    std::vector<int32_t> joints_;
    std::vector<uint16_t> indices_;
    std::vector<uint16_t> edges_;

    // .nvx: the checked blocks inside the file's bytes; without vertices, the vertex
    // block is still in the open file at vertexOffset_.
    const uint8_t* nvxVertices_ = nullptr;
    mutable std::unique_ptr<nFile> vertexFile_;
    size_t vertexOffset_ = 0;
    const uint8_t* nvxEdges_ = nullptr;
    const uint8_t* nvxIndices_ = nullptr;
    int nvxStride_ = 0;
};
