#include "scene/nChannelServer.h"

#include <cstring>

#include "kernel/nCmd.h"
#include "kernel/nEnv.h"
#include "kernel/nKernelServer.h"
#include "scene/nChannelSet.h"

namespace {

const nChannelSlot zeroSlot = {};

// Every command names its channel; a refused name makes a setter do nothing and a
// getter read 0.
int channelOf(nChannelServer* self, nCmd* c) { return self->GenChannel(c->In()->GetS()); }

const nCmdDef<nChannelServer> cmds[] = {
    {"v_setchannel1f_sf", "SCH1",
     [](nChannelServer* self, nCmd* c) {
         int i = channelOf(self, c);
         self->SetChannel1f(i, c->In()->GetF());
     }},
    {"v_setchannel2f_sff", "SCH2",
     [](nChannelServer* self, nCmd* c) {
         int i = channelOf(self, c);
         float a = c->In()->GetF();
         self->SetChannel2f(i, a, c->In()->GetF());
     }},
    {"v_setchannel3f_sfff", "SCH3",
     [](nChannelServer* self, nCmd* c) {
         int i = channelOf(self, c);
         float a = c->In()->GetF(), b = c->In()->GetF();
         self->SetChannel3f(i, a, b, c->In()->GetF());
     }},
    {"v_setchannel4f_sffff", "SCH4",
     [](nChannelServer* self, nCmd* c) {
         int i = channelOf(self, c);
         float a = c->In()->GetF(), b = c->In()->GetF(), d = c->In()->GetF();
         self->SetChannel4f(i, a, b, d, c->In()->GetF());
     }},
    {"v_setchannelstring_ss", "SCHS",
     [](nChannelServer* self, nCmd* c) {
         int i = channelOf(self, c);
         self->SetChannelString(i, c->In()->GetS());
     }},
    {"f_getchannel1f_s", "GCH1",
     [](nChannelServer* self, nCmd* c) { c->Out()->SetF(self->GetChannel(channelOf(self, c)).f[0]); }},
    {"ff_getchannel2f_s", "GCH2",
     [](nChannelServer* self, nCmd* c) {
         const nChannelSlot& s = self->GetChannel(channelOf(self, c));
         for (int k = 0; k < 2; k++) c->Out()->SetF(s.f[k]);
     }},
    {"fff_getchannel3f_s", "GCH3",
     [](nChannelServer* self, nCmd* c) {
         const nChannelSlot& s = self->GetChannel(channelOf(self, c));
         for (int k = 0; k < 3; k++) c->Out()->SetF(s.f[k]);
     }},
    {"ffff_getchannel4f_s", "GCH4",
     [](nChannelServer* self, nCmd* c) {
         const nChannelSlot& s = self->GetChannel(channelOf(self, c));
         for (int k = 0; k < 4; k++) c->Out()->SetF(s.f[k]);
     }},
    {"s_getchannelstring_s", "GCHS",
     [](nChannelServer* self, nCmd* c) { c->Out()->SetS(self->GetChannelString(channelOf(self, c))); }},
};

}  // namespace

const nClassInfo nChannelServer::classInfo = nClassInfo::Make<nChannelServer>("nchannelserver", "nroot", cmds);

const nChannelSlot& nChannelContext::Slot(const nChannelContext* ctx, int pos) {
    if (!ctx || !ctx->set || !ctx->values || pos < 0 || pos >= ctx->set->GetNumChannels()) return zeroSlot;
    return ctx->values[pos];
}

const nChannelSlot& nChannelContext::Read(const nChannelContext* ctx, int channel) {
    if (!ctx || !ctx->set) return zeroSlot;
    return Slot(ctx, ctx->set->Find(channel));
}

nChannelSlot* nChannelContext::Writable(nChannelContext* ctx, int channel) {
    if (!ctx || !ctx->set || !ctx->values) return nullptr;
    int pos = ctx->set->Find(channel);
    if (pos < 0 || pos >= ctx->set->GetNumChannels()) return nullptr;
    return &ctx->values[pos];
}

nChannelServer::nChannelServer() {
    std::memset(values_, 0, sizeof(values_));
    std::memset(stack_, 0, sizeof(stack_));
    nKernelServer* ks = nKernelServer::ks;
    nRoot* dir = ks->Lookup("/sys/share/channels");
    if (dir) dir->AddRef();
    else dir = ks->New("nroot", "/sys/share/channels");
    channelDir_.Set(dir);
    // A server made again after an earlier one keeps the indices already handed out, so
    // a new channel never shares one.
    for (nRoot* c = dir->GetHead(); c; c = c->GetSucc()) {
        if (!c->IsA("nenv")) continue;
        int index = static_cast<nEnv*>(c)->GetI();
        if (index >= numChannels_ && index < MaxChannels) numChannels_ = index + 1;
    }
}

nChannelServer::~nChannelServer() {
    nRoot* dir = channelDir_.GetUnsafe();
    channelDir_.Set(nullptr);
    if (dir) dir->Release();
}

void nChannelServer::refuse(const char* what) {
    if (refusedThisFrame_) return;
    // Outside a scene every refusal is reported; inside one, the first of the frame.
    if (inScene_) refusedThisFrame_ = true;
    n_error("nChannelServer: %s\n", what);
}

int nChannelServer::GenChannel(const char* name) {
    if (!name || !*name || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0 ||
        std::strchr(name, '/')) {
        n_error("nChannelServer: '%s' is no channel name\n", name ? name : "");
        return -1;
    }
    if (std::strlen(name) > MaxNameLength) {
        n_error("nChannelServer: a channel name longer than %zu bytes is refused\n", MaxNameLength);
        return -1;
    }
    nRoot* dir = channelDir_.GetUnsafe();
    if (!dir) nKernelServer::FatalError("Aborting.");
    if (nRoot* found = dir->Find(name)) {
        if (nEnv* env = found->IsA("nenv") ? static_cast<nEnv*>(found) : nullptr) return env->GetI();
        n_error("nChannelServer: '%s' under the channel directory is no channel\n", name);
        return -1;
    }
    if (numChannels_ >= MaxChannels) {
        n_error("nChannelServer: no room for channel '%s', all %d are taken\n", name, MaxChannels);
        return -1;
    }
    nKernelServer* ks = nKernelServer::ks;
    ks->PushCwd(dir);
    nRoot* obj = ks->NewNoFail("nenv", name);
    ks->PopCwd();
    if (!obj || obj->GetParent() != dir) {
        n_error("nChannelServer: channel '%s' could not be made\n", name);
        return -1;
    }
    int index = numChannels_++;
    static_cast<nEnv*>(obj)->SetI(index);
    std::memset(&values_[index], 0, sizeof(nChannelSlot));
    return index;
}

const nChannelSlot& nChannelServer::GetChannel(int index) const {
    return valid(index) ? values_[index] : zeroSlot;
}

void nChannelServer::SetChannel1f(int index, float a) {
    if (valid(index)) values_[index].f[0] = a;
}

void nChannelServer::SetChannel2f(int index, float a, float b) {
    if (!valid(index)) return;
    values_[index].f[0] = a;
    values_[index].f[1] = b;
}

void nChannelServer::SetChannel3f(int index, float a, float b, float c) {
    if (!valid(index)) return;
    values_[index].f[0] = a;
    values_[index].f[1] = b;
    values_[index].f[2] = c;
}

void nChannelServer::SetChannel4f(int index, float a, float b, float c, float d) {
    if (!valid(index)) return;
    values_[index] = {{a, b, c, d}};
}

uint32_t nChannelServer::GetChannelRaw(int index) const {
    uint32_t word = 0;
    if (valid(index)) std::memcpy(&word, &values_[index].f[0], sizeof(word));
    return word;
}

void nChannelServer::SetChannelRaw(int index, uint32_t word) {
    if (valid(index)) std::memcpy(&values_[index].f[0], &word, sizeof(word));
}

void nChannelServer::SetChannelString(int index, const char* text) {
    if (!valid(index)) return;
    strings_[index] = text ? text : "";
    SetChannelRaw(index, text ? 1u : 0u);
}

const char* nChannelServer::GetChannelString(int index) const {
    if (GetChannelRaw(index) == 0) return nullptr;
    return strings_[index].Get();
}

void nChannelServer::BeginScene() {
    numContexts_ = 0;
    stackTop_ = 0;
    refusedThisFrame_ = false;
    inScene_ = true;
}

void nChannelServer::EndScene() {
    for (int i = 0; i < numContexts_; i++) {
        nChannelContext& ctx = contexts_[i];
        if (ctx.set) ctx.set->RemRef();
        ctx.set = nullptr;
        ctx.values = nullptr;
    }
    numContexts_ = 0;
    inScene_ = false;
}

void nChannelServer::ForgetSet(nChannelSet* set) {
    for (int i = 0; i < numContexts_; i++) {
        if (contexts_[i].set != set) continue;
        set->RemRef();
        contexts_[i].set = nullptr;
        contexts_[i].values = nullptr;
    }
}

nChannelContext* nChannelServer::NewContext(nChannelSet* set) {
    if (numContexts_ >= MaxContexts) {
        refuse("more than 1024 channel contexts in one frame; the rest read 0");
        return nullptr;
    }
    nChannelContext* ctx = &contexts_[numContexts_];
    if (!BeginContext(set, ctx)) return nullptr;
    numContexts_++;
    return ctx;
}

bool nChannelServer::BeginContext(nChannelSet* set, nChannelContext* ctx) {
    ctx->set = nullptr;
    ctx->values = nullptr;
    if (!set) return false;
    int n = set->GetNumChannels();
    nChannelSlot* slots = AllocValues(n);
    if (!slots) return false;
    for (int pos = 0; pos < n; pos++) slots[pos] = GetChannel(set->GetChannelAt(pos));
    set->AddRef();
    ctx->set = set;
    ctx->values = slots;
    return true;
}

nChannelSlot* nChannelServer::AllocValues(int n) {
    if (n < 0 || n > MaxSlots - stackTop_) {
        refuse("the frame's channel values exceed 2048 slots; the rest read 0");
        return nullptr;
    }
    nChannelSlot* slots = &stack_[stackTop_];
    stackTop_ += n;
    return slots;
}
