#pragma once
// Declaring a class and its script commands
// -----------------------------------------
// Every class of the tree derives from nRoot, publishes one static nClassInfo and keeps
// its command table in its .cc: one row per command, prototype text and four-character
// id. kernel/nEnv.cc is the model; kernel/nRoot.cc has every kind of row.
//
//   // kernel/nFoo.h
//   class nFoo : public nRoot {
//   public:
//       static const nClassInfo classInfo;
//       bool SaveCmds(nPersistServer* ps) override;
//       void SetSpeed(float s);
//       float GetSpeed() const;
//       void SetRange(float lo, float hi);
//       void GetRange(float& lo, float& hi) const;
//   };
//
//   // kernel/nFoo.cc
//   static const nCmdDef<nFoo> cmds[] = {
//       Bind<&nFoo::SetSpeed>("v_setspeed_f", "SSPD"),
//       Bind<&nFoo::GetSpeed>("f_getspeed_v", "GSPD"),
//       Bind<&nFoo::SetRange>("v_setrange_ff", "SRNG"),
//       {"ff_getrange_v", "GRNG", [](nFoo* self, nCmd* c) {
//            float lo, hi;
//            self->GetRange(lo, hi);
//            c->Out()->SetF(lo);
//            c->Out()->SetF(hi);
//        }},
//   };
//   const nClassInfo nFoo::classInfo = nClassInfo::Make<nFoo>("nfoo", "nroot", cmds);
//
//   bool nFoo::SaveCmds(nPersistServer* ps) {
//       if (!nRoot::SaveCmds(ps)) return false;
//       float lo, hi;
//       GetRange(lo, hi);
//       return ps->Put(this, nId("SSPD"), GetSpeed()) && ps->Put(this, nId("SRNG"), lo, hi);
//   }
//
//   // the folder's package function, <folder>/n<Name>Package.h/.cc, e.g.
//   // kernel/nKernelPackage.cc: registers the folder's classes, superclasses first
//   ks->AddClass(nFoo::classInfo);
//
// Rows:
// - Bind<&nFoo::F>(proto, id) where the command is one call of one member function:
//   the handler reads the inputs in order, calls F and writes its result. The letters
//   are checked against F's types when the table compiles ('i' integers and enums, 'f'
//   float or double, 'b' bool, 's' or 'c' const char* (a result may be std::string),
//   'o' a pointer to a tree object; void and 'v' for none). A mismatch stops the build
//   with "PrototypeLettersDoNotMatchTheFunction". Overloaded functions and commands with
//   several outputs or other work get a hand-written row.
// - BindVector3<&nFoo::SetPosition>(proto, id) (kernel/nCmdVector.h): the same for a
//   function of one vector3 taking the three inputs of an "fff" prototype. Bind rows of
//   one to four float inputs and no result, and these, also give the command a float
//   setter (nCmdProto::GetFloatSetter), which animations call instead of the command.
// - {proto, id, handler}: a lambda typed on the class. It reads exactly its inputs with
//   In() and writes exactly its outputs with Out(), each in prototype order, with the
//   setter of the letter's type (texts are copied by SetS). Inputs were checked against
//   the prototype before it runs (a text or object input may be null); builds without
//   NDEBUG check the rest after every call (nCmd::CheckAfterCall) and stop at the first
//   handler that reads or writes another type, or skips or overruns a slot.
// A class without commands of its own: nClassInfo::Make<nBar>("nbar", "nfoo").
// Handlers that need private members: declare the table as a private static member
// (static const nCmdDef<nFoo> cmds[];) and define it in the .cc; its lambdas are then in
// class scope. Ids are unique within the class and all its superclasses (a duplicate
// stops the program at registration). A command named like a Lua global ("type",
// "print", "select", ...) is logged at registration: a bare call reaches the global.
//
// Saving state: SaveCmds calls its base class's first, then hands one command per value
// to the persistence server with Put (kernel/nPersistServer.h), which finds the command
// by id and refuses (logged, save failed) values that do not fit its prototype. Every
// registered class is made, called, saved, loaded and cloned by tests/classes, so a row
// or a SaveCmds that disagrees with its prototype fails there without a test of its own.
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

    // A server or an observer, or a class derived from one ("...server", "...server2",
    // "...observer"): such an object acts on the whole program, and data makes none.
    bool IsServerKind() const;

    // A new object of this class with its class set; null when it cannot be made.
    nRoot* NewObject();

    void BeginCmds();
    void AddCmd(const char* protoText, uint32_t id, nCmdHandler handler);
    template <class T>
    void AddCmd(const nCmdDef<T>& def) {
        auto* proto = new nCmdProto(def.proto, def.id, reinterpret_cast<nCmdProto::RawFn>(def.handler),
                                    &nCmdDef<T>::Invoke);
        // Only where the prototype agrees: one output, no input.
        if (def.getter && proto->IsValid() && proto->GetNumInArgs() == 0 && proto->GetNumOutArgs() == 1) {
            proto->SetGetter(def.getter);
            proto->SetTextGetter(def.textGetter);
        }
        if (def.floatSetter && proto->IsValid() && proto->GetNumOutArgs() == 0 && proto->GetNumInArgs() >= 1 &&
            proto->GetNumInArgs() <= 4) {
            bool floats = true;
            for (int i = 0; i < proto->GetNumInArgs(); i++) floats = floats && proto->GetInType(i) == nArg::Float;
            if (floats) proto->SetFloatSetter(def.floatSetter);
        }
        AddProto(proto);
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
