// Feeds arbitrary bytes to the mesh node's ".nvx" reader and fills what it accepts.
#include "tests/fuzz/MeshLoaderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    meshfuzz::Kernel();
    MeshLoader mesh;
    const bool ok = mesh.ParseNvx(data, size);
    meshfuzz::Check(mesh, ok);
    return 0;
}
