#include "collide/nCollideShape2.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "gfx/MeshFile.h"
#include "gfx/nGfxServer.h"
#include "kernel/nKernelServer.h"

const nClassInfo nCollideShape2::classInfo = nClassInfo::Make<nCollideShape2>("ncollideshape2", "nroot");

int nCollideShape2::GetType() const {
    return QUICK;
}

bool nCollideShape2::Collide(const matrix44&, nCollideShape2*, const matrix44&, nCollideReportBuffer*,
                             const vector3&, const vector3&) {
    nKernelServer::FatalError("nCollideShape2::Collide , pure virtual function!\n");
}

bool nCollideShape2::LineCheck(const matrix44&, const line3&, nCollideReportBuffer*, const vector3&) {
    nKernelServer::FatalError("nCollideShape2::LineCheck , pure virtual function!\n");
}

const char* nCollideShape2::GetMeshFile() {
    nKernelServer::FatalError("nCollideShape2::GetMeshFile , pure virtual function!\n");
}

vector3 nCollideShape2::GetBoxSides() {
    nKernelServer::FatalError("nCollideShape2::GetBoxSides , pure virtual function!\n");
}

void nCollideShape2::GetCylinderParams(float[2]) {
    nKernelServer::FatalError("nCollideShape2::GetCylinderParams , pure virtual function!\n");
}

void nCollideShape2::Visualize(nGfxServer* gfx) {
    // Three circles of 5-degree segments, around the x, y and z axes.
    const float step = 0.0872664675f;
    const float r = radius;
    gfx->Begin(3);
    // Counted, not accumulated, so rounding never adds a 73rd segment.
    for (int i = 0; i < 72; i++) {
        float a = float(i) * step;
        float b = a + step;
        float s0 = std::sin(a) * r, c0 = std::cos(a) * r;
        float s1 = std::sin(b) * r, c1 = std::cos(b) * r;
        gfx->Coord(0.0f, s0, c0);
        gfx->Coord(0.0f, s1, c1);
        gfx->Coord(s0, 0.0f, c0);
        gfx->Coord(s1, 0.0f, c1);
        gfx->Coord(s0, c0, 0.0f);
        gfx->Coord(s1, c1, 0.0f);
    }
    gfx->End();
}

void nCollideShape2::BeginMesh(int, int) {
    radius = 0.0f;
}

void nCollideShape2::SetVertex(int, const vector3& v) {
    float l = v.Len();
    radius = std::max(radius, l);
    innerRadius = std::min(innerRadius, 0.1f * l);
}

bool nCollideShape2::SetTriangle(int, int, int, int) {
    return true;
}

bool nCollideShape2::EndMesh() {
    ready = true;
    return true;
}

void nCollideShape2::SetBoxSides(const vector3& sides) {
    ready = true;
    radius = sides.Len() * 0.5f;
    float smallest = std::min(sides.x, std::min(sides.y, sides.z)) * 0.5f;
    innerRadius = 0.25f * smallest;
}

void nCollideShape2::SetCylinderParams(const float params[2]) {
    float r = params[0], l = params[1];
    float m = r + l * 0.5f;
    ready = true;
    radius = std::max(m, r);
    innerRadius = 0.25f * std::min(m, r);
}

void nCollideShape2::SetRadius(float r) {
    ready = true;
    radius = r;
    innerRadius = 0.25f * r;
}

void nCollideShape2::SetQuickRadius(float r) {
    ready = true;
    radius = r;
    innerRadius = r;
}

bool nCollideShape2::Load(const char* fileName) {
    std::string path = GetFullName();
    if (!fileName || !*fileName) {
        n_error("%s: Load() without a file name\n", path.c_str());
        return false;
    }
    MeshFile mesh;
    bool read = false;
    if (std::strstr(fileName, ".n3d")) {
        read = mesh.ReadN3d(fileName);
    } else if (std::strstr(fileName, ".nvx")) {
        read = mesh.ReadNvx(fileName);
    } else {
        n_error("%s: Load('%s'): neither a .n3d nor a .nvx mesh\n", path.c_str(), fileName);
        return false;
    }
    if (!read) {
        n_error("%s: Load('%s'): %s\n", path.c_str(), fileName, mesh.GetError());
        return false;
    }
    const int numVertices = mesh.GetNumVertices();
    const int numTriangles = mesh.GetNumTriangles();
    BeginMesh(numVertices, numTriangles);
    for (int i = 0; i < numVertices; i++) SetVertex(i, mesh.GetPosition(i));
    bool good = true;
    for (int t = 0; t < numTriangles && good; t++) {
        const int* c = mesh.GetTriangle(t);
        good = SetTriangle(t, c[0], c[1], c[2]);
    }
    // The reader has checked every index already; a subclass may refuse more.
    if (!good || !EndMesh()) {
        n_error("%s: Load('%s'): the mesh was refused\n", path.c_str(), fileName);
        return false;
    }
    return true;
}
