#include "logic/nLogicCar.h"

#include <cmath>
#include <cstring>

#include "collide/nCollideContext2.h"
#include "logic/nLogicCarHinge.h"
#include "logic/nModCollisionState.h"
#include "logic/nModPhysikState.h"

static const nCmdDef<nLogicCar> cmds[] = {
    Bind<&nLogicCar::SetHingePos>("v_sethingepos_sfff", "CSHP"),
};
const nClassInfo nLogicCar::classInfo = nClassInfo::Make<nLogicCar>("nlogiccar", "nlogicphysik2", cmds);

nLogicCar::nLogicCar() {
    int i = 0;
    for (const char* name : {"frontlefthinge", "frontrighthinge", "backlefthinge", "backrighthinge"}) {
        hinges_[i++] = new nLogicCarHinge(this, name);
    }
}

nLogicCar::~nLogicCar() {
    for (nLogicCarHinge*& h : hinges_) {
        delete h;
        h = nullptr;
    }
}

nLogicCarHinge* nLogicCar::FindHinge(const char* name) const {
    if (!name) return nullptr;
    for (nLogicCarHinge* h : hinges_) {
        if (h && std::strcmp(h->GetName(), name) == 0) return h;
    }
    return nullptr;
}

void nLogicCar::SetHingePos(const char* name, float x, float y, float z) {
    nLogicCarHinge* h = FindHinge(name);
    if (!h) {
        n_error("%s: v_sethingepos_sfff: the car has no hinge '%s'\n", GetFullName().c_str(), name ? name : "");
        return;
    }
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) {
        n_error("%s: v_sethingepos_sfff: position (%g, %g, %g) of '%s' is not finite; not set\n",
                GetFullName().c_str(), x, y, z, name);
        return;
    }
    h->SetPosition(vector3(x, y, z));
}

bool nLogicCar::FollowsNode(const nModuleState* state) const {
    for (nLogicCarHinge* h : hinges_) {
        if (h && state == h->GetCollisionState()) return false;
    }
    return true;
}

void nLogicCar::UpdateModules(const matrix44& world) {
    nLogicPhysik2::UpdateModules(world);
    nModPhysikState* own = GetPhysikState();
    // The wheels are joined to the car's body only while that body is rebuilt each frame.
    nPhysikBody* carBody = own->GetEnabled() && own->GetNumModules() > 0 ? own->GetBody() : nullptr;
    const bool collide = HasCollision();
    const bool physik = HasPhysik();
    const float t = GetTime();
    for (nLogicCarHinge* h : hinges_) h->Update(world, t, collide, physik, carBody);
}

void nLogicCar::AnalyseCollision() {
    nLogicPhysik2::AnalyseCollision();
    if (!HasPhysik()) return;
    for (nLogicCarHinge* h : hinges_) {
        nModCollisionState* cs = h->GetCollisionState();
        if (!cs->GetEnabled() || cs->GetNumModules() == 0 || !h->HasBody()) continue;
        nCollideContext2* ctx = cs->GetContext();
        if (!ctx) continue;
        nCollideReport** list = nullptr;
        const int n = ctx->GetContacts(cs, list);
        JoinContacts(list, n, cs, h->GetPhysikState()->GetBody());
    }
}

bool nLogicCar::StepPhysik(const matrix44& recordWorld) {
    // The parent's world matrix of this frame, to find the car's new world matrix after
    // its own step moved its local one.
    const matrix44 before = GetMatrix();
    matrix44 parent;
    if (before != recordWorld) {
        parent = before;
        parent.Invert();
        parent = parent * recordWorld;
    }
    const bool moved = nLogicPhysik2::StepPhysik(recordWorld);
    matrix44 inverse = GetMatrix() * parent;
    inverse.Invert();
    for (nLogicCarHinge* h : hinges_) h->Step(inverse);
    return moved;
}
