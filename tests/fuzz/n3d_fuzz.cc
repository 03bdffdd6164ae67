// Feeds arbitrary text to the mesh node's ".n3d" reader and fills what it accepts.
#include "tests/fuzz/MeshLoaderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    meshfuzz::Kernel();
    MeshLoader mesh;
    const bool ok = mesh.ParseN3d(reinterpret_cast<const char*>(data), size);
    meshfuzz::Check(mesh, ok);
    return 0;
}
