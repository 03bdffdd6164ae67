#include "anim/nCurveArrayNode.h"

#include <cmath>
#include <cstring>

#include "anim/nAnimCurveArray.h"
#include "anim/nAnimServer.h"
#include "anim/nExternalAnimServer.h"
#include "kernel/nCmd.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "scene/nChannelServer.h"
#include "scene/nChannelSet.h"

namespace {

const char* orEmpty(const char* s) { return s ? s : ""; }

void setConnect(nCurveArrayNode* self, nCmd* c, bool bundle, bool withChannel) {
    int index = c->In()->GetI();
    const char* source = c->In()->GetS();
    const char* target = c->In()->GetS();
    const char* command = c->In()->GetS();
    const char* channel = withChannel ? c->In()->GetS() : self->GetChannel();
    if (bundle) self->SetBundleConnect(index, source, target, command, channel);
    else self->SetCurveConnect(index, source, target, command, channel);
}

enum Reason { NoSource = 1, NoTarget, NoCommand, NotFloats };

}  // namespace

const nCmdDef<nCurveArrayNode> nCurveArrayNode::cmds[] = {
    Bind<&nCurveArrayNode::SetFileName>("v_setfilename_s", "SFLN"),
    Bind<&nCurveArrayNode::GetFileName>("s_getfilename_v", "GFLN"),
    Bind<&nCurveArrayNode::BeginCurveBundles>("v_begincurvebundles_i", "BGCB"),
    Bind<&nCurveArrayNode::BeginBundle>("v_beginbundle_isi", "BGBD"),
    Bind<&nCurveArrayNode::SetBundleCurve>("v_setbundlecurve_iss", "SCBD"),
    {"v_endbundle_v", "EDBD", [](nCurveArrayNode*, nCmd*) {}},
    {"v_endcurvebundles_v", "EBCB", [](nCurveArrayNode*, nCmd*) {}},
    Bind<&nCurveArrayNode::BeginConnects>("v_beginconnects_i", "BGCN"),
    {"v_setcurveconnect_isss", "SCCN", [](nCurveArrayNode* self, nCmd* c) { setConnect(self, c, false, false); }},
    {"v_setcurveconnect2_issss", "SCC2", [](nCurveArrayNode* self, nCmd* c) { setConnect(self, c, false, true); }},
    {"v_setbundleconnect_isss", "SBCN", [](nCurveArrayNode* self, nCmd* c) { setConnect(self, c, true, false); }},
    {"v_setbundleconnect2_issss", "SBC2", [](nCurveArrayNode* self, nCmd* c) { setConnect(self, c, true, true); }},
    Bind<&nCurveArrayNode::EndConnects>("v_endconnects_v", "EDCN"),
};

const nClassInfo nCurveArrayNode::classInfo =
    nClassInfo::Make<nCurveArrayNode>("ncurvearraynode", "nanimnode", nCurveArrayNode::cmds);

nCurveArrayNode::nCurveArrayNode() : refAnim_("/sys/servers/anim"), refAnim2_("/sys/servers/anim2") {}

nCurveArrayNode::~nCurveArrayNode() {
    DropSource();
}

void nCurveArrayNode::DropSource() {
    if (external_) {
        if (auto* server = dynamic_cast<nExternalAnimServer*>(externalServer_.GetUnsafe())) server->Close(external_);
        external_ = nullptr;
    }
    externalServer_.Invalidate();
    if (nAnimCurveArray* arr = curveArray_.GetUnsafe()) {
        curveArray_.Invalidate();
        arr->Release();
    }
}

void nCurveArrayNode::Initialize() {
    nRoot* parent = GetParent();
    if (IsVisual(parent)) AddDepend(static_cast<nVisNode*>(parent));
    nAnimNode::Initialize();
}

void nCurveArrayNode::SetFileName(const char* name) {
    if (!nFileServer2::MayKeepPath(name)) return;
    DropSource();
    fullName_ = orEmpty(name);
    fileName_.clear();
    // No name: no curves (a saved node without a file loads back like this).
    if (fullName_.empty()) return;
    const char* hash = std::strchr(fullName_.c_str(), '#');
    if (hash) {
        fileName_.assign(fullName_.c_str(), static_cast<size_t>(hash - fullName_.c_str()));
        nRoot* obj = refAnim2_.Resolve();
        auto* server = dynamic_cast<nExternalAnimServer*>(obj);
        if (!server) {
            n_error("%s: setfilename '%s': no animation server at /sys/servers/anim2; nothing animates\n",
                    GetFullName().c_str(), fullName_.c_str());
            return;
        }
        external_ = server->Open(fileName_.c_str(), hash + 1);
        if (external_) externalServer_.Set(obj);
        else n_error("%s: setfilename '%s': the animation cannot be opened\n", GetFullName().c_str(), fullName_.c_str());
        return;
    }
    fileName_ = fullName_;
    nAnimServer* server = refAnim_.Get();
    nAnimCurveArray* arr = server->FindAnimCurveArray(fileName_.c_str());
    if (!arr) {
        arr = server->NewAnimCurveArray(fileName_.c_str());
        // A failed load keeps the empty array; the connects then have no curves.
        if (arr) arr->Load(fileName_.c_str());
    }
    if (arr) curveArray_.Set(arr);
}

bool nCurveArrayNode::ChargeTables(size_t bundles, size_t entries, size_t texts, size_t connects,
                                   const char* what) {
    return tablesCharge_.Hold(bundles * sizeof(nCurveBundle) + entries * sizeof(nCurveBundleEntry) + texts +
                                  connects * sizeof(nCurveConnect),
                              this, what);
}

void nCurveArrayNode::BeginCurveBundles(int n) {
    bundles_.clear();
    entries_ = 0;
    entryTexts_ = 0;
    currentBundle_ = -1;
    if (n < 0 || n > MaxItems) {
        n_error("%s: begincurvebundles: %d bundles is outside 0 to %d\n", GetFullName().c_str(), n, MaxItems);
        n = 0;
    }
    if (!ChargeTables(size_t(n), 0, 0, connects_.size(), "v_begincurvebundles_i")) n = 0;
    bundles_.resize(static_cast<size_t>(n));
    NotifyParents();
}

void nCurveArrayNode::BeginBundle(int index, const char* name, int numCurves) {
    if (index < 0 || index >= GetNumBundles() || numCurves < 0 || numCurves > MaxItems) {
        n_error("%s: beginbundle: bundle %d of %d with %d curves\n", GetFullName().c_str(), index, GetNumBundles(),
                numCurves);
        currentBundle_ = -1;
        return;
    }
    nCurveBundle& b = bundles_[static_cast<size_t>(index)];
    const size_t entries = entries_ - b.entries.size() + size_t(numCurves);
    size_t texts = entryTexts_;
    for (const nCurveBundleEntry& e : b.entries) texts -= e.curveName.size() + e.channel.size();
    if (!ChargeTables(bundles_.size(), entries, texts, connects_.size(), "v_beginbundle_isi")) {
        currentBundle_ = -1;
        return;
    }
    currentBundle_ = index;
    b.name = orEmpty(name);
    b.entries.assign(static_cast<size_t>(numCurves), nCurveBundleEntry());
    b.entries.shrink_to_fit();
    entries_ = entries;
    entryTexts_ = texts;
    NotifyParents();
}

void nCurveArrayNode::SetBundleCurve(int entry, const char* curveName, const char* channel) {
    if (currentBundle_ < 0 || currentBundle_ >= GetNumBundles()) {
        n_error("%s: setbundlecurve: no bundle begun\n", GetFullName().c_str());
        return;
    }
    nCurveBundle& b = bundles_[static_cast<size_t>(currentBundle_)];
    if (entry < 0 || entry >= static_cast<int>(b.entries.size())) {
        n_error("%s: setbundlecurve: entry %d of %d\n", GetFullName().c_str(), entry, static_cast<int>(b.entries.size()));
        return;
    }
    nCurveBundleEntry& e = b.entries[static_cast<size_t>(entry)];
    const size_t texts = entryTexts_ - e.curveName.size() - e.channel.size() + std::strlen(orEmpty(curveName)) +
                         std::strlen(orEmpty(channel));
    if (!ChargeTables(bundles_.size(), entries_, texts, connects_.size(), "v_setbundlecurve_iss")) return;
    entryTexts_ = texts;
    e.curveName = orEmpty(curveName);
    e.channel = orEmpty(channel);
    e.channelIndex = -1;
    e.weight = 0.0f;
    nAnimCurveArray* arr = curveArray_.GetUnsafe();
    e.curve = arr ? arr->FindCurveIndex(e.curveName.c_str()) : -1;
    if (e.curve < 0)
        n_error("%s: setbundlecurve: %s '%s'\n", GetFullName().c_str(), arr ? "no curve" : "no curve array for",
                e.curveName.c_str());
    NotifyParents();
}

void nCurveArrayNode::BeginConnects(int n) {
    connects_.clear();
    if (n < 0 || n > MaxItems) {
        n_error("%s: beginconnects: %d connects is outside 0 to %d\n", GetFullName().c_str(), n, MaxItems);
        n = 0;
    }
    if (!ChargeTables(bundles_.size(), entries_, entryTexts_, size_t(n), "v_beginconnects_i")) n = 0;
    connects_ = std::vector<nCurveConnect>(static_cast<size_t>(n));
    NotifyParents();
}

nCurveConnect* nCurveArrayNode::ConnectAt(int index, const char* what) {
    if (index < 0 || index >= GetNumConnects()) {
        n_error("%s: %s: connect %d of %d\n", GetFullName().c_str(), what, index, GetNumConnects());
        return nullptr;
    }
    nCurveConnect& c = connects_[static_cast<size_t>(index)];
    c.proto = nullptr;
    c.logged = 0;
    c.origin = nScriptServer::CurrentOrigin();
    c.refused = false;
    return &c;
}

void nCurveArrayNode::SetCurveConnect(int index, const char* curveName, const char* target, const char* command,
                                      const char* channel) {
    nAnimCurveArray* arr = curveArray_.GetUnsafe();
    if (!external_ && !arr) {
        n_error("%s: setcurveconnect: no curve array\n", GetFullName().c_str());
        return;
    }
    nCurveConnect* c = ConnectAt(index, "setcurveconnect");
    if (!c) return;
    c->sourceName = orEmpty(curveName);
    if (external_) {
        c->kind = nCurveConnect::External;
        c->source = external_->FindCurve(c->sourceName.c_str());
    } else {
        c->kind = nCurveConnect::Curve;
        c->source = arr->FindCurveIndex(c->sourceName.c_str());
    }
    c->target.SetPath(orEmpty(target));
    c->command = orEmpty(command);
    c->channel = orEmpty(channel);
    c->channelIndex = -1;
    NotifyParents();
}

void nCurveArrayNode::SetBundleConnect(int index, const char* bundleName, const char* target, const char* command,
                                       const char* channel) {
    nCurveConnect* c = ConnectAt(index, "setbundleconnect");
    if (!c) return;
    c->kind = nCurveConnect::Bundle;
    c->sourceName = orEmpty(bundleName);
    c->source = -1;
    for (int i = 0; i < GetNumBundles(); i++) {
        if (bundles_[static_cast<size_t>(i)].name == c->sourceName) {
            c->source = i;
            break;
        }
    }
    c->target.SetPath(orEmpty(target));
    c->command = orEmpty(command);
    c->channel = orEmpty(channel);
    c->channelIndex = -1;
    NotifyParents();
}

void nCurveArrayNode::EndConnects() {
    for (nCurveConnect& c : connects_) {
        c.target.SetCwd(this);
        c.proto = nullptr;
    }
}

const nCurveBundle* nCurveArrayNode::GetBundle(int i) const {
    if (i < 0 || i >= GetNumBundles()) return nullptr;
    return &bundles_[static_cast<size_t>(i)];
}

void nCurveArrayNode::CollectChannels(nChannelSet* set) {
    nChannelServer* cs = refChannel.Get();
    for (nCurveBundle& b : bundles_)
        for (nCurveBundleEntry& e : b.entries) e.channelIndex = set->AddChannel(cs, e.channel.c_str());
    for (nCurveConnect& c : connects_) {
        if (c.kind != nCurveConnect::Unset) c.channelIndex = set->AddChannel(cs, c.channel.c_str());
    }
    nAnimNode::CollectChannels(set);
}

nAnimKey nCurveArrayNode::BlendBundle(const nCurveBundle& bundle, float t) {
    nAnimCurveArray* arr = curveArray_.GetUnsafe();
    nAnimCurve* first = arr && !bundle.entries.empty() ? arr->GetCurve(bundle.entries[0].curve) : nullptr;
    if (first && first->GetIpolType() == nAnimCurve::Quat) {
        quaternion q;
        float total = 0.0f;
        for (const nCurveBundleEntry& e : bundle.entries) {
            nAnimCurve* curve = arr->GetCurve(e.curve);
            if (!curve || !(e.weight > 0.0f)) continue;
            nAnimKey v = curve->GetValue(t);
            quaternion p(v.x, v.y, v.z, v.w);
            if (total == 0.0f) {
                q = p;
                total = e.weight;
            } else {
                total += e.weight;
                quaternion from = q;
                q.Slerp(from, p, e.weight / total);
            }
        }
        return nAnimKey{q.x, q.y, q.z, q.w};
    }
    nAnimKey sum;
    for (const nCurveBundleEntry& e : bundle.entries) {
        nAnimCurve* curve = arr ? arr->GetCurve(e.curve) : nullptr;
        if (!curve || !(e.weight > 0.0f)) continue;
        nAnimKey v = curve->GetValue(t);
        sum.x += e.weight * v.x;
        sum.y += e.weight * v.y;
        sum.z += e.weight * v.z;
        sum.w += e.weight * v.w;
    }
    return sum;
}

void nCurveArrayNode::LogOnce(nCurveConnect& c, int reason, const char* fmt, const char* arg) {
    if (c.logged == reason) return;
    c.logged = reason;
    n_error(fmt, GetFullName().c_str(), arg);
}

void nCurveArrayNode::Deliver(nCurveConnect& c, const nAnimKey& value) {
    if (c.refused) return;
    nRoot* target = c.target.Resolve();
    if (!target) {
        LogOnce(c, NoTarget, "%s: connect target '%s' not found; skipped\n", orEmpty(c.target.GetPath()));
        return;
    }
    // A target that died and was made again may be of another class.
    if (c.proto && c.proto->GetOwner() && !target->IsA(c.proto->GetOwner())) c.proto = nullptr;
    if (!c.proto) {
        nCmdProto* proto = target->GetClass() ? target->GetClass()->FindCmdByName(c.command.c_str()) : nullptr;
        if (!proto) {
            LogOnce(c, NoCommand, "%s: the connect target has no command '%s'; skipped\n", c.command.c_str());
            return;
        }
        // One without inputs takes no value (save, exit): no curve drives it.
        if (!proto->TakesFloats()) {
            LogOnce(c, NotFloats, "%s: '%s' takes other inputs than floats; skipped\n", proto->GetProtoText());
            return;
        }
        c.proto = proto;
    }
    const float v[4] = {value.x, value.y, value.z, value.w};
    nCmd* cmd = c.proto->NewCmd();
    // Inputs past the fourth get 0: a value has four components.
    for (int i = 0; i < c.proto->GetNumInArgs(); i++) cmd->In()->SetF(i < 4 ? v[i] : 0.0f);
    nScriptServer::DispatchKept(target, cmd, c.origin, c.refused);
    c.proto->RelCmd(cmd);
    c.logged = 0;
}

void nCurveArrayNode::Compute(nSceneGraph2* sceneGraph) {
    nAnimNode::Compute(sceneGraph);
    nAnimCurveArray* arr = curveArray_.GetUnsafe();
    for (nCurveConnect& c : connects_) {
        if (c.kind == nCurveConnect::Unset) continue;
        float t = ReadChannel(sceneGraph, c.channelIndex);
        nAnimKey value;
        if (c.kind == nCurveConnect::Curve) {
            nAnimCurve* curve = arr ? arr->GetCurve(c.source) : nullptr;
            if (!curve) {
                LogOnce(c, NoSource, "%s: no curve '%s'; connect skipped\n", c.sourceName.c_str());
                continue;
            }
            value = curve->GetValue(t);
        } else if (c.kind == nCurveConnect::External) {
            if (!external_) continue;
            external_->GetValue(t, c.source, value);
        } else {
            if (c.source < 0 || c.source >= GetNumBundles()) {
                LogOnce(c, NoSource, "%s: no bundle '%s'; connect skipped\n", c.sourceName.c_str());
                continue;
            }
            nCurveBundle& b = bundles_[static_cast<size_t>(c.source)];
            for (nCurveBundleEntry& e : b.entries) {
                float w = ReadChannel(sceneGraph, e.channelIndex);
                e.weight = w > 1.0f ? 1.0f : (w > 0.0f ? w : 0.0f);
            }
            value = BlendBundle(b, t);
        }
        Deliver(c, value);
    }
}

bool nCurveArrayNode::SaveCmds(nPersistServer* ps) {
    if (!nAnimNode::SaveCmds(ps)) return false;
    if (!ps->Put(this, nId("SFLN"), fullName_.c_str())) return false;
    if (!bundles_.empty()) {
        if (!ps->Put(this, nId("BGCB"), GetNumBundles())) return false;
        for (int i = 0; i < GetNumBundles(); i++) {
            const nCurveBundle& b = bundles_[static_cast<size_t>(i)];
            int n = static_cast<int>(b.entries.size());
            if (!ps->Put(this, nId("BGBD"), i, b.name.c_str(), n)) return false;
            for (int j = 0; j < n; j++) {
                const nCurveBundleEntry& e = b.entries[static_cast<size_t>(j)];
                if (!ps->Put(this, nId("SCBD"), j, e.curveName.c_str(), e.channel.c_str())) return false;
            }
            if (!ps->Put(this, nId("EDBD"))) return false;
        }
        if (!ps->Put(this, nId("EBCB"))) return false;
    }
    if (connects_.empty()) return true;
    if (!ps->Put(this, nId("BGCN"), GetNumConnects())) return false;
    for (int i = 0; i < GetNumConnects(); i++) {
        nCurveConnect& c = connects_[static_cast<size_t>(i)];
        const char* path = orEmpty(c.target.GetPath());
        // A copy made by clone keeps the connect's origin.
        nScriptServer::OriginScope origin(c.origin);
        bool ok = true;
        if (c.kind == nCurveConnect::Curve || c.kind == nCurveConnect::External)
            ok = ps->Put(this, nId("SCC2"), i, c.sourceName.c_str(), path, c.command.c_str(), c.channel.c_str());
        else if (c.kind == nCurveConnect::Bundle)
            ok = ps->Put(this, nId("SBC2"), i, c.sourceName.c_str(), path, c.command.c_str(), c.channel.c_str());
        if (!ok) return false;
    }
    return ps->Put(this, nId("EDCN"));
}
