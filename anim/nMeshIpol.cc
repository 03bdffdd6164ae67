#include "anim/nMeshIpol.h"

#include <algorithm>
#include <cmath>

#include "gfx/nVertexBuffer.h"
#include "kernel/nCmd.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "scene/MeshOutput.h"
#include "scene/nSceneGraph2.h"

namespace {

// Bits of the update flags, in the order of the vertex component mask.
enum { Coord, Norm, Color, Uv0, Uv1, Uv2, Uv3 };

template <int Bit>
void setFlag(nMeshIpol* self, nCmd* c) {
    self->SetUpdateFlag(Bit, c->In()->GetB());
}
template <int Bit>
void getFlag(nMeshIpol* self, nCmd* c) {
    c->Out()->SetB(self->GetUpdateFlag(Bit));
}

const char* const flagIds[][2] = {{"SUCD", "GUCD"}, {"SUNM", "GUNM"}, {"SUCL", "GUCL"}, {"SUV0", "GUV0"},
                                  {"SUV1", "GUV1"}, {"SUV2", "GUV2"}, {"SUV3", "GUV3"}};

}  // namespace

const nCmdDef<nMeshIpol> nMeshIpol::cmds[] = {
    Bind<&nMeshIpol::SetReadOnly>("v_setreadonly_b", "SRDO"),
    Bind<&nMeshIpol::GetReadOnly>("b_getreadonly_v", "GRDO"),
    Bind<&nMeshIpol::BeginKeys>("v_beginkeys_i", "BKEY"),
    {"v_setkey_ifs", "SKEY",
     [](nMeshIpol* self, nCmd* c) {
         int i = c->In()->GetI();
         float t = c->In()->GetF();
         self->SetKey(i, t, c->In()->GetS());
     }},
    Bind<&nMeshIpol::EndKeys>("v_endkeys_v", "EKEY"),
    Bind<&nMeshIpol::GetNumKeys>("i_getnumkeys_v", "GNKS"),
    {"fs_getkey_i", "GKEY",
     [](nMeshIpol* self, nCmd* c) {
         int i = c->In()->GetI();
         c->Out()->SetF(self->GetKeyTime(i));
         c->Out()->SetS(self->GetKeyMesh(i));
     }},
    {"v_setupdatecoord_b", "SUCD", setFlag<Coord>},
    {"b_getupdatecoord_v", "GUCD", getFlag<Coord>},
    {"v_setupdatenorm_b", "SUNM", setFlag<Norm>},
    {"b_getupdatenorm_v", "GUNM", getFlag<Norm>},
    {"v_setupdatecolor_b", "SUCL", setFlag<Color>},
    {"b_getupdatecolor_v", "GUCL", getFlag<Color>},
    {"v_setupdateuv0_b", "SUV0", setFlag<Uv0>},
    {"b_getupdateuv0_v", "GUV0", getFlag<Uv0>},
    {"v_setupdateuv1_b", "SUV1", setFlag<Uv1>},
    {"b_getupdateuv1_v", "GUV1", getFlag<Uv1>},
    {"v_setupdateuv2_b", "SUV2", setFlag<Uv2>},
    {"b_getupdateuv2_v", "GUV2", getFlag<Uv2>},
    {"v_setupdateuv3_b", "SUV3", setFlag<Uv3>},
    {"b_getupdateuv3_v", "GUV3", getFlag<Uv3>},
};

const nClassInfo nMeshIpol::classInfo = nClassInfo::Make<nMeshIpol>("nmeshipol", "nanimnode", nMeshIpol::cmds);

nMeshIpol::nMeshIpol() : output_(std::make_unique<MeshOutput>()) {}

nMeshIpol::~nMeshIpol() = default;

void nMeshIpol::SetReadOnly(bool on) {
    readOnly_ = on;
    output_->SetPrivate(on);
}

void nMeshIpol::BeginKeys(int n) {
    if (n < 0 || n > MaxKeys) {
        n_error("%s: beginkeys: %d keys is outside 0 to %d\n", GetFullName().c_str(), n, MaxKeys);
        return;
    }
    if (!keysCharge_.Hold(uint64_t(n) * sizeof(nMeshIpolKey), this, "v_beginkeys_i")) return;
    keys_.assign(size_t(n), nMeshIpolKey());
    keysLogged_ = false;
    mismatchLogged_ = false;
    loopLogged_ = false;
}

bool nMeshIpol::SetKey(int index, float time, const char* meshPath) {
    if (index < 0 || index >= GetNumKeys()) {
        n_error("%s: setkey: key %d is outside the %d keys of beginkeys\n", GetFullName().c_str(), index,
                GetNumKeys());
        return false;
    }
    nMeshIpolKey& k = keys_[size_t(index)];
    k.time = time;
    k.mesh.SetPath(meshPath);
    mismatchLogged_ = false;
    loopLogged_ = false;
    return true;
}

float nMeshIpol::GetKeyTime(int index) const {
    return index >= 0 && index < GetNumKeys() ? keys_[size_t(index)].time : 0.0f;
}

const char* nMeshIpol::GetKeyMesh(int index) const {
    return index >= 0 && index < GetNumKeys() ? keys_[size_t(index)].mesh.GetPath() : "";
}

void nMeshIpol::SetUpdateFlag(int bit, bool on) {
    if (bit < 0 || bit > 6) return;
    updateFlags_ = uint8_t(on ? updateFlags_ | (1u << bit) : updateFlags_ & ~(1u << bit));
}

void nMeshIpol::logOnce(bool& flag, const char* what) {
    if (flag) return;
    flag = true;
    n_error("%s: %s\n", GetFullName().c_str(), what);
}

bool nMeshIpol::Attach(nSceneGraph2* sceneGraph) {
    if (!nAnimNode::Attach(sceneGraph)) return false;
    if (readOnly_) return true;
    if (nSceneNodeRecord* rec = sceneGraph->GetCurrentNode()) rec->otherVisual = this;
    return true;
}

void nMeshIpol::Compute(nSceneGraph2* sceneGraph) {
    nAnimNode::Compute(sceneGraph);
    // A key mesh that leads back here would compute forever; the key that does so
    // reports getting no buffer.
    if (busy_) return;
    busy_ = true;
    blend(sceneGraph, ReadChannel(sceneGraph, channelIndex_));
    busy_ = false;
}

bool nMeshIpol::blend(nSceneGraph2* sceneGraph, float t) {
    nSceneNodeRecord* rec = sceneGraph->GetCurrentNode();
    const int n = GetNumKeys();
    if (!rec) return false;
    if (n < 2) {
        logOnce(keysLogged_, "fewer than two keys; nothing drawn");
        return false;
    }
    const float first = keys_[0].time;
    const float last = keys_[size_t(n - 1)].time;
    if (!(last > 0.0f)) return false;
    if (repType_ == Loop) {
        t = t - std::floor(t / last) * last;
        // The clamp below holds the first key until its time.
        if (first > 0.0f) logOnce(loopLogged_, "a looping morph whose first key lies after 0");
    }
    if (!(t >= first)) t = first;  // NaN too
    else if (t >= last) t = last;  // a oneshot past its end ends on its last key
    int i = 1;
    while (i < n - 1 && !(keys_[size_t(i)].time > t)) i++;
    nMeshIpolKey& prev = keys_[size_t(i - 1)];
    nMeshIpolKey& next = keys_[size_t(i)];

    nVertexBuffer* a = prev.mesh.Take(this, sceneGraph);
    nVertexBuffer* b = a ? next.mesh.Take(this, sceneGraph) : nullptr;
    if (!a || !b) return false;
    const int count = a->GetNumVertices();
    const int comps = a->GetComponents();
    if (b->GetNumVertices() != count || b->GetComponents() != comps) {
        if (!mismatchLogged_)
            n_error("%s: key meshes '%s' and '%s' differ in vertex count or components; nothing drawn\n",
                    GetFullName().c_str(), prev.mesh.GetPath(), next.mesh.GetPath());
        mismatchLogged_ = true;
        return false;
    }
    const float l = next.time > prev.time ? (t - prev.time) / (next.time - prev.time) : 1.0f;

    if (!a->Lock()) return false;
    if (!b->Lock()) {
        a->Unlock();
        logOnce(mismatchLogged_, "the key meshes cannot be read together (make them read-only)");
        return false;
    }
    nVertexBuffer* out = output_->Begin(rec, comps, count);
    const int sa = a->GetStride(), sb = b->GetStride(), so = out->GetStride();
    auto lerp = [l](const float* x, const float* y, float* o, int k) {
        for (int j = 0; j < k; j++) o[j] = x[j] + (y[j] - x[j]) * l;
    };
    auto run = [&](const float* x, const float* y, float* o, int k) {
        if (!x || !y || !o) return;
        for (int v = 0; v < count; v++, x += sa, y += sb, o += so) lerp(x, y, o, k);
    };
    run(a->GetCoordPtr(), b->GetCoordPtr(), out->GetCoordPtr(), 3);
    run(a->GetNormPtr(), b->GetNormPtr(), out->GetNormPtr(), 3);
    for (int set = 0; set < 4; set++) run(a->GetUvPtr(set), b->GetUvPtr(set), out->GetUvPtr(set), 2);
    if (const uint32_t* ca = a->GetColorPtr(); ca && b->GetColorPtr() && out->GetColorPtr()) {
        const uint32_t* cb = b->GetColorPtr();
        uint32_t* co = out->GetColorPtr();
        // Key times come from scripts: a weight past 0..1 (or NaN) is held at the ends.
        const int k = l > 0.0f ? (l < 1.0f ? int(l * 256.0f) : 256) : 0;
        for (int v = 0; v < count; v++, ca += sa, cb += sb, co += so) {
            uint32_t c = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                const int x = int(*ca >> shift & 0xFF), y = int(*cb >> shift & 0xFF);
                const int mixed = std::clamp(x + (((y - x) * k) >> 8), 0, 255);
                c |= uint32_t(mixed) << shift;
            }
            *co = c;
        }
    }
    const bbox3& ba = a->GetBoundingBox();
    const bbox3& bb = b->GetBoundingBox();
    bbox3 box;
    lerp(&ba.vmin.x, &bb.vmin.x, &box.vmin.x, 1);
    lerp(&ba.vmin.y, &bb.vmin.y, &box.vmin.y, 1);
    lerp(&ba.vmin.z, &bb.vmin.z, &box.vmin.z, 1);
    lerp(&ba.vmax.x, &bb.vmax.x, &box.vmax.x, 1);
    lerp(&ba.vmax.y, &bb.vmax.y, &box.vmax.y, 1);
    lerp(&ba.vmax.z, &bb.vmax.z, &box.vmax.z, 1);
    out->SetBoundingBox(box);
    b->Unlock();
    a->Unlock();
    output_->End(rec, count);
    return true;
}

bool nMeshIpol::SaveCmds(nPersistServer* ps) {
    if (!nAnimNode::SaveCmds(ps)) return false;
    if (!keys_.empty()) {
        if (!ps->Put(this, nId("BKEY"), GetNumKeys())) return false;
        for (int i = 0; i < GetNumKeys(); i++)
            if (!ps->Put(this, nId("SKEY"), i, GetKeyTime(i), GetKeyMesh(i))) return false;
        if (!ps->Put(this, nId("EKEY"))) return false;
    }
    if (!ps->Put(this, nId("SRDO"), readOnly_)) return false;
    for (int bit = 0; bit < 7; bit++)
        if (!ps->Put(this, nId(flagIds[bit][0]), GetUpdateFlag(bit))) return false;
    return true;
}
