#pragma once
// A triangle mesh with an axis-aligned bounding-box tree over its triangles, built once
// when the mesh is complete; the queries of MeshQuery.h walk the tree. Float32 throughout.
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "kernel/vector3.h"

namespace meshquery {

class TriMesh {
public:
    // One tree node: its box, and either two children (count 0: side by side at `first`
    // and `first + 1`) or `count` triangles of order_ from `first`.
    struct alignas(32) Node {
        float min[3];
        float max[3];
        uint32_t first;
        uint32_t count;
    };
    // Nodes start on a 64-byte boundary and every pair of children at an even index, so
    // a walk finds both children's boxes in one cache line.
    template <class T>
    struct CacheLineAllocator {
        using value_type = T;
        CacheLineAllocator() = default;
        template <class U>
        CacheLineAllocator(const CacheLineAllocator<U>&) {}
        T* allocate(size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), std::align_val_t(64))); }
        void deallocate(T* p, size_t) { ::operator delete(p, std::align_val_t(64)); }
        template <class U>
        bool operator==(const CacheLineAllocator<U>&) const { return true; }
    };
    using NodeList = std::vector<Node, CacheLineAllocator<Node>>;

    // Drops everything and sizes the mesh; vertices start at the origin, triangles at
    // (0, 0, 0). The tree is gone until Build. Negative counts or counts above MaxCount
    // are refused: the mesh is left empty and false returned.
    bool Begin(int numVertices, int numTriangles);
    static constexpr int MaxCount = 1 << 24;
    // Out-of-range slots are ignored (false).
    bool SetVertex(int index, const vector3& v);
    bool SetTriangle(int index, uint32_t a, uint32_t b, uint32_t c);
    // Checks every index against the vertex count and builds the tree. False (with the
    // first bad triangle in `error`) when an index is out of range; the mesh then answers
    // no query. A mesh without triangles builds and touches nothing.
    bool Build(std::string* error = nullptr);
    bool IsBuilt() const { return built_; }

    int GetNumVertices() const { return static_cast<int>(vertices_.size()); }
    int GetNumTriangles() const { return static_cast<int>(triangles_.size() / 3); }
    const vector3& GetVertex(int i) const { return vertices_[static_cast<size_t>(i)]; }
    // The three indices of triangle i.
    const uint32_t* GetIndices(int i) const { return &triangles_[3 * static_cast<size_t>(i)]; }
    // The corners of triangle i in stored order (valid after a successful Build).
    void GetTriangle(int i, vector3& a, vector3& b, vector3& c) const {
        const uint32_t* t = GetIndices(i);
        a = vertices_[t[0]];
        b = vertices_[t[1]];
        c = vertices_[t[2]];
    }

    // The tree: node 0 is the root (node 1 is unused); empty for a mesh without triangles.
    const NodeList& GetNodes() const { return nodes_; }
    // Triangle indices in leaf order.
    const std::vector<uint32_t>& GetOrder() const { return order_; }
    // A triangle of a leaf with its corners in stored order. Kept in leaf order beside
    // order_, so a walk that reaches a leaf reads one run of memory instead of following
    // order, indices and vertices one after another.
    struct LeafTriangle {
        vector3 corner[3];
        uint32_t index;
    };
    const std::vector<LeafTriangle>& GetLeafTriangles() const { return leafTriangles_; }
    // Deepest path from the root, in nodes.
    int GetDepth() const { return depth_; }

    // Triangles per leaf at most.
    static constexpr uint32_t LeafSize = 4;

private:
    // Fills node `index` and the nodes below it.
    void BuildNode(uint32_t index, uint32_t first, uint32_t count, int depth, std::vector<float>& keys);

    std::vector<vector3> vertices_;
    std::vector<uint32_t> triangles_;
    NodeList nodes_;
    std::vector<uint32_t> order_;
    std::vector<LeafTriangle> leafTriangles_;
    int depth_ = 0;
    bool built_ = false;
};

}  // namespace meshquery
