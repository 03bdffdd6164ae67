#include "kernel/nCmdProto.h"

#include <cstring>
#include <string>

#include "kernel/nCmd.h"

static void InvokePlain(nCmdProto::RawFn fn, nRoot* obj, nCmd* cmd) {
    reinterpret_cast<nCmdHandler>(fn)(obj, cmd);
}

nCmdProto::nCmdProto(const char* protoText, uint32_t id, nCmdHandler handler)
    : nCmdProto(protoText, id, reinterpret_cast<RawFn>(handler), InvokePlain) {}

nCmdProto::nCmdProto(const char* protoText, uint32_t id, RawFn fn, Invoker invoke)
    : protoText_(protoText), id_(id), fn_(fn), invoke_(invoke) {
    Parse(protoText);
    template_ = new nCmd(this);
}

nCmdProto::~nCmdProto() { delete template_; }

// "outputs_name_inputs": runs of '_' count as one separator, so a name never holds '_'.
void nCmdProto::Parse(const char* protoText) {
    std::string tokens[3];
    int n = 0;
    bool extra = false;
    for (const char* p = protoText ? protoText : ""; *p;) {
        while (*p == '_') p++;
        if (!*p) break;
        const char* start = p;
        while (*p && *p != '_') p++;
        if (n < 3)
            tokens[n++].assign(start, static_cast<size_t>(p - start));
        else
            extra = true;
    }
    SetName(n >= 2 ? tokens[1].c_str() : "");
    if (n != 3 || extra) return;

    int counts[2] = {0, 0};
    nArg::Type* types[2] = {outTypes_, inTypes_};
    const std::string* letters[2] = {&tokens[0], &tokens[2]};
    for (int side = 0; side < 2; side++) {
        for (char c : *letters[side]) {
            if (c == 'v') continue;
            nArg::Type t = nArg::TypeOfLetter(c);
            if (t == nArg::Void) return;  // unknown letter
            if (counts[0] + counts[1] >= 16) return;
            types[side][counts[side]++] = t;
        }
    }
    numOut_ = static_cast<uint8_t>(counts[0]);
    numIn_ = static_cast<uint8_t>(counts[1]);
    valid_ = true;
}

nCmd* nCmdProto::NewCmd() {
    nCmd* cmd;
    if (!templateBusy_) {
        templateBusy_ = true;
        cmd = template_;
    } else {
        cmd = new nCmd(*template_);
    }
    cmd->Reset();
    return cmd;
}

nCmd* nCmdProto::NewFilledCmd() {
    if (templateBusy_) return NewCmd();
    templateBusy_ = true;
    template_->ResetOutputs();
    return template_;
}

bool nCmdProto::TakesFloats() const {
    if (numIn_ < 1) return false;
    for (int i = 0; i < numIn_; i++) {
        if (inTypes_[i] != nArg::Float) return false;
    }
    return true;
}

bool nCmdProto::GivesFloats(int n) const {
    if (numIn_ != 0 || numOut_ < 1 || numOut_ < n) return false;
    for (int i = 0; i < numOut_; i++) {
        if (outTypes_[i] != nArg::Float) return false;
    }
    return true;
}

void nCmdProto::RelCmd(nCmd* cmd) {
    if (!cmd) return;
    if (cmd == template_)
        templateBusy_ = false;
    else
        delete cmd;
}
