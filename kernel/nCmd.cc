#include "kernel/nCmd.h"

#include <cstdio>

#include "kernel/nCmdProto.h"
#include "kernel/nKernelServer.h"

thread_local const nCmd* nCmd::running_ = nullptr;
thread_local const char* nCmd::runningClass_ = nullptr;

nCmd::nCmd(nCmdProto* proto)
    : proto_(proto), numOut_(proto->GetNumOutArgs()), numIn_(proto->GetNumInArgs()) {
    Reset();
}

nCmd::nCmd(const nCmd& other) : proto_(other.proto_), numOut_(other.numOut_), numIn_(other.numIn_) {
    int used = GetNumInArgs() + GetNumOutArgs();
    for (int i = 0; i < used; i++) args_[i] = other.args_[i];
    Rewind();
}

uint32_t nCmd::GetId() const { return proto_->GetId(); }

void nCmd::Reset() {
    int numOut = GetNumOutArgs();
    int numIn = GetNumInArgs();
    for (int i = 0; i < numOut; i++) args_[i].SetType(proto_->GetOutType(i));
    for (int i = 0; i < numIn; i++) args_[numOut + i].SetType(proto_->GetInType(i));
    spare_.Reset();
    overflow_ = false;
    Rewind();
}

void nCmd::ResetOutputs() {
    for (int i = 0; i < numOut_; i++) args_[i].SetType(proto_->GetOutType(i));
    overflow_ = false;
    Rewind();
}

bool nCmd::CheckInputs() const {
    if (overflow_) return false;
    int numOut = GetNumOutArgs();
    for (int i = 0; i < GetNumInArgs(); i++) {
        if (args_[numOut + i].GetType() != proto_->GetInType(i)) return false;
    }
    return true;
}

nCmd::Running::Running(const nCmd* cmd, const char* className)
    : prevCmd_(running_), prevClass_(runningClass_) {
    running_ = cmd;
    runningClass_ = className;
}

nCmd::Running::~Running() {
    running_ = prevCmd_;
    runningClass_ = prevClass_;
}

void nCmd::DescribeRunning(const nArg* arg, char* buf, int size) {
    const nCmd* cmd = running_;
    if (!cmd) {
        std::snprintf(buf, size_t(size), "no command running");
        return;
    }
    int numOut = cmd->GetNumOutArgs();
    int index = -1;
    for (int i = 0; i < numOut + cmd->GetNumInArgs(); i++) {
        if (&cmd->args_[i] == arg) index = i;
    }
    const char* side = index < 0 ? "an argument of no slot" : index < numOut ? "output" : "input";
    int slot = index < numOut ? index + 1 : index - numOut + 1;
    std::snprintf(buf, size_t(size), "class '%s', command '%s', %s %d", runningClass_ ? runningClass_ : "?",
                  cmd->proto_->GetProtoText(), side, index < 0 ? 0 : slot);
}

void nCmd::CheckFailed(const char* className, const char* what, int slot) const {
    nKernelServer::FatalError("Command check: class '%s', command '%s', %s %d\n", className ? className : "?",
                              proto_->GetProtoText(), what, slot);
}

void nCmd::CheckAfterCall([[maybe_unused]] const char* className) const {
#ifdef N_CMD_CHECKS
    int numOut = GetNumOutArgs();
    int numIn = GetNumInArgs();
    if (overflow_) CheckFailed(className, "handler used a slot past the last one, slot", numOut + numIn + 1);
    for (int i = 0; i < numOut; i++) {
        if (args_[i].GetType() != proto_->GetOutType(i)) CheckFailed(className, "output of another type than its letter, output", i + 1);
    }
    if (outCursor_ != numOut) CheckFailed(className, "handler did not write every output, written", outCursor_);
    if (inCursor_ != numOut + numIn) CheckFailed(className, "handler did not read every input, read", inCursor_ - numOut);
#endif
}
