#pragma once
// The live particles of one emitter in one render context: a ring of capacity + 1
// slots (one always stays free) that overwrites its oldest particle when full.
#include <cstdint>
#include <vector>

#include "anim/nParticle.h"
#include "kernel/nNode.h"

class nParticleBuffer {
public:
    // Larger rings are clamped (logged by the server); a script typo must not
    // exhaust memory.
    static constexpr int MaxCapacity = 1 << 20;

    nParticleBuffer(uint32_t emitterId, float time, int capacity);

    uint32_t GetEmitterId() const { return emitterId_; }
    int GetCapacity() const { return static_cast<int>(slots_.size()) - 1; }
    int GetCount() const;
    bool IsEmpty() const { return head_ == tail_; }

    // A slot for a new particle, reset to zero; drops the oldest when the ring is full.
    nParticle* Push();
    // Advances every particle to time `t` (semi-implicit Euler) and marks the buffer
    // as used this frame.
    void Update(float t);
    // Drops every particle and starts the ring's clock at `t`, for a clock that went back.
    void Restart(float t);

    // The ring's array and the live range [head, tail) in slot indices.
    nParticle* Begin() { return slots_.data(); }
    int GetNumSlots() const { return static_cast<int>(slots_.size()); }
    int GetHead() const { return head_; }
    int GetTail() const { return tail_; }
    // The i-th live particle, oldest first (0 <= i < GetCount()).
    nParticle& At(int i) { return slots_[static_cast<size_t>((head_ + i) % GetNumSlots())]; }

    float lastUpdate;
    float lastBirth;
    vector3 accel;
    float alignedAccel = 0.0f;
    bool touched = false;
    nNode node;

private:
    uint32_t emitterId_;
    std::vector<nParticle> slots_;
    int head_ = 0;
    int tail_ = 0;
};
