#include "game/nbwCavity.h"

#include "collide/nCollideContext2.h"
#include "collide/nCollideObject2.h"
#include "collide/nCollideReport.h"
#include "game/nbwCharacter.h"
#include "game/nbwContainer.h"
#include "game/nbwRescue.h"
#include "game/nbwStartPoint.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "logic/nModCollisionState.h"
#include "logic/nScriptEvent.h"

static const nCmdDef<nbwCavity> cmds[] = {
    Bind<&nbwCavity::AddRescueZone>("v_addrescuezone_s", "CARZ"),
    Bind<&nbwCavity::RequestRescue>("v_rescue_v", "CRES"),
};
const nClassInfo nbwCavity::classInfo = nClassInfo::Make<nbwCavity>("nbwcavity", "nbwitem", cmds);

nbwCavity::nbwCavity() {
    stickZone_ = static_cast<nModCollisionState*>(CreateModuleState(nModuleState::Collision, "stickzone"));
    enterEvent_ = DeclareEvent("onenter", "ss");
    rescueEvent_ = DeclareEvent("onrescue", "ss");
}

nbwCavity::~nbwCavity() = default;

// -- zones ----------------------------------------------------------------------------

void nbwCavity::AddRescueZone(const char* path) {
    const std::string p = path ? path : "";
    for (const Zone& z : zones_) {
        if (z.path == p) return;
    }
    zones_.push_back({p, nRef<nRoot>()});
    zoneLogged_.push_back(false);
}

nbwStartPoint* nbwCavity::ZoneAt(int i) {
    Zone& z = zones_[size_t(i)];
    nRoot* obj = z.ref.GetUnsafe();
    if (!obj && !z.path.empty()) {
        obj = nKernelServer::ks->LookupFrom(this, z.path.c_str());
        if (obj && obj->IsA(nbwStartPoint::classInfo.name)) z.ref = obj;
    }
    if (obj && obj->IsA(nbwStartPoint::classInfo.name)) return static_cast<nbwStartPoint*>(obj);
    if (!zoneLogged_[size_t(i)]) {
        zoneLogged_[size_t(i)] = true;
        n_error("%s: rescue zone '%s' names no nbwstartpoint: skipped (logged once)\n", GetFullName().c_str(),
                z.path.c_str());
    }
    return nullptr;
}

nbwStartPoint* nbwCavity::FindRescueZone(const char* path) {
    if (!path) return nullptr;
    for (int i = 0; i < GetNumZones(); i++) {
        if (zones_[size_t(i)].path == path) return ZoneAt(i);
    }
    return nullptr;
}

// -- holding and rescuing -------------------------------------------------------------

void nbwCavity::UpdateModules(const matrix44& world) {
    // The stick zone collides with the item's states.
    nbwItem::UpdateModules(world);
    position_ = world.Translation();
}

nbwCharacter* nbwCavity::HeldCharacter() {
    if (!stickZone_->GetEnabled() || stickZone_->GetNumModules() == 0) return nullptr;
    nCollideContext2* ctx = stickZone_->GetContext();
    if (!ctx) return nullptr;
    nCollidePair** pairs = nullptr;
    const int n = ctx->GetCollisions(stickZone_, pairs);
    for (int i = 0; i < n; i++) {
        nCollideObject2* other = pairs[i]->objA && pairs[i]->objA->owner == this ? pairs[i]->objB : pairs[i]->objA;
        nLogicNode* partner = other ? other->owner : nullptr;
        // Only a land character can be held: others have no "freeze" flag.
        if (partner && partner != this && partner->IsA(nbwCharacter::classInfo.name)) {
            return static_cast<nbwCharacter*>(partner);
        }
    }
    return nullptr;
}

void nbwCavity::AnalyseCollision() {
    if (nbwCharacter* held = HeldCharacter()) {
        if (enterEvent_->GetNumFunctions() > 0 && !held->GetFlag(nbwCharacter::Freeze)) {
            enterEvent_->GetArg(0).SetS(GetFullName().c_str());
            enterEvent_->GetArg(1).SetS(held->GetFullName().c_str());
            AddPendingEvent(enterEvent_);
        }
        held->SetFlag(nbwCharacter::Freeze, true);
        if (rescueRequested_ && !rescued_.IsValid()) {
            for (int i = 0; i < GetNumZones(); i++) {
                nbwStartPoint* zone = ZoneAt(i);
                if (!zone || !zone->GetEmptyStatus()) continue;
                zone->SetEmptyStatus(false);
                rescued_ = held;
                zoneIndex_ = i;
                break;
            }
        }
    }
    rescueRequested_ = false;
    nbwItem::AnalyseCollision();
}

bool nbwCavity::Trigger(nLogicGraph* graph) {
    if (nbwCharacter* c = rescued_.GetUnsafe()) {
        nbwStartPoint* zone = zoneIndex_ >= 0 && zoneIndex_ < GetNumZones() ? ZoneAt(zoneIndex_) : nullptr;
        rescued_ = nullptr;
        zoneIndex_ = -1;
        if (zone) {
            c->SetTime(0.0f);
            c->SetPosition(zone->GetPosition() + position_);
            c->SetFlag(nbwCharacter::Freeze, false);
            if (rescueEvent_->GetNumFunctions() > 0) {
                rescueEvent_->GetArg(0).SetS(GetFullName().c_str());
                rescueEvent_->GetArg(1).SetS(c->GetFullName().c_str());
                AddPendingEvent(rescueEvent_);
            }
        }
    }
    return nbwItem::Trigger(graph);
}

bool nbwCavity::Use(nRoot* tool) {
    if (!nbwItem::Use(tool)) return false;
    if (!tool || !tool->IsA(nbwRescue::classInfo.name)) return true;
    rescueRequested_ = true;
    nbwContainer::Consume(tool->GetParent(), static_cast<nbwItem*>(tool));
    return false;
}

// -- saving ---------------------------------------------------------------------------

bool nbwCavity::SaveCmds(nPersistServer* ps) {
    if (!nbwItem::SaveCmds(ps)) return false;
    for (const Zone& z : zones_) {
        if (!ps->Put(this, nId("CARZ"), z.path.c_str())) return false;
    }
    return true;
}
