#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "gfx/nBmpFile.h"
#include "tests/gfx/BmpBytes.h"
#include "tests/gfx/GfxTestKernel.h"

namespace {

using BmpFileTest = GfxTestKernel;

TEST_F(BmpFileTest, WritesHeadersAndPaddedRowsThatReadBack) {
    std::string p = Path("w101.bmp");
    {
        nBmpFile out;
        out.SetWidth(101);
        out.SetHeight(2);
        ASSERT_TRUE(out.Open(p.c_str(), "wb"));
        EXPECT_EQ(out.GetPixelFormat()->rmask, 0xFFu);
        std::vector<uint8_t> row(101 * 3);
        for (int r = 0; r < 2; ++r) {
            std::fill(row.begin(), row.end(), uint8_t(0xA0 + r));
            out.WriteLine(row.data());
        }
        out.WriteLine(row.data()); // a third row does not fit the header: refused
        EXPECT_TRUE(TakeErrors());
    } // the destructor closes the stream

    std::vector<uint8_t> b = ReadFileBytes(p);
    ASSERT_EQ(b.size(), 54u + 304u * 2u);
    EXPECT_EQ(b[2] | b[3] << 8 | b[4] << 16, 54 + 608);
    // Type, data offset, info size, width, height, planes, bits; the rest zero.
    const int fields[][2] = {{0, 'B'}, {1, 'M'}, {10, 54}, {14, 40}, {18, 101}, {22, 2}, {26, 1}, {28, 24}};
    for (auto [at, value] : fields) EXPECT_EQ(b[at], value) << at;
    for (int i = 30; i < 54; ++i) EXPECT_EQ(b[i], 0) << i;
    EXPECT_EQ(b[54 + 302], 0xA0);
    EXPECT_EQ(b[54 + 303], 0); // one zero fill byte
    EXPECT_EQ(b[54 + 304], 0xA1);

    nBmpFile in;
    ASSERT_TRUE(in.Open(p.c_str(), "rb"));
    EXPECT_EQ(in.GetWidth(), 101);
    EXPECT_EQ(in.GetHeight(), 2);
    int row = -2;
    for (int r = 0; r < 2; ++r) {
        uint8_t* line = in.ReadLine(row);
        ASSERT_NE(line, nullptr);
        EXPECT_EQ(row, r);
        EXPECT_EQ(line[302], 0xA0 + r);
    }
    EXPECT_EQ(in.ReadLine(row), nullptr);
    EXPECT_EQ(row, -1);

    // Top-down files open with the absolute height; rows stay in file order.
    BmpBytes td;
    td.width = 1;
    td.height = -3;
    td.pixels = {1, 1, 1, 0, 2, 2, 2, 0, 3, 3, 3, 0};
    ASSERT_TRUE(in.Open(Write("td.bmp", td.Build()).c_str(), "rb"));
    EXPECT_EQ(in.GetHeight(), 3);
    for (int r = 0; r < 3; ++r) {
        uint8_t* line = in.ReadLine(row);
        ASSERT_NE(line, nullptr);
        EXPECT_EQ(line[0], r + 1);
    }
}

TEST_F(BmpFileTest, EightBitPalettes) {
    // Colours-used 16: 64 palette bytes, the pixels right after them.
    BmpBytes b;
    b.width = 5;
    b.height = 2;
    b.bpp = 8;
    b.coloursUsed = 16;
    for (int i = 0; i < 16; ++i) {
        b.palette.insert(b.palette.end(), {uint8_t(i), uint8_t(2 * i), uint8_t(3 * i), 0x55});
    }
    b.pixels = {0, 1, 2, 15, 4, 0, 0, 0, 5, 6, 7, 8, 9, 0, 0, 0};
    nBmpFile in;
    ASSERT_TRUE(in.Open(Write("p16.bmp", b.Build()).c_str(), "rb"));
    EXPECT_EQ(in.GetRowSize(), 8);
    nPixelFormat* pf = in.GetPixelFormat();
    ASSERT_NE(pf, nullptr);
    EXPECT_EQ(pf->type, nPixelFormat::CLUT);
    EXPECT_EQ(pf->PaletteEntries(), 256);
    // Stored blue, green, red: kept as red, green, blue, 255.
    EXPECT_EQ(std::vector<uint8_t>(pf->palette + 4 * 15, pf->palette + 4 * 16), (std::vector<uint8_t>{45, 30, 15, 255}));
    EXPECT_EQ(pf->palette[4 * 16 + 3], 0); // unused entries are zero
    int row;
    uint8_t* line = in.ReadLine(row);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line[3], 15);
    line = in.ReadLine(row);
    EXPECT_EQ(line[0], 5);

    // Colours-used 0 means a full palette; a larger info header (V5) and a gap
    // before the pixel data are honoured.
    BmpBytes v5;
    v5.width = 1;
    v5.height = 1;
    v5.bpp = 8;
    v5.infoSize = 124;
    v5.palette.assign(256 * 4, 0);
    v5.palette[4 * 200 + 2] = 0x77;
    v5.dataOffset = 14 + 124 + 1024 + 10;
    v5.pixels = {200, 0, 0, 0};
    ASSERT_TRUE(in.Open(Write("v5.bmp", v5.Build()).c_str(), "rb"));
    EXPECT_EQ(in.GetPixelFormat()->palette[4 * 200], 0x77);
    line = in.ReadLine(row);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line[0], 200);
}

// Each header below lies about the file; opening must refuse it with a logged reason
// and never read outside the file (the sanitizers watch the reads).
TEST_F(BmpFileTest, LyingHeadersAreRefused) {
    BmpBytes rgb;
    rgb.pixels.assign(16, 0);
    BmpBytes pal;
    pal.bpp = 8;
    pal.coloursUsed = 256;
    pal.palette.assign(256 * 4, 0);
    pal.pixels.assign(8, 0);
    using Bytes = std::vector<uint8_t>;
    // A lie is told in the description before building or in the bytes after it.
    const struct {
        const char* name;
        const BmpBytes& base;
        void (*told)(BmpBytes&);
        void (*written)(Bytes&);
    } cases[] = {
        {"type", rgb, nullptr, [](Bytes& v) { v[0] = 'X'; }},
        {"short", rgb, nullptr, [](Bytes& v) { v.resize(30); }},
        {"offset_in_header", rgb, [](BmpBytes& b) { b.dataOffset = 40; }, nullptr},
        {"offset_far", rgb, nullptr, [](Bytes& v) { BmpBytes::u32(v, 10, 0xFFFFFFF0u); }},
        {"wide", rgb, [](BmpBytes& b) { b.width = 1000000; }, nullptr},
        {"min_height", rgb, [](BmpBytes& b) { b.height = int32_t(0x80000000); }, nullptr},
        {"zero_height", rgb, [](BmpBytes& b) { b.height = 0; }, nullptr},
        {"bpp16", rgb, [](BmpBytes& b) { b.bpp = 16; }, nullptr},
        {"bpp4", rgb, [](BmpBytes& b) { b.bpp = 4; }, nullptr},
        {"rle8", rgb, [](BmpBytes& b) { b.compression = 1; }, nullptr},
        {"core_header", rgb, [](BmpBytes& b) { b.infoSize = 12; }, nullptr},
        {"info_huge", rgb, nullptr, [](Bytes& v) { BmpBytes::u32(v, 14, 0x7FFFFFFF); }},
        {"colours300", pal, [](BmpBytes& b) { b.coloursUsed = 300; b.palette.resize(300 * 4); }, nullptr},
        {"palette_overlap", pal, [](BmpBytes& b) { b.dataOffset = 14 + 40 + 512; }, nullptr},
        {"palette_cut", pal, nullptr, [](Bytes& v) { v.resize(14 + 40 + 100); }},
    };
    for (const BmpBytes* base : {&rgb, &pal}) {
        nBmpFile in;
        ASSERT_TRUE(in.Open(Write("base.bmp", base->Build()).c_str(), "rb"));
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BmpBytes b = c.base;
        if (c.told) c.told(b);
        Bytes bytes = b.Build();
        if (c.written) c.written(bytes);
        nBmpFile in;
        EXPECT_FALSE(in.Open(Write("lie.bmp", bytes).c_str(), "rb"));
        EXPECT_FALSE(in.IsOpen());
        EXPECT_EQ(in.GetPixelFormat(), nullptr);
        EXPECT_TRUE(TakeErrors());
    }

    nBmpFile missing;
    EXPECT_FALSE(missing.Open(Path("missing/none.bmp").c_str(), "rb"));
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_TRUE(TakeErrors());
}

TEST_F(BmpFileTest, MisuseIsHarmless) {
    nBmpFile f;
    int row = 7;
    EXPECT_EQ(f.ReadLine(row), nullptr);
    EXPECT_EQ(row, -1);
    uint8_t px[3] = {};
    f.WriteLine(px); // not open: logged, nothing happens
    EXPECT_TRUE(TakeErrors());

    // Writing needs a size first; a file opened for writing reads nothing.
    EXPECT_FALSE(f.Open(Path("nosize.bmp").c_str(), "wb"));
    f.SetWidth(1);
    f.SetHeight(1);
    ASSERT_TRUE(f.Open(Path("w.bmp").c_str(), "wb"));
    EXPECT_EQ(f.ReadLine(row), nullptr);
    f.Close();
    f.Close();
}

using BmpFileDeathTest = BmpFileTest;

TEST_F(BmpFileDeathTest, AbstractOperationsAndRgbaToClutStop) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    kernel->SetLogHandler(nullptr); // fatal texts reach stderr through the default handler
    nImageFile base;
    int row;
    EXPECT_EXIT(base.ReadLine(row), testing::ExitedWithCode(3),
                "nImageFile::ReadLine\\(\\): Pure virtual function called!");
    EXPECT_EXIT(base.WriteLine(nullptr), testing::ExitedWithCode(3),
                "nImageFile::WriteLine\\(\\): Pure virtual function called!");
    nPixelFormat clut(nullptr, 8);
    nPixelFormat rgba(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    EXPECT_EXIT(clut.BeginConv(&rgba), testing::ExitedWithCode(3),
                "nPixelFormat: illegal conversion, rgba->clut!");
}

} // namespace
