#include "scene/nHyperMixer2.h"

#include <algorithm>

#include "kernel/nCmd.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "scene/nChannelServer.h"
#include "scene/nChannelSet.h"

namespace {

const nCmdDef<nHyperMixer2> cmds[] = {
    Bind<&nHyperMixer2::BeginSources>("v_beginsources_i", "BSRC"),
    Bind<&nHyperMixer2::SetSource>("v_setsource_iss", "SSRC"),
    Bind<&nHyperMixer2::EndSources>("v_endsources_v", "ESRC"),
    Bind<&nHyperMixer2::GetNumSources>("i_getnumsources_v", "GNSC"),
    {"ss_getsource_i", "GSRC",
     [](nHyperMixer2* self, nCmd* c) {
         const char *path, *channel;
         self->GetSource(c->In()->GetI(), path, channel);
         c->Out()->SetS(path);
         c->Out()->SetS(channel);
     }},
    Bind<&nHyperMixer2::BeginConnects>("v_beginconnects_i", "BCNC"),
    Bind<&nHyperMixer2::SetConnect>("v_setconnect_issss", "SCNC"),
    Bind<&nHyperMixer2::EndConnects>("v_endconnects_v", "ECNC"),
    Bind<&nHyperMixer2::GetNumConnects>("i_getnumconnects_v", "GNCC"),
    {"ssss_getconnect_i", "GCNC",
     [](nHyperMixer2* self, nCmd* c) {
         const char *target, *setter, *object, *getter;
         self->GetConnect(c->In()->GetI(), target, setter, object, getter);
         c->Out()->SetS(target);
         c->Out()->SetS(setter);
         c->Out()->SetS(object);
         c->Out()->SetS(getter);
     }},
};

const char* orEmpty(const char* s) {
    return s ? s : "";
}

}  // namespace

const nClassInfo nHyperMixer2::classInfo = nClassInfo::Make<nHyperMixer2>("nhypermixer2", "nvisnode", cmds);

nHyperMixer2::nHyperMixer2() = default;

void nHyperMixer2::Initialize() {
    nRoot* parent = GetParent();
    if (IsVisual(parent)) AddDepend(static_cast<nVisNode*>(parent));
    needsResolve_ = true;
    nVisNode::Initialize();
}

void nHyperMixer2::BeginSources(int n) {
    if (!sources_.Begin(this, n)) return;
    needsResolve_ = true;
    NotifyParents();
}

void nHyperMixer2::SetSource(int index, const char* path, const char* channel) {
    if (!sources_.Set(this, index, path, channel)) return;
    needsResolve_ = true;
    NotifyParents();
}

void nHyperMixer2::EndSources() {
    needsResolve_ = true;
    NotifyParents();
}

void nHyperMixer2::GetSource(int index, const char*& path, const char*& channel) const {
    sources_.Get(index, path, channel);
}

void nHyperMixer2::BeginConnects(int n) {
    if (n < 0 || n > MaxConnects) {
        n_error("%s: beginconnects: %d connects is outside 0 to %d\n", GetFullName().c_str(), n, MaxConnects);
        return;
    }
    numConnects_ = n;
    needsResolve_ = true;
}

void nHyperMixer2::SetConnect(int index, const char* target, const char* setter, const char* object,
                              const char* getter) {
    if (index < 0 || index >= MaxConnects) {
        n_error("%s: setconnect: connect %d is outside 0 to %d\n", GetFullName().c_str(), index, MaxConnects - 1);
        return;
    }
    Connect& c = connects_[index];
    c.target = orEmpty(target);
    c.setter = orEmpty(setter);
    c.object = orEmpty(object);
    c.getter = orEmpty(getter);
    c.usable = false;
    c.origin = nScriptServer::CurrentOrigin();
    c.refused = false;
    needsResolve_ = true;
    nRoot* obj = nKernelServer::ks->LookupFrom(this, c.target.c_str());
    nCmdProto* proto = obj ? obj->GetClass()->FindCmdByName(c.setter.c_str()) : nullptr;
    if (proto && proto->GetNumInArgs() == 0) {
        n_error("%s: setconnect: '%s' takes no value; connect %d refused\n", GetFullName().c_str(),
                proto->GetProtoText(), index);
        c.refused = true;
    }
}

void nHyperMixer2::EndConnects() {
    needsResolve_ = true;
}

void nHyperMixer2::GetConnect(int index, const char*& target, const char*& setter, const char*& object,
                              const char*& getter) const {
    target = setter = object = getter = "";
    if (index < 0 || index >= numConnects_) return;
    const Connect& c = connects_[index];
    target = c.target.c_str();
    setter = c.setter.c_str();
    object = c.object.c_str();
    getter = c.getter.c_str();
}

void nHyperMixer2::LogOnce(const std::string& what) {
    if (std::find(logged_.begin(), logged_.end(), what) != logged_.end()) return;
    logged_.push_back(what);
    n_error("%s: %s\n", GetFullName().c_str(), what.c_str());
}

nRoot* nHyperMixer2::SourceNode(int s) {
    nRoot* node = sources_.Resolve(s);
    if (!IsVisual(node)) {
        LogOnce("source '" + std::string(sources_.Path(s)) + "' names no visual node");
        return nullptr;
    }
    return node;
}

void nHyperMixer2::CollectChannels(nChannelSet* set) {
    nChannelServer* cs = refChannel.Get();
    // A source that holds the mixer would collect it again without end.
    if (!collecting_) {
        collecting_ = true;
        for (int s = 0; s < sources_.Count(); s++) {
            sources_.CollectChannel(s, set, cs);
            if (nRoot* node = SourceNode(s)) static_cast<nVisNode*>(node)->CollectChannels(set);
        }
        collecting_ = false;
    }
    nVisNode::CollectChannels(set);
}

// True when every path and command of connect `c` was found; a missing path keeps
// needsResolve_ set so the next frame looks again.
bool nHyperMixer2::ResolveConnect(int ci) {
    nKernelServer* ks = nKernelServer::ks;
    Connect& c = connects_[ci];
    c.setterProto = nullptr;
    if (c.refused) return false;
    nRoot* target = ks->LookupFrom(this, c.target.c_str());
    c.targetObj = target;
    if (!target) {
        LogOnce("connect " + std::to_string(ci) + ": target '" + c.target + "' not found");
        needsResolve_ = true;
        return false;
    }
    nCmdProto* setter = target->GetClass()->FindCmdByName(c.setter.c_str());
    if (!setter || !setter->TakesFloats()) {
        LogOnce("connect " + std::to_string(ci) + ": the target has no setter '" + c.setter + "' taking floats");
        return false;
    }
    if (!nScriptServer::MayRunKept(target, setter, c.origin, c.refused)) return false;
    c.setterProto = setter;
    c.numValues = setter->GetNumInArgs();
    for (int s = 0; s < sources_.Count(); s++) {
        Slot& slot = SlotAt(ci, s);
        slot.getter = nullptr;
        nRoot* src = SourceNode(s);
        nRoot* obj = src ? ks->LookupFrom(src, c.object.c_str()) : nullptr;
        slot.obj = obj;
        if (!obj) {
            if (src)
                LogOnce("connect " + std::to_string(ci) + ": no '" + c.object + "' below " + src->GetFullName());
            needsResolve_ = true;
            return false;
        }
        // Each object's own class answers: the sources may hold objects of other classes.
        nCmdProto* getter = obj->GetClass()->FindCmdByName(c.getter.c_str());
        if (!getter || !getter->GivesFloats(c.numValues)) {
            LogOnce("connect " + std::to_string(ci) + ": " + obj->GetFullName() + " has no getter '" + c.getter +
                    "' giving " + std::to_string(c.numValues) + " floats");
            return false;
        }
        if (!nScriptServer::MayRunKept(obj, getter, nScriptServer::Weaker(c.origin, sources_.Origin(s)), c.refused))
            return false;
        slot.getter = getter;
    }
    return true;
}

void nHyperMixer2::Resolve() {
    if (slots_.empty()) slots_.resize(static_cast<size_t>(MaxConnects * MaxSources));
    needsResolve_ = false;
    for (int c = 0; c < numConnects_; c++) connects_[c].usable = ResolveConnect(c);
}

void nHyperMixer2::Compute(nSceneGraph2* sceneGraph) {
    nVisNode::Compute(sceneGraph);
    if (needsResolve_) {
        Resolve();
        // Settings changed since the last log: a new fault is worth a line again.
        if (!needsResolve_) logged_.clear();
    }
    const int numSources = sources_.Count();
    for (int s = 0; s < numSources; s++) weights_[s] = ReadChannel(sceneGraph, sources_.ChannelIndex(s));
    for (int ci = 0; ci < numConnects_; ci++) {
        Connect& c = connects_[ci];
        if (!c.usable) continue;
        nRoot* target = c.targetObj.GetUnsafe();
        float sums[16] = {};
        bool alive = target != nullptr;
        for (int s = 0; alive && s < numSources; s++) {
            const float w = weights_[s];
            if (!(w > 0.0f)) continue;
            Slot& slot = SlotAt(ci, s);
            nRoot* obj = slot.obj.GetUnsafe();
            if (!obj) {
                alive = false;
                break;
            }
            const nScriptServer::Origin origin = nScriptServer::Weaker(c.origin, sources_.Origin(s));
            if (IsVisual(obj)) {
                nScriptServer::OriginScope scope(origin);
                static_cast<nVisNode*>(obj)->Compute(sceneGraph);
            }
            nCmd* cmd = slot.getter->NewCmd();
            const bool ran = nScriptServer::DispatchKept(obj, cmd, origin, c.refused);
            for (int k = 0; ran && k < c.numValues; k++) sums[k] += w * cmd->GetArg(k)->GetF();
            slot.getter->RelCmd(cmd);
            if (!ran) {
                alive = false;
                break;
            }
        }
        // An object that died since it was found: look the paths up again next frame.
        if (!alive) {
            c.usable = false;
            needsResolve_ = true;
            continue;
        }
        nCmd* cmd = c.setterProto->NewCmd();
        for (int k = 0; k < c.numValues; k++) cmd->In()->SetF(sums[k]);
        nScriptServer::DispatchKept(target, cmd, c.origin, c.refused);
        c.setterProto->RelCmd(cmd);
    }
}

bool nHyperMixer2::SaveCmds(nPersistServer* ps) {
    if (!nVisNode::SaveCmds(ps)) return false;
    if (sources_.Count() > 0 && !sources_.Save(ps, this)) return false;
    if (numConnects_ > 0) {
        if (!ps->Put(this, nId("BCNC"), numConnects_)) return false;
        for (int i = 0; i < numConnects_; i++) {
            const Connect& c = connects_[i];
            // A copy made by clone keeps the connect's origin.
            nScriptServer::OriginScope origin(c.origin);
            if (!ps->Put(this, nId("SCNC"), i, c.target.c_str(), c.setter.c_str(), c.object.c_str(),
                         c.getter.c_str()))
                return false;
        }
        if (!ps->Put(this, nId("ECNC"))) return false;
    }
    return true;
}
