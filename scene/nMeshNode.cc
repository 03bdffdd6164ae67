#include "scene/nMeshNode.h"

#include <cstring>

#include "gfx/nGfxServer.h"
#include "gfx/nIndexBuffer.h"
#include "gfx/nVertexBuffer.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "scene/MeshLoader.h"
#include "scene/nSceneGraph2.h"
#include "scene/nShadowCaster.h"
#include "scene/nShadowServer.h"

namespace {

const nCmdDef<nMeshNode> cmds[] = {
    Bind<&nMeshNode::SetFileName>("v_setfilename_s", "SFLN"),
    Bind<&nMeshNode::GetFileName>("s_getfilename_v", "GFLN"),
    Bind<&nMeshNode::SetReadOnly>("v_setreadonly_b", "SRDO"),
    Bind<&nMeshNode::GetReadOnly>("b_getreadonly_v", "GRDO"),
    Bind<&nMeshNode::SetCastShadow>("v_setcastshadow_b", "SCSD"),
    Bind<&nMeshNode::GetCastShadow>("b_getcastshadow_v", "GCSD"),
};

// Drops the caller's reference of a shared resource that may have died already.
template <class T>
void ReleaseRef(nRef<T>& ref) {
    if (T* obj = ref.GetUnsafe()) obj->Release();
    ref.Set(nullptr);
}

}  // namespace

const nClassInfo nMeshNode::classInfo = nClassInfo::Make<nMeshNode>("nmeshnode", "nvisnode", cmds);

nMeshNode::nMeshNode() : refShadow_("/sys/servers/shadow") {}

nMeshNode::~nMeshNode() {
    releaseResources();
}

void nMeshNode::releaseResources() {
    ReleaseRef(vertexBuffer_);
    ReleaseRef(indexBuffer_);
    ReleaseRef(shadowCaster_);
}

void nMeshNode::SetFileName(const char* name) {
    if (!nFileServer2::MayKeepPath(name)) return;
    releaseResources();
    fileName_ = name ? name : "";
    loadFailed_ = false;
}

void nMeshNode::SetReadOnly(bool on) {
    if (on == readOnly_) return;
    releaseResources();
    readOnly_ = on;
    loadFailed_ = false;
}

bool nMeshNode::LoadMesh() {
    const std::string path = GetFullName();
    const char* file = GetFileName();
    const bool n3d = std::strstr(file, ".n3d") != nullptr;
    if (!n3d && !std::strstr(file, ".nvx")) {
        n_error("%s: mesh '%s' is neither a .n3d nor a .nvx file\n", path.c_str(), file);
        return false;
    }
    releaseResources();
    nGfxServer* gfx = refGfx.Get();
    nShadowServer* shadow = refShadow_.Get();
    // Every spelling of one file shares one set of buffers and one caster.
    nString name = nFileServer2::Share(fileName_.Get()).c_str();
    name += readOnly_ ? "_ro" : "_rw";

    // Loaded before: share what the first load made. Find counts a reference for us.
    if (nVertexBuffer* vb = gfx->FindVertexBuffer(name.Get())) {
        nIndexBuffer* ib = gfx->FindIndexBuffer(name.Get());
        if (!ib) {
            n_error("%s: mesh '%s' has a shared vertex buffer but no index buffer\n", path.c_str(), file);
            vb->Release();
            return false;
        }
        nShadowCaster* caster = shadow->FindCaster(name.Get());
        if (caster) caster->AddRef();
        vertexBuffer_.Set(vb);
        indexBuffer_.Set(ib);
        shadowCaster_.Set(caster);
        return true;
    }

    MeshLoader loader;
    if (!(n3d ? loader.ReadN3d(file) : loader.ReadNvx(file))) {
        n_error("%s: mesh '%s': %s\n", path.c_str(), file, loader.GetError());
        return false;
    }
    // The whole file is good: only now does anything appear under its name. An index
    // buffer or caster left under the name (the gfx server releases its buffers when the
    // display closes, the shadow server keeps its casters) is taken and refilled.
    const int nv = loader.GetNumVertices(), ni = loader.GetNumIndices(), ne = loader.GetNumEdges();
    nVertexBuffer* vb = gfx->NewVertexBuffer(name.Get(), readOnly_ ? 1 : 0, loader.GetComponents(), nv);
    if (!vb) {
        n_error("%s: mesh '%s': no vertex buffer for %d vertices\n", path.c_str(), file, nv);
        return false;
    }
    vertexBuffer_.Set(vb);
    nShadowCaster* caster = nullptr;
    if (ne > 0) {
        caster = shadow->FindCaster(name.Get());
        if (caster) caster->AddRef();
        else caster = shadow->NewCaster(name.Get());
        shadowCaster_.Set(caster);
        if (!caster || !caster->SetSize(nv, ne)) {
            n_error("%s: mesh '%s': no shadow caster for %d edges\n", path.c_str(), file, ne);
            releaseResources();
            return false;
        }
        caster->SetLocked(true);
    }
    if (!vb->Lock()) {
        n_error("%s: mesh '%s': the vertex buffer cannot be locked\n", path.c_str(), file);
        releaseResources();
        return false;
    }
    bbox3 box;
    const bool filled = loader.FillVertices(vb, caster, box);
    vb->Unlock();
    if (!filled) {
        n_error("%s: mesh '%s': %s\n", path.c_str(), file, loader.GetError());
        if (caster) caster->SetLocked(false);
        releaseResources();
        return false;
    }
    vb->SetBoundingBox(box);
    if (caster) {
        loader.FillEdges(caster->GetEdges());
        caster->SetLocked(false);
    }

    nIndexBuffer* ib = gfx->FindIndexBuffer(name.Get());
    if (!ib) ib = gfx->NewIndexBuffer(name.Get());
    indexBuffer_.Set(ib);
    if (!ib) {
        n_error("%s: mesh '%s': no index buffer\n", path.c_str(), file);
        releaseResources();
        return false;
    }
    if (ni > 0 && !ib->Fill(nIndexBuffer::TRIANGLELIST, loader.GetIndices(), ni, loader.GetMaxIndex())) {
        n_error("%s: mesh '%s': the index buffer cannot hold %d indices\n", path.c_str(), file, ni);
        releaseResources();
        return false;
    }
    return true;
}

bool nMeshNode::ensureLoaded() {
    if (vertexBuffer_.GetUnsafe() && indexBuffer_.GetUnsafe()) return true;
    if (fileName_.IsEmpty() || loadFailed_) return false;
    // LoadMesh has logged why; the node stays quiet until the file name changes.
    if (!LoadMesh()) loadFailed_ = true;
    return !loadFailed_;
}

nVertexBuffer* nMeshNode::GetVertexBuffer() {
    return ensureLoaded() ? vertexBuffer_.GetUnsafe() : nullptr;
}

bool nMeshNode::Attach(nSceneGraph2* sceneGraph) {
    if (!nVisNode::Attach(sceneGraph)) return false;
    if (readOnly_) return true;
    if (nSceneNodeRecord* rec = sceneGraph->GetCurrentNode()) rec->meshNode = this;
    return true;
}

void nMeshNode::Compute(nSceneGraph2* sceneGraph) {
    nVisNode::Compute(sceneGraph);
    if (fileName_.IsEmpty() || !ensureLoaded()) return;
    nSceneNodeRecord* rec = sceneGraph->GetCurrentNode();
    if (!rec) return;
    rec->vertexBuffer = vertexBuffer_.GetUnsafe();
    rec->indexBuffer = indexBuffer_.GetUnsafe();
    if (castShadow_) {
        if (nShadowCaster* caster = shadowCaster_.GetUnsafe()) rec->shadowCaster = caster;
    }
}

void nMeshNode::Preload() {
    if (!fileName_.IsEmpty()) ensureLoaded();
    nVisNode::Preload();
}

bool nMeshNode::SaveCmds(nPersistServer* ps) {
    if (!nVisNode::SaveCmds(ps)) return false;
    if (!fileName_.IsEmpty() && !ps->Put(this, nId("SFLN"), GetFileName())) return false;
    if (readOnly_ && !ps->Put(this, nId("SRDO"), true)) return false;
    if (castShadow_ && !ps->Put(this, nId("SCSD"), true)) return false;
    return true;
}
