#include "logic/nModVisualizer.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "gfx/nGfxServer.h"
#include "kernel/nKernelServer.h"
#include "kernel/nObjectCount.h"
#include "kernel/nPersistServer.h"
#include "logic/nVariableContext.h"
#include "scene/n3DNode.h"
#include "scene/nChannelServer.h"
#include "scene/nChannelSet.h"
#include "scene/nSceneGraph2.h"
#include "scene/nVariableServer.h"

namespace {
// The immediate-mode primitive of line lists.
constexpr int kLineList = 3;
}  // namespace

static const nCmdDef<nModVisualizer> cmds[] = {
    Bind<&nModVisualizer::SetVisual>("v_setvisual_s", "VSVI"),
    Bind<&nModVisualizer::GetVisual>("s_getvisual_v", "VGVI"),
    {"v_setviewextents_fff", "VSEX",
     [](nModVisualizer* self, nCmd* c) {
         float x = c->In()->GetF();
         float y = c->In()->GetF();
         self->SetViewExtents(vector3(x, y, c->In()->GetF()));
     }},
    {"fff_getviewextents_v", "VGEX",
     [](nModVisualizer* self, nCmd* c) {
         const vector3& e = self->GetViewExtents();
         c->Out()->SetF(e.x);
         c->Out()->SetF(e.y);
         c->Out()->SetF(e.z);
     }},
    Bind<&nModVisualizer::AddChannel>("v_addchannel_s", "VADC"),
};
const nClassInfo nModVisualizer::classInfo = nClassInfo::Make<nModVisualizer>("nmodvisualizer", "nmodtransformer", cmds);

nModVisualizer::nModVisualizer() {
    visual_.SetCwd(this);
}

nModVisualizer::~nModVisualizer() = default;

void nModVisualizer::SetVisual(const char* path) {
    const char* old = visual_.GetPath();
    bool same = old && path && std::strcmp(old, path) == 0;
    if (same && visual_.Resolve()) return;
    if (n3DNode* c = clone_.GetUnsafe()) c->Release();
    clone_ = nullptr;
    visual_.SetPath(path && path[0] ? path : nullptr);
    visualLogged_ = false;
    visualRun_ = nObjectCount::DataRun();
    copyRefused_ = false;
}

std::string nModVisualizer::GetVisual() {
    return visual_.GetPath() && visual_.Resolve() ? std::string(visual_.GetPath()) : std::string();
}

void nModVisualizer::SetViewExtents(const vector3& e) {
    viewExtents_ = e;
    hasExtents_ = !(e.x == 0.0f && e.y == 0.0f && e.z == 0.0f);
}

nRoot* nModVisualizer::resolveTemplate() {
    nRoot* obj = visual_.GetPath() ? visual_.Resolve() : nullptr;
    if (obj && obj->IsA(n3DNode::classInfo.name)) {
        visualLogged_ = false;
        return obj;
    }
    if (!visualLogged_) {
        visualLogged_ = true;
        n_error("%s: visual '%s' %s; nothing is drawn\n", GetFullName().c_str(),
                visual_.GetPath() ? visual_.GetPath() : "", obj ? "is no n3dnode" : "names nothing");
    }
    return nullptr;
}

void nModVisualizer::createVisual() {
    if (copyRefused_) return;
    nRoot* tmpl = resolveTemplate();
    if (!tmpl) return;
    // The copy of a template that data chose, or that a data-made visualizer shows, is
    // data's: made and counted as data's own, within its bound, whenever it is drawn.
    const uint32_t run = visualRun_ ? visualRun_ : GetDataRun();
    auto refuse = [&] {
        copyRefused_ = true;
        n_error("%s: no copy of '%s': what data brought would keep more than %llu objects or %llu bytes\n",
                GetFullName().c_str(), tmpl->GetFullName().c_str(),
                static_cast<unsigned long long>(nObjectCount::LiveObjects),
                static_cast<unsigned long long>(nObjectCount::LiveBytesBound()));
    };
    if (run && !nObjectCount::DataWithinBounds()) return refuse();
    char name[512];
    std::snprintf(name, sizeof(name), "ref_%s", GetName() ? GetName() : "");
    nKernelServer* ks = nKernelServer::ks;
    // A copy left from a loaded file would stand in the new one's way.
    if (nRoot* stale = Find(name)) stale->Release();
    ks->PushCwd(this);
    nRoot* copy = nullptr;
    {
        nObjectCount::ChargeScope charged(run);
        copy = tmpl->Clone(name);
    }
    ks->PopCwd();
    if (copy && run && !nObjectCount::DataWithinBounds()) {
        copy->Release();
        return refuse();
    }
    if (copy && copy->IsA(n3DNode::classInfo.name)) {
        clone_ = static_cast<n3DNode*>(copy);
        clone_->NotifyParents();
    } else if (copy) {
        copy->Release();
    }
    channelsDirty_ = true;
}

void nModVisualizer::Attach() {
    if (!clone_.IsValid()) createVisual();
}

void nModVisualizer::BindChannels(nVariableContext* vars, nChannelSet* set) {
    channelIndices_.Clear();
    if (!vars || !set) return;
    nVariableServer* vs = GetVariableServer();
    nChannelServer* channels = refChannelServer_.Get();
    for (int i = 0; i < vars->Size(); i++) {
        const char* name = vs->GetVariableName(int(vars->Get(i).GetHandle()));
        channelIndices_.Append(name ? set->AddChannel(channels, name) : -1);
    }
}

void nModVisualizer::UpdateChannels(nChannelContext* ctx, nChannelSet* set, nVariableContext* vars) {
    if (!ctx || !ctx->values || !vars) return;
    // Variables added since the channels were bound have no index yet: they wait for the
    // next binding.
    int n = vars->Size() < channelIndices_.Size() ? vars->Size() : channelIndices_.Size();
    for (int i = 0; i < n; i++) {
        if (channelIndices_[i] < 0) continue;
        int pos = set->Find(channelIndices_[i]);
        if (pos < 0 || pos >= set->GetNumChannels()) continue;
        nChannelSlot& slot = ctx->values[pos];
        const nVariable& v = vars->Get(i);
        switch (v.GetType()) {
            case nVariable::Float: slot.f[0] = v.GetF(); break;
            case nVariable::Vector4:
                for (int k = 0; k < 4; k++) slot.f[k] = v.GetV4()[k];
                break;
            case nVariable::String: {
                // The slot keeps the whole pointer to the text.
                const char* text = v.GetS();
                std::memcpy(slot.f, &text, sizeof(text));
                break;
            }
            default: break;
        }
    }
}

bool nModVisualizer::outsideView(const matrix44& w) {
    nGfxServer* gfx = refGfxServer_.Get();
    matrix44 t = w * gfx->GetMatrix(nGfxServer::INVVIEWER);
    const vector3& e = viewExtents_;
    float half[3];
    for (int j = 0; j < 3; j++) {
        float a = std::fabs(e.x * t.m[0][j]), b = std::fabs(e.y * t.m[1][j]), c = std::fabs(e.z * t.m[2][j]);
        half[j] = a > b ? (a > c ? a : c) : (b > c ? b : c);
    }
    const matrix44& proj = gfx->GetMatrix(nGfxServer::PROJECTION);
    unsigned all = 0x3f;
    for (int corner = 0; corner < 8; corner++) {
        float p[4] = {t.m[3][0] + ((corner & 1) ? half[0] : -half[0]), t.m[3][1] + ((corner & 2) ? half[1] : -half[1]),
                      t.m[3][2] + ((corner & 4) ? half[2] : -half[2]), 1.0f};
        float q[4];
        for (int j = 0; j < 4; j++) q[j] = p[0] * proj.m[0][j] + p[1] * proj.m[1][j] + p[2] * proj.m[2][j] + p[3] * proj.m[3][j];
        unsigned code = 0;
        if (q[0] < -q[3]) code |= 1;
        if (q[0] > q[3]) code |= 2;
        if (q[1] < -q[3]) code |= 4;
        if (q[1] > q[3]) code |= 8;
        if (q[2] > q[3]) code |= 16;
        if (q[2] < -q[3]) code |= 32;
        all &= code;
    }
    return all != 0;
}

void nModVisualizer::Visualize(const matrix44& world, nSceneGraph2* sceneGraph, nVariableContext* vars) {
    if (!clone_.IsValid() && visual_.GetPath()) createVisual();
    n3DNode* clone = clone_.GetUnsafe();
    if (!clone || !sceneGraph) return;
    matrix44 w = WorldMatrix(world);
    if (hasExtents_ && outsideView(w)) return;
    bool changed = clone->ChannelsChanged();
    nChannelSet* set = clone->GetChannelSet();
    // A variable added since the last binding, or a rebuilt context, has no channel index yet.
    const uint64_t layout = vars ? vars->GetLayout() : 0;
    if (channelsDirty_ || changed || layout != boundLayout_) {
        BindChannels(vars, set);
        channelsDirty_ = false;
        boundLayout_ = layout;
    }
    nChannelContext* ctx = refChannelServer_.Get()->NewContext(set);
    UpdateChannels(ctx, set, vars);
    clone->SetLocalMatrix(w);
    nSceneNodeRecord* rec = sceneGraph->GetCurrentNode();
    if (rec) rec->channelContext = ctx;
    sceneGraph->SetRenderContext(0);
    clone->Attach(sceneGraph);
}

void nModVisualizer::Render() {
    if (!hasExtents_) return;
    nGfxServer* gfx = refGfxServer_.Get();
    const vector3& e = viewExtents_;
    vector3 c[8];
    for (int i = 0; i < 8; i++) c[i] = vector3((i & 1) ? e.x : -e.x, (i & 2) ? e.y : -e.y, (i & 4) ? e.z : -e.z);
    static const int edges[12][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3},
                                     {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    gfx->Begin(kLineList);
    gfx->Rgba(1.0f, 0.0f, 0.0f, 1.0f);
    for (const auto& edge : edges) {
        gfx->Coord(c[edge[0]].x, c[edge[0]].y, c[edge[0]].z);
        gfx->Coord(c[edge[1]].x, c[edge[1]].y, c[edge[1]].z);
    }
    gfx->End();
}

bool nModVisualizer::SaveCmds(nPersistServer* ps) {
    if (!nModTransformer::SaveCmds(ps)) return false;
    bool ok = true;
    if (visual_.GetPath() && visual_.Resolve()) ok = ps->Put(this, nId("VSVI"), visual_.GetPath());
    if (ok && hasExtents_) ok = ps->Put(this, nId("VSEX"), viewExtents_.x, viewExtents_.y, viewExtents_.z);
    return ok;
}
