#include "logic/nLogicNode.h"

#include <cstring>
#include <optional>
#include <vector>
#include <typeinfo>

#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "kernel/nRef.h"
#include "kernel/nScriptServer.h"
#include "logic/nLogicEventHandler.h"
#include "logic/nLogicEventServer.h"
#include "logic/nLogicGraph.h"
#include "logic/nModAnimatorState.h"
#include "logic/nModule.h"
#include "logic/nModuleState.h"
#include "logic/nPersistLogic.h"
#include "logic/nScriptEvent.h"
#include "scene/nChannelServer.h"

static const nCmdDef<nLogicNode> cmds[] = {
    Bind<&nLogicNode::SetActive>("v_setactive_b", "LSAC"),
    Bind<&nLogicNode::GetActive>("b_getactive_v", "LGAC"),
    Bind<&nLogicNode::SetPersistence>("v_setpersistence_b", "LSPR"),
    Bind<&nLogicNode::GetPersistence>("b_getpersistence_v", "LGPR"),
    Bind<&nLogicNode::SetTime>("v_settime_f", "LSTI"),
    Bind<&nLogicNode::GetTime>("f_gettime_v", "LGTI"),
    Bind<&nLogicNode::SetPersist>("v_setpersist_s", "LSPS"),
    Bind<&nLogicNode::GetPersistPath>("s_getpersist_v", "LGPS"),
    Bind<&nLogicNode::SaveLogicOwnName>("b_savelogic_v", "LSLO"),
    Bind<&nLogicNode::SaveLogic>("b_savelogicas_s", "LSLA"),
    Bind<&nLogicNode::SetEventScript>("v_seteventscript_ss", "LSES"),
    Bind<&nLogicNode::AddEventFunction>("v_addeventfunction_ss", "LAEF"),
    Bind<&nLogicNode::RemoveEventFunction>("v_removeeventfunction_ss", "LREF"),
    Bind<&nLogicNode::GetEvents>("s_getevents_v", "LGES"),
    {"v_addtimer_ssffs", "LADT", [](nLogicNode* self, nCmd* c) {
         const char* name = c->In()->GetS();
         const char* repeat = c->In()->GetS();
         float time = c->In()->GetF();
         float period = c->In()->GetF();
         self->AddTimer(name, repeat, time, period, c->In()->GetS());
     }},
    {"v_deletetimer_s", "LDTI", [](nLogicNode* self, nCmd* c) { self->DeleteTimer(c->In()->GetS()); }},
    Bind<&nLogicNode::DeleteTimers>("v_deletetimers_v", "LDTS"),
    Bind<&nLogicNode::SetHandlerActive>("v_sethandleractive_ssb", "LSHA"),
    Bind<&nLogicNode::GetHandlerActive>("b_gethandleractive_ss", "LGHA"),
    Bind<&nLogicNode::AddModuleByName>("v_addmodule_sss", "LAMO"),
    Bind<&nLogicNode::RemoveModuleByName>("v_removemodule_sss", "LRMO"),
    Bind<&nLogicNode::AddAnimator>("v_addanimator_ss", "LAAN"),
    Bind<&nLogicNode::RemoveAnimator>("v_removeanimator_ss", "LRAN"),
    Bind<&nLogicNode::SetAnimator>("v_setanimator_sff", "LSAN"),
    Bind<&nLogicNode::SetAnimatorLength>("v_setanimatorlenght_sf", "LSAL"),
};
const nClassInfo nLogicNode::classInfo = nClassInfo::Make<nLogicNode>("nlogicnode", "nroot", cmds);

nLogicNode::nLogicNode() {
    nKernelServer* ks = nKernelServer::ks;
    logicNodeClass_ = ks ? ks->FindClass("nlogicnode") : nullptr;
    persistLogicClass_ = ks ? ks->FindClass("npersistlogic") : nullptr;
    persistRef_.SetCwd(this);
}

nLogicNode::~nLogicNode() {
    for (AliveMark* m = marks_; m; m = m->outer_) m->alive_ = false;
    marks_ = nullptr;
    if (cachedBy_) cachedBy_->ForgetCachedChild(this);
    DropChildCache();
    // Handlers first: each clears its queued firings, so none fires for a dead node.
    for (nLogicEventHandler* h : handlers_) delete h;
    handlers_.Clear();
    pendingEvents_.Clear();
    hasPendingEvents_ = false;
    for (nScriptEvent* e : events_) delete e;
    events_.Clear();
    for (int i = 0; i < timerWalk_.Size(); i++) timerWalk_[i] = nullptr;
    for (int i = 0; i < timers_.Size(); i++) FreeTimer(timers_[i]);
    timers_.Clear();
    SyncTimerClocks();
    inputLink_.Remove();
    while (inputList_.RemHead()) {
    }
    for (nModuleState* st : moduleStates_) delete st;
    moduleStates_.Clear();
}

bool nLogicNode::Release() {
    if (nPersistLogic* store = GetPersist()) {
        // The hook may run scripts of a subclass; keep this object through them.
        nRef<nRoot> alive(this);
        StoreToPersist(store);
        if (!alive.IsValid()) return true;
    }
    return nRoot::Release();
}

void nLogicNode::RestoreFromPersist(nPersistLogic* store) {
    if (store) store->SetOwner(GetFullName().c_str());
}

void nLogicNode::StoreToPersist(nPersistLogic*) {}

// -- per frame ---------------------------------------------------------------------

float nLogicNode::FrameTime() {
    nChannelServer* channels = channelRef_.Get();
    if (channels != frameTimeServer_ || frameTimeChannel_ < 0) {
        frameTimeServer_ = channels;
        frameTimeChannel_ = channels->GenChannel("frametime");
        if (frameTimeChannel_ < 0) return 0.0f;
    }
    return channels->GetChannel1f(frameTimeChannel_);
}

void nLogicNode::Setup() {
    nChannelServer* channels = channelRef_.Get();
    frameTimeServer_ = channels;
    frameTimeChannel_ = channels->GenChannel("frametime");
    nRef<nRoot> cur(GetHead());
    while (nRoot* c = cur.GetUnsafe()) {
        if (IsLogicNode(c) && static_cast<nLogicNode*>(c)->active_) static_cast<nLogicNode*>(c)->Setup();
        cur = c->GetSucc();
    }
}

bool nLogicNode::Trigger(nLogicGraph* graph) {
    nRoot* first = GetHead();
    if (!first) return true;
    nScriptServer* script = scriptRef_.Get();
    float frameTime = FrameTime();
    // Scripts run below may release this node, the child, its siblings or an ancestor:
    // the marks tell what is left, and the walk goes on with that.
    AliveMark self(this);
    if (!walkingCache_ && (CacheCurrent() || CacheChildren())) TriggerCached(graph, script, frameTime, self);
    else TriggerFrom(first, graph, script, frameTime, self);
    return true;
}

// How many children ahead the cached walks ask for a child's lines: far enough that they
// arrive from the outer caches before the walk reaches the child.
static constexpr int PrefetchAhead = 8;

// Always inlined: GCC takes a function that only prefetches for one without effects and
// drops every call to it.
template <int ForWrite>
[[gnu::always_inline]] inline void nLogicNode::PrefetchCachedChild(int i) const {
    // The children lie far apart: ask early for the two lines a walk reads of one (its
    // class and children, and its per-frame block).
    if (i < childCache_.Size()) {
        // A nulled entry asks for lines near 0, which costs nothing: prefetches never
        // fault. The block's place in a child is where it is in this node.
        auto ahead = reinterpret_cast<uintptr_t>(childCache_[i]);
        auto block = reinterpret_cast<uintptr_t>(&marks_) - reinterpret_cast<uintptr_t>(this);
        __builtin_prefetch(reinterpret_cast<const void*>(ahead));
        __builtin_prefetch(reinterpret_cast<const void*>(ahead + block), ForWrite);
    }
}

void nLogicNode::TriggerCached(nLogicGraph* graph, nScriptServer* script, float frameTime, const AliveMark& self) {
    walkingCache_ = true;
    // The copy matches the list while the list's version stays; only then does the walk
    // skip the children's links.
    const uint32_t version = GetChildrenVersion();
    const int count = childCache_.Size();
    int i = 0;
    for (;;) {
        // Most children have nothing but clocks to count and no children, and their Trigger
        // is this class's own: ServeChild's work inline, and no call. No script runs in this
        // run, so nothing can change under it. It stops at the first child that needs more:
        // `due` is -1 when ServeChild must serve it, below its timers' count when a timer
        // came due (the clocks counted up to it), and the count when only its Trigger is
        // left (its clocks counted).
        nLogicNode* child = nullptr;
        int due = -1;
        for (; i < count; i++) {
            child = childCache_[i];
            PrefetchCachedChild<1>(i + PrefetchAhead);
            if (!child->active_) continue;
            if (!child->inputList_.IsEmpty() || child->hasPendingEvents_ || child->walkingTimers_) {
                due = -1;
                break;
            }
            due = child->CountTimers(frameTime);
            if (due != child->numTimers_) break;
            child->time_ += frameTime;
            if (!child->plainTrigger_ || child->GetHead()) break;
        }
        if (i == count) break;
        bool lives = true;
        if (due < 0) {
            AliveMark childAlive(child);
            lives = ServeChild(child, childAlive, script, frameTime);
        } else if (due != child->numTimers_) {
            // A mark only now that a script is due.
            AliveMark childAlive(child);
            lives = child->RunDueTimers(childAlive, script, frameTime, due);
            if (lives) child->time_ += frameTime;
        }
        // The child's own walk needs no mark here: should it die, its entry is nulled.
        if (lives) child->Trigger(graph);
        if (!self.Alive()) return;
        if (GetChildrenVersion() == version && childCacheValid_) {
            i++;
            continue;
        }
        // The list changed meanwhile: where the walk goes on, as the walk along the list
        // decides it. An entry nulled meanwhile died or belongs to another parent now.
        nRoot* after;
        if (childCache_[i] && child->GetParent() == this) after = child->GetSucc();
        // Entries are only ever nulled during the walk, so a live next entry is the next child.
        else if (i + 1 < count && childCache_[i + 1] && childCache_[i + 1]->GetParent() == this)
            after = childCache_[i + 1];
        else after = nullptr;
        walkingCache_ = false;
        childCacheValid_ = false;
        if (after) TriggerFrom(after, graph, script, frameTime, self);
        return;
    }
    walkingCache_ = false;
}

void nLogicNode::TriggerFrom(nRoot* c, nLogicGraph* graph, nScriptServer* script, float frameTime,
                             const AliveMark& self) {
    while (c) {
        nRoot* next = c->GetSucc();
        if (!IsLogicNode(c) || !static_cast<nLogicNode*>(c)->active_) {
            c = next;
            continue;
        }
        auto* child = static_cast<nLogicNode*>(c);
        AliveMark childAlive(child);
        // The successor as it was, should the child leave the list; a sibling that is no
        // logic node cannot carry a mark and takes a reference instead.
        std::optional<AliveMark> nextMark;
        std::optional<nRef<nRoot>> nextRef;
        if (next && IsLogicNode(next)) nextMark.emplace(static_cast<nLogicNode*>(next));
        else if (next) nextRef.emplace(next);
        if (ServeChild(child, childAlive, script, frameTime)) child->Trigger(graph);
        if (!self.Alive()) return;
        bool nextLives = nextMark ? nextMark->Alive() : nextRef && nextRef->IsValid();
        if (childAlive.Alive() && child->GetParent() == this) c = child->GetSucc();
        else if (nextLives && next->GetParent() == this) c = next;
        else c = nullptr;
    }
}

bool nLogicNode::CacheChildren() {
    nRoot* head = GetHead();
    if (CacheCurrent()) return true;
    DropChildCache();
    if (cacheRetry_ > 0) {
        cacheRetry_--;
        return false;
    }
    childCache_.Reserve(GetNumChildren());
    childActive_.Reserve(GetNumChildren());
    for (nRoot* c = head; c; c = c->GetSucc()) {
        if (!IsLogicNode(c)) {
            DropChildCache();
            cacheRetry_ = 63;
            return false;
        }
        auto* child = static_cast<nLogicNode*>(c);
        child->plainTrigger_ = typeid(*child) == typeid(nLogicNode);
        if (child->cachedBy_) child->cachedBy_->ForgetCachedChild(child);
        child->cachedBy_ = this;
        child->cacheIndex_ = childCache_.Size();
        childCache_.Append(child);
        childActive_.Append(child->active_);
    }
    childCacheValid_ = childCache_.Size() > 0;
    cacheVersion_ = GetChildrenVersion();
    return childCacheValid_;
}

void nLogicNode::DropChildCache() {
    for (nLogicNode* c : childCache_) {
        if (c) c->cachedBy_ = nullptr;
    }
    childCache_.Clear();
    childActive_.Clear();
    childCacheValid_ = false;
}

void nLogicNode::ForgetCachedChild(nLogicNode* child) {
    int i = child->cacheIndex_;
    if (i >= 0 && i < childCache_.Size() && childCache_[i] == child) childCache_[i] = nullptr;
    child->cachedBy_ = nullptr;
    childCacheValid_ = false;
}

bool nLogicNode::ServeChild(nLogicNode* child, const AliveMark& alive, nScriptServer* script, float frameTime) {
    // 1. input nodes
    if (nNode* n = child->inputList_.GetHead()) {
        nRef<nRoot> input;
        while (n) {
            auto* in = static_cast<nLogicNode*>(n->GetPtr());
            input = in;
            in->HandleInput();
            if (!alive.Alive()) return false;
            // An input node that left the list ends the walk: its neighbours are unknown.
            if (!input.IsValid() || !in->inputLink_.IsLinked()) break;
            n = n->GetSucc();
        }
    }
    // 2. raised events, each with the arguments it was raised with; those raised while
    // these fire wait for the next frame
    if (int raised = child->pendingEvents_.Size()) {
        for (int i = 0; i < raised && i < child->pendingEvents_.Size(); i++) {
            const PendingEvent p = child->pendingEvents_[i];
            for (int k = 0; k < p.numArgs; k++) p.event->GetArg(k) = child->pendingArgs_[p.firstArg + k];
            p.event->Fire(script);
            if (!alive.Alive()) return false;
        }
        child->DropPendingEvents(raised);
    }
    // 3. timers
    if (!child->RunTimers(alive, script, frameTime)) return false;
    // 4. clock
    child->time_ += frameTime;
    return true;
}

inline int nLogicNode::CountTimers(float frameTime) {
    // Until a script is due nothing can change the list: count on it directly, the first
    // two timers on the clocks the node keeps at hand and without a loop (most nodes have
    // no more; the loop's branches cost a walk over many nodes a tenth of its time).
    const int count = numTimers_;
    if (leadInSlots_) {
        // Both slots are counted without asking how many timers there are: a free slot
        // never comes due.
        slotClocks_[0].time += frameTime;
        if (slotClocks_[0].time >= slotClocks_[0].period) return 0;
        slotClocks_[1].time += frameTime;
        if (slotClocks_[1].time >= slotClocks_[1].period) return 1;
        if (count <= 2) return count;
    } else {
        if (count == 0) return 0;
        nLogicTimer::Clock& c0 = *leadClock_[0];
        c0.time += frameTime;
        if (c0.time >= c0.period) return 0;
        if (count == 1) return 1;
        nLogicTimer::Clock& c1 = *leadClock_[1];
        c1.time += frameTime;
        if (c1.time >= c1.period) return 1;
    }
    for (int first = 2; first < count; first++) {
        nLogicTimer::Clock& c = timers_[first]->GetClock();
        c.time += frameTime;
        if (c.time >= c.period) return first;
    }
    return count;
}

bool nLogicNode::RunTimers(const AliveMark& alive, nScriptServer* script, float frameTime) {
    // A nested walk (a timer script triggering by hand) leaves the timers to the outer one.
    if (walkingTimers_) return true;
    int first = CountTimers(frameTime);
    return first == numTimers_ || RunDueTimers(alive, script, frameTime, first);
}

bool nLogicNode::RunDueTimers(const AliveMark& alive, nScriptServer* script, float frameTime, int first) {
    int count = timers_.Size();
    // The timers from the first due one on, as they are before its script runs: one added
    // meanwhile waits for the next frame, one deleted meanwhile is nulled in this list.
    timerWalk_.Clear();
    for (int i = first; i < count; i++) timerWalk_.Append(timers_[i]);
    walkingTimers_ = true;
    for (int i = 0; i < timerWalk_.Size(); i++) {
        nLogicTimer* t = timerWalk_[i];
        if (!t) continue;
        if (i > 0) {
            t->time += frameTime;
            if (t->time < t->period) continue;
        }
        // Data's share of this frame is spent: the timer stays due for the next.
        if (t->origin == nScriptServer::Origin::Data && script->TimerWaits(t->lastRan)) continue;
        t->lastRan = script->DataFrame();
        const char* result = nullptr;
        bool overran = false;
        if (!script->RunStored(t->script.Get(), t->origin, result)) {
            // An overrun is told once, when the timer is stopped; the server logged its cause.
            overran = script->LastRunPassedFrame();
            if (!overran) n_error("%s: script of timer '%s' failed\n", GetFullName().c_str(), t->GetName());
        }
        if (!alive.Alive()) return false;
        t = timerWalk_[i];
        if (!t) continue;
        t->overruns = overran ? t->overruns + 1 : 0;
        if (t->overruns >= MaxTimerOverruns) {
            n_error("%s: timer '%s' stopped: its script took a whole frame's share of data's time %d times in a "
                    "row\n", GetFullName().c_str(), t->GetName(), MaxTimerOverruns);
            DeleteTimer(t);
            continue;
        }
        // A one-shot timer that re-armed itself below its period stays.
        if (t->repeat == nLogicTimer::OneShot && t->time >= t->period) DeleteTimer(t);
        else t->time = 0.0f;
    }
    walkingTimers_ = false;
    timerWalk_.Clear();
    return true;
}

void nLogicNode::TraverseChildren(nRoot* head, nLogicGraph* graph, const matrix44& parentMatrix) {
    // The traversal runs no scripts (it computes matrices and registers collide objects),
    // so the children are walked directly: this walk is the hottest of the frame.
    nRoot* c = head;
    if (!walkingCache_ && CacheChildren()) {
        walkingCache_ = true;
        // The copy is neither rebuilt nor moved while the walk runs (so it stays current
        // until the list changes), and a change to its entries ends the walk before it
        // reads another.
        nLogicNode* const* at = childCache_.begin();
        nLogicNode* const* const end = childCache_.end();
        nLogicNode* const* const lastAhead = end - at > PrefetchAhead ? end - PrefetchAhead : at;
        const bool* active = childActive_.begin();
        for (; at != end; at++, active++) {
            nLogicNode* child = *at;
            // A child's first line (its class and children) is all this walk reads of it.
            if (at < lastAhead) __builtin_prefetch(at[PrefetchAhead]);
            if (*active) child->Traverse(graph, parentMatrix);
            if (!CacheCurrent()) break;
        }
        walkingCache_ = false;
        if (at == end) return;
        // The list changed under a child's traversal: the rest along the list.
        childCacheValid_ = false;
        nLogicNode* child = *at;
        c = child && child->GetParent() == this ? child->GetSucc() : nullptr;
    }
    for (; c; c = c->GetSucc()) {
        if (IsLogicNode(c) && static_cast<nLogicNode*>(c)->active_) {
            static_cast<nLogicNode*>(c)->Traverse(graph, parentMatrix);
        }
    }
}

// -- module states -----------------------------------------------------------------

void nLogicNode::DeferRelease() {
    if (releaseQueued_) return;
    lgraphRef_.Get()->QueueRelease(this);
    releaseQueued_ = true;
}

nLogicGraph* nLogicNode::GetLogicGraph() {
    return lgraphRef_.Resolve();
}

void nLogicNode::NoteOverflow(int kind) {
    if (nLogicGraph* graph = GetLogicGraph()) graph->NoteOverflow(nLogicGraph::Overflow(kind));
    else n_error("%s: a per-frame table is full (%d)\n", GetFullName().c_str(), kind);
}

nModuleState* nLogicNode::FindModuleState(int stateType, const char* name) const {
    if (!name) return nullptr;
    for (nModuleState* st : moduleStates_) {
        if (st->GetStateType() == stateType && std::strcmp(st->GetName(), name) == 0) return st;
    }
    return nullptr;
}

nModuleState* nLogicNode::AddModuleState(nModuleState* state) {
    return moduleStates_.Append(state);
}

nModuleState* nLogicNode::CreateModuleState(int stateType, const char* name) {
    if (nModuleState* st = FindModuleState(stateType, name)) return st;
    if (stateType != nModuleState::Animation) nKernelServer::FatalError("Aborting!\n");
    return AddModuleState(new nModAnimatorState(name, this));
}

nModuleState* nLogicNode::GetModuleState(int stateType, const char* name) {
    nModuleState* st = FindModuleState(stateType, name);
    if (!st) {
        n_error("%s: no %s module state '%s'\n", GetFullName().c_str(),
                nModuleState::TypeName(stateType) ? nModuleState::TypeName(stateType) : "?", name ? name : "");
    }
    return st;
}

nModAnimatorState* nLogicNode::AnimatorState(const char* name) {
    return static_cast<nModAnimatorState*>(CreateModuleState(nModuleState::Animation, name ? name : ""));
}

void nLogicNode::AddModule(int stateType, const char* stateName, const char* moduleName) {
    nModuleState* st = stateType == nModuleState::Animation ? AnimatorState(stateName)
                                                            : GetModuleState(stateType, stateName);
    if (st) st->AddModule(moduleName);
}

void nLogicNode::RemoveModule(int stateType, const char* stateName, const char* moduleName) {
    if (nModuleState* st = GetModuleState(stateType, stateName)) st->RemoveModule(moduleName);
}

int nLogicNode::StateTypeOf(const char* typeName, const char* command) {
    int type = nModuleState::TypeFromName(typeName);
    if (!type) {
        n_error("%s: %s: unknown module state type '%s'\n", GetFullName().c_str(), command, typeName ? typeName : "");
    }
    return type;
}

bool nLogicNode::MakesModuleState(int stateType) const {
    return stateType == nModuleState::Animation;
}

void nLogicNode::SetHandlerActive(const char* typeName, const char* stateName, bool on) {
    int type = StateTypeOf(typeName, "v_sethandleractive");
    // States come and go with their modules: a saved node sets the ones it makes on load,
    // even when they had no module left (a named one; animator states take any name).
    nModuleState* st = nullptr;
    if (type == nModuleState::Animation) st = AnimatorState(stateName);
    else if (type && stateName && *stateName && MakesModuleState(type)) st = CreateModuleState(type, stateName);
    else if (type) st = GetModuleState(type, stateName);
    if (st) st->SetEnabled(on);
}

bool nLogicNode::GetHandlerActive(const char* typeName, const char* stateName) {
    int type = StateTypeOf(typeName, "b_gethandleractive");
    nModuleState* st = type ? GetModuleState(type, stateName) : nullptr;
    return st && st->GetEnabled();
}

void nLogicNode::AddModuleByName(const char* typeName, const char* stateName, const char* moduleName) {
    if (int type = StateTypeOf(typeName, "v_addmodule")) AddModule(type, stateName, moduleName);
}

void nLogicNode::RemoveModuleByName(const char* typeName, const char* stateName, const char* moduleName) {
    if (int type = StateTypeOf(typeName, "v_removemodule")) RemoveModule(type, stateName, moduleName);
}

void nLogicNode::SetAnimator(const char* stateName, float time, float length) {
    nModAnimatorState* st = AnimatorState(stateName);
    st->SetTime(time);
    st->SetLength(length);
}

void nLogicNode::SetAnimatorLength(const char* stateName, float length) {
    AnimatorState(stateName)->SetLength(length);
}

// -- events ------------------------------------------------------------------------

nScriptEvent* nLogicNode::DeclareEvent(const char* name, const char* argTypes) {
    if (nScriptEvent* e = FindEvent(name)) return e;
    return events_.Append(new nScriptEvent(name, argTypes ? argTypes : "v"));
}

nScriptEvent* nLogicNode::FindEvent(const char* name) const {
    if (!name) return nullptr;
    for (nScriptEvent* e : events_) {
        if (std::strcmp(e->GetName(), name) == 0) return e;
    }
    return nullptr;
}

void nLogicNode::AddPendingEvent(nScriptEvent* event) {
    if (!event) return;
    PendingEvent p;
    p.event = event;
    p.firstArg = numPendingArgs_;
    p.numArgs = event->GetNumArgs();
    for (int k = 0; k < p.numArgs; k++) pendingArgs_.At(numPendingArgs_++) = event->GetArg(k);
    pendingEvents_.Append(p);
    hasPendingEvents_ = true;
}

void nLogicNode::DropPendingEvents(int fired) {
    // The events raised meanwhile move to the front, their arguments with them.
    const int rest = pendingEvents_.Size() - fired;
    int next = 0;
    for (int k = 0; k < rest; k++) {
        PendingEvent p = pendingEvents_[fired + k];
        for (int a = 0; a < p.numArgs; a++) pendingArgs_[next + a] = pendingArgs_[p.firstArg + a];
        p.firstArg = next;
        next += p.numArgs;
        pendingEvents_[k] = p;
    }
    while (pendingEvents_.Size() > rest) pendingEvents_.Erase(pendingEvents_.Size() - 1);
    numPendingArgs_ = next;
    hasPendingEvents_ = rest > 0;
}

nLogicEventHandler* nLogicNode::AddHandler(const char* eventName) {
    nLogicEventRecord* record = eventRef_.Get()->FindOrCreateEvent("logicgraph");
    return handlers_.Append(nLogicEventHandler::Create(nLogicEventHandler::Script, this, eventName, record));
}

nLogicEventHandler* nLogicNode::FindHandler(const char* eventName) const {
    if (!eventName) return nullptr;
    for (nLogicEventHandler* h : handlers_) {
        if (std::strcmp(h->GetEventName(), eventName) == 0) return h;
    }
    return nullptr;
}

void nLogicNode::SetEventScript(const char* eventName, const char* script) {
    nLogicEventHandler* h = FindHandler(eventName);
    if (!h) {
        n_error("%s: v_seteventscript: no handler for event '%s'\n", GetFullName().c_str(), eventName ? eventName : "");
        return;
    }
    h->SetScript(script ? script : "");
}

void nLogicNode::AddEventFunction(const char* eventName, const char* funcName) {
    nScriptEvent* e = FindEvent(eventName);
    if (!e) {
        n_error("%s: v_addeventfunction: event '%s' is not declared\n", GetFullName().c_str(), eventName ? eventName : "");
        return;
    }
    if (funcName && funcName[0]) e->AddFunction(funcName);
}

void nLogicNode::RemoveEventFunction(const char* eventName, const char* funcName) {
    nScriptEvent* e = FindEvent(eventName);
    if (!e) {
        n_error("%s: v_removeeventfunction: event '%s' is not declared\n", GetFullName().c_str(),
                eventName ? eventName : "");
        return;
    }
    if (funcName) e->RemoveFunction(funcName);
}

std::string nLogicNode::GetEvents() const {
    std::string text;
    for (nScriptEvent* e : events_) e->AppendListing(text);
    return text;
}

// -- timers ------------------------------------------------------------------------

void nLogicNode::AddTimer(const char* name, const char* repeat, float time, float period, const char* script) {
    int type;
    if (repeat && std::strcmp(repeat, "loop") == 0) type = nLogicTimer::Loop;
    else if (repeat && std::strcmp(repeat, "oneshot") == 0) type = nLogicTimer::OneShot;
    else {
        n_error("%s: v_addtimer: unknown repeat type '%s' (loop or oneshot)\n", GetFullName().c_str(),
                repeat ? repeat : "");
        return;
    }
    const char* key = name ? name : "";
    if (!script) script = "";
    const uint64_t cost = sizeof(nLogicTimer) + 64 + std::strlen(key) + std::strlen(script);
    nLogicTimer* t = FindTimer(key);
    if (t ? !t->charge.Hold(cost, this, "v_addtimer_ssffs")
          : nScriptServer::DataRunning() && !nDataCharge::Fits(cost, this, "v_addtimer_ssffs")) {
        return;
    }
    if (!t) {
        t = timers_.Append(NewTimer(key));
        SyncTimerClocks();
        t->charge.Keep(cost);
    }
    t->repeat = type;
    t->time = time;
    t->period = period;
    t->script = script;
    t->origin = nScriptServer::CurrentOrigin();
}

nLogicTimer* nLogicNode::FindTimer(const char* name) const {
    const char* key = name ? name : "";
    for (int i = 0; i < timers_.Size(); i++) {
        if (std::strcmp(timers_[i]->GetName(), key) == 0) return timers_[i];
    }
    return nullptr;
}

int nLogicNode::GetNumTimers() const {
    return timers_.Size();
}

void nLogicNode::DeleteTimer(nLogicTimer* timer) {
    for (int i = 0; i < timers_.Size(); i++) {
        if (timers_[i] == timer) {
            timers_.Erase(i);
            SyncTimerClocks();
            break;
        }
    }
    for (int i = 0; i < timerWalk_.Size(); i++) {
        if (timerWalk_[i] == timer) timerWalk_[i] = nullptr;
    }
    FreeTimer(timer);
}

nLogicTimer* nLogicNode::TimerList::Append(nLogicTimer* t) {
    if (count_ >= InlineCount && count_ - InlineCount == moreCapacity_) {
        int capacity = moreCapacity_ > 0 ? moreCapacity_ * 2 : 4;
        auto** grown = new nLogicTimer*[size_t(capacity)];
        for (int i = 0; i < moreCapacity_; i++) grown[i] = more_[i];
        delete[] more_;
        more_ = grown;
        moreCapacity_ = capacity;
    }
    return At(count_++) = t;
}

void nLogicNode::TimerList::Erase(int i) {
    if (i < 0 || i >= count_) return;
    for (int j = i; j < count_ - 1; j++) At(j) = At(j + 1);
    count_--;
}

void nLogicNode::SyncTimerClocks() {
    numTimers_ = timers_.Size();
    leadInSlots_ = true;
    for (int k = 0; k < 2; k++) {
        leadClock_[k] = k < numTimers_ ? &timers_[k]->GetClock() : nullptr;
        if (leadClock_[k] && leadClock_[k] != &slotClocks_[k]) leadInSlots_ = false;
    }
}

nLogicTimer* nLogicNode::NewTimer(const char* name) {
    for (int i = 0; i < TimerSlots; i++) {
        if (!(timerSlotUsed_ & (1u << i))) {
            timerSlotUsed_ |= uint8_t(1u << i);
            return new nLogicTimer(name, &slotClocks_[i]);
        }
    }
    return new nLogicTimer(name);
}

void nLogicNode::FreeTimer(nLogicTimer* timer) {
    for (int i = 0; i < TimerSlots; i++) {
        if (&timer->GetClock() == &slotClocks_[i]) {
            timerSlotUsed_ &= uint8_t(~(1u << i));
            slotClocks_[i] = FreeSlot;
        }
    }
    delete timer;
}

void nLogicNode::DeleteTimer(const char* name) {
    if (nLogicTimer* t = FindTimer(name)) DeleteTimer(t);
}

void nLogicNode::DeleteTimers() {
    while (timers_.Size() > 0) DeleteTimer(timers_[0]);
}

void nLogicNode::DeleteDataTimers(nRoot* tree) {
    std::vector<nRoot*> walk;
    if (tree) walk.push_back(tree);
    while (!walk.empty()) {
        nRoot* o = walk.back();
        walk.pop_back();
        if (nScriptServer::InDataTrees(o)) continue;
        if (o->IsA("nlogicnode")) {
            auto* node = static_cast<nLogicNode*>(o);
            for (int i = node->timers_.Size(); i-- > 0;) {
                if (node->timers_[i]->origin != nScriptServer::Origin::Person) node->DeleteTimer(node->timers_[i]);
            }
        }
        for (nRoot* c = o->GetHead(); c; c = c->GetSucc()) walk.push_back(c);
    }
}

// -- persistence -------------------------------------------------------------------

void nLogicNode::SetPersist(const char* path) {
    nPathRef<nRoot> probe(path && path[0] ? path : nullptr);
    probe.SetCwd(this);
    nRoot* obj = probe.GetPath() ? probe.Resolve() : nullptr;
    if (!obj || !obj->IsA(persistLogicClass_)) {
        n_error("%s: v_setpersist: '%s' is no npersistlogic store\n", GetFullName().c_str(), path ? path : "");
        return;
    }
    persistRef_.SetPath(path);
    RestoreFromPersist(static_cast<nPersistLogic*>(obj));
}

nPersistLogic* nLogicNode::GetPersist() {
    if (!persistRef_.GetPath()) return nullptr;
    nRoot* obj = persistRef_.Resolve();
    return obj && obj->IsA(persistLogicClass_) ? static_cast<nPersistLogic*>(obj) : nullptr;
}

std::string nLogicNode::GetPersistPath() {
    nPersistLogic* store = GetPersist();
    return store ? store->GetFullName() : std::string();
}

bool nLogicNode::SaveCmds(nPersistServer* ps) {
    if (!nRoot::SaveCmds(ps)) return false;
    bool ok = ps->Put(this, nId("LSAC"), active_) && ps->Put(this, nId("LSPR"), persistence_) &&
              ps->Put(this, nId("LSTI"), time_);
    // Each module by its object's own name. A path that names no module now keeps its
    // text, so that the link is not lost with the save.
    for (nModuleState* st : moduleStates_) {
        const char* type = nModuleState::TypeName(st->GetStateType());
        for (int i = 0; ok && i < st->GetNumModules(); i++) {
            nModule* m = st->GetModule(i);
            const char* name = m && m->GetName() ? m->GetName() : st->GetModuleName(i);
            ok = ps->Put(this, nId("LAMO"), type, st->GetName(), name);
        }
    }
    for (nModuleState* st : moduleStates_) {
        if (!ok) break;
        ok = ps->Put(this, nId("LSHA"), nModuleState::TypeName(st->GetStateType()), st->GetName(), st->GetEnabled());
    }
    for (nModuleState* st : moduleStates_) {
        if (!ok) break;
        if (st->GetStateType() != nModuleState::Animation) continue;
        auto* anim = static_cast<nModAnimatorState*>(st);
        ok = ps->Put(this, nId("LSAN"), st->GetName(), anim->GetTime(), anim->GetLength());
    }
    // Every bound function, so that a node loads back with all of them. A clone's texts
    // keep the origins of the original's.
    for (nScriptEvent* e : events_) {
        for (int i = 0; ok && i < e->GetNumFunctions(); i++) {
            const char* fn = e->GetFunction(i);
            nScriptServer::OriginScope origin(e->GetOrigin(i));
            if (fn && fn[0]) ok = ps->Put(this, nId("LAEF"), e->GetName(), fn);
        }
    }
    for (int i = 0; ok && i < timers_.Size(); i++) {
        nLogicTimer* t = timers_[i];
        nScriptServer::OriginScope origin(t->origin);
        ok = ps->Put(this, nId("LADT"), t->GetName(), t->repeat == nLogicTimer::OneShot ? "oneshot" : "loop", t->time,
                     t->period, t->script.Get());
    }
    for (nLogicEventHandler* h : handlers_) {
        if (!ok) break;
        if (h->GetKind() != nLogicEventHandler::Script) continue;
        const char* script = h->GetScript();
        nScriptServer::OriginScope origin(h->GetScriptOrigin());
        if (script && script[0]) ok = ps->Put(this, nId("LSES"), h->GetEventName(), script);
    }
    if (ok) {
        if (nPersistLogic* store = GetPersist()) ok = ps->Put(this, nId("LSPS"), store->GetFullName().c_str());
    }
    return ok;
}

bool nLogicNode::SaveLogicOwnName() {
    const char* name = GetName();
    return name ? SaveLogic(name) : false;
}

bool nLogicNode::SaveLogic(const char* name) {
    nPersistServer* ps = nKernelServer::ks ? nKernelServer::ks->GetPersistServer() : nullptr;
    if (!ps) {
        n_error("%s: b_savelogic: no persistence server\n", GetFullName().c_str());
        return false;
    }
    if (ps->GetMode() != nPersistServer::SaveMode && ps->GetMode() != nPersistServer::CloneMode) return false;
    // As SaveAs: the extra count keeps this node through a delete of its own while it is
    // written, the reference tells when an ancestor took it along.
    nRef<nRoot> alive(this);
    AddRef();
    auto gone = [&] { return !alive.IsValid() || alive->GetRefCount() <= 1; };
    bool ok = ps->BeginObject(this, name);
    if (ok) {
        for (int step = 0; step < 2; step++) {
            bool cmdsNow = (step == 0) != ((GetSaveFlags() & SaveChildrenFirst) != 0);
            ok = (cmdsNow ? SaveCmds(ps) : SaveLogicChildren()) && ok;
            if (gone()) {
                n_error("nLogicNode::SaveLogic(): a node was deleted while it was being saved as '%s'\n",
                        name ? name : "");
                ok = false;
                break;
            }
        }
        ok = ps->EndObject(ok) && ok;
    }
    if (nRoot* self = alive.GetUnsafe()) self->nRoot::Release();
    return ok;
}

bool nLogicNode::SaveLogicChildren() {
    if (GetSaveFlags() & SaveShallow) return true;
    bool ok = true;
    nRef<nRoot> child(GetHead());
    while (nRoot* c = child.GetUnsafe()) {
        if (IsLogicNode(c) && static_cast<nLogicNode*>(c)->persistence_) {
            ok = static_cast<nLogicNode*>(c)->SaveLogic(c->GetName()) && ok;
        }
        if (!child.IsValid()) return false;
        child = child->GetSucc();
    }
    return ok;
}
