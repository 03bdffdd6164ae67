#include "scene/nMixer.h"

#include <cmath>

#include "kernel/nCmd.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "scene/nChannelServer.h"
#include "scene/nChannelSet.h"

namespace {

enum Reason { None = 0, NoTarget, Moved, NoSource, NoGetter };

const nCmdDef<nMixer> cmds[] = {
    Bind<&nMixer::BeginSources>("v_beginsources_i", "BSRC"),
    Bind<&nMixer::SetSource>("v_setsource_iss", "SSRC"),
    Bind<&nMixer::EndSources>("v_endsources_v", "ESRC"),
    Bind<&nMixer::GetNumSources>("i_getnumsources_v", "GNSC"),
    {"ss_getsource_i", "GSRC",
     [](nMixer* self, nCmd* c) {
         const char *path, *channel;
         self->GetSource(c->In()->GetI(), path, channel);
         c->Out()->SetS(path);
         c->Out()->SetS(channel);
     }},
    Bind<&nMixer::BeginConnects>("v_beginconnects_i", "BCNC"),
    Bind<&nMixer::SetConnect>("v_setconnect_iss", "SCNC"),
    Bind<&nMixer::EndConnects>("v_endconnects_v", "ECNC"),
    Bind<&nMixer::GetNumConnects>("i_getnumconnects_v", "GNCC"),
    {"ss_getconnect_i", "GCNC",
     [](nMixer* self, nCmd* c) {
         const char *target, *source;
         self->GetConnect(c->In()->GetI(), target, source);
         c->Out()->SetS(target);
         c->Out()->SetS(source);
     }},
    Bind<&nMixer::SetNormalize>("v_setnormalize_b", "SNRM"),
    Bind<&nMixer::GetNormalize>("b_getnormalize_v", "GNRM"),
};

}  // namespace

const nClassInfo nMixer::classInfo = nClassInfo::Make<nMixer>("nmixer", "nvisnode", cmds);

nMixer::nMixer() = default;

void nMixer::Initialize() {
    nRoot* parent = GetParent();
    if (IsVisual(parent)) AddDepend(static_cast<nVisNode*>(parent));
    // The connects' commands belong to the parent: a moved mixer looks them up again.
    resolved_ = false;
    nVisNode::Initialize();
}

void nMixer::BeginSources(int n) {
    if (sources_.Begin(this, n)) NotifyParents();
}

void nMixer::SetSource(int index, const char* path, const char* channel) {
    if (!sources_.Set(this, index, path, channel)) return;
    for (Connect& c : connects_) {
        c.sourceProto[index] = nullptr;
        c.logged = None;
    }
    NotifyParents();
}

void nMixer::EndSources() {
    NotifyParents();
}

void nMixer::GetSource(int index, const char*& path, const char*& channel) const {
    sources_.Get(index, path, channel);
}

void nMixer::BeginConnects(int n) {
    if (n < 0 || n > MaxConnects) {
        n_error("%s: beginconnects: %d connects is outside 0 to %d\n", GetFullName().c_str(), n, MaxConnects);
        return;
    }
    numConnects_ = n;
    resolved_ = false;
}

void nMixer::SetConnect(int index, const char* target, const char* source) {
    if (index < 0 || index >= MaxConnects) {
        n_error("%s: setconnect: connect %d is outside 0 to %d\n", GetFullName().c_str(), index, MaxConnects - 1);
        return;
    }
    Connect& c = connects_[index];
    c.target = target ? target : "";
    c.source = source ? source : "";
    c.origin = nScriptServer::CurrentOrigin();
    c.refused = false;
    resolved_ = false;
    nRoot* parent = GetParent();
    nCmdProto* proto = parent ? parent->GetClass()->FindCmdByName(c.target.c_str()) : nullptr;
    if (proto && proto->GetNumInArgs() == 0) {
        n_error("%s: setconnect: '%s' takes no value; connect %d refused\n", GetFullName().c_str(),
                proto->GetProtoText(), index);
        c.refused = true;
    }
}

void nMixer::EndConnects() {}

void nMixer::GetConnect(int index, const char*& target, const char*& source) const {
    target = source = "";
    if (index < 0 || index >= numConnects_) return;
    target = connects_[index].target.c_str();
    source = connects_[index].source.c_str();
}

float nMixer::GetWeight(int index) const {
    return index >= 0 && index < sources_.Count() ? weights_[index] : 0.0f;
}

void nMixer::CollectChannels(nChannelSet* set) {
    nChannelServer* cs = refChannel.Get();
    for (int i = 0; i < sources_.Count(); i++) sources_.CollectChannel(i, set, cs);
    nVisNode::CollectChannels(set);
}

void nMixer::LogOnce(Connect& c, int reason, const char* fmt, const char* arg) {
    if (c.logged == reason) return;
    c.logged = reason;
    n_error(fmt, GetFullName().c_str(), arg);
}

void nMixer::Resolve() {
    nRoot* parent = GetParent();
    nClass* cls = parent ? parent->GetClass() : nullptr;
    for (Connect& c : connects_) {
        c.targetProto = nullptr;
        c.numValues = 0;
        c.logged = None;
        for (nCmdProto*& p : c.sourceProto) p = nullptr;
    }
    for (int i = 0; i < numConnects_; i++) {
        Connect& c = connects_[i];
        if (c.refused) continue;
        nCmdProto* proto = cls ? cls->FindCmdByName(c.target.c_str()) : nullptr;
        if (!proto) {
            n_error("%s: the parent has no command '%s'; connect %d dropped\n", GetFullName().c_str(),
                    c.target.c_str(), i);
            continue;
        }
        if (!proto->TakesFloats() || proto->GetNumInArgs() > MaxValues) {
            n_error("%s: '%s' takes other inputs than one to %d floats; connect %d dropped\n", GetFullName().c_str(),
                    proto->GetProtoText(), MaxValues, i);
            continue;
        }
        c.targetProto = proto;
        c.numValues = proto->GetNumInArgs();
    }
    resolved_ = true;
}

bool nMixer::Gather(Connect& c, float* acc) {
    for (int s = 0; s < sources_.Count(); s++) {
        const float w = weights_[s];
        if (!(w > 0.0f)) continue;
        nRoot* obj = sources_.Resolve(s);
        if (!obj) {
            LogOnce(c, NoSource, "%s: source '%s' not found; connect skipped\n", sources_.Path(s));
            return false;
        }
        // Each source's own class answers: sources of different classes may share a name.
        nCmdProto*& proto = c.sourceProto[s];
        if (proto && proto->GetOwner() && !obj->IsA(proto->GetOwner())) proto = nullptr;
        if (!proto) {
            nCmdProto* p = obj->GetClass()->FindCmdByName(c.source.c_str());
            if (!p || !p->GivesFloats(c.numValues)) {
                LogOnce(c, NoGetter, "%s: a source has no getter '%s' giving enough floats; connect skipped\n",
                        c.source.c_str());
                return false;
            }
            proto = p;
        }
        nCmd* cmd = proto->NewCmd();
        const bool ran = nScriptServer::DispatchKept(obj, cmd, nScriptServer::Weaker(c.origin, sources_.Origin(s)),
                                                     c.refused);
        for (int k = 0; ran && k < c.numValues; k++) acc[k] += w * cmd->GetArg(k)->GetF();
        proto->RelCmd(cmd);
        if (!ran) return false;
    }
    return true;
}

void nMixer::Compute(nSceneGraph2* sceneGraph) {
    nVisNode::Compute(sceneGraph);
    if (!resolved_) Resolve();
    float sum = 0.0f;
    const int numSources = sources_.Count();
    for (int s = 0; s < numSources; s++) {
        weights_[s] = ReadChannel(sceneGraph, sources_.ChannelIndex(s));
        sum += weights_[s];
    }
    if (normalize_ && sum >= 1e-7f && std::fabs(1.0f - sum) > 1e-7f) {
        for (int s = 0; s < numSources; s++) weights_[s] /= sum;
    }
    nRoot* parent = GetParent();
    for (int i = 0; i < numConnects_; i++) {
        Connect& c = connects_[i];
        if (!c.targetProto || !parent || c.refused) continue;
        if (c.targetProto->GetOwner() && !parent->IsA(c.targetProto->GetOwner())) {
            LogOnce(c, Moved, "%s: the parent has no command '%s'; connect skipped\n", c.target.c_str());
            continue;
        }
        float acc[MaxValues] = {};
        if (!Gather(c, acc)) continue;
        c.logged = None;
        nCmd* cmd = c.targetProto->NewCmd();
        for (int k = 0; k < c.numValues; k++) cmd->In()->SetF(acc[k]);
        nScriptServer::DispatchKept(parent, cmd, c.origin, c.refused);
        c.targetProto->RelCmd(cmd);
    }
}

bool nMixer::SaveCmds(nPersistServer* ps) {
    if (!nVisNode::SaveCmds(ps)) return false;
    if (!sources_.Save(ps, this) || !ps->Put(this, nId("BCNC"), numConnects_)) return false;
    for (int i = 0; i < numConnects_; i++) {
        // A copy made by clone keeps the connect's origin.
        nScriptServer::OriginScope origin(connects_[i].origin);
        if (!ps->Put(this, nId("SCNC"), i, connects_[i].target.c_str(), connects_[i].source.c_str())) return false;
    }
    return ps->Put(this, nId("ECNC")) && ps->Put(this, nId("SNRM"), normalize_);
}
