#pragma once
// A loose octree (script class "noctree") that sorts spheres into a fixed pool of 1024
// nodes: each element sits in the deepest node whose box holds its bounding box, a
// balancing pass splits crowded leaves and collapses sparse subtrees, and a frustum
// query collects the elements a camera may see without looking at the others.
#include <cstdint>
#include <vector>

#include "kernel/matrix44.h"
#include "kernel/nList.h"
#include "kernel/nRoot.h"
#include "kernel/vector3.h"

class Frustum;
class nGfxServer;
class nOctree;

// An element of the tree; the caller owns it, the tree only links it. An element that
// dies leaves its tree, and a tree that dies lets go of its elements.
class nOctElement {
public:
    nOctElement() : node_(this) {}
    nOctElement(const vector3& pos, float r) : node_(this), position(pos), radius(r) {}
    ~nOctElement();
    nOctElement(const nOctElement&) = delete;
    nOctElement& operator=(const nOctElement&) = delete;

    bool IsInTree() const { return nodeIndex >= 0; }
    nOctree* GetTree() const { return tree; }

    nNode node_;
    vector3 position;
    float radius = 1.0f;
    int16_t nodeIndex = -1;
    // The tree the element is in, so that no tree unlinks another tree's element.
    nOctree* tree = nullptr;
};

struct nOctNode {
    int16_t parent = -1;
    int16_t children[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    vector3 centre;
    float extent = 0.0f;
    // 32-bit, so that trees of more than 65535 elements count right.
    int32_t numElements = 0;
    int32_t subtreeCount = 0;
    nList elements;

    bool IsLeaf() const { return children[0] < 0; }
};

class nOctree : public nRoot {
public:
    static const nClassInfo classInfo;
    static constexpr int PoolSize = 1024;
    static constexpr float RootExtent = 200000.0f;

    nOctree();
    ~nOctree() override;

    bool SaveCmds(nPersistServer* ps) override;

    // Stores position and radius (0 becomes 1, a negative radius its size) and links the
    // element into the deepest node that holds it; an element already in a tree is
    // moved as UpdateElement does.
    void AddElement(nOctElement* e, const vector3& pos, float radius);
    void AddElement(nOctElement* e);
    // Stores position and radius as AddElement and moves the element to the node that
    // now holds it. An element that is not in the tree is added.
    void UpdateElement(nOctElement* e, const vector3& pos, float radius);
    void RemoveElement(nOctElement* e);
    // Collapses subtrees holding at most subdiv num elements and splits leaves holding
    // more, from the root down. A leaf is not split while fewer than 8 nodes are free.
    void Balance();
    // Appends to `out` every element whose sphere meets the frustum (the same ones a
    // test of every element would give), looking only into nodes whose boxes meet it.
    // Allocates nothing once `out` has room.
    // The query reads a packed copy of each node's elements (sorted along a
    // space-filling curve, in chunks with boxes of their own), made again for the nodes
    // that changed since; apart from that it allocates nothing once `out` and the copies
    // have room.
    void CollectVisible(const Frustum& frustum, std::vector<nOctElement*>& out);
    // Draws the node boxes (green) and element boxes (yellow) as lines in world space
    // when visualize is on.
    void Visualize(nGfxServer* gfx) const;

    void SetSubdivNum(int n) { subdivNum_ = n; }
    int GetSubdivNum() const { return subdivNum_; }
    void SetVisualize(bool on) { visualize_ = on; }
    bool GetVisualize() const { return visualize_; }
    void SetMatrix(const matrix44& m) { matrix_ = m; }
    const matrix44& GetMatrix() const { return matrix_; }

    const nOctNode& GetNode(int index) const { return pool_[index]; }
    int GetRootIndex() const { return 0; }
    int GetNumFreeNodes() const { return numFree_; }

private:
    static bool contains(const nOctNode& n, const nOctElement* e);
    int descend(int node, const nOctElement* e) const;
    void addToNode(int node, nOctElement* e);
    void removeFromNode(nOctElement* e);
    void split(int node);
    void collapse(int node);
    void balance(int node);
    void pack(int node);
    void appendAll(int node, std::vector<nOctElement*>& out);
    void collect(int node, const Frustum& f, unsigned mask, std::vector<nOctElement*>& out);
    void drawNode(nGfxServer* gfx, const nOctNode& n) const;

    matrix44 matrix_;
    int subdivNum_ = 4;
    bool visualize_ = false;
    int16_t freeList_ = -1;
    int numFree_ = 0;
    nOctNode pool_[PoolSize];

    // The packed copy of a node's own elements for the query, in chunks of up to
    // ChunkSize that lie near each other.
    static constexpr int ChunkSize = 16;
    struct Packed {
        vector3 position;
        float radius;
        nOctElement* element;
        uint32_t key;
    };
    struct Chunk {
        vector3 centre, half;
        int begin, end;
    };
    struct NodePack {
        std::vector<Packed> own;
        std::vector<Chunk> chunks;
        bool dirty = true;
    };
    NodePack packs_[PoolSize];
};
