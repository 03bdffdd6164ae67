#include "anim/nParticleBuffer.h"

nParticleBuffer::nParticleBuffer(uint32_t emitterId, float time, int capacity)
    : lastUpdate(time), lastBirth(time), node(this), emitterId_(emitterId),
      slots_(static_cast<size_t>(capacity < 0 ? 0 : capacity) + 1) {}

int nParticleBuffer::GetCount() const {
    int n = tail_ - head_;
    return n < 0 ? n + static_cast<int>(slots_.size()) : n;
}

nParticle* nParticleBuffer::Push() {
    int slot = tail_;
    int num = static_cast<int>(slots_.size());
    if (++tail_ == num) tail_ = 0;
    if (tail_ == head_ && ++head_ == num) head_ = 0;
    nParticle* p = &slots_[static_cast<size_t>(slot)];
    *p = nParticle();
    return p;
}

void nParticleBuffer::Restart(float t) {
    head_ = tail_ = 0;
    lastUpdate = lastBirth = t;
}

namespace {

// One stretch of the ring, the loop-invariant products in registers: the particle
// stores could alias the buffer's members, which the compiler would reload each time.
template <bool Aligned>
void Advance(nParticle* p, nParticle* end, float dt, const vector3& dv, float a) {
    for (; p != end; ++p) {
        p->velocity.x += dv.x * p->accelFactor;
        p->velocity.y += dv.y * p->accelFactor;
        p->velocity.z += dv.z * p->accelFactor;
        float s = dt;
        if (Aligned) {
            p->speedScale += a;
            s = p->speedScale * dt;
        }
        p->position.x += s * p->velocity.x;
        p->position.y += s * p->velocity.y;
        p->position.z += s * p->velocity.z;
    }
}

}  // namespace

void nParticleBuffer::Update(float t) {
    const float dt = t - lastUpdate;
    touched = true;
    lastUpdate = t;
    const float a = dt * alignedAccel;
    const vector3 dv(dt * accel.x, dt * accel.y, dt * accel.z);
    // The live range [head, tail) is one stretch, or two when it wraps.
    nParticle* slots = slots_.data();
    nParticle* end = slots + (tail_ < head_ ? slots_.size() : size_t(tail_));
    auto advance = a == 0.0f ? &Advance<false> : &Advance<true>;
    advance(slots + head_, end, dt, dv, a);
    if (tail_ < head_) advance(slots, slots + tail_, dt, dv, a);
}
