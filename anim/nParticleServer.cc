#include "anim/nParticleServer.h"

#include "kernel/nKernelServer.h"

const nClassInfo nParticleServer::classInfo = nClassInfo::Make<nParticleServer>("nparticleserver", "nroot");

nParticleContext::~nParticleContext() {
    while (nNode* n = buffers.RemHead()) delete static_cast<nParticleBuffer*>(n->GetPtr());
}

nParticleServer::~nParticleServer() {
    ReleaseAll();
}

nParticleContext* nParticleServer::GetContext(uint32_t renderContext) {
    if (nParticleContext* c = contextTable_.Find(renderContext)) return c;
    auto* c = new nParticleContext(renderContext);
    contexts_.AddTail(&c->node);
    contextTable_.Add(renderContext, c);
    return c;
}

nParticleBuffer* nParticleServer::NewBuffer(uint32_t renderContext, uint32_t emitterId, float time, int capacity) {
    if (capacity < 0) capacity = 0;
    if (capacity > nParticleBuffer::MaxCapacity) {
        n_error("nParticleServer: a ring of %d particles is clamped to %d\n", capacity, nParticleBuffer::MaxCapacity);
        capacity = nParticleBuffer::MaxCapacity;
    }
    nParticleContext* c = GetContext(renderContext);
    auto* b = new nParticleBuffer(emitterId, time, capacity);
    c->buffers.AddTail(&b->node);
    c->table.Add(emitterId, b);
    return b;
}

nParticleBuffer* nParticleServer::FindBuffer(uint32_t renderContext, uint32_t emitterId) {
    nParticleContext* c = GetContext(renderContext);
    if (c->table.IsEmpty()) return nullptr;
    return c->table.Find(emitterId);
}

void nParticleServer::ReleaseBuffer(uint32_t renderContext, uint32_t emitterId) {
    nParticleContext* c = GetContext(renderContext);
    nParticleBuffer* b = c->table.Find(emitterId);
    if (!b) return;
    c->table.Remove(b);
    b->node.Remove();
    delete b;
}

void nParticleServer::ReleaseAll() {
    while (nNode* n = contexts_.RemHead()) {
        auto* c = static_cast<nParticleContext*>(n->GetPtr());
        contextTable_.Remove(c);
        delete c;
    }
}

void nParticleServer::Trigger() {
    nNode* cn = contexts_.GetHead();
    while (cn) {
        nNode* nextContext = cn->GetSucc();
        auto* c = static_cast<nParticleContext*>(cn->GetPtr());
        nNode* bn = c->buffers.GetHead();
        while (bn) {
            nNode* nextBuffer = bn->GetSucc();
            auto* b = static_cast<nParticleBuffer*>(bn->GetPtr());
            if (b->touched) {
                b->touched = false;
            } else {
                c->table.Remove(b);
                bn->Remove();
                delete b;
            }
            bn = nextBuffer;
        }
        if (c->table.IsEmpty()) {
            contextTable_.Remove(c);
            cn->Remove();
            delete c;
        }
        cn = nextContext;
    }
}
