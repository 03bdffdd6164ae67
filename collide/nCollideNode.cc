#include "collide/nCollideNode.h"

#include "collide/nCollideContext.h"
#include "collide/nCollideObject.h"
#include "collide/nCollideServer.h"
#include "collide/nCollideShape.h"
#include "gfx/nGfxServer.h"
#include "kernel/nCmd.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "scene/nSceneGraph2.h"

namespace {

const nCmdDef<nCollideNode> cmds[] = {
    Bind<&nCollideNode::SetFileName>("v_setfilename_s", "SFIL"),
    Bind<&nCollideNode::GetFileName>("s_getfilename_v", "GFIL"),
    Bind<&nCollideNode::SetCollClass>("v_setcollclass_s", "SCCL"),
    Bind<&nCollideNode::GetCollClass>("s_getcollclass_v", "GCCL"),
};

constexpr const char* CollidePath = "/sys/servers/collide";

}  // namespace

const nClassInfo nCollideNode::classInfo = nClassInfo::Make<nCollideNode>("ncollidenode", "nvisnode", cmds);

nCollideNode::nCollideNode() : refFile_("/sys/servers/file2"), refCollide_(CollidePath) {}

nCollideNode::~nCollideNode() {
    // A server that died first took its contexts, objects and shapes with it.
    if (nCollideServer* server = owner_.GetUnsafe()) {
        if (object_ && context_) context_->ReleaseObject(object_);
        if (shape_) server->ReleaseShape(shape_);
    }
    dropDeadServer();
}

void nCollideNode::dropDeadServer() {
    object_ = nullptr;
    context_ = nullptr;
    shape_ = nullptr;
    owner_.Set(nullptr);
}

void nCollideNode::SetFileName(const char* name) {
    if (!nFileServer2::MayKeepPath(name)) return;
    fileName_ = name ? name : "";
    fileChanged_ = true;
}

nCollideServer* nCollideNode::collideServer() {
    if (!refCollide_.IsValid()) nKernelServer::ks->New("ncollideserver", CollidePath);
    return refCollide_.Get();
}

bool nCollideNode::Attach(nSceneGraph2* sceneGraph) {
    bool result = nVisNode::Attach(sceneGraph);
    if (result) {
        if (nSceneNodeRecord* rec = sceneGraph->GetCurrentNode()) rec->otherVisual = this;
    }
    return result;
}

void nCollideNode::Compute(nSceneGraph2* sceneGraph) {
    for (nRoot* child = GetHead(); child; child = child->GetSucc()) {
        if (IsVisual(child)) static_cast<nVisNode*>(child)->Compute(sceneGraph);
    }
    nCollideServer* server = collideServer();
    if (object_ && owner_.GetUnsafe() != server) {
        // The server went away (a new one may stand in its place): start over there.
        dropDeadServer();
        fileChanged_ = !fileName_.IsEmpty();
    }
    if (!object_) {
        // Without a class there is nothing to register yet; the next Compute tries again.
        if (collClass_.IsEmpty()) return;
        owner_.Set(server);
        context_ = server->GetDefaultContext();
        object_ = context_->NewObject();
        object_->SetClass(server->QueryCollClass(collClass_.Get()));
        context_->AddObject(object_);
    }
    if (fileChanged_) {
        if (shape_) server->ReleaseShape(shape_);
        shape_ = server->NewShape(6, fileName_.Get());
        if (!shape_->IsReady() && !shape_->Load(refFile_.Get(), fileName_.Get())) {
            // Logged by Load: the node goes on without a shape.
            server->ReleaseShape(shape_);
            shape_ = nullptr;
        }
        object_->SetShape(shape_);
        fileChanged_ = false;
    }
    nSceneNodeRecord* rec = sceneGraph->GetCurrentNode();
    if (!rec) return;
    matrix44 world = rec->matrix;
    world.MultSimple(refGfx.Get()->GetMatrix(nGfxServer::VIEWER));
    object_->SetTransform(0.0, world);
}
