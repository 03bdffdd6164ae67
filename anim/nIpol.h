#pragma once
// The interpolator (script class "nipol"): a table of timed keys of one to four floats,
// evaluated every time its parent is computed at the time of its channel, whose value
// drives one float command of the parent. On an n3dnode the eight transform commands
// are written directly, without a command object.
#include <cstdint>
#include <vector>

#include "anim/nAnimNode.h"
#include "kernel/nDataCharge.h"
#include "kernel/nScriptServer.h"

class nCmdProto;

struct nIpolKey {
    float time = 0.0f;
    float value[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    uint8_t size = 0;
};

class nIpol : public nAnimNode {
public:
    static const nClassInfo classInfo;

    enum IpolType { Step = 0, Linear = 1, Quat = 2 };
    // Target kinds: 0 through a command object, 1-8 written straight into an n3dnode.
    enum Target { ByCommand = 0, Txyz, Tx, Ty, Tz, Rxyz, Rx, Ry, Rz };
    // A table larger than this is refused (a script typo must not exhaust memory).
    static constexpr int MaxKeys = 1 << 20;

    nIpol();

    // Hangs the interpolator into its parent's depend list, so computing the parent
    // computes it first.
    void Initialize() override;
    bool SaveCmds(nPersistServer* ps) override;
    int GetInstanceSize() const override;
    void Compute(nSceneGraph2* sceneGraph) override;

    // Finds `name` among the parent's commands; the command runs under the origin of the
    // text running now. False (logged) without a parent, for an unknown name, and for a
    // command without inputs (save, exit) or with other inputs than floats; the earlier
    // target then stays.
    bool Connect(const char* name);
    // The connected command's name; empty when not connected.
    const char* GetConnect() const;
    // "step", "linear" or "quaternion"; another name is logged and ignored.
    void SetIpolType(const char* name);
    const char* GetIpolType() const;

    void AddKey(float time, const float* v, int size);
    // Replaces the table by `n` zeroed keys.
    void BeginKeys(int n, int size);
    // Writes the key at `index`; an index beyond the table grows it.
    void SetKey(int index, float time, const float* v, int size);
    int GetNumKeys() const { return static_cast<int>(keys_.size()); }
    int GetKeySize() const { return keySize_; }
    // Null outside the table.
    const nIpolKey* GetKey(int index) const;
    const float* GetValue() const { return value_; }
    int GetTargetKind() const { return targetKind_; }

    // The value at time `t` by the keys and the repeat type, into GetValue(); false when
    // the keys give none (fewer than two, or the last at 0 or earlier).
    bool Evaluate(float t);

private:
    static const nCmdDef<nIpol> cmds[];

    int targetKind_ = ByCommand;
    nCmdProto* targetCmd_ = nullptr;
    nScriptServer::Origin origin_ = nScriptServer::Origin::Person;
    // The command was refused (logged once) until the next connect.
    bool refused_ = false;
    std::vector<nIpolKey> keys_;
    // False (logged) when data's table of `keys` would keep more than data may.
    bool ChargeKeys(size_t keys, const char* what) { return keysCharge_.Hold(keys * sizeof(nIpolKey), this, what); }
    nDataCharge keysCharge_;  // the table that data sized
    int ipolType_ = Linear;
    int keySize_ = 0;
    float value_[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    bool lateKeyLogged_ = false;
    bool deliverLogged_ = false;
};
