#include "platform/meshquery/TriMesh.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace meshquery {

bool TriMesh::Begin(int numVertices, int numTriangles) {
    nodes_.clear();
    order_.clear();
    leafTriangles_.clear();
    depth_ = 0;
    built_ = false;
    const bool ok = numVertices >= 0 && numVertices <= MaxCount && numTriangles >= 0 && numTriangles <= MaxCount;
    vertices_.assign(ok ? static_cast<size_t>(numVertices) : 0, vector3());
    triangles_.assign(ok ? 3 * static_cast<size_t>(numTriangles) : 0, 0u);
    return ok;
}

bool TriMesh::SetVertex(int index, const vector3& v) {
    if (index < 0 || index >= GetNumVertices()) return false;
    vertices_[static_cast<size_t>(index)] = v;
    built_ = false;
    return true;
}

bool TriMesh::SetTriangle(int index, uint32_t a, uint32_t b, uint32_t c) {
    if (index < 0 || index >= GetNumTriangles()) return false;
    uint32_t* t = &triangles_[3 * static_cast<size_t>(index)];
    t[0] = a;
    t[1] = b;
    t[2] = c;
    built_ = false;
    return true;
}

bool TriMesh::Build(std::string* error) {
    nodes_.clear();
    order_.clear();
    leafTriangles_.clear();
    depth_ = 0;
    built_ = false;
    const int numTris = GetNumTriangles();
    const size_t numVerts = vertices_.size();
    for (int i = 0; i < numTris; i++) {
        const uint32_t* t = GetIndices(i);
        if (t[0] >= numVerts || t[1] >= numVerts || t[2] >= numVerts) {
            if (error) {
                char buf[160];
                std::snprintf(buf, sizeof buf, "triangle %d (%u, %u, %u) names a vertex beyond the %zu vertices", i,
                              t[0], t[1], t[2], numVerts);
                *error = buf;
            }
            return false;
        }
    }
    if (numTris > 0) {
        // Split keys: the centroids, with anything not finite at 0, so the partitioning
        // always sees a strict order whatever coordinates the mesh holds.
        std::vector<float> keys(3 * static_cast<size_t>(numTris));
        for (int i = 0; i < numTris; i++) {
            vector3 a, b, c;
            GetTriangle(i, a, b, c);
            const float k[3] = {(a.x + b.x + c.x) / 3.0f, (a.y + b.y + c.y) / 3.0f, (a.z + b.z + c.z) / 3.0f};
            for (int j = 0; j < 3; j++) keys[3 * size_t(i) + size_t(j)] = std::isfinite(k[j]) ? k[j] : 0.0f;
        }
        order_.resize(static_cast<size_t>(numTris));
        for (int i = 0; i < numTris; i++) order_[size_t(i)] = uint32_t(i);
        nodes_.reserve(2 * (static_cast<size_t>(numTris) / LeafSize + 1) + 1);
        // The root and an unused node with an empty box: the pairs of children come
        // after, at even indices.
        nodes_.resize(2);
        for (int j = 0; j < 3; j++) {
            nodes_[1].min[j] = INFINITY;
            nodes_[1].max[j] = -INFINITY;
        }
        BuildNode(0, 0, uint32_t(numTris), 1, keys);
        leafTriangles_.resize(order_.size());
        for (size_t i = 0; i < order_.size(); i++) {
            LeafTriangle& t = leafTriangles_[i];
            GetTriangle(int(order_[i]), t.corner[0], t.corner[1], t.corner[2]);
            t.index = order_[i];
        }
    }
    built_ = true;
    return true;
}

void TriMesh::BuildNode(uint32_t index, uint32_t first, uint32_t count, int depth, std::vector<float>& keys) {
    depth_ = std::max(depth_, depth);
    Node node;
    float cmin[3], cmax[3];
    for (int j = 0; j < 3; j++) {
        node.min[j] = cmin[j] = INFINITY;
        node.max[j] = cmax[j] = -INFINITY;
    }
    for (uint32_t i = first; i < first + count; i++) {
        const uint32_t* t = GetIndices(int(order_[i]));
        for (int c = 0; c < 3; c++) {
            const vector3& v = vertices_[t[c]];
            const float p[3] = {v.x, v.y, v.z};
            for (int j = 0; j < 3; j++) {
                // NaN coordinates leave the box alone; such a triangle touches nothing.
                node.min[j] = std::fmin(node.min[j], p[j]);
                node.max[j] = std::fmax(node.max[j], p[j]);
            }
        }
        for (int j = 0; j < 3; j++) {
            cmin[j] = std::min(cmin[j], keys[3 * size_t(order_[i]) + size_t(j)]);
            cmax[j] = std::max(cmax[j], keys[3 * size_t(order_[i]) + size_t(j)]);
        }
    }
    // A little slack, so that no rounding in a query's box test can lose a triangle that
    // the exact test at the leaf would find.
    for (int j = 0; j < 3; j++) {
        const float e = 1e-5f * std::fmax(std::fabs(node.min[j]), std::fabs(node.max[j])) + 1e-6f;
        if (std::isfinite(e)) {
            node.min[j] -= e;
            node.max[j] += e;
        }
    }
    if (count <= LeafSize) {
        node.first = first;
        node.count = count;
        nodes_[index] = node;
        return;
    }
    int axis = 0;
    for (int j = 1; j < 3; j++)
        if (cmax[j] - cmin[j] > cmax[axis] - cmin[axis]) axis = j;
    // Halving by count keeps the depth near log2 of the triangle count, whatever the shape.
    const uint32_t half = count / 2;
    auto begin = order_.begin() + first;
    std::nth_element(begin, begin + half, begin + count, [&](uint32_t a, uint32_t b) {
        return keys[3 * size_t(a) + size_t(axis)] < keys[3 * size_t(b) + size_t(axis)];
    });
    const uint32_t children = static_cast<uint32_t>(nodes_.size());
    nodes_.resize(nodes_.size() + 2);
    node.first = children;
    node.count = 0;
    nodes_[index] = node;
    BuildNode(children, first, half, depth + 1, keys);
    BuildNode(children + 1, first + half, count - half, depth + 1, keys);
}

}  // namespace meshquery
