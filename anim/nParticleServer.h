#pragma once
// The particle server (script class "nparticleserver", "/sys/servers/particle"): keeps
// the particles of every server-backed emitter, one buffer per (render context,
// emitter), and once a frame frees every buffer that no emitter updated since the last
// sweep, then every context left without buffers. No script commands.
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "anim/nParticleBuffer.h"
#include "kernel/nList.h"
#include "kernel/nRoot.h"

// A sorted table of (key, pointer) with a one-entry cache in front of the search.
template <class T>
class nParticleTable {
public:
    explicit nParticleTable(size_t step) : step_(step) {}
    bool IsEmpty() const { return entries_.empty(); }
    size_t Size() const { return entries_.size(); }
    T* Find(uint32_t key) {
        if (cache_ < entries_.size() && entries_[cache_].first == key) return entries_[cache_].second;
        size_t i = LowerBound(key);
        if (i < entries_.size() && entries_[i].first == key) {
            cache_ = i;
            return entries_[i].second;
        }
        return nullptr;
    }
    // An equal key goes after the existing ones.
    void Add(uint32_t key, T* value) {
        if (entries_.size() == entries_.capacity()) entries_.reserve(entries_.size() + step_);
        size_t i = LowerBound(key);
        while (i < entries_.size() && entries_[i].first == key) i++;
        entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(i), {key, value});
        cache_ = SIZE_MAX;
    }
    void Remove(T* value) {
        for (size_t i = 0; i < entries_.size(); i++) {
            if (entries_[i].second == value) {
                entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
        }
        cache_ = SIZE_MAX;
    }

private:
    size_t LowerBound(uint32_t key) const {
        size_t lo = 0, hi = entries_.size();
        while (lo < hi) {
            size_t mid = (lo + hi) / 2;
            if (entries_[mid].first < key) lo = mid + 1;
            else hi = mid;
        }
        return lo;
    }
    size_t step_;
    std::vector<std::pair<uint32_t, T*>> entries_;
    size_t cache_ = SIZE_MAX;
};

// The buffers of one render context.
struct nParticleContext {
    explicit nParticleContext(uint32_t id) : node(this), renderContext(id) {}
    ~nParticleContext();
    nNode node;
    uint32_t renderContext;
    nList buffers;
    nParticleTable<nParticleBuffer> table{16};
};

class nParticleServer : public nRoot {
public:
    static const nClassInfo classInfo;

    ~nParticleServer() override;

    // The per-frame sweep: untouched buffers go, then contexts without buffers.
    virtual void Trigger();
    // A new buffer for the emitter in the render context (a duplicate id is not
    // checked: callers look first). A negative capacity is 0; one beyond
    // nParticleBuffer::MaxCapacity is clamped with a log entry.
    virtual nParticleBuffer* NewBuffer(uint32_t renderContext, uint32_t emitterId, float time, int capacity);
    // Null when the context has no buffer for the emitter (the context is made anyway).
    virtual nParticleBuffer* FindBuffer(uint32_t renderContext, uint32_t emitterId);
    virtual void ReleaseBuffer(uint32_t renderContext, uint32_t emitterId);
    virtual void ReleaseAll();
    // 1, 2, 3, ...; never reused.
    virtual uint32_t NewEmitterId() { return nextId_++; }

    // Finds or makes the context of `renderContext`.
    nParticleContext* GetContext(uint32_t renderContext);
    int GetNumContexts() const { return static_cast<int>(contextTable_.Size()); }

private:
    uint32_t nextId_ = 1;
    nList contexts_;
    nParticleTable<nParticleContext> contextTable_{128};
};
