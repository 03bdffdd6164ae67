#pragma once
// Declaring a class and its script commands
// -----------------------------------------
// Every class of the tree derives from nRoot, publishes one static nClassInfo and keeps
// its command table in its .cc: one row per command, prototype text, four-character id
// and a short handler typed on the class. kernel/nRoot.cc is the full example.
//
//   // kernel/nFoo.h
//   class nFoo : public nRoot {
//   public:
//       static const nClassInfo classInfo;
//       void SetSpeed(float s);
//       float GetSpeed() const;
//   };
//
//   // kernel/nFoo.cc
//   static const nCmdDef<nFoo> cmds[] = {
//       {"v_setspeed_f", "SSPD", [](nFoo* self, nCmd* c) { self->SetSpeed(c->In()->GetF()); }},
//       {"f_getspeed_v", "GSPD", [](nFoo* self, nCmd* c) { c->Out()->SetF(self->GetSpeed()); }},
//   };
//   const nClassInfo nFoo::classInfo = nClassInfo::Make<nFoo>("nfoo", "nroot", cmds);
//
//   // the folder's package function (kernel/nKernelPackage.cc for kernel classes)
//   ks->AddClass(nFoo::classInfo);
//
// A class without commands of its own: nClassInfo::Make<nBar>("nbar", "nfoo").
// Handlers that need private members: declare the table as a private static member
// (static const nCmdDef<nFoo> cmds[];) and define it in the .cc; its lambdas are then in
// class scope.
// Handlers run only after the dispatcher has checked the input types against the
// prototype letters, so they read In() values without checking (a text or object input
// may be null). Outputs are written in prototype order; texts are copied by SetS. Ids
// are unique within the class and all its superclasses (a duplicate stops the program
// at registration).
//
// Saving state: SaveCmds calls its base class's first, then hands one filled command
// per value to the persistence server:
//   nCmd* c = NewCmd(nId("SSPD")); if (!c) return false;
//   c->In()->SetF(GetSpeed()); return ps->PutCmd(c);
//
// Calling commands: by id from game code, obj->Call(nId("SNAM"), nullptr, "name"); by
// name (script server): FindCmdByName, NewCmd, fill In() in order, obj->Dispatch(cmd),
// read Out() in order, RelCmd.

#include <cstdint>

#include "kernel/nClassInfo.h"
#include "kernel/nCmdDef.h"
#include "kernel/nCmdProto.h"
#include "kernel/nHashList.h"
#include "kernel/nKeyArray.h"

class nKernelServer;
class nRoot;

// A registered class: name, superclass, instance size, its commands by name and by id.
class nClass : public nHashNode {
public:
    nClass(const char* name, nKernelServer* kernel, nRoot* (*newObject)());
    // Gives back the superclass and frees the command tables.
    ~nClass() override;
    nClass(const nClass&) = delete;
    nClass& operator=(const nClass&) = delete;

    nKernelServer* GetKernel() const { return kernel_; }
    nClass* GetSuperClass() const { return superClass_; }
    void SetSuperClass(nClass* super) { superClass_ = super; }
    int GetInstanceSize() const { return instanceSize_; }
    void SetInstanceSize(int size) { instanceSize_ = size; }

    // Subclasses plus open references (OpenClass); the class is freed only at 0.
    int GetRefCount() const { return refCount_; }
    void AddRef() { refCount_++; }
    void RemRef() { refCount_--; }

    // True when this class is `other` or derives from it.
    bool IsA(const nClass* other) const;

    // A new object of this class with its class set; null when it cannot be made.
    nRoot* NewObject();

    void BeginCmds();
    void AddCmd(const char* protoText, uint32_t id, nCmdHandler handler);
    template <class T>
    void AddCmd(const nCmdDef<T>& def) {
        AddProto(new nCmdProto(def.proto, def.id, reinterpret_cast<nCmdProto::RawFn>(def.handler),
                               &nCmdDef<T>::Invoke));
    }
    // Builds the id table over this class's and its superclasses' commands.
    void EndCmds();

    // Searches this class's own commands, then each superclass's.
    nCmdProto* FindCmdByName(const char* name) const;
    nCmdProto* FindCmdById(uint32_t id) const;

    // This class's own commands in registration order (null when it has none).
    nCmdProto* GetFirstCmd() const;

    nClass* GetSucc() const { return static_cast<nClass*>(nHashNode::GetSucc()); }

private:
    void AddProto(nCmdProto* proto);

    nKernelServer* kernel_;
    nClass* superClass_ = nullptr;
    nHashList* cmdList_ = nullptr;
    nKeyArray<nCmdProto*>* cmdIdArray_ = nullptr;
    int refCount_ = 0;
    int instanceSize_ = 0;
    nRoot* (*newObject_)();
};

template <class T>
void nClassInfo::AddCmdsOf(nClass* cls, const void* cmds, int numCmds) {
    const nCmdDef<T>* table = static_cast<const nCmdDef<T>*>(cmds);
    for (int i = 0; i < numCmds; i++) cls->AddCmd(table[i]);
}
