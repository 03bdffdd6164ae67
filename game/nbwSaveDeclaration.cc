#include "game/nbwSaveDeclaration.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "game/nbwActor.h"
#include "kernel/nKernelServer.h"
#include "logic/nLogicNode.h"
#include "logic/nPersist.h"
#include "logic/nPersistLogic.h"

namespace {

std::vector<std::string> Words(const char* text) {
    std::vector<std::string> out;
    std::istringstream in(text ? text : "");
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

const char* NameOf(const nRoot* o) { return o->GetName() ? o->GetName() : ""; }

// The store's "prototype" text, "" when it has none.
std::string PrototypeText(nRoot* store) {
    if (!store->IsA("npersist")) return {};
    const nVariable* v = static_cast<nPersist*>(store)->GetVar("prototype");
    return v && v->GetType() == nVariable::String && v->GetS() ? v->GetS() : "";
}

// A child store of that name, null when none.
nRoot* ChildStore(nRoot* store, const std::string& name) {
    nRoot* c = name.empty() ? nullptr : store->FindChild(name.c_str());
    return c && c->IsA("npersist") ? c : nullptr;
}

// A number of the store as play writes it (an int or a float); `otherwise` when it holds
// none.
float NumberOf(nRoot* store, const char* name, float otherwise) {
    const nVariable* v = static_cast<nPersist*>(store)->GetVar(name);
    if (!v) return otherwise;
    if (v->GetType() == nVariable::Int) return float(v->GetI());
    return v->GetType() == nVariable::Float ? v->GetF() : otherwise;
}

bool Contains(const std::vector<std::string>& list, const std::string& word) {
    for (const std::string& w : list) {
        if (w == word) return true;
    }
    return false;
}

}  // namespace

bool nbwSaveDeclaration::IsStatusValue(const char* name) {
    return name && (std::strcmp(name, "gamestate") == 0 || std::strcmp(name, "currlevel") == 0);
}

nbwSaveDeclaration::Proto& nbwSaveDeclaration::Declared(const char* prototype) {
    if (Proto* p = Find(prototype)) return *p;
    protos_.push_back({prototype, {}, {}, {}, 0, -1, 0, {}, {}, {}, {}, {}, {}});
    return protos_.back();
}

nbwSaveDeclaration::Proto* nbwSaveDeclaration::Find(const std::string& prototype) {
    for (Proto& p : protos_) {
        if (p.name == prototype) return &p;
    }
    return nullptr;
}

nbwSaveDeclaration::Value* nbwSaveDeclaration::FindValue(Proto& p, const std::string& name) {
    for (Value& v : p.values) {
        if (v.name == name) return &v;
    }
    return nullptr;
}

nbwSaveDeclaration::Value& nbwSaveDeclaration::ValueOf(Proto& p, const char* name) {
    if (Value* v = FindValue(p, name)) return *v;
    p.values.push_back({name, 0, 0.0f, 0.0f, {}, false, {}, {}, 0.0f});
    return p.values.back();
}

bool nbwSaveDeclaration::DeclareStore(const char* prototype, const char* places, const char* names,
                                      std::string& why) {
    std::vector<std::string> at = Words(places);
    if (!prototype || !*prototype || at.empty()) {
        why = "a store takes a prototype and at least one place";
        return false;
    }
    Proto& p = Declared(prototype);
    p.places = std::move(at);
    p.names = Words(names);
    return true;
}

bool nbwSaveDeclaration::DeclareNumber(const char* prototype, const char* name, const char* type, float lo,
                                       float hi, std::string& why) {
    const char t = type && std::strlen(type) == 1 ? type[0] : 0;
    if (!prototype || !*prototype || !name || !*name || (t != 'i' && t != 'f' && t != 'v' && t != 'q') ||
        !std::isfinite(lo) || !std::isfinite(hi) || !(lo <= hi)) {
        why = "a number takes a prototype, a name, the type 'i', 'f', 'v' or 'q' and a finite range";
        return false;
    }
    Value& v = ValueOf(Declared(prototype), name);
    v.type = t;
    v.lo = lo;
    v.hi = hi;
    return true;
}

bool nbwSaveDeclaration::DeclareText(const char* prototype, const char* name, const char* texts,
                                     std::string& why) {
    std::vector<std::string> set = Words(texts);
    if (!prototype || !*prototype || !name || !*name || set.empty()) {
        why = "a text takes a prototype, a name and at least one text";
        return false;
    }
    Value& v = ValueOf(Declared(prototype), name);
    v.type = 's';
    v.texts = std::move(set);
    return true;
}

bool nbwSaveDeclaration::DeclareFixed(const char* prototype, const char* names, std::string& why) {
    const std::vector<std::string> list = Words(names);
    if (!prototype || !*prototype || list.empty()) {
        why = "fixed values take a prototype and at least one name";
        return false;
    }
    Proto& p = Declared(prototype);
    for (const std::string& n : list) ValueOf(p, n.c_str()) = {n, 0, 0.0f, 0.0f, {}, false, {}, {}, 0.0f};
    return true;
}

bool nbwSaveDeclaration::DeclareRequired(const char* prototype, const char* names, std::string& why) {
    Proto* p = prototype ? Find(prototype) : nullptr;
    const std::vector<std::string> list = Words(names);
    bool ok = p && !list.empty();
    for (const std::string& n : list) {
        ok = ok && FindValue(*p, n) != nullptr;
    }
    if (!ok) {
        why = "required values take a declared prototype and at least one of its declared values";
        return false;
    }
    for (const std::string& n : list) FindValue(*p, n)->required = true;
    return true;
}

bool nbwSaveDeclaration::DeclareKeptFor(const char* prototype, const char* waiting, const char* done,
                                        std::string& why) {
    Proto* p = prototype ? Find(prototype) : nullptr;
    const Proto* w = waiting ? Find(waiting) : nullptr;
    if (!p || !w || p == w || !done || !Contains(w->places, done)) {
        why = "a store kept for another takes two declared prototypes and a place of the second";
        return false;
    }
    p->keptFor = waiting;
    p->keptUntil = done;
    return true;
}

bool nbwSaveDeclaration::DeclareUncovered(const char* prototype, const char* names, const char* cover,
                                          const char* value, std::string& why) {
    Proto* p = prototype ? Find(prototype) : nullptr;
    Proto* c = cover ? Find(cover) : nullptr;
    const std::vector<std::string> list = Words(names);
    bool ok = p && c && p != c && !list.empty() && value && FindValue(*c, value);
    for (const std::string& n : list) ok = ok && FindValue(*p, n);
    if (!ok) {
        why = "an uncovered store takes a declared prototype, some of its values, and another with one of its values";
        return false;
    }
    p->shown = list;
    p->cover = cover;
    p->coverValue = value;
    return true;
}

bool nbwSaveDeclaration::DeclareBox(const char* prototype, const char* name, const float lo[3], const float hi[3],
                                    std::string& why) {
    Proto* p = prototype ? Find(prototype) : nullptr;
    Value* v = p && name ? FindValue(*p, name) : nullptr;
    bool ok = v && (v->type == 'v' || v->type == 'q');
    for (int i = 0; i < 3 && ok; i++) ok = std::isfinite(lo[i]) && std::isfinite(hi[i]) && lo[i] <= hi[i];
    if (!ok) {
        why = "a box takes a declared vector or rotation and three finite ranges";
        return false;
    }
    v->boxed = true;
    for (int i = 0; i < 3; i++) {
        v->boxLo[i] = lo[i];
        v->boxHi[i] = hi[i];
    }
    return true;
}

bool nbwSaveDeclaration::DeclareCount(const char* prototype, int lo, int hi, std::string& why) {
    if (!prototype || !*prototype || lo < 0 || hi < lo) {
        why = "a count takes a prototype and a range of counts";
        return false;
    }
    Proto& p = Declared(prototype);
    p.countLo = lo;
    p.countHi = hi;
    return true;
}

bool nbwSaveDeclaration::DeclareWater(const char* prototype, const char* name, float radius, BasinWater water,
                                      std::string& why) {
    Proto* p = prototype ? Find(prototype) : nullptr;
    Value* v = p && name ? FindValue(*p, name) : nullptr;
    if (!v || v->type != 'v' || !std::isfinite(radius) || radius <= 0.0f || !water.IsBuilt()) {
        why = "water takes a declared vector, a body's radius above 0 and the level's solids";
        return false;
    }
    v->room = radius;
    water_ = std::move(water);
    return true;
}

bool nbwSaveDeclaration::PinnedPlace(const std::string& prototype, vector3& at) {
    Proto* p = Find(prototype);
    const Value* v = p ? FindValue(*p, "txyz") : nullptr;
    if (!v || !v->boxed || v->boxLo[0] != v->boxHi[0] || v->boxLo[1] != v->boxHi[1] || v->boxLo[2] != v->boxHi[2]) {
        return false;
    }
    at = vector3(v->boxLo[0], v->boxLo[1], v->boxLo[2]);
    return true;
}

bool nbwSaveDeclaration::Check(nRoot* root, const char* level, std::string& why, Reading reading,
                               nRoot* prototypes) {
    notes_.clear();
    const bool ok = CheckAll(root, level, why, reading, prototypes);
    // A refused save logs only why: nothing of it was read.
    for (const std::string& line : ok ? notes_ : std::vector<std::string>{}) n_printf("%s", line.c_str());
    notes_.clear();
    return ok;
}

void nbwSaveDeclaration::Note(const char* format, ...) {
    va_list args, again;
    va_start(args, format);
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    std::string line(n > 0 ? size_t(n) : 0, '\0');
    if (n > 0) std::vsnprintf(line.data(), line.size() + 1, format, again);
    va_end(again);
    va_end(args);
    notes_.push_back(std::move(line));
}

bool nbwSaveDeclaration::CheckAll(nRoot* root, const char* level, std::string& why, Reading reading,
                                  nRoot* prototypes) {
    reading_ = reading;
    prototypes_ = prototypes;
    water_.ClearBodies();
    level_ = level ? level : "";
    levelStore_ = root->FindChild(level_.c_str());
    actionLogged_ = false;
    for (Proto& p : protos_) {
        p.seen = 0;
        p.seenAt.clear();
    }
    for (nRoot* c = root->GetHead(); c; c = c->GetSucc()) {
        const std::string name = NameOf(c);
        if (name == "gamestatus") {
            // The observer has checked the word and the level; nothing else is the game's.
            if (c->GetHead()) {
                why = "'gamestatus' holds '" + std::string(NameOf(c->GetHead())) + "'";
                return false;
            }
            for (nPersistVar* v = static_cast<nPersist*>(c)->GetFirstVar(); v; v = v->GetSucc()) {
                if (!IsStatusValue(v->GetName())) {
                    why = "'gamestatus' holds '" + std::string(v->GetName() ? v->GetName() : "") +
                          "', which the game does not know";
                    return false;
                }
            }
        } else if (name == Camp) {
            if (c->IsA("npersist") && static_cast<nPersist*>(c)->GetNumVars() > 0) {
                why = "the camp holds values";
                return false;
            }
            for (nRoot* s = c->GetHead(); s; s = s->GetSucc()) {
                if (!CheckStore(s, Camp, why)) return false;
            }
        } else if (c != levelStore_) {
            why = "'" + name + "' is no store of the level '" + level_ + "'";
            return false;
        }
    }
    if (!levelStore_ || !levelStore_->IsA("npersistlogic")) {
        why = "it holds no store of the level '" + level_ + "'";
        return false;
    }
    Proto* own = Find(LevelStore);
    if (!own) {
        why = "the level declares no store of its own";
        return false;
    }
    StandThings();
    if (!CheckValues(levelStore_, *own, false, why)) return false;
    for (nRoot* s = levelStore_->GetHead(); s; s = s->GetSucc()) {
        if (!CheckStore(s, LevelStore, why)) return false;
    }
    for (const Proto& p : protos_) {
        if (p.countHi >= 0 && (p.seen < p.countLo || p.seen > p.countHi)) {
            why = "it holds " + std::to_string(p.seen) + " stores of '" + p.name + "', where play keeps " +
                  std::to_string(p.countLo) + " to " + std::to_string(p.countHi);
            return false;
        }
    }
    return KeptWhereNeeded(why) && ShownWhereUncovered(why);
}

bool nbwSaveDeclaration::ShownWhereUncovered(std::string& why) const {
    for (const Proto& p : protos_) {
        if (p.cover.empty()) continue;
        for (nRoot* c = levelStore_->GetHead(); c; c = c->GetSucc()) {
            if (PrototypeText(c) != p.cover || NumberOf(c, p.coverValue.c_str(), 1.0f) != 0.0f) continue;
            for (nRoot* s = levelStore_->GetHead(); s; s = s->GetSucc()) {
                if (PrototypeText(s) != p.name) continue;
                for (const std::string& v : p.shown) {
                    if (NumberOf(s, v.c_str(), 1.0f) != 0.0f) continue;
                    why = "'" + v + "' of the store '" + NameOf(s) + "' is 0 where '" + NameOf(c) +
                          "' no longer covers it: the level could not be finished";
                    return false;
                }
            }
        }
    }
    return true;
}

bool nbwSaveDeclaration::KeptWhereNeeded(std::string& why) const {
    for (const Proto& p : protos_) {
        if (p.keptFor.empty() || p.seen > 0) continue;
        const Proto* waiting = nullptr;
        for (const Proto& w : protos_) {
            if (w.name == p.keptFor) waiting = &w;
        }
        for (const std::string& at : waiting ? waiting->seenAt : std::vector<std::string>{}) {
            if (at == p.keptUntil) continue;
            why = "it holds no store of '" + p.name + "', which '" + p.keptFor + "' still waits for (" + at +
                  "): the level could not be finished";
            return false;
        }
    }
    return true;
}

bool nbwSaveDeclaration::CheckStore(nRoot* store, const std::string& place, std::string& why) {
    const std::string name = NameOf(store);
    const std::string proto = PrototypeText(store);
    Proto* p = proto.empty() || proto == LevelStore ? nullptr : Find(proto);
    if (!p) {
        why = "the store '" + name + "' names no prototype that a save may build";
        return false;
    }
    if (!Contains(p->places, place) || (!p->names.empty() && !Contains(p->names, name))) {
        why = "the store '" + name + "' of '" + proto + "' lies where play puts none (" + place + ")";
        return false;
    }
    if (!store->IsA("npersistlogic")) {
        why = "the store '" + name + "' is of another class than play makes";
        return false;
    }
    if (!CheckValues(store, *p, place == Camp, why)) return false;
    p->seen++;
    p->seenAt.push_back(place);
    // A second store of a name would lead the build into what the first one built.
    for (nRoot* s = store->GetPred(); s; s = s->GetPred()) {
        if (name == NameOf(s)) {
            why = "two stores are named '" + name + "' in one place";
            return false;
        }
    }
    const std::string below = place == LevelStore ? proto : place + "/" + proto;
    for (nRoot* s = store->GetHead(); s; s = s->GetSucc()) {
        if (!CheckStore(s, below, why)) return false;
    }
    return true;
}

void nbwSaveDeclaration::StandThings() {
    for (int i = 0; i < water_.GetNumThings(); i++) {
        const std::string& name = water_.GetThingName(i);
        nRoot* s = levelStore_->GetHead();
        while (s && PrototypeText(s) != name) s = s->GetSucc();
        Proto* p = Find(name);
        // A value the save holds for play to change; a fixed one is the prototype's (its
        // solid met, closed), whatever the save says.
        auto number = [&](const char* value, float otherwise) {
            const Value* d = p ? FindValue(*p, value) : nullptr;
            return d && d->type != 0 ? NumberOf(s, value, otherwise) : otherwise;
        };
        // Solid at the map's place as the load builds it: in the level (not lifted to the
        // camp), its solid met (a swept heap's is turned off) and not opened (a door's leaf
        // swings aside).
        water_.SetStanding(i, s && number("handler_physik_collision", 1.0f) != 0.0f &&
                                  !(number("openstatus", 0.0f) > 0.0f));
    }
}

bool nbwSaveDeclaration::CheckValues(nRoot* obj, Proto& p, bool camp, std::string& why) {
    auto* store = static_cast<nPersist*>(obj);
    std::vector<std::string> fixed;
    for (nPersistVar* pv = store->GetFirstVar(); pv; pv = pv->GetSucc()) {
        const std::string name = pv->GetName() ? pv->GetName() : "";
        nVariable& v = pv->Get();
        if (name == "prototype" && p.name != LevelStore) continue;
        const Value* d = FindValue(p, name);
        const std::string at = "'" + name + "' of the store '" + NameOf(obj) + "'";
        if (!d) {
            why = at + " is no value that '" + p.name + "' holds in play";
            return false;
        }
        if (d->type == 0) {
            fixed.push_back(name);
            continue;
        }
        const nVariable::Type want = d->type == 'i'   ? nVariable::Int
                                     : d->type == 'f' ? nVariable::Float
                                     : d->type == 'v' || d->type == 'q' ? nVariable::Vector4
                                                                         : nVariable::String;
        if (v.GetType() != want) {
            why = at + " is of another type than play gives it";
            return false;
        }
        bool ok = true;
        if (d->type != 's') {
            ok = InRange(*d, v);
            // Earlier play's floats, places and turns; its counts and flags stay as they are.
            if (reading_ == Reading::Kind && d->type != 'i' && (!ok || d->room > 0.0f)) {
                ok = ReadKindly(*d, v, at);
            }
        } else {
            const std::string text = v.GetS() ? v.GetS() : "";
            ok = false;
            for (const std::string& kind : d->texts) ok = ok || Names(kind, text, obj);
            const std::string own =
                !ok && reading_ == Reading::Kind && Contains(d->texts, "@own") ? OwnByPath(text, obj) : "";
            if (!own.empty()) {
                // Earlier play named the store's own item by its object's whole path.
                Note("nbwSaveDeclaration: %s is '%s', the whole path of its own '%s'; read as '%s'\n",
                         at.c_str(), text.c_str(), own.c_str(), own.c_str());
                v.SetS(own.c_str());
                ok = true;
            }
            if (!ok && Contains(d->texts, "@noaction")) {
                // An older game wrote the action that ran as text to run: never run now, the
                // actor starts idle.
                if (!actionLogged_) {
                    Note("nbwSaveDeclaration: the action of the store '%s' is text of an older game; the actor "
                             "starts idle\n",
                             NameOf(obj));
                }
                actionLogged_ = true;
                v.SetS(nbwActor::NoActionText);
                ok = true;
            }
        }
        if (!ok) {
            why = at + " lies outside what play gives it";
            return false;
        }
        if (d->room > 0.0f) {
            // A body read later keeps clear of this one.
            water_.AddBody(vector3(v.GetV4()[0], v.GetV4()[1], v.GetV4()[2]));
        }
    }
    // A store that lost a line of its writer's would load that value from the prototype.
    for (const Value& d : p.values) {
        if (d.required && !store->GetVar(d.name.c_str())) {
            why = "the store '" + std::string(NameOf(obj)) + "' holds no '" + d.name + "', which every save of '" +
                  p.name + "' holds";
            return false;
        }
    }
    nRoot* proto = camp && prototypes_ ? prototypes_->FindChild(p.name.c_str()) : nullptr;
    if (!proto || !proto->IsA("nlogicnode")) {
        for (const std::string& name : fixed) store->RemoveVar(name.c_str());
        return true;
    }
    // No build makes a store in the camp whole again: it holds what play never changes as
    // the prototype has it, so that every later save holds the whole thing.
    auto* made = static_cast<nPersistLogic*>(nKernelServer::ks->NewUnnamed("npersistlogic"));
    static_cast<nLogicNode*>(proto)->StoreToPersist(made);
    for (const Value& d : p.values) {
        if (d.type != 0) continue;
        // Removed first: the save's value may be of another type than the prototype's.
        store->RemoveVar(d.name.c_str());
        if (const nVariable* v = made->GetVar(d.name.c_str())) store->SetVar(d.name.c_str(), *v);
    }
    made->Release();
    return true;
}

bool nbwSaveDeclaration::InRange(const Value& d, const nVariable& v) const {
    if (d.type == 'i') return v.GetI() >= d.lo && v.GetI() <= d.hi;
    if (d.type == 'f') return std::isfinite(v.GetF()) && v.GetF() >= d.lo && v.GetF() <= d.hi;
    const float* c = v.GetV4();
    double square = 0.0;
    for (int i = 0; i < 4; i++) {
        if (!std::isfinite(c[i]) || c[i] < d.lo || c[i] > d.hi) return false;
        square += double(c[i]) * c[i];
    }
    // Play turns by unit rotations; another length scales or collapses what it turns.
    if (d.type == 'q' && std::fabs(square - 1.0) > 0.01) return false;
    // The written text of a float reads back within a few units of its last place.
    constexpr float slack = 1e-4f;
    for (int i = 0; i < 3 && d.boxed; i++) {
        if (c[i] < d.boxLo[i] - slack || c[i] > d.boxHi[i] + slack) return false;
    }
    return true;
}

bool nbwSaveDeclaration::ReadKindly(const Value& d, nVariable& v, const std::string& at) {
    if (d.type == 'f') {
        const float f = v.GetF();
        if (!std::isfinite(f)) return false;
        v.SetF(std::clamp(f, d.lo, d.hi));
        Note("nbwSaveDeclaration: %s is %g, outside what play gives it; read as %g\n", at.c_str(), f, v.GetF());
        return true;
    }
    const float in[4] = {v.GetV4()[0], v.GetV4()[1], v.GetV4()[2], v.GetV4()[3]};
    float c[4] = {in[0], in[1], in[2], in[3]};
    double square = 0.0;
    for (float x : c) {
        if (!std::isfinite(x)) return false;
        square += double(x) * x;
    }
    std::string what;
    if (d.type == 'q') {
        if (square == 0.0) return false;
        const double len = std::sqrt(square);
        for (float& x : c) x = float(x / len);
        if (std::fabs(square - 1.0) > 0.01) what = "a turn of length " + std::to_string(len);
    }
    // The nearest end of the range, and of the box: the map's place and turn for what play
    // never moves, about its hinge only for a door.
    float lo[4], hi[4];
    bool clamped = false;
    for (int i = 0; i < 4; i++) {
        lo[i] = d.boxed && i < 3 ? std::max(d.lo, d.boxLo[i]) : d.lo;
        hi[i] = d.boxed && i < 3 ? std::min(d.hi, d.boxHi[i]) : d.hi;
        const float x = std::clamp(c[i], lo[i], hi[i]);
        clamped = clamped || x != c[i];
        c[i] = x;
    }
    if (clamped) what += std::string(what.empty() ? "" : ", ") + "outside what play gives it";
    if (d.type == 'q' && clamped) {
        double sq = 0.0;
        for (float x : c) sq += double(x) * x;
        if (sq == 0.0) {
            // Nothing of the turn lies about the axes it may turn: the map's, unturned.
            c[0] = c[1] = c[2] = 0.0f;
            c[3] = 1.0f;
        } else {
            for (float& x : c) x = float(x / std::sqrt(sq));
        }
    }
    const std::string lies = d.room > 0.0f ? water_.Lies(vector3(c[0], c[1], c[2]), d.room) : std::string();
    if (!lies.empty()) {
        vector3 free;
        if (!water_.NearestFree(vector3(c[0], c[1], c[2]), d.room, lo, hi, free)) return false;
        c[0] = free.x;
        c[1] = free.y;
        c[2] = free.z;
        what += std::string(what.empty() ? "" : ", ") + lies;
    }
    if (what.empty()) return InRange(d, v);
    v.SetV4(c);
    Note("nbwSaveDeclaration: %s is (%g, %g, %g, %g), %s; read as (%g, %g, %g, %g)\n", at.c_str(), in[0], in[1],
             in[2], in[3], what.c_str(), c[0], c[1], c[2], c[3]);
    return InRange(d, v);
}

std::string nbwSaveDeclaration::OwnByPath(const std::string& text, nRoot* store) const {
    if (!levelStore_ || store->GetParent() != levelStore_) return {};
    const std::string prefix = "/usr/logic/" + level_ + "/" + NameOf(store) + "/";
    if (text.size() <= prefix.size() || text.compare(0, prefix.size(), prefix) != 0) return {};
    const std::string own = text.substr(prefix.size());
    return Names("@own", own, store) ? own : std::string();
}

bool nbwSaveDeclaration::Names(const std::string& kind, const std::string& text, nRoot* store) const {
    if (kind[0] != '@') return kind == text;
    if (kind == "@empty") return text.empty();
    if (kind == "@noaction") return text == nbwActor::NoActionText;
    if (kind == "@child") return ChildStore(store, text) != nullptr;
    if (kind == "@own") {
        const size_t slash = text.find('/');
        if (slash == std::string::npos) return false;
        nRoot* a = ChildStore(store, text.substr(0, slash));
        return a && ChildStore(a, text.substr(slash + 1)) != nullptr;
    }
    if (kind.rfind("@level", 0) == 0 && levelStore_) {
        // By name, or by the full path of the object the level built from it.
        const std::string prefix = "/usr/logic/" + level_ + "/";
        const std::string name = text.rfind(prefix, 0) == 0 ? text.substr(prefix.size()) : text;
        nRoot* s = name.find('/') == std::string::npos ? ChildStore(levelStore_, name) : nullptr;
        if (!s) return false;
        if (kind.size() == 6) return true;
        return kind[6] == ':' && PrototypeText(s) == kind.substr(7);
    }
    return false;
}
