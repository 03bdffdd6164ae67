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
    // the first inputs of `v`. Inline: it runs once per animated command and frame, and a
    // call of its own costs about as much as filling the inputs.
    void Send(nRoot* target, const float v[4]) const {
        // The prototype's own command, filled in place, unless a call of the same command
        // is running or the command has results to reset.
        nCmd* cmd = numOut == 0 ? proto->TakeTemplate() : nullptr;
        const bool shared = cmd != nullptr;
        if (!shared) cmd = proto->NewFilledCmd();
        nArg* in = cmd->GetArg(numOut);
        switch (numIn) {
            case 4: in[3].SetF(v[3]); [[fallthrough]];
            case 3: in[2].SetF(v[2]); [[fallthrough]];
            case 2: in[1].SetF(v[1]); [[fallthrough]];
            default: in[0].SetF(v[0]);
        }
        target->DispatchFilled(cmd);
        if (shared) proto->ReleaseTemplate();
        else proto->RelCmd(cmd);
    }

    nCmdProto* proto = nullptr;  // null: not bound
    int numIn = 0;
    int numOut = 0;
};
