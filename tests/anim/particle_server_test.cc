// The particle server's rings, per-context bookkeeping and frame sweep.
#include "anim/nParticleServer.h"
#include "tests/anim/AnimTestKernel.h"

namespace {

class ParticleServerTest : public AnimTestKernel {
protected:
    void SetUp() override {
        AnimTestKernel::SetUp();
        server = static_cast<nParticleServer*>(kernel->New("nparticleserver", "/sys/servers/particle"));
    }
    nParticleServer* server = nullptr;
};

TEST(ParticleBuffer, FullRingKeepsTheNewestOldestFirst) {
    nParticleBuffer b(1, 0.0f, 3);
    EXPECT_TRUE(b.IsEmpty());
    for (int i = 1; i <= 5; i++) b.Push()->birthTime = float(i);
    ASSERT_EQ(b.GetCount(), 3);
    EXPECT_EQ(b.At(0).birthTime, 3.0f);
    EXPECT_EQ(b.At(1).birthTime, 4.0f);
    EXPECT_EQ(b.At(2).birthTime, 5.0f);
    // Capacity 0 is one slot that never holds a particle.
    nParticleBuffer none(1, 0.0f, 0);
    none.Push();
    EXPECT_TRUE(none.IsEmpty());
}

TEST(ParticleBuffer, UpdateIsSemiImplicitEuler) {
    nParticleBuffer b(1, 1.0f, 4);
    nParticle* p = b.Push();
    p->velocity = vector3(1, 2, 3);
    p->accelFactor = 2.0f;
    p->speedScale = 7.0f;  // not read while the aligned acceleration is 0
    b.Update(1.5f);
    EXPECT_TRUE(b.touched);
    EXPECT_FLOAT_EQ(p->position.x, 0.5f);
    EXPECT_FLOAT_EQ(p->position.z, 1.5f);
    // Velocity first, then position with the new velocity.
    b.accel = vector3(0, -10, 0);
    b.Update(2.0f);
    EXPECT_FLOAT_EQ(p->velocity.y, 2.0f - 0.5f * 10 * 2);
    EXPECT_FLOAT_EQ(p->position.y, 1.0f + 0.5f * -8.0f);
    // Aligned acceleration grows the speed scale before the move.
    b.accel = vector3();
    b.alignedAccel = 2.0f;
    p->speedScale = 1.0f;
    float x = p->position.x;
    b.Update(2.5f);
    EXPECT_FLOAT_EQ(p->speedScale, 2.0f);
    EXPECT_FLOAT_EQ(p->position.x, x + 2.0f * 0.5f * 1.0f);
}

// A wrapped ring moves every live particle, in both stretches, and no free slot.
TEST(ParticleBuffer, UpdateMovesEveryLiveParticleOfAWrappedRing) {
    nParticleBuffer b(1, 0.0f, 3);
    for (int i = 0; i < 5; i++) b.Push()->velocity = vector3(1, 0, 0);
    ASSERT_GT(b.GetHead(), b.GetTail());
    const int free = b.GetTail();
    b.Begin()[free].velocity = vector3(1, 0, 0);
    for (float aligned : {0.0f, 1.0f}) {
        b.alignedAccel = aligned;
        b.Update(b.lastUpdate + 1.0f);
    }
    for (int i = 0; i < b.GetCount(); i++) EXPECT_FLOAT_EQ(b.At(i).position.x, 1.0f + 1.0f) << i;
    EXPECT_EQ(b.Begin()[free].position.x, 0.0f);
}

TEST_F(ParticleServerTest, SweepFreesUntouchedBuffersThenEmptyContexts) {
    EXPECT_EQ(server->NewEmitterId(), 1u);
    EXPECT_EQ(server->NewEmitterId(), 2u);

    // An unknown context: null, and an empty context until the next sweep.
    EXPECT_EQ(server->FindBuffer(7, 1), nullptr);
    EXPECT_EQ(server->GetNumContexts(), 1);
    server->Trigger();
    EXPECT_EQ(server->GetNumContexts(), 0);

    // One emitter in two contexts: two independent buffers under one id.
    nParticleBuffer* a = server->NewBuffer(1, 5, 0.0f, 4);
    nParticleBuffer* b = server->NewBuffer(2, 5, 0.0f, 8);
    nParticleBuffer* c = server->NewBuffer(2, 6, 0.0f, 8);
    EXPECT_NE(a, b);
    EXPECT_EQ(server->FindBuffer(1, 5), a);
    EXPECT_EQ(server->FindBuffer(2, 5), b);
    EXPECT_EQ(server->FindBuffer(2, 6), c);
    EXPECT_EQ(server->FindBuffer(2, 4), nullptr);
    a->Update(0.1f);
    b->Update(0.1f);
    // c was never updated: it goes; the others stay and are untouched again.
    server->Trigger();
    EXPECT_EQ(server->FindBuffer(2, 6), nullptr);
    EXPECT_EQ(server->FindBuffer(1, 5), a);
    EXPECT_FALSE(a->touched);
    b->Update(0.2f);
    server->Trigger();
    EXPECT_EQ(server->GetNumContexts(), 1);
    EXPECT_EQ(server->FindBuffer(2, 5), b);

    server->ReleaseBuffer(2, 5);
    server->ReleaseBuffer(2, 99);
    EXPECT_EQ(server->FindBuffer(2, 5), nullptr);
    server->Trigger();
    EXPECT_EQ(server->GetNumContexts(), 0);
    EXPECT_EQ(server->NewEmitterId(), 3u);
}

TEST_F(ParticleServerTest, CapacityIsClampedBothWays) {
    EXPECT_EQ(server->NewBuffer(1, 1, 0.0f, -5)->GetCapacity(), 0);
    EXPECT_EQ(TakeErrors(), "");
    EXPECT_EQ(server->NewBuffer(1, 2, 0.0f, 1 << 30)->GetCapacity(), nParticleBuffer::MaxCapacity);
    EXPECT_NE(TakeErrors().find("clamped"), std::string::npos);
}

TEST_F(ParticleServerTest, ManyContextsAndEmittersStaySorted) {
    for (uint32_t ctx = 300; ctx > 0; ctx--)
        for (uint32_t id = 20; id > 0; id--) server->NewBuffer(ctx, id, 0.0f, 1)->lastBirth = float(ctx * 100 + id);
    for (uint32_t ctx = 1; ctx <= 300; ctx++)
        for (uint32_t id = 1; id <= 20; id++) ASSERT_EQ(server->FindBuffer(ctx, id)->lastBirth, float(ctx * 100 + id));
    server->ReleaseAll();
    EXPECT_EQ(server->GetNumContexts(), 0);
}

}  // namespace
