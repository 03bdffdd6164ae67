#include <gtest/gtest.h>

#include <string>

#include "gfx/nPixelFormat.h"
#include "gfx/nTexture.h"
#include "tests/gfx/BmpBytes.h"
#include "tests/gfx/GfxTestKernel.h"

namespace {

class TextureLoadTest : public GfxTestKernel {
protected:
    void SetUp() override {
        GfxTestKernel::SetUp();
        tex = static_cast<nTexture*>(kernel->New("ntexture", "/sys/share/tex/wall_bmp"));
    }
    // A 2 x 2 24-bit image; pixel (x, row) has blue x, green row, red 0x80.
    static BmpBytes Pixels() {
        BmpBytes b;
        b.pixels = {0, 0, 0x80, 1, 0, 0x80, 0, 0, 0, 1, 0x80, 1, 1, 0x80, 0, 0};
        return b;
    }
    static BmpBytes Alpha(int w, int h) {
        BmpBytes a;
        a.width = w;
        a.height = h;
        a.bpp = 8;
        a.coloursUsed = 2;
        a.palette.assign(8, 0);
        int row = (w + 3) & ~3;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < row; ++x) a.pixels.push_back(uint8_t(x < w ? 0x10 * (y * w + x + 1) : 0));
        return a;
    }
    nTexture* tex = nullptr;
};

TEST_F(TextureLoadTest, PixelImageWithAlphaImage) {
    // An empty alpha name means none.
    tex->SetFileNames(Write("wall.bmp", Pixels().Build()).c_str(), "");
    const char *file = nullptr, *alpha = "y";
    tex->GetFileNames(file, alpha);
    EXPECT_NE(file, nullptr);
    EXPECT_EQ(alpha, nullptr);

    ASSERT_TRUE(tex->BeginLoad(Write("wall_a.bmp", Alpha(2, 2).Build()).c_str()));
    const nPixelFormat* f = tex->GetLoadFormat();
    EXPECT_EQ(f->bpp, 32);
    EXPECT_EQ(f->rmask, 0xFFu);
    EXPECT_EQ(f->amask, 0xFF000000u);
    for (int y = 0; y < 2; ++y) {
        ASSERT_EQ(tex->ReadLine(), y);
        const uint8_t* line = tex->GetLineBuffer();
        for (int x = 0; x < 2; ++x) {
            // Bytes R, G, B, A in memory.
            EXPECT_EQ(line[4 * x + 0], 0x80);
            EXPECT_EQ(line[4 * x + 1], y);
            EXPECT_EQ(line[4 * x + 2], x);
            EXPECT_EQ(line[4 * x + 3], 0x10 * (y * 2 + x + 1));
        }
    }
    EXPECT_EQ(tex->ReadLine(), -1);
    tex->EndLoad();
    EXPECT_EQ(tex->GetLineBuffer(), nullptr);
    EXPECT_FALSE(TakeErrors());

    // Without an alpha image the lines keep the image's own format.
    ASSERT_TRUE(tex->BeginLoad(nullptr));
    EXPECT_EQ(tex->GetLoadFormat()->bpp, 24);
    ASSERT_EQ(tex->ReadLine(), 0);
    EXPECT_EQ(tex->GetLineBuffer()[2], 0x80);
    EXPECT_EQ(tex->GetLineBuffer()[3], 1);
}

TEST_F(TextureLoadTest, BrokenImagesAreRefused) {
    tex->SetFileNames(Path("none.bmp").c_str(), nullptr);
    EXPECT_FALSE(tex->BeginLoad(nullptr));
    EXPECT_TRUE(TakeErrors());

    tex->SetFileNames(Write("wall.bmp", Pixels().Build()).c_str(), nullptr);
    EXPECT_FALSE(tex->BeginLoad(Path("none_a.bmp").c_str()));
    EXPECT_TRUE(TakeErrors());
    // An alpha image of another size, or one that is no 8-bit image.
    EXPECT_FALSE(tex->BeginLoad(Write("wide_a.bmp", Alpha(3, 2).Build()).c_str()));
    EXPECT_TRUE(TakeErrors());
    EXPECT_FALSE(tex->BeginLoad(Write("rgb_a.bmp", Pixels().Build()).c_str()));
    EXPECT_TRUE(TakeErrors());
    EXPECT_EQ(tex->ReadLine(), -1);
    EXPECT_EQ(tex->GetLineBuffer(), nullptr);
}

}  // namespace
