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

void nParticleBuffer::Update(float t) {
    float dt = t - lastUpdate;
    touched = true;
    lastUpdate = t;
    float a = dt * alignedAccel;
    int num = static_cast<int>(slots_.size());
    for (int i = head_; i != tail_; i = (i + 1 == num) ? 0 : i + 1) {
        nParticle& p = slots_[static_cast<size_t>(i)];
        p.velocity.x += dt * accel.x * p.accelFactor;
        p.velocity.y += dt * accel.y * p.accelFactor;
        p.velocity.z += dt * accel.z * p.accelFactor;
        if (a == 0.0f) {
            p.position.x += dt * p.velocity.x;
            p.position.y += dt * p.velocity.y;
            p.position.z += dt * p.velocity.z;
        } else {
            p.speedScale += a;
            float s = p.speedScale * dt;
            p.position.x += s * p.velocity.x;
            p.position.y += s * p.velocity.y;
            p.position.z += s * p.velocity.z;
        }
    }
}
