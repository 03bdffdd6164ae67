#include "game/nbwContainer.h"

#include <cmath>
#include <cstring>

#include "game/nbwActor.h"
#include "kernel/nClass.h"
#include "kernel/nCmdProto.h"
#include "kernel/nKernelServer.h"
#include "logic/nPersistLogic.h"

static const nCmdDef<nbwContainer> cmds[] = {
    Bind<&nbwContainer::PackInPath>("v_packin_s", "CPIN"),
    Bind<&nbwContainer::PackOutPaths>("v_packout_ss", "CPOU"),
    Bind<&nbwContainer::CanHoldPath>("b_canhold_s", "CHOL"),
};
const nClassInfo nbwContainer::classInfo = nClassInfo::Make<nbwContainer>("nbwcontainer", "nbwitem", cmds);

namespace {

// Rounding of the running sums is no mismatch.
constexpr float kWeightTolerance = 0.0001f;

// True when `obj` is `top` or lies below it.
bool Within(const nRoot* obj, const nRoot* top) {
    for (const nRoot* o = obj; o; o = o->GetParent()) {
        if (o == top) return true;
    }
    return false;
}

// True when `container` counts `item` already: it holds the item or encloses the
// container that does.
bool Counts(const nRoot* container, const nRoot* item) {
    for (nbwContainer* c = nbwContainer::AsContainer(item->GetParent()); c;
         c = nbwContainer::AsContainer(c->GetParent())) {
        if (c == container) return true;
    }
    return false;
}

std::string PathOf(const nRoot* obj) {
    return obj ? obj->GetFullName() : std::string("(none)");
}

// The item's store and the store of its new parent, both resolved, and neither tree
// asked to take an object below itself. Logs with `op` and gives false otherwise.
bool MayMove(nbwItem* item, nLogicNode* target, nPersistLogic*& itemStore, nPersistLogic*& targetStore,
             const char* op) {
    if (Within(target, item)) {
        n_error("%s: %s: '%s' cannot go below itself\n", PathOf(target).c_str(), op, PathOf(item).c_str());
        return false;
    }
    itemStore = item->GetPersist();
    targetStore = target->GetPersist();
    if (!itemStore || !targetStore) {
        n_error("%s: %s: '%s' has no persistent store\n", PathOf(target).c_str(), op,
                PathOf(itemStore ? static_cast<nRoot*>(target) : item).c_str());
        return false;
    }
    if (Within(targetStore, itemStore)) {
        n_error("%s: %s: the store '%s' cannot go below itself\n", PathOf(target).c_str(), op,
                PathOf(itemStore).c_str());
        return false;
    }
    // The game's next save must still load.
    if (!nPersist::FitsBelow(itemStore, targetStore)) {
        n_error("%s: %s: the store '%s' would lie more than %d levels deep in a save\n", PathOf(target).c_str(), op,
                PathOf(itemStore).c_str(), nPersist::MaxSaveDepth);
        return false;
    }
    return true;
}

// Both trees move together; the item is stored before and restored after, so what it
// holds in its store follows it.
void MoveWithStore(nbwItem* item, nPersistLogic* itemStore, nRoot* target, nPersistLogic* targetStore) {
    item->StoreToPersist(itemStore);
    target->AddTail(item);
    targetStore->AddTail(itemStore);
    item->RestoreFromPersist(itemStore);
}

}  // namespace

nbwContainer::nbwContainer() {
    DefineVar(UsedWeight, "usedweight", 0.0f);
    DefineVar(UsedVolume, "usedvolume", 0.0f);
    DefineVar(MaxCapacity, "maxcapacity", 0.0f);
}

nbwContainer* nbwContainer::AsContainer(nRoot* obj) {
    return obj && obj->IsA(classInfo.name) ? static_cast<nbwContainer*>(obj) : nullptr;
}

nbwItem* nbwContainer::AsItem(nRoot* obj) {
    return obj && obj->IsA(nbwItem::classInfo.name) ? static_cast<nbwItem*>(obj) : nullptr;
}

nbwItem* nbwContainer::HeldItem(nRoot* holder, const char* name) {
    if (!holder || !name || !*name || std::strpbrk(name, "/\\:") || !std::strcmp(name, ".") || !std::strcmp(name, "..")) {
        return nullptr;
    }
    return AsItem(holder->FindChild(name));
}

// -- the totals -----------------------------------------------------------------------

float nbwContainer::GetFloat(int index) {
    if (index == Weight) return nbwItem::GetFloat(Weight) + Used(UsedWeight);
    return nbwItem::GetFloat(index);
}

float nbwContainer::GetChildrenWeight() {
    float sum = 0.0f;
    for (nRoot* c = GetHead(); c; c = c->GetSucc()) {
        if (nbwItem* item = AsItem(c)) sum += item->GetFloat(Weight);
    }
    return sum;
}

void nbwContainer::SetFloat(int index, float value) {
    if (index != UsedWeight) {
        nbwItem::SetFloat(index, value);
        return;
    }
    bool holdsItems = false;
    for (nRoot* c = GetHead(); c && !holdsItems; c = c->GetSucc()) holdsItems = AsItem(c) != nullptr;
    if (!holdsItems) {
        SetUsed(UsedWeight, value);
        return;
    }
    const float sum = GetChildrenWeight();
    if (!(std::fabs(value - sum) <= kWeightTolerance)) {
        n_error("%s: Error usedweight is : %g but the total weight of all items is : %g\n", GetFullName().c_str(),
                double(value), double(sum));
    }
    SetUsed(UsedWeight, sum);
}

void nbwContainer::SetUsed(int index, float value) {
    if (nVariable* v = Entry(index, "SetUsed")) v->SetF(value);
}

void nbwContainer::Carry(float volume, float weight) {
    // A total stops at empty: one that a save left low never goes below it.
    SetUsed(UsedVolume, std::max(0.0f, Used(UsedVolume) + volume));
    for (nbwContainer* c = this; c; c = AsContainer(c->GetParent())) {
        c->SetUsed(UsedWeight, std::max(0.0f, c->Used(UsedWeight) + weight));
    }
}

bool nbwContainer::CanHold(nbwContainer* container, nbwItem* item) {
    if (!container || !item) return false;
    if (container->GetFloat(Volume) < item->GetFloat(Volume) + container->Used(UsedVolume)) return false;
    const float weight = item->GetFloat(Weight);
    for (nbwContainer* c = container; c; c = AsContainer(c->GetParent())) {
        const float added = Counts(c, item) ? 0.0f : weight;
        if (c->GetFloat(MaxCapacity) < added + c->Used(UsedWeight)) return false;
    }
    return true;
}

// -- moving items ---------------------------------------------------------------------

bool nbwContainer::PackIn(nbwItem* item) {
    if (!item) {
        n_error("%s: PackIn: no item\n", GetFullName().c_str());
        return false;
    }
    if (item->GetParent() == this) {
        n_error("%s: PackIn: '%s' is inside already\n", GetFullName().c_str(), PathOf(item).c_str());
        return false;
    }
    nPersistLogic* itemStore = nullptr;
    nPersistLogic* ownStore = nullptr;
    if (!MayMove(item, this, itemStore, ownStore, "PackIn")) return false;
    if (!CanHold(this, item)) return false;
    const float volume = item->GetFloat(Volume);
    const float weight = item->GetFloat(Weight);
    if (nbwContainer* former = AsContainer(item->GetParent())) {
        former->Carry(-volume, -weight);
        LetGo(former, item);
    }
    MoveWithStore(item, itemStore, this, ownStore);
    Carry(volume, weight);
    return true;
}

bool nbwContainer::PackOut(nbwItem* item, nRoot* target) {
    if (!item || !target) {
        n_error("%s: PackOut: no %s\n", GetFullName().c_str(), item ? "target" : "item");
        return false;
    }
    if (item->GetParent() != this) {
        n_error("%s: PackOut: '%s' is not inside\n", GetFullName().c_str(), PathOf(item).c_str());
        return false;
    }
    if (nbwContainer* other = AsContainer(target)) return other->PackIn(item);
    if (!target->IsA(nLogicNode::classInfo.name)) {
        n_error("%s: PackOut: '%s' is no logic node and keeps no store\n", GetFullName().c_str(),
                PathOf(target).c_str());
        return false;
    }
    nPersistLogic* itemStore = nullptr;
    nPersistLogic* targetStore = nullptr;
    if (!MayMove(item, static_cast<nLogicNode*>(target), itemStore, targetStore, "PackOut")) return false;
    Carry(-item->GetFloat(Volume), -item->GetFloat(Weight));
    LetGo(this, item);
    MoveWithStore(item, itemStore, target, targetStore);
    return true;
}

void nbwContainer::LetGo(nbwContainer* holder, nbwItem* item) {
    nRoot* parent = holder->GetParent();
    if (!parent || !parent->IsA(nbwActor::classInfo.name)) return;
    auto* actor = static_cast<nbwActor*>(parent);
    const int hand = nbwActor::NameIndex(actor->GetPathNames(), "hand");
    if (hand < 0 || actor->GetPath(hand) != item) return;
    nRoot* bare = holder->FindChild("hand");
    const std::string path = bare && bare != item ? std::string(holder->GetName()) + "/hand" : "none";
    actor->SetPath(hand, path.c_str());
}

bool nbwContainer::Consume(nRoot* holder, nbwItem* item) {
    if (!item || !holder || item->GetParent() != holder) {
        n_error("%s: Consume: '%s' is not inside\n", PathOf(holder).c_str(), PathOf(item).c_str());
        return false;
    }
    nPersistLogic* store = item->GetPersist();
    if (!store) {
        n_error("%s: Consume: '%s' has no persistent store\n", PathOf(holder).c_str(), PathOf(item).c_str());
        return false;
    }
    item->SetActive(false);
    if (nbwContainer* container = AsContainer(holder)) {
        container->Carry(-item->GetFloat(Volume), -item->GetFloat(Weight));
        nRoot* hand = holder->FindChild("hand");
        nRoot* actor = holder->GetParent();
        if (hand && actor && actor->IsA("nbwactor")) {
            // Through the actor's command table: the actor's own operation, by name.
            nCmdProto* setPath = actor->GetClass()->FindCmdByName("setpath");
            if (!setPath || std::strcmp(setPath->GetProtoText(), "v_setpath_ss") != 0 ||
                !actor->Call(setPath->GetId(), nullptr, "hand", (std::string(holder->GetName()) + "/hand").c_str())) {
                n_error("%s: Consume: the actor '%s' takes no hand path\n", PathOf(holder).c_str(),
                        PathOf(actor).c_str());
            }
        }
    } else {
        n_error("%s: Consume: no container: '%s' is used up without totals\n", PathOf(holder).c_str(),
                PathOf(item).c_str());
    }
    store->Release();
    item->DeferRelease();
    return true;
}

// -- script commands ------------------------------------------------------------------

nbwItem* nbwContainer::FindItem(const char* path, const char* op) {
    nRoot* obj = nKernelServer::ks->Lookup(path);
    nbwItem* item = AsItem(obj);
    if (!item) {
        n_error("%s: %s: '%s' names %s\n", GetFullName().c_str(), op, path ? path : "", obj ? "no item" : "nothing");
    }
    return item;
}

void nbwContainer::PackInPath(const char* path) {
    if (nbwItem* item = FindItem(path, "v_packin_s")) PackIn(item);
}

void nbwContainer::PackOutPaths(const char* itemPath, const char* targetPath) {
    nbwItem* item = FindItem(itemPath, "v_packout_ss");
    if (!item) return;
    nRoot* target = nKernelServer::ks->Lookup(targetPath);
    if (!target) {
        n_error("%s: v_packout_ss: '%s' names nothing\n", GetFullName().c_str(), targetPath ? targetPath : "");
        return;
    }
    PackOut(item, target);
}

bool nbwContainer::CanHoldPath(const char* path) {
    nKernelServer::ks->PushCwd(this);
    nbwItem* item = FindItem(path, "b_canhold_s");
    nKernelServer::ks->PopCwd();
    return item && CanHold(this, item);
}
