#include "game/nbwItem.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "collide/nCollideContext2.h"
#include "collide/nCollideObject2.h"
#include "collide/nCollideReport.h"
#include "game/nbwActor.h"
#include "game/nbwContainer.h"
#include "game/nbwHandlerPersist.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "kernel/nRandom.h"
#include "kernel/nRef.h"
#include "kernel/nScriptServer.h"
#include "script/nLuaWriter.h"
#include "logic/nLogicEventHandler.h"
#include "logic/nModCollisionState.h"
#include "logic/nModVisualizerState.h"
#include "logic/nPersistLogic.h"

static const nCmdDef<nbwItem> cmds[] = {
    Bind<&nbwItem::GetVars>("s_getvars_v", "GVAR"),
    Bind<&nbwItem::SetIntByName>("v_setint_si", "ISIN"),
    Bind<&nbwItem::GetIntByName>("i_getint_s", "IGIN"),
    Bind<&nbwItem::SetFloatByName>("v_setfloat_sf", "ISFL"),
    Bind<&nbwItem::GetFloatByName>("f_getfloat_s", "IGFL"),
    Bind<&nbwItem::SetStringByName>("v_setstring_ss", "ISST"),
    Bind<&nbwItem::GetStringByName>("s_getstring_s", "IGST"),
    Bind<&nbwItem::UseFor>("v_usefor_f", "IUFO"),
    Bind<&nbwItem::PlaySound>("v_playsound_v", "IPSN"),
    Bind<&nbwItem::SetUltrasonicTime>("v_setultrasonictime_f", "ISUT"),
    Bind<&nbwItem::GetUltrasonicTime>("f_getultrasonictime_v", "IGUT"),
};
const nClassInfo nbwItem::classInfo = nClassInfo::Make<nbwItem>("nbwitem", "nlogicitem", cmds);

namespace {

const char* KindName(nVariable::Type type) {
    switch (type) {
    case nVariable::Int: return "an int";
    case nVariable::Float: return "a float";
    case nVariable::String: return "a text";
    default: return "no value";
    }
}

bool IsNumber(nVariable::Type type) {
    return type == nVariable::Int || type == nVariable::Float;
}

}  // namespace

nbwItem::nbwItem() {
    vars_.reserve(32);
    DefineVar(Skill, "skill", 0.0f);
    DefineVar(DocValue, "docvalue", 0.0f);
    DefineVar(Alteration, "alteration", 0.0f);
    DefineVar(MaxEnergie, "maxenergie", 1.0f);
    DefineVar(Energie, "energie", 1.0f);
    DefineVar(EnergieLose, "energielose", 0.0f);
    DefineVar(MaxHitpoints, "maxhitpoints", 1.0f);
    DefineVar(Hitpoints, "hitpoints", 1.0f);
    DefineVar(CollDamage, "colldamage", 0.0f);
    DefineVar(AnimLength, "animlenght", 0.0f);
    DefineVar(AnimName, "animname", "none");
    DefineVar(CanDrop, "candrop", 1);
    DefineVar(UseTime, "usetime", 0.0f);
    DefineVar(UseItem, "useitem", 0.0f);
    DefineVar(Type, "type", "none");
    DefineVar(DamageType, "damagetype", 1);
    DefineVar(Owner, "owner", "none");
    DefineVar(Treasure, "treasure", 1);
    DefineVar(Damage, "damage", 0.0f);
    DefineVar(Weight, "weight", 0.0f);
    DefineVar(Volume, "volume", 0.0f);
    DefineVar(Armor, "armor", 0.0f);
    DefineVar(User, "user", "everybody");
    DefineVar(Group, "group", "item");
    DefineVar(AlwaysVisible, "alwaysvisible", 0);

    damageState_ = static_cast<nModCollisionState*>(CreateModuleState(nModuleState::Collision, "damage"));
    damageState_->SetContext("damage");
    itemState_ = static_cast<nModCollisionState*>(CreateModuleState(nModuleState::Collision, "item"));
    itemState_->SetContext("physik");
    packInHandler_ = AddHandler("onpackin");
    deathHandler_ = AddHandler("ondeath");
    ultrasonicState_ = static_cast<nModVisualizerState*>(CreateModuleState(nModuleState::Visualizer, "ultrasonic"));
    ultrasonicState_->SetEnabled(false);
}

nbwItem::~nbwItem() = default;

// -- the table ------------------------------------------------------------------------

nbwItem::Slot& nbwItem::DefineSlot(int index, const char* name) {
    if (index < 0) nKernelServer::FatalError("nbwitem: variable index %d below 0\n", index);
    if (size_t(index) >= vars_.size()) vars_.resize(size_t(index) + 1);
    Slot& s = vars_[size_t(index)];
    s.value = nVariable();
    s.name = name;
    return s;
}

void nbwItem::DefineVar(int index, const char* name, int32_t value) {
    DefineSlot(index, name).value.SetI(value);
}

void nbwItem::DefineVar(int index, const char* name, float value) {
    DefineSlot(index, name).value.SetF(value);
}

void nbwItem::DefineVar(int index, const char* name, const char* text) {
    DefineSlot(index, name).value.SetS(text);
}

nVariable* nbwItem::Entry(int index, const char* op) {
    if (index < 0 || size_t(index) >= vars_.size()) {
        n_error("%s: %s: variable %d is outside 0 to %d\n", GetFullName().c_str(), op, index, GetNumVars() - 1);
        return nullptr;
    }
    return &vars_[size_t(index)].value;
}

nVariable::Type nbwItem::GetVarType(int index) const {
    if (index < 0 || size_t(index) >= vars_.size()) return nVariable::Void;
    return vars_[size_t(index)].value.GetType();
}

void nbwItem::Refuse(int index, const char* what) const {
    n_error("%s: variable '%s' holds %s: %s refused\n", GetFullName().c_str(), GetVarName(index),
            KindName(GetVarType(index)), what);
}

int32_t nbwItem::ToInt(float value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483648.0f) return std::numeric_limits<int32_t>::max();
    if (value <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
    return int32_t(value);
}

void nbwItem::SetString(int index, const char* text) {
    nVariable* v = Entry(index, "SetString");
    if (!v) return;
    if (v->GetType() != nVariable::String) {
        Refuse(index, "a text is");
        return;
    }
    v->SetS(text);
}

void nbwItem::SetInt(int index, int32_t value) {
    nVariable* v = Entry(index, "SetInt");
    if (!v) return;
    switch (v->GetType()) {
    case nVariable::Int: v->SetI(value); break;
    // Through SetFloat, so that the death rule and a subclass's checks apply.
    case nVariable::Float: SetFloat(index, float(value)); break;
    default: Refuse(index, "a number is"); break;
    }
}

void nbwItem::SetFloat(int index, float value) {
    nVariable* v = Entry(index, "SetFloat");
    if (!v) return;
    if (v->GetType() == nVariable::Int) {
        SetInt(index, ToInt(value));
        return;
    }
    if (v->GetType() != nVariable::Float) {
        Refuse(index, "a number is");
        return;
    }
    if (index == Hitpoints && value <= 0.0f && v->GetF() > 0.0f && deathHandler_ && deathHandler_->IsBound()) {
        deathHandler_->Queue();
    }
    if ((index == Hitpoints || index == Energie) && value < 0.0f) value = 0.0f;
    v->SetF(value);
}

float nbwItem::GetFloat(int index) {
    nVariable* v = Entry(index, "GetFloat");
    if (!v) return 0.0f;
    switch (v->GetType()) {
    case nVariable::Float: return v->GetF();
    case nVariable::Int: return float(v->GetI());
    default: Refuse(index, "reading a number is"); return 0.0f;
    }
}

int32_t nbwItem::GetInt(int index) {
    nVariable* v = Entry(index, "GetInt");
    if (!v) return 0;
    switch (v->GetType()) {
    case nVariable::Int: return v->GetI();
    case nVariable::Float: return ToInt(v->GetF());
    default: Refuse(index, "reading a number is"); return 0;
    }
}

const char* nbwItem::GetString(int index) {
    nVariable* v = Entry(index, "GetString");
    if (!v) return "";
    if (v->GetType() != nVariable::String) {
        Refuse(index, "reading a text is");
        return "";
    }
    const char* s = v->GetS();
    return s ? s : "";
}

int nbwItem::FindVar(const char* name) const {
    if (!name) return -1;
    for (size_t i = 0; i < vars_.size(); i++) {
        if (vars_[i].name && std::strcmp(vars_[i].name, name) == 0) return int(i);
    }
    return -1;
}

const char* nbwItem::GetVarName(int index) const {
    if (index < 0 || size_t(index) >= vars_.size()) return nullptr;
    return vars_[size_t(index)].name;
}

// -- script commands ------------------------------------------------------------------

int nbwItem::ScriptIndex(const char* name, const char* op) const {
    int index = FindVar(name);
    if (index < 0) {
        n_error("%s: %s: Error : No variable '%s' exsist in nbwitem ...\n", GetFullName().c_str(), op,
                name ? name : "");
    }
    return index;
}

void nbwItem::SetIntByName(const char* name, int32_t value) {
    int i = ScriptIndex(name, "v_setint_si");
    if (i >= 0) SetInt(i, value);
}

int32_t nbwItem::GetIntByName(const char* name) {
    int i = ScriptIndex(name, "i_getint_s");
    return i >= 0 ? GetInt(i) : 0;
}

void nbwItem::SetFloatByName(const char* name, float value) {
    int i = ScriptIndex(name, "v_setfloat_sf");
    if (i >= 0) SetFloat(i, value);
}

float nbwItem::GetFloatByName(const char* name) {
    int i = ScriptIndex(name, "f_getfloat_s");
    return i >= 0 ? GetFloat(i) : 0.0f;
}

void nbwItem::SetStringByName(const char* name, const char* text) {
    int i = ScriptIndex(name, "v_setstring_ss");
    if (i >= 0) SetString(i, text);
}

const char* nbwItem::GetStringByName(const char* name) {
    int i = ScriptIndex(name, "s_getstring_s");
    return i >= 0 ? GetString(i) : "";
}

void nbwItem::UseFor(float seconds) {
    if (nVariable* v = Entry(UseTime, "v_usefor_f")) v->SetF(seconds);
}

void nbwItem::AppendInt(std::string& out, int32_t value) {
    char buf[16];
    auto r = std::to_chars(buf, buf + sizeof(buf), value);
    out.append(buf, r.ptr);
}

void nbwItem::AppendFloat(std::string& out, float value) {
    const double v = value;
    if (std::isnan(v)) {
        out += "nan";
        return;
    }
    if (std::isinf(v)) {
        out += v < 0 ? "-inf" : "inf";
        return;
    }
    // Six significant digits decide the notation: the exponent after rounding.
    char sci[32];
    auto r = std::to_chars(sci, sci + sizeof(sci), v, std::chars_format::scientific, 5);
    *r.ptr = 0;
    const char* e = std::strchr(sci, 'e');
    const int exponent = std::atoi(e + 1);
    char buf[48];
    char* end;
    if (v == 0.0 || (exponent >= -1 && exponent < 6)) {
        end = std::to_chars(buf, buf + sizeof(buf), v, std::chars_format::fixed, 5 - exponent).ptr;
    } else {
        // The mantissa as it is, the exponent with its sign and three digits.
        const size_t mantissa = size_t(e - sci);
        std::memcpy(buf, sci, mantissa);
        end = buf + mantissa;
    }
    // Trailing zeros after the point go, the point stays.
    if (std::memchr(buf, '.', size_t(end - buf))) {
        while (end[-1] == '0') end--;
    }
    out.append(buf, end);
    if (v != 0.0 && (exponent < -1 || exponent >= 6)) {
        const int a = std::abs(exponent);
        out += 'e';
        out += exponent < 0 ? '-' : '+';
        out += char('0' + a / 100 % 10);
        out += char('0' + a / 10 % 10);
        out += char('0' + a % 10);
    }
}

std::string nbwItem::GetVars() {
    std::string out;
    for (const Slot& s : vars_) {
        out += s.name ? s.name : "";
        out += " [";
        switch (s.value.GetType()) {
        case nVariable::Int:
            out += "int] = ";
            AppendInt(out, s.value.GetI());
            break;
        case nVariable::Float:
            out += "float] = ";
            AppendFloat(out, s.value.GetF());
            break;
        case nVariable::String:
            out += "string] = ";
            out += s.value.GetS() ? s.value.GetS() : "";
            break;
        default: break;
        }
        out += '\n';
    }
    return out;
}

// -- saving and the store -------------------------------------------------------------

bool nbwItem::SaveCmds(nPersistServer* ps) {
    if (!nLogicItem::SaveCmds(ps)) return false;
    for (const Slot& s : vars_) {
        bool ok = true;
        switch (s.value.GetType()) {
        case nVariable::Int: ok = ps->Put(this, nId("ISIN"), s.name, s.value.GetI()); break;
        case nVariable::Float: ok = ps->Put(this, nId("ISFL"), s.name, s.value.GetF()); break;
        case nVariable::String: ok = ps->Put(this, nId("ISST"), s.name, s.value.GetS()); break;
        default: break;
        }
        if (!ok) return false;
    }
    return ps->Put(this, nId("ISUT"), ultrasonicTime_);
}

void nbwItem::StoreToPersist(nPersistLogic* store) {
    if (!store) {
        n_error("%s: StoreToPersist: no persistent store\n", GetFullName().c_str());
        return;
    }
    nVariable v;
    v.SetI(GetActive() ? 1 : 0);
    nbwPutVar(store, "active", v);
    v.SetI(GetVisible() ? 1 : 0);
    nbwPutVar(store, "visible", v);
    v.SetI(GetCollision() ? 1 : 0);
    nbwPutVar(store, "collision", v);
    const vector3& p = GetPosition();
    const float t[4] = {p.x, p.y, p.z, 0.0f};
    v.SetV4(t);
    nbwPutVar(store, "txyz", v);
    const quaternion& q = GetQuaternion();
    const float r[4] = {q.x, q.y, q.z, q.w};
    v.SetV4(r);
    nbwPutVar(store, "qxyzw", v);
    nbwStoreHandlers(this, store);
    for (const Slot& s : vars_) {
        if (s.name && s.value.GetType() != nVariable::Void) nbwPutVar(store, s.name, s.value);
    }
}

void nbwItem::RestoreFromPersist(nPersistLogic* store) {
    if (!store) {
        n_error("%s: RestoreFromPersist: no persistent store\n", GetFullName().c_str());
        return;
    }
    nLogicItem::RestoreFromPersist(store);
    // A flag stored as either number counts.
    auto flag = [store](const char* name, bool& out) {
        const nVariable* v = store->GetVar(name);
        if (!v) return false;
        if (v->GetType() == nVariable::Int) out = v->GetI() > 0;
        else if (v->GetType() == nVariable::Float) out = v->GetF() > 0.0f;
        else return false;
        return true;
    };
    bool on = false;
    if (flag("active", on)) SetActive(on);
    if (flag("visible", on)) SetVisible(on);
    if (flag("collision", on)) SetCollision(on);
    const nVariable* t = store->GetVar("txyz");
    if (t && t->GetType() == nVariable::Vector4) {
        SetPosition(vector3(t->GetV4()[0], t->GetV4()[1], t->GetV4()[2]));
    }
    const nVariable* q = store->GetVar("qxyzw");
    if (q && q->GetType() == nVariable::Vector4) {
        const float* f = q->GetV4();
        SetQuaternion(quaternion(f[0], f[1], f[2], f[3]));
    }
    nbwRestoreHandlers(this, store);
    for (size_t i = 0; i < vars_.size(); i++) {
        Slot& s = vars_[i];
        const nVariable* stored = s.name ? store->GetVar(s.name) : nullptr;
        if (!stored) continue;
        const nVariable::Type have = s.value.GetType();
        const nVariable::Type got = stored->GetType();
        // Copied as stored, without the death rule: a restore is no change of condition.
        if (have == nVariable::String && got == nVariable::String) {
            s.value.SetS(stored->GetS());
        } else if (have == nVariable::Int && IsNumber(got)) {
            s.value.SetI(got == nVariable::Int ? stored->GetI() : ToInt(stored->GetF()));
        } else if (have == nVariable::Float && IsNumber(got)) {
            s.value.SetF(got == nVariable::Float ? stored->GetF() : float(stored->GetI()));
        } else {
            n_error("%s: store variable '%s' holds %s, the item %s: skipped\n", GetFullName().c_str(), s.name,
                    KindName(got), KindName(have));
        }
    }
}

// -- render variables -----------------------------------------------------------------

void nbwItem::UpdateVariables() {
    nLogicItem::UpdateVariables();
    useItemVar_ = AddVariable(nullptr, "useitem", 0.0f);
    hitpointsVar_ = AddVariable(nullptr, "hitpoints", 0.0f);
    soundTriggerVar_ = AddVariable(nullptr, "soundtrigger", 0.0f);
    timeVar_ = AddVariable(ultrasonicState_, "time", 0.0f);
}

void nbwItem::SetNodeVariables() {
    nLogicItem::SetNodeVariables();
    // The fixed entries are floats for good (their type never changes): read in place.
    SetVariable(nullptr, useItemVar_, vars_[UseItem].value.GetF());
    const float maxHp = vars_[MaxHitpoints].value.GetF();
    SetVariable(nullptr, hitpointsVar_, maxHp > 0.0f ? vars_[Hitpoints].value.GetF() / maxHp : 0.0f);
    if (ultrasonicState_->GetEnabled()) {
        ultrasonicElapsed_ += GetFrameTime();
        if (ultrasonicElapsed_ <= ultrasonicTime_) {
            SetVariable(ultrasonicState_, timeVar_, ultrasonicElapsed_);
        } else {
            ultrasonicElapsed_ = 0.0f;
            ultrasonicState_->SetEnabled(false);
        }
    }
    SetVariable(nullptr, soundTriggerVar_, playSound_ ? 1.0f : 0.0f);
    playSound_ = false;
}

void nbwItem::Visualize(nSceneGraph2* sceneGraph, const matrix44& world) {
    DeclareVariables();
    SetNodeVariables();
    GetVisualizerState()->Visualize(world, sceneGraph);
    if (ultrasonicState_->GetEnabled()) ultrasonicState_->Visualize(world, sceneGraph);
}

// -- use, wear and damage ---------------------------------------------------------------

namespace {

// The diver's stat, flag and path the item's use and damage zone reach.
constexpr int kLifePoints = 0;
constexpr int kChemicResist = 5;
constexpr int kHarmfulDamageType = 1;

// What a path names; "none" and "" name nothing (a child called "none" is not meant).
nRoot* LookupPath(const char* path) {
    if (!path || !*path || std::strcmp(path, "none") == 0) return nullptr;
    return nKernelServer::ks->Lookup(path);
}

nLogicNode* OtherOf(const nCollidePair* pair, const nLogicNode* self) {
    nLogicNode* other = pair->objB ? pair->objB->owner : nullptr;
    if (other == self) other = pair->objA ? pair->objA->owner : nullptr;
    return other == self ? nullptr : other;
}

}  // namespace

void nbwItem::StartUltrasonic() {
    ultrasonicElapsed_ = 0.0f;
    ultrasonicState_->SetEnabled(true);
}

void nbwItem::Wear() {
    const float r = float(nRandom::Next() % 1000) / 1000.0f;
    const float hp = vars_[Hitpoints].value.GetF();
    float worn;
    if (hp < r) {
        worn = std::clamp(hp - (r - hp) * GetFrameTime() * 0.005f, 0.0f, 1.0f);
    } else {
        worn = std::max(0.0f, hp - vars_[MaxHitpoints].value.GetF() * vars_[Alteration].value.GetF());
    }
    // Worn down to nothing, and no further.
    vars_[Energie].value.SetF(std::max(0.0f, vars_[Energie].value.GetF() - vars_[EnergieLose].value.GetF()));
    // Stored as it is: wear is no blow, so it never announces a death.
    vars_[Hitpoints].value.SetF(worn);
}

bool nbwItem::Use(nRoot* tool) {
    const std::string ownerPath = GetString(Owner);
    nRoot* found = LookupPath(ownerPath.c_str());
    if (!found) return false;
    if (!found->IsA(nbwActor::classInfo.name)) {
        n_error("%s: use: the owner '%s' is no actor\n", GetFullName().c_str(), ownerPath.c_str());
        return false;
    }
    auto* owner = static_cast<nbwActor*>(found);
    nbwItem* toolItem = nbwContainer::AsItem(tool);
    if (toolItem) toolItem->Wear();

    nLogicEventHandler* onUse = GetUseHandler();
    if (onUse && onUse->IsBound()) {
        onUse->Queue();
        return false;
    }
    if (tool && std::strcmp(tool->GetName(), "hand") == 0) {
        nbwContainer* inventory = nullptr;
        const int slot = nbwActor::NameIndex(owner->GetPathNames(), "inventory");
        if (slot >= 0) inventory = nbwContainer::AsContainer(owner->GetPath(slot));
        if (!inventory) {
            n_error("%s: use: the owner '%s' has no inventory container\n", GetFullName().c_str(),
                    ownerPath.c_str());
            return false;
        }
        // A full inventory is ordinary play: the item stays where it is.
        if (!inventory->PackIn(this)) {
            n_error("Can't packin object %s\n", GetFullName().c_str());
            return false;
        }
        if (packInHandler_->IsBound()) packInHandler_->Queue();
        SetString(Owner, "none");
        return false;
    }
    if (toolItem && std::strcmp(toolItem->GetString(Type), "luftsack") == 0) {
        // An air bag cannot lift itself: it would be used up and deleted twice.
        if (toolItem == this) {
            n_error("%s: use: an air bag cannot lift itself\n", GetFullName().c_str());
            return false;
        }
        LiftAway(toolItem);
        return false;
    }
    return true;
}

void nbwItem::LiftAway(nbwItem* airBag) {
    SetActive(false);
    auto* script = dynamic_cast<nScriptServer*>(nKernelServer::ks->Lookup("/sys/servers/script"));
    if (script) {
        std::string statement = "delete(";
        nLuaWriter::AppendQuoted(statement, GetFullName().c_str(), '\'');
        statement += ")";
        script->Enqueue(statement.c_str());
    } else {
        n_error("%s: use: no script server to delete the item\n", GetFullName().c_str());
    }
    nRoot* holder = airBag->GetParent();
    if (nbwContainer::AsContainer(holder)) {
        nbwContainer::Consume(holder, airBag);
    } else {
        n_error("%s: use: the air bag '%s' lies in no container and is not used up\n", GetFullName().c_str(),
                airBag->GetFullName().c_str());
    }
    // What is lifted leaves the level: an actor of the level aiming at it aims at nothing.
    for (nRoot* o = GetParent() ? GetParent()->GetHead() : nullptr; o; o = o->GetSucc()) {
        if (!o->IsA(nbwActor::classInfo.name)) continue;
        auto* actor = static_cast<nbwActor*>(o);
        const int target = nbwActor::NameIndex(actor->GetPathNames(), "target");
        if (target >= 0 && actor->GetPath(target) == this) actor->SetPath(target, "none");
    }
    nRoot* camp = nKernelServer::ks->Lookup("/usr/persist/camp");
    if (!camp) camp = nKernelServer::ks->New("nroot", "/usr/persist/camp");
    SetString(Owner, "none");
    nPersistLogic* store = GetPersist();
    if (!store) {
        n_error("%s: use: no persistent store to keep at the camp\n", GetFullName().c_str());
        return;
    }
    StoreToPersist(store);
    for (nRoot* o = camp; o; o = o->GetParent()) {
        if (o == store) {
            n_error("%s: use: the store '%s' cannot go below itself\n", GetFullName().c_str(),
                    store->GetFullName().c_str());
            return;
        }
    }
    if (camp) camp->AddTail(store);
}

bool nbwItem::Trigger(nLogicGraph* graph) {
    // A script the step runs may delete the item.
    nRef<nRoot> self(this);
    const bool result = nLogicItem::Trigger(graph);
    if (!self.IsValid()) return false;
    nVariable& useTime = vars_[UseTime].value;
    nVariable& useItem = vars_[UseItem].value;
    // The frame time is looked up only for an item in use: most items are idle.
    if (useTime.GetF() > 0.0f && vars_[Energie].value.GetF() > 0.0f && vars_[Hitpoints].value.GetF() > 0.0f) {
        const float ft = GetFrameTime();
        useItem.SetF(std::clamp(useItem.GetF() + ft, 0.0f, 1.0f));
        useTime.SetF(useTime.GetF() - ft);
    } else if (useItem.GetF() > 0.0f) {
        useItem.SetF(std::clamp(useItem.GetF() - GetFrameTime(), 0.0f, 1.0f));
    }
    return result;
}

void nbwItem::UpdateModules(const matrix44& world) {
    // The base registers every collision state, "damage" and "item" among them.
    nLogicItem::UpdateModules(world);
    const vector3 now = world.Translation();
    if (prevMatrixValid_) velocity_ = prevMatrix_.Translation() - now;
    prevMatrix_ = world;
    prevMatrixValid_ = true;
}

void nbwItem::AnalyseCollision() {
    nModCollisionState* physik = GetPhysikCollisionState();
    if (physik->GetEnabled() && physik->GetNumModules() > 0) {
        nCollideContext2* ctx = physik->GetContext();
        nCollideReport** contacts = nullptr;
        if (ctx && ctx->GetContacts(physik, contacts) > 0) {
            const float hit = velocity_.Len() * vars_[CollDamage].value.GetF();
            const float hp = vars_[Hitpoints].value.GetF() - hit;
            // Through SetFloat: a blow that kills announces the death.
            SetFloat(Hitpoints, std::clamp(hp, 0.0f, std::max(vars_[MaxHitpoints].value.GetF(), 0.0f)));
        }
    }
    nLogicItem::AnalyseCollision();

    if (!damageState_->GetEnabled() || damageState_->GetNumModules() == 0) return;
    nCollideContext2* ctx = damageState_->GetContext();
    if (!ctx) return;
    nCollidePair** pairs = nullptr;
    const int n = ctx->GetCollisions(damageState_, pairs);
    const float ft = GetFrameTime();
    const bool harmful = GetInt(DamageType) == kHarmfulDamageType;
    const float rate = vars_[Damage].value.GetF();
    for (int i = 0; i < n; i++) {
        nLogicNode* other = OtherOf(pairs[i], this);
        if (!other || !other->IsA("nbwdiver")) continue;
        auto* diver = static_cast<nbwActor*>(other);
        if (harmful && diver->GetFlag(kChemicResist)) continue;
        // A share of what is left per second, exact for the frame's time.
        diver->SetStat(kLifePoints, diver->GetStat(kLifePoints) * std::exp(-ft * rate));
    }
}
