#pragma once
// What the .n3d and .nvx fuzz targets share: an accepted mesh must have coordinates,
// 1..65535 vertices, whole triangles and indices and edge corners below the vertex
// count, and must fill a vertex buffer of its own components, its index array and a
// shadow caster without touching anything outside them. A refused one has no counts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "gfx/nGfxPackage.h"
#include "gfx/nVertexBuffer.h"
#include "gfx/nVertexPool.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "kernel/nLogHandler.h"
#include "scene/MeshLoader.h"
#include "scene/nScenePackage.h"
#include "scene/nShadowCaster.h"

namespace meshfuzz {

class nSilentLog : public nLogHandler {};

inline nKernelServer* Kernel() {
    static nKernelServer* kernel = [] {
        auto* k = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nGfxPackage(ks);
            nScenePackage(ks);
        });
        static nSilentLog silent;
        k->SetLogHandler(&silent);
        return k;
    }();
    return kernel;
}

inline void Check(const MeshLoader& mesh, bool accepted) {
    const int nv = mesh.GetNumVertices(), ni = mesh.GetNumIndices(), ne = mesh.GetNumEdges();
    if (!accepted) {
        if (nv || ni || ne || mesh.GetComponents()) std::abort();
        return;
    }
    if (nv < 1 || nv > MeshLoader::MaxVertices || ni < 0 || ni % 3 || ne < 0) std::abort();
    if (!(mesh.GetComponents() & N_VT_COORD) || (mesh.GetComponents() & ~0xFF)) std::abort();

    std::vector<uint16_t> indices(size_t(ni) + 1, 0xABCD);
    mesh.FillIndices(indices.data());
    if (indices[size_t(ni)] != 0xABCD) std::abort();
    for (int i = 0; i < ni; i++) {
        if (indices[size_t(i)] >= nv) std::abort();
    }

    nKernelServer* k = Kernel();
    nVertexPool pool(nullptr, nullptr, nVertexPool::SYSMEM, mesh.GetComponents(), nv);
    if (!pool.Alloc()) std::abort();
    auto* vb = static_cast<nVertexBuffer*>(k->New("nvertexbuffer", "/vb"));
    vb->SetRange(pool.AllocRange(nv), nullptr, nv);
    auto* caster = ne > 0 ? static_cast<nShadowCaster*>(k->New("nshadowcaster", "/caster")) : nullptr;
    if (caster && !caster->SetSize(nv, ne)) std::abort();
    if (!vb->Lock()) std::abort();
    bbox3 box;
    if (!mesh.FillVertices(vb, caster, box)) std::abort();
    vb->Unlock();
    if (caster) {
        mesh.FillEdges(caster->GetEdges());
        for (int e = 0; e < ne; e++) {
            const nShadowEdge& edge = caster->GetEdges()[e];
            if (edge.a >= nv || edge.b >= nv || edge.c >= nv || edge.d >= nv) std::abort();
        }
        caster->Release();
    }
    vb->Release();
}

}  // namespace meshfuzz
