#pragma once
// Plays ".nea" key files into commands of its logic node (script class
// "nmodvectoranimator"): each animation names a command of the node's class taking one
// to four floats ("txyz" or "v_txyz_fff") and a key file whose envelope, shared through
// the envelope server, is sampled at the node time and sent as the command's inputs.
// Oneshot animations send their last key once a frame passes it, then stop sending;
// looping ones wrap.
#include <cstdint>
#include <memory>

#include "kernel/nDataCharge.h"
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "kernel/nScriptServer.h"
#include "kernel/nString.h"
#include "logic/nFloatCommand.h"
#include "logic/nModAnimator.h"

class nCmdProto;
class nEnvelope;
class nEnvelopeServer;
class nFileServer2;

class nModVectorAnimator final : public nModAnimator {
public:
    static const nClassInfo classInfo;
    // Larger counts are refused: no node has that many animated commands, and a wrong
    // count must not allocate gigabytes.
    static constexpr int MaxAnims = 4096;

    nModVectorAnimator();
    ~nModVectorAnimator() override;
    bool SaveCmds(nPersistServer* ps) override;

    // Sends every animation's values to `owner`; allocates nothing once the envelopes are
    // loaded. Commands the node's class lacks and key files that do not load are logged
    // (once per node, once per key file) and skipped.
    void Animate(nLogicNode* owner, float time) override;

    // Drops the animations (releasing their envelopes) for `count` empty ones.
    void BeginAnims(int count);
    // The next animation animates the command `name`; one past the announced count is
    // logged and changes nothing.
    void BeginAnim(const char* name);
    // The current animation's key file; a new file drops the old envelope.
    void SetKeyFile(const char* file);
    void EndAnim() { animOpen_ = false; }
    void EndAnims() { animsOpen_ = false; }

    int GetNumAnims() const { return animCount_; }

private:
    // What the frame reads of an animation.
    struct Hot {
        nFloatCommand command;          // unbound: not bound, or the node has no such command
        nEnvelope* envelope = nullptr;  // the record's reference, copied (see hotClears_)
        int cursor = 0;
        bool failed = false;  // the key file was logged and is not tried again
        bool ended = false;   // oneshot: past the last key, whose value went out
    };
    // The rest of an animation.
    struct Anim {
        ~Anim();
        nRef<nEnvelope> envelope;
        nString cmdName;
        nString keyFile;
    };
    // Animate, without the vtable (the animator's hot entry).
    static void AnimateVectors(nModAnimator* animator, nLogicNode* owner, float time);
    // Every animation, binding to `owner` and loading envelopes first where needed.
    void AnimateAll(nLogicNode* owner, float time);
    // Samples one animation's envelope and sends the values.
    void Play(Hot& h, nEnvelope* env, nLogicNode* owner, float time);
    Hot& HotAt(int i) { return i == 0 ? first_ : moreHot_[i - 1]; }
    // Copies the bound node and the envelopes from their references.
    void RefreshHot();
    // Looks each animation's command up in the node's class.
    void Bind(nLogicNode* node);
    // Animation i's envelope, shared or loaded from its key file; null (logged) when the
    // file is no ".nea" file or does not load.
    nEnvelope* LoadEnvelope(int i);
    void Unbind() {
        boundNode_.Invalidate();
        hotNode_ = nullptr;
    }

    // In the cache line the repeat type starts: the count, the bound node and the first
    // animation, copied from their references and trusted while no reference anywhere has
    // been cleared since (nRefBase::ClearCount) and this module changed none of its own.
    int animCount_ = 0;
    uint64_t hotClears_ = ~uint64_t(0);
    nLogicNode* hotNode_ = nullptr;
    Hot first_;
    std::unique_ptr<Hot[]> moreHot_;
    std::unique_ptr<Anim[]> anims_;
    nDataCharge animsCharge_;  // the tables that data sized
    int current_ = -1;
    bool animsOpen_ = false, animOpen_ = false;
    nRef<nLogicNode> boundNode_;
    // Data's once data's text began the table or named a command or key file in it: the
    // commands run, and the key files load, under it.
    nScriptServer::Origin origin_ = nScriptServer::Origin::Person;
    nPathRef<nEnvelopeServer> refEnvelopeServer_{"/sys/servers/envelope"};
    nPathRef<nFileServer2> refFileServer_{"/sys/servers/file2"};
};
