#include "logic/nCameraServer.h"

#include "gfx/nGfxServer.h"
#include "kernel/nKernelServer.h"
#include "logic/nLogicCamera.h"

static const nCmdDef<nCameraServer> cmds[] = {
    Bind<&nCameraServer::GetCurrentCameraPath>("s_getcurrentcamera_v", "CGCC"),
};
const nClassInfo nCameraServer::classInfo = nClassInfo::Make<nCameraServer>("ncameraserver", "nroot", cmds);

nCameraServer::nCameraServer() = default;

nCameraServer::~nCameraServer() = default;

std::string nCameraServer::GetCurrentCameraPath() const {
    nLogicCamera* cam = current_.GetUnsafe();
    return cam ? cam->GetFullName() : std::string();
}

void nCameraServer::ApplyView(nGfxServer* gfx, matrix44& view) {
    nLogicCamera* cam = current_.GetUnsafe();
    if (!cam) nKernelServer::FatalError("Aborting.");
    cam->PlaceForView();
    TakeView(cam, gfx, view);
}

bool nCameraServer::RetakeView(nGfxServer* gfx, matrix44& view) {
    nLogicCamera* cam = current_.GetUnsafe();
    if (!cam || !cam->PlaceAfterTraversal()) return false;
    TakeView(cam, gfx, view);
    return true;
}

void nCameraServer::TakeView(nLogicCamera* cam, nGfxServer* gfx, matrix44& view) {
    // The world matrix the traversal is about to compute: the stored one is last frame's.
    matrix44 world = cam->GetMatrix();
    nClass* visual = nKernelServer::ks->FindClass("nlogicvisual2");
    for (nRoot* p = cam->GetParent(); p && p->IsA(visual); p = p->GetParent()) {
        world = world * static_cast<nLogicVisual2*>(p)->GetMatrix();
    }
    gfx->SetMatrix(0, world);
    view = world;
    view.Invert();
}
