#pragma once
// The mesh fixture with source meshes built in memory and a probe that reads what a
// read-only mesh-producing node (morph, mixer, wave) leaves in its scene node.
#include <string>
#include <vector>

#include "kernel/bbox3.h"
#include "tests/scene/MeshFixture.h"

// Attached as the other visual of its scene node; computes its target there and keeps a
// copy of the vertex buffer the target left in the record's mesh field.
class nMorphProbe : public nVisNode {
public:
    static const nClassInfo classInfo;
    bool Attach(nSceneGraph2* sg) override;
    void Compute(nSceneGraph2* sg) override;

    nVisNode* target = nullptr;
    // Put into the record's mesh field before the target computes; `produced` says
    // whether the target left another buffer there.
    nVertexBuffer* preset = nullptr;
    bool produced = false;
    int components = 0;
    std::vector<float> coords, normals, uv0;
    std::vector<uint32_t> colors;
    bbox3 box;
};

struct MorphVertex {
    float x, y, z;
    uint32_t color = 0;
};

class MorphFixture : public MeshFixture {
protected:
    void SetUp() override;

    // A mesh node outside the visual tree at `path` holding `verts` with coordinates,
    // normals (0, 0, 1) scaled by the vertex's x, colours and uv0 (x, y); components
    // other than the coordinates only where `components` has them.
    nTestVisNode* Source(const char* path, const std::vector<MorphVertex>& verts, int components, const bbox3& box);
    // The visual root "/scene" (a transform with a channel context of its own) and the
    // probe below it.
    void MakeScene();
    void SetChannel(const char* name, float value);
    // One frame through the scene graph.
    void Step() { Frame(scene); }
    // The log text since the last call.
    std::string TakeLog() {
        std::string t = log.text;
        log.text.clear();
        return t;
    }

    nTestVisNode* scene = nullptr;
    nMorphProbe* probe = nullptr;
};
