#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

#include "kernel/nArg.h"
#include "kernel/nClass.h"
#include "kernel/nCmd.h"
#include "kernel/nList.h"
#include "kernel/nNamedList.h"
#include "kernel/nNamedNode.h"

class nDataTexts;
class nPersistServer;

// Base of every object of the tree (script class "nroot"): a named node with a class,
// a parent, ordered children, a reference count and the list of references to it.
// Objects are made by nKernelServer::New and die through Release.
class nRoot {
public:
    static const nClassInfo classInfo;

    enum SaveFlag : uint16_t {
        SaveChildrenFirst = 1 << 0,  // own commands after the children's
        SaveShallow = 1 << 1,        // children are neither saved nor cloned
    };

    nRoot();
    // Releases each child until it is gone, clears every reference to this object and
    // unlinks it from its parent.
    virtual ~nRoot();
    nRoot(const nRoot&) = delete;
    nRoot& operator=(const nRoot&) = delete;

    // Called by the kernel after the object has been named and linked.
    virtual void Initialize() {}
    // Count - 1; at 0 the object deletes itself and true is returned.
    virtual bool Release();
    // Writes the commands that rebuild this object's state; overrides call their base
    // class's first.
    virtual bool SaveCmds(nPersistServer* ps);
    virtual int GetInstanceSize() const;

    void AddRef() { refCount_++; }
    int GetRefCount() const { return refCount_; }

    // The name, null when empty.
    const char* GetName() const { return node_.HasName() ? node_.GetName() : nullptr; }
    void SetName(const char* name);
    // SetName for names from scripts: false (logged) for a name that is no plain object
    // name (empty, "." or "..", or holding '/'), or that data's text may not give.
    bool Rename(const char* name);

    nClass* GetClass() const { return class_; }
    void SetClass(nClass* cls) { class_ = cls; }
    bool IsA(const nClass* cls) const { return cls && class_ && class_->IsA(cls); }
    bool IsA(const char* className) const;
    bool IsInstanceOf(const nClass* cls) const { return cls && class_ == cls; }
    bool IsInstanceOf(const char* className) const;

    nRoot* GetParent() const { return parent_; }
    nRoot* GetHead() const { return FromNode(children_.GetHead()); }
    nRoot* GetTail() const { return FromNode(children_.GetTail()); }
    nRoot* GetSucc() const { return FromNode(node_.GetSucc()); }
    nRoot* GetPred() const { return FromNode(node_.GetPred()); }

    // Links `child` at the start / end of the children (taking it from a former parent);
    // refused for this object itself and its ancestors.
    void AddHead(nRoot* child);
    void AddTail(nRoot* child);
    // Unlinks this object from its parent.
    void Remove();

    // "." is this object, ".." its parent, else the first child named exactly `name`.
    nRoot* Find(const char* name) const;
    // The first child named exactly `name` ("." and ".." are plain names here).
    nRoot* FindChild(std::string_view name) const;
    int GetNumChildren() const { return numChildren_; }
    // Changes whenever a child joins, leaves or the list is reordered: a copy of the list
    // taken at one value still matches at the same value.
    uint32_t GetChildrenVersion() const { return childrenVersion_; }
    // Changes whenever any object joins a parent or is renamed: a path that named nothing
    // at one value names nothing at the same value (removals never make one resolve).
    static uint64_t GetNamesVersion() { return namesVersion_; }

    // The absolute path ("/", "/usr", "/usr/logic"), cut to fit `size` (terminated).
    char* GetFullName(char* buf, size_t size) const;
    std::string GetFullName() const;
    // The absolute path into `out`, which keeps its room: no allocation once it fits.
    void GetFullName(std::string& out) const;
    // The path from this object to `target` ("" for the object itself, "" for null).
    char* GetRelPath(const nRoot* target, char* buf, size_t size) const;
    std::string GetRelPath(const nRoot* target) const;

    // Instance size of this object and all descendants.
    int GetTreeSize() const;
    // Orders the children by name, ascending by byte value.
    void Sort();

    // Runs `cmd` on this object when its inputs match the prototype; false (with a
    // logged error) when they do not. The command is rewound before and after.
    bool Dispatch(nCmd* cmd);
    // Dispatch without its input checks, for a caller that took the command from this
    // object's class and filled every input with its prototype type (the script binding
    // on every call). Checked builds still check the handler.
    void DispatchFilled(nCmd* cmd);

    // Calls the command `id` with the given inputs (int, float, bool, text, object,
    // converted to the prototype's types). When `outs` is given it receives the outputs
    // (room for GetNumOutArgs() args). False when the class has no such command or the
    // inputs do not match.
    template <class... In>
    bool Call(uint32_t id, nArg* outs, In... inputs);
    // A command `id` of this object's class, ready to fill through In(): how SaveCmds
    // builds what it hands to the persistence server. Null (logged) when the class has
    // no such command; give it back with its proto's RelCmd or PutCmd.
    nCmd* NewCmd(uint32_t id);

    // Copying and saving subtrees go through the persistence server.
    nRoot* Clone(const char* name);
    bool SaveAs(const char* name);
    bool Save();

    void SetSaveFlags(uint16_t flags) { saveFlags_ = flags; }
    uint16_t GetSaveFlags() const { return saveFlags_; }

    // The run of data's text that made this object (0 for a person's): its memory is
    // charged to data while it lives (kernel/nObjectCount.h).
    uint32_t GetDataRun() const { return dataRun_; }
    void ChargeToData(uint32_t run, uint32_t bytes);
    // Charges the texts of a command call that the object may keep, while data's text
    // calls it or after data did (kernel/nDataTexts.h); false (logged) refuses the call.
    bool ChargeDataTexts(const nCmdProto* proto, uint64_t key, uint64_t bytes);
    bool HasDataTexts() const { return dataTexts_ != nullptr; }

    // Used by nRefBase: links a reference into this object's reference list.
    void AddObjectRef(nNode* link) { refList_.AddTail(link); }

private:
    static nRoot* FromNode(nNode* n) { return n ? static_cast<nRoot*>(n->GetPtr()) : nullptr; }
    // Children by name, kept in step with every link, unlink and rename once an object
    // has many children, so finding one does not walk its siblings. The sibling order
    // stays the list's; among children of one name the index names the first.
    struct ChildIndex;
    static constexpr int IndexThreshold = 16;
    enum class Where { Head, Tail, Inside };
    void Linked(nRoot* child, Where where);
    void Unlinked(nRoot* child);
    void RebuildIndex();
    nRoot* FirstNamed(std::string_view name, const nRoot* skip) const;
    bool CanAdopt(const nRoot* child) const;
    // SaveAs of each child, unless SaveShallow; false when one failed.
    bool SaveChildren();
    bool CallPrepared(uint32_t id, nCmdProto*& proto, nCmd*& cmd, int numGiven);
    bool CallFinish(nCmdProto* proto, nCmd* cmd, nArg* outs);
    template <class V>
    static void Put(nArg* arg, V value);

    // The child list head and the link in the parent's list share the first cache line
    // with the vtable pointer: a walk over the tree reads these three of every object.
    nNamedList children_;
    nNamedNode node_;
    nList refList_;
    nClass* class_ = nullptr;
    nRoot* parent_ = nullptr;
    std::unique_ptr<ChildIndex> index_;
    std::unique_ptr<nDataTexts> dataTexts_;
    int numChildren_ = 0;
    int refCount_ = 1;
    uint16_t saveFlags_ = 0;
    uint32_t childrenVersion_ = 0;
    uint32_t dataRun_ = 0;
    uint32_t dataBytes_ = 0;
    static inline uint64_t namesVersion_ = 0;
};

// Stores a C++ value in `arg`, converted to the type the slot already has.
template <class V>
void nRoot::Put(nArg* arg, V value) {
    if constexpr (std::is_same_v<V, std::nullptr_t>) {
        if (arg->GetType() == nArg::Object) arg->SetO(nullptr);
        else if (arg->GetType() == nArg::Code) arg->SetC(nullptr);
        else arg->SetS(nullptr);
    } else if constexpr (std::is_arithmetic_v<V> || std::is_enum_v<V>) {
        switch (arg->GetType()) {
            case nArg::Float: arg->SetF(static_cast<float>(value)); break;
            case nArg::Bool: arg->SetB(value != V{}); break;
            case nArg::Int: arg->SetI(static_cast<int32_t>(value)); break;
            default:
                if constexpr (std::is_floating_point_v<V>) arg->SetF(static_cast<float>(value));
                else arg->SetI(static_cast<int32_t>(value));
        }
    } else if constexpr (std::is_convertible_v<V, const char*>) {
        if (arg->GetType() == nArg::Code) arg->SetC(value);
        else arg->SetS(value);
    } else {
        static_assert(std::is_convertible_v<V, nRoot*>, "unsupported command argument type");
        arg->SetO(static_cast<nRoot*>(value));
    }
}

template <class... In>
bool nRoot::Call(uint32_t id, nArg* outs, In... inputs) {
    nCmdProto* proto = nullptr;
    nCmd* cmd = nullptr;
    if (!CallPrepared(id, proto, cmd, static_cast<int>(sizeof...(In)))) return false;
    (Put(cmd->In(), inputs), ...);
    return CallFinish(proto, cmd, outs);
}
