#include "kernel/nCmd.h"

#include "kernel/nCmdProto.h"

nCmd::nCmd(nCmdProto* proto) : proto_(proto) { Reset(); }

nCmd::nCmd(const nCmd& other) : proto_(other.proto_) {
    int used = GetNumInArgs() + GetNumOutArgs();
    for (int i = 0; i < used; i++) args_[i] = other.args_[i];
    Rewind();
}

int nCmd::GetNumInArgs() const { return proto_->GetNumInArgs(); }
int nCmd::GetNumOutArgs() const { return proto_->GetNumOutArgs(); }
uint32_t nCmd::GetId() const { return proto_->GetId(); }

void nCmd::Rewind() {
    outCursor_ = 0;
    inCursor_ = GetNumOutArgs();
}

void nCmd::Reset() {
    int numOut = GetNumOutArgs();
    int numIn = GetNumInArgs();
    for (int i = 0; i < numOut; i++) args_[i].SetType(proto_->GetOutType(i));
    for (int i = 0; i < numIn; i++) args_[numOut + i].SetType(proto_->GetInType(i));
    spare_.Reset();
    overflow_ = false;
    Rewind();
}

nArg* nCmd::In() {
    if (inCursor_ >= GetNumOutArgs() + GetNumInArgs()) {
        overflow_ = true;
        return &spare_;
    }
    return &args_[inCursor_++];
}

nArg* nCmd::Out() {
    if (outCursor_ >= GetNumOutArgs()) {
        overflow_ = true;
        return &spare_;
    }
    return &args_[outCursor_++];
}

bool nCmd::CheckInputs() const {
    if (overflow_) return false;
    int numOut = GetNumOutArgs();
    for (int i = 0; i < GetNumInArgs(); i++) {
        if (args_[numOut + i].GetType() != proto_->GetInType(i)) return false;
    }
    return true;
}
