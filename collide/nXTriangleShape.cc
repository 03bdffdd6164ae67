#include "collide/nXTriangleShape.h"

#include <cmath>
#include <cstdint>
#include <string>

#include "collide/nCollideGeometry.h"
#include "collide/nCollideReportBuffer.h"
#include "collide/nXCollideServer.h"
#include "gfx/nGfxServer.h"
#include "kernel/nKernelServer.h"

const nClassInfo nXTriangleShape::classInfo = nClassInfo::Make<nXTriangleShape>("nxtriangleshape", "nxshape");

namespace {

// Triangle i of the mesh in stored corner order, placed by m.
triangle Placed(const meshquery::TriMesh& mesh, int i, const matrix44& m) {
    vector3 a, b, c;
    mesh.GetTriangle(i, a, b, c);
    return triangle(m * a, m * b, m * c);
}

// Every field the readers use, so nothing from an earlier pair is left in the slot.
void Fill(nCollideReport& r, const vector3& p1, const vector3& p2, const vector3& n1, const vector3& n2, float depth) {
    r.point1 = p1;
    r.point2 = p2;
    r.normal1 = n1;
    r.normal2 = n2;
    r.depth = depth;
    r.frictionDir = vector3();
}

}  // namespace

nXCollideServer* nXTriangleShape::Server() {
    nRoot* root = server_.GetUnsafe();
    auto* srv = root ? dynamic_cast<nXCollideServer*>(root) : nullptr;
    if (!srv) nKernelServer::FatalError("Aborting.");
    return srv;
}

bool nXTriangleShape::Collide(const matrix44& myMatrix, nCollideShape2* other, const matrix44& otherMatrix,
                              nCollideReportBuffer* buffer, const vector3&, const vector3&) {
    switch (other->GetType()) {
        case BOX: return MeshBox(Server(), myMatrix, other->GetBoxSides(), otherMatrix, buffer);
        case SPHERE: return MeshSphere(Server(), myMatrix, other->GetRadius(), otherMatrix, buffer);
        case CYLINDER: return false;
        case MESH:
            // The record mesh has no tree to test against.
            if (auto* mesh = dynamic_cast<nXTriangleShape*>(other)) {
                return MeshMesh(Server(), myMatrix, mesh, otherMatrix, buffer);
            }
            return false;
        default: nKernelServer::FatalError("nXTriangleShape::Collide, no collision function aviable!\n");
    }
}

bool nXTriangleShape::MeshSphere(nXCollideServer* srv, const matrix44& myMatrix, float r, const matrix44& otherMatrix,
                                 nCollideReportBuffer* buffer) {
    if (!mesh_.IsBuilt()) return false;
    const vector3 G = otherMatrix.Translation();
    const bool contact = !buffer->WantsReports();
    if (!meshquery::SphereTouched(mesh_, myMatrix, G, r, contact, &srv->touched)) return false;
    if (contact) return true;
    if (buffer->IsFull() || srv->touched.empty()) return buffer->numReports > 0;
    vector3 p1, p2, n1, n2;
    float depth = 0.0f;
    for (uint32_t i : srv->touched) {
        const triangle t = Placed(mesh_, int(i), myMatrix);
        const vector3 N = nCollideGeometry::UnitNormal(t);
        // The radius less the distance of the centre from the triangle's plane; written
        // without dividing by |P - G|, which is 0 when the centre is the first corner.
        const float d = r - std::fabs((t.point - G) % N);
        const vector3 onSphere = G - N * r;
        p1 += onSphere + N * d;
        p2 += onSphere;
        n1 += N;
        n2 -= N;
        depth += d;
    }
    const float k = 1.0f / float(srv->touched.size());
    Fill(buffer->reports[buffer->numReports++], p1 * k, p2 * k, n1 * k, n2 * k, depth * k);
    return true;
}

bool nXTriangleShape::MeshBox(nXCollideServer* srv, const matrix44& myMatrix, const vector3& sides,
                              const matrix44& otherMatrix, nCollideReportBuffer* buffer) {
    if (!mesh_.IsBuilt()) return false;
    const vector3 half = sides * 0.5f;
    const bool contact = !buffer->WantsReports();
    if (!meshquery::BoxTouched(mesh_, myMatrix, otherMatrix, half, contact, &srv->touched)) return false;
    if (contact) return true;
    vector3 corners[8];
    meshquery::BoxCorners(otherMatrix, half, corners);
    // Accumulators of each corner (kept here instead of in spare report slots).
    vector3 p1[8], p2[8], n1[8], n2[8];
    float depth[8] = {};
    int count[8] = {};
    for (uint32_t i : srv->touched) {
        const triangle t = Placed(mesh_, int(i), myMatrix);
        const vector3 N = nCollideGeometry::UnitNormal(t);
        for (int c = 0; c < 8; c++) {
            // Behind the triangle's plane by d.
            const float d = (t.point - corners[c]) % N;
            if (!(d > 0.0f)) continue;
            p1[c] += corners[c] + N * d;
            p2[c] += corners[c];
            n1[c] += N;
            n2[c] -= N;
            depth[c] += d;
            count[c]++;
        }
    }
    const int first = buffer->numReports;
    for (int c = 0; c < 8 && !buffer->IsFull(); c++) {
        if (!count[c]) continue;
        const float k = 1.0f / float(count[c]);
        Fill(buffer->reports[buffer->numReports++], p1[c] * k, p2[c] * k, n1[c] * k, n2[c] * k, depth[c] * k);
    }
    return buffer->numReports > first;
}

bool nXTriangleShape::MeshMesh(nXCollideServer* srv, const matrix44& myMatrix, const nXTriangleShape* other,
                               const matrix44& otherMatrix, nCollideReportBuffer* buffer) {
    if (!mesh_.IsBuilt() || !other->mesh_.IsBuilt()) return false;
    const bool contact = !buffer->WantsReports();
    if (!meshquery::MeshTouched(mesh_, myMatrix, other->mesh_, otherMatrix, contact, &srv->touchedPairs)) {
        return false;
    }
    if (contact) return true;
    const int first = buffer->numReports;
    for (const meshquery::TrianglePair& pair : srv->touchedPairs) {
        const triangle ta = Placed(mesh_, int(pair.a), myMatrix);
        const triangle tb = Placed(other->mesh_, int(pair.b), otherMatrix);
        const vector3 na = nCollideGeometry::UnitNormal(ta);
        const vector3 nb = nCollideGeometry::UnitNormal(tb);
        // Each triangle's three edges against the other triangle, TA's first.
        for (int side = 0; side < 2; side++) {
            const triangle& e = side == 0 ? ta : tb;
            const triangle& against = side == 0 ? tb : ta;
            const vector3 starts[3] = {e.point, e.point, e.point + e.edge1};
            const vector3 disps[3] = {e.edge1, e.edge2, e.edge2 - e.edge1};
            for (int k = 0; k < 3; k++) {
                float t;
                if (!nCollideGeometry::SegmentTriangleTwoSided(starts[k], disps[k], against, t)) continue;
                if (buffer->IsFull()) return true;
                const vector3 p = starts[k] + disps[k] * t;
                Fill(buffer->reports[buffer->numReports++], p, p, na, nb, 0.0f);
            }
        }
    }
    return buffer->numReports > first;
}

bool nXTriangleShape::LineCheck(const matrix44& myMatrix, const line3& line, nCollideReportBuffer* buffer,
                                const vector3&) {
    nXCollideServer* srv = Server();
    if (!mesh_.IsBuilt()) return false;
    meshquery::RaySettings settings = srv->raySettings;
    settings.firstContact = !buffer->WantsReports();
    const float len = line.m.Len();
    settings.maxDistance = len;
    const vector3 dir = len < 1e-7f ? line.m : line.m / len;
    if (!meshquery::RayStab(mesh_, myMatrix, line.b, dir, settings, &srv->faces)) return false;
    if (settings.firstContact) return true;
    if (srv->faces.empty()) return false;
    for (const meshquery::StabbedFace& f : srv->faces) {
        if (buffer->LineHitsFull()) break;
        vector3 a, b, c;
        mesh_.GetTriangle(int(f.face), a, b, c);
        nCollideLineHit& hit = buffer->lineHits[buffer->numLineHits++];
        hit.position = line.b + dir * f.distance;
        hit.normal = nCollideGeometry::Rotate(myMatrix, nCollideGeometry::UnitNormal(triangle(a, b, c)));
        hit.value = f.distance;
    }
    return true;
}

void nXTriangleShape::Visualize(nGfxServer* gfx) {
    gfx->Begin(3);
    for (int i = 0; i < mesh_.GetNumTriangles(); i++) {
        const uint32_t* t = mesh_.GetIndices(i);
        const int nv = mesh_.GetNumVertices();
        if (int64_t(t[0]) >= nv || int64_t(t[1]) >= nv || int64_t(t[2]) >= nv) continue;
        vector3 a, b, c;
        mesh_.GetTriangle(i, a, b, c);
        gfx->Coord(a.x, a.y, a.z);
        gfx->Coord(b.x, b.y, b.z);
        gfx->Coord(b.x, b.y, b.z);
        gfx->Coord(c.x, c.y, c.z);
        gfx->Coord(c.x, c.y, c.z);
        gfx->Coord(a.x, a.y, a.z);
    }
    gfx->End();
}

void nXTriangleShape::BeginMesh(int numVertices, int numTriangles) {
    badTriangle_ = !mesh_.Begin(numVertices, numTriangles);
    if (badTriangle_) {
        n_error("%s: BeginMesh(%d, %d) refused\n", GetFullName().c_str(), numVertices, numTriangles);
    }
    ready = false;
    nXShape::BeginMesh(numVertices, numTriangles);
}

void nXTriangleShape::SetVertex(int index, const vector3& v) {
    if (!mesh_.SetVertex(index, v)) {
        n_error("%s: SetVertex(%d) outside the %d vertices\n", GetFullName().c_str(), index, mesh_.GetNumVertices());
        badTriangle_ = true;
        return;
    }
    nXShape::SetVertex(index, v);
}

bool nXTriangleShape::SetTriangle(int index, int a, int b, int c) {
    const int nv = mesh_.GetNumVertices();
    if (index < 0 || index >= mesh_.GetNumTriangles() || a < 0 || a >= nv || b < 0 || b >= nv || c < 0 || c >= nv) {
        n_error("%s: SetTriangle(%d, %d, %d, %d) outside the mesh of %d vertices and %d triangles\n",
                GetFullName().c_str(), index, a, b, c, nv, mesh_.GetNumTriangles());
        badTriangle_ = true;
        return false;
    }
    mesh_.SetTriangle(index, uint32_t(c), uint32_t(b), uint32_t(a));
    return true;
}

bool nXTriangleShape::EndMesh() {
    std::string error;
    const bool built = mesh_.Build(&error);
    if (!built) n_error("%s: %s\n", GetFullName().c_str(), error.c_str());
    nXShape::EndMesh();
    ready = built && !badTriangle_;
    return ready;
}

bool nXTriangleShape::Load(const char* fileName) {
    meshFile_.Set(fileName);
    return nXShape::Load(fileName);
}
