// nD3D8Server: vertex pools, vertex and index buffers.
#include "gfx/nD3D8IndexBuffer.h"
#include "gfx/nD3D8Server.h"
#include "gfx/nD3D8VertexPool.h"
#include "kernel/nKernelServer.h"

namespace {

// Manager slots, in the order the display opens them.
enum { SysMemManager = 0, StaticManager = 1, Dynamic0Manager = 2, Dynamic1Manager = 3 };

const char* const DynamicNames[2] = {"_dynamic0", "_dynamic1"};

}  // namespace

void nD3D8Server::openPoolManagers() {
    poolManagers[SysMemManager] = std::make_unique<nVertexPoolManager>(this, nVertexPool::SYSMEM);
    poolManagers[StaticManager] = std::make_unique<nVertexPoolManager>(this, nVertexPool::STATIC);
    poolManagers[Dynamic0Manager] = std::make_unique<nVertexPoolManager>(this, nVertexPool::DYNAMIC);
    poolManagers[Dynamic1Manager] = std::make_unique<nVertexPoolManager>(this, nVertexPool::DYNAMIC);
    dynamicIndex = 0;
}

void nD3D8Server::closePoolManagers() {
    for (auto& manager : poolManagers) manager.reset();
    SetCurrentRange(nullptr);
}

nVertexPoolManager* nD3D8Server::GetPoolManager(int index) const {
    return index >= 0 && index < 4 ? poolManagers[index].get() : nullptr;
}

nVertexPool* nD3D8Server::NewVertexPool(nVertexPoolManager* manager, int kind, int components, int capacity) {
    nVertexPool* pool = kind == nVertexPool::SYSMEM
                            ? new nVertexPool(this, manager, kind, components, capacity)
                            : new nD3D8VertexPool(this, manager, kind, components, capacity);
    // A pool whose storage failed is still handed back: it has no room, so the
    // manager's allocation from it fails.
    pool->Alloc();
    return pool;
}

nVertexBuffer* nD3D8Server::NewVertexBuffer(const char* name, int usage, int components, int count) {
    nVertexPoolManager* manager = poolManagers[usage != 0 ? SysMemManager : StaticManager].get();
    if (!manager) {
        n_error("nD3D8Server::NewVertexBuffer(): no display is open for '%s'\n", name ? name : "");
        return nullptr;
    }
    if (count < 1) {
        n_error("nD3D8Server::NewVertexBuffer(): '%s' asked for %d vertices\n", name ? name : "", count);
        return nullptr;
    }
    // The range first, so a refused request leaves no object behind.
    nVertexRange* range = manager->Alloc(components, count);
    if (!range) {
        n_error("nD3D8Server::NewVertexBuffer(): no room for %d vertices of components 0x%x for '%s'\n", count,
                components, name ? name : "");
        return nullptr;
    }
    auto* vb = static_cast<nVertexBuffer*>(newResource(vxbufList, "nvertexbuffer", name));
    if (!vb || vb->GetRange()) {
        if (vb) n_error("nD3D8Server::NewVertexBuffer(): '%s' exists already\n", vb->GetName());
        manager->Free(range);
        return nullptr;
    }
    vb->SetRange(range, this, count);
    return vb;
}

nIndexBuffer* nD3D8Server::NewIndexBuffer(const char* name) {
    return static_cast<nIndexBuffer*>(newResource(ixbufList, "nd3d8indexbuffer", name));
}

nVertexBuffer* nD3D8Server::NewDynamicVertexBuffer(int components, int count) {
    dynamicIndex = dynamicIndex == 0 ? 1 : 0;
    nVertexPoolManager* manager = poolManagers[Dynamic0Manager + dynamicIndex].get();
    if (!manager) {
        n_error("nD3D8Server::NewDynamicVertexBuffer(): no display is open\n");
        return nullptr;
    }
    nVertexBuffer* vb = dynamicBuffers[dynamicIndex].GetUnsafe();
    if (!vb) {
        vb = static_cast<nVertexBuffer*>(newResource(vxbufList, "nvertexbuffer", DynamicNames[dynamicIndex]));
        if (!vb) nKernelServer::FatalError("Aborting.");
        dynamicBuffers[dynamicIndex].Set(vb);
    }
    nVertexRange* range = manager->Alloc(components, count);
    if (!range) {
        n_error("nD3D8Server::NewDynamicVertexBuffer(): no dynamic buffer for %d vertices of components 0x%x\n",
                count, components);
        return nullptr;
    }
    // The range is the pool's shared one: the buffer only points at it.
    vb->SetRange(range, this, count);
    return vb;
}

void nD3D8Server::DynamicVertexBufferDone(nVertexBuffer*) {}
