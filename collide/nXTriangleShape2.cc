#include "collide/nXTriangleShape2.h"

#include "collide/nCollideGeometry.h"
#include "collide/nCollideReportBuffer.h"
#include "gfx/nGfxServer.h"
#include "kernel/nKernelServer.h"

const nClassInfo nXTriangleShape2::classInfo = nClassInfo::Make<nXTriangleShape2>("nxtriangleshape2", "nxshape");

bool nXTriangleShape2::Collide(const matrix44&, nCollideShape2* other, const matrix44&, nCollideReportBuffer*,
                               const vector3&, const vector3&) {
    const int type = other->GetType();
    if (type < BOX || type > MESH) {
        nKernelServer::FatalError("nXTriangleShape2::Collide, no collision function aviable!\n");
    }
    return false;
}

bool nXTriangleShape2::LineCheck(const matrix44& myMatrix, const line3& line, nCollideReportBuffer* buffer,
                                 const vector3&) {
    for (const triangle& local : triangles_) {
        const triangle tri(myMatrix * local.point, myMatrix * (local.point + local.edge1),
                           myMatrix * (local.point + local.edge2));
        float t;
        // The first triangle hit answers, nearer ones later in the list are not looked at.
        if (!nCollideGeometry::SegmentTriangle(line.b, line.m, tri, t)) continue;
        if (!buffer->WantsReports()) return true;
        if (buffer->LineHitsFull()) return true;
        nCollideLineHit& hit = buffer->lineHits[buffer->numLineHits++];
        hit.position = line.ipol(t);
        hit.normal = nCollideGeometry::UnitNormal(tri);
        hit.value = (hit.position - line.b).Len();
        return true;
    }
    return false;
}

void nXTriangleShape2::Visualize(nGfxServer* gfx) {
    gfx->Begin(3);
    for (const triangle& t : triangles_) {
        const vector3 a = t.point, b = t.point + t.edge1, c = t.point + t.edge2;
        gfx->Coord(a.x, a.y, a.z);
        gfx->Coord(b.x, b.y, b.z);
        gfx->Coord(b.x, b.y, b.z);
        gfx->Coord(c.x, c.y, c.z);
        gfx->Coord(c.x, c.y, c.z);
        gfx->Coord(a.x, a.y, a.z);
    }
    gfx->End();
}

void nXTriangleShape2::BeginMesh(int numVertices, int numTriangles) {
    vertices_.assign(size_t(numVertices > 0 ? numVertices : 0), vector3());
    triangles_.assign(size_t(numTriangles > 0 ? numTriangles : 0), triangle());
    badTriangle_ = false;
    ready = false;
    nXShape::BeginMesh(numVertices, numTriangles);
}

void nXTriangleShape2::SetVertex(int index, const vector3& v) {
    if (index < 0 || size_t(index) >= vertices_.size()) {
        n_error("%s: SetVertex(%d) outside the %zu vertices\n", GetFullName().c_str(), index, vertices_.size());
        badTriangle_ = true;
        return;
    }
    vertices_[size_t(index)] = v;
    nXShape::SetVertex(index, v);
}

bool nXTriangleShape2::SetTriangle(int index, int a, int b, int c) {
    const int nv = int(vertices_.size());
    if (index < 0 || size_t(index) >= triangles_.size() || a < 0 || a >= nv || b < 0 || b >= nv || c < 0 || c >= nv) {
        n_error("%s: SetTriangle(%d, %d, %d, %d) outside the mesh of %d vertices and %zu triangles\n",
                GetFullName().c_str(), index, a, b, c, nv, triangles_.size());
        badTriangle_ = true;
        return false;
    }
    triangles_[size_t(index)].Set(vertices_[size_t(a)], vertices_[size_t(b)], vertices_[size_t(c)]);
    return true;
}

bool nXTriangleShape2::EndMesh() {
    std::vector<vector3>().swap(vertices_);
    if (badTriangle_) return false;
    return nXShape::EndMesh();
}

bool nXTriangleShape2::Load(const char* fileName) {
    meshFile_.Set(fileName);
    return nXShape::Load(fileName);
}
