#include "scene/nMeshMixer.h"

#include <algorithm>
#include <cmath>

#include "gfx/nVertexBuffer.h"
#include "kernel/nCmd.h"
#include "kernel/nKernelServer.h"
#include "kernel/nMath.h"
#include "kernel/nPersistServer.h"
#include "scene/MeshOutput.h"
#include "scene/nChannelServer.h"
#include "scene/nChannelSet.h"
#include "scene/nSceneGraph2.h"

namespace {

template <int Bit>
void setFlag(nMeshMixer* self, nCmd* c) {
    self->SetFlag(Bit, c->In()->GetB());
}
template <int Bit>
void getFlag(nMeshMixer* self, nCmd* c) {
    c->Out()->SetB(self->GetFlag(Bit));
}

// Flag bit and the id of its setter, in the order they are saved.
const struct {
    int bit;
    const char* id;
} savedFlags[] = {{7, "SNRM"}, {0, "SUCD"}, {1, "SUNM"}, {2, "SUCL"},
                  {3, "SUV0"}, {4, "SUV1"}, {5, "SUV2"}, {6, "SUV3"}};

}  // namespace

const nCmdDef<nMeshMixer> nMeshMixer::cmds[] = {
    Bind<&nMeshMixer::SetReadOnly>("v_setreadonly_b", "SRDO"),
    Bind<&nMeshMixer::GetReadOnly>("b_getreadonly_v", "GRDO"),
    Bind<&nMeshMixer::BeginSources>("v_beginsources_i", "BSRC"),
    {"v_setsource_iss", "SSRC",
     [](nMeshMixer* self, nCmd* c) {
         int i = c->In()->GetI();
         const char* mesh = c->In()->GetS();
         self->SetSource(i, mesh, c->In()->GetS());
     }},
    Bind<&nMeshMixer::EndSources>("v_endsources_v", "ESRC"),
    Bind<&nMeshMixer::GetNumSources>("i_getnumsources_v", "GNSR"),
    {"ss_getsource_i", "GSRC",
     [](nMeshMixer* self, nCmd* c) {
         int i = c->In()->GetI();
         c->Out()->SetS(self->GetSourceMesh(i));
         c->Out()->SetS(self->GetSourceChannel(i));
     }},
    {"v_setnormalize_b", "SNRM", setFlag<7>},
    {"b_getnormalize_v", "GNRM", getFlag<7>},
    {"v_setupdatecoord_b", "SUCD", setFlag<0>},
    {"b_getupdatecoord_v", "GUCD", getFlag<0>},
    {"v_setupdatenorm_b", "SUNM", setFlag<1>},
    {"b_getupdatenorm_v", "GUNM", getFlag<1>},
    {"v_setupdatecolor_b", "SUCL", setFlag<2>},
    {"b_getupdatecolor_v", "GUCL", getFlag<2>},
    {"v_setupdateuv0_b", "SUV0", setFlag<3>},
    {"b_getupdateuv0_v", "GUV0", getFlag<3>},
    {"v_setupdateuv1_b", "SUV1", setFlag<4>},
    {"b_getupdateuv1_v", "GUV1", getFlag<4>},
    {"v_setupdateuv2_b", "SUV2", setFlag<5>},
    {"b_getupdateuv2_v", "GUV2", getFlag<5>},
    {"v_setupdateuv3_b", "SUV3", setFlag<6>},
    {"b_getupdateuv3_v", "GUV3", getFlag<6>},
};

const nClassInfo nMeshMixer::classInfo = nClassInfo::Make<nMeshMixer>("nmeshmixer", "nvisnode", nMeshMixer::cmds);

nMeshMixer::nMeshMixer() : output_(std::make_unique<MeshOutput>()) {}

nMeshMixer::~nMeshMixer() = default;

void nMeshMixer::SetReadOnly(bool on) {
    readOnly_ = on;
    output_->SetPrivate(on);
}

void nMeshMixer::BeginSources(int n) {
    if (n < 0 || n > MaxSources) {
        n_error("%s: beginsources: %d sources is outside 0 to %d\n", GetFullName().c_str(), n, MaxSources);
        return;
    }
    numSources_ = n;
    sourcesOpen_ = true;
}

bool nMeshMixer::SetSource(int index, const char* meshPath, const char* channel) {
    if (index < 0 || index >= MaxSources) {
        n_error("%s: setsource: index %d is outside 0 to %d\n", GetFullName().c_str(), index, MaxSources - 1);
        return false;
    }
    Source& s = sources_[index];
    s.mesh.SetPath(meshPath);
    const std::string name = channel ? channel : "";
    if (name != s.channel) {
        // The new weight channel is read from the next frame on, even before endsources.
        s.channel = name;
        NotifyParents();
    }
    return true;
}

void nMeshMixer::EndSources() {
    sourcesOpen_ = false;
    NotifyParents();
}

const char* nMeshMixer::GetSourceMesh(int index) const {
    return index >= 0 && index < numSources_ ? sources_[index].mesh.GetPath() : "";
}

const char* nMeshMixer::GetSourceChannel(int index) const {
    return index >= 0 && index < numSources_ ? sources_[index].channel.c_str() : "";
}

void nMeshMixer::SetFlag(int bit, bool on) {
    if (bit < 0 || bit > 7) return;
    flags_ = on ? flags_ | (1u << bit) : flags_ & ~(1u << bit);
}

bool nMeshMixer::Attach(nSceneGraph2* sceneGraph) {
    if (!nVisNode::Attach(sceneGraph)) return false;
    if (readOnly_) return true;
    if (nSceneNodeRecord* rec = sceneGraph->GetCurrentNode()) rec->otherVisual = this;
    return true;
}

void nMeshMixer::CollectChannels(nChannelSet* set) {
    nChannelServer* server = refChannel.Get();
    for (int i = 0; i < numSources_; i++) {
        Source& s = sources_[i];
        s.channelIndex = set->AddChannel(server, s.channel.c_str());
        // A source below a source of this mixer would collect forever.
        if (busy_) continue;
        busy_ = true;
        if (nVisNode* node = s.mesh.Resolve(this); node && node != this) node->CollectChannels(set);
        busy_ = false;
    }
    nVisNode::CollectChannels(set);
}

void nMeshMixer::Compute(nSceneGraph2* sceneGraph) {
    nVisNode::Compute(sceneGraph);
    nSceneNodeRecord* rec = sceneGraph->GetCurrentNode();
    // A source that leads back here would compute forever.
    if (!rec || busy_) return;
    float w[MaxSources];
    nVertexBuffer* buf[MaxSources];
    int kept = 0;
    float sum = 0.0f;
    busy_ = true;
    for (int i = 0; i < numSources_; i++) {
        Source& s = sources_[i];
        const float weight = nChannelContext::Read(rec->channelContext, s.channelIndex).f[0];
        if (!(weight > 0.0f)) continue;
        nVertexBuffer* vb = s.mesh.Take(this, sceneGraph);
        if (!vb) continue;
        if (kept > 0 && (vb->GetComponents() != buf[0]->GetComponents() ||
                         vb->GetNumVertices() < buf[0]->GetNumVertices())) {
            s.mesh.LogOnce(this, "has other components or fewer vertices than the first source; skipped");
            continue;
        }
        sum += weight;
        w[kept] = weight;
        buf[kept++] = vb;
    }
    busy_ = false;
    if (kept == 0) return;
    if ((flags_ >> Normalize & 1u) && sum >= 1e-7f && std::fabs(1.0f - sum) > 1e-7f)
        for (int i = 0; i < kept; i++) w[i] /= sum;

    int locked = 0;
    while (locked < kept && buf[locked]->Lock()) locked++;
    if (locked < kept) {
        for (int i = 0; i < locked; i++) buf[i]->Unlock();
        sources_[0].mesh.LogOnce(this, "the sources cannot be read together (make them read-only)");
        return;
    }
    const int count = buf[0]->GetNumVertices();
    const int comps = buf[0]->GetComponents();
    nVertexBuffer* out = output_->Begin(rec, comps, count);
    const int so = out->GetStride();
    int stride[MaxSources], k[MaxSources];
    for (int i = 0; i < kept; i++) {
        stride[i] = buf[i]->GetStride();
        // Weights come from channels scripts set: held to +-256 (NaN 0) so that the
        // colour sums below stay in range.
        k[i] = std::clamp(n_saturate_int(w[i] * 256.0f), -65536, 65536);
    }

    // Floats: the weighted sum where the flag is set, the first source's values where not.
    auto mix = [&](int bit, auto ptr, int n) {
        float* o = ptr(out);
        if (!o || !ptr(buf[0])) return;
        const float* from[MaxSources];
        for (int i = 0; i < kept; i++) from[i] = ptr(buf[i]);
        const bool sumIt = (flags_ >> bit & 1u) != 0;
        for (int v = 0; v < count; v++, o += so) {
            for (int j = 0; j < n; j++) {
                if (!sumIt) {
                    o[j] = from[0][size_t(v) * size_t(stride[0]) + size_t(j)];
                    continue;
                }
                float acc = 0.0f;
                for (int i = 0; i < kept; i++) acc += w[i] * from[i][size_t(v) * size_t(stride[i]) + size_t(j)];
                o[j] = acc;
            }
        }
    };
    mix(0, [](nVertexBuffer* b) { return b->GetCoordPtr(); }, 3);
    mix(1, [](nVertexBuffer* b) { return b->GetNormPtr(); }, 3);
    mix(3, [](nVertexBuffer* b) { return b->GetUvPtr(0); }, 2);
    mix(4, [](nVertexBuffer* b) { return b->GetUvPtr(1); }, 2);
    mix(5, [](nVertexBuffer* b) { return b->GetUvPtr(2); }, 2);
    mix(6, [](nVertexBuffer* b) { return b->GetUvPtr(3); }, 2);
    if (uint32_t* o = out->GetColorPtr(); o && buf[0]->GetColorPtr()) {
        const bool sumIt = (flags_ >> 2 & 1u) != 0;
        for (int v = 0; v < count; v++, o += so) {
            if (!sumIt) {
                *o = buf[0]->GetColorPtr()[size_t(v) * size_t(stride[0])];
                continue;
            }
            uint32_t c = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                int acc = 0;
                for (int i = 0; i < kept; i++)
                    acc += int(buf[i]->GetColorPtr()[size_t(v) * size_t(stride[i])] >> shift & 0xFF) * k[i] >> 8;
                // Clamped: a sum past 0 .. 255 would carry into the next channel.
                c |= uint32_t(std::clamp(acc, 0, 255)) << shift;
            }
            *o = c;
        }
    }
    bbox3 box;
    box.vmin = box.vmax = vector3();
    for (int i = 0; i < kept; i++) {
        const bbox3& b = buf[i]->GetBoundingBox();
        box.vmin += b.vmin * w[i];
        box.vmax += b.vmax * w[i];
    }
    out->SetBoundingBox(box);
    for (int i = kept - 1; i >= 0; i--) buf[i]->Unlock();
    output_->End(rec, count);
}

bool nMeshMixer::SaveCmds(nPersistServer* ps) {
    if (!nVisNode::SaveCmds(ps)) return false;
    if (!ps->Put(this, nId("SRDO"), readOnly_)) return false;
    if (numSources_ > 0) {
        if (!ps->Put(this, nId("BSRC"), numSources_)) return false;
        for (int i = 0; i < numSources_; i++)
            if (!ps->Put(this, nId("SSRC"), i, GetSourceMesh(i), GetSourceChannel(i))) return false;
        if (!ps->Put(this, nId("ESRC"))) return false;
    }
    for (const auto& f : savedFlags)
        if (!ps->Put(this, nId(f.id), GetFlag(f.bit))) return false;
    return true;
}
