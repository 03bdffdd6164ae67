#pragma once
// The scene fixture with a graphics server that makes real vertex buffers in ordinary
// memory (no display needed), a settable colour order, mesh files written into the
// test's folder, and the .nvx bytes of a file assembled field by field from the format.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gfx/nVertexPool.h"
#include "gfx/nVertexPoolManager.h"
#include "scene/nMeshNode.h"
#include "tests/scene/SceneFixture.h"

class nMemoryGfx : public nRecordingGfx {
public:
    static const nClassInfo classInfo;
    nMemoryGfx();
    // Releases the buffers before the pools go.
    ~nMemoryGfx() override;
    int GetColorFormat() override { return colorFormat; }
    nVertexPool* NewVertexPool(nVertexPoolManager* manager, int kind, int components, int capacity) override;
    nVertexBuffer* NewVertexBuffer(const char* name, int usage, int components, int count) override;

    int colorFormat = BGRA;
    // Usage of each buffer made, in order.
    std::vector<int> usages;

private:
    std::unique_ptr<nVertexPoolManager> manager;
};

// An .nvx file built from its fields: a header of seven little-endian words, then the
// data block (the caller appends vertices, edges and indices with the helpers).
struct NvxBytes {
    uint32_t magic = 0x4E565831;
    uint32_t numVertices = 0, numIndices = 0, numEdges = 0, components = 0;
    std::vector<uint8_t> data;
    // Where the data block is said to start and how long it is; unset: right after the
    // header, as long as `data`.
    int64_t dataOffset = -1, dataSize = -1;

    void F(float v);
    void U32(uint32_t v);
    void U16(uint16_t v);
    void I16(int16_t v);
    std::vector<uint8_t> Bytes() const;
};

class MeshFixture : public SceneFixture {
protected:
    void SetUp() override;

    // Writes a file into the test's folder; returns its path.
    std::string WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes);
    // A mesh node at `path` with `file`.
    nMeshNode* Mesh(const char* path, const std::string& file, bool readOnly = false);
    // Counts of shared objects now.
    int NumVertexBuffers();
    int NumIndexBuffers();
    int NumCasters();

    nMemoryGfx* mem = nullptr;
};
