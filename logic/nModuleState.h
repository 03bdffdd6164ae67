#pragma once
// A named, typed list of behaviour modules owned by one logic node: the node hands the
// state its share of each frame and the state passes it on, in list order, to each listed
// module of its type. Modules are listed by the path text a script gave and resolved from
// the owner when first used, and again only after their target died.
#include "kernel/nArray.h"
#include "kernel/nRef.h"
#include "kernel/nString.h"
#include "logic/nModule.h"

class nClass;
class nLogicNode;

// Aligned so that what the frame reads of a state (its first 64 bytes) lies in one
// cache line.
class alignas(64) nModuleState {
public:
    // State types; the names scripts use are TypeName's.
    enum Type { Base = 0, Animation = 1, Collision = 2, Visualizer = 3, Physik = 4 };

    nModuleState(const char* name, nLogicNode* owner);
    virtual ~nModuleState();
    nModuleState(const nModuleState&) = delete;
    nModuleState& operator=(const nModuleState&) = delete;

    virtual int GetStateType() const { return Base; }
    // Resolves every module and calls its Attach; modules that do not resolve are
    // logged (once) and skipped.
    virtual void AttachModules();

    // "animation", "collision", "visualizer", "physik" for 1..4; null otherwise.
    static const char* TypeName(int type);
    // The type of a name; 0 for an unknown one.
    static int TypeFromName(const char* name);

    const char* GetName() const { return name_.Get(); }
    nLogicNode* GetOwner() const { return owner_.GetUnsafe(); }
    void SetTime(float t) { time_ = t; }
    float GetTime() const { return time_; }
    void SetEnabled(bool on) { enabled_ = on; }
    bool GetEnabled() const { return enabled_; }

    // Index of the first entry listed under exactly that path text, -1 when none.
    int FindModule(const char* name) const;
    // Appends the path unless it is listed already; not resolved here.
    void AddModule(const char* name);
    // Removes the last entry of that path text; an absent name changes nothing.
    void RemoveModule(const char* name);
    int GetNumModules() const { return count_; }
    const char* GetModuleName(int i) const { return modules_[i].path.Get(); }
    // The module at entry i, null (logged once until it resolves) when the path names
    // nothing or an object that is no "nmodule".
    nModule* GetModule(int i) {
        if (hotClears_ != nRefBase::ClearCount()) refreshHot();
        nModule* m = i < InlineRefs ? hotModules_[i] : moreRefs_[i - InlineRefs].GetUnsafe();
        return m ? m : resolveSlow(i);
    }
    // Every module's Render, whatever its type and whether the state is enabled.
    void RenderAll();

protected:
    // The module at entry i when it is of `type`; null otherwise (also for one that does
    // not resolve). Every per-frame operation walks its list through this.
    nModule* ModuleOfType(int i, int type) {
        if (hotClears_ != nRefBase::ClearCount()) refreshHot();
        // The first modules' types are copied with them, so the walk does not touch a
        // module of another type at all.
        if (i < InlineRefs && hotModules_[i]) return hotTypes_[i] == type ? hotModules_[i] : nullptr;
        nModule* m = GetModule(i);
        return m && m->GetType() == type ? m : nullptr;
    }
    // Whether the module ModuleOfType just returned for entry i is an nModAnimator.
    bool IsHotAnimator(int i) const { return i < InlineRefs && (hotAnimators_ >> i & 1) != 0; }
    // Entries 0 .. HotAnimatorRun() - 1 are nModAnimators of the animator type that a
    // frame may run straight from the copies, module HotModule(i), while HotCurrent()
    // holds (as it does right after HotOwner).
    int HotAnimatorRun() const { return hotAnimatorRun_; }
    bool HotCurrent() const { return hotClears_ == nRefBase::ClearCount(); }
    nModule* HotModule(int i) const { return hotModules_[i]; }
    // The state's only module when it is an nModAnimator of the animator type whose copy
    // in the first cache line is current; null otherwise (then walk with ModuleOfType).
    nModule* SoleHotAnimator() const {
        return count_ == 1 && (hotAnimators_ & 1) != 0 && hotTypes_[0] == nModule::Animator &&
                       hotClears_ == nRefBase::ClearCount()
                   ? hotModules_[0]
                   : nullptr;
    }
    // GetOwner from the state's first cache line.
    nLogicNode* HotOwner() {
        if (hotClears_ != nRefBase::ClearCount()) refreshHot();
        return hotOwner_;
    }

    // Tells a walk over the modules whether the state still lives after a module ran
    // (a module's script may release the owner and its states), without touching the
    // owner's reference list every frame.
    class WalkGuard {
    public:
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdangling-pointer"
#endif
        // The state holds the flag only while this guard lives: the destructor takes it back.
        explicit WalkGuard(nModuleState* st) : state_(st), outer_(st->alive_) { st->alive_ = &alive_; }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
        ~WalkGuard() {
            if (alive_) state_->alive_ = outer_;
            else if (outer_) *outer_ = false;
        }
        bool Alive() const { return alive_; }

    private:
        nModuleState* state_;
        bool* outer_;
        bool alive_ = true;
    };

private:
    // An entry's resolved module is kept apart from its path: the frame reads only the
    // module, and the first two of those live in the state itself.
    struct Entry {
        nString path;
        bool logged = false;
    };
    static constexpr int InlineRefs = 2;
    nRef<nModule>& RefAt(int i) { return i < InlineRefs ? inlineRefs_[i] : moreRefs_[i - InlineRefs]; }
    nModule* resolveSlow(int i);
    // Copies the owner and the first modules (and their types) from their references.
    void refreshHot();
    // Makes the next read copy the references again (after the state changed one).
    void staleHot() { hotClears_ = ~uint64_t(0); }

    // What the frame reads, in the state's first cache line. The owner and module pointers
    // copy the references' targets, trusted while no reference anywhere has been cleared
    // since they were copied and the state changed none of its own.
    bool enabled_ = true;
    signed char hotTypes_[InlineRefs] = {};  // GetType of hotModules_
    unsigned char hotAnimators_ = 0;         // bit i: hotModules_[i] is an nModAnimator
    unsigned char hotAnimatorRun_ = 0;       // HotAnimatorRun()
    int count_ = 0;  // modules_.Size()
    float time_ = 0.0f;
    bool* alive_ = nullptr;
    uint64_t hotClears_ = ~uint64_t(0);
    nLogicNode* hotOwner_ = nullptr;
    nModule* hotModules_[InlineRefs] = {};
    nRef<nLogicNode> owner_;
    nRef<nModule> inlineRefs_[InlineRefs];
    nArray<nRef<nModule>> moreRefs_{0, 2};
    nArray<Entry> modules_{0, 1};
    nString name_;
    nClass* moduleClass_ = nullptr;
};
