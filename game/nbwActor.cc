#include "game/nbwActor.h"

#include <cstring>

#include "game/nbwAction.h"
#include "game/nbwHandlerPersist.h"
#include "game/nbwItem.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "kernel/nScriptServer.h"
#include "logic/nPersistLogic.h"
#include "logic/nScriptEvent.h"

namespace {

// The text a path command reports for an object: its full path, "none" for null.
void PutPath(nCmd* c, nRoot* obj) {
    if (obj) c->Out()->SetS(obj->GetFullName().c_str());
    else c->Out()->SetS("none");
}

// The value a store keeps for a stat or flag, converted from either number type.
bool StoredNumber(const nVariable* v, float& out) {
    if (!v) return false;
    if (v->GetType() == nVariable::Float) out = v->GetF();
    else if (v->GetType() == nVariable::Int) out = float(v->GetI());
    else return false;
    return true;
}

constexpr char Section = '\xA7';
// What a store holds of the current action.
constexpr const char* kActionValues[] = {"actionname",    "actionanim",   "actionplaydir", "actionduration",
                                         "actionruntime", "actionfadein", "actionfadeout"};

}  // namespace

static const nCmdDef<nbwActor> cmds[] = {
    Bind<&nbwActor::SetPathByName>("v_setpath_ss", "DSPA"),
    {"s_getpath_s", "DGPA", [](nbwActor* self, nCmd* c) {
         const int i = self->ScriptIndex(self->GetPathNames(), c->In()->GetS(), "s_getpath_s");
         if (i < 0) c->Out()->SetS(nullptr);
         else PutPath(c, self->GetPath(i));
     }},
    Bind<&nbwActor::SetFlagByName>("v_setflag_sb", "DSFL"),
    {"b_getflag_s", "DGFL", [](nbwActor* self, nCmd* c) {
         const int i = self->ScriptIndex(self->GetFlagNames(), c->In()->GetS(), "b_getflag_s");
         c->Out()->SetB(i >= 0 && self->GetFlag(i));
     }},
    Bind<&nbwActor::SetStatByName>("v_setstat_sf", "DSST"),
    {"f_getstat_s", "DGST", [](nbwActor* self, nCmd* c) {
         const int i = self->ScriptIndex(self->GetStatNames(), c->In()->GetS(), "f_getstat_s");
         c->Out()->SetF(i >= 0 ? self->GetStat(i) : 0.0f);
     }},
    Bind<&nbwActor::PlayMoveByName>("v_playmove_ssf", "DPLM"),
    Bind<&nbwActor::UseByPath>("v_use_s", "DUIT"),
    Bind<&nbwActor::Abort>("v_abort_v", "DABR"),
    {"s_getnearitem_v", "DGNI", [](nbwActor* self, nCmd* c) { PutPath(c, self->GetNearItem()); }},
    {"s_getcurrentaction_v", "DCRA", [](nbwActor* self, nCmd* c) { PutPath(c, self->GetCurrentAction()); }},
};
const nClassInfo nbwActor::classInfo = nClassInfo::Make<nbwActor>("nbwactor", "nlogiccharacter", cmds);

nbwActor::nbwActor() {
    abortEvent_ = DeclareEvent("onabortaction", "s");
}

nbwActor::~nbwActor() = default;

void nbwActor::Initialize() {
    nLogicCharacter::Initialize();
    nKernelServer* ks = nKernelServer::ks;
    ks->PushCwd(this);
    nRoot* actions = ks->New("nroot", "actions");
    ks->PopCwd();
    if (!actions) nKernelServer::FatalError("%s: cannot make its child 'actions'\n", GetFullName().c_str());
    actions_ = actions;
    actionsMade_ = true;
}

// -- the queue ------------------------------------------------------------------------

nRoot* nbwActor::GetActions() {
    nRoot* actions = actions_.GetUnsafe();
    if (!actions && actionsMade_ && !warnedNoActions_) {
        warnedNoActions_ = true;
        n_error("%s: its 'actions' node is gone: the queue counts as empty\n", GetFullName().c_str());
    }
    return actions;
}

nRoot* nbwActor::GetCurrentAction() {
    nRoot* actions = GetActions();
    return actions ? actions->GetHead() : nullptr;
}

void nbwActor::Abort() {
    // Looked up by name: the basket's class may not be registered.
    if (IsA("nbwelevator")) return;
    if (nRoot* current = GetCurrentAction()) {
        if (abortEvent_->GetNumFunctions() > 0) {
            abortEvent_->GetArg(0).SetS(current->GetFullName().c_str());
            AddPendingEvent(abortEvent_);
        }
        if (current->IsA(nbwAction::classInfo.name)) {
            static_cast<nbwAction*>(current)->Abort(0.2f, true);
        } else {
            n_error("%s: v_abort: the queued object '%s' is no nbwaction: not faded out\n", GetFullName().c_str(),
                    current->GetFullName().c_str());
        }
    }
    const int target = NameIndex(GetPathNames(), "target");
    if (target >= 0) SetPath(target, "none");
    const int hand = NameIndex(GetPathNames(), "hand");
    nRoot* item = hand >= 0 ? GetPath(hand) : nullptr;
    if (!item) return;
    if (!item->IsA(nbwItem::classInfo.name)) {
        n_error("%s: v_abort: the hand '%s' is no nbwitem: skipped\n", GetFullName().c_str(),
                item->GetFullName().c_str());
        return;
    }
    static_cast<nbwItem*>(item)->SetFloat(nbwItem::UseTime, 0.0f);
}

nRoot* nbwActor::GetNearItem() {
    return nullptr;
}

void nbwActor::Use(nRoot* obj) {
    n_error("%s: v_use: a plain actor uses nothing ('%s' not used)\n", GetFullName().c_str(),
            obj ? obj->GetFullName().c_str() : "none");
}

void nbwActor::UseByPath(const char* path) {
    nRoot* obj = nKernelServer::ks->LookupFrom(this, path);
    Use(obj);
}

// -- values ---------------------------------------------------------------------------

void nbwActor::PlayMove(int, const char*, float) {}
void nbwActor::SetStat(int, float) {}
float nbwActor::GetStat(int) {
    return 0.0f;
}
void nbwActor::SetFlag(int, bool) {}
bool nbwActor::GetFlag(int) {
    return false;
}
void nbwActor::SetPath(int, const char*) {}
nRoot* nbwActor::GetPath(int) {
    return nullptr;
}

int nbwActor::NameIndex(const char* const* table, const char* name) {
    if (!table || !name) return -1;
    for (int i = 0; table[i]; i++) {
        if (std::strcmp(table[i], name) == 0) return i;
    }
    return -1;
}

int nbwActor::ScriptIndex(const char* const* table, const char* name, const char* cmd) const {
    const int i = NameIndex(table, name);
    if (i < 0) n_error("%s: %s: no name '%s' in this actor's table\n", GetFullName().c_str(), cmd, name ? name : "");
    return i;
}

void nbwActor::SetPathByName(const char* name, const char* path) {
    const int i = ScriptIndex(GetPathNames(), name, "v_setpath_ss");
    if (i >= 0) SetPath(i, path ? path : "");
}

void nbwActor::SetFlagByName(const char* name, bool on) {
    const int i = ScriptIndex(GetFlagNames(), name, "v_setflag_sb");
    if (i >= 0) SetFlag(i, on);
}

void nbwActor::SetStatByName(const char* name, float value) {
    const int i = ScriptIndex(GetStatNames(), name, "v_setstat_sf");
    if (i >= 0) SetStat(i, value);
}

void nbwActor::PlayMoveByName(const char* move, const char* text, float power) {
    const int i = ScriptIndex(GetMoveNames(), move, "v_playmove_ssf");
    if (i >= 0) PlayMove(i, text ? text : "", power);
}

void nbwActor::StoreStat(int index, float value) {
    if (index < 0) {
        n_error("%s: stat %d below 0\n", GetFullName().c_str(), index);
        return;
    }
    if (size_t(index) >= stats_.size()) stats_.resize(size_t(index) + 1, 0.0f);
    stats_[size_t(index)] = value;
}

float nbwActor::StoredStat(int index) const {
    return index >= 0 && size_t(index) < stats_.size() ? stats_[size_t(index)] : 0.0f;
}

void nbwActor::StoreFlag(int index, bool on) {
    if (index < 0) {
        n_error("%s: flag %d below 0\n", GetFullName().c_str(), index);
        return;
    }
    if (size_t(index) >= flags_.size()) flags_.resize(size_t(index) + 1, 0);
    flags_[size_t(index)] = on ? 1 : 0;
}

bool nbwActor::StoredFlag(int index) const {
    return index >= 0 && size_t(index) < flags_.size() && flags_[size_t(index)] != 0;
}

void nbwActor::StorePath(int index, const char* path) {
    if (index < 0) {
        n_error("%s: path %d below 0\n", GetFullName().c_str(), index);
        return;
    }
    if (size_t(index) >= paths_.size()) paths_.resize(size_t(index) + 1);
    paths_[size_t(index)] = path && std::strcmp(path, "none") != 0 ? path : "";
}

const char* nbwActor::StoredPath(int index) const {
    return index >= 0 && size_t(index) < paths_.size() ? paths_[size_t(index)].c_str() : "";
}

nRoot* nbwActor::LookupStoredPath(int index) {
    const char* path = StoredPath(index);
    if (!path[0]) return nullptr;
    return nKernelServer::ks->LookupFrom(this, path);
}

// -- saving and the store -------------------------------------------------------------

bool nbwActor::SaveCmds(nPersistServer* ps) {
    if (!nLogicCharacter::SaveCmds(ps)) return false;
    if (const char* const* names = GetStatNames()) {
        for (int i = 0; names[i]; i++) {
            if (!ps->Put(this, nId("DSST"), names[i], GetStat(i))) return false;
        }
    }
    if (const char* const* names = GetFlagNames()) {
        for (int i = 0; names[i]; i++) {
            if (!ps->Put(this, nId("DSFL"), names[i], GetFlag(i))) return false;
        }
    }
    if (const char* const* names = GetPathNames()) {
        for (int i = 0; names[i]; i++) {
            const char* path = StoredPath(i);
            if (!ps->Put(this, nId("DSPA"), names[i], path[0] ? path : "none")) return false;
        }
    }
    return true;
}

std::string nbwActor::EncodeActionText(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char ch : text) {
        switch (ch) {
        case '$': out += "\\036"; break;
        case Section: out += "\\167"; break;
        case '\n': out += ';'; break;
        case '\'': out += Section; break;
        case '"': out += '$'; break;
        default: out += ch; break;
        }
    }
    return out;
}

std::string nbwActor::DecodeActionText(const std::string& text) {
    std::string out = text;
    for (char& ch : out) {
        if (ch == Section) ch = '\'';
        else if (ch == '$') ch = '"';
    }
    return out;
}

void nbwActor::StoreToPersist(nPersistLogic* store) {
    if (!store) {
        n_error("%s: StoreToPersist: no persistent store\n", GetFullName().c_str());
        return;
    }
    nLogicCharacter::StoreToPersist(store);
    nVariable v;
    if (store->GetVar("txyz")) {
        const vector3& p = GetPosition();
        const float t[4] = {p.x, p.y, p.z, 0.0f};
        v.SetV4(t);
        nbwPutVar(store, "txyz", v);
    }
    if (store->GetVar("qxyzw")) {
        const quaternion& q = GetQuaternion();
        const float r[4] = {q.x, q.y, q.z, q.w};
        v.SetV4(r);
        nbwPutVar(store, "qxyzw", v);
    }
    if (const char* const* names = GetStatNames()) {
        for (int i = 0; names[i]; i++) {
            v.SetF(GetStat(i));
            nbwPutVar(store, names[i], v);
        }
    }
    if (const char* const* names = GetPathNames()) {
        for (int i = 0; names[i]; i++) {
            const char* path = StoredPath(i);
            v.SetS(path[0] ? path : "none");
            nbwPutVar(store, names[i], v);
        }
    }
    if (const char* const* names = GetFlagNames()) {
        for (int i = 0; names[i]; i++) {
            v.SetI(GetFlag(i) ? 1 : 0);
            nbwPutVar(store, names[i], v);
        }
    }
    // The current action as the values that rebuild it, never as text to run: a store goes
    // into saves, and a save holds no text to run.
    nRoot* current = GetCurrentAction();
    const char* name = current ? current->GetName() : nullptr;
    if (current && name && std::strcmp(name, IdleAction) != 0 && current->IsA(nbwAction::classInfo.name)) {
        auto* a = static_cast<nbwAction*>(current);
        const std::pair<const char*, const char*> texts[] = {
            {"actionname", name}, {"actionanim", a->GetAnimation()}, {"actionplaydir", a->GetPlayDirName()}};
        for (const auto& [key, text] : texts) {
            v.SetS(text);
            nbwPutVar(store, key, v);
        }
        const std::pair<const char*, float> numbers[] = {{"actionduration", a->GetDuration()},
                                                         {"actionruntime", a->GetRuntime()},
                                                         {"actionfadein", a->GetFadeIn()},
                                                         {"actionfadeout", a->GetFadeOut()}};
        for (const auto& [key, f] : numbers) {
            v.SetF(f);
            nbwPutVar(store, key, v);
        }
    } else {
        for (const char* key : kActionValues) store->RemoveVar(key);
    }
    v.SetS(NoActionText);
    nbwPutVar(store, "action", v);
}

void nbwActor::RestoreAction(nPersistLogic* store) {
    const nVariable* name = store->GetVar("actionname");
    if (!name || name->GetType() != nVariable::String || !name->GetS() || !*name->GetS()) return;
    nRoot* actions = GetActions();
    if (!actions) return;
    nKernelServer* ks = nKernelServer::ks;
    ks->PushCwd(actions);
    nRoot* obj = ks->New(nbwAction::classInfo.name, name->GetS());
    ks->PopCwd();
    if (!obj || !obj->IsA(nbwAction::classInfo.name)) {
        n_error("%s: the stored action '%s' could not be made again: the actor goes on without it\n",
                GetFullName().c_str(), name->GetS());
        return;
    }
    auto* a = static_cast<nbwAction*>(obj);
    const nVariable* anim = store->GetVar("actionanim");
    if (anim && anim->GetType() == nVariable::String && anim->GetS()) a->SetAnimation(anim->GetS());
    const nVariable* dir = store->GetVar("actionplaydir");
    if (dir && dir->GetType() == nVariable::String && dir->GetS()) a->SetPlayDir(dir->GetS());
    float f[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    const char* const keys[4] = {"actionduration", "actionfadein", "actionfadeout", "actionruntime"};
    for (int i = 0; i < 4; i++) {
        const nVariable* var = store->GetVar(keys[i]);
        if (var && var->GetType() == nVariable::Float) f[i] = var->GetF();
    }
    a->SetDuration(f[0]);
    a->SetFade(f[1], f[2]);
    a->SetRuntime(f[3]);
}

void nbwActor::RestoreFromPersist(nPersistLogic* store) {
    if (!store) {
        n_error("%s: RestoreFromPersist: no persistent store\n", GetFullName().c_str());
        return;
    }
    nLogicCharacter::RestoreFromPersist(store);
    const nVariable* t = store->GetVar("txyz");
    if (t && t->GetType() == nVariable::Vector4) SetPosition(vector3(t->GetV4()[0], t->GetV4()[1], t->GetV4()[2]));
    const nVariable* q = store->GetVar("qxyzw");
    if (q && q->GetType() == nVariable::Vector4) {
        const float* f = q->GetV4();
        SetQuaternion(quaternion(f[0], f[1], f[2], f[3]));
    }
    // The setters may run a subclass's scripts; the actor must outlive each of them.
    nRef<nRoot> alive(this);
    auto skip = [this](const char* name) {
        n_error("%s: store variable '%s' holds another type: skipped\n", GetFullName().c_str(), name);
    };
    if (const char* const* names = GetStatNames()) {
        for (int i = 0; names[i] && alive.IsValid(); i++) {
            float value = 0.0f;
            const nVariable* var = store->GetVar(names[i]);
            if (StoredNumber(var, value)) SetStat(i, value);
            else if (var) skip(names[i]);
        }
    }
    if (const char* const* names = GetPathNames()) {
        for (int i = 0; names[i] && alive.IsValid(); i++) {
            const nVariable* var = store->GetVar(names[i]);
            if (var && var->GetType() == nVariable::String) SetPath(i, var->GetS() ? var->GetS() : "");
            else if (var) skip(names[i]);
        }
    }
    if (const char* const* names = GetFlagNames()) {
        for (int i = 0; names[i] && alive.IsValid(); i++) {
            float value = 0.0f;
            const nVariable* var = store->GetVar(names[i]);
            if (StoredNumber(var, value)) SetFlag(i, value != 0.0f);
            else if (var) skip(names[i]);
        }
    }
    if (!alive.IsValid()) return;
    const nVariable* action = store->GetVar("action");
    if (action && (action->GetType() != nVariable::String || !action->GetS())) {
        skip("action");
        action = nullptr;
    }
    const nScriptServer::Origin origin = action ? store->FindVar("action")->origin : nScriptServer::Origin::Person;
    if (!action || std::strcmp(action->GetS(), NoActionText) == 0 || origin == nScriptServer::Origin::Data) {
        // Text that data brought (a save an older game wrote) is never run: the actor starts
        // idle, or with the action its values rebuild.
        if (action && std::strcmp(action->GetS(), NoActionText) != 0) {
            n_printf("%s: the stored action is text of an older game, not run: the actor starts idle\n",
                     GetFullName().c_str());
        }
        RestoreAction(store);
        return;
    }
    nRoot* actions = GetActions();
    if (!actions) return;
    nScriptServer* script = static_cast<nScriptServer*>(nKernelServer::ks->Lookup("/sys/servers/script"));
    if (!script) nKernelServer::FatalError("Aborting.");
    // What the queue held before: a failed run leaves nothing of its own behind.
    std::vector<nRef<nRoot>> before;
    for (nRoot* c = actions->GetHead(); c; c = c->GetSucc()) before.emplace_back(c);
    nRef<nRoot> queue(actions);
    const std::string text = DecodeActionText(action->GetS());
    nKernelServer* ks = nKernelServer::ks;
    ks->PushCwd(actions);
    const char* result = nullptr;
    const bool ok = script->RunStored(text.c_str(), origin, result);
    ks->PopCwd();
    if (ok) return;
    n_error("%s: the stored action did not run (%s): the actor goes on without it\n",
            alive.IsValid() ? GetFullName().c_str() : "actor", result ? result : "");
    if (!queue.IsValid()) return;
    for (nRoot* c = queue->GetHead(); c;) {
        nRoot* next = c->GetSucc();
        bool old = false;
        for (const nRef<nRoot>& r : before) old = old || r.GetUnsafe() == c;
        if (!old) c->Release();
        c = next;
    }
}
