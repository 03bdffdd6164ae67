#pragma once
// Plays ".nea" key files into commands of its logic node (script class
// "nmodvectoranimator"): each animation names a command of the node's class taking one
// to four floats ("txyz" or "v_txyz_fff") and a key file whose envelope, shared through
// the envelope server, is sampled at the node time and sent as the command's inputs.
// Oneshot animations stop sending after their last key; looping ones wrap.
#include <memory>

#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "kernel/nString.h"
#include "logic/nModAnimator.h"

class nClass;
class nCmdProto;
class nEnvelope;
class nEnvelopeServer;
class nFileServer2;

class nModVectorAnimator : public nModAnimator {
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
    struct Anim {
        ~Anim();
        // What the frame reads first.
        nCmdProto* proto = nullptr;  // null: not bound, or the node has no such command
        int numIn = 0;
        int cursor = 0;
        bool failed = false;  // the key file was logged and is not tried again
        nRef<nEnvelope> envelope;
        nString cmdName;
        nString keyFile;
    };
    // Looks each animation's command up in the node's class.
    void Bind(nLogicNode* node);
    // The record's envelope, shared or loaded from its key file; null (logged) when the
    // file is no ".nea" file or does not load.
    nEnvelope* LoadEnvelope(Anim& a);

    std::unique_ptr<Anim[]> anims_;
    int animCount_ = 0;
    int current_ = -1;
    bool animsOpen_ = false, animOpen_ = false;
    nLogicNode* boundNode_ = nullptr;
    nClass* boundClass_ = nullptr;
    nPathRef<nEnvelopeServer> refEnvelopeServer_{"/sys/servers/envelope"};
    nPathRef<nFileServer2> refFileServer_{"/sys/servers/file2"};
};
