#include "gfx/nVertexBuffer.h"

const nClassInfo nVertexBuffer::classInfo = nClassInfo::Make<nVertexBuffer>("nvertexbuffer", "nroot");

nVertexBuffer::nVertexBuffer() : numVertices(0) {}

nVertexBuffer::~nVertexBuffer() = default;
