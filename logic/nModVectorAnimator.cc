#include "logic/nModVectorAnimator.h"

#include <cstring>
#include <string>

#include "anim/nEnvelope.h"
#include "anim/nEnvelopeServer.h"
#include "kernel/nClass.h"
#include "kernel/nCmd.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "logic/nLogicNode.h"

static const nCmdDef<nModVectorAnimator> cmds[] = {
    Bind<&nModVectorAnimator::BeginAnims>("v_beginanims_i", "BGAS"),
    Bind<&nModVectorAnimator::BeginAnim>("v_beginanim_s", "BGAN"),
    Bind<&nModVectorAnimator::SetKeyFile>("v_setkeyfile_s", "SKFI"),
    Bind<&nModVectorAnimator::EndAnim>("v_endanim_v", "ENAN"),
    Bind<&nModVectorAnimator::EndAnims>("v_endanims_v", "ENAS"),
};
const nClassInfo nModVectorAnimator::classInfo =
    nClassInfo::Make<nModVectorAnimator>("nmodvectoranimator", "nmodanimator", cmds);

nModVectorAnimator::Anim::~Anim() {
    if (nEnvelope* e = envelope.GetUnsafe()) {
        envelope.Invalidate();
        e->Release();
    }
}

nModVectorAnimator::nModVectorAnimator() {
    SetHotAnimate(&AnimateVectors);
}

nModVectorAnimator::~nModVectorAnimator() = default;

void nModVectorAnimator::BeginAnims(int count) {
    if (count < 0 || count > MaxAnims) {
        n_error("%s: beginanims: %d animations (0 to %d), unchanged\n", GetFullName().c_str(), count, MaxAnims);
        return;
    }
    if (!animsCharge_.Hold(uint64_t(count) * (sizeof(Anim) + sizeof(Hot)), this, "v_beginanims_i")) return;
    anims_.reset(count > 0 ? new Anim[size_t(count)] : nullptr);
    moreHot_.reset(count > 1 ? new Hot[size_t(count - 1)] : nullptr);
    first_ = Hot();
    animCount_ = count;
    animsOpen_ = true;
    origin_ = nScriptServer::CurrentOrigin();
    current_ = -1;
    Unbind();
}

void nModVectorAnimator::BeginAnim(const char* name) {
    if (current_ + 1 >= animCount_) {
        n_error("%s: beginanim '%s': only %d animations were announced, ignored\n", GetFullName().c_str(),
                name ? name : "", animCount_);
        // The key file that follows belongs to the refused animation, not the last one.
        current_ = animCount_;
        return;
    }
    current_++;
    anims_[current_].cmdName = name ? name : "";
    origin_ = nScriptServer::Weaker(origin_, nScriptServer::CurrentOrigin());
    animOpen_ = true;
    Unbind();
}

void nModVectorAnimator::SetKeyFile(const char* file) {
    if (!nFileServer2::MayKeepPath(file)) return;
    if (current_ < 0 || current_ >= animCount_) {
        n_error("%s: setkeyfile '%s' without an animation begun, ignored\n", GetFullName().c_str(), file ? file : "");
        return;
    }
    Anim& a = anims_[current_];
    a.keyFile = file ? file : "";
    origin_ = nScriptServer::Weaker(origin_, nScriptServer::CurrentOrigin());
    if (nEnvelope* e = a.envelope.GetUnsafe()) {
        a.envelope.Invalidate();
        e->Release();
    }
    Hot& h = HotAt(current_);
    h.envelope = nullptr;
    h.failed = false;
    h.cursor = 0;
    h.ended = false;
}

bool nModVectorAnimator::SaveCmds(nPersistServer* ps) {
    if (!nModAnimator::SaveCmds(ps)) return false;
    if (animCount_ == 0) return true;
    // A copy made by clone keeps the table's origin.
    nScriptServer::OriginScope origin(origin_);
    bool ok = ps->Put(this, nId("BGAS"), animCount_);
    for (int i = 0; ok && i < animCount_; i++) {
        ok = ps->Put(this, nId("BGAN"), anims_[i].cmdName.Get()) && ps->Put(this, nId("SKFI"), anims_[i].keyFile.Get()) &&
             ps->Put(this, nId("ENAN"));
    }
    return ok && ps->Put(this, nId("ENAS"));
}

void nModVectorAnimator::RefreshHot() {
    hotClears_ = nRefBase::ClearCount();
    hotNode_ = boundNode_.GetUnsafe();
    for (int i = 0; i < animCount_; i++) HotAt(i).envelope = anims_[i].envelope.GetUnsafe();
}

void nModVectorAnimator::Bind(nLogicNode* node) {
    nClass* cls = node->GetClass();
    for (int i = 0; i < animCount_; i++) {
        Hot& h = HotAt(i);
        h.ended = false;
        const char* name = anims_[i].cmdName.Get();
        nCmdProto* proto = nFloatCommand::FindByNameOrProto(cls, name);
        if (h.command.Bind(proto)) {
            bool refused = false;
            if (!nScriptServer::MayRunKept(node, proto, origin_, refused)) h.command.Unbind();
            continue;
        }
        n_error("%s: animation %d on '%s': %s '%s'%s; not animated\n", GetFullName().c_str(), i,
                node->GetFullName().c_str(), proto ? "the command" : "its class has no command", name,
                proto ? " does not take one to four floats" : "");
    }
    boundNode_ = node;
    hotNode_ = node;
}

nEnvelope* nModVectorAnimator::LoadEnvelope(int i) {
    nEnvelopeServer* server = refEnvelopeServer_.Get();
    const char* file = anims_[i].keyFile.Get();
    nEnvelope* env = server->FindEnvelope(file);
    if (!env) {
        if (!std::strstr(file, ".nea")) {
            n_error("%s: key file '%s' is no .nea file; not animated\n", GetFullName().c_str(), file);
        } else if ((env = server->NewEnvelope(file)) && !env->LoadKeys(refFileServer_.Get(), file)) {
            // A file that does not load leaves no envelope behind for others to share.
            env->Release();
            env = nullptr;
            n_error("%s: key file '%s' does not load; not animated\n", GetFullName().c_str(), file);
        }
    }
    if (env && env->GetNumKeys() == 0) {
        // Nothing to send, ever: dropped like a file that does not load.
        env->Release();
        env = nullptr;
        n_error("%s: key file '%s' holds no keys; not animated\n", GetFullName().c_str(), file);
    }
    anims_[i].envelope = env;
    Hot& h = HotAt(i);
    h.envelope = env;
    h.failed = !env;
    return env;
}

void nModVectorAnimator::Animate(nLogicNode* node, float t) {
    AnimateVectors(this, node, t);
}

inline void nModVectorAnimator::Play(Hot& h, nEnvelope* env, nLogicNode* node, float t) {
    const bool loop = repType_ == Loop;
    // Oneshot animations send nothing after their last key, but the frame that steps past
    // it sends that key's value, so a long frame ends the animation where a short one does.
    // Looping ones need not look at the keys here.
    if (!loop) {
        const int n = env->GetNumKeys();
        if (n == 0) return;
        if (t <= env->GetKey(n - 1)->time) h.ended = false;
        else if (h.ended) return;
        else h.ended = true;
    }
    float v[4];
    env->Sample(h.cursor, v, t, 1.0f, loop);
    h.command.Send(node, v);
}

// Static, so that the animator state calls it straight from the animator's hot line.
void nModVectorAnimator::AnimateVectors(nModAnimator* animator, nLogicNode* node, float t) {
    nModVectorAnimator* self = static_cast<nModVectorAnimator*>(animator);
    nScriptServer::OriginScope origin(self->origin_);
    // Most animators play one animation into the node they are bound to: that frame
    // takes this short road, everything else (binding, loading, several animations) the
    // whole walk.
    nEnvelope* env = self->first_.envelope;
    if (self->hotClears_ != nRefBase::ClearCount() || node != self->hotNode_ || self->animCount_ != 1 || !env) {
        self->AnimateAll(node, t);
        return;
    }
    if (self->first_.command.proto) self->Play(self->first_, env, node, t);
}

void nModVectorAnimator::AnimateAll(nLogicNode* node, float t) {
    // A node that died clears the reference, so a new node at its address binds anew.
    if (hotClears_ != nRefBase::ClearCount()) RefreshHot();
    if (node != hotNode_) {
        if (!node || animCount_ == 0) return;
        Bind(node);
    }
    // The commands are float setters of the node: they run no script that could
    // release this module or change its animations.
    Hot* h = &first_;
    for (int i = 0;;) {
        nEnvelope* env = h->envelope;
        if (h->command.proto && (env || (!h->failed && (env = LoadEnvelope(i))))) Play(*h, env, node, t);
        if (++i >= animCount_) break;
        h = &moreHot_[i - 1];
    }
}
