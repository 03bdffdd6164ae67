// Feeds arbitrary bytes to the collide shape's mesh reading, once as a ".n3d" text mesh
// and once as a ".nvx" binary mesh, through real files as the engine reads them. An
// accepted mesh must have vertices and triangles whose corners are all real vertices,
// and a refused one must leave the shape untouched.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "collide/nCollidePackage.h"
#include "collide/nCollideShape2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nLogHandler.h"

namespace {

class nSilentLog : public nLogHandler {};

// Checks every corner against the vertex count it was begun with.
class nCheckedMesh : public nCollideShape2 {
public:
    static const nClassInfo classInfo;
    void BeginMesh(int nv, int nt) override {
        if (nv <= 0 || nt <= 0) std::abort();
        numVertices = nv;
        numTriangles = nt;
        began = true;
        nCollideShape2::BeginMesh(nv, nt);
    }
    void SetVertex(int i, const vector3& v) override {
        if (i < 0 || i >= numVertices) std::abort();
        nCollideShape2::SetVertex(i, v);
    }
    bool SetTriangle(int i, int a, int b, int c) override {
        if (i < 0 || i >= numTriangles) std::abort();
        for (int k : {a, b, c}) {
            if (k < 0 || k >= numVertices) std::abort();
        }
        return true;
    }
    int numVertices = 0;
    int numTriangles = 0;
    bool began = false;
};
const nClassInfo nCheckedMesh::classInfo = nClassInfo::Make<nCheckedMesh>("ncheckedmesh", "ncollideshape2");

std::string TempPath(const char* ext) {
    return "/tmp/bw_collidemesh_fuzz_" + std::to_string(::getpid()) + ext;
}

void Feed(nKernelServer* kernel, const uint8_t* data, size_t size, const char* ext) {
    const std::string path = TempPath(ext);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
    auto* mesh = static_cast<nCheckedMesh*>(kernel->New("ncheckedmesh", "/mesh"));
    bool ok = mesh->Load(path.c_str());
    if (ok != mesh->IsReady()) std::abort();
    if (!ok && mesh->began) std::abort();
    mesh->Release();
    std::remove(path.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static nKernelServer* kernel = [] {
        auto* k = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nCollidePackage(ks);
            ks->AddClass(nCheckedMesh::classInfo);
        });
        static nSilentLog silent;
        k->SetLogHandler(&silent);
        return k;
    }();
    Feed(kernel, data, size, ".n3d");
    Feed(kernel, data, size, ".nvx");
    return 0;
}
