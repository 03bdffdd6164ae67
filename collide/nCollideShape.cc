#include "collide/nCollideShape.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "gfx/MeshFile.h"
#include "gfx/nGfxServer.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"

int nCollideShape::Collide(nCollType, const matrix44&, nCollideShape*, const matrix44&, nCollisionRecord*, int) {
    return 0;
}

bool nCollideShape::LineCheck(const matrix44&, const line3&, nCollisionRecord&) {
    return false;
}

bool nCollideShape::SphereCheck(const matrix44&, const vector3&, float, nCollisionRecord&) {
    return false;
}

void nCollideShape::Visualize(nGfxServer* gfx) {
    // One circle of the bounding radius in each axis plane, 10-degree segments.
    const float step = 0.17453293f;
    gfx->Begin(3);
    for (int i = 0; i < 36; i++) {
        float a = float(i) * step, b = a + step;
        float s0 = std::sin(a) * radius_, c0 = std::cos(a) * radius_;
        float s1 = std::sin(b) * radius_, c1 = std::cos(b) * radius_;
        gfx->Coord(0.0f, s0, c0);
        gfx->Coord(0.0f, s1, c1);
        gfx->Coord(s0, 0.0f, c0);
        gfx->Coord(s1, 0.0f, c1);
        gfx->Coord(s0, c0, 0.0f);
        gfx->Coord(s1, c1, 0.0f);
    }
    gfx->End();
}

void nCollideShape::BeginMesh(int, int) {
    radius_ = 0.0f;
}

void nCollideShape::SetVertex(int, const vector3& v) {
    radius_ = std::max(radius_, v.Len());
}

void nCollideShape::SetTriangle(int, int, int, int) {}

void nCollideShape::EndMesh() {
    ready_ = true;
}

bool nCollideShape::Load(nFileServer2* fs, const char* fileName) {
    fileName_ = fileName ? fileName : "";
    const char* name = fileName_.Get();
    const bool n3d = std::strstr(name, ".n3d") != nullptr;
    if (!n3d && !std::strstr(name, ".nvx")) {
        n_error("collide shape '%s': Load('%s'): neither a .n3d nor a .nvx mesh\n", GetName(), name);
        return false;
    }
    std::string bytes;
    if (!fs || !fs->ReadFile(name, bytes)) {
        n_error("collide shape '%s': Load('%s'): cannot be read\n", GetName(), name);
        return false;
    }
    MeshFile mesh;
    bool read = n3d ? mesh.ParseN3d(bytes.data(), bytes.size())
                    : mesh.ParseNvx(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    if (!read) {
        n_error("collide shape '%s': Load('%s'): %s\n", GetName(), name, mesh.GetError());
        return false;
    }
    BeginMesh(mesh.GetNumVertices(), mesh.GetNumTriangles());
    for (int i = 0; i < mesh.GetNumVertices(); i++) SetVertex(i, mesh.GetPosition(i));
    for (int t = 0; t < mesh.GetNumTriangles(); t++) {
        const int* c = mesh.GetTriangle(t);
        SetTriangle(t, c[0], c[1], c[2]);
    }
    EndMesh();
    return true;
}

void nCollideShape::SetBoxSides(const vector3& sides) {
    ready_ = true;
    radius_ = sides.Len() * 0.5f;
}

vector3 nCollideShape::GetBoxSides() {
    nKernelServer::FatalError("pure virtual function!\n");
}

void nCollideShape::SetRadius(float r) {
    ready_ = true;
    radius_ = r;
}

void nCollideShape::SetCylinderParams(const float params[2]) {
    ready_ = true;
    radius_ = std::max(params[0] + params[1] * 0.5f, params[0]);
}

void nCollideShape::GetCylinderParams(float[2]) {
    nKernelServer::FatalError("pure virtual function!\n");
}
