#include "anim/nIpol.h"

#include <cmath>
#include <cstring>

#include "kernel/nCmd.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "kernel/quaternion.h"
#include "scene/n3DNode.h"

namespace {

const char* const ipolNames[] = {"step", "linear", "quaternion"};

template <int N>
void addKey(nIpol* self, nCmd* c) {
    float t = c->In()->GetF();
    float v[4] = {};
    for (int i = 0; i < N; i++) v[i] = c->In()->GetF();
    self->AddKey(t, v, N);
}

template <int N>
void setKey(nIpol* self, nCmd* c) {
    int index = c->In()->GetI();
    float t = c->In()->GetF();
    float v[4] = {};
    for (int i = 0; i < N; i++) v[i] = c->In()->GetF();
    self->SetKey(index, t, v, N);
}

template <int N>
void getVal(nIpol* self, nCmd* c) {
    for (int i = 0; i < N; i++) c->Out()->SetF(self->GetValue()[i]);
}

template <int N>
void getKey(nIpol* self, nCmd* c) {
    const nIpolKey* k = self->GetKey(c->In()->GetI());
    static const nIpolKey none;
    if (!k) k = &none;
    c->Out()->SetF(k->time);
    for (int i = 0; i < N; i++) c->Out()->SetF(k->value[i]);
}

}  // namespace

const nCmdDef<nIpol> nIpol::cmds[] = {
    Bind<&nIpol::Connect>("b_connect_s", "CNCT"),
    Bind<&nIpol::GetConnect>("s_getconnect_v", "GCNT"),
    {"v_setipoltype_s", "SIPT", [](nIpol* self, nCmd* c) { self->SetIpolType(c->In()->GetS()); }},
    {"s_getipoltype_v", "GIPT", [](nIpol* self, nCmd* c) { c->Out()->SetS(self->GetIpolType()); }},
    {"v_addkey1f_ff", "AK1F", addKey<1>},
    {"v_addkey2f_fff", "AK2F", addKey<2>},
    {"v_addkey3f_ffff", "AK3F", addKey<3>},
    {"v_addkey4f_fffff", "AK4F", addKey<4>},
    {"f_getval1f_v", "GVL1", getVal<1>},
    {"ff_getval2f_v", "GVL2", getVal<2>},
    {"fff_getval3f_v", "GVL3", getVal<3>},
    {"ffff_getval4f_v", "GVL4", getVal<4>},
    Bind<&nIpol::BeginKeys>("v_beginkeys_ii", "BGKS"),
    {"v_setkey1f_iff", "SK1F", setKey<1>},
    {"v_setkey2f_ifff", "SK2F", setKey<2>},
    {"v_setkey3f_iffff", "SK3F", setKey<3>},
    {"v_setkey4f_ifffff", "SK4F", setKey<4>},
    {"v_endkeys_v", "ENKS", [](nIpol*, nCmd*) {}},
    {"ii_getkeyinfo_v", "GKIN",
     [](nIpol* self, nCmd* c) {
         c->Out()->SetI(self->GetNumKeys());
         c->Out()->SetI(self->GetKeySize());
     }},
    {"ff_getkey1f_i", "GK1F", getKey<1>},
    {"fff_getkey2f_i", "GK2F", getKey<2>},
    {"ffff_getkey3f_i", "GK3F", getKey<3>},
    {"fffff_getkey4f_i", "GK4F", getKey<4>},
};

const nClassInfo nIpol::classInfo = nClassInfo::Make<nIpol>("nipol", "nanimnode", nIpol::cmds);

nIpol::nIpol() {
    keys_.reserve(4);
}

void nIpol::Initialize() {
    nRoot* parent = GetParent();
    if (IsVisual(parent)) AddDepend(static_cast<nVisNode*>(parent));
    nAnimNode::Initialize();
}

int nIpol::GetInstanceSize() const {
    return nAnimNode::GetInstanceSize() + 24 * GetNumKeys();
}

bool nIpol::Connect(const char* name) {
    targetKind_ = ByCommand;
    nRoot* parent = GetParent();
    nClass* cls = parent ? parent->GetClass() : nullptr;
    nCmdProto* proto = cls && name ? cls->FindCmdByName(name) : nullptr;
    if (!proto) {
        n_error("%s: connect: the parent has no command '%s'\n", GetFullName().c_str(), name ? name : "");
        return false;
    }
    if (!proto->TakesFloats()) {
        n_error("%s: connect: '%s' takes %s\n", GetFullName().c_str(), proto->GetProtoText(),
                proto->GetNumInArgs() == 0 ? "no value" : "other inputs than floats");
        return false;
    }
    targetCmd_ = proto;
    origin_ = nScriptServer::CurrentOrigin();
    refused_ = false;
    deliverLogged_ = false;
    nClass* node3d = nKernelServer::ks->FindClass("n3dnode");
    if (node3d && parent->IsA(node3d)) {
        static const struct {
            const char* id;
            int kind;
        } direct[] = {{"TXYZ", Txyz}, {"TX__", Tx}, {"TY__", Ty}, {"TZ__", Tz},
                      {"RXYZ", Rxyz}, {"RX__", Rx}, {"RY__", Ry}, {"RZ__", Rz}};
        for (const auto& d : direct)
            if (proto->GetId() == nId(d.id)) targetKind_ = d.kind;
    }
    return true;
}

const char* nIpol::GetConnect() const {
    return targetCmd_ ? targetCmd_->GetName() : "";
}

void nIpol::SetIpolType(const char* name) {
    for (int i = 0; i < 3; i++) {
        if (name && std::strcmp(name, ipolNames[i]) == 0) {
            ipolType_ = i;
            return;
        }
    }
    n_error("%s: setipoltype: unknown interpolation '%s'\n", GetFullName().c_str(), name ? name : "");
}

const char* nIpol::GetIpolType() const {
    if (ipolType_ == Step) return "step";
    if (ipolType_ == Quat) return "quaternion";
    return "linear";
}

void nIpol::AddKey(float time, const float* v, int size) {
    if (GetNumKeys() >= MaxKeys) {
        n_error("%s: addkey: more than %d keys\n", GetFullName().c_str(), MaxKeys);
        return;
    }
    const size_t capacity = keys_.size() == keys_.capacity() ? keys_.size() + 4 : keys_.capacity();
    static const char* const adders[] = {"v_addkey1f_ff", "v_addkey2f_fff", "v_addkey3f_ffff", "v_addkey4f_fffff"};
    if (!ChargeKeys(capacity, adders[size >= 1 && size <= 4 ? size - 1 : 0])) return;
    nIpolKey k;
    k.time = time;
    for (int i = 0; i < size; i++) k.value[i] = v[i];
    k.size = static_cast<uint8_t>(size);
    if (keys_.size() == keys_.capacity()) keys_.reserve(keys_.size() + 4);
    keys_.push_back(k);
    keySize_ = size;
}

void nIpol::BeginKeys(int n, int size) {
    if (n < 0 || n > MaxKeys) {
        n_error("%s: beginkeys: %d keys is outside 0 to %d\n", GetFullName().c_str(), n, MaxKeys);
        return;
    }
    if (!ChargeKeys(size_t(n), "v_beginkeys_ii")) return;
    keys_.assign(static_cast<size_t>(n), nIpolKey());
    keys_.shrink_to_fit();
    keySize_ = size;
}

void nIpol::SetKey(int index, float time, const float* v, int size) {
    if (index < 0 || index >= MaxKeys) {
        n_error("%s: setkey: key index %d is outside 0 to %d\n", GetFullName().c_str(), index, MaxKeys - 1);
        return;
    }
    static const char* const setters[] = {"v_setkey1f_iff", "v_setkey2f_ifff", "v_setkey3f_iffff", "v_setkey4f_ifffff"};
    if (index >= GetNumKeys()) {
        if (!ChargeKeys(size_t(index) + 1, setters[size >= 1 && size <= 4 ? size - 1 : 0])) return;
        keys_.resize(static_cast<size_t>(index) + 1);
    }
    nIpolKey& k = keys_[static_cast<size_t>(index)];
    k = nIpolKey();
    k.time = time;
    for (int i = 0; i < size; i++) k.value[i] = v[i];
    k.size = static_cast<uint8_t>(size);
}

const nIpolKey* nIpol::GetKey(int index) const {
    if (index < 0 || index >= GetNumKeys()) return nullptr;
    return &keys_[static_cast<size_t>(index)];
}

bool nIpol::Evaluate(float t) {
    const int n = GetNumKeys();
    if (n < 2) return false;
    const float first = keys_[0].time;
    const float last = keys_[static_cast<size_t>(n - 1)].time;
    if (!(last > 0.0f)) return false;
    if (repType_ == Loop) t = t - std::floor(t / last) * last;
    if (!(t >= first)) t = first;  // NaN too
    if (first > 0.0f && !lateKeyLogged_) {
        // The clamp above already holds the first key until its time.
        n_error("%s: the first key is at %f, not at 0\n", GetFullName().c_str(), static_cast<double>(first));
        lateKeyLogged_ = true;
    }
    if (t >= last) {
        // A oneshot past its end ends on its last key, whatever the step that got there.
        for (int c = 0; c < 4; c++) value_[c] = keys_[static_cast<size_t>(n - 1)].value[c];
        return true;
    }
    int i = 1;
    while (i < n - 1 && !(keys_[static_cast<size_t>(i)].time > t)) i++;
    const nIpolKey& prev = keys_[static_cast<size_t>(i - 1)];
    const nIpolKey& next = keys_[static_cast<size_t>(i)];
    float l = next.time > prev.time ? (t - prev.time) / (next.time - prev.time) : 1.0f;
    switch (ipolType_) {
        case Step:
            for (int c = 0; c < 4; c++) value_[c] = prev.value[c];
            break;
        case Linear:
            for (int c = 0; c < 4; c++) value_[c] = prev.value[c] + (next.value[c] - prev.value[c]) * l;
            break;
        case Quat: {
            quaternion q;
            q.Slerp(quaternion(prev.value[0], prev.value[1], prev.value[2], prev.value[3]),
                    quaternion(next.value[0], next.value[1], next.value[2], next.value[3]), l);
            value_[0] = q.x;
            value_[1] = q.y;
            value_[2] = q.z;
            value_[3] = q.w;
            break;
        }
        default: break;
    }
    return true;
}

void nIpol::Compute(nSceneGraph2* sceneGraph) {
    nAnimNode::Compute(sceneGraph);
    if (!Evaluate(ReadChannel(sceneGraph, channelIndex_))) return;
    nRoot* parent = GetParent();
    if (!parent || !targetCmd_) return;
    if (targetKind_ != ByCommand) {
        nClass* node3d = nKernelServer::ks->FindClass("n3dnode");
        if (node3d && parent->IsA(node3d)) {
            if (!nScriptServer::MayRunKept(parent, targetCmd_, origin_, refused_)) return;
            auto* p = static_cast<n3DNode*>(parent);
            const float* v = value_;
            switch (targetKind_) {
                case Txyz: p->Txyz(v[0], v[1], v[2]); break;
                case Tx: p->Tx(v[0]); break;
                case Ty: p->Ty(v[0]); break;
                case Tz: p->Tz(v[0]); break;
                case Rxyz: p->Rxyz(v[0], v[1], v[2]); break;
                case Rx: p->Rx(v[0]); break;
                case Ry: p->Ry(v[0]); break;
                case Rz: p->Rz(v[0]); break;
                default: break;
            }
            return;
        }
    }
    // A script may have moved the interpolator under a parent without that command.
    if (targetCmd_->GetOwner() && !parent->IsA(targetCmd_->GetOwner())) {
        if (!deliverLogged_)
            n_error("%s: the parent has no command '%s'; nothing driven\n", GetFullName().c_str(),
                    targetCmd_->GetName());
        deliverLogged_ = true;
        return;
    }
    nCmd* cmd = targetCmd_->NewCmd();
    // Inputs past the fourth get 0: the value has four components.
    for (int i = 0; i < targetCmd_->GetNumInArgs(); i++) cmd->In()->SetF(i < 4 ? value_[i] : 0.0f);
    nScriptServer::DispatchKept(parent, cmd, origin_, refused_);
    targetCmd_->RelCmd(cmd);
}

bool nIpol::SaveCmds(nPersistServer* ps) {
    if (!nAnimNode::SaveCmds(ps)) return false;
    if (targetCmd_) {
        // A copy made by clone keeps the command's origin.
        nScriptServer::OriginScope origin(origin_);
        if (!ps->Put(this, nId("CNCT"), targetCmd_->GetName())) return false;
    }
    if (ipolType_ != Linear && !ps->Put(this, nId("SIPT"), GetIpolType())) return false;
    if (keys_.empty()) return true;
    if (!ps->Put(this, nId("BGKS"), GetNumKeys(), keySize_)) return false;
    for (int i = 0; i < GetNumKeys() && keySize_ >= 1 && keySize_ <= 4; i++) {
        const nIpolKey& k = keys_[static_cast<size_t>(i)];
        const float* v = k.value;
        bool ok = true;
        switch (keySize_) {
            case 1: ok = ps->Put(this, nId("SK1F"), i, k.time, v[0]); break;
            case 2: ok = ps->Put(this, nId("SK2F"), i, k.time, v[0], v[1]); break;
            case 3: ok = ps->Put(this, nId("SK3F"), i, k.time, v[0], v[1], v[2]); break;
            default: ok = ps->Put(this, nId("SK4F"), i, k.time, v[0], v[1], v[2], v[3]); break;
        }
        if (!ok) return false;
    }
    return ps->Put(this, nId("ENKS"));
}
