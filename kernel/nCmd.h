#pragma once
#include <cstdint>

#include "kernel/nArg.h"

class nCmdProto;

// One call of a script command: up to 16 typed arguments, outputs first, then inputs.
// Handlers read inputs with In() and write results with Out(), each in prototype order.
class nCmd {
public:
    static constexpr int MaxArgs = 16;

    // A command typed by its prototype: every slot holds its type's empty value.
    explicit nCmd(nCmdProto* proto);
    // Same prototype, cursors rewound, the used arguments copied.
    nCmd(const nCmd& other);
    nCmd& operator=(const nCmd&) = delete;

    // The next input; past the last input a spare argument is returned and the command
    // is marked malformed, so CheckInputs fails and Dispatch refuses it.
    nArg* In() {
        if (inCursor_ >= numOut_ + numIn_) return Overflow();
        return &args_[inCursor_++];
    }
    // The next output (a spare argument past the last one).
    nArg* Out() {
        if (outCursor_ >= numOut_) return Overflow();
        return &args_[outCursor_++];
    }
    void Rewind() {
        outCursor_ = 0;
        inCursor_ = numOut_;
    }
    // Every slot back to its prototype type's empty value, cursors rewound.
    void Reset();
    // Only the outputs back to their empty values (the inputs are about to be filled),
    // cursors rewound.
    void ResetOutputs();

    // True when every input holds a value of its prototype letter's type and no input
    // or output was written past the end.
    bool CheckInputs() const;

    // Argument `index` (outputs first); the spare argument past the used ones.
    nArg* GetArg(int index) {
        return (index >= 0 && index < GetNumOutArgs() + GetNumInArgs()) ? &args_[index] : &spare_;
    }
    uint32_t GetId() const;
    nCmdProto* GetProto() const { return proto_; }
    int GetNumInArgs() const { return numIn_; }
    int GetNumOutArgs() const { return numOut_; }

    // After a handler ran (checked builds): every output holds its prototype letter's
    // type, and the handler took exactly its inputs and wrote exactly its outputs. A
    // handler that does not fails a test at once instead of writing a wrong save later:
    // the program stops naming the class, the command and the slot.
    void CheckAfterCall(const char* className) const;

    // Marks this command as the one whose handler runs, for the messages of the checks;
    // the previous one comes back when the guard ends (nested calls).
    class Running {
    public:
        Running(const nCmd* cmd, const char* className);
        ~Running();
        Running(const Running&) = delete;
        Running& operator=(const Running&) = delete;

    private:
        const nCmd* prevCmd_;
        const char* prevClass_;
    };
    // "class 'x', command 'y', input 2" for an argument of the running command.
    static void DescribeRunning(const nArg* arg, char* buf, int size);

private:
    nArg* Overflow() {
        overflow_ = true;
        return &spare_;
    }
    [[noreturn]] void CheckFailed(const char* className, const char* what, int slot) const;
    static thread_local const nCmd* running_;
    static thread_local const char* runningClass_;

    nCmdProto* proto_;
    int numOut_;
    int numIn_;
    int outCursor_ = 0;
    int inCursor_ = 0;
    bool overflow_ = false;
    nArg args_[MaxArgs];
    nArg spare_;
};
