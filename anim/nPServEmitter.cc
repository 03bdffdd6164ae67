#include "anim/nPServEmitter.h"

#include <algorithm>
#include <cmath>

#include "anim/nParticleServer.h"
#include "gfx/nGfxServer.h"
#include "kernel/nKernelServer.h"
#include "kernel/nMathServer.h"
#include "scene/nSceneGraph2.h"

const nClassInfo nPServEmitter::classInfo = nClassInfo::Make<nPServEmitter>("npservemitter", "npemitter");

nPServEmitter::nPServEmitter() : refParticle_("/sys/servers/particle"), refMath_("/sys/servers/math") {}

bool nPServEmitter::BeginBirths(nSceneGraph2* sceneGraph) {
    nSceneNodeRecord* rec = sceneGraph->GetCurrentNode();
    refMath_.Get();
    world_ = rec->matrix * refGfx.Get()->GetMatrix(nGfxServer::VIEWER);
    return true;
}

float nPServEmitter::NextRandom() {
    return refMath_.Get()->GetRandom(static_cast<int>(randomIndex_++ & 1023));
}

void nPServEmitter::EmitInCone(nParticleBuffer* buffer, float birthTime, const vector3* halfSize) {
    constexpr float Pi = 3.14159265358979f;
    float r1 = NextRandom();
    float r2 = NextRandom();
    float theta;
    bool reverse = false;
    if (r1 > 0.0f) {
        theta = innerPos_ + (outerPos_ - innerPos_) * r1;
    } else {
        theta = innerNeg_ + (outerNeg_ - innerNeg_) * r1;
        reverse = dirSpin_;
    }
    float phi = r2 * 2.0f * Pi;
    vector3 xAxis(world_.m[0][0], world_.m[0][1], world_.m[0][2]);
    vector3 yAxis(world_.m[1][0], world_.m[1][1], world_.m[1][2]);
    vector3 zAxis(world_.m[2][0], world_.m[2][1], world_.m[2][2]);
    vector3 pos(world_.m[3][0], world_.m[3][1], world_.m[3][2]);
    if (halfSize) {
        if (halfSize->x > 0.0f) pos.x += NextRandom() * halfSize->x;
        if (halfSize->y > 0.0f) pos.y += NextRandom() * halfSize->y;
        if (halfSize->z > 0.0f) pos.z += NextRandom() * halfSize->z;
    }
    float dx = std::sin(phi) * std::sin(theta), dy = std::cos(theta), dz = std::cos(phi) * std::sin(theta);
    vector3 dir(dx * xAxis.x + dy * yAxis.x + dz * zAxis.x, dx * xAxis.y + dy * yAxis.y + dz * zAxis.y,
                dx * xAxis.z + dy * yAxis.z + dz * zAxis.z);
    float r3 = NextRandom();
    float speed = ((r3 + 1.0f) / 2.0f) * rSpeed_ + speed_;
    float share = (NextRandom() + 1.0f) / 2.0f;
    nParticle* p = buffer->Push();
    p->birthTime = birthTime;
    p->position = pos;
    p->velocity = vector3(dir.x * speed, dir.y * speed, dir.z * speed);
    p->axis = xAxis;
    p->accelFactor = 1.0f + share * rAccel_;
    p->sizeFactor = 1.0f + share * rSize_;
    p->speedScale = 1.0f;
    p->spin = share * rSpin_ * 180.0f / Pi;
    p->reverseSpin = reverse ? 1 : 0;
}

nParticleBuffer* nPServEmitter::GetBuffer(uint32_t renderContext, float time) {
    nParticleServer* server = refParticle_.Get();
    if (emitterId_ == 0) {
        emitterId_ = server->NewEmitterId();
    } else if (lifetimeChanged_ || freqChanged_) {
        server->ReleaseBuffer(renderContext, emitterId_);
        lifetimeChanged_ = false;
        freqChanged_ = false;
    }
    if (nParticleBuffer* b = server->FindBuffer(renderContext, emitterId_)) return b;
    return server->NewBuffer(renderContext, emitterId_, time, GetCapacity());
}

void nPServEmitter::RunBirthPass(nSceneGraph2* sceneGraph) {
    nSceneNodeRecord* rec = sceneGraph->GetCurrentNode();
    if (!rec) return;
    float t = ReadChannel(sceneGraph, channelIndex_);
    nParticleBuffer* buffer = GetBuffer(rec->renderContext, t);
    // A clock that went back (a loaded game's or a new game's things, built anew, count from
    // their own start) starts the ring afresh: its particles were born in the other game,
    // and the next birth would wait until the clock caught up with the last one.
    if (t < buffer->lastUpdate) buffer->Restart(t);
    double iv = interval_;
    double n0 = double(buffer->lastBirth) + iv;
    int capacity = buffer->GetCapacity();
    // Only a finite positive interval gives births; the due times are walked by index,
    // so a huge time jump or a time where adding the interval changes nothing ends at
    // once, and only the newest births the ring can hold are made.
    if (float(n0) < t && std::isfinite(iv) && iv > 0.0 && capacity > 0) {
        double ws = 0.0, we = t;
        if (loopTime_ > 0.0f) {
            ws = std::floor(double(t) / double(loopTime_)) * double(loopTime_) + double(startTime_);
            we = ws + (double(stopTime_) - double(startTime_));
        }
        float fws = float(ws), fwe = float(we);
        auto at = [&](double k) { return float(n0 + k * iv); };
        // The last index due before t and inside the window, the first inside it.
        float upper = std::min(fwe, t);
        double kHi = std::ceil((double(upper) - n0) / iv) - 1.0;
        if (kHi < -1.0) kHi = -1.0;
        // Float rounding moves the ends by a step or so; the bounded walks mend that.
        for (int i = 0; i < 64 && kHi >= 0.0 && !(at(kHi) < upper); i++) kHi -= 1.0;
        for (int i = 0; i < 64 && at(kHi + 1.0) < upper; i++) kHi += 1.0;
        double kLo = std::max(0.0, std::floor((double(fws) - n0) / iv) + 1.0);
        for (int i = 0; i < 64 && kLo <= kHi && !(at(kLo) > fws); i++) kLo += 1.0;
        for (int i = 0; i < 64 && kLo > 0.0 && at(kLo - 1.0) > fws; i++) kLo -= 1.0;
        if (kHi - kLo + 1.0 > double(capacity)) kLo = kHi - double(capacity) + 1.0;
        if (kLo <= kHi && BeginBirths(sceneGraph)) {
            for (double k = kLo; k <= kHi; k += 1.0) {
                float birth = at(k);
                if (!(birth > fws && birth < upper)) continue;
                Emit(buffer, birth);
                buffer->lastBirth = birth;
            }
            EndBirths();
        }
    }
    buffer->accel = accel_;
    buffer->alignedAccel = alignedAccel_;
    buffer->Update(t);
}

bool nPServEmitter::BeginParticles(uint32_t renderContext, float time) {
    nParticleBuffer* b = GetBuffer(renderContext, time);
    if (b->IsEmpty()) {
        reading_ = nullptr;
        readState_ = 5;
        return false;
    }
    reading_ = b;
    readState_ = 1;
    return true;
}

int nPServEmitter::GetParticles(nParticle*& first) {
    first = nullptr;
    if (!reading_) {
        readState_ = 5;
        return 0;
    }
    int head = reading_->GetHead();
    int tail = reading_->GetTail();
    int last = (tail == 0 ? reading_->GetNumSlots() : tail) - 1;
    switch (readState_) {
    case 1:
        first = reading_->Begin() + head;
        if (head <= last) {
            readState_ = 4;
            return last - head + 1;
        }
        readState_ = 2;
        return reading_->GetNumSlots() - head;
    case 2:
        first = reading_->Begin();
        readState_ = 3;
        return last + 1;
    case 3:
    case 4:
        readState_ = 5;
        return 0;
    default:
        return 0;
    }
}

void nPServEmitter::EndParticles() {
    reading_ = nullptr;
    readState_ = 0;
}
