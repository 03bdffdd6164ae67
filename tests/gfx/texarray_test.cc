#include "gfx/nGfxServer.h"
#include "gfx/nTexArray.h"
#include "gfx/nTexture.h"
#include "tests/gfx/GfxTestKernel.h"

namespace {

using TexArrayTest = GfxTestKernel;

TEST_F(TexArrayTest, StagesShareTexturesByNameAndReleaseThem) {
    auto* gfx = static_cast<nGfxServer*>(kernel->New("ngfxserver", "/sys/servers/gfx"));
    // Registered as the graphics server names it.
    auto* known = static_cast<nTexture*>(kernel->New("ntexture", "/sys/share/tex/tex_a_bmp"));
    ASSERT_NE(known, nullptr);
    {
        nTexArray array;
        EXPECT_TRUE(array.Load(0, gfx, "tex/a.bmp", nullptr, true, false));
        EXPECT_EQ(array.GetTexture(0), known);
        EXPECT_EQ(known->GetRefCount(), 2);
        // No file empties the stage and gives its reference back.
        EXPECT_TRUE(array.Load(0, gfx, nullptr, nullptr, true, false));
        EXPECT_EQ(array.GetTexture(0), nullptr);
        EXPECT_EQ(known->GetRefCount(), 1);
        // A texture the server cannot make leaves the stage empty and nothing registered.
        EXPECT_FALSE(array.Load(1, gfx, "tex/b.bmp", "tex/b_alpha.bmp", true, false));
        EXPECT_EQ(array.GetTexture(1), nullptr);
        EXPECT_EQ(gfx->FindTexture("tex/b.bmp_a"), nullptr);
        EXPECT_FALSE(array.Load(4, gfx, "tex/a.bmp", nullptr, true, false));
        array.SetTexture(3, known);
        EXPECT_EQ(known->GetRefCount(), 2);
    }
    EXPECT_EQ(known->GetRefCount(), 1);
}

TEST_F(TexArrayTest, CompareOrdersStageByStage) {
    auto* t1 = static_cast<nTexture*>(kernel->New("ntexture", "/t1"));
    auto* t2 = static_cast<nTexture*>(kernel->New("ntexture", "/t2"));
    nTexArray a, b;
    EXPECT_EQ(nTexArray::Compare(&a, &b), 0);
    a.SetTexture(1, t1);
    b.SetTexture(1, t1);
    EXPECT_EQ(nTexArray::Compare(&a, &b), 0);
    b.SetTexture(2, t2);
    // An empty stage is the lowest identity.
    EXPECT_LT(nTexArray::Compare(&a, &b), 0);
    EXPECT_GT(nTexArray::Compare(&b, &a), 0);
    a.SetTexture(0, t2);
    EXPECT_GT(nTexArray::Compare(&a, &b), 0);  // the first differing stage decides
}

}  // namespace
