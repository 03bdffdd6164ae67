#pragma once
// The interpolator (script class "nlogicipol"): a logic node that drives one command of
// its parent taking one to four floats (a position, a colour, a variable) from a key
// curve, sampled at the node's time every frame. The keys live in an envelope of the
// envelope server: the node's own (named after its path), given key by key, or one
// shared by every node naming the same key file.
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "kernel/nScriptServer.h"
#include "kernel/nString.h"
#include "logic/nFloatCommand.h"
#include "logic/nLogicNode.h"

class nCmdProto;
class nEnvelope;
class nEnvelopeServer;
class nFileServer2;

class nLogicIpol : public nLogicNode {
public:
    static const nClassInfo classInfo;

    enum RepType { OneShot = 0, Loop = 1 };

    nLogicIpol();
    // Gives back the envelope reference the node holds.
    ~nLogicIpol() override;
    bool SaveCmds(nPersistServer* ps) override;
    // Sends the values at the node's time to the connected command, then serves the
    // children. Nothing is sent without a target, a command or keys.
    bool Trigger(nLogicGraph* graph) override;

    // Connects to the parent's command of that name and activates the node; the command
    // runs under the origin of the text running now. A command
    // whose inputs are not one to four floats is refused (logged; nothing changes); a
    // name the parent's class does not know leaves the node unconnected (logged).
    void Connect(const char* name);
    void Disconnect();
    // `count` keys of `kind` values (1 to 4) in the node's own envelope; other kinds and
    // counts are logged and change nothing.
    void BeginKeys(int count, int kind);
    // Key `index` (time, interpolation "step", "linear", "spline" or "quaternion", up to
    // four values). Without an envelope, outside the keys or with another name: logged,
    // nothing changes.
    void SetKey(int index, float time, const char* ipolName, const float values[4]);
    void EndKeys() { keyDefinition_ = false; }
    // "oneshot" or "loop"; another name is logged and changes nothing.
    void SetRepType(const char* name);
    const char* GetRepType() const;
    // Shares the envelope of that name; one not yet made is made, and a name containing
    // ".nea" loads its keys from that file (a file that does not load is logged and
    // leaves the node without keys).
    void SetKeyFile(const char* name);
    const char* GetKeyFile() const { return keyFile_.Get() ? keyFile_.Get() : ""; }
    // Writes the held keys as a key file; false (logged) without keys or a file.
    bool SaveKeys(const char* fileName);

    // Null when unconnected.
    nCmdProto* GetCommand() const { return command_.proto; }
    nRoot* GetTarget() const { return target_.GetUnsafe(); }
    nEnvelope* GetEnvelope() const { return envelope_.GetUnsafe(); }
    bool GetKeyDefinition() const { return keyDefinition_; }

private:
    void ReleaseEnvelope();
    nEnvelopeServer* EnvelopeServer();

    nRef<nRoot> target_;
    nFloatCommand command_;
    nScriptServer::Origin origin_ = nScriptServer::Origin::Person;
    // The command was refused (logged once) until the next connect.
    bool refused_ = false;
    nString keyFile_;
    bool keyDefinition_ = false;
    float timeScale_ = 1.0f;
    int cursor_ = 0;
    nRef<nEnvelope> envelope_;
    int repType_ = OneShot;
    nPathRef<nEnvelopeServer> refEnvelopeServer_{"/sys/servers/envelope"};
    nPathRef<nFileServer2> refFileServer_{"/sys/servers/file2"};
};
