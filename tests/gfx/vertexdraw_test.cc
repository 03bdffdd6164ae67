#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

#include "gfx/nD3D8IndexBuffer.h"
#include "gfx/nD3D8Server.h"
#include "gfx/nPixelShader.h"
#include "gfx/nPrimitiveBuilder.h"
#include "gfx/nVertexBuffer.h"
#include "gfx/nVertexBufferHolder.h"
#include "tests/gfx/VertexTestServer.h"

namespace {

using bwtest::ColorNear;

constexpr uint32_t Red = 0xFFFF0000u;
constexpr uint32_t Green = 0xFF00FF00u;
constexpr uint32_t White = 0xFFFFFFFFu;
constexpr int XYZC = N_VT_COORD | N_VT_RGBA;

struct Pt {
    float x, y;
};

// Writes positions (z -0.5, in front of the viewer) and, when the layout has them,
// colours through a locked buffer.
void Put(nVertexBuffer* vb, std::initializer_list<Pt> points, uint32_t color) {
    const int stride = vb->GetStride();
    int i = 0;
    for (const Pt& p : points) {
        float* c = vb->GetCoordPtr() + i * stride;
        c[0] = p.x;
        c[1] = p.y;
        c[2] = -0.5f;
        if (vb->GetColorPtr()) vb->GetColorPtr()[i * stride] = color;
        ++i;
    }
}

// Counts how the vertex pool drives it.
class nCountingShader : public nPixelShader {
public:
    static const nClassInfo classInfo;
    int BeginPasses(nTexArray*) override {
        ++begins;
        return 2;
    }
    void SetPass(int pass) override { passes.push_back(pass); }
    void EndPasses() override { ++ends; }
    int begins = 0;
    int ends = 0;
    std::vector<int> passes;
};
const nClassInfo nCountingShader::classInfo = nClassInfo::Make<nCountingShader>("ncountingshader", "npixelshader");

class VertexDrawTest : public VertexTestServer {
protected:
    nIndexBuffer* Indices(const char* name, int type, std::initializer_list<uint16_t> list) {
        nIndexBuffer* ib = gfx->NewIndexBuffer(name);
        ib->Begin(0, type, int(list.size()));
        int i = 0;
        for (uint16_t v : list) ib->GetLockPtr()[i++] = v;
        ib->End();
        return ib;
    }
};

TEST_F(VertexDrawTest, AHolderDrawsItsTriangleAndRestoresTheCounts) {
    nIndexBuffer* ib = Indices("tri", nIndexBuffer::TRIANGLELIST, {0, 1, 2, 0, 2, 1});
    nVertexBufferHolder holder;
    holder.Create(XYZC, 0);
    ASSERT_TRUE(BeginFrame());
    nVertexBuffer* vb = holder.Begin(ib, nullptr, nullptr);
    ASSERT_NE(vb, nullptr);
    EXPECT_TRUE(holder.IsInBegin());
    Put(vb, {{-0.5f, -0.5f}, {0.5f, -0.5f}, {0.0f, 0.5f}}, Red);
    holder.End(3, 3);
    EXPECT_FALSE(vb->IsLocked());
    EXPECT_FALSE(holder.IsInBegin());
    // The drawer lowered the counts for its draw only.
    EXPECT_EQ(ib->GetUsedCount(), 6);
    EXPECT_EQ(vb->GetRange()->inUse, vb->GetRange()->count);
    gfx->EndScene();
    EXPECT_TRUE(ColorNear(Presented(32, 37), Red));
    EXPECT_TRUE(ColorNear(Presented(3, 3), Clear));
    EXPECT_TRUE(ColorNear(Presented(60, 60), Clear));

    // End with nothing written draws nothing but unlocks.
    ASSERT_TRUE(BeginFrame());
    vb = holder.Begin(ib, nullptr, nullptr);
    Put(vb, {{-1.0f, -1.0f}, {1.0f, -1.0f}, {0.0f, 1.0f}}, Green);
    holder.End(0, 3);
    EXPECT_FALSE(vb->IsLocked());
    vb = holder.Begin(ib, nullptr, nullptr);
    holder.End(3, 0);
    gfx->EndScene();
    EXPECT_TRUE(ColorNear(Presented(32, 37), Clear));
    ASSERT_FALSE(TakeErrors());
}

TEST_F(VertexDrawTest, RangesOfOnePoolDrawAtTheirOwnPlaces) {
    nIndexBuffer* ib = Indices("tri", nIndexBuffer::TRIANGLELIST, {0, 1, 2});
    nVertexBuffer* left = gfx->NewVertexBuffer("left", 0, XYZC, 3);
    nVertexBuffer* right = gfx->NewVertexBuffer("right", 0, XYZC, 3);
    nVertexBuffer* white = gfx->NewVertexBuffer("white", 0, N_VT_COORD, 3);
    ASSERT_TRUE(left && right && white);
    ASSERT_EQ(left->GetPool(), right->GetPool());
    EXPECT_EQ(right->GetRange()->first, 3);
    ASSERT_TRUE(left->Lock());
    Put(left, {{-1.0f, -1.0f}, {-0.2f, -1.0f}, {-0.6f, 1.0f}}, Red);
    left->Unlock();
    ASSERT_TRUE(right->Lock());
    Put(right, {{0.2f, -1.0f}, {1.0f, -1.0f}, {0.6f, 1.0f}}, Green);
    right->Unlock();
    // A layout without colour draws white.
    ASSERT_TRUE(white->Lock());
    Put(white, {{-0.1f, 0.2f}, {0.1f, 0.2f}, {0.0f, 0.9f}}, 0);
    white->Unlock();

    ASSERT_TRUE(BeginFrame());
    for (nVertexBuffer* vb : {left, right, white}) vb->GetPool()->Render(vb->GetRange(), ib, nullptr, nullptr);
    gfx->EndScene();
    EXPECT_TRUE(ColorNear(Presented(12, 40), Red));
    EXPECT_TRUE(ColorNear(Presented(51, 40), Green));
    EXPECT_TRUE(ColorNear(Presented(32, 15), White));
    EXPECT_TRUE(ColorNear(Presented(32, 60), Clear));
    ASSERT_FALSE(TakeErrors());
}

TEST_F(VertexDrawTest, StripsFansAndLinesShowTheirPixels) {
    nIndexBuffer* strip = Indices("strip", nIndexBuffer::TRIANGLESTRIP, {0, 1, 2, 3});
    nIndexBuffer* fan = Indices("fan", nIndexBuffer::TRIANGLEFAN, {0, 1, 2, 3});
    nIndexBuffer* lines = Indices("lines", nIndexBuffer::LINELIST, {0, 1, 2, 3});
    nIndexBuffer* lineStrip = Indices("linestrip", nIndexBuffer::LINESTRIP, {0, 1, 2});
    nVertexBuffer* quadA = gfx->NewVertexBuffer("qa", 0, XYZC, 4);
    nVertexBuffer* quadB = gfx->NewVertexBuffer("qb", 0, XYZC, 4);
    nVertexBuffer* segs = gfx->NewVertexBuffer("segs", 0, XYZC, 4);
    nVertexBuffer* path = gfx->NewVertexBuffer("path", 0, XYZC, 3);
    ASSERT_TRUE(quadA && quadB && segs && path);
    // Strip order: bottom-left, top-left, bottom-right, top-right (top-left quarter).
    quadA->Lock();
    Put(quadA, {{-1.0f, 0.1f}, {-1.0f, 1.0f}, {-0.1f, 0.1f}, {-0.1f, 1.0f}}, Red);
    quadA->Unlock();
    // Fan order around the top-right quarter.
    quadB->Lock();
    Put(quadB, {{0.1f, 0.1f}, {0.1f, 1.0f}, {1.0f, 1.0f}, {1.0f, 0.1f}}, Green);
    quadB->Unlock();
    // Two separate horizontal segments along pixel rows 40 and 44, left half.
    segs->Lock();
    Put(segs, {{ClipX(2), ClipY(40)}, {ClipX(28), ClipY(40)}, {ClipX(2), ClipY(44)}, {ClipX(28), ClipY(44)}}, White);
    segs->Unlock();
    // A strip of three indices: along row 50, then down column 60 to row 62.
    path->Lock();
    Put(path, {{ClipX(36), ClipY(50)}, {ClipX(60), ClipY(50)}, {ClipX(60), ClipY(62)}}, White);
    path->Unlock();

    ASSERT_TRUE(BeginFrame());
    quadA->GetPool()->Render(quadA->GetRange(), strip, nullptr, nullptr);
    quadB->GetPool()->Render(quadB->GetRange(), fan, nullptr, nullptr);
    segs->GetPool()->Render(segs->GetRange(), lines, nullptr, nullptr);
    path->GetPool()->Render(path->GetRange(), lineStrip, nullptr, nullptr);
    gfx->EndScene();
    EXPECT_TRUE(ColorNear(Presented(8, 8), Red));
    EXPECT_TRUE(ColorNear(Presented(26, 26), Red)) << "both strip triangles";
    EXPECT_TRUE(ColorNear(Presented(56, 8), Green));
    EXPECT_TRUE(ColorNear(Presented(37, 26), Green)) << "both fan triangles";
    EXPECT_TRUE(NearPixel(15, 40, White));
    EXPECT_TRUE(NearPixel(15, 44, White));
    EXPECT_TRUE(ColorNear(Presented(15, 42), Clear)) << "line lists do not join their segments";
    EXPECT_TRUE(NearPixel(48, 50, White));
    EXPECT_TRUE(NearPixel(60, 57, White)) << "a strip of n indices draws n - 1 segments";
    ASSERT_FALSE(TakeErrors());
}

TEST_F(VertexDrawTest, ColoursLandInTheirChannels) {
    EXPECT_EQ(gfx->GetColorFormat(), 1);
    nIndexBuffer* ib = Indices("quad", nIndexBuffer::TRIANGLELIST, {0, 1, 2, 0, 2, 3});
    nVertexBufferHolder holder;
    holder.Create(XYZC, 4);
    ASSERT_TRUE(BeginFrame());
    nVertexBuffer* vb = holder.Begin(ib, nullptr, nullptr);
    // a<<24 | r<<16 | g<<8 | b.
    Put(vb, {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}}, 0xFF204080u);
    holder.End(4, 6);
    gfx->EndScene();
    EXPECT_TRUE(ColorNear(Presented(32, 32), 0xFF204080u));
}

TEST_F(VertexDrawTest, SwapAndFlushDrawWhatWasWritten) {
    nIndexBuffer* ib = Indices("tri", nIndexBuffer::TRIANGLELIST, {0, 1, 2});
    nVertexBufferHolder holder;
    holder.Create(XYZC, 0);
    kernel->AddClass(nCountingShader::classInfo);
    auto& shader = *static_cast<nCountingShader*>(kernel->New("ncountingshader", "/test/shader"));
    ASSERT_TRUE(BeginFrame());
    nVertexBuffer* first = holder.Begin(ib, nullptr, nullptr);
    Put(first, {{-1.0f, 0.1f}, {-0.1f, 0.1f}, {-0.55f, 1.0f}}, Red);
    nVertexBuffer* second = holder.Swap(3, 3);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first) << "Swap continues in the other dynamic buffer";
    EXPECT_TRUE(second->IsLocked());
    Put(second, {{0.1f, 0.1f}, {1.0f, 0.1f}, {0.55f, 1.0f}}, Green);
    holder.Flush(3, 3, &shader, nullptr);
    EXPECT_TRUE(second->IsLocked()) << "Flush goes on in the same buffer";
    // Two passes, each set before its draw, ended once.
    EXPECT_EQ(shader.begins, 1);
    EXPECT_EQ(shader.passes, (std::vector<int>{0, 1}));
    EXPECT_EQ(shader.ends, 1);
    Put(second, {{-1.0f, -1.0f}, {-0.1f, -1.0f}, {-0.55f, -0.1f}}, Green);
    holder.End(3, 3);
    gfx->EndScene();
    EXPECT_TRUE(ColorNear(Presented(14, 20), Red));
    EXPECT_TRUE(ColorNear(Presented(49, 20), Green));
    EXPECT_TRUE(ColorNear(Presented(14, 52), Green));
    EXPECT_TRUE(ColorNear(Presented(49, 52), Clear));
    ASSERT_FALSE(TakeErrors());
}

TEST_F(VertexDrawTest, BadPrimitivesDrawNothingAndResetsRecreate) {
    nIndexBuffer* two = Indices("two", nIndexBuffer::TRIANGLEFAN, {0, 1});
    nIndexBuffer* unknown = Indices("unknown", 9, {0, 1, 2});
    nIndexBuffer* tri = Indices("tri", nIndexBuffer::TRIANGLELIST, {0, 1, 2});
    nVertexBufferHolder holder;
    holder.Create(XYZC, 0);
    ASSERT_TRUE(BeginFrame());
    for (nIndexBuffer* ib : {two, unknown}) {
        nVertexBuffer* vb = holder.Begin(ib, nullptr, nullptr);
        Put(vb, {{-1, -1}, {1, -1}, {0, 1}}, Red);
        holder.End(3, 3);
    }
    gfx->EndScene();
    EXPECT_TRUE(ColorNear(Presented(32, 40), Clear));
    EXPECT_TRUE(TakeErrors()) << "the unknown type was reported";

    // A reset releases every buffer; the owners make them again and draw.
    gfx->GetDevice()->SimulateDeviceState(render::DeviceState::NeedsReset);
    ASSERT_TRUE(BeginFrame());
    EXPECT_EQ(kernel->Lookup("/sys/share/vxbuf")->GetHead(), nullptr);
    EXPECT_EQ(holder.GetBuffer(), nullptr);
    tri = Indices("tri", nIndexBuffer::TRIANGLELIST, {0, 1, 2});
    nVertexBuffer* vb = holder.Begin(tri, nullptr, nullptr);
    Put(vb, {{-1, -1}, {1, -1}, {0, 1}}, Red);
    holder.End(3, 3);
    gfx->EndScene();
    EXPECT_TRUE(ColorNear(Presented(32, 40), Red));
    // The released index buffers gave their device buffers back: left are the two
    // dynamic pools and the new index buffer.
    EXPECT_EQ(gfx->GetDevice()->GetLiveBufferCount(), 3u);
    ASSERT_FALSE(TakeErrors());
}

// A mesh of points only leaves its index buffer without indices, and so without a device
// buffer: every frame's draw of it is refused, but logged only the first time (and again
// only after the buffer got indices and lost them).
TEST_F(VertexDrawTest, ADrawWithoutIndicesIsLoggedOnce) {
    nIndexBuffer* none = gfx->NewIndexBuffer("points_only");
    nVertexBufferHolder holder;
    holder.Create(XYZC, 0);
    for (int frame = 0; frame < 3; ++frame) {
        ASSERT_TRUE(BeginFrame());
        nVertexBuffer* vb = holder.Begin(none, nullptr, nullptr);
        Put(vb, {{-1, -1}, {1, -1}, {0, 1}}, Red);
        holder.End(3, 3);
        gfx->EndScene();
        EXPECT_TRUE(ColorNear(Presented(32, 40), Clear));
        EXPECT_EQ(TakeErrors(), frame == 0) << "frame " << frame;
    }
    none->Begin(0, nIndexBuffer::TRIANGLELIST, 3);
    for (uint16_t i = 0; i < 3; ++i) none->GetLockPtr()[i] = i;
    none->End();
    ASSERT_TRUE(BeginFrame());
    Put(holder.Begin(none, nullptr, nullptr), {{-1, -1}, {1, -1}, {0, 1}}, Red);
    holder.End(3, 3);
    gfx->EndScene();
    EXPECT_TRUE(ColorNear(Presented(32, 40), Red));
    EXPECT_FALSE(TakeErrors());
    // Emptied again, it is logged again, once.
    none->Begin(0, nIndexBuffer::TRIANGLELIST, 0);
    TakeErrors();
    for (int frame = 0; frame < 2; ++frame) {
        ASSERT_TRUE(BeginFrame());
        Put(holder.Begin(none, nullptr, nullptr), {{-1, -1}, {1, -1}, {0, 1}}, Red);
        holder.End(3, 3);
        gfx->EndScene();
        EXPECT_EQ(TakeErrors(), frame == 0) << "emptied, frame " << frame;
    }
}

TEST_F(VertexDrawTest, APrivateHolderKeepsItsBufferAndNeverDraws) {
    nIndexBuffer* ib = Indices("tri", nIndexBuffer::TRIANGLELIST, {0, 1, 2});
    {
        nVertexBufferHolder holder;
        holder.SetPrivate(true);
        holder.Create(N_VT_COORD | N_VT_NORM, 3);
        nVertexBuffer* own = holder.GetBuffer();
        ASSERT_NE(own, nullptr);
        EXPECT_EQ(own->GetPool()->GetKind(), nVertexPool::SYSMEM);
        ASSERT_TRUE(BeginFrame());
        nVertexBuffer* vb = holder.Begin(ib, nullptr, nullptr);
        EXPECT_EQ(vb, own);
        Put(vb, {{-1, -1}, {1, -1}, {0, 1}}, 0);
        vb->GetNormPtr()[vb->GetStride() * 2 + 1] = 1.0f;
        holder.End(3, 3);
        gfx->EndScene();
        EXPECT_TRUE(ColorNear(Presented(32, 40), Clear));
        // Read access to what was written.
        nVertexBuffer* read = holder.LockBuffer();
        ASSERT_EQ(read, own);
        EXPECT_EQ(read->GetCoordPtr()[read->GetStride()], 1.0f);
        EXPECT_EQ(read->GetNormPtr()[read->GetStride() * 2 + 1], 1.0f);
        EXPECT_EQ(read->GetLockedCount(), 3);
        holder.UnlockBuffer();
        EXPECT_FALSE(own->IsLocked());
        own->SetBoundingBox(bbox3(vector3(0, 0, 0), vector3(1, 2, 3)));
        EXPECT_EQ(own->GetBoundingBox().vmax.y, 2.0f);
    }
    // The holder released its buffer (and so the pool).
    EXPECT_EQ(kernel->Lookup("/sys/share/vxbuf")->GetHead(), nullptr);
    EXPECT_TRUE(gfx->GetPoolManager(0)->GetList(nVertexPool::ListIndex(N_VT_COORD | N_VT_NORM)).IsEmpty());
    ASSERT_FALSE(TakeErrors());
}

// Immediate-mode primitives go through the same buffers.
using ImmediateTest = VertexTestServer;

TEST_F(ImmediateTest, ALineListDrawsAndLongListsDrawInBatches) {
    ASSERT_TRUE(BeginFrame());
    gfx->Rgba(1.0f, 1.0f, 0.0f, 1.0f);
    gfx->Begin(nIndexBuffer::LINELIST);
    gfx->Coord(ClipX(4), ClipY(32), -0.5f);
    gfx->Coord(ClipX(60), ClipY(32), -0.5f);
    gfx->End();
    gfx->EndScene();
    EXPECT_TRUE(NearPixel(32, 32, 0xFFFFFF00u));
    EXPECT_TRUE(bwtest::ColorNear(Presented(32, 10), Clear));
    EXPECT_NE(gfx->FindIndexBuffer("primitive_gfx"), nullptr);
    EXPECT_NE(gfx->FindPixelShader("prim_pizel_slader"), nullptr);
    nPrimitiveBuilder* builder = gfx->GetPrimitiveBuilder();
    ASSERT_NE(builder, nullptr);
    EXPECT_EQ(builder->GetBatchCount(), 1);

    // Vertical segments in columns 0..63, repeated: more than one buffer holds. The
    // last one (in the last batch) is red.
    const int segments = nPrimitiveBuilder::BatchVertices;
    ASSERT_TRUE(BeginFrame());
    gfx->Rgba(0.0f, 1.0f, 0.0f, 1.0f);
    gfx->Begin(nIndexBuffer::LINELIST);
    for (int i = 0; i < segments; ++i) {
        if (i == segments - 1) gfx->Rgba(1.0f, 0.0f, 0.0f, 1.0f);
        const int column = i == segments - 1 ? 50 : i % 40;
        gfx->Coord(ClipX(column), ClipY(2), -0.5f);
        gfx->Coord(ClipX(column), ClipY(60), -0.5f);
    }
    gfx->End();
    gfx->EndScene();
    EXPECT_EQ(builder->GetBatchCount(), 3);
    EXPECT_TRUE(NearPixel(10, 30, 0xFF00FF00u));
    EXPECT_TRUE(NearPixel(50, 30, 0xFFFF0000u));
    EXPECT_TRUE(bwtest::ColorNear(Presented(58, 30), Clear));

    // A triangle strip continues across batches without gaps.
    ASSERT_TRUE(BeginFrame());
    gfx->Rgba(1.0f, 1.0f, 1.0f, 1.0f);
    gfx->Begin(nIndexBuffer::TRIANGLESTRIP);
    const int n = nPrimitiveBuilder::BatchVertices + 101;
    for (int i = 0; i < n; ++i) {
        const float x = -1.0f + 2.0f * float(i / 2) / float(n / 2 - 1);
        gfx->Coord(x, (i % 2) ? -0.5f : 0.5f, -0.5f);
    }
    gfx->End();
    gfx->EndScene();
    for (int x = 2; x < 62; x += 6) EXPECT_TRUE(bwtest::ColorNear(Presented(x, 32), 0xFFFFFFFFu)) << x;
    ASSERT_FALSE(TakeErrors());
}

TEST_F(ImmediateTest, AnUnknownPrimitiveTypeStopsTheProgram) {
    EXPECT_EXIT(gfx->Begin(6), ::testing::ExitedWithCode(3), "");
}

}  // namespace
