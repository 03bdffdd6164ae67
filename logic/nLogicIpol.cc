#include "logic/nLogicIpol.h"

#include <cstring>

#include "anim/nEnvelope.h"
#include "anim/nEnvelopeServer.h"
#include "kernel/nClass.h"
#include "kernel/nCmd.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"

namespace {

// The interpolation names of the key setters, by envelope type.
const char* const kIpolNames[] = {"step", "linear", "spline", "quaternion"};
const char* const kRepNames[] = {"oneshot", "loop"};

// A key setter row: index, time, interpolation name, then `Kind` values.
template <int Kind>
void SetKeyCmd(nLogicIpol* self, nCmd* c) {
    const int index = c->In()->GetI();
    const float time = c->In()->GetF();
    const char* name = c->In()->GetS();
    float v[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int i = 0; i < Kind; i++) v[i] = c->In()->GetF();
    self->SetKey(index, time, name, v);
}

}  // namespace

static const nCmdDef<nLogicIpol> cmds[] = {
    Bind<&nLogicIpol::Connect>("v_connect_s", "CNCT"),
    Bind<&nLogicIpol::Disconnect>("v_disconnect_v", "DSCN"),
    Bind<&nLogicIpol::BeginKeys>("v_beginkeys_ii", "BGKS"),
    {"v_setkey1f_ifsf", "SK1F", SetKeyCmd<1>},
    {"v_setkey2f_ifsff", "SK2F", SetKeyCmd<2>},
    {"v_setkey3f_ifsfff", "SK3F", SetKeyCmd<3>},
    {"v_setkey4f_ifsffff", "SK4F", SetKeyCmd<4>},
    Bind<&nLogicIpol::EndKeys>("v_endkeys_v", "ENKS"),
    Bind<&nLogicIpol::SetRepType>("v_setreptype_s", "SRPT"),
    Bind<&nLogicIpol::GetRepType>("s_getreptype_v", "GRPT"),
    Bind<&nLogicIpol::SetKeyFile>("v_setkeyfile_s", "SKFI"),
    Bind<&nLogicIpol::GetKeyFile>("s_getkeyfile_v", "GKFI"),
    {"v_savekeys_s", "LISK", [](nLogicIpol* self, nCmd* c) { self->SaveKeys(c->In()->GetS()); }},
};
const nClassInfo nLogicIpol::classInfo = nClassInfo::Make<nLogicIpol>("nlogicipol", "nlogicnode", cmds);

nLogicIpol::nLogicIpol() = default;

nLogicIpol::~nLogicIpol() {
    ReleaseEnvelope();
}

void nLogicIpol::ReleaseEnvelope() {
    if (nEnvelope* e = envelope_.GetUnsafe()) {
        envelope_.Invalidate();
        e->Release();
    }
    cursor_ = 0;
}

nEnvelopeServer* nLogicIpol::EnvelopeServer() {
    return refEnvelopeServer_.Get();
}

void nLogicIpol::Connect(const char* name) {
    nRoot* parent = GetParent();
    nCmdProto* proto = parent && name ? parent->GetClass()->FindCmdByName(name) : nullptr;
    if (!proto) {
        n_error("%s: connect: the parent has no command '%s'; not connected\n", GetFullName().c_str(),
                name ? name : "");
        target_.Invalidate();
        command_.Unbind();
        return;
    }
    if (!nFloatCommand::TakesOneToFourFloats(proto)) {
        n_error("%s: connect: '%s' does not take one to four floats; unchanged\n", GetFullName().c_str(),
                proto->GetProtoText());
        return;
    }
    target_ = parent;
    command_.Bind(proto);
    origin_ = nScriptServer::CurrentOrigin();
    refused_ = false;
    SetActive(true);
}

void nLogicIpol::Disconnect() {
    target_.Invalidate();
    command_.Unbind();
    SetActive(false);
}

void nLogicIpol::BeginKeys(int count, int kind) {
    if (kind < 1 || kind > 4 || count < 0 || count > nEnvelope::MaxKeys) {
        n_error("%s: beginkeys: %d keys of %d values (1 to 4 values); unchanged\n", GetFullName().c_str(), count,
                kind);
        return;
    }
    ReleaseEnvelope();
    // The keys are the node's own from now on: a key file named before no longer holds
    // them, and saving must write the keys instead.
    keyFile_ = "";
    nEnvelopeServer* server = EnvelopeServer();
    const std::string path = GetFullName();
    nEnvelope* env = server->FindEnvelope(path.c_str());
    if (!env) env = server->NewEnvelope(path.c_str());
    if (!env) return;
    env->BeginKeys(count, kind);
    envelope_ = env;
    keyDefinition_ = true;
}

void nLogicIpol::SetKey(int index, float time, const char* ipolName, const float values[4]) {
    nEnvelope* env = envelope_.GetUnsafe();
    if (!env) {
        n_error("%s: setkey %d: no keys begun; unchanged\n", GetFullName().c_str(), index);
        return;
    }
    int type = -1;
    for (int i = 0; i < 4; i++) {
        if (ipolName && std::strcmp(ipolName, kIpolNames[i]) == 0) type = i;
    }
    if (type < 0) {
        n_error("%s: setkey %d: unknown interpolation '%s' (step, linear, spline or quaternion); unchanged\n",
                GetFullName().c_str(), index, ipolName ? ipolName : "");
        return;
    }
    if (index < 0 || index >= env->GetNumKeys()) {
        n_error("%s: setkey: key %d outside 0 to %d; unchanged\n", GetFullName().c_str(), index,
                env->GetNumKeys() - 1);
        return;
    }
    env->SetKey(index, time, type, values);
}

void nLogicIpol::SetRepType(const char* name) {
    for (int i = 0; i < 2; i++) {
        if (name && std::strcmp(name, kRepNames[i]) == 0) {
            repType_ = i;
            return;
        }
    }
    n_error("%s: setreptype: unknown repeat type '%s' (oneshot or loop); unchanged\n", GetFullName().c_str(),
            name ? name : "");
}

const char* nLogicIpol::GetRepType() const {
    if (repType_ != OneShot && repType_ != Loop) nKernelServer::FatalError("Aborting.\n");
    return kRepNames[repType_];
}

void nLogicIpol::SetKeyFile(const char* name) {
    if (!nFileServer2::MayKeepPath(name)) return;
    keyFile_ = name ? name : "";
    ReleaseEnvelope();
    if (keyFile_.IsEmpty()) return;
    nEnvelopeServer* server = EnvelopeServer();
    nEnvelope* env = server->FindEnvelope(name);
    if (!env) {
        env = server->NewEnvelope(name);
        if (env && std::strstr(name, ".nea") && !env->LoadKeys(refFileServer_.Get(), name)) {
            // Nothing stays shared under the file's name for others to find empty.
            env->Release();
            env = nullptr;
            n_error("%s: setkeyfile: '%s' does not load; no keys\n", GetFullName().c_str(), name);
        }
    }
    envelope_ = env;
}

bool nLogicIpol::SaveKeys(const char* fileName) {
    nEnvelope* env = envelope_.GetUnsafe();
    if (!env || !fileName || !*fileName) {
        n_error("%s: savekeys '%s': %s\n", GetFullName().c_str(), fileName ? fileName : "",
                env ? "no file name" : "no keys to save");
        return false;
    }
    nFileServer2* fs = refFileServer_.Get();
    return env->SaveKeys(fs, fs->ManglePath(fileName).c_str());
}

bool nLogicIpol::Trigger(nLogicGraph* graph) {
    nRoot* target = target_.GetUnsafe();
    nEnvelope* env = envelope_.GetUnsafe();
    const int keys = env ? env->GetNumKeys() : 0;
    if (target && command_.proto && keys > 0 &&
        nScriptServer::MayRunKept(target, command_.proto, origin_, refused_)) {
        float v[4];
        // One key has no segment: its values hold at every time.
        if (keys > 1) {
            env->Sample(cursor_, v, GetTime(), timeScale_, repType_ == Loop);
        } else {
            const nEnvelope::Key* k = env->GetKey(0);
            for (int i = 0; i < 4; i++) v[i] = k->v[i];
        }
        nScriptServer::OriginScope origin(origin_);
        command_.Send(target, v);
    }
    return nLogicNode::Trigger(graph);
}

bool nLogicIpol::SaveCmds(nPersistServer* ps) {
    if (!nLogicNode::SaveCmds(ps)) return false;
    if (command_.proto && target_.IsValid()) {
        // A copy made by clone keeps the command's origin.
        nScriptServer::OriginScope origin(origin_);
        if (!ps->Put(this, nId("CNCT"), command_.proto->GetName())) return false;
    }
    if (repType_ == Loop && !ps->Put(this, nId("SRPT"), "loop")) return false;
    if (!keyFile_.IsEmpty()) return ps->Put(this, nId("SKFI"), keyFile_.Get());
    nEnvelope* env = envelope_.GetUnsafe();
    const int kind = env ? env->GetKind() : 0;
    if (!env || env->GetNumKeys() == 0 || kind < 1 || kind > 4) return true;
    if (!ps->Put(this, nId("BGKS"), env->GetNumKeys(), kind)) return false;
    for (int i = 0; i < env->GetNumKeys(); i++) {
        const nEnvelope::Key* k = env->GetKey(i);
        // A key never set samples as a step, so it is saved as one.
        const char* name = k->type >= 0 && k->type < 4 ? kIpolNames[k->type] : kIpolNames[0];
        const float* v = k->v;
        bool ok = false;
        switch (kind) {
            case 1: ok = ps->Put(this, nId("SK1F"), i, k->time, name, v[0]); break;
            case 2: ok = ps->Put(this, nId("SK2F"), i, k->time, name, v[0], v[1]); break;
            case 3: ok = ps->Put(this, nId("SK3F"), i, k->time, name, v[0], v[1], v[2]); break;
            default: ok = ps->Put(this, nId("SK4F"), i, k->time, name, v[0], v[1], v[2], v[3]); break;
        }
        if (!ok) return false;
    }
    return ps->Put(this, nId("ENKS"));
}
