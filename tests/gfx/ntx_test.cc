#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gfx/nNtxFile.h"
#include "tests/gfx/GfxTestKernel.h"
#include "tests/gfx/NtxBytes.h"

namespace {

class NtxFileTest : public GfxTestKernel {
protected:
    // Opens the bytes as a file; the reader is left open for the checks.
    bool Open(nNtxFile& ntx, const std::vector<uint8_t>& bytes, const char* name = "t.ntx") {
        return ntx.OpenRead(Write(name, bytes).c_str());
    }
};

TEST_F(NtxFileTest, BlockTableGivesOffsetsSizesAndPitches) {
    NtxBytes one;
    one.Add(1, 2, 64, 64, 1, 0).Layout();
    std::vector<uint8_t> bytes = one.Build();
    ASSERT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "1XTN");
    nNtxFile ntx(kernel);
    ASSERT_TRUE(Open(ntx, bytes));
    ASSERT_EQ(ntx.GetNumBlocks(), 1);
    EXPECT_EQ(ntx.GetDataOffset(), 40u);
    EXPECT_EQ(ntx.GetDataSize(), 12288u);
    EXPECT_EQ(ntx.GetBytesPerRow(), 192u);
    ntx.CloseRead();

    NtxBytes two;
    two.Add(3, 2, 8, 8, 1, 0).Add(2, 4, 32, 32, 6, 0).Layout();
    ASSERT_TRUE(Open(ntx, two.Build()));
    EXPECT_EQ(ntx.GetDataOffset(), 72u);
    // A cube map's six faces share one block.
    ntx.SetCurrentBlock(1);
    EXPECT_EQ(ntx.GetDataSize(), 24576u);
    EXPECT_EQ(ntx.GetBytesPerRow(), 128u);
    EXPECT_EQ(ntx.GetBytesPerPixel(), 4u);
    EXPECT_EQ(ntx.GetDataOffset(), 72u + 128u);
    EXPECT_FALSE(TakeErrors());
}

TEST_F(NtxFileTest, TextureBlockFollowsAlphaAndQualityWithFallbacks) {
    nNtxFile ntx(kernel);
    // Block 0 without alpha in 16 bits, the 32-bit picture behind it; a repeated
    // format, type and level finds the first in table order.
    NtxBytes mixed;
    mixed.Add(3, 2, 4, 4, 1, 0).Add(3, 2, 2, 2, 1, 1).Add(1, 2, 4, 4, 1, 0).Add(1, 2, 4, 4, 1, 0).Layout();
    ASSERT_TRUE(Open(ntx, mixed.Build()));
    EXPECT_EQ(ntx.FindTextureBlock(true), 2);
    EXPECT_EQ(ntx.FindTextureBlock(false), 0);
    EXPECT_EQ(ntx.FindBlock(3, 2, 1), 1);
    EXPECT_EQ(ntx.FindBlock(3, 4, 0), -1);

    // Only 16-bit alpha blocks: 32-bit quality falls back to them.
    NtxBytes alpha16;
    alpha16.Add(4, 2, 4, 4, 1, 0).Layout();
    ASSERT_TRUE(Open(ntx, alpha16.Build()));
    EXPECT_EQ(ntx.FindTextureBlock(true), 0);
    EXPECT_EQ(ntx.FindTextureBlock(false), 0);

    // Only 32-bit blocks: 16-bit quality has no fallback; a cube map is no texture block.
    NtxBytes alpha32;
    alpha32.Add(2, 2, 4, 4, 1, 0).Add(4, 4, 4, 4, 6, 0).Layout();
    ASSERT_TRUE(Open(ntx, alpha32.Build()));
    EXPECT_EQ(ntx.FindTextureBlock(true), 0);
    EXPECT_EQ(ntx.FindTextureBlock(false), -1);

    NtxBytes empty;
    ASSERT_TRUE(Open(ntx, empty.Build()));
    EXPECT_EQ(ntx.FindTextureBlock(true), -1);
    EXPECT_FALSE(TakeErrors());
}

TEST_F(NtxFileTest, WriterFileMatchesTheLayoutAndReadsBack) {
    NtxBytes expected;
    expected.Add(1, 2, 4, 2, 1, 0, 0x11).Add(1, 2, 2, 1, 1, 1, 0x22).Add(4, 4, 2, 2, 6, 0, 0x33).Layout();
    {
        nNtxFile out(kernel);
        out.SetNumBlocks(3);
        for (int i = 0; i < 3; ++i) {
            const NtxBytes::Block& b = expected.blocks[size_t(i)];
            out.SetCurrentBlock(i);
            out.SetFormat(b.format);
            out.SetType(b.type);
            out.SetWidth(b.width);
            out.SetHeight(b.height);
            out.SetDepth(b.depth);
            out.SetMipLevel(b.mip);
        }
        ASSERT_TRUE(out.OpenWrite(Path("w.ntx").c_str()));
        for (int i = 0; i < 3; ++i) {
            out.SetCurrentBlock(i);
            std::vector<uint8_t> data(out.GetDataSize(), expected.blocks[size_t(i)].fill);
            ASSERT_TRUE(out.WriteBlock(data.data(), data.size()));
        }
        out.CloseWrite();
        out.FreeBlocks();
    }
    const std::vector<uint8_t> written = ReadFileBytes(Path("w.ntx"));
    EXPECT_EQ(written, expected.Build());

    nNtxFile in(kernel);
    ASSERT_TRUE(in.OpenRead(Path("w.ntx").c_str()));
    ASSERT_EQ(in.GetNumBlocks(), 3);
    in.SetCurrentBlock(2);
    std::vector<uint8_t> data(in.GetDataSize() + 4, 0xEE);
    // The block is larger than the stated buffer: nothing is read.
    EXPECT_EQ(in.ReadBlock(data.data(), in.GetDataSize() - 1), 0u);
    EXPECT_TRUE(TakeErrors());
    EXPECT_EQ(data[0], 0xEE);
    ASSERT_EQ(in.ReadBlock(data.data(), in.GetDataSize()), in.GetDataSize());
    EXPECT_EQ(data[0], 0x33);
    EXPECT_EQ(data[in.GetDataSize() - 1], 0x33);
    EXPECT_EQ(data[in.GetDataSize()], 0xEE);
    EXPECT_FALSE(TakeErrors());
}

// Each broken file is refused at open with a logged reason, leaving no table behind.
TEST_F(NtxFileTest, MalformedFilesAreRefused) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    auto make = [](auto change) {
        NtxBytes f;
        f.Add(1, 2, 4, 4, 1, 0).Layout();
        change(f);
        return f.Build();
    };
    std::vector<Case> cases = {
        {"wrong magic", make([](NtxBytes& f) { f.magic = 0x4E545832; })},
        {"count the file cannot hold", [&] {
             auto v = make([](NtxBytes&) {});
             v[4] = 0xFF;
             v[5] = 0xFF;
             return v;
         }()},
        {"negative count", [&] {
             auto v = make([](NtxBytes&) {});
             v[7] = 0x80;
             return v;
         }()},
        {"size other than w*h*d*bpp", make([](NtxBytes& f) { f.blocks[0].size -= 3; })},
        {"data past the end", make([](NtxBytes& f) { f.blocks[0].offset += 1; })},
        {"offset wrapping", make([](NtxBytes& f) { f.blocks[0].offset = 0xFFFFFFF0u; })},
        {"zero width", make([](NtxBytes& f) { f.blocks[0].width = 0; f.blocks[0].size = 0; })},
        {"zero height", make([](NtxBytes& f) { f.blocks[0].height = 0; f.blocks[0].size = 0; })},
        {"format 0", make([](NtxBytes& f) { f.blocks[0].format = 0; })},
        {"format 5", make([](NtxBytes& f) { f.blocks[0].format = 5; })},
        // Sizes agree with the depth, so only the depth check refuses these.
        {"2D image of two slices", make([](NtxBytes& f) { f.blocks[0].depth = 2; f.Layout(); })},
        {"cube map of one slice", make([](NtxBytes& f) { f.blocks[0].type = 4; })},
        {"cube map of seven slices", make([](NtxBytes& f) { f.blocks[0].type = 4; f.blocks[0].depth = 7; f.Layout(); })},
        {"cut inside the table", [&] {
             auto v = make([](NtxBytes&) {});
             v.resize(20);
             return v;
         }()},
        {"empty file", {}},
    };
    nNtxFile ntx(kernel);
    for (const Case& c : cases) {
        EXPECT_FALSE(Open(ntx, c.bytes)) << c.what;
        EXPECT_TRUE(TakeErrors()) << c.what;
        EXPECT_FALSE(ntx.IsReadOpen()) << c.what;
        EXPECT_EQ(ntx.GetNumBlocks(), 0) << c.what;
    }
    EXPECT_FALSE(ntx.OpenRead(Path("missing.ntx").c_str()));
    EXPECT_TRUE(TakeErrors());
}

}  // namespace
