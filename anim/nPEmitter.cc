#include "anim/nPEmitter.h"

#include <cmath>

#include "anim/nParticleBuffer.h"
#include "kernel/nKernelServer.h"
#include "kernel/nMath.h"
#include "kernel/nPersistServer.h"
#include "scene/nSceneGraph2.h"

namespace {

constexpr float DegToRad = 3.14159265358979f / 180.0f;

const nCmdDef<nPEmitter> cmds[] = {
    Bind<&nPEmitter::SetTimes>("v_settimes_fff", "STMS"),
    {"fff_gettimes_v", "GTMS",
     [](nPEmitter* self, nCmd* c) {
         float a, b, l;
         self->GetTimes(a, b, l);
         c->Out()->SetF(a);
         c->Out()->SetF(b);
         c->Out()->SetF(l);
     }},
    Bind<&nPEmitter::SetLifetime>("v_setlifetime_f", "SLFT"),
    Bind<&nPEmitter::GetLifetime>("f_getlifetime_v", "GLFT"),
    Bind<&nPEmitter::SetFreq>("v_setfreq_f", "SFRQ"),
    Bind<&nPEmitter::GetFreq>("f_getfreq_v", "GFRQ"),
    Bind<&nPEmitter::SetSpeed>("v_setspeed_f", "SSPD"),
    Bind<&nPEmitter::GetSpeed>("f_getspeed_v", "GSPD"),
    Bind<&nPEmitter::SetAccel>("v_setaccel_fff", "SACC"),
    {"fff_getaccel_v", "GACC",
     [](nPEmitter* self, nCmd* c) {
         c->Out()->SetF(self->GetAccel().x);
         c->Out()->SetF(self->GetAccel().y);
         c->Out()->SetF(self->GetAccel().z);
     }},
    Bind<&nPEmitter::SetInnerCone>("v_setinnercone_f", "SICN"),
    Bind<&nPEmitter::GetInnerCone>("f_getinnercone_v", "GICN"),
    Bind<&nPEmitter::SetOuterCone>("v_setoutercone_f", "SOCN"),
    Bind<&nPEmitter::GetOuterCone>("f_getoutercone_v", "GOCN"),
    Bind<&nPEmitter::SetRSpeed>("v_setrspeed_f", "SRSP"),
    Bind<&nPEmitter::GetRSpeed>("f_getrspeed_v", "GRSP"),
    Bind<&nPEmitter::SetRAccel>("v_setraccel_f", "SRAC"),
    Bind<&nPEmitter::GetRAccel>("f_getraccel_v", "GRAC"),
    Bind<&nPEmitter::SetRSize>("v_setrsize_f", "SRSI"),
    Bind<&nPEmitter::GetRSize>("f_getrsize_v", "GRSI"),
    Bind<&nPEmitter::SetRSpin>("v_setrspin_f", "SSPR"),
    Bind<&nPEmitter::GetRSpin>("f_getrspin_v", "GSPR"),
    Bind<&nPEmitter::SetDirSpin>("v_setdirspin_b", "SDSP"),
    Bind<&nPEmitter::GetDirSpin>("b_getdirspin_v", "GDSP"),
    Bind<&nPEmitter::SetAlignedAccel>("v_setalignedaccel_f", "SAAC"),
    Bind<&nPEmitter::GetAlignedAccel>("f_getalignedaccel_v", "GAAC"),
};

}  // namespace

const nClassInfo nPEmitter::classInfo = nClassInfo::Make<nPEmitter>("npemitter", "nanimnode", cmds);

nPEmitter::nPEmitter() : outerPos_(180.0f * DegToRad), outerNeg_(180.0f * DegToRad) {}

void nPEmitter::Initialize() {
    nRoot* parent = GetParent();
    if (IsVisual(parent)) AddDepend(static_cast<nVisNode*>(parent));
    nAnimNode::Initialize();
}

bool nPEmitter::SaveCmds(nPersistServer* ps) {
    if (!nAnimNode::SaveCmds(ps)) return false;
    ps->Put(this, nId("STMS"), startTime_, stopTime_, loopTime_);
    ps->Put(this, nId("SLFT"), lifetime_);
    ps->Put(this, nId("SFRQ"), freq_);
    ps->Put(this, nId("SSPD"), speed_);
    ps->Put(this, nId("SACC"), accel_.x, accel_.y, accel_.z);
    ps->Put(this, nId("SICN"), innerCone_);
    ps->Put(this, nId("SOCN"), outerCone_);
    ps->Put(this, nId("SRSP"), rSpeed_);
    ps->Put(this, nId("SRAC"), rAccel_);
    ps->Put(this, nId("SRSI"), rSize_);
    ps->Put(this, nId("SSPR"), rSpin_);
    ps->Put(this, nId("SDSP"), dirSpin_);
    ps->Put(this, nId("SAAC"), alignedAccel_);
    return true;
}

bool nPEmitter::BeginParticles(uint32_t, float) {
    n_error("%s: Pure virtual function called!\n", GetFullName().c_str());
    return false;
}

int nPEmitter::GetParticles(nParticle*& first) {
    n_error("%s: Pure virtual function called!\n", GetFullName().c_str());
    first = nullptr;
    return 0;
}

void nPEmitter::EndParticles() {
    n_error("%s: Pure virtual function called!\n", GetFullName().c_str());
}

void nPEmitter::SetTimes(float start, float stop, float loop) {
    const float old[3] = {startTime_, stopTime_, loopTime_};
    startTime_ = start;
    stopTime_ = stop;
    loopTime_ = loop;
    if (!HoldRing("v_settimes_fff")) {
        startTime_ = old[0];
        stopTime_ = old[1];
        loopTime_ = old[2];
    }
}

bool nPEmitter::HoldRing(const char* cmd) {
    const int capacity = GetCapacity();
    const uint64_t particles = uint64_t(capacity < nParticleBuffer::MaxCapacity ? capacity : nParticleBuffer::MaxCapacity);
    return ringCharge_.Hold((particles + 1) * sizeof(nParticle), this, cmd);
}

void nPEmitter::GetTimes(float& start, float& stop, float& loop) const {
    start = startTime_;
    stop = stopTime_;
    loop = loopTime_;
}

void nPEmitter::SetLifetime(float t) {
    const float old = lifetime_;
    lifetime_ = t;
    if (!HoldRing("v_setlifetime_f")) {
        lifetime_ = old;
        return;
    }
    if (t != old) lifetimeChanged_ = true;
}

void nPEmitter::SetFreq(float f) {
    const float old = freq_;
    freq_ = f;
    if (!HoldRing("v_setfreq_f")) {
        freq_ = old;
        return;
    }
    if (f != old) freqChanged_ = true;
    interval_ = 1.0f / f;
}

void nPEmitter::SetInnerCone(float degrees) {
    innerCone_ = degrees;
    innerPos_ = degrees * DegToRad;
    innerNeg_ = -degrees * DegToRad;
}

void nPEmitter::SetOuterCone(float degrees) {
    outerCone_ = degrees;
    outerPos_ = (180.0f - degrees) * DegToRad;
    outerNeg_ = (degrees - 180.0f) * DegToRad;
}

int nPEmitter::GetCapacity() const {
    double cap;
    if (loopTime_ <= 0.0f) {
        cap = std::ceil(double(freq_) * double(lifetime_));
    } else {
        cap = std::ceil(double(lifetime_) / double(loopTime_)) *
              std::ceil((double(stopTime_) - double(startTime_)) * double(freq_));
    }
    // A negative or non-finite product (negative lifetime, stop before start, frequency
    // 0 with an endless lifetime) holds nothing; the server clamps the large ones.
    if (!(cap > 0.0)) return 0;
    if (cap > 2147483647.0) return 2147483647;
    return static_cast<int>(cap);
}

nVertexBuffer* nPEmitter::TakeMesh(nSceneGraph2* sceneGraph, nPathRef<nRoot>& ref, bool& logged) {
    if (!ref.GetPath()) return nullptr;
    nRoot* obj = ref.Resolve();
    if (!IsVisual(obj)) {
        if (!logged) n_error("%s: mesh node '%s' is no visual node\n", GetFullName().c_str(), ref.GetPath());
        logged = true;
        ref.Invalidate();
        return nullptr;
    }
    // A mesh node that is this emitter, or reaches back to it, would compute forever.
    if (takingMesh_) {
        if (!logged) n_error("%s: mesh node '%s' leads back to the emitter\n", GetFullName().c_str(), ref.GetPath());
        logged = true;
        return nullptr;
    }
    nSceneNodeRecord* rec = sceneGraph->GetCurrentNode();
    if (!rec) return nullptr;
    nVertexBuffer* vb = rec->vertexBuffer;
    nIndexBuffer* ib = rec->indexBuffer;
    nShadowCaster* caster = rec->shadowCaster;
    rec->vertexBuffer = nullptr;
    takingMesh_ = true;
    static_cast<nVisNode*>(obj)->Compute(sceneGraph);
    takingMesh_ = false;
    nVertexBuffer* taken = rec->vertexBuffer;
    rec->vertexBuffer = vb;
    rec->indexBuffer = ib;
    rec->shadowCaster = caster;
    return taken;
}
