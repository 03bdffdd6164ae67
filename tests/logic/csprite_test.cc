// Image sprites: the tiling, pictures from BMP and NTX files read back at probe pixels at
// 800 x 600 and 1024 x 768, the tiles' textures, unloading and rebuilding, and pictures
// that cannot be used.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "gfx/nTexture.h"
#include "logic/nLogicCSprite.h"
#include "tests/gfx/BmpBytes.h"
#include "tests/gfx/ImageBytes.h"
#include "tests/gfx/NtxBytes.h"
#include "tests/logic/SpriteFixture.h"

namespace {

using bwtest::ColorNear;

constexpr uint32_t Red = 0xFFFF0000u, Green = 0xFF00FF00u, Blue = 0xFF0000FFu, White = 0xFFFFFFFFu;
constexpr int PicW = 300, PicH = 200;

// Quadrants of the 300 x 200 picture: red, green over blue, white.
uint32_t Quadrant(int x, int y) {
    return y < PicH / 2 ? (x < PicW / 2 ? Red : Green) : (x < PicW / 2 ? Blue : White);
}

std::vector<uint8_t> QuadrantBmp() {
    BmpBytes bmp;
    bmp.width = PicW;
    bmp.height = PicH;
    for (int y = PicH - 1; y >= 0; y--) {
        for (int x = 0; x < PicW; x++) {
            const uint32_t c = Quadrant(x, y);
            bmp.pixels.insert(bmp.pixels.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
        }
    }
    return bmp.Build();
}

// A flat A8R8G8B8 block of w x h (the quadrants where they fall).
std::vector<uint8_t> QuadrantNtx(uint32_t w, uint32_t h) {
    NtxBytes ntx;
    ntx.Add(2, 2, w, h, 1, 0);
    for (uint32_t y = 0; y < h; y++) {
        for (uint32_t x = 0; x < w; x++) {
            const uint32_t c = Quadrant(int(x), int(y));
            ntx.blocks[0].data.insert(ntx.blocks[0].data.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 0xFF});
        }
    }
    ntx.Layout();
    return ntx.Build();
}

std::vector<uint8_t> LyingBmp() {
    std::vector<uint8_t> bytes = QuadrantBmp();
    for (size_t i = 0; i < 4; i++) bytes[10 + i] = uint8_t(0xFFF70436u >> (8 * i));
    return bytes;
}

class CSpriteTest : public SpriteFixture {
protected:
    nLogicCSprite* Picture(const char* path, const std::string& file, float x = 100.0f, float y = 100.0f) {
        auto* s = static_cast<nLogicCSprite*>(kernel->New("nlogiccsprite", path));
        s->SetTexture(file.c_str());
        s->SetPosition(x, y);
        s->SetDimension(float(PicW), float(PicH));
        return s;
    }
    // The picture's pixel (px, py) of a sprite at (100, 100) on the display.
    uint32_t Shown(int px, int py) const {
        return At(int((100.0f + float(px) + 0.5f) * float(w) / 800.0f), int((100.0f + float(py) + 0.5f) * float(h) / 600.0f));
    }
    void ExpectQuadrants() {
        const std::pair<int, int> probes[] = {{10, 10}, {290, 10}, {10, 190}, {290, 190}, {140, 90}, {160, 110}, {298, 100}};
        for (auto [px, py] : probes) EXPECT_TRUE(ColorNear(Shown(px, py), Quadrant(px, py))) << px << ", " << py;
        // Past the picture's right edge the last tile column is not drawn.
        EXPECT_TRUE(ColorNear(Shown(302, 10), Black));
        EXPECT_TRUE(ColorNear(Shown(10, 203), Black));
    }
};

class CSpriteSizeTest : public CSpriteTest, public ::testing::WithParamInterface<std::pair<int, int>> {
protected:
    void SetUp() override {
        CSpriteTest::SetUp();
        Open(GetParam().first, GetParam().second);
    }
};

INSTANTIATE_TEST_SUITE_P(Displays, CSpriteSizeTest, ::testing::Values(std::make_pair(800, 600), std::make_pair(1024, 768)));

TEST(CSpriteTiling, SquaresFrom256To16CoverTheRaisedSizeWithoutGapOrOverlap) {
    const struct { int w, h; std::vector<std::pair<int, int>> counts; } cases[] = {
        {304, 208, {{128, 2}, {64, 4}, {32, 6}, {16, 31}}},
        {512, 512, {{256, 4}}},
        {16, 16, {{16, 1}}},
        {272, 16, {{16, 17}}},
    };
    for (const auto& c : cases) {
        std::vector<nLogicCSprite::TileRect> tiles;
        nLogicCSprite::Tile(c.w, c.h, tiles);
        std::vector<int> cover(size_t(c.w / 16) * size_t(c.h / 16), 0);
        std::map<int, int> sizes;
        for (const auto& t : tiles) {
            ASSERT_EQ(t.w, t.h);
            sizes[t.w]++;
            for (int y = t.y; y < t.y + t.h; y += 16) {
                for (int x = t.x; x < t.x + t.w; x += 16) {
                    ASSERT_TRUE(x < c.w && y < c.h) << t.x << ", " << t.y;
                    cover[size_t(y / 16) * size_t(c.w / 16) + size_t(x / 16)]++;
                }
            }
        }
        EXPECT_EQ(sizes, (std::map<int, int>(c.counts.begin(), c.counts.end()))) << c.w << " x " << c.h;
        for (int n : cover) EXPECT_EQ(n, 1) << c.w << " x " << c.h;
    }
    std::vector<nLogicCSprite::TileRect> none;
    nLogicCSprite::Tile(0, 64, none);
    EXPECT_TRUE(none.empty());
}

TEST_P(CSpriteSizeTest, BmpAndNtxPicturesShowTheirColoursTileByTile) {
    const std::string bmp = Write("quad.bmp", QuadrantBmp());
    const std::string ntx = Write("quad.ntx", QuadrantNtx(PicW, PicH));
    for (const std::string& file : {bmp, ntx}) {
        SCOPED_TRACE(file);
        nLogicCSprite* s = Picture("/usr/logic/pic", file);
        Frame();
        ASSERT_EQ(s->GetNumTiles(), 43);
        // The column at x = 288 shows 12 of its 16 units; the row at y = 192 8 of 16.
        for (int i = 0; i < s->GetNumTiles(); i++) {
            nLogicSpriteQuad* t = s->GetTile(i);
            EXPECT_FLOAT_EQ(t->w, t->sourceRect[0] == 288.0f ? 12.0f : t->sourceRect[2]);
            EXPECT_FLOAT_EQ(t->h, t->sourceRect[1] == 192.0f ? 8.0f : t->sourceRect[3]);
            ASSERT_NE(t->GetTexture(), nullptr);
            EXPECT_EQ(t->GetTexture()->GetWidth(), int(t->sourceRect[2]));
        }
        // The buffer lives only while the picture is committed.
        EXPECT_FALSE(s->HasImageBuffer());
        ExpectQuadrants();
        s->Release();
    }
    EXPECT_FALSE(TakeErrors());
}

TEST_F(CSpriteTest, UnloadDropsTilesAndBufferAndTheNextRenderBuildsThemAgain) {
    Open(800, 600);
    nLogicCSprite* s = Picture("/usr/logic/pic", Write("quad.bmp", QuadrantBmp()));
    ASSERT_TRUE(Run("sel('/usr/logic/pic'); preload(); sel('/')"));
    EXPECT_EQ(s->GetNumTiles(), 43);
    ASSERT_TRUE(Run("sel('/usr/logic/pic'); unload(); sel('/')"));
    EXPECT_EQ(s->GetNumTiles(), 0);
    EXPECT_FALSE(s->HasImageBuffer());
    Frame();
    EXPECT_EQ(s->GetNumTiles(), 43);
    ExpectQuadrants();

    // Moving keeps the tiles and their offsets.
    s->SetPosition(110.0f, 100.0f);
    EXPECT_FLOAT_EQ(s->GetTile(0)->x, 110.0f + s->GetTile(0)->sourceRect[0]);
    Frame();
    EXPECT_TRUE(ColorNear(At(111 + 5, 105), Red));
    EXPECT_TRUE(ColorNear(At(111 + 295, 105), Green));

    // Only the node's own lines are saved.
    ASSERT_TRUE(s->SaveAs(Path("pic").c_str()));
    const std::vector<uint8_t> saved = ReadFileBytes(Path("pic.n"));
    const std::string text(saved.begin(), saved.end());
    EXPECT_EQ(text.find("settexture"), std::string::npos);
    EXPECT_EQ(text.find("setposition"), std::string::npos);
}

// A picture redrawn every frame gets its dropped buffer back instead of a new one: it
// must come back zeroed, as a new one would, or a picture that fails to read would show
// the last one. Committing it again still shows what was drawn into it.
TEST_F(CSpriteTest, ABufferDroppedAndTakenAgainComesBackZeroed) {
    Open(800, 600);
    nLogicCSprite* s = Picture("/usr/logic/pic", "");
    Frame();
    const size_t bytes = size_t(s->GetImageWidth()) * size_t(s->GetImageHeight()) * 4;
    ASSERT_GT(bytes, 0u);
    for (int frame = 0; frame < 2; frame++) {
        uint8_t* buffer = s->GetImageBuffer();
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(std::count(buffer, buffer + bytes, uint8_t(0)), std::ptrdiff_t(bytes)) << "frame " << frame;
        for (int y = 0; y < PicH; y++) {
            for (int x = 0; x < PicW; x++) std::memcpy(buffer + (size_t(y) * PicW + size_t(x)) * 4, &White, 4);
        }
        s->CommitImage(true);
        EXPECT_FALSE(s->HasImageBuffer());
        Frame();
        EXPECT_TRUE(ColorNear(Shown(150, 100), White));
    }
}

TEST_F(CSpriteTest, EquallyNamedPicturesUnderOtherParentsKeepTheirOwnTextures) {
    Open(800, 600);
    kernel->New("nlogicnode", "/usr/logic/a");
    kernel->New("nlogicnode", "/usr/logic/b");
    std::vector<uint32_t> red(32 * 32, Red), blue(32 * 32, Blue);
    auto* a = Picture("/usr/logic/a/pic", Write("red.png", imagebytes::Png(32, 32, red, false)), 0.0f, 0.0f);
    auto* b = Picture("/usr/logic/b/pic", Write("blue.png", imagebytes::Png(32, 32, blue, false)), 400.0f, 0.0f);
    a->SetDimension(32.0f, 32.0f);
    b->SetDimension(32.0f, 32.0f);
    Frame();
    EXPECT_TRUE(ColorNear(At(16, 16), Red));
    EXPECT_TRUE(ColorNear(At(416, 16), Blue));
    EXPECT_FALSE(TakeErrors());
}

TEST_F(CSpriteTest, PicturesThatCannotBeUsedLeaveTransparentTilesLoggedOnce) {
    Open(800, 600);
    struct { const char* name; std::string file; const char* error; } cases[] = {
        {"missing", Path("missing.bmp"), "cannot be read"},
        {"garbage", Write("garbage.bmp", std::vector<uint8_t>(64, 0x42)), "garbage.bmp"},
        // A block of another size than the sprite would run past the buffer.
        {"small", Write("small.ntx", QuadrantNtx(64, 64)), "texture block of 64 x 64"},
        {"broken", Write("broken.ntx", std::vector<uint8_t>(40, 7)), "not a readable NTX file"},
        // A reader following the header would read the pixels from past the file.
        {"lying", Write("lying.bmp", LyingBmp()), "does not fit the file"},
        {"tga", Write("pic.tga", imagebytes::Tga24(2, 2, {Red, Red, Red, Red})), "not a PNG, JPEG or BMP"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        nLogicCSprite* s = Picture("/usr/logic/bad", c.file);
        Frame();
        EXPECT_EQ(s->GetNumTiles(), 43);
        EXPECT_TRUE(ColorNear(Shown(10, 10), Black));
        EXPECT_EQ(Errors(c.error), 1);
        // Built again: not logged again.
        s->ReleaseQuad();
        Frame();
        EXPECT_EQ(Errors("does not load"), 1);
        log.errors.clear();
        s->Release();
    }
    // A size past the limit draws nothing and is logged.
    nLogicCSprite* huge = Picture("/usr/logic/huge", Path("missing.bmp"));
    huge->SetDimension(1e9f, 100.0f);
    Frame();
    EXPECT_EQ(huge->GetNumTiles(), 0);
    EXPECT_EQ(Errors("is larger than"), 1);
}

// The hostile files of the picture fuzzer's seeds (DevIL crashed on them, took gigabytes
// or never returned) are refused by the sprite's reader, the buffer left as it was.
TEST_F(CSpriteTest, HostilePictureFilesAreRefused) {
    const char* src = std::getenv("BW_SOURCE_DIR");
    ASSERT_NE(src, nullptr);
    int seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(src) + "/tests/fuzz/corpus/picture")) {
        const std::string name = entry.path().filename().string();
        if (name.find("_bytes") == std::string::npos && name.find("header_only") == std::string::npos) continue;
        SCOPED_TRACE(name);
        std::vector<uint8_t> bytes = ReadFileBytes(entry.path().string());
        ASSERT_GT(bytes.size(), 3u);
        // The fuzzer's first three bytes are the sprite's size; the extension is the seed's.
        const std::string file = Write((name + "." + name.substr(name.rfind('_') + 1)).c_str(), {bytes.begin() + 3, bytes.end()});
        std::vector<uint8_t> buffer(16 * 16 * 4, 0x5A);
        std::string error;
        EXPECT_FALSE(nLogicCSprite::ReadImage(kernel, file.c_str(), buffer.data(), 16, 16, 4, error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(buffer, std::vector<uint8_t>(16 * 16 * 4, 0x5A));
        ++seen;
    }
    EXPECT_EQ(seen, 8);
}

TEST_F(CSpriteTest, SixteenBitPicturesPackIntoA4R4G4B4) {
    Open(800, 600);
    // White opaque, then (B, G, R, A) = (0x80, 0, 0, 0).
    const std::string png = Write("two.png", imagebytes::Png(2, 1, {0xFFFFFFFFu, 0x00000080u}, true));
    uint8_t out[4] = {1, 1, 1, 1};
    std::string error;
    ASSERT_TRUE(nLogicCSprite::ReadImage(kernel, png.c_str(), out, 2, 1, 2, error)) << error;
    EXPECT_EQ((std::vector<uint8_t>(out, out + 4)), (std::vector<uint8_t>{0xFF, 0xFF, 0x08, 0x00}));
    // Scaled to the wanted size, 32-bit: B, G, R, A.
    uint8_t wide[4 * 4];
    ASSERT_TRUE(nLogicCSprite::ReadImage(kernel, png.c_str(), wide, 4, 1, 4, error)) << error;
    EXPECT_EQ((std::vector<uint8_t>(wide, wide + 4)), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));

    // A tile made for a 16-bit display holds A4R4G4B4 texels.
    nLogicSpriteQuad tile("logic_sprite_/usr/logic/x-0");
    tile.textureMode = 1;
    tile.bits32 = false;
    tile.textureW = tile.textureH = 16.0f;
    tile.RequestTexture(nullptr);
    ASSERT_NE(tile.GetTexture(), nullptr);
    EXPECT_EQ(tile.GetTexture()->GetBytesPerPixel(), 2);
    EXPECT_TRUE(tile.textureRequested);
    EXPECT_NE(kernel->Lookup("/sys/share/tex"), nullptr);
}

}  // namespace
