#pragma once
// A named, typed list of behaviour modules owned by one logic node: the node hands the
// state its share of each frame and the state passes it on, in list order, to each listed
// module of its type. Modules are listed by the path text a script gave and resolved from
// the owner when first used, and again only after their target died.
#include "kernel/nArray.h"
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "kernel/nString.h"

class nClass;
class nLogicNode;
class nModule;

class nModuleState {
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
    int GetNumModules() const { return modules_.Size(); }
    const char* GetModuleName(int i) const { return modules_[i]->ref.GetPath(); }
    // The module at entry i, null (logged once until it resolves) when the path names
    // nothing or an object that is no "nmodule".
    nModule* GetModule(int i);
    // Every module's Render, whatever its type and whether the state is enabled.
    void RenderAll();

protected:
    // The module at entry i when it is of `type`; null otherwise (also for one that does
    // not resolve). Every per-frame operation walks its list through this.
    nModule* ModuleOfType(int i, int type);

private:
    struct Entry {
        nPathRef<nRoot> ref;
        bool logged = false;
    };

    nString name_;
    float time_ = 0.0f;
    bool enabled_ = true;
    nArray<Entry*> modules_{0, 1};
    nRef<nLogicNode> owner_;
    nClass* moduleClass_ = nullptr;
};
