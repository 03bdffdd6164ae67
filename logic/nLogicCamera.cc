#include "logic/nLogicCamera.h"

#include "gfx/nGfxServer.h"
#include "input/nInputEvent.h"
#include "input/nInputServer.h"
#include "kernel/nPersistServer.h"
#include "logic/nCameraServer.h"
#include "logic/nModCollisionState.h"

static const nCmdDef<nLogicCamera> cmds[] = {
    {"v_setcurrent_v", "LCSC", [](nLogicCamera* self, nCmd*) { self->SetCurrent(); }},
    {"b_getcurrent_v", "LCGC", [](nLogicCamera* self, nCmd* c) { c->Out()->SetB(self->IsCurrent()); }},
    Bind<&nLogicCamera::SetPickEnable>("v_setpickenable_b", "LCSP"),
    Bind<&nLogicCamera::GetPickEnable>("b_getpickenable_v", "LCGP"),
    Bind<&nLogicCamera::SetPickDistance>("v_setpickdistance_f", "LCSD"),
    Bind<&nLogicCamera::GetPickDistance>("f_getpickdistance_v", "LCGD"),
};
const nClassInfo nLogicCamera::classInfo = nClassInfo::Make<nLogicCamera>("nlogiccamera", "nlogicphysik2", cmds);

nLogicCamera::nLogicCamera() = default;

nLogicCamera::~nLogicCamera() = default;

nCameraServer* nLogicCamera::GetCameraServer() {
    return cameraRef_.Get();
}

nInputServer* nLogicCamera::GetInputServer() {
    return inputRef_.Get();
}

void nLogicCamera::SetCurrent() {
    GetCameraServer()->SetCurrentCamera(this);
}

bool nLogicCamera::IsCurrent() {
    return GetCameraServer()->GetCurrentCamera() == this;
}

void nLogicCamera::SetPickEnable(bool on) {
    GetPickingState()->SetEnabled(on);
}

bool nLogicCamera::GetPickEnable() const {
    return GetPickingState()->GetEnabled();
}

bool nLogicCamera::Button(nInputServer* input, const char* name) {
    return input->GetButton(name);
}

void nLogicCamera::MouseDelta::Update(nInputServer* input) {
    for (nInputEvent* e = input->FirstEvent(); e; e = nInputServer::NextEvent(e)) {
        if (e->type == N_INPUT_MOUSE_MOVE) {
            curX = e->x;
            curY = e->y;
        }
    }
    if (prevX != 0) dx = curX - prevX;
    if (prevY != 0) dy = curY - prevY;
    prevX = curX;
    prevY = curY;
}

bool nLogicCamera::Trigger(nLogicGraph* graph) {
    isCurrent_ = IsCurrent();
    nModCollisionState* picking = GetPickingState();
    if (isCurrent_ && picking->GetEnabled()) {
        picking->SetTime(GetTime());
        for (nInputEvent* e = GetInputServer()->FirstEvent(); e; e = nInputServer::NextEvent(e)) {
            if (e->type == N_INPUT_MOUSE_MOVE) {
                mouseX_ = e->x;
                mouseY_ = e->y;
            }
        }
    }
    // Only the current camera picks.
    pickHit_ = isCurrent_ && mouseX_ > -1 && AcceptPick(mouseX_, mouseY_) && BuildPickPoint();
    return nLogicPhysik2::Trigger(graph);
}

bool nLogicCamera::BuildPickPoint() {
    nGfxServer* gfx = gfxRef_.Get();
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    if (!gfx->GetDisplayDesc(x0, y0, x1, y1)) return false;
    const int w = x1 - x0, h = y1 - y0;
    float minx, maxx, miny, maxy, minz, maxz;
    gfx->GetViewVolume(minx, maxx, miny, maxy, minz, maxz);
    // No display size or near plane: no ray rather than a division by zero.
    if (w < 2 || h < 2 || minz == 0.0f) return false;
    const float d = pickDistance_;
    const float sx = maxx * d / minz;
    const float sy = -(maxy * d / minz);
    pickPoint_.x = float(mouseX_ - w / 2) / (float(w / 2)) * sx;
    pickPoint_.y = float(mouseY_ - h / 2) / (float(h / 2)) * sy;
    pickPoint_.z = -d;
    return true;
}

bool nLogicCamera::HasCollision() const {
    if (pickHit_ && isCurrent_ && GetPickingState()->GetEnabled()) return true;
    return nLogicPhysik2::HasCollision();
}

void nLogicCamera::UpdateModules(const matrix44& world) {
    if (pickHit_) {
        rayOrigin_ = world.Translation();
        rayDirection_ = world * pickPoint_ - rayOrigin_;
    }
    nLogicPhysik2::UpdateModules(world);
}

void nLogicCamera::AnalyseCollision() {
    if (HasCollision()) nLogicPhysik2::AnalyseCollision();
}

bool nLogicCamera::SaveCmds(nPersistServer* ps) {
    if (!nLogicPhysik2::SaveCmds(ps)) return false;
    if (IsCurrent() && !ps->Put(this, nId("LCSC"))) return false;
    return ps->Put(this, nId("LCSP"), GetPickEnable()) && ps->Put(this, nId("LCSD"), pickDistance_);
}
