#include "anim/nMeshEffect.h"

#include <cmath>
#include <cstdint>

#include "gfx/nVertexBuffer.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "kernel/nRandom.h"
#include "scene/MeshOutput.h"
#include "scene/nSceneGraph2.h"

namespace {

const nCmdDef<nMeshEffect> cmds[] = {
    Bind<&nMeshEffect::SetReadOnly>("v_setreadonly_b", "SRDO"),
    Bind<&nMeshEffect::GetReadOnly>("b_getreadonly_v", "GRDO"),
    Bind<&nMeshEffect::SetMeshNode>("v_setmeshnode_s", "SMND"),
    Bind<&nMeshEffect::GetMeshNode>("s_getmeshnode_v", "GMND"),
    Bind<&nMeshEffect::SetAmplitude>("v_setamplitude_f", "SAMP"),
    Bind<&nMeshEffect::GetAmplitude>("f_getamplitude_v", "GAMP"),
    Bind<&nMeshEffect::SetFrequency>("v_setfrequency_f", "SFRQ"),
    Bind<&nMeshEffect::GetFrequency>("f_getfrequency_v", "GFRQ"),
    Bind<&nMeshEffect::SetTwinkleTime>("v_settwinktime_f", "STWT"),
    Bind<&nMeshEffect::GetTwinkleTime>("f_gettwinktime_v", "GTWT"),
    Bind<&nMeshEffect::SetTwinkle>("v_settwink_b", "STWK"),
    Bind<&nMeshEffect::GetTwinkle>("b_gettwink_v", "GTWK"),
};

}  // namespace

const nClassInfo nMeshEffect::classInfo = nClassInfo::Make<nMeshEffect>("nmesheffect", "nanimnode", cmds);

nMeshEffect::nMeshEffect() : output_(std::make_unique<MeshOutput>()) {}

nMeshEffect::~nMeshEffect() = default;

void nMeshEffect::SetReadOnly(bool on) {
    readOnly_ = on;
    output_->SetPrivate(on);
}

bool nMeshEffect::Attach(nSceneGraph2* sceneGraph) {
    if (!nAnimNode::Attach(sceneGraph)) return false;
    if (readOnly_) return true;
    if (nSceneNodeRecord* rec = sceneGraph->GetCurrentNode()) rec->otherVisual = this;
    return true;
}

float nMeshEffect::TwinkleOffset(float t) const {
    if (!twinkle_) return 0.0f;
    const double ns = std::trunc(double(t) * 1000000000.0);
    // Times beyond 64 bits (and NaN) have no defined integer: no twinkle.
    if (!(std::fabs(ns) < 9.0e18)) return 0.0f;
    const auto low = int32_t(uint32_t(uint64_t(int64_t(ns))));
    if (low % 150 != 0) return 0.0f;
    const int r = nRandom::Next() % 10 + 1;
    return float(r <= 5 ? r : 5 - r);
}

void nMeshEffect::Compute(nSceneGraph2* sceneGraph) {
    nAnimNode::Compute(sceneGraph);
    nSceneNodeRecord* rec = sceneGraph->GetCurrentNode();
    // A mesh that leads back here would compute forever.
    if (!rec || busy_) return;
    busy_ = true;
    nVertexBuffer* src = source_.Take(this, sceneGraph);
    busy_ = false;
    if (!src) return;
    if (!(src->GetComponents() & N_VT_COORD)) {
        source_.LogOnce(this, "has no coordinates");
        return;
    }
    const int count = src->GetNumVertices();
    const float t = ReadChannel(sceneGraph, channelIndex_);
    if (!src->Lock()) return;
    nVertexBuffer* out = output_->Begin(rec, src->GetComponents(), count);
    const float d = TwinkleOffset(t);
    const int ss = src->GetStride(), so = out->GetStride();
    const float* p = src->GetCoordPtr();
    float* q = out->GetCoordPtr();
    const float phase = t * frequency_;
    for (int v = 0; v < count; v++, p += ss, q += so) {
        q[0] = d + p[0] + std::sin(phase + p[1]) * amplitude_;
        q[1] = d + p[1];
        q[2] = d + p[2];
    }
    auto copy = [&](const float* from, float* to, int k) {
        if (!from || !to) return;
        for (int v = 0; v < count; v++, from += ss, to += so)
            for (int j = 0; j < k; j++) to[j] = from[j];
    };
    copy(src->GetNormPtr(), out->GetNormPtr(), 3);
    if (const uint32_t* c = src->GetColorPtr(); c && out->GetColorPtr()) {
        uint32_t* o = out->GetColorPtr();
        for (int v = 0; v < count; v++, c += ss, o += so) *o = *c;
    }
    for (int set = 0; set < 4 && src->GetUvPtr(set); set++) copy(src->GetUvPtr(set), out->GetUvPtr(set), 2);
    out->SetBoundingBox(src->GetBoundingBox());
    src->Unlock();
    output_->End(rec, count);
}

bool nMeshEffect::SaveCmds(nPersistServer* ps) {
    if (!nAnimNode::SaveCmds(ps)) return false;
    return ps->Put(this, nId("SRDO"), readOnly_) && ps->Put(this, nId("SMND"), GetMeshNode()) &&
           ps->Put(this, nId("SAMP"), amplitude_) && ps->Put(this, nId("SFRQ"), frequency_) &&
           ps->Put(this, nId("STWT"), twinkleTime_) && ps->Put(this, nId("STWK"), twinkle_);
}
