#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "platform/flash/Canvas.h"
#include "platform/flash/ImageCache.h"
#include "platform/font/Face.h"
#include "tests/gfx/BmpBytes.h"
#include "tests/platform/flash/MovieFixture.h"

namespace {

class MovieRenderTest : public MovieFixture {
protected:
    int width = 0, height = 0;
    std::vector<uint8_t> frame;

    int32_t Render(flash::FlashModule& module, int w, int h, int bytesPerPixel = 4) {
        this->width = w;
        this->height = h;
        this->frame.assign(size_t(w) * size_t(h) * size_t(bytesPerPixel), 0x5A);
        return module.Render(this->frame.data(), w, h, bytesPerPixel);
    }

    // B, G, R, A of a pixel of a 32-bit frame as 0xAARRGGBB.
    uint32_t At(int x, int y) const {
        const uint8_t* p = &this->frame[(size_t(y) * size_t(this->width) + size_t(x)) * 4];
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
};

// Within `tolerance` on every byte.
::testing::AssertionResult Near(uint32_t actual, uint32_t expected, int tolerance = 2) {
    for (int shift = 0; shift < 32; shift += 8) {
        const int a = int((actual >> shift) & 0xFF), e = int((expected >> shift) & 0xFF);
        if (std::abs(a - e) > tolerance) {
            return ::testing::AssertionFailure() << std::hex << "0x" << actual << " is not near 0x" << expected;
        }
    }
    return ::testing::AssertionSuccess();
}

TEST_F(MovieRenderTest, RectanglesBlendSourceOverIntoBgraBytes) {
    auto module = StartMovie(R"lua(
        stage(100, 100)
        function draw()
            rect(0, 0, 60, 100, 0, 0, 1, 1)            -- blue, left
            rect(40, 0, 60, 50, 1, 0, 0, 1)            -- red over blue, top right
            rect(0, 50, 100, 50, 1, 1, 1, 0.5)         -- half white over the lower half
            rect(-50, 90, 1000, 1000, 0, 1, 0, 1)      -- far past the buffer's edges
            rect(10, 10, -5, 5, 1, 1, 1, 1)            -- no area: nothing
        end
    )lua");
    ASSERT_NE(module, nullptr);
    ASSERT_EQ(Render(*module, 100, 100), flash::Ok);
    EXPECT_EQ(At(10, 10), 0xFF0000FFu);  // blue
    EXPECT_EQ(At(50, 10), 0xFFFF0000u);  // red over blue
    EXPECT_EQ(At(90, 10), 0xFFFF0000u);
    EXPECT_EQ(At(10, 60), 0xFF8080FFu);  // half white over blue
    EXPECT_EQ(At(80, 60), 0x80FFFFFFu);  // half white over transparent keeps its colour
    EXPECT_EQ(At(0, 95), 0xFF00FF00u);
    EXPECT_EQ(At(99, 99), 0xFF00FF00u);
    // Edges fall on pixel centres: 40 starts red, 39 stays blue.
    EXPECT_EQ(At(39, 10), 0xFF0000FFu);
    EXPECT_EQ(At(40, 10), 0xFFFF0000u);
}

TEST_F(MovieRenderTest, SourceOverWeighsPartlyTransparentPixels) {
    using flash::Canvas;
    EXPECT_EQ(Canvas::Over(0xFF102030u, 0xFF405060u), 0xFF405060u);
    EXPECT_EQ(Canvas::Over(0xFF102030u, 0x00405060u), 0xFF102030u);
    EXPECT_EQ(Canvas::Over(0x00000000u, 0x80405060u), 0x80405060u);
    // Half blue under half red: alpha 0.75, colour two thirds red.
    EXPECT_EQ(Canvas::Over(0x80FF0000u, 0x800000FFu), 0xC05500AAu);
}

TEST_F(MovieRenderTest, ImagesAreReadRelativeToTheMovieDecodedAndScaled) {
    // 2 x 2, bottom row first: blue, white / red, green.
    BmpBytes bmp;
    bmp.pixels = {0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0,  0, 0, 0xFF, 0, 0xFF, 0, 0, 0};
    const std::vector<uint8_t> bytes = bmp.Build();
    this->files["menus/pics/checker.dat"] = std::string(bytes.begin(), bytes.end());
    AddMovie("menus/main.lua", R"lua(
        stage(40, 40)
        function draw()
            image("pics/checker.dat", 0, 0)            -- its own size
            image("pics/checker.dat", 10, 10, 20, 20)  -- scaled up ten times
            image("pics/checker.dat", 38, 38, 8, 8)    -- past the edge
        end
    )lua");
    auto module = Start("menus/main.lua");
    ASSERT_NE(module, nullptr);
    ASSERT_EQ(Render(*module, 40, 40), flash::Ok);
    EXPECT_EQ(At(0, 0), 0xFFFF0000u);
    EXPECT_EQ(At(1, 0), 0xFF00FF00u);
    EXPECT_EQ(At(0, 1), 0xFF0000FFu);
    EXPECT_EQ(At(1, 1), 0xFFFFFFFFu);
    EXPECT_EQ(At(12, 12), 0xFFFF0000u);
    EXPECT_EQ(At(27, 12), 0xFF00FF00u);
    EXPECT_EQ(At(12, 27), 0xFF0000FFu);
    EXPECT_EQ(At(27, 27), 0xFFFFFFFFu);
    EXPECT_TRUE(Near(At(20, 12), 0xFF808000u, 40));  // blended across the red-green edge
    EXPECT_EQ(At(38, 38), 0xFFFF0000u);
    EXPECT_EQ(At(5, 5), 0u);
    EXPECT_TRUE(this->logs.empty());
    // Drawn again from the caches: the same pixels.
    const std::vector<uint8_t> first = this->frame;
    ASSERT_EQ(Render(*module, 40, 40), flash::Ok);
    EXPECT_EQ(this->frame, first);
}

// Only PNG, JPEG and BMP files whose header fits the file reach the picture decoder: its
// other readers, and its BMP reader following a header past the file's end, read outside
// their input.
TEST_F(MovieRenderTest, PicturesOfOtherKindsOrWithLyingHeadersAreRefused) {
    BmpBytes bmp;
    bmp.pixels = {0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0,  0, 0, 0xFF, 0, 0xFF, 0, 0, 0};
    std::vector<uint8_t> lying = bmp.Build();
    lying[10] = 0xF0;  // pixels "start" far past the end
    this->files["menus/lying.bmp"] = std::string(lying.begin(), lying.end());
    // A targa header: no reader of ours takes it.
    this->files["menus/pic.tga"] = std::string("\0\0\2\0\0\0\0\0\0\0\0\0\2\0\2\0\x20\0", 18) + std::string(16, '\xFF');
    AddMovie("menus/main.lua", R"lua(
        stage(8, 8)
        function draw()
            image("lying.bmp", 0, 0)
            image("pic.tga", 0, 0)
        end
    )lua");
    auto module = Start("menus/main.lua");
    ASSERT_NE(module, nullptr);
    Render(*module, 8, 8);
    EXPECT_EQ(At(0, 0), 0u);
    std::string all;
    for (const std::string& l : this->logs) all += l;
    EXPECT_NE(all.find("a BMP whose header does not fit the file"), std::string::npos) << all;
    EXPECT_NE(all.find("not a PNG, JPEG or BMP picture"), std::string::npos) << all;
}

// The hostile files of the picture fuzzer's seeds (DevIL crashed on them, took gigabytes
// or never returned; the JPEG hung under any name) drawn by a movie: each refused, logged.
TEST_F(MovieRenderTest, HostilePictureFilesAreRefusedAndLogged) {
    const char* src = std::getenv("BW_SOURCE_DIR");
    ASSERT_NE(src, nullptr);
    std::string draws;
    int seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(src) + "/tests/fuzz/corpus/picture")) {
        const std::string name = entry.path().filename().string();
        if (name.find("_bytes") == std::string::npos && name.find("header_only") == std::string::npos) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_GT(bytes.size(), 3u);
        this->files["menus/" + name] = bytes.substr(3);  // past the fuzzer's sprite size
        draws += "image('" + name + "', 0, 0) image('" + name + "', 0, 0, 2, 2) ";
        ++seen;
    }
    EXPECT_EQ(seen, 8);
    AddMovie("menus/main.lua", "stage(4, 4)\nfunction draw() " + draws + "rect(0, 0, 1, 1, 1, 1, 1, 1) end\n");
    auto module = Start("menus/main.lua");
    ASSERT_NE(module, nullptr);
    for (int i = 0; i < 2; ++i) ASSERT_EQ(Render(*module, 4, 4), flash::Ok);
    EXPECT_EQ(At(0, 0), 0xFFFFFFFFu);
    // One line a reason.
    EXPECT_EQ(Logged("image: not a PNG, JPEG or BMP picture"), 1);
    EXPECT_EQ(Logged("image: broken JPEG"), 1);
    EXPECT_EQ(Logged("image: picture of 8192 x 8192 is larger than"), 1);
    EXPECT_EQ(this->logs.size(), 3u);
    for (const auto& [path, count] : this->reads) EXPECT_EQ(count, 1) << path;  // refusals are remembered
}

// One picture under several names that reach the same file is read and decoded once
// (each name took its own copy: four names of an 8192 x 8192 picture held 1.4 GB).
TEST_F(MovieRenderTest, PicturesAreKeptOncePerFileTheirNamesReach) {
    BmpBytes bmp;
    bmp.pixels = {0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0,  0, 0, 0xFF, 0, 0xFF, 0, 0, 0};
    const std::vector<uint8_t> bytes = bmp.Build();
    this->files["menus/pics/big.png"] = std::string(bytes.begin(), bytes.end());
    AddMovie("menus/main.lua", R"lua(
        stage(4, 4)
        function draw()
            for _, name in ipairs({"pics/big.png", "./pics/big.png", "././pics/big.png", "pics//big.png",
                                   "PICS/Big.png", "pics/./big.png"}) do
                image(name, 0, 0) image(name, 0, 0, 4, 4)
            end
        end
    )lua");
    auto module = Start("menus/main.lua");
    ASSERT_NE(module, nullptr);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(Render(*module, 4, 4), flash::Ok);
    EXPECT_EQ(this->reads["menus/pics/big.png"], 1);
    EXPECT_EQ(this->reads.size(), 2u);  // and the movie
    EXPECT_EQ(At(0, 0), 0xFFFF0000u);
    EXPECT_TRUE(this->logs.empty());
}

// The pixels a movie keeps stay under the cache's cap: the least recently drawn
// pictures leave, and come back from their file when drawn again.
TEST(ImageCacheTest, PixelsHeldStayUnderTheCapLeastRecentlyUsedLeaveFirst) {
    // 2048 x 2048 at 32 bits: 16 MB of pixels each.
    BmpBytes bmp;
    bmp.width = bmp.height = 2048;
    bmp.bpp = 32;
    bmp.pixels.assign(size_t(2048) * 2048 * 4, 0x40);
    const std::vector<uint8_t> built = bmp.Build();
    const std::string bytes(built.begin(), built.end());
    std::map<std::string, int> reads;
    flash::ImageCache cache([&](const std::string& name, std::string& out, std::string&) {
        ++reads[name];
        out = bytes;
        return true;
    });
    std::string error;
    const size_t one = size_t(2048) * 2048 * 4;
    ASSERT_NE(cache.Get("p0.png", 0, 0, error), nullptr) << error;
    for (int i = 1; i < 14; ++i) {
        ASSERT_NE(cache.Get("p" + std::to_string(i) + ".png", 0, 0, error), nullptr) << error;
        ASSERT_NE(cache.Get("p1.png", 0, 0, error), nullptr);  // p1 stays in use
        EXPECT_LE(cache.BytesHeld(), flash::ImageCache::MaxBytes);
    }
    EXPECT_EQ(cache.BytesHeld() / one, flash::ImageCache::MaxBytes / one);
    ASSERT_NE(cache.Get("p1.png", 0, 0, error), nullptr);
    ASSERT_NE(cache.Get("p13.png", 0, 0, error), nullptr);
    EXPECT_EQ(reads["p1.png"], 1);
    EXPECT_EQ(reads["p13.png"], 1);
    ASSERT_NE(cache.Get("p0.png", 0, 0, error), nullptr);
    EXPECT_EQ(reads["p0.png"], 2);
    // Scaled copies count as well.
    ASSERT_NE(cache.Get("p0.png", 4096, 2048, error), nullptr) << error;
    EXPECT_LE(cache.BytesHeld(), flash::ImageCache::MaxBytes);
    EXPECT_EQ(reads["p13.png"], 1);
}

TEST_F(MovieRenderTest, TheStageScalesToTheMovieRectangleOrTheWholeBuffer) {
    auto module = StartMovie(R"lua(
        stage(10, 10)
        function draw() clear(0, 0, 1, 0.5) rect(5, 5, 5, 5, 1, 0, 0, 1) end
    )lua");
    ASSERT_NE(module, nullptr);
    ASSERT_EQ(Render(*module, 40, 20), flash::Ok);
    EXPECT_EQ(At(0, 0), 0x800000FFu);
    EXPECT_EQ(At(19, 9), 0x800000FFu);
    EXPECT_EQ(At(20, 10), 0xFFFF0000u);
    EXPECT_EQ(At(39, 19), 0xFFFF0000u);

    EXPECT_EQ(module->SetMovieRect(10, 4, 30, 14), flash::Ok);
    EXPECT_EQ(module->SetMovieRect(10, 4, 10, 14), flash::BadArgument);
    EXPECT_EQ(module->SetMovieRect(-1, -1, -2, -2), flash::BadArgument);  // an unset node rectangle
    ASSERT_EQ(Render(*module, 40, 20), flash::Ok);
    EXPECT_EQ(At(9, 4), 0u);             // outside the rectangle: transparent
    EXPECT_EQ(At(10, 4), 0x800000FFu);  // the stage's cleared top left
    EXPECT_EQ(At(19, 8), 0x800000FFu);
    EXPECT_EQ(At(20, 9), 0xFFFF0000u);   // the stage's centre
    EXPECT_EQ(At(29, 13), 0xFFFF0000u);
    EXPECT_EQ(At(30, 13), 0u);
    EXPECT_EQ(At(29, 14), 0u);
}

TEST_F(MovieRenderTest, SixteenBitFramesPackFourBitsAChannel) {
    auto module = StartMovie(R"lua(
        stage(2, 1)
        function draw()
            rect(0, 0, 1, 1, 1, 1, 1, 1)
            clear(0, 0, 0x80 / 255, 0) rect(0, 0, 1, 1, 1, 1, 1, 1)
        end
    )lua");
    ASSERT_NE(module, nullptr);
    ASSERT_EQ(Render(*module, 2, 1, 2), flash::Ok);
    ASSERT_EQ(this->frame.size(), 4u);
    EXPECT_EQ(this->frame[0], 0xFF);  // white, opaque
    EXPECT_EQ(this->frame[1], 0xFF);
    EXPECT_EQ(this->frame[2], 0x08);  // (B, G, R, A) = (0x80, 0, 0, 0)
    EXPECT_EQ(this->frame[3], 0x00);
}

TEST_F(MovieRenderTest, TextDrawsInsideItsBoxOnly) {
    auto module = StartMovie(R"lua(
        stage(200, 60)
        function draw()
            text(20, 10, "Größe", 24, 1, 1, 1, 1)
            text(150, 10, "Größe und mehr Text, der über den Rand hinaus läuft", 24, 1, 1, 1, 1)
        end
    )lua");
    ASSERT_NE(module, nullptr);
    ASSERT_EQ(Render(*module, 200, 60), flash::Ok);
    auto face = font::Face::Open(flash::MovieModule::DefaultFace, 24, false, false);
    ASSERT_NE(face, nullptr);
    int right = 20;
    for (uint8_t code : {uint8_t('G'), uint8_t('r'), uint8_t(0xF6), uint8_t(0xDF), uint8_t('e')}) {
        right += face->GetAdvance(code);
    }
    const int bottom = 10 + face->GetCellHeight();
    int inside = 0;
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 145; ++x) {
            const uint32_t p = At(x, y);
            if (x >= 20 && x < right && y >= 10 && y < bottom) {
                inside += p != 0 ? 1 : 0;
                if (p != 0) {
                    ASSERT_EQ(p & 0xFFFFFF, 0xFFFFFFu) << x << "," << y;
                }
            } else {
                ASSERT_EQ(p, 0u) << "ink outside the box at " << x << "," << y;
            }
        }
    }
    EXPECT_GT(inside, 150);
    EXPECT_TRUE(this->logs.empty());
}

TEST_F(MovieRenderTest, TimeAdvancesOneFrameARender) {
    auto module = StartMovie(R"lua(
        stage(10, 1) fps(5)
        function draw() rect(0, 0, time() * 10, 1, 1, 1, 1, 1) end
    )lua");
    ASSERT_NE(module, nullptr);
    for (int frameIndex = 0; frameIndex < 3; ++frameIndex) {
        ASSERT_EQ(Render(*module, 10, 1), flash::Ok);
        for (int x = 0; x < 10; ++x) EXPECT_EQ(At(x, 0) != 0, x < 2 * frameIndex) << frameIndex << " " << x;
    }
}

}  // namespace
