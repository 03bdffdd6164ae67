#include "scene/nShadowCaster.h"

#include "kernel/nKernelServer.h"

const nClassInfo nShadowCaster::classInfo = nClassInfo::Make<nShadowCaster>("nshadowcaster", "nroot");

nShadowCaster::nShadowCaster() = default;

nShadowCaster::~nShadowCaster() {
    freeArrays();
}

void nShadowCaster::freeArrays() {
    delete[] coords_;
    delete[] edges_;
    coords_ = nullptr;
    edges_ = nullptr;
    numVertices_ = 0;
    numEdges_ = 0;
}

bool nShadowCaster::SetSize(int numVertices, int numEdges) {
    freeArrays();
    if (numVertices < 0 || numEdges < 0) {
        n_error("nShadowCaster: negative size %d vertices, %d edges\n", numVertices, numEdges);
        return false;
    }
    coords_ = new float[size_t(numVertices) * 3]();
    edges_ = new nShadowEdge[size_t(numEdges)]();
    numVertices_ = numVertices;
    numEdges_ = numEdges;
    return true;
}
