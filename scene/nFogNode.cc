#include "scene/nFogNode.h"

#include <cstring>

#include "gfx/nGfxServer.h"
#include "kernel/nPersistServer.h"
#include "scene/nSceneGraph2.h"

namespace {

const char* const modeNames[] = {"linear", "exp", "exp2"};

// Render-state codes of the fog.
enum { RsFogMode = 19, RsFogStart = 20, RsFogEnd = 21, RsFogDensity = 22, RsFogColor = 23 };

}  // namespace

const nCmdDef<nFogNode> nFogNode::cmds[] = {
    Bind<&nFogNode::SetModeName>("v_setmode_s", "SMOD"),
    Bind<&nFogNode::GetModeName>("s_getmode_v", "GMOD"),
    Bind<&nFogNode::SetRange>("v_setrange_ff", "SRNG"),
    {"ff_getrange_v", "GRNG",
     [](nFogNode* self, nCmd* c) {
         c->Out()->SetF(self->start_);
         c->Out()->SetF(self->end_);
     }},
    Bind<&nFogNode::SetDensity>("v_setdensity_f", "SDNS"),
    Bind<&nFogNode::GetDensity>("f_getdensity_v", "GDNS"),
    Bind<&nFogNode::SetColor>("v_setcolor_ffff", "SCOL"),
    {"ffff_getcolor_v", "GCOL",
     [](nFogNode* self, nCmd* c) {
         for (float v : self->color_) c->Out()->SetF(v);
     }},
};

const nClassInfo nFogNode::classInfo = nClassInfo::Make<nFogNode>("nfognode", "nvisnode", cmds);

void nFogNode::SetColor(float r, float g, float b, float a) {
    color_[0] = r, color_[1] = g, color_[2] = b, color_[3] = a;
}

void nFogNode::SetModeName(const char* name) {
    for (int i = 0; i < 3; i++) {
        if (name && std::strcmp(name, modeNames[i]) == 0) {
            SetMode(i + 1);
            return;
        }
    }
    n_error("%s: unknown fog mode '%s'\n", GetFullName().c_str(), name ? name : "");
}

const char* nFogNode::GetModeName() const {
    const int m = GetMode();
    return m >= LINEAR && m <= EXP2 ? modeNames[m - 1] : "linear";
}

bool nFogNode::Attach(nSceneGraph2* sceneGraph) {
    if (!nVisNode::Attach(sceneGraph)) return false;
    sceneGraph->SetFogNode(this);
    return true;
}

void nFogNode::Compute(nSceneGraph2* sceneGraph) {
    nVisNode::Compute(sceneGraph);
    nGfxServer* gfx = refGfx.Get();
    if (!gfx) return;
    nRenderState rs;
    rs.state = RsFogMode, rs.value.i = mode_;
    gfx->SetRenderState(rs);
    rs.state = RsFogStart, rs.value.f = start_;
    gfx->SetRenderState(rs);
    rs.state = RsFogEnd, rs.value.f = end_;
    gfx->SetRenderState(rs);
    rs.state = RsFogDensity, rs.value.f = density_;
    gfx->SetRenderState(rs);
    // The colour goes by address: the device reads four floats.
    rs.state = RsFogColor, rs.value.p = color_;
    gfx->SetRenderState(rs);
}

bool nFogNode::SaveCmds(nPersistServer* ps) {
    if (!nVisNode::SaveCmds(ps)) return false;
    return ps->Put(this, nId("SMOD"), GetModeName()) && ps->Put(this, nId("SRNG"), start_, end_) &&
           ps->Put(this, nId("SDNS"), density_) &&
           ps->Put(this, nId("SCOL"), color_[0], color_[1], color_[2], color_[3]);
}
