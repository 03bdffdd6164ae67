#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "gfx/nBmpFile.h"
#include "tests/gfx/BmpBytes.h"
#include "tests/gfx/GfxTestKernel.h"

namespace {

namespace fs = std::filesystem;

class BmpFileTest : public GfxTestKernel {
protected:
    std::string Path(const char* name) {
        fs::path dir = fs::temp_directory_path() / ("bw_gfx_bmp_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        dirs.push_back(dir);
        return (dir / name).string();
    }
    std::string WriteBytes(const char* name, const std::vector<uint8_t>& bytes) {
        std::string p = Path(name);
        FILE* f = std::fopen(p.c_str(), "wb");
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return p;
    }
    static std::vector<uint8_t> ReadBytes(const std::string& p) {
        std::vector<uint8_t> v;
        FILE* f = std::fopen(p.c_str(), "rb");
        int c;
        while ((c = std::fgetc(f)) != EOF) v.push_back(uint8_t(c));
        std::fclose(f);
        return v;
    }
    void TearDown() override {
        for (auto& d : dirs) fs::remove_all(d);
        GfxTestKernel::TearDown();
    }
    std::vector<fs::path> dirs;
};

TEST_F(BmpFileTest, WritesHeadersAndPaddedRows) {
    std::string p = Path("w101.bmp");
    nBmpFile out;
    out.SetWidth(101);
    out.SetHeight(2);
    ASSERT_TRUE(out.Open(p.c_str(), "wb"));
    EXPECT_TRUE(out.IsOpen());
    EXPECT_EQ(out.GetRowSize(), 304);
    ASSERT_NE(out.GetPixelFormat(), nullptr);
    EXPECT_EQ(out.GetPixelFormat()->bpp, 24);
    EXPECT_EQ(out.GetPixelFormat()->rmask, 0xFFu);
    EXPECT_EQ(out.GetPixelFormat()->bmask, 0xFF0000u);
    std::vector<uint8_t> row(101 * 3);
    for (int r = 0; r < 2; ++r) {
        std::fill(row.begin(), row.end(), uint8_t(0xA0 + r));
        out.WriteLine(row.data());
    }
    out.WriteLine(row.data()); // a third row does not fit the header: refused
    out.Close();
    EXPECT_FALSE(out.IsOpen());

    std::vector<uint8_t> b = ReadBytes(p);
    ASSERT_EQ(b.size(), 54u + 304u * 2u);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(b[2] | b[3] << 8 | b[4] << 16, 54 + 608);
    EXPECT_EQ(b[10], 54);
    EXPECT_EQ(b[14], 40);
    EXPECT_EQ(b[18], 101);
    EXPECT_EQ(b[22], 2);
    EXPECT_EQ(b[26], 1);
    EXPECT_EQ(b[28], 24);
    for (int i = 30; i < 54; ++i) EXPECT_EQ(b[i], 0) << i;
    EXPECT_EQ(b[54 + 302], 0xA0);
    EXPECT_EQ(b[54 + 303], 0); // one zero fill byte
    EXPECT_EQ(b[54 + 304], 0xA1);

    // A 100-pixel row needs no padding.
    nBmpFile hundred;
    hundred.SetWidth(100);
    hundred.SetHeight(1);
    ASSERT_TRUE(hundred.Open(Path("w100.bmp").c_str(), "wb"));
    EXPECT_EQ(hundred.GetRowSize(), 300);
}

TEST_F(BmpFileTest, TwentyFourBitRoundTripAndNegativeHeight) {
    std::string p = Path("rt.bmp");
    {
        nBmpFile out;
        out.SetWidth(3);
        out.SetHeight(4);
        ASSERT_TRUE(out.Open(p.c_str(), "wb"));
        for (int r = 0; r < 4; ++r) {
            uint8_t px[9];
            for (int i = 0; i < 9; ++i) px[i] = uint8_t(r * 16 + i);
            out.WriteLine(px);
        }
    } // the destructor closes the stream

    nBmpFile in;
    ASSERT_TRUE(in.Open(p.c_str(), "rb"));
    EXPECT_EQ(in.GetWidth(), 3);
    EXPECT_EQ(in.GetHeight(), 4);
    EXPECT_EQ(in.GetPixelFormat()->type, nPixelFormat::RGBA);
    EXPECT_EQ(in.GetPixelFormat()->gmask, 0xFF00u);
    int row = -2;
    for (int r = 0; r < 4; ++r) {
        uint8_t* line = in.ReadLine(row);
        ASSERT_NE(line, nullptr);
        EXPECT_EQ(row, r);
        EXPECT_EQ(line[0], r * 16);
        EXPECT_EQ(line[8], r * 16 + 8);
    }
    EXPECT_EQ(in.ReadLine(row), nullptr);
    EXPECT_EQ(row, -1);
    in.Close();

    // Top-down files open with the absolute height; rows stay in file order.
    BmpBytes td;
    td.width = 1;
    td.height = -3;
    td.pixels = {1, 1, 1, 0, 2, 2, 2, 0, 3, 3, 3, 0};
    ASSERT_TRUE(in.Open(WriteBytes("td.bmp", td.Build()).c_str(), "rb"));
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
    ASSERT_TRUE(in.Open(WriteBytes("p16.bmp", b.Build()).c_str(), "rb"));
    EXPECT_EQ(in.GetRowSize(), 8);
    nPixelFormat* pf = in.GetPixelFormat();
    ASSERT_NE(pf, nullptr);
    EXPECT_EQ(pf->type, nPixelFormat::CLUT);
    EXPECT_EQ(pf->bpp, 8);
    EXPECT_EQ(pf->PaletteEntries(), 256);
    // Stored blue, green, red: kept as red, green, blue, 255.
    EXPECT_EQ(pf->palette[4 * 15 + 0], 45);
    EXPECT_EQ(pf->palette[4 * 15 + 1], 30);
    EXPECT_EQ(pf->palette[4 * 15 + 2], 15);
    EXPECT_EQ(pf->palette[4 * 15 + 3], 255);
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
    ASSERT_TRUE(in.Open(WriteBytes("v5.bmp", v5.Build()).c_str(), "rb"));
    EXPECT_EQ(in.GetPixelFormat()->palette[4 * 200], 0x77);
    line = in.ReadLine(row);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line[0], 200);
}

TEST_F(BmpFileTest, LyingHeadersAreRefused) {
    auto refuses = [&](const char* name, const std::vector<uint8_t>& bytes) {
        nBmpFile in;
        EXPECT_FALSE(in.Open(WriteBytes(name, bytes).c_str(), "rb")) << name;
        EXPECT_FALSE(in.IsOpen()) << name;
        EXPECT_EQ(in.GetPixelFormat(), nullptr) << name;
        EXPECT_TRUE(TakeErrors()) << name;
    };
    BmpBytes good;
    good.pixels.assign(16, 0);
    {
        nBmpFile in;
        ASSERT_TRUE(in.Open(WriteBytes("good.bmp", good.Build()).c_str(), "rb"));
    }

    BmpBytes b = good;
    std::vector<uint8_t> bytes = b.Build();
    bytes[0] = 'X';
    refuses("type.bmp", bytes);
    refuses("short.bmp", std::vector<uint8_t>(bytes.begin(), bytes.begin() + 30));
    refuses("empty.bmp", {});

    b = good; b.dataOffset = 40; refuses("offset_in_header.bmp", b.Build());
    b = good; bytes = b.Build(); BmpBytes::u32(bytes, 10, 0xFFFFFFF0u); refuses("offset_far.bmp", bytes);
    b = good; b.height = 3; refuses("rows_past_end.bmp", b.Build());
    b = good; b.width = 1000000; refuses("wide.bmp", b.Build());
    b = good; b.height = int32_t(0x80000000); refuses("min_height.bmp", b.Build());
    b = good; b.width = -2; refuses("neg_width.bmp", b.Build());
    b = good; b.width = 0; refuses("zero_width.bmp", b.Build());
    b = good; b.height = 0; refuses("zero_height.bmp", b.Build());
    b = good; b.bpp = 16; refuses("bpp16.bmp", b.Build());
    b = good; b.bpp = 32; refuses("bpp32.bmp", b.Build());
    b = good; b.bpp = 4; refuses("bpp4.bmp", b.Build());
    b = good; b.compression = 1; refuses("rle8.bmp", b.Build());
    b = good; b.compression = 3; refuses("bitfields.bmp", b.Build());
    b = good; b.compression = 4; refuses("jpeg.bmp", b.Build());
    b = good; b.compression = 5; refuses("png.bmp", b.Build());
    b = good; b.infoSize = 12; refuses("core_header.bmp", b.Build());
    b = good; bytes = b.Build(); BmpBytes::u32(bytes, 14, 0x7FFFFFFF); refuses("info_huge.bmp", bytes);

    BmpBytes p;
    p.bpp = 8;
    p.coloursUsed = 300;
    p.palette.assign(300 * 4, 0);
    p.pixels.assign(8, 0);
    refuses("colours300.bmp", p.Build());
    p.coloursUsed = 256;
    p.palette.assign(256 * 4, 0);
    p.dataOffset = 14 + 40 + 512; // pixels inside the palette
    refuses("palette_overlap.bmp", p.Build());
    p.dataOffset = -1;
    bytes = p.Build();
    bytes.resize(14 + 40 + 100); // palette cut short
    refuses("palette_cut.bmp", bytes);

    nBmpFile none;
    EXPECT_FALSE(none.Open(Path("missing/none.bmp").c_str(), "rb"));
    EXPECT_FALSE(none.IsOpen());
    EXPECT_TRUE(TakeErrors());
}

TEST_F(BmpFileTest, MisuseIsHarmless) {
    nBmpFile f;
    int row = 7;
    EXPECT_EQ(f.ReadLine(row), nullptr);
    EXPECT_EQ(row, -1);
    uint8_t px[3] = {};
    f.WriteLine(px); // not open: logged, nothing happens

    // Writing needs a size first.
    EXPECT_FALSE(f.Open(Path("nosize.bmp").c_str(), "wb"));
    EXPECT_FALSE(f.IsOpen());

    // Reading a file opened for writing yields nothing.
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
