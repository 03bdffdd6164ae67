#pragma once
// The base of every game object of the logic layer (script class "nlogicnode"). A node
// is served by its parent once a frame: input, raised events, timers and its clock,
// then its own Trigger, which serves its children the same way. So the root's own
// timers and clock never run. A node can link to an "npersistlogic" store that keeps
// its state while the node is destroyed and rebuilt.
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "kernel/matrix44.h"
#include "kernel/nArg.h"
#include "kernel/nArray.h"
#include "kernel/nDataCharge.h"
#include "kernel/nString.h"
#include "kernel/nList.h"
#include "kernel/nPathRef.h"
#include "kernel/nScriptServer.h"
#include "kernel/nRoot.h"
#include "logic/nPersistOwner.h"

class nChannelServer;
class nLogicEventHandler;
class nModuleState;
class nSceneGraph2;
class nLogicEventServer;
class nLogicGraph;
class nPersistLogic;
class nScriptEvent;
class nScriptServer;

// One named timer of a node: runs its script each time `time` reaches `period`. The
// time and period live in a Clock, the timer's own or one its node keeps among the data
// the frame reads, so that counting a node's first timers touches nothing else.
class nLogicTimer {
public:
    enum Repeat { Loop = 0, OneShot = 1 };
    struct Clock {
        float time = 0.0f;
        float period = 0.0f;
    };
    // A text of the timer's own, read only when the timer fires or is looked up.
    class Text {
    public:
        Text() = default;
        ~Text() { delete[] text_; }
        Text(const Text&) = delete;
        Text& operator=(const Text&) = delete;
        Text& operator=(const char* s) {
            size_t n = std::strlen(s) + 1;
            char* copy = new char[n];
            std::memcpy(copy, s, n);
            delete[] text_;
            text_ = copy;
            return *this;
        }
        const char* Get() const { return text_ ? text_ : ""; }

    private:
        char* text_ = nullptr;
    };

    // `clock`, when given, holds the time and period and outlives the timer.
    explicit nLogicTimer(const char* name, Clock* clock = nullptr) : clock_(clock ? *clock : own_) {
        clock_ = Clock();
        name_ = name;
    }
    nLogicTimer(const nLogicTimer&) = delete;
    nLogicTimer& operator=(const nLogicTimer&) = delete;
    const char* GetName() const { return name_.Get(); }
    Clock& GetClock() const { return clock_; }

private:
    Clock own_;
    Clock& clock_;

public:
    float& time = clock_.time;
    float& period = clock_.period;
    int repeat = Loop;
    Text script;
    // The origin of the text that set the script: it runs with it.
    nScriptServer::Origin origin = nScriptServer::Origin::Person;
    // Runs in a row that were stopped for taking a frame's whole share of data's time.
    int overruns = 0;
    // The script server's data frame of its last run.
    uint32_t lastRan = 0;
    // The timer and its texts, while data set them.
    nDataCharge charge;

private:
    Text name_;
};

class nLogicNode : public nRoot, public nPersistOwner {
public:
    static const nClassInfo classInfo;

    nLogicNode();
    ~nLogicNode() override;

    // Stores into the linked store first, at every release, so that a store saved
    // later holds what the node last had.
    bool Release() override;
    bool SaveCmds(nPersistServer* ps) override;

    // Queues the node for release at the start of the next frame; once until then.
    virtual void DeferRelease();
    bool IsReleaseQueued() const { return releaseQueued_; }
    // The graph released the node and something else still holds it.
    void ClearReleaseQueued() { releaseQueued_ = false; }

    // Base: the store's owner becomes this node. Subclasses call it, then read their
    // variables.
    void RestoreFromPersist(nPersistLogic* store) override;
    // Base: nothing to store.
    void StoreToPersist(nPersistLogic* store) override;
    virtual void HandleInput() {}
    // Makes sure the "frametime" channel exists, then sets up the active logic children.
    virtual void Setup();
    // Serves each active logic child (input, raised events, timers, clock) and calls
    // its Trigger. Scripts run here may delete timers or release any node: the walk
    // goes on with what is left. Returns true.
    virtual bool Trigger(nLogicGraph* graph);
    // Traverses the active logic children; inline so that a leaf, the usual node, costs
    // its caller one test.
    virtual void Traverse(nLogicGraph* graph, const matrix44& parentMatrix) {
        if (nRoot* first = GetHead()) TraverseChildren(first, graph, parentMatrix);
    }
    virtual bool IsVisible() const { return false; }
    virtual bool HasCollision() const { return false; }
    virtual bool HasPhysik() const { return false; }
    virtual bool Is2D() const { return false; }
    virtual void SetActive(bool on) {
        active_ = on;
        // The parent's traversal reads the flag from its copy of the list.
        if (cachedBy_) cachedBy_->childActive_[cacheIndex_] = on;
    }

    // The state of that type and name; a missing animator state (type 1) is made. Any
    // other missing type is a program error: fatal "Aborting!\n". Subclasses add theirs.
    virtual nModuleState* CreateModuleState(int stateType, const char* name);
    // Whether CreateModuleState makes a missing state of that type (animator states
    // here; subclasses add theirs): "v_sethandleractive_ssb" makes such a state, so a
    // saved state that lost its modules loads back.
    virtual bool MakesModuleState(int stateType) const;
    // The state of that type and name; null (logged) when there is none.
    virtual nModuleState* GetModuleState(int stateType, const char* name);
    // Lists (unlists) the module path in the state; a state that does not exist is
    // logged and changes nothing, except that animator states are made on demand.
    virtual void AddModule(int stateType, const char* stateName, const char* moduleName);
    virtual void RemoveModule(int stateType, const char* stateName, const char* moduleName);

    // What the logic graph asks of the nodes in its lists; nothing in the base.
    virtual void AnalyseCollision() {}
    // True when the node moved.
    virtual bool StepPhysik(const matrix44& /*world*/) { return false; }
    // Whether the node's body can meet its contacts again between the short steps a frame's
    // physics may take; a frame takes them only when every physics node can.
    virtual bool StepsFinely() const { return false; }
    // Before each of the frame's physics steps (`index` from 0) of `step` seconds.
    virtual void SubStep(float /*step*/, int /*index*/) {}
    virtual void Visualize(nSceneGraph2* /*sceneGraph*/, const matrix44& /*world*/) {}
    virtual void RenderModules() {}
    virtual void Render() {}

    nModuleState* FindModuleState(int stateType, const char* name) const;
    int GetNumModuleStates() const { return moduleStates_.Size(); }
    nModuleState* GetModuleStateAt(int i) const { return moduleStates_[i]; }
    // Appends a state the node then owns.
    nModuleState* AddModuleState(nModuleState* state);

    // Script commands on module states, by type name ("animation", "collision",
    // "visualizer", "physik"); unknown names are logged and change nothing.
    void SetHandlerActive(const char* typeName, const char* stateName, bool on);
    bool GetHandlerActive(const char* typeName, const char* stateName);
    void AddModuleByName(const char* typeName, const char* stateName, const char* moduleName);
    void RemoveModuleByName(const char* typeName, const char* stateName, const char* moduleName);
    void AddAnimator(const char* stateName, const char* moduleName) { AddModule(1, stateName, moduleName); }
    void RemoveAnimator(const char* stateName, const char* moduleName) { RemoveModule(1, stateName, moduleName); }
    void SetAnimator(const char* stateName, float time, float length);
    void SetAnimatorLength(const char* stateName, float length);

    // The logic graph, null when there is none.
    nLogicGraph* GetLogicGraph();
    // Has the graph log a table overflow (once a frame).
    void NoteOverflow(int kind);

    bool GetActive() const { return active_; }
    void SetPersistence(bool on) { persistence_ = on; }
    bool GetPersistence() const { return persistence_; }
    void SetTime(float t) { time_ = t; }
    float GetTime() const { return time_; }

    // True when `obj` is a logic node (its class is "nlogicnode" or derives from it).
    bool IsLogicNode(const nRoot* obj) const { return obj && obj->IsA(logicNodeClass_); }

    // Events this node raises. The declared event of that name, or a new one with
    // those argument letters ('b', 'f', 'i', 's'; 'v' for none).
    nScriptEvent* DeclareEvent(const char* name, const char* argTypes);
    nScriptEvent* FindEvent(const char* name) const;
    // Raised: fired by the parent's next Trigger with the arguments it has now, so an
    // event raised twice before it fires runs twice, each time with its own arguments.
    void AddPendingEvent(nScriptEvent* event);
    int GetNumPendingEvents() const { return pendingEvents_.Size(); }
    // A script handler (kind 1) of the event server's record "logicgraph", owned by
    // the node. No event server is a program error: fatal "Aborting.".
    nLogicEventHandler* AddHandler(const char* eventName);
    nLogicEventHandler* FindHandler(const char* eventName) const;

    // Script commands on events; bad names are logged and change nothing.
    void SetEventScript(const char* eventName, const char* script);
    void AddEventFunction(const char* eventName, const char* funcName);
    void RemoveEventFunction(const char* eventName, const char* funcName);
    // One line per declared event: name, '_', one letter per argument.
    std::string GetEvents() const;

    // A timer of data's whose runs take a frame's whole share of data's time this many
    // times in a row never fits: it is deleted, with one log line.
    static constexpr int MaxTimerOverruns = 3;
    // Makes the timer or updates the one of that name; a repeat type other than
    // "loop" and "oneshot" is logged and changes nothing.
    void AddTimer(const char* name, const char* repeat, float time, float period, const char* script);
    // An unknown name does nothing.
    void DeleteTimer(const char* name);
    void DeleteTimers();
    // Deletes the timers whose text data set, here and in the children, but not in the
    // trees data may release in (a level, the persist tree), whose timers go with them.
    static void DeleteDataTimers(nRoot* tree);
    nLogicTimer* FindTimer(const char* name) const;
    int GetNumTimers() const;
    // In the order they were added; i from 0 to GetNumTimers() - 1.
    nLogicTimer* GetTimerAt(int i) const { return timers_[i]; }

    // Links the store and restores from it at once. A path that names nothing or no
    // "npersistlogic" is logged and keeps the former link.
    void SetPersist(const char* path);
    // Full path of the store, "" without one.
    std::string GetPersistPath();
    // The linked store, null when the link does not resolve.
    nPersistLogic* GetPersist();

    // Saves like SaveAs, but writes only the children that are logic nodes with
    // persistence set, each the same way.
    bool SaveLogic(const char* name);
    bool SaveLogicOwnName();

private:
    // Tells a walk whether the node still lives after scripts ran. Cheaper than a
    // reference (no link into the node's reference list), so the frame's walks mark
    // every node they serve with one; the node clears all of its marks when it dies.
    // Marks live on the stack and end in the reverse order of their making.
    class AliveMark {
    public:
        explicit AliveMark(nLogicNode* node) : node_(node), outer_(node->marks_) { node->marks_ = this; }
        ~AliveMark() {
            if (alive_) node_->marks_ = outer_;
        }
        AliveMark(const AliveMark&) = delete;
        AliveMark& operator=(const AliveMark&) = delete;
        bool Alive() const { return alive_; }

    private:
        friend class nLogicNode;
        nLogicNode* node_;
        AliveMark* outer_;
        bool alive_ = true;
    };

    // The children walked from the parent's copy of its list when every child is a logic
    // node; the rest of the list walked link by link, from `from` on.
    void TriggerCached(nLogicGraph* graph, nScriptServer* script, float frameTime, const AliveMark& self);
    // Traverse's walk over the children, `first` the head of the list.
    void TraverseChildren(nRoot* first, nLogicGraph* graph, const matrix44& parentMatrix);
    void TriggerFrom(nRoot* from, nLogicGraph* graph, nScriptServer* script, float frameTime, const AliveMark& self);
    // Makes the copy of the child list current; false when a child is no logic node.
    bool CacheChildren();
    bool CacheCurrent() const { return childCacheValid_ && cacheVersion_ == GetChildrenVersion(); }
    // Asks for the lines of cached child i, if there is one; ForWrite when the walk
    // changes its per-frame block.
    template <int ForWrite>
    void PrefetchCachedChild(int i) const;
    void DropChildCache();
    // A cached child died or is cached by another parent now.
    void ForgetCachedChild(nLogicNode* child);
    // Timer pointers in order: the first two inside the list, the rest on the heap.
    class TimerList {
    public:
        TimerList() = default;
        ~TimerList() { delete[] more_; }
        TimerList(const TimerList&) = delete;
        TimerList& operator=(const TimerList&) = delete;
        nLogicTimer* Append(nLogicTimer* t);
        void Erase(int i);
        void Clear() { count_ = 0; }
        int Size() const { return count_; }
        nLogicTimer* operator[](int i) const { return i < InlineCount ? inline_[i] : more_[i - InlineCount]; }

    private:
        static constexpr int InlineCount = 2;
        nLogicTimer*& At(int i) { return i < InlineCount ? inline_[i] : more_[i - InlineCount]; }
        int count_ = 0;
        int moreCapacity_ = 0;
        nLogicTimer** more_ = nullptr;
        nLogicTimer* inline_[InlineCount] = {};
    };

    // False when the child died meanwhile.
    bool ServeChild(nLogicNode* child, const AliveMark& alive, nScriptServer* script, float frameTime);
    // Forgets the first `fired` raised events.
    void DropPendingEvents(int fired);
    bool RunTimers(const AliveMark& alive, nScriptServer* script, float frameTime);
    // Counts the frame time on the timers up to the first one due; its index, or the count.
    int CountTimers(float frameTime);
    // Runs the scripts of the due timer `first` and the later ones that come due.
    bool RunDueTimers(const AliveMark& alive, nScriptServer* script, float frameTime, int first);
    void DeleteTimer(nLogicTimer* timer);
    // Brings numTimers_ and leadSlot_ up to the timer list.
    void SyncTimerClocks();
    nLogicTimer* NewTimer(const char* name);
    void FreeTimer(nLogicTimer* timer);
    bool SaveLogicChildren();

    // The state type of a script's type name; 0 (logged) for an unknown one.
    int StateTypeOf(const char* typeName, const char* command);
    // The animator state of that name, made when missing.
    class nModAnimatorState* AnimatorState(const char* name);

    // What the parent's walk reads of every child each frame, together in one cache line
    // (the node is made on a line's start, the block starts on one): the marks, the flags
    // and clock, the timers' count and where the first two keep their time and period,
    // those two clocks, and the input list's head. A child without scripts due costs its
    // first line (its class and children) and this one.
    alignas(64) AliveMark* marks_ = nullptr;
    bool active_ = true;
    bool walkingTimers_ = false;
    bool hasPendingEvents_ = false;
    bool walkingCache_ = false;
    float time_ = 0.0f;
    // timers_.Size() and the clocks of the first and second timer (a slot's below or the
    // timer's own); kept by SyncTimerClocks whenever the list changes.
    int numTimers_ = 0;
    // The first two timers' clocks are slotClocks_[0] and [1] in that order (or there are
    // fewer timers): the walk then reads them without going through leadClock_.
    bool leadInSlots_ = true;
    // The node's class is this one, whose Trigger only serves children: set by the
    // parent's copy of its list, for the walks over that copy.
    bool plainTrigger_ = false;
    nLogicTimer::Clock* leadClock_[2] = {};
    static constexpr int TimerSlots = 2;
    // A free slot's clock: a period no time reaches (every comparison with NaN is false).
    static constexpr nLogicTimer::Clock FreeSlot{0.0f, std::numeric_limits<float>::quiet_NaN()};
    nLogicTimer::Clock slotClocks_[TimerSlots] = {FreeSlot, FreeSlot};
    // Input nodes among the children; inputLink_ is this node's entry in its parent's.
    nList inputList_;

    bool childCacheValid_ = false;
    // Frames to wait before trying again to cache a list that holds other objects.
    uint8_t cacheRetry_ = 0;
    bool persistence_ = false;
    bool releaseQueued_ = false;
    uint8_t timerSlotUsed_ = 0;
    // In the order they were added; the timers themselves live on the heap, the clocks of
    // the first two made (while they live) in slotClocks_.
    TimerList timers_;
    // A raised event and where its arguments wait in pendingArgs_.
    struct PendingEvent {
        nScriptEvent* event = nullptr;
        int firstArg = 0;
        int numArgs = 0;
    };
    nArray<PendingEvent> pendingEvents_;

    // The children in list order, so that the frame's walks do not chase the list's links
    // from node to node. Every entry lives (a dying child nulls its entry through
    // cachedBy_); the copy matches the list while the list's version is cacheVersion_,
    // which the walks check after each child they serve. Not rebuilt while a walk over it
    // runs.
    nArray<nLogicNode*> childCache_{0, 16};
    // The cached children's active flags, kept by SetActive: the traversal reads them here
    // and not from each child's per-frame block, a line it would read for nothing else.
    nArray<bool> childActive_{0, 16};
    nLogicNode* cachedBy_ = nullptr;
    int cacheIndex_ = -1;
    // The children list's version the copy above was taken at.
    uint32_t cacheVersion_ = 0;
    nClass* logicNodeClass_ = nullptr;

    nArray<nModuleState*> moduleStates_{0, 1};
    nPathRef<nLogicGraph> lgraphRef_{"/sys/servers/lgraph"};
    nNode inputLink_{this};
    nArray<nLogicEventHandler*> handlers_;
    nArray<nScriptEvent*> events_;
    nClass* persistLogicClass_ = nullptr;
    nPathRef<nChannelServer> channelRef_{"/sys/servers/channel"};
    nPathRef<nScriptServer> scriptRef_{"/sys/servers/script"};
    nPathRef<nLogicEventServer> eventRef_{"/sys/servers/event"};
    nPathRef<nRoot> persistRef_;
    // The "frametime" channel's index, looked up once per channel server.
    int frameTimeChannel_ = -1;
    nChannelServer* frameTimeServer_ = nullptr;
    // The timers of the walk in progress; a timer deleted meanwhile is nulled here.
    nArray<nLogicTimer*> timerWalk_;
    // The arguments of the raised events, one after the other in raising order; entries
    // past numPendingArgs_ keep their texts' room for the next ones.
    nArray<nArg> pendingArgs_{0, 4};
    int numPendingArgs_ = 0;

protected:
    // The "frametime" channel, its index looked up once per channel server.
    float FrameTime();
    // Input nodes among the children enter their parent's list through their link.
    nList& GetInputList() { return inputList_; }
    nNode& GetInputLink() { return inputLink_; }

    nPathRef<nRoot> fileRef_{"/sys/servers/file2"};
    nPathRef<nRoot> mathRef_{"/sys/servers/math"};

private:
    // Ends the node's data on a cache line, so that a subclass's first members (what its
    // Traverse reads, its matrix as a rule) begin a line instead of straddling the node's
    // last one.
    struct alignas(64) LineEnd {};
    [[maybe_unused]] LineEnd lineEnd_;
};
