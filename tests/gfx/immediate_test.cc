#include <gtest/gtest.h>

#include "gfx/nD3D8Server.h"
#include "gfx/nIndexBuffer.h"
#include "gfx/nPixelShader.h"
#include "gfx/nPrimitiveBuilder.h"
#include "tests/gfx/VertexTestServer.h"

namespace {

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
