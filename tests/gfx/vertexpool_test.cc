#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "gfx/nD3D8IndexBuffer.h"
#include "gfx/nD3D8Server.h"
#include "gfx/nD3D8VertexPool.h"
#include "gfx/nVertexBuffer.h"
#include "gfx/nVertexBufferHolder.h"
#include "gfx/nVertexPoolManager.h"
#include "tests/gfx/VertexTestServer.h"

namespace {

constexpr int XYZ = N_VT_COORD;
constexpr int XYZC = N_VT_COORD | N_VT_RGBA;

nVertexRange* range(nNode* n) { return n ? static_cast<nVertexRange*>(n->GetPtr()) : nullptr; }

int count(nList& list) {
    int n = 0;
    for (nNode* node = list.GetHead(); node; node = node->GetSucc()) ++n;
    return n;
}

// Ordinary-memory pools need no device, so the allocator is tested on a closed server.
class VertexPoolTest : public GfxTestKernel {
protected:
    static void SetUpTestSuite() { bwtest::LoadSdlVideo(); }
    void SetUp() override {
        GfxTestKernel::SetUp();
        gfx = static_cast<nD3D8Server*>(kernel->New("nd3d8server", "/sys/servers/gfx"));
        ASSERT_NE(gfx, nullptr);
        manager = std::make_unique<nVertexPoolManager>(gfx, nVertexPool::SYSMEM);
    }
    void TearDown() override {
        manager.reset();
        GfxTestKernel::TearDown();
    }
    nList& listOf(int mask) { return manager->GetList(nVertexPool::ListIndex(mask)); }

    nD3D8Server* gfx = nullptr;
    std::unique_ptr<nVertexPoolManager> manager;
};

TEST_F(VertexPoolTest, BestFitSplitsOnlyWhenSixteenOrMoreVerticesAreLeft) {
    nVertexRange* whole = manager->Alloc(XYZ, 1990);
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(whole->count, 2000) << "waste 10 goes with the allocation";
    EXPECT_EQ(whole->inUse, 2000);
    EXPECT_TRUE(whole->pool->GetFreeList().IsEmpty());
    manager->Free(whole);
    EXPECT_TRUE(listOf(XYZ).IsEmpty()) << "the pool went with its last range";

    nVertexRange* split = manager->Alloc(XYZ, 1984);
    ASSERT_NE(split, nullptr);
    EXPECT_EQ(split->first, 0);
    EXPECT_EQ(split->count, 1984);
    nVertexRange* rest = range(split->pool->GetFreeList().GetHead());
    ASSERT_NE(rest, nullptr);
    EXPECT_EQ(rest->first, 1984);
    EXPECT_EQ(rest->count, 16);
    EXPECT_EQ(rest->inUse, 16);
    manager->Free(split);
}

TEST_F(VertexPoolTest, TheFirstOfEqualFitsWinsAndFreedNeighboursMerge) {
    // Free records of 100, 40 and 40 vertices, in that order.
    nVertexRange* a = manager->Alloc(XYZ, 100);
    nVertexRange* s1 = manager->Alloc(XYZ, 20);
    nVertexRange* b = manager->Alloc(XYZ, 40);
    nVertexRange* s2 = manager->Alloc(XYZ, 20);
    nVertexRange* c = manager->Alloc(XYZ, 40);
    nVertexRange* tail = manager->Alloc(XYZ, 1780);
    ASSERT_TRUE(a && s1 && b && s2 && c && tail);
    nVertexPool* p = a->pool;
    ASSERT_EQ(count(listOf(XYZ)), 1);
    manager->Free(a);
    manager->Free(b);
    manager->Free(c);
    ASSERT_EQ(count(p->GetFreeList()), 3);
    nVertexRange* got = manager->Alloc(XYZ, 30);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(got->first, 120);
    EXPECT_EQ(got->count, 40);
    manager->Free(got);

    for (nVertexRange* r : {s1, s2, tail}) manager->Free(r);
    EXPECT_TRUE(listOf(XYZ).IsEmpty());

    // Three neighbours freed in every order leave one record covering them.
    std::array<int, 3> order = {0, 1, 2};
    do {
        nVertexRange* r[3] = {manager->Alloc(XYZ, 50), manager->Alloc(XYZ, 60), manager->Alloc(XYZ, 70)};
        nVertexRange* rest = manager->Alloc(XYZ, 1820);
        ASSERT_TRUE(r[0] && r[1] && r[2] && rest);
        nVertexPool* p1 = rest->pool;
        for (int i : order) manager->Free(r[i]);
        ASSERT_EQ(count(p1->GetFreeList()), 1) << order[0] << order[1] << order[2];
        nVertexRange* merged = range(p1->GetFreeList().GetHead());
        EXPECT_EQ(merged->first, 0);
        EXPECT_EQ(merged->count, 180);
        EXPECT_EQ(merged->inUse, 180);
        manager->Free(rest);
        EXPECT_TRUE(listOf(XYZ).IsEmpty());
    } while (std::next_permutation(order.begin(), order.end()));
}

TEST_F(VertexPoolTest, MasksPickTheirListsAndFullPoolsGrowNewOnes) {
    const int uv01 = N_VT_COORD | N_VT_RGBA | N_VT_UV0 | N_VT_UV1;
    const int big = N_VT_COORD | N_VT_NORM | N_VT_JW | N_VT_UV0 | N_VT_UV1 | N_VT_UV2 | N_VT_UV3;
    EXPECT_EQ(nVertexPool::ListIndex(uv01), 12);
    EXPECT_EQ(nVertexPool::ListIndex(big), 29);
    EXPECT_EQ(nVertexPool::StrideBytes(big), 12 + 12 + 4 * 8 + 32);

    nVertexRange* full = manager->Alloc(uv01, 2000);
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(count(manager->GetList(12)), 1);
    nVertexRange* second = manager->Alloc(uv01, 10);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second->pool, full->pool);
    EXPECT_EQ(second->pool->GetCapacity(), 2000);
    nVertexRange* large = manager->Alloc(uv01, 3000);
    ASSERT_NE(large, nullptr);
    EXPECT_EQ(large->pool->GetCapacity(), 3000);
    EXPECT_EQ(count(manager->GetList(12)), 3);
    // Oldest pool first: the second pool still has room for this.
    nVertexRange* again = manager->Alloc(uv01, 20);
    EXPECT_EQ(again->pool, second->pool);

    // The block is laid out per vertex: coordinate, colour, two texture sets.
    ASSERT_TRUE(second->pool->Lock(second));
    auto* base = static_cast<uint8_t*>(second->pool->GetComponentPtr(nVertexPool::COORD));
    EXPECT_EQ(static_cast<uint8_t*>(second->pool->GetComponentPtr(nVertexPool::RGBA)), base + 12);
    EXPECT_EQ(static_cast<uint8_t*>(second->pool->GetComponentPtr(nVertexPool::UV1)), base + 24);
    EXPECT_EQ(second->pool->GetComponentPtr(nVertexPool::NORM), nullptr);
    second->pool->Unlock(second);

    for (nVertexRange* r : {full, second, large, again}) manager->Free(r);
    EXPECT_TRUE(manager->GetList(12).IsEmpty());
    ASSERT_FALSE(TakeErrors());

    // Refused: no coordinates, nothing or too much asked for.
    EXPECT_EQ(manager->Alloc(N_VT_NORM, 10), nullptr);
    EXPECT_EQ(manager->Alloc(XYZ, 0), nullptr);
    EXPECT_EQ(manager->Alloc(XYZ, -3), nullptr);
    EXPECT_EQ(manager->Alloc(XYZ, 65536), nullptr);
    EXPECT_TRUE(TakeErrors());
    nVertexRange* most = manager->Alloc(XYZ, 65535);
    ASSERT_NE(most, nullptr);
    EXPECT_EQ(most->count, 65535);
    manager->Free(most);
}

class VertexBufferTest : public VertexTestServer {};

TEST_F(VertexBufferTest, BuffersAreNamedResourcesFromTheirManagers) {
    nVertexBuffer* vb = gfx->NewVertexBuffer("meshes/a.n3d", 0, XYZC, 100);
    ASSERT_NE(vb, nullptr);
    EXPECT_TRUE(vb->IsA("nvertexbuffer"));
    EXPECT_EQ(kernel->Lookup("/sys/share/vxbuf/meshes_a_n3d"), vb);
    EXPECT_EQ(vb->GetPool()->GetKind(), nVertexPool::STATIC);
    EXPECT_TRUE(vb->GetPool()->IsDevicePool());
    EXPECT_EQ(vb->GetNumVertices(), 100);
    EXPECT_TRUE(vb->IsColorArgb());
    nVertexBuffer* sys = gfx->NewVertexBuffer(nullptr, 1, XYZ, 10);
    ASSERT_NE(sys, nullptr);
    EXPECT_EQ(sys->GetPool()->GetKind(), nVertexPool::SYSMEM);
    EXPECT_FALSE(sys->GetPool()->IsDevicePool());

    // The device pool leaves bit 7 out of its layout and stride.
    nVertexBuffer* skin = gfx->NewVertexBuffer("skin", 0, N_VT_COORD | N_VT_JW, 4);
    ASSERT_NE(skin, nullptr);
    ASSERT_TRUE(skin->Lock());
    EXPECT_EQ(skin->GetStride(), 3);
    EXPECT_EQ(skin->GetJointPtr(0), nullptr);
    skin->Unlock();

    // Static vertices read back what was written (a mesh's buffer read by a holder).
    ASSERT_TRUE(vb->Lock());
    ASSERT_NE(vb->GetCoordPtr(), nullptr);
    EXPECT_EQ(vb->GetLockedCount(), 100);
    EXPECT_EQ(vb->GetStride(), 4);
    vb->GetCoordPtr()[4 * 7 + 1] = 2.5f;
    vb->Unlock();
    EXPECT_EQ(vb->GetCoordPtr(), nullptr);
    ASSERT_TRUE(vb->Lock());
    EXPECT_EQ(vb->GetCoordPtr()[4 * 7 + 1], 2.5f);
    vb->Unlock();

    // The dynamic buffers alternate, starting with the second.
    nVertexBuffer* d1 = gfx->NewDynamicVertexBuffer(XYZC, 0);
    nVertexBuffer* d0 = gfx->NewDynamicVertexBuffer(XYZC, 0);
    ASSERT_TRUE(d1 && d0);
    EXPECT_STREQ(d1->GetName(), "_dynamic1");
    EXPECT_STREQ(d0->GetName(), "_dynamic0");
    EXPECT_EQ(gfx->NewDynamicVertexBuffer(XYZC, 0), d1);
    EXPECT_EQ(d1->GetNumVertices(), 2000);
    ASSERT_FALSE(TakeErrors());

    // Bad requests: logged, no object left behind.
    EXPECT_EQ(gfx->NewVertexBuffer("nocoord", 0, N_VT_RGBA, 4), nullptr);
    EXPECT_EQ(gfx->NewVertexBuffer("none", 0, XYZ, 0), nullptr);
    EXPECT_EQ(gfx->NewVertexBuffer("huge", 0, XYZ, 70000), nullptr);
    EXPECT_EQ(gfx->NewVertexBuffer("meshes/a.n3d", 0, XYZC, 100), nullptr) << "the name is taken";
    EXPECT_TRUE(TakeErrors());
    EXPECT_EQ(kernel->Lookup("/sys/share/vxbuf/nocoord"), nullptr);
    EXPECT_EQ(kernel->Lookup("/sys/share/vxbuf/huge"), nullptr);

    // A buffer that got no range cannot be locked.
    auto* bare = static_cast<nVertexBuffer*>(kernel->New("nvertexbuffer", "/test/bare"));
    EXPECT_FALSE(bare->Lock());
    EXPECT_FALSE(bare->IsLocked());
    bare->Release();

    // Releasing the last buffer of a static pool destroys the pool.
    nVertexPoolManager* statics = gfx->GetPoolManager(1);
    EXPECT_FALSE(statics->GetList(nVertexPool::ListIndex(XYZC)).IsEmpty());
    vb->Release();
    EXPECT_TRUE(statics->GetList(nVertexPool::ListIndex(XYZC)).IsEmpty());

    // Closing the display releases the buffers, pools and managers with the device.
    gfx->CloseDisplay();
    EXPECT_EQ(gfx->GetPoolManager(0), nullptr);
    EXPECT_EQ(kernel->Lookup("/sys/share/vxbuf")->GetHead(), nullptr);
    EXPECT_EQ(gfx->NewVertexBuffer("late", 0, XYZ, 3), nullptr);
    EXPECT_TRUE(TakeErrors());
}

TEST_F(VertexBufferTest, IndexBuffersAreSharedByNameAndFilledOnce) {
    auto fill = [&](const char* name) {
        nIndexBuffer* ib = gfx->FindIndexBuffer(name);
        if (ib) return ib;
        ib = gfx->NewIndexBuffer(name);
        ib->Begin(0, nIndexBuffer::TRIANGLELIST, 6);
        for (int i = 0; i < 6; ++i) ib->GetLockPtr()[i] = uint16_t(i);
        ib->End();
        return ib;
    };
    nIndexBuffer* a = fill("nspriterender_ibuf");
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(a->IsA("nd3d8indexbuffer"));
    EXPECT_EQ(a->GetRefCount(), 1);
    nIndexBuffer* b = fill("nspriterender_ibuf");
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->GetRefCount(), 2);
    EXPECT_EQ(a->GetUsedCount(), 6);
    EXPECT_FALSE(a->IsLocked());
    EXPECT_FALSE(a->IsInBegin());
    EXPECT_NE(static_cast<nD3D8IndexBuffer*>(a)->GetDeviceBuffer(), nullptr);

    // A second Begin replaces the first (the old device buffer goes).
    a->Begin(1, nIndexBuffer::LINELIST, 4);
    EXPECT_TRUE(a->IsLocked());
    EXPECT_EQ(a->GetCapacity(), 4);
    EXPECT_TRUE(a->IsDynamic());
    a->End();

    // End on a buffer that was never locked clears its flags.
    nIndexBuffer* fresh = gfx->NewIndexBuffer("fresh");
    fresh->End();
    EXPECT_FALSE(fresh->IsLocked());
    EXPECT_FALSE(fresh->IsInBegin());
    EXPECT_EQ(fresh->GetLockPtr(), nullptr);

    // The base class keeps its indices in ordinary memory.
    nIndexBuffer* plain = gfx->nGfxServer::NewIndexBuffer("plain");
    ASSERT_NE(plain, nullptr);
    EXPECT_FALSE(plain->IsA("nd3d8indexbuffer"));
    plain->Begin(0, nIndexBuffer::POINTLIST, 3);
    plain->GetLockPtr()[2] = 7;
    plain->End();
    EXPECT_EQ(plain->GetIndices()[2], 7);
    ASSERT_FALSE(TakeErrors());
}

}  // namespace
