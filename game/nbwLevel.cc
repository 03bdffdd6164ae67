#include "game/nbwLevel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "anim/nEnvelope.h"
#include "anim/nEnvelopeServer.h"
#include "collide/nXTriangleShape2.h"
#include "game/nbwActor.h"
#include "game/nbwCamera.h"
#include "game/nbwDiver.h"
#include "game/nbwFish.h"
#include "game/nbwHandlerPersist.h"
#include "game/nbwItem.h"
#include "game/nbwStartPoint.h"
#include "kernel/nKernelServer.h"
#include "kernel/nObjectCount.h"
#include "kernel/nPersistServer.h"
#include "logic/nLogicEvent.h"
#include "logic/nLogicEventHandler.h"
#include "logic/nLogicInput.h"
#include "logic/nLogicVisual2.h"
#include "logic/nModAnimatorState.h"
#include "logic/nModVisualizer.h"
#include "logic/nModuleState.h"
#include "logic/nModSimpleCollision.h"
#include "logic/nPersistLogic.h"

static const nCmdDef<nbwLevel> cmds[] = {
    Bind<&nbwLevel::UpdateLevel>("v_updatelevel_v", "LULV"),
    Bind<&nbwLevel::SetCamera>("v_setcamera_s", "LSCC"),
    Bind<&nbwLevel::GetCameraPath>("s_getcamera_v", "LGCC"),
    Bind<&nbwLevel::NextDiver>("v_nextdiver_v", "LNDI"),
    Bind<&nbwLevel::PrevDiver>("v_prevdiver_v", "LPDI"),
    Bind<&nbwLevel::ActivateDiverByPath>("v_activatediver_s", "LADI"),
    Bind<&nbwLevel::SetActiveDiver>("v_setactivediver_s", "LSAD"),
    Bind<&nbwLevel::GetActiveDiverPath>("s_getactivediver_v", "LGAD"),
    Bind<&nbwLevel::GetFreeStartPath>("s_getfreestart_v", "LGFS"),
    Bind<&nbwLevel::InsertDiver>("v_insertdiver_s", "LISD"),
    Bind<&nbwLevel::RemoveDiver>("v_removediver_s", "LRMD"),
    Bind<&nbwLevel::GetDiverCount>("i_getdivercount_v", "LGDC"),
    Bind<&nbwLevel::GetDiverPath>("s_getdiver_i", "LGDA"),
    Bind<&nbwLevel::SetZoomAnim>("v_setzoomanim_ss", "LSZA"),
    Bind<&nbwLevel::SetBuildBound>("v_setbuildbound_si", "LSBB"),
    Bind<&nbwLevel::GetBuildBound>("i_getbuildbound_s", "LGBB"),
    Bind<&nbwLevel::SetBuildRange>("v_setbuildrange_sff", "LSBR"),
    Bind<&nbwLevel::SaveStore>("v_savestore_sss", "LDST"),
    Bind<&nbwLevel::SaveNumber>("v_savenumber_sssff", "LDNU"),
    Bind<&nbwLevel::SaveText>("v_savetext_sss", "LDTX"),
    Bind<&nbwLevel::SaveFixed>("v_savefixed_ss", "LDFX"),
    Bind<&nbwLevel::SaveBox>("v_savebox_ssffffff", "LDBX"),
    Bind<&nbwLevel::SaveCount>("v_savecount_sii", "LDCO"),
    Bind<&nbwLevel::SaveWater>("v_savewater_ssf", "LDWA"),
    Bind<&nbwLevel::SaveRequired>("v_saverequired_ss", "LDRQ"),
    Bind<&nbwLevel::SaveKeptFor>("v_savekeptfor_sss", "LDKF"),
    Bind<&nbwLevel::SaveUncovered>("v_saveuncovered_ssss", "LDUC"),
    Bind<&nbwLevel::SetCamPos>("v_setcampos_fff", "LSCP"),
    Bind<&nbwLevel::SetCamRot>("v_setcamrot_fff", "LSCR"),
};
const nClassInfo nbwLevel::classInfo = nClassInfo::Make<nbwLevel>("nbwlevel", "nlogiclevel", cmds);

namespace {

const char* const kEventNames[] = {"onstartup", "onshutdown", "onadddiver", "onbeforeremovediver"};

// Class tests by script name: a class that is not registered matches nothing.
constexpr const char* kActor = "nbwactor";
constexpr const char* kDiver = "nbwdiver";

float StatOr(nbwActor* a, int index, float otherwise) {
    return index >= 0 ? a->GetStat(index) : otherwise;
}

}  // namespace

nbwLevel::nbwLevel() {
    zoomState_ = static_cast<nModAnimatorState*>(CreateModuleState(nModuleState::Animation, "zoom_camera"));
    for (int i = 0; i < NumEvents; i++) handlers_[i] = AddHandler(kEventNames[i]);
    for (int i : {OnAddDiver, OnBeforeRemoveDiver}) SetDiverVar(handlers_[i], "");
    active_.SetCwd(this);
    camera_.SetCwd(this);
    divers_.reserve(8);
    nKernelServer* ks = nKernelServer::ks;
    actorClass_ = ks->FindClass(kActor);
    itemClass_ = ks->FindClass(nbwItem::classInfo.name);
    persistClass_ = ks->FindClass("npersist");
}

nbwLevel::~nbwLevel() = default;

// -- saving and the store -----------------------------------------------------------

bool nbwLevel::SaveCmds(nPersistServer* ps) {
    if (!nLogicLevel::SaveCmds(ps)) return false;
    if (camera_.GetPath()) {
        nRoot* cam = camera_.Resolve();
        if (cam && cam->IsA(nbwCamera::classInfo.name) && !ps->Put(this, nId("LSCC"), cam->GetFullName().c_str())) {
            return false;
        }
    }
    if (nbwActor* a = GetActiveDiver()) {
        if (!ps->Put(this, nId("LSAD"), a->GetFullName().c_str())) return false;
    }
    return true;
}

void nbwLevel::StoreToPersist(nPersistLogic* store) {
    if (!store) {
        n_error("%s: StoreToPersist: no persistent store\n", GetFullName().c_str());
        return;
    }
    nLogicLevel::StoreToPersist(store);
    nVariable v;
    v.SetI(GetActive() ? 1 : 0);
    nbwPutVar(store, "active", v);
    // The diver the player steers, by its store's name, whatever path the save takes.
    nbwActor* steered = GetActiveDiver();
    v.SetS(steered && steered->GetName() ? steered->GetName() : "none");
    nbwPutVar(store, "activediver", v);
    nbwStoreHandlers(this, store);
    // Only the person's timers: a store goes into saves, and text that data planted never
    // comes back from one.
    const nVariable* before = store->GetVar("timercount");
    const int had = before && before->GetType() == nVariable::Int ? before->GetI() : 0;
    int n = 0;
    char key[64];
    for (int k = 0; k < GetNumTimers(); k++) {
        const nLogicTimer* t = GetTimerAt(k);
        if (t->origin == nScriptServer::Origin::Data) continue;
        const int i = n++;
        std::snprintf(key, sizeof(key), "timer_%d_name", i);
        v.SetS(t->GetName());
        nbwPutVar(store, key, v);
        std::snprintf(key, sizeof(key), "timer_%d_type", i);
        v.SetS(t->repeat == nLogicTimer::Loop ? "loop" : "oneshot");
        nbwPutVar(store, key, v);
        std::snprintf(key, sizeof(key), "timer_%d_script", i);
        v.SetS(t->script.Get());
        {
            nScriptServer::OriginScope origin(t->origin);
            nbwPutVar(store, key, v);
        }
        std::snprintf(key, sizeof(key), "timer_%d_time", i);
        v.SetF(t->period);
        nbwPutVar(store, key, v);
        std::snprintf(key, sizeof(key), "timer_%d_starttime", i);
        v.SetF(t->time);
        nbwPutVar(store, key, v);
    }
    // What an earlier store held past these goes.
    for (int i = n; i < had && i < store->GetNumVars(); i++) {
        for (const char* part : {"name", "type", "script", "time", "starttime"}) {
            std::snprintf(key, sizeof(key), "timer_%d_%s", i, part);
            store->RemoveVar(key);
        }
    }
    v.SetI(n);
    nbwPutVar(store, "timercount", v);
    // Where each fish swims in its box: a load puts it back there, not at the box's middle
    // beside a diver saved near it.
    std::string fishKey;
    for (nbwFish* fish : Fish()) {
        FishKey(fish, fishKey);
        const vector3& at = fish->GetPosition();
        const float place[4] = {at.x, at.y, at.z, 0.0f};
        v.SetV4(place);
        nbwPutVar(store, fishKey.c_str(), v);
    }
}

std::vector<nbwFish*> nbwLevel::Fish() {
    // The map puts a fish in a box node of its own, or directly in the level.
    std::vector<nbwFish*> out;
    for (nRoot* c = GetHead(); c; c = c->GetSucc()) {
        if (c->IsA(nbwFish::classInfo.name)) out.push_back(static_cast<nbwFish*>(c));
        for (nRoot* g = c->GetHead(); g; g = g->GetSucc()) {
            if (g->IsA(nbwFish::classInfo.name)) out.push_back(static_cast<nbwFish*>(g));
        }
    }
    return out;
}

void nbwLevel::FishKey(nbwFish* fish, std::string& key) {
    key = "fish_";
    if (fish->GetParent() != this) {
        key += fish->GetParent()->GetName();
        key += '_';
    }
    key += fish->GetName();
}

void nbwLevel::RestoreFish(nPersistLogic* store) {
    // A store from before the fish were kept leaves each where the map put it.
    std::string key;
    for (nbwFish* fish : Fish()) {
        FishKey(fish, key);
        const nVariable* v = store->GetVar(key.c_str());
        if (!v || v->GetType() != nVariable::Vector4) continue;
        const float* f = v->GetV4();
        const vector3& box = fish->GetBox();
        if (!(std::isfinite(f[0]) && std::isfinite(f[1]) && std::isfinite(f[2]))) {
            n_error("%s: '%s' of '%s' is no place; the fish stays where the map put it\n", GetFullName().c_str(),
                    key.c_str(), store->GetFullName().c_str());
            continue;
        }
        fish->SetPosition(vector3(std::clamp(f[0], -box.x, box.x), std::clamp(f[1], -box.y, box.y),
                                  std::clamp(f[2], -box.z, box.z)));
    }
}

void nbwLevel::RestoreFromPersist(nPersistLogic* store) {
    nLogicLevel::RestoreFromPersist(store);
    if (!store) return;
    nbwRestoreHandlers(this, store);
    const nVariable* count = store->GetVar("timercount");
    if (!count || count->GetType() != nVariable::Int) return;
    // Each timer takes five of the store's values: a count past them names timers that are
    // not there, and walking to it would hold the frame for as long as the count is large.
    const int holds = store->GetNumVars() / 5;
    int timers = count->GetI();
    if (timers > holds) {
        n_error("%s: '%s' counts %d timers, more than its %d values hold; the timers past %d are not there\n",
                GetFullName().c_str(), store->GetFullName().c_str(), timers, store->GetNumVars(), holds);
        timers = holds;
    }
    char key[64];
    for (int i = 0; i < timers; i++) {
        const nVariable* vars[5];
        static const char* const names[5] = {"name", "type", "script", "time", "starttime"};
        static const nVariable::Type types[5] = {nVariable::String, nVariable::String, nVariable::String,
                                                 nVariable::Float, nVariable::Float};
        bool ok = true;
        for (int k = 0; k < 5; k++) {
            std::snprintf(key, sizeof(key), "timer_%d_%s", i, names[k]);
            vars[k] = store->GetVar(key);
            if (!vars[k] || vars[k]->GetType() != types[k]) {
                n_error("%s: timer %d of '%s': '%s' is missing or of another type, the timer is not restored\n",
                        GetFullName().c_str(), i, store->GetFullName().c_str(), key);
                ok = false;
                break;
            }
        }
        if (!ok) continue;
        // Only "loop" repeats: any other stored text is a one-shot timer.
        const char* repeat = std::strcmp(vars[1]->GetS(), "loop") == 0 ? "loop" : "oneshot";
        std::snprintf(key, sizeof(key), "timer_%d_script", i);
        nScriptServer::OriginScope origin(store->FindVar(key)->origin);
        AddTimer(vars[0]->GetS(), repeat, vars[4]->GetF(), vars[3]->GetF(), vars[2]->GetS());
    }
}

// -- building from the stores -------------------------------------------------------

void nbwLevel::UpdateLevel() {
    buildOk_ = false;
    nPersistLogic* store = GetPersist();
    if (!store) {
        n_error("%s: v_updatelevel: the level's store '%s' does not resolve; nothing built\n", GetFullName().c_str(),
                GetPersistPath().c_str());
        return;
    }
    buildOk_ = true;
    mapMade_.clear();
    buildRoot_ = store->GetFullName();
    recordMade_ = true;
    Build(store);
    recordMade_ = false;
    RestoreFish(store);
}

bool nbwLevel::CanBuild(nRoot* store, std::string& why) {
    // What the map makes is not cloned: only a level whose map has run knows it, so one
    // that has not is taken on trust (its start says whether it built whole).
    if (!IsLoaded() || !store) return true;
    const std::string root = store->GetFullName();
    std::vector<nRoot*> walk;
    for (nRoot* c = store->GetHead(); c; c = c->GetSucc()) walk.push_back(c);
    while (!walk.empty() && why.empty()) {
        nRoot* s = walk.back();
        walk.pop_back();
        const std::string path = s->GetFullName().substr(root.size());
        const bool made = std::find(mapMade_.begin(), mapMade_.end(), path) != mapMade_.end();
        if (!made && !PrototypeOf(s)) why = "no prototype for the store '" + s->GetFullName() + "'";
        for (nRoot* c = s->GetHead(); c; c = c->GetSucc()) walk.push_back(c);
    }
    lastProto_ = nullptr;
    return why.empty();
}

bool nbwLevel::ReachesByPath(std::string& why) {
    nKernelServer* ks = nKernelServer::ks;
    std::vector<nRoot*> walk{this};
    while (!walk.empty() && why.empty()) {
        nRoot* o = walk.back();
        walk.pop_back();
        for (nRoot* c = o->GetHead(); c; c = c->GetSucc()) walk.push_back(c);
        if (!o->IsA("nlogicnode")) continue;
        auto* node = static_cast<nLogicNode*>(o);
        for (int s = 0; s < node->GetNumModuleStates() && why.empty(); s++) {
            nModuleState* state = node->GetModuleStateAt(s);
            for (int i = 0; state && i < state->GetNumModules() && why.empty(); i++) {
                nModule* m = state->GetModule(i);
                const char* path = state->GetModuleName(i);
                // One that never resolved is no loss of the start's.
                if (!m || !path) continue;
                ks->PushCwd(node);
                const nRoot* there = ks->Lookup(path);
                ks->PopCwd();
                if (there != m) {
                    why = "the module '" + std::string(path) + "' of '" + node->GetFullName() + "' is gone from there";
                } else if (m->IsA("nmodvisualizer")) {
                    const std::string visual = static_cast<nModVisualizer*>(m)->GetVisual();
                    if (!visual.empty() && visual[0] == '/' && !ks->Lookup(visual.c_str())) {
                        why = "the template '" + visual + "' of '" + m->GetFullName() + "' is gone from there";
                    }
                }
            }
        }
    }
    return why.empty();
}

void nbwLevel::SetBuildBound(const char* prototype, int count) {
    if (!nScriptServer::PersonOnly("a level's bound on what it builds")) return;
    if (!prototype || !*prototype || count < 0) {
        n_error("%s: v_setbuildbound_si: '%s' %d is no prototype and count\n", GetFullName().c_str(),
                prototype ? prototype : "", count);
        return;
    }
    for (BuildBound& b : buildBounds_) {
        if (b.prototype == prototype) {
            b.count = count;
            return;
        }
    }
    buildBounds_.push_back({prototype, count});
}

int nbwLevel::GetBuildBound(const char* prototype) const {
    for (const BuildBound& b : buildBounds_) {
        if (prototype && b.prototype == prototype) return b.count;
    }
    return 0;
}

void nbwLevel::SetBuildRange(const char* name, float lo, float hi) {
    if (!nScriptServer::PersonOnly("a level's range of what it builds")) return;
    if (!name || !*name || !(lo <= hi) || !std::isfinite(lo) || !std::isfinite(hi)) {
        n_error("%s: v_setbuildrange_sff: '%s' [%f, %f] is no name and range\n", GetFullName().c_str(),
                name ? name : "", double(lo), double(hi));
        return;
    }
    for (BuildRange& r : buildRanges_) {
        if (r.name == name) {
            r.lo = lo;
            r.hi = hi;
            return;
        }
    }
    buildRanges_.push_back({name, lo, hi});
}

template <class Declare>
void nbwLevel::Declares(const char* command, Declare declare) {
    if (!nScriptServer::PersonOnly("a level's declaration of its save")) return;
    std::string why;
    if (!declare(why)) n_error("%s: %s: %s; not declared\n", GetFullName().c_str(), command, why.c_str());
}

void nbwLevel::SaveStore(const char* prototype, const char* places, const char* names) {
    Declares("v_savestore_sss", [&](std::string& why) { return saveDecl_.DeclareStore(prototype, places, names, why); });
}

void nbwLevel::SaveNumber(const char* prototype, const char* name, const char* type, float lo, float hi) {
    Declares("v_savenumber_sssff",
             [&](std::string& why) { return saveDecl_.DeclareNumber(prototype, name, type, lo, hi, why); });
}

void nbwLevel::SaveText(const char* prototype, const char* name, const char* texts) {
    Declares("v_savetext_sss", [&](std::string& why) { return saveDecl_.DeclareText(prototype, name, texts, why); });
}

void nbwLevel::SaveFixed(const char* prototype, const char* names) {
    Declares("v_savefixed_ss", [&](std::string& why) { return saveDecl_.DeclareFixed(prototype, names, why); });
}

void nbwLevel::SaveBox(const char* prototype, const char* name, float x0, float y0, float z0, float x1, float y1,
                       float z1) {
    const float lo[3] = {x0, y0, z0}, hi[3] = {x1, y1, z1};
    Declares("v_savebox_ssffffff", [&](std::string& why) { return saveDecl_.DeclareBox(prototype, name, lo, hi, why); });
}

void nbwLevel::SaveCount(const char* prototype, int lo, int hi) {
    Declares("v_savecount_sii", [&](std::string& why) { return saveDecl_.DeclareCount(prototype, lo, hi, why); });
}

void nbwLevel::SaveRequired(const char* prototype, const char* names) {
    Declares("v_saverequired_ss", [&](std::string& why) { return saveDecl_.DeclareRequired(prototype, names, why); });
}

void nbwLevel::SaveKeptFor(const char* prototype, const char* waiting, const char* done) {
    Declares("v_savekeptfor_sss",
             [&](std::string& why) { return saveDecl_.DeclareKeptFor(prototype, waiting, done, why); });
}

void nbwLevel::SaveUncovered(const char* prototype, const char* names, const char* cover, const char* value) {
    Declares("v_saveuncovered_ssss",
             [&](std::string& why) { return saveDecl_.DeclareUncovered(prototype, names, cover, value, why); });
}

namespace {

// The triangles of the "static" collision modules below `node`, placed at `at`.
void AddSolids(BasinWater& water, nRoot* node, const matrix44& at, int thing) {
    for (nRoot* m = node->GetHead(); m; m = m->GetSucc()) {
        if (!m->IsA("nmodsimplecollision")) continue;
        auto* module = static_cast<nModSimpleCollision*>(m);
        const char* cls = module->GetCollClass();
        if (!cls || std::strcmp(cls, "static") != 0) continue;
        nCollideShape2* shape = module->RequireShape();
        if (!shape || !shape->IsA("nxtriangleshape2")) continue;
        const auto* mesh = static_cast<nXTriangleShape2*>(shape);
        const matrix44 world = module->WorldMatrix(at);
        for (int i = 0; i < mesh->GetNumTriangles(); i++) {
            const triangle& t = mesh->GetTriangle(i);
            water.AddTriangle(world * t.Point(0), world * t.Point(1), world * t.Point(2), thing);
        }
    }
}

}  // namespace

void nbwLevel::SaveWater(const char* prototype, const char* name, float radius) {
    Declares("v_savewater_ssf", [&](std::string& why) {
        BasinWater water;
        for (nRoot* node = GetHead(); node; node = node->GetSucc()) {
            if (node->IsA("nlogicvisual2")) AddSolids(water, node, static_cast<nLogicVisual2*>(node)->GetMatrix(), -1);
        }
        // The things that play never moves, solid as at a new game (the door shut), where a
        // body put back into the water must not stand either while the save has them stand.
        for (nRoot* proto = prototypes_.Resolve() ? prototypes_.Resolve()->GetHead() : nullptr; proto;
             proto = proto->GetSucc()) {
            vector3 at;
            if (!proto->GetName() || !saveDecl_.PinnedPlace(proto->GetName(), at)) continue;
            matrix44 place;
            place.Translate(at);
            AddSolids(water, proto, place, water.AddThing(proto->GetName()));
        }
        if (!water.Build()) {
            why = "the level stands without solid meshes";
            return false;
        }
        return saveDecl_.DeclareWater(prototype, name, radius, std::move(water), why);
    });
}

bool nbwLevel::CheckSave(nRoot* root, std::string& why, nbwSaveDeclaration::Reading reading) {
    if (saveDecl_.IsEmpty() && !IsLoaded()) {
        // The map declares the save: run it once for that, and leave nothing of it standing.
        LoadLevel();
        nLogicLevel::UnloadLevel();
    }
    if (saveDecl_.IsEmpty()) {
        why = "the level '" + std::string(GetName() ? GetName() : "") + "' declares no save";
        return false;
    }
    return saveDecl_.Check(root, GetName(), why, reading, prototypes_.Resolve());
}

nRoot* nbwLevel::PrototypeOf(nRoot* s) {
    const nVariable* proto = s->IsA(persistClass_) ? static_cast<nPersist*>(s)->GetVar("prototype") : nullptr;
    nRoot* protos = prototypes_.Resolve();
    if (!proto || proto->GetType() != nVariable::String || !proto->GetS() || !protos) return nullptr;
    nRoot* p = lastProto_.GetUnsafe();
    if (!p || lastProtoText_ != proto->GetS()) {
        nKernelServer* ks = nKernelServer::ks;
        ks->PushCwd(protos);
        {
            // A store's text names a template, never another object of the game. A data
            // file's command may have come here through its own fence, which stays.
            nKernelServer::ScopedLookupFence fence(ks, protos);
            p = ks->Lookup(proto->GetS());
        }
        ks->PopCwd();
        if (p == protos) p = nullptr;
        lastProto_ = p;
        lastProtoText_ = proto->GetS();
    }
    return p;
}

bool nbwLevel::MayBuildFromData(nRoot* s, nRoot* p) {
    // The bound the level declares for this prototype, by the template its name finds.
    int bound = -1;
    if (nRoot* protos = prototypes_.Resolve()) {
        for (const BuildBound& b : buildBounds_) {
            if (protos->Find(b.prototype.c_str()) == p) bound = b.count;
        }
    }
    int* count = nullptr;
    for (auto& c : built_) {
        if (c.first == p) count = &c.second;
    }
    if (bound < 0 || (count && *count >= bound)) {
        if (!boundLogged_) {
            n_error("%s: '%s' and the stores after it that name '%s' are not built: the level builds it at most %d "
                    "times\n",
                    GetFullName().c_str(), s->GetFullName().c_str(), p->GetName() ? p->GetName() : "",
                    bound < 0 ? 0 : bound);
        }
        boundLogged_ = true;
        return false;
    }
    // Values play never sets: nothing that is not finite, and what the level bounds within
    // its range.
    auto* store = static_cast<nPersist*>(s);
    for (nPersistVar* pv = store->GetFirstVar(); pv; pv = pv->GetSucc()) {
        nVariable& v = pv->Get();
        const int n = v.GetType() == nVariable::Float ? 1 : v.GetType() == nVariable::Vector4 ? 4 : 0;
        float f[4] = {0, 0, 0, 0};
        for (int i = 0; i < n; i++) f[i] = n == 1 ? v.GetF() : v.GetV4()[i];
        bool finite = true;
        for (int i = 0; i < n; i++) finite = finite && std::isfinite(f[i]);
        if (!finite) {
            if (!valueLogged_) {
                n_error("%s: '%s' is not built: its value '%s' is not finite\n", GetFullName().c_str(),
                        s->GetFullName().c_str(), pv->GetName() ? pv->GetName() : "");
            }
            valueLogged_ = true;
            return false;
        }
        for (const BuildRange& r : buildRanges_) {
            if (!pv->GetName() || r.name != pv->GetName()) continue;
            if (v.GetType() == nVariable::Int) {
                v.SetI(int32_t(std::clamp(double(v.GetI()), double(r.lo), double(r.hi))));
            } else if (n > 0) {
                for (int i = 0; i < n; i++) f[i] = std::clamp(f[i], r.lo, r.hi);
                if (n == 1) v.SetF(f[0]);
                else v.SetV4(f);
            }
        }
    }
    if (count) ++*count;
    else built_.emplace_back(p, 1);
    return true;
}

void nbwLevel::CountBuilt(nRoot* store, nRoot* node) {
    // What stands already counts against the bound on what a save may add.
    for (nRoot* s = store->GetHead(); s; s = s->GetSucc()) {
        nRoot* obj = node->FindChild(s->GetName() ? s->GetName() : "");
        if (!obj) continue;
        if (nRoot* p = PrototypeOf(s)) {
            bool counted = false;
            for (auto& c : built_) {
                if (c.first == p) counted = ++c.second > 0;
            }
            if (!counted) built_.emplace_back(p, 1);
        }
        CountBuilt(s, obj);
    }
}

void nbwLevel::Build(nRoot* store) {
    nKernelServer* ks = nKernelServer::ks;
    lastProto_ = nullptr;
    notBuilt_ = 0;
    built_.clear();
    boundLogged_ = valueLogged_ = false;
    CountBuilt(store, this);
    ks->PushCwd(this);
    BuildFromPersist(store);
    ks->PopCwd();
    lastProto_ = nullptr;
    notBuilt_ = 0;
    // The build clears each item's owner, and an actor built before the item it aims at
    // found none to claim: each claims its target now, as aiming at it in play does, so
    // that a load keeps who works the switch.
    for (nRoot* o = GetHead(); o; o = o->GetSucc()) {
        if (!o->IsA(actorClass_)) continue;
        auto* actor = static_cast<nbwActor*>(o);
        const int target = nbwActor::NameIndex(actor->GetPathNames(), "target");
        nRoot* item = target >= 0 ? actor->GetPath(target) : nullptr;
        if (item && item->IsA(itemClass_)) {
            static_cast<nbwItem*>(item)->SetString(nbwItem::Owner, actor->GetFullName().c_str());
        }
    }
}

void nbwLevel::BuildFromPersist(nRoot* store) {
    nKernelServer* ks = nKernelServer::ks;
    nRoot* cur = ks->GetCwd();
    nRef<nRoot> curAlive(cur);
    // Restoring and setting up may run scripts that change the store tree: the walk
    // holds the store it is at and ends when that one died.
    for (nRoot* s = store->GetHead(); s && curAlive.IsValid();) {
        nRef<nRoot> ref(s);
        const char* name = s->GetName() ? s->GetName() : "";
        nRoot* obj = cur->FindChild(name);
        if (obj && recordMade_) {
            const std::string path = s->GetFullName();
            if (path.compare(0, buildRoot_.size(), buildRoot_) == 0) mapMade_.push_back(path.substr(buildRoot_.size()));
        }
        if (!obj) {
            obj = CloneFor(s);
            if (!ref.IsValid()) return;
            if (!obj) {
                s = s->GetSucc();
                continue;
            }
            nRef<nRoot> objAlive(obj);
            Built(obj, s);
            if (!ref.IsValid()) return;
            if (!objAlive.IsValid()) {
                s = s->GetSucc();
                continue;
            }
        }
        if (s->GetHead()) {
            ks->PushCwd(obj);
            BuildFromPersist(s);
            ks->PopCwd();
            if (!ref.IsValid()) return;
        }
        s = s->GetSucc();
    }
}

nRoot* nbwLevel::CloneFor(nRoot* s) {
    const nVariable* proto = s->IsA(persistClass_) ? static_cast<nPersist*>(s)->GetVar("prototype") : nullptr;
    if (!proto || proto->GetType() != nVariable::String) {
        n_error("%s: store '%s' names no prototype text; skipped\n", GetFullName().c_str(), s->GetFullName().c_str());
        buildOk_ = false;
        return nullptr;
    }
    if (!prototypes_.Resolve()) {
        n_error("%s: '/usr/prototypes' does not exist; '%s' is not built\n", GetFullName().c_str(),
                s->GetFullName().c_str());
        buildOk_ = false;
        return nullptr;
    }
    nRoot* p = PrototypeOf(s);
    if (!p) {
        n_error("%s: no prototype '%s' for the store '%s'; skipped\n", GetFullName().c_str(), proto->GetS(),
                s->GetFullName().c_str());
        buildOk_ = false;
        return nullptr;
    }
    // A store that data brought builds only what play makes, as the level declares it.
    if (s->GetDataRun() && !MayBuildFromData(s, p)) return nullptr;
    // What the store of a loaded file makes is data's: charged and bounded as data's own.
    const uint32_t run = s->GetDataRun();
    if (run && !nObjectCount::DataWithinBounds()) {
        RefuseBuild(s);
        return nullptr;
    }
    nRoot* obj = nullptr;
    {
        nObjectCount::ChargeScope charged(run);
        obj = p->Clone(s->GetName());
    }
    if (obj && run && !nObjectCount::DataWithinBounds()) {
        obj->Release();
        RefuseBuild(s);
        return nullptr;
    }
    if (!obj) {
        n_error("%s: prototype '%s' did not clone as '%s'; skipped\n", GetFullName().c_str(), proto->GetS(),
                s->GetName());
        buildOk_ = false;
    }
    return obj;
}

void nbwLevel::RefuseBuild(nRoot* store) {
    // One line a build: a file may name thousands.
    if (notBuilt_++ == 0) {
        n_error("%s: '%s' and the stores after it are not built: what data brought would keep more than %llu objects "
                "or %llu bytes\n",
                GetFullName().c_str(), store->GetFullName().c_str(),
                static_cast<unsigned long long>(nObjectCount::LiveObjects),
                static_cast<unsigned long long>(nObjectCount::LiveBytesBound()));
    }
}

void nbwLevel::Built(nRoot* clone, nRoot* store) {
    if (!IsLogicNode(clone)) {
        n_error("%s: the clone '%s' is no logic node; it keeps no store\n", GetFullName().c_str(),
                clone->GetFullName().c_str());
        return;
    }
    auto* node = static_cast<nLogicNode*>(clone);
    node->SetTime(0.0f);
    node->SetPersist(store->GetFullName().c_str());
    nRef<nRoot> alive(clone);
    if (clone->IsA(actorClass_)) {
        auto* actor = static_cast<nbwActor*>(clone);
        nLogicEventHandler* h = handlers_[OnAddDiver];
        if (h->IsBound()) {
            SetDiverVar(h, actor->GetName());
            h->Queue();
        }
        AddDiverEntry(actor);
        if (IsSteerable(actor)) pending_ = actor;
        actor->Setup();
        if (!alive.IsValid()) return;
        // A land character has no fade.
        if (actor->IsA(kDiver)) static_cast<nbwDiver*>(actor)->FadeTo(1.0f, 0.0f);
        const Indices& ix = IndicesOf(actor);
        if (ix.singleplayer >= 0) actor->SetFlag(ix.singleplayer, false);
        if (ix.zoomstate >= 0) actor->SetStat(ix.zoomstate, 1.0f);
    } else if (clone->IsA(itemClass_)) {
        static_cast<nbwItem*>(clone)->SetString(nbwItem::Owner, "none");
    }
    if (!alive.IsValid()) return;
    if (nPersistLogic* own = node->GetPersist()) node->StoreToPersist(own);
}

// -- divers ---------------------------------------------------------------------------

void nbwLevel::AddDiverEntry(nbwActor* actor) {
    for (nPathRef<nRoot>& e : divers_) {
        if (e.Resolve() == actor) return;
    }
    divers_.emplace_back(actor->GetName());
    divers_.back().SetCwd(this);
}

void nbwLevel::Prune() {
    for (size_t i = 0; i < divers_.size();) {
        nRoot* obj = divers_[i].Resolve();
        if (obj && obj->IsA(actorClass_)) {
            i++;
            continue;
        }
        n_error("%s: the diver '%s' is gone or no nbwactor; dropped from the list\n", GetFullName().c_str(),
                divers_[i].GetPath() ? divers_[i].GetPath() : "");
        divers_.erase(divers_.begin() + long(i));
    }
}

nbwActor* nbwLevel::Entry(int index) {
    if (index < 0 || index >= int(divers_.size())) return nullptr;
    nRoot* obj = divers_[size_t(index)].Resolve();
    return obj && obj->IsA(actorClass_) ? static_cast<nbwActor*>(obj) : nullptr;
}

int nbwLevel::GetDiverCount() {
    Prune();
    return int(divers_.size());
}

nbwActor* nbwLevel::GetDiver(int index) {
    Prune();
    return Entry(index);
}

std::string nbwLevel::GetDiverPath(int index) {
    nbwActor* a = GetDiver(index);
    return a ? a->GetFullName() : std::string("none");
}

int nbwLevel::IndexOfActive() {
    Prune();
    nbwActor* a = GetActiveDiver();
    if (!a) return -1;
    for (int i = 0; i < int(divers_.size()); i++) {
        if (Entry(i) == a) return i;
    }
    return -1;
}

void nbwLevel::NextDiver() { StepDiver(1); }

void nbwLevel::PrevDiver() { StepDiver(-1); }

void nbwLevel::StepDiver(int step) {
    int i = IndexOfActive();
    if (i < 0) return;
    const int n = int(divers_.size());
    for (int k = 1; k < n; k++) {
        nbwActor* a = Entry(((i + step * k) % n + n) % n);
        if (IsSteerable(a)) {
            pending_ = a;
            return;
        }
    }
}

void nbwLevel::ActivateDiver(nbwActor* actor) {
    pending_ = actor;
}

void nbwLevel::ActivateDiverByPath(const char* path) {
    nRoot* obj = path ? nKernelServer::ks->Lookup(path) : nullptr;
    if (obj && !obj->IsA(kActor)) {
        n_error("%s: v_activatediver: '%s' is no nbwactor\n", GetFullName().c_str(), path);
        obj = nullptr;
    }
    ActivateDiver(static_cast<nbwActor*>(obj));
}

void nbwLevel::SetActiveDiver(const char* path) {
    active_.SetPath(path && path[0] ? path : nullptr);
}

nbwActor* nbwLevel::GetActiveDiver() {
    if (!active_.GetPath()) return nullptr;
    nRoot* obj = active_.Resolve();
    return obj && obj->IsA(actorClass_) ? static_cast<nbwActor*>(obj) : nullptr;
}

std::string nbwLevel::GetActiveDiverPath() {
    nbwActor* a = GetActiveDiver();
    return a ? a->GetFullName() : std::string("none");
}

nRoot* nbwLevel::PersistRoot(const char* op) {
    nRoot* root = persistRoot_.Resolve();
    if (!root) n_error("%s: %s: '/usr/persist' does not exist\n", GetFullName().c_str(), op);
    return root;
}

nRoot* nbwLevel::GetFreeStart() {
    for (nRoot* c = GetTail(); c; c = c->GetPred()) {
        if (c->IsA(nbwStartPoint::classInfo.name) && static_cast<nbwStartPoint*>(c)->GetEmptyStatus()) return c;
    }
    return nullptr;
}

std::string nbwLevel::GetFreeStartPath() {
    nRoot* s = GetFreeStart();
    return s ? s->GetFullName() : std::string("none");
}

void nbwLevel::InsertDiver(const char* name) {
    const char* key = name ? name : "";
    nRoot* root = PersistRoot("v_insertdiver");
    if (!root) return;
    nRoot* kept = root->FindChild(key);
    if (!kept) {
        n_error("%s: v_insertdiver: no kept store '%s' under '/usr/persist'\n", GetFullName().c_str(), key);
        return;
    }
    auto* start = static_cast<nbwStartPoint*>(GetFreeStart());
    if (!start) {
        n_error("%s: v_insertdiver: no free start point for '%s'; it stays kept\n", GetFullName().c_str(), key);
        return;
    }
    nPersistLogic* levelStore = GetPersist();
    if (!levelStore) {
        n_error("%s: v_insertdiver: the level's store does not resolve; '%s' stays kept\n", GetFullName().c_str(),
                key);
        return;
    }
    if (levelStore->FindChild(key)) {
        // Two stores of one name would leave one of them unreachable.
        n_error("%s: v_insertdiver: the level's store already holds '%s'; it stays kept\n", GetFullName().c_str(),
                key);
        return;
    }
    if (!kept->IsA("npersist")) {
        n_error("%s: v_insertdiver: '%s' is no store; it stays kept\n", GetFullName().c_str(),
                kept->GetFullName().c_str());
        return;
    }
    if (!nPersist::FitsBelow(kept, levelStore)) {
        n_error("%s: v_insertdiver: '%s' would lie more than %d levels deep in a save; it stays kept\n",
                GetFullName().c_str(), kept->GetFullName().c_str(), nPersist::MaxSaveDepth);
        return;
    }
    nRef<nRoot> startAlive(start);
    levelStore->AddTail(kept);
    const vector3& p = start->GetPosition();
    const float xyzw[4] = {p.x, p.y, p.z, 0.0f};
    nVariable v;
    v.SetV4(xyzw);
    nbwPutVar(static_cast<nPersist*>(kept), "txyz", v);
    Build(levelStore);
    if (startAlive.IsValid()) start->SetEmptyStatus(false);
}

void nbwLevel::RemoveDiver(const char* name) {
    const char* key = name ? name : "";
    nRef<nRoot> self(this);
    nLogicEventHandler* h = handlers_[OnBeforeRemoveDiver];
    if (h->IsBound()) {
        SetDiverVar(h, key);
        h->Fire();
        if (!self.IsValid()) return;
    }
    Prune();
    int index = -1;
    for (int i = 0; i < int(divers_.size()); i++) {
        nbwActor* a = Entry(i);
        if (a && a->GetName() && std::strcmp(a->GetName(), key) == 0) {
            index = i;
            break;
        }
    }
    if (index < 0) return;
    nRef<nbwActor> actor(Entry(index));
    if (GetActiveDiver() == actor.Get()) {
        NextDiver();
        // The path would name the diver again once it is back, and its return would
        // then switch nothing: no camera target, no input focus.
        active_.SetPath(nullptr);
    }
    const int hand = nbwActor::NameIndex(actor->GetPathNames(), "hand");
    if (hand >= 0) actor->SetPath(hand, "inventory/hand");
    nPersistLogic* store = actor->GetPersist();
    if (store) actor->StoreToPersist(store);
    else n_error("%s: v_removediver: '%s' has no store; nothing of it is kept\n", GetFullName().c_str(), key);
    if (!self.IsValid()) return;
    if (actor.IsValid() && store) {
        if (nRoot* root = PersistRoot("v_removediver")) {
            const char* storeName = store->GetName() ? store->GetName() : "";
            if (nRoot* old = root->FindChild(storeName); old && old != store) {
                n_error("%s: v_removediver: the older kept store '%s' gives way to the one of '%s'\n",
                        GetFullName().c_str(), old->GetFullName().c_str(), actor->GetFullName().c_str());
                old->Release();
            }
            root->AddTail(store);
        }
    }
    // The list may have changed while the store hooks ran.
    for (size_t i = 0; i < divers_.size(); i++) {
        if (divers_[i].Resolve() == actor.GetUnsafe()) {
            divers_.erase(divers_.begin() + long(i));
            break;
        }
    }
    if (actor.IsValid()) actor->Release();
}

void nbwLevel::RemoveAllDivers() {
    nRef<nRoot> self(this);
    Prune();
    while (!divers_.empty() && self.IsValid()) {
        const size_t before = divers_.size();
        nbwActor* a = Entry(0);
        const std::string name = a && a->GetName() ? a->GetName() : "";
        RemoveDiver(name.c_str());
        if (!self.IsValid()) return;
        Prune();
        // An event script that put the diver back must not keep this loop going.
        if (divers_.size() >= before) divers_.erase(divers_.begin());
    }
}

void nbwLevel::SetDiverVar(nLogicEventHandler* h, const char* name) {
    nLogicEvent* obj = h ? h->GetEventObject() : nullptr;
    if (!obj) return;
    nVariable v;
    v.SetS(name);
    nbwPutVar(obj, "diver", v);
}

// -- camera -------------------------------------------------------------------------

void nbwLevel::SetCamera(const char* path) {
    camera_.SetPath(path && path[0] ? path : nullptr);
    cameraLogged_ = false;
}

nbwCamera* nbwLevel::GetCamera() {
    nRoot* obj = camera_.GetPath() ? camera_.Resolve() : nullptr;
    if (obj && obj->IsA(nbwCamera::classInfo.name)) return static_cast<nbwCamera*>(obj);
    const std::string path = camera_.GetPath() ? camera_.GetPath() : "";
    // Once per path: the frame asks every time.
    if (!cameraLogged_ || cameraLoggedPath_ != path) {
        n_error("%s: the camera '%s' names %s\n", GetFullName().c_str(), path.c_str(),
                obj ? "no nbwcamera" : "nothing");
        cameraLogged_ = true;
        cameraLoggedPath_ = path;
    }
    return nullptr;
}

std::string nbwLevel::GetCameraPath() {
    nRoot* obj = camera_.GetPath() ? camera_.Resolve() : nullptr;
    return obj && obj->IsA(nbwCamera::classInfo.name) ? obj->GetFullName() : std::string("none");
}

void nbwLevel::SetZoomAnim(const char* a, const char* b) {
    zoomAnim_[0] = a ? a : "";
    zoomAnim_[1] = b ? b : "";
}

void nbwLevel::SetCamPos(float x, float y, float z) {
    nbwActor* a = GetActiveDiver();
    if (!a) return;
    nbwCamera* cam = GetCamera();
    if (!cam) return;
    const Indices& ix = IndicesOf(a);
    if (a->IsA(kDiver)) {
        const float s = StatOr(a, ix.zoomscale, 1.0f);
        cam->SetOffsetPos(vector3(x * s, y * s, z * s));
    } else {
        const float h = StatOr(a, ix.heading, 0.0f) - 1.0f;
        const float p = StatOr(a, ix.pitch, 0.0f) - 1.0f;
        cam->SetOffsetPos(vector3(x - h, y - p, z));
        cam->SetLookAt(a->GetFullName().c_str());
    }
}

void nbwLevel::SetCamRot(float x, float y, float z) {
    nbwCamera* cam = GetCamera();
    if (!cam) return;
    const quaternion qx(std::sin(x * 0.5f), 0.0f, 0.0f, std::cos(x * 0.5f));
    const quaternion qy(0.0f, std::sin(y * 0.5f), 0.0f, std::cos(y * 0.5f));
    const quaternion qz(0.0f, 0.0f, std::sin(z * 0.5f), std::cos(z * 0.5f));
    cam->SetOffsetQuat(qx * qy * qz);
}

nEnvelope* nbwLevel::FindZoomEnvelope(const char* name) {
    const char* key = name ? name : "";
    nEnvelopeServer* server = envelopeServer_.Get();
    if (nEnvelope* env = server->FindEnvelope(key)) return env;
    if (!std::strstr(key, ".nea")) {
        n_error("%s: no zoom envelope '%s'\n", GetFullName().c_str(), key);
        return nullptr;
    }
    nEnvelope* env = server->NewEnvelope(key);
    if (!env) return nullptr;
    if (!env->LoadKeys(key)) {
        n_error("%s: the zoom envelope's key file '%s' did not load\n", GetFullName().c_str(), key);
        env->Release();
        return nullptr;
    }
    return env;
}

// -- per frame ----------------------------------------------------------------------

const nbwLevel::Indices& nbwLevel::IndicesOf(nbwActor* actor) {
    if (indices_.cls != actor->GetClass()) {
        const char* const* stats = actor->GetStatNames();
        indices_.cls = actor->GetClass();
        indices_.transparency = nbwActor::NameIndex(stats, "transparency");
        indices_.fadetime = nbwActor::NameIndex(stats, "fadetime");
        indices_.zoomstate = nbwActor::NameIndex(stats, "zoomstate");
        indices_.zoomscale = nbwActor::NameIndex(stats, "zoomscale");
        indices_.heading = nbwActor::NameIndex(stats, "heading");
        indices_.pitch = nbwActor::NameIndex(stats, "pitch");
        indices_.singleplayer = nbwActor::NameIndex(actor->GetFlagNames(), "singleplayer");
    }
    return indices_;
}

bool nbwLevel::IsSteerable(nRoot* actor) {
    if (!actor || !actor->IsA(kDiver)) return false;
    nRoot* input = actor->FindChild("input");
    return input && input->IsA(nLogicInput::classInfo.name);
}

void nbwLevel::Switch() {
    nRef<nbwActor> next(pending_.GetUnsafe());
    pending_ = nullptr;
    if (!next.IsValid()) return;
    if (!IsSteerable(next.Get())) {
        // The player could not steer it (the basket has no keys of its own).
        n_error("%s: the diver '%s' is no nbwdiver with an nlogicinput 'input'; the active diver stays\n",
                GetFullName().c_str(), next->GetFullName().c_str());
        return;
    }
    if (nbwCamera* cam = GetCamera()) cam->SetTarget(next->GetFullName().c_str());
    if (!next.IsValid()) return;
    static_cast<nLogicInput*>(next->FindChild("input"))->SetFocus(true);
    if (!next.IsValid()) return;
    if (nbwActor* old = GetActiveDiver()) {
        const Indices& ix = IndicesOf(old);
        if (ix.transparency >= 0) old->SetStat(ix.transparency, 1.0f);
    }
    if (!next.IsValid()) return;
    active_.SetPath(next->GetFullName().c_str());
}

void nbwLevel::FollowZoom(nbwActor* diver) {
    const Indices& ix = IndicesOf(diver);
    if (ix.zoomstate < 0) return;
    const float z = diver->GetStat(ix.zoomstate);
    zoomState_->SetEnabled(true);
    zoomState_->SetTime(z);
    const float t = std::clamp(z / 0.2f, 0.0f, 1.0f);
    if (nbwCamera* cam = GetCamera()) cam->SetElasticity(z * 0.1f, z * 0.9f);
    if (ix.transparency >= 0 && StatOr(diver, ix.fadetime, 0.0f) <= 0.0f) diver->SetStat(ix.transparency, t);
}

bool nbwLevel::Trigger(nLogicGraph* graph) {
    nRef<nRoot> self(this);
    if (nbwActor* next = pending_.GetUnsafe(); next && GetActiveDiver() != next) Switch();
    if (nbwActor* a = GetActiveDiver()) FollowZoom(a);
    // An animator's script may release the level.
    zoomState_->Animate();
    if (!self.IsValid()) return true;
    return nLogicLevel::Trigger(graph);
}

// -- unloading ----------------------------------------------------------------------

void nbwLevel::UnloadLevel() {
    nRef<nRoot> self(this);
    if (handlers_[OnShutdown]->IsBound()) {
        handlers_[OnShutdown]->Fire();
        if (!self.IsValid()) return;
    }
    pending_ = nullptr;
    active_.SetPath(nullptr);
    RemoveAllDivers();
    if (!self.IsValid()) return;
    if (nPersistLogic* store = GetPersist()) StoreToPersist(store);
    std::vector<nRef<nRoot>> children;
    for (nRoot* c = GetHead(); c; c = c->GetSucc()) children.emplace_back(c);
    for (nRef<nRoot>& c : children) {
        if (!c.IsValid() || !IsLogicNode(c.Get())) continue;
        auto* node = static_cast<nLogicNode*>(c.Get());
        if (nPersistLogic* store = node->GetPersist()) node->StoreToPersist(store);
        if (!self.IsValid()) return;
    }
    nLogicLevel::UnloadLevel();
}
