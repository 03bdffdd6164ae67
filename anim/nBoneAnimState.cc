#include "anim/nBoneAnimState.h"

#include <cmath>
#include <string>

#include "kernel/nCmd.h"
#include "kernel/nFile.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "kernel/nScriptServer.h"
#include "scene/n3DNode.h"
#include "scene/nChannelServer.h"
#include "scene/nChannelSet.h"
#include "scene/nSceneGraph2.h"

namespace {

// The whole file, or false when it cannot be opened.
bool ReadAll(const char* name, const char* mode, std::string& out) {
    nRoot* obj = nKernelServer::ks->Lookup("/sys/servers/file2");
    if (!obj || !obj->IsA("nfileserver2")) nKernelServer::FatalError("Aborting.");
    nFile* file = static_cast<nFileServer2*>(obj)->NewFileObject();
    if (!file || !file->Open(name, mode)) {
        delete file;
        return false;
    }
    char buf[16384];
    for (size_t got; (got = file->Read(buf, sizeof buf)) > 0;) out.append(buf, got);
    file->Close();
    delete file;
    return true;
}

quaternion Slerp(const quaternion& a, const quaternion& b, float t) {
    quaternion q;
    q.Slerp(a, b, t);
    return q;
}

quaternion Inverse(quaternion q) {
    q.Invert();
    return q;
}

}  // namespace

const nCmdDef<nBoneAnimState> nBoneAnimState::cmds[] = {
    Bind<&nBoneAnimState::Reset>("v_reset_v", "BJRS"),
    Bind<&nBoneAnimState::SetWeight>("v_anim_f", "BJAA"),
    {"v_loadkeys_v", "BJLK", [](nBoneAnimState* self, nCmd*) { self->LoadKeys(); }},
    Bind<&nBoneAnimState::UnloadKeys>("v_unloadkeys_v", "BJUK"),
    Bind<&nBoneAnimState::SetKeyFileName>("v_setkeyfilename_s", "BJSK"),
    Bind<&nBoneAnimState::GetKeyFileName>("s_getkeyfilename_v", "BJGK"),
    Bind<&nBoneAnimState::SetWeightChannel>("v_setweightchannel_s", "SSCH"),
    Bind<&nBoneAnimState::GetWeightChannel>("s_getweightchannel_v", "GSCH"),
    Bind<&nBoneAnimState::SetKeyTime>("v_setkeytime_f", "SFRA"),
    Bind<&nBoneAnimState::GetKeyTime>("f_getkeytime_v", "GFRA"),
    Bind<&nBoneAnimState::GetLastKey>("f_getlastkey_v", "GLAK"),
    Bind<&nBoneAnimState::SetTransTarget>("v_settranstarget_s", "STTA"),
    {"o_gettranstarget_v", "GTTA",
     [](nBoneAnimState* self, nCmd* c) { c->Out()->SetO(self->GetTransTarget()); }},
    Bind<&nBoneAnimState::SetTransMode>("v_settransmode_bbbbbb", "STTM"),
    {"bbbbbb_gettransmode_v", "GTTM",
     [](nBoneAnimState* self, nCmd* c) {
         for (int b = 0; b < 6; b++) c->Out()->SetB((self->transMode_ >> b) & 1u);
     }},
    Bind<&nBoneAnimState::SetCallback>("v_setcallback_s", "JSCB"),
    Bind<&nBoneAnimState::GetCallback>("s_getcallback_v", "JGCB"),
    Bind<&nBoneAnimState::SetKeyCallback>("v_setkeycallback_is", "JSKB"),
    Bind<&nBoneAnimState::GetKeyCallback>("s_getkeycallback_i", "JGKB"),
    Bind<&nBoneAnimState::SetFreezeMode>("v_setfreezemode_b", "JAFM"),
};

const nClassInfo nBoneAnimState::classInfo = nClassInfo::Make<nBoneAnimState>("nboneanimstate", "nanimnode", cmds);

nBoneAnimState::nBoneAnimState() : refScript_("/sys/servers/script") {}

// ---- settings

void nBoneAnimState::SetWeightChannel(const char* name) {
    weightChannel_ = name ? std::string(name).substr(0, MaxWeightChannel) : "";
    weightChannelHandle_ = -1;
    NotifyParents();
}

void nBoneAnimState::SetKeyFileName(const char* name) {
    if (!nFileServer2::MayKeepPath(name)) return;
    const std::string n = name ? name : "";
    if (n == keyFile_) return;
    UnloadKeys();
    keyFile_ = n;
    loadFailed_ = false;
}

void nBoneAnimState::UnloadKeys() {
    keys_ = nBoneKeyTable();
    keyCallbacks_.clear();
    lastKey_ = -1;
    loaded_ = false;
}

bool nBoneAnimState::LoadKeys() {
    UnloadKeys();
    if (keyFile_.empty()) return false;
    const bool text = nBoneKeyTable::IsTextName(keyFile_.c_str());
    std::string data;
    if (!ReadAll(keyFile_.c_str(), text ? "r" : "rb", data)) {
        if (text) {
            n_error("%s: Can't open keyfile '%s'\n", GetFullName().c_str(), keyFile_.c_str());
            loadFailed_ = true;
        } else {
            keyFile_.clear();
        }
        return false;
    }
    nBoneKeyTable table;
    const bool ok = text ? table.ReadText(data.data(), data.size(), keyFile_.c_str())
                         : table.ReadBinary(data.data(), data.size(), keyFile_.c_str());
    if (!ok) {
        loadFailed_ = true;
        return false;
    }
    keys_ = std::move(table);
    loaded_ = true;
    loadFailed_ = false;
    return true;
}

void nBoneAnimState::SetTransTarget(const char* path) {
    target_.Set(nullptr);
    lastTransferKey_ = -1;
    if (!path || !*path) return;
    nRoot* obj = nKernelServer::ks->LookupFrom(this, path);
    if (!obj || !obj->IsA(n3DNode::classInfo.name)) {
        n_error("%s: settranstarget: '%s' is no n3dnode\n", GetFullName().c_str(), path);
        return;
    }
    target_.Set(static_cast<n3DNode*>(obj));
}

void nBoneAnimState::SetTransMode(bool tx, bool ty, bool tz, bool rx, bool ry, bool rz) {
    transMode_ = unsigned(tx) | unsigned(ty) << 1 | unsigned(tz) << 2 | unsigned(rx) << 3 | unsigned(ry) << 4 |
                 unsigned(rz) << 5;
}

void nBoneAnimState::SetCallback(const char* script) {
    endCallback_ = script ? script : "";
    NoteCallbackOrigin();
}

void nBoneAnimState::SetKeyCallback(int key, const char* script) {
    if (!loaded_ && !loadFailed_) LoadKeys();
    if (key < 0 || key >= keys_.numKeys) {
        n_error("%s: setkeycallback: key %d is outside 0 to %d\n", GetFullName().c_str(), key, keys_.numKeys - 1);
        return;
    }
    if (keyCallbacks_.empty()) keyCallbacks_.resize(size_t(keys_.numKeys));
    keyCallbacks_[size_t(key)] = script ? script : "";
    NoteCallbackOrigin();
}

const char* nBoneAnimState::GetKeyCallback(int key) const {
    if (key < 0 || size_t(key) >= keyCallbacks_.size() || keyCallbacks_[size_t(key)].empty()) return "empty";
    return keyCallbacks_[size_t(key)].c_str();
}

void nBoneAnimState::NoteCallbackOrigin() {
    // Once data's text set a callback, every callback runs as data's.
    if (nScriptServer::DataRunning()) callbackOrigin_ = nScriptServer::Origin::Data;
}

void nBoneAnimState::runScript(const std::string& text) {
    if (text.empty()) return;
    const char* result = nullptr;
    refScript_->RunStored(text.c_str(), callbackOrigin_, result);
}

// ---- per frame

void nBoneAnimState::CollectChannels(nChannelSet* set) {
    weightChannelHandle_ = weightChannel_.empty() ? -1 : set->AddChannel(refChannel.Get(), weightChannel_.c_str());
    nAnimNode::CollectChannels(set);
}

bool nBoneAnimState::Attach(nSceneGraph2* sceneGraph) {
    nVisNode::Attach(sceneGraph);
    nSceneNodeRecord* rec = sceneGraph->GetCurrentNode();
    const double t = ReadChannel(sceneGraph, channelIndex_);
    // Without a weight channel the weight "anim" set stays.
    if (weightChannelHandle_ >= 0) weight_ = nChannelContext::Read(rec ? rec->channelContext : nullptr, weightChannelHandle_).f[0];
    // A clock that went back (a load builds the things anew, their clocks from 0) starts
    // the animation afresh, as a reset does: it would stand until the clock passed its start.
    if (resetRequested_ || t < startTime_) {
        startTime_ = t;
        lastTransferKey_ = -1;
        lastKey_ = 0;
        endFired_ = false;
        resetRequested_ = false;
    }
    capture_ = true;
    stateTime_ = t - startTime_;
    nVisNode::Compute(sceneGraph);
    return true;
}

bool nBoneAnimState::Accumulate(vector3* T, quaternion* Q, int n, float w0) {
    if (!loaded_ && !loadFailed_) LoadKeys();
    const float w = w0 * weight_;
    if (w > -0.001f && w < 0.001f) return false;
    const int count = keys_.numKeys;
    // Segments need two keys, positions a key time and a time that has begun.
    if (!loaded_ || count < 2 || !(keyTime_ > 0.0) || !(stateTime_ >= 0.0)) return false;

    const double pos = stateTime_ / keyTime_;
    float frac = float(pos - std::floor(pos));
    const double whole = std::trunc(pos);
    int k = whole >= double(1 << 30) ? 0 : int(std::fmod(whole, double(count - 1)));
    if (repType_ == Oneshot && whole >= double(count - 1)) {
        if (!endFired_) {
            endFired_ = true;
            runScript(endCallback_);
        }
        // Ends on its last key, whatever the step that got there.
        k = count - 2;
        frac = 1.0f;
    }

    // At most one key script a frame: the highest key passed since the last frame.
    if (!keyCallbacks_.empty() && k != lastKey_) {
        auto has = [&](int i) { return !keyCallbacks_[size_t(i)].empty(); };
        int run = -1;
        if (k > lastKey_) {
            for (int i = k; i > lastKey_ && run < 0; i--)
                if (has(i)) run = i;
        } else {
            for (int i = k; i >= 0 && run < 0; i--)
                if (has(i)) run = i;
            for (int i = count - 1; i > lastKey_ && run < 0; i--)
                if (has(i)) run = i;
        }
        if (run >= 0) runScript(keyCallbacks_[size_t(run)]);
    }

    const int bones = std::min(n, keys_.numBones);
    for (int i = 0; i < bones; i++) {
        const nBoneKeys* keys = keys_.bones[size_t(i)].get();
        if (!keys) continue;
        if (!keys->trans.empty()) {
            const vector3& a = keys->trans[size_t(k)];
            const vector3& b = keys->trans[size_t(k + 1)];
            vector3 v = (a + (b - a) * frac) * w;
            if (i == 0) {
                if (transMode_ & 1u) v.x = 0;
                if (transMode_ & 2u) v.y = 0;
                if (transMode_ & 4u) v.z = 0;
            }
            T[i] += v;
        }
        if (!keys->rot.empty()) {
            quaternion q = Slerp(keys->rot[size_t(k)], keys->rot[size_t(k + 1)], frac);
            if (w != 1.0f) q = Slerp(quaternion(), q, w);
            if (i == 0) {
                if (transMode_ & 8u) q.x = 0;
                if (transMode_ & 16u) q.y = 0;
                if (transMode_ & 32u) q.z = 0;
            }
            q.Norm();
            Q[i] = q * Q[i];
        }
    }
    if (transMode_ != 0 && target_.GetUnsafe() && !freeze_) transfer(k, frac, w);
    lastKey_ = k;
    return true;
}

void nBoneAnimState::transfer(int k, float frac, float w) {
    const nBoneKeys* keys = keys_.numBones > 0 ? keys_.bones[0].get() : nullptr;
    if (!keys) return;
    const bool hasT = !keys->trans.empty(), hasR = !keys->rot.empty();
    const int last = keys_.numKeys - 1;
    vector3 p, d;
    quaternion r, e;
    if (hasT) p = keys->trans[size_t(k)] + (keys->trans[size_t(k + 1)] - keys->trans[size_t(k)]) * frac;
    if (hasR) {
        r = Slerp(keys->rot[size_t(k)], keys->rot[size_t(k + 1)], frac);
        r.Norm();
    }
    if (lastTransferKey_ == -1) {
        d = p;
        e = r;
    } else if (k >= lastTransferKey_) {
        d = p - lastT_;
        e = Inverse(lastQ_) * r;
    } else {
        if (hasT) d = (keys->trans[size_t(last)] - keys->trans[0]) - lastT_ + p;
        if (hasR) e = Inverse(lastQ_) * keys->rot[size_t(last)] * Inverse(keys->rot[0]) * r;
    }
    lastTransferKey_ = k;

    matrix44 m;
    if (hasR) {
        if (!(transMode_ & 8u)) e.x = 0;
        if (!(transMode_ & 16u)) e.y = 0;
        if (!(transMode_ & 32u)) e.z = 0;
        e.Norm();
        m.SetQuaternion(e);
        lastQ_ = r;
    }
    if (hasT) {
        d.x = (transMode_ & 1u) ? d.x * w : 0.0f;
        d.y = (transMode_ & 2u) ? d.y * w : 0.0f;
        d.z = (transMode_ & 4u) ? d.z * w : 0.0f;
        m.Translate(d);
        lastT_ = p;
    }
    n3DNode* target = target_.GetUnsafe();
    if (capture_) {
        startT_ = target->GetT();
        startQ_ = target->GetLocalMatrix().GetQuaternion();
        startCaptured_ = true;
        capture_ = false;
    }
    target->UpdateMatrix();
    const matrix44 moved = m * target->GetLocalMatrix();
    const vector3 t = moved.Translation();
    target->Txyz(t.x, t.y, t.z);
    quaternion q = moved.GetQuaternion();
    q.Norm();
    target->Qxyzw(q.x, q.y, q.z, q.w);
}

// ---- saving

bool nBoneAnimState::SaveCmds(nPersistServer* ps) {
    if (!nAnimNode::SaveCmds(ps)) return false;
    bool ok = true;
    if (!weightChannel_.empty()) ok = ps->Put(this, nId("SSCH"), weightChannel_.c_str());
    if (ok && keyTime_ >= 0.0) ok = ps->Put(this, nId("SFRA"), float(keyTime_));
    if (ok && target_.GetUnsafe()) ok = ps->Put(this, nId("STTA"), target_->GetFullName().c_str());
    if (ok && transMode_ != 0)
        ok = ps->Put(this, nId("STTM"), bool(transMode_ & 1u), bool(transMode_ & 2u), bool(transMode_ & 4u),
                     bool(transMode_ & 8u), bool(transMode_ & 16u), bool(transMode_ & 32u));
    if (ok && !keyFile_.empty()) ok = ps->Put(this, nId("BJSK"), keyFile_.c_str());
    return ok;
}
