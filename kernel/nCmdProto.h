#pragma once
#include <cstdint>

#include "kernel/nArg.h"
#include "kernel/nHashNode.h"
#include "kernel/nString.h"

class nRoot;
class nCmd;
class nClass;

// Four-character command id, first character in the most significant byte:
// nId("SNAM") == 0x534E414D. Shorter texts are padded with zero bytes.
constexpr uint32_t nId(const char* s) {
    uint32_t id = 0;
    bool ended = false;
    for (int i = 0; i < 4; i++) {
        if (!ended && s[i] == 0) ended = true;
        id = (id << 8) | (ended ? 0u : static_cast<unsigned char>(s[i]));
    }
    return id;
}

// A handler on any object; typed handlers (nCmdDef) are adapted to it.
using nCmdHandler = void (*)(nRoot* obj, nCmd* cmd);

// A command's declaration: name and argument letters parsed from a prototype text such
// as "s_getrelpath_o" (outputs, name, inputs; 'v' means none), its id and its handler.
// It hands out one reusable template command, or a private copy while the template is
// in use (nested calls).
class nCmdProto : public nHashNode {
public:
    using RawFn = void (*)();
    // Calls a handler stored as RawFn after casting it back to its real type.
    using Invoker = void (*)(RawFn fn, nRoot* obj, nCmd* cmd);
    // Writes a command's one result straight into `out` (already of the output's type):
    // the same work as the handler, without a command to fill, for callers that run it
    // at every script call.
    using Getter = void (*)(nRoot* obj, nArg* out);
    // A getter whose function returns a text the object keeps (a const char*): it gives
    // that text itself (or null), with no argument to write.
    using TextGetter = const char* (*)(nRoot* obj);
    // Runs a command that takes one to four floats and returns nothing with its inputs
    // read from `in`: the same work as the handler, without a command to fill, for
    // callers that send sampled values every frame (nFloatCommand).
    using FloatSetter = void (*)(nRoot* obj, const float* in);

    nCmdProto(const char* protoText, uint32_t id, nCmdHandler handler);
    nCmdProto(const char* protoText, uint32_t id, RawFn fn, Invoker invoke);
    ~nCmdProto() override;
    nCmdProto(const nCmdProto&) = delete;
    nCmdProto& operator=(const nCmdProto&) = delete;

    // False when the prototype text could not be parsed (missing parts, an unknown
    // letter, more than 16 arguments).
    bool IsValid() const { return valid_; }

    const char* GetProtoText() const { return protoText_.Get(); }
    uint32_t GetId() const { return id_; }
    int GetNumInArgs() const { return numIn_; }
    int GetNumOutArgs() const { return numOut_; }
    nArg::Type GetInType(int i) const { return inTypes_[i]; }
    nArg::Type GetOutType(int i) const { return outTypes_[i]; }

    // One input or more, all floats: a command that a slot sending sampled values may
    // drive. One without inputs receives no value (save, exit, closedisplay) and is none.
    bool TakesFloats() const;
    // No inputs, and `n` results or more (one at least), all floats: a command that a
    // getter slot may read. save's truth value, or a command without results, is none.
    bool GivesFloats(int n) const;

    // A command ready to be filled: the template when free, else a new copy.
    nCmd* NewCmd();
    // As NewCmd, for a caller that fills every input itself (the script binding on
    // every call): only the outputs are reset, the inputs keep the last call's values
    // until they are filled.
    nCmd* NewFilledCmd();
    // Gives a command back: frees the template, deletes a copy; null is ignored.
    void RelCmd(nCmd* cmd);
    bool IsTemplateBusy() const { return templateBusy_; }
    // The template itself, marked busy, or null while it is in use (a nested call of the
    // same command): for the script binding's call path, which resets what it needs
    // itself. Give it back with ReleaseTemplate.
    nCmd* TakeTemplate() {
        if (templateBusy_) return nullptr;
        templateBusy_ = true;
        return template_;
    }
    void ReleaseTemplate() { templateBusy_ = false; }

    // Runs the handler on `obj` (no checks; nRoot::Dispatch is the checked road).
    void Call(nRoot* obj, nCmd* cmd) const { invoke_(fn_, obj, cmd); }

    // The class that registered the command (null for a proto made on its own).
    nClass* GetOwner() const { return owner_; }
    void SetOwner(nClass* cls) { owner_ = cls; }
    bool HasHandler() const { return fn_ != nullptr; }
    // Set for commands that take no input and return one int, float, bool or text by a
    // plain call of one member function (rows made by Bind); null otherwise.
    Getter GetGetter() const { return getter_; }
    void SetGetter(Getter getter) { getter_ = getter; }
    // Set beside the getter for the rows whose function returns a const char*.
    TextGetter GetTextGetter() const { return textGetter_; }
    void SetTextGetter(TextGetter getter) { textGetter_ = getter; }
    // Set for the rows made by Bind over a function of one to four floats and for the
    // vector rows (BindVector3); null for every other command.
    FloatSetter GetFloatSetter() const { return floatSetter_; }
    void SetFloatSetter(FloatSetter setter) { floatSetter_ = setter; }
    // Set for the commands that their class declares open to data's text on objects under
    // "/sys" (nClassInfo's data-safe list); every other such call from data is refused.
    bool IsDataSafe() const { return dataSafe_; }
    void SetDataSafe() { dataSafe_ = true; }

    // The next command of the same class, in registration order.
    nCmdProto* GetNextCmd() const { return static_cast<nCmdProto*>(GetSucc()); }

private:
    void Parse(const char* protoText);

    nString protoText_;
    uint32_t id_;
    RawFn fn_;
    Invoker invoke_;
    Getter getter_ = nullptr;
    TextGetter textGetter_ = nullptr;
    FloatSetter floatSetter_ = nullptr;
    bool valid_ = false;
    uint8_t numIn_ = 0;
    uint8_t numOut_ = 0;
    nArg::Type inTypes_[16] = {};
    nArg::Type outTypes_[16] = {};
    bool templateBusy_ = false;
    bool dataSafe_ = false;
    nCmd* template_ = nullptr;
    nClass* owner_ = nullptr;
};
