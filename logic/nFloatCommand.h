#pragma once
// A command of one to four float inputs that sampled key values drive (the vector
// animator's animations, the interpolator node): bound once to its prototype, then sent
// values without allocating.
#include "kernel/nCmd.h"
#include "kernel/nCmdProto.h"
#include "kernel/nRoot.h"

class nClass;

class nFloatCommand {
public:
    // The command of `cls` by its name ("txyz") or by its whole prototype ("v_txyz_fff",
    // which must then match exactly); null when there is none.
    static nCmdProto* FindByNameOrProto(nClass* cls, const char* name);
    // Whether `p` takes one to four floats and nothing else.
    static bool TakesOneToFourFloats(const nCmdProto* p);

    // Binds `p` when it takes one to four floats; otherwise (also for null) leaves the
    // command unbound and returns false.
    bool Bind(nCmdProto* p);
    void Unbind() {
        proto = nullptr;
        numIn = 0;
        numOut = 0;
    }
    // Runs the bound command on `target`, an object of the class it was found in, with
    // the first inputs of `v`. Inline: it runs once per animated command and frame, and
    // for a float setter the call is all the work.
    void Send(nRoot* target, const float v[4]) const {
        // A command that is a plain call of a float setter is made as that call; the
        // prototype is shared by every sender of the command, so this costs no cache line.
        if (nCmdProto::FloatSetter setter = proto->GetFloatSetter()) {
            setter(target, v);
            return;
        }
        SendCommand(target, v);
    }

    nCmdProto* proto = nullptr;  // null: not bound
    int numIn = 0;
    int numOut = 0;

private:
    // Send through the command and its handler.
    void SendCommand(nRoot* target, const float v[4]) const;
};
