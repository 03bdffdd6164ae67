#include "anim/nLineEmitter.h"

#include "gfx/nGfxServer.h"
#include "kernel/nMathServer.h"
#include "kernel/nPersistServer.h"
#include "scene/nSceneGraph2.h"

namespace {
const nCmdDef<nLineEmitter> cmds[] = {
    Bind<&nLineEmitter::SetPartikelCount>("v_setpartikelcount_i", "LSPC"),
    Bind<&nLineEmitter::GetPartikelCount>("i_getpartikelcount_v", "LGPC"),
    Bind<&nLineEmitter::SetLength>("v_setlength_f", "LSLT"),
    Bind<&nLineEmitter::GetLength>("f_getlength_v", "LGLT"),
    Bind<&nLineEmitter::SetStartSize>("v_setstartsize_f", "LSSS"),
    Bind<&nLineEmitter::GetStartSize>("f_getstartsize_v", "LGSS"),
    Bind<&nLineEmitter::SetEndSize>("v_setendsize_f", "LSES"),
    Bind<&nLineEmitter::GetEndSize>("f_getendsize_v", "LGES"),
};
}  // namespace

const nClassInfo nLineEmitter::classInfo = nClassInfo::Make<nLineEmitter>("nlineemitter", "npemitter", cmds);

nLineEmitter::nLineEmitter() : refSceneGraph_("/sys/servers/sgraph2"), refMath_("/sys/servers/math") {}

bool nLineEmitter::SaveCmds(nPersistServer* ps) {
    if (!nPEmitter::SaveCmds(ps)) return false;
    return ps->Put(this, nId("LSPC"), count_) && ps->Put(this, nId("LSLT"), length_) &&
           ps->Put(this, nId("LSSS"), startSize_) && ps->Put(this, nId("LSES"), endSize_);
}

void nLineEmitter::FillRow(nParticle* row, nMathServer* math, const nPEmitter& e) {
    constexpr float Pi = 3.14159265358979f;
    for (int i = 0; i < RunSize; i++) {
        float u = (math->GetRandom(i) + 1.0f) / 2.0f;
        nParticle& p = row[i];
        p.accelFactor = u * e.GetRAccel() + 1.0f;
        p.sizeFactor = u * e.GetRSize() + 1.0f;
        p.speedScale = 1.0f;
        p.spin = u * e.GetRSpin() * 180.0f / Pi;
        p.reverseSpin = (e.GetDirSpin() && u >= 0.5f) ? 1 : 0;
    }
}

bool nLineEmitter::BeginParticles(uint32_t, float time) {
    if (count_ <= 0) return false;
    time_ = time;
    readPos_ = 0;
    distance_ = 0.0f;
    prevSize_ = 0.0f;
    auto* sg = static_cast<nSceneGraph2*>(refSceneGraph_.Get());
    nSceneNodeRecord* rec = sg->GetCurrentNode();
    world_ = (rec ? rec->matrix : matrix44()) * refGfx.Get()->GetMatrix(nGfxServer::VIEWER);
    return true;
}

int nLineEmitter::GetParticles(nParticle*& first) {
    first = nullptr;
    if (readPos_ >= count_) return 0;
    if (!initialized_) {
        FillRow(row_, refMath_.Get(), *this);
        initialized_ = true;
    }
    float sizeStep = (endSize_ - startSize_) / float(count_);
    float timeStep = lifetime_ / float(count_);
    vector3 xAxis(world_.m[0][0], world_.m[0][1], world_.m[0][2]);
    vector3 zAxis(world_.m[2][0], world_.m[2][1], world_.m[2][2]);
    vector3 origin(world_.m[3][0], world_.m[3][1], world_.m[3][2]);
    int n = 0;
    // The row goes on where the last run ended.
    for (; n < RunSize && readPos_ < count_; n++, readPos_++) {
        int k = readPos_;
        if (k > 0) distance_ += length_ + prevSize_ / 2.0f;
        float size = startSize_ + float(k) * sizeStep;
        nParticle& p = row_[n];
        p.position = vector3(distance_ * zAxis.x + origin.x, distance_ * zAxis.y + origin.y,
                             distance_ * zAxis.z + origin.z);
        p.sizeFactor = size;
        // A trail spans each particle across its axis: the row's own x axis, so a line
        // drawn as a trail is a ribbon and not a line of no width.
        p.axis = xAxis;
        p.birthTime = time_ - float(k) * timeStep;
        prevSize_ = size;
    }
    first = row_;
    return n;
}
