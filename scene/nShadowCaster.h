#pragma once
// The edge topology of a mesh for stencil shadows (script class "nshadowcaster", no
// commands), shared by name under "/sys/share/shadowcasters". Mesh loaders size it and
// fill coordinates and edges; the shadow server reads them.
#include <cstdint>

#include "kernel/nRoot.h"

struct nShadowEdge {
    // a and b bound the edge; c is the third corner of triangle (a, b, c), d that of
    // (b, a, d) on the other side.
    uint16_t a, b, c, d;
};

class nShadowCaster : public nRoot {
public:
    static const nClassInfo classInfo;

    nShadowCaster();
    ~nShadowCaster() override;

    // Replaces both arrays by zeroed ones of the given sizes; false (logged, caster left
    // empty) for a negative count.
    bool SetSize(int numVertices, int numEdges);
    int GetNumVertices() const { return numVertices_; }
    int GetNumEdges() const { return numEdges_; }
    // numVertices x (x, y, z) in model space.
    float* GetCoords() { return coords_; }
    const float* GetCoords() const { return coords_; }
    nShadowEdge* GetEdges() { return edges_; }
    const nShadowEdge* GetEdges() const { return edges_; }

    // Set while a loader fills the caster or the shadow server reads it.
    void SetLocked(bool on) { locked_ = on; }
    bool IsLocked() const { return locked_; }

private:
    void freeArrays();

    bool locked_ = false;
    int numVertices_ = 0;
    int numEdges_ = 0;
    float* coords_ = nullptr;
    nShadowEdge* edges_ = nullptr;
};
