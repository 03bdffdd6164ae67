#include "game/nbwDamageZone.h"

#include <cmath>

#include "collide/nCollideContext2.h"
#include "collide/nCollideObject2.h"
#include "collide/nCollideReport.h"
#include "game/nbwActor.h"
#include "kernel/nMathServer.h"
#include "kernel/nPersistServer.h"
#include "logic/nModCollisionState.h"

static const nCmdDef<nbwDamageZone> cmds[] = {
    Bind<&nbwDamageZone::SetMinDamage>("v_setmindamage_f", "SMID"),
    Bind<&nbwDamageZone::GetMinDamage>("f_getmindamage_v", "GMID"),
    Bind<&nbwDamageZone::SetMaxDamage>("v_setmaxdamage_f", "SMAD"),
    Bind<&nbwDamageZone::GetMaxDamage>("f_getmaxdamage_v", "GMAD"),
};
const nClassInfo nbwDamageZone::classInfo = nClassInfo::Make<nbwDamageZone>("nbwdamagezone", "nlogiccollision2", cmds);

nbwDamageZone::nbwDamageZone() {
    state_ = static_cast<nModCollisionState*>(CreateModuleState(nModuleState::Collision, "damage"));
    state_->SetContext("damage");
}

nbwDamageZone::~nbwDamageZone() = default;

void nbwDamageZone::Drain(nRoot* node, float frameTime) {
    // Only divers lose life here; fish, items and the rest pass through.
    if (!node || !node->IsA("nbwdiver")) return;
    auto* diver = static_cast<nbwActor*>(node);
    float rate = max_;
    if (max_ != min_) {
        const float r = mathRef_.Get()->GetRandom(counter_++ & 1023);
        rate = min_ + (max_ - min_) * (r + 1.0f) / 2.0f;
    }
    // The exact step of a drain proportional to what is left: a long frame takes what the
    // same time in short ones would.
    diver->SetStat(0, diver->GetStat(0) * std::exp(-frameTime * rate));
}

void nbwDamageZone::AnalyseCollision() {
    nModCollisionState* st = state_;
    if (!st->GetEnabled() || st->GetNumModules() == 0) return;
    nCollideContext2* ctx = st->GetContext();
    if (!ctx) return;
    const float frameTime = GetFrameTime();
    // Each contact counts: a diver touching with two shapes is drained twice. The other
    // side's owner is taken when it is not this zone.
    auto other = [this](const nCollideObject2* a, const nCollideObject2* b) -> nRoot* {
        const nCollideObject2* o = b && b->owner != this ? b : a;
        return o && o->owner != this ? o->owner : nullptr;
    };
    nCollidePair** pairs = nullptr;
    const int np = ctx->GetCollisions(st, pairs);
    for (int i = 0; i < np; i++) Drain(other(pairs[i]->objA, pairs[i]->objB), frameTime);
    nCollideReport** reports = nullptr;
    const int nr = ctx->GetContacts(st, reports);
    for (int i = 0; i < nr; i++) Drain(other(reports[i]->objA, reports[i]->objB), frameTime);
}

bool nbwDamageZone::SaveCmds(nPersistServer* ps) {
    return nLogicCollision2::SaveCmds(ps) && ps->Put(this, nId("SMID"), min_) && ps->Put(this, nId("SMAD"), max_);
}
