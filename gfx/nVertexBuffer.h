#pragma once

#include "kernel/nRoot.h"

// A named vertex buffer under /sys/share/vxbuf (script class "nvertexbuffer"). It will
// own one range of a vertex pool; here it is only what the resource list holds.
class nVertexBuffer : public nRoot {
public:
    static const nClassInfo classInfo;

    nVertexBuffer();
    ~nVertexBuffer() override;

    int GetNumVertices() const { return numVertices; }

protected:
    int numVertices;
};

