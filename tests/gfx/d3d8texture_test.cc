#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "gfx/nD3D8Server.h"
#include "gfx/nD3D8Texture.h"
#include "gfx/nPixelFormat.h"
#include "gfx/nTexArray.h"
#include "kernel/nNpkFileServer.h"
#include "kernel/nNpkWriter.h"
#include "platform/render/Device.h"
#include "platform/render/Texture.h"
#include "tests/gfx/BmpBytes.h"
#include "tests/gfx/GfxTestKernel.h"
#include "tests/gfx/ImageBytes.h"
#include "tests/gfx/NtxBytes.h"
#include "tests/platform/SdlTestEnvironment.h"
#include "tests/kernel/Respelled.h"

namespace {

using bwtest::ColorNear;
using render::Format;

struct Rgba {
    int r, g, b, a;
    bool operator==(const Rgba&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Rgba& c) {
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ", " << c.a << ")";
}

// A 24-bit BMP of w x h, rows given top row first as 0xRRGGBB; stored bottom-up.
std::vector<uint8_t> Bmp24(int w, int h, const std::vector<uint32_t>& rgb) {
    BmpBytes b;
    b.width = w;
    b.height = h;
    const int row = (w * 3 + 3) & ~3;
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < w; ++x) {
            const uint32_t p = rgb[size_t(y * w + x)];
            b.pixels.insert(b.pixels.end(), {uint8_t(p), uint8_t(p >> 8), uint8_t(p >> 16)});
        }
        b.pixels.resize(b.pixels.size() + size_t(row - w * 3), 0);
    }
    return b.Build();
}

// An 8-bit BMP whose index bytes are alpha values, top row first; stored bottom-up.
std::vector<uint8_t> Alpha8(int w, int h, const std::vector<uint8_t>& alpha) {
    BmpBytes b;
    b.width = w;
    b.height = h;
    b.bpp = 8;
    b.coloursUsed = 1;
    b.palette.assign(4, 0);
    const int row = (w + 3) & ~3;
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < w; ++x) b.pixels.push_back(alpha[size_t(y * w + x)]);
        b.pixels.resize(b.pixels.size() + size_t(row - w), 0);
    }
    return b.Build();
}

class D3D8TextureTest : public GfxTestKernel {
protected:
    static void SetUpTestSuite() { bwtest::LoadSdlVideo(); }

    void SetUp() override {
        GfxTestKernel::SetUp();
        gfx = static_cast<nD3D8Server*>(kernel->New("nd3d8server", "/sys/servers/gfx"));
        ASSERT_TRUE(gfx->SetDisplayMode("w(64)-h(64)-zbuf(16)-sbuf(0)-bbuf(1)"));
        ASSERT_TRUE(gfx->OpenDisplay());
        ASSERT_FALSE(TakeErrors());
    }

    nD3D8Texture* Load(const char* name, const std::string& file, bool mips = false, bool quality = false,
                       const char* alpha = nullptr) {
        auto* t = static_cast<nD3D8Texture*>(gfx->NewTexture(name));
        t->SetFileNames(file.c_str(), alpha);
        t->SetGenMipMaps(mips);
        t->SetHighQuality(quality);
        loaded = t->Load();
        return t;
    }

    // A texel of level 0 through the texture's own lock.
    static Rgba Texel(nTexture* t, int x, int y) {
        Rgba c{-1, -1, -1, -1};
        if (t->Lock(0, 0, t->GetWidth(), t->GetHeight(), nullptr, nullptr)) {
            t->GetPixel(x, y, c.r, c.g, c.b, c.a);
            t->Unlock();
        }
        return c;
    }

    // The first byte of a level of the device texture.
    static uint8_t FirstByte(nD3D8Texture* t, int level) {
        render::LockedRect locked;
        if (!t->GetDeviceTexture()->LockRect(level, nullptr, locked)) return 0;
        const uint8_t b = *static_cast<uint8_t*>(locked.bits);
        t->GetDeviceTexture()->UnlockRect(level);
        return b;
    }

    uint32_t Presented(int x, int y) { return bwtest::Presented(*gfx->GetDevice(), x, y); }

    struct Vertex {
        float x, y, z, rhw;
        uint32_t color;
        float u, v;
    };
    // The whole 64 x 64 screen, texture coordinates 0..1 from the top left.
    void DrawScreenQuad(uint32_t color) {
        const float a = -0.5f, b = 63.5f;
        const Vertex quad[6] = {{a, a, 0.5f, 1, color, 0, 0}, {b, a, 0.5f, 1, color, 1, 0}, {b, b, 0.5f, 1, color, 1, 1},
                                {a, a, 0.5f, 1, color, 0, 0}, {b, b, 0.5f, 1, color, 1, 1}, {a, b, 0.5f, 1, color, 0, 1}};
        ASSERT_TRUE(gfx->BeginScene());
        gfx->GetDevice()->SetRenderState(render::RenderState::CullMode, render::Cull::None);
        ASSERT_TRUE(gfx->GetDevice()->DrawUserPrimitives(
            render::PrimitiveType::TriangleList, 2,
            render::kVertexPositionRhw | render::kVertexDiffuse | render::VertexTexSets(1), quad, sizeof(Vertex)));
        gfx->EndScene();
    }

    nD3D8Server* gfx = nullptr;
    bool loaded = false;
};

TEST_F(D3D8TextureTest, TexturesAreSharedByNameAndLoadersChosenByName) {
    // A name with ".ntx" is read as NTX even when it holds a picture that could be read.
    const std::string bmp = Write("wall.bmp", Bmp24(2, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}));
    const std::string fake = Write("wall.ntx", ReadFileBytes(bmp));
    nD3D8Texture* t = Load("textures/wall.ntx", fake);
    EXPECT_FALSE(loaded);
    ASSERT_FALSE(log.errors.empty());
    EXPECT_NE(log.errors[0].find("no NTX file"), std::string::npos) << log.errors[0];
    TakeErrors();
    EXPECT_STREQ(t->GetClass()->GetName(), "nd3d8texture");
    EXPECT_EQ(t, kernel->Lookup("/sys/share/tex/textures_wall_ntx"));
    nTexture* again = gfx->FindTexture("textures/wall.ntx");
    EXPECT_EQ(again, t);
    EXPECT_EQ(t->GetRefCount(), 2);
    again->Release();

    // A set alpha file goes to the pixel-and-alpha loader: 16-bit textures with alpha.
    const std::string alpha = Write("wall_a.bmp", Alpha8(2, 2, {0x10, 0x20, 0x30, 0x40}));
    nD3D8Texture* withAlpha = Load("wa", bmp, false, false, alpha.c_str());
    ASSERT_TRUE(loaded);
    EXPECT_EQ(withAlpha->GetDeviceTexture()->GetFormat(), Format::A4R4G4B4);
    EXPECT_EQ(Texel(withAlpha, 1, 1), (Rgba{240, 240, 240, 0x40}));

    // Everything else is a picture known by its content: the same picture without alpha,
    // 16 bits. An empty alpha name means none.
    nD3D8Texture* plain = Load("plain", bmp, false, false, "");
    ASSERT_TRUE(loaded);
    EXPECT_EQ(plain->GetDeviceTexture()->GetFormat(), Format::R5G6B5);
    EXPECT_EQ(Texel(plain, 0, 0), (Rgba{248, 0, 0, 255}));
    EXPECT_FALSE(TakeErrors());
}

TEST_F(D3D8TextureTest, NtxLoadsTheBlocksQualityAndMaximumSizeAsk) {
    // Block 0 is 16-bit; the 32-bit picture with its mip levels follows.
    NtxBytes f;
    f.Add(3, 2, 4, 4, 1, 0, 0x00).Add(1, 2, 4, 4, 1, 0, 0x40).Add(1, 2, 2, 2, 1, 1, 0x80).Add(1, 2, 1, 1, 1, 2, 0xC0);
    f.Layout();
    const std::string file = Write("a.ntx", f.Build());
    nD3D8Texture* hq = Load("hq.ntx", file, false, true);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(hq->GetDeviceTexture()->GetFormat(), Format::X8R8G8B8);
    EXPECT_EQ(hq->GetNumLevels(), 3);
    EXPECT_EQ(hq->GetBytesPerPixel(), 4);
    EXPECT_EQ(hq->GetMemSize(), uint32_t((16 + 4 + 1) * 4));
    EXPECT_EQ(Texel(hq, 3, 3), (Rgba{0x40, 0x40, 0x40, 255}));
    EXPECT_EQ(FirstByte(hq, 1), 0x80);
    EXPECT_EQ(FirstByte(hq, 2), 0xC0);

    nD3D8Texture* lq = Load("lq.ntx", file);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(lq->GetDeviceTexture()->GetFormat(), Format::R5G6B5);
    EXPECT_EQ(lq->GetNumLevels(), 1);

    // Only 16-bit alpha blocks: 32-bit quality falls back to them.
    NtxBytes a4;
    a4.Add(4, 2, 2, 2, 1, 0, 0xFF).Layout();
    nD3D8Texture* fallback = Load("a4.ntx", Write("a4.ntx", a4.Build()), false, true);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(fallback->GetDeviceTexture()->GetFormat(), Format::A4R4G4B4);

    // A square texture above the maximum size starts at the maximum; a wide one does not.
    gfx->SetMaxTextureSize(4);
    NtxBytes big;
    for (uint32_t mip = 0, size = 16; size >= 1; ++mip, size /= 2) big.Add(2, 2, size, size, 1, mip, uint8_t(mip + 1));
    big.Add(2, 2, 16, 8, 1, 0, 0x77);
    big.Layout();
    nD3D8Texture* square = Load("big.ntx", Write("big.ntx", big.Build()), false, true);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(square->GetWidth(), 4);
    EXPECT_EQ(square->GetNumLevels(), 3);
    EXPECT_EQ(FirstByte(square, 0), 3);
    EXPECT_EQ(FirstByte(square, 2), 5);
    NtxBytes wide;
    wide.Add(2, 2, 16, 8, 1, 0, 0x77).Layout();
    nD3D8Texture* w = Load("wide.ntx", Write("wide.ntx", wide.Build()), false, true);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(w->GetWidth(), 16);
    EXPECT_FALSE(TakeErrors());
}

TEST_F(D3D8TextureTest, BlankTexturesAndPerPixelAccess) {
    nTexture* t = gfx->NewTexture("blank");
    ASSERT_TRUE(t->Create(64, 32, true));
    EXPECT_EQ(t->GetNumLevels(), 1);
    EXPECT_EQ(t->GetMemSize(), 4096u);
    int pitch = 0;
    nPixelFormat* format = nullptr;
    auto* bits = static_cast<uint8_t*>(t->Lock(0, 0, 64, 32, &pitch, &format));
    ASSERT_NE(bits, nullptr);
    std::unique_ptr<nPixelFormat> owned(format);
    EXPECT_EQ(format->bpp, 16);
    EXPECT_EQ(format->amask, 0xF000u);
    EXPECT_EQ(pitch, 128);
    bool allSet = true;
    for (int i = 0; i < 64 * 32 * 2; ++i) allSet = allSet && bits[i] == 0xFF;
    EXPECT_TRUE(allSet);
    t->Unlock();

    // 16 bits without alpha; pixels are addressed inside the locked rectangle by its pitch.
    nTexture* rgb = gfx->NewTexture("rgb");
    ASSERT_TRUE(rgb->Create(8, 4, false));
    ASSERT_NE(rgb->Lock(2, 1, 4, 2, &pitch, nullptr), nullptr);
    EXPECT_EQ(pitch, 16);
    rgb->SetPixel(1, 1, 255, 255, 255, 0);
    rgb->SetPixel(0, 0, 0, 0, 0, 0);
    Rgba c{};
    rgb->GetPixel(1, 1, c.r, c.g, c.b, c.a);
    EXPECT_EQ(c, (Rgba{248, 252, 248, 255}));
    rgb->SetPixel(4, 0, 1, 2, 3, 4);
    EXPECT_TRUE(TakeErrors()) << "outside the locked rectangle";
    rgb->Unlock();
    auto* all = static_cast<uint8_t*>(rgb->Lock(0, 0, 8, 4, &pitch, nullptr));
    ASSERT_NE(all, nullptr);
    uint16_t v = 0;
    std::memcpy(&v, all + 2 * pitch + 3 * 2, 2);
    EXPECT_EQ(v, 0xFFFF);
    std::memcpy(&v, all + 1 * pitch + 2 * 2, 2);
    EXPECT_EQ(v, 0);
    rgb->Unlock();

    // The lock's format table: X channels are reported as alpha.
    nTexture* x8 = gfx->NewTexture("x8");
    x8->SetHighQuality(true);
    ASSERT_TRUE(x8->Create(2, 2, false));
    ASSERT_NE(x8->Lock(0, 0, 2, 2, nullptr, &format), nullptr);
    owned.reset(format);
    EXPECT_EQ(format->bpp, 32);
    EXPECT_EQ(format->amask, 0xFF000000u);
    x8->Unlock();
    owned.reset(nD3D8Texture::NewLockFormat(Format::A1R5G5B5));
    EXPECT_EQ(owned->rmask, 0x7C00u);
    EXPECT_EQ(owned->gmask, 0x03E0u);
    EXPECT_EQ(owned->bmask, 0x001Fu);
    EXPECT_EQ(owned->amask, 0x8000u);
    EXPECT_FALSE(TakeErrors());
}

TEST_F(D3D8TextureTest, ImageFilesLoadUprightWithMipMaps) {
    // 64 x 32, top row red, the rest blue: a bottom-up BMP must come out upright.
    std::vector<uint32_t> rgb(64 * 32, 0x0000FF);
    for (int x = 0; x < 64; ++x) rgb[size_t(x)] = 0xFF0000;
    nD3D8Texture* bmp = Load("bmp", Write("wide.bmp", Bmp24(64, 32, rgb)), true);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(bmp->GetNumLevels(), 7);
    EXPECT_EQ(bmp->GetWidth(), 64);
    EXPECT_EQ(bmp->GetMemSize(), uint32_t((2048 + 512 + 128 + 32 + 8 + 2 + 1) * 2));
    EXPECT_EQ(Texel(bmp, 5, 0), (Rgba{248, 0, 0, 255}));
    EXPECT_EQ(Texel(bmp, 5, 31), (Rgba{0, 0, 248, 255}));
    render::LevelDesc desc;
    ASSERT_TRUE(bmp->GetDeviceTexture()->GetLevelDesc(6, desc));
    EXPECT_EQ(desc.width, 1);
    EXPECT_EQ(desc.height, 1);

    const std::vector<uint32_t> quad = {0x80FF0000, 0xFF00FF00, 0xFF0000FF, 0x00FFFFFF};
    nD3D8Texture* png = Load("png", Write("a.png", imagebytes::Png(2, 2, quad, true)), false, true);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(png->GetDeviceTexture()->GetFormat(), Format::A8R8G8B8);
    EXPECT_EQ(Texel(png, 0, 0), (Rgba{255, 0, 0, 0x80}));
    EXPECT_EQ(Texel(png, 1, 1), (Rgba{255, 255, 255, 0}));
    png = Load("png16", Write("a.png", imagebytes::Png(2, 2, quad, true)));
    ASSERT_TRUE(loaded);
    EXPECT_EQ(Texel(png, 0, 0), (Rgba{240, 0, 0, 0x80}));

    // The content decides, not the name; formats other than PNG, JPEG and BMP are refused.
    png = Load("named bmp", Write("b.bmp", imagebytes::Png(2, 2, quad, true)), false, true);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(Texel(png, 0, 0), (Rgba{255, 0, 0, 0x80}));
    EXPECT_FALSE(TakeErrors());
    nD3D8Texture* tga = Load("tga", Write("a.tga", imagebytes::Tga24(2, 2, quad)), false, true);
    EXPECT_FALSE(loaded);
    EXPECT_EQ(tga->GetDeviceTexture(), nullptr);
    ASSERT_EQ(log.errors.size(), 1u);
    EXPECT_NE(log.errors[0].find("not a PNG, JPEG or BMP picture"), std::string::npos) << log.errors[0];
    TakeErrors();
}

// The hostile files of the texture fuzzer's seeds, named as the issue found them, load
// through the texture path and are refused with a log line: DevIL crashed on them, took
// gigabytes or never returned.
TEST_F(D3D8TextureTest, HostilePictureFilesAreRefusedAndLogged) {
    const char* const extensions[] = {".png", ".jpg", ".jpeg", ".bmp", ".ntx", ".tga", ".dds", ".psd", ".wal", ".cut"};
    const char* src = std::getenv("BW_SOURCE_DIR");
    ASSERT_NE(src, nullptr);
    int seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(src) + "/tests/fuzz/corpus/texture")) {
        const std::string name = entry.path().filename().string();
        if (name.find("_bytes") == std::string::npos && name.find("header_only") == std::string::npos) continue;
        SCOPED_TRACE(name);
        std::vector<uint8_t> bytes = ReadFileBytes(entry.path().string());
        ASSERT_GT(bytes.size(), 1u);
        // The fuzzer's first byte names the extension.
        const std::string file = Write((name + extensions[bytes[0] % 10]).c_str(), {bytes.begin() + 1, bytes.end()});
        for (bool mips : {false, true}) {
            nD3D8Texture* t = Load(name.c_str(), file, mips, true);
            EXPECT_FALSE(loaded);
            EXPECT_EQ(t->GetDeviceTexture(), nullptr);
            EXPECT_TRUE(TakeErrors());
        }
        ++seen;
    }
    EXPECT_EQ(seen, 8);
}

TEST_F(D3D8TextureTest, PixelImageWithAlphaImageGivesItsTexelsOnEveryLevel) {
    const std::string bmp = Write("p.bmp", Bmp24(4, 2, {0x102030, 0x405060, 0x708090, 0xA0B0C0,
                                                        0x010203, 0x040506, 0x070809, 0x0A0B0C}));
    const std::string alpha = Write("p_a.bmp", Alpha8(4, 2, {1, 2, 3, 4, 5, 6, 7, 8}));
    nD3D8Texture* t = Load("pa", bmp, true, true, alpha.c_str());
    ASSERT_TRUE(loaded);
    EXPECT_EQ(t->GetDeviceTexture()->GetFormat(), Format::A8R8G8B8);
    EXPECT_EQ(Texel(t, 0, 0), (Rgba{0x10, 0x20, 0x30, 1}));
    EXPECT_EQ(Texel(t, 3, 0), (Rgba{0xA0, 0xB0, 0xC0, 4}));
    EXPECT_EQ(Texel(t, 2, 1), (Rgba{0x07, 0x08, 0x09, 7}));
    // The device's own level count (4 x 2 has three levels), each scaled from the image.
    EXPECT_EQ(t->GetNumLevels(), 3);
    EXPECT_EQ(t->GetMemSize(), uint32_t((8 + 2 + 1) * 4));
    // The 1 x 1 level takes the texel nearest the image's centre: (2, 1).
    EXPECT_EQ(FirstByte(t, 2), 0x09);
    EXPECT_FALSE(TakeErrors());
}

TEST_F(D3D8TextureTest, CheckerQuadShowsEachQuadrantUprightAndUnloadClearsStages) {
    nTexture* t = gfx->NewTexture("checker");
    t->SetHighQuality(true);
    ASSERT_TRUE(t->Create(2, 2, false));
    ASSERT_NE(t->Lock(0, 0, 2, 2, nullptr, nullptr), nullptr);
    t->SetPixel(0, 0, 255, 0, 0, 255);
    t->SetPixel(1, 0, 0, 255, 0, 255);
    t->SetPixel(0, 1, 0, 0, 255, 255);
    t->SetPixel(1, 1, 255, 255, 255, 255);
    t->Unlock();
    gfx->SetTexture(0, t);
    // A one-level texture still samples under a mip filter.
    gfx->GetDevice()->SetTextureStageState(0, render::StageState::MipFilter, render::TextureFilter::Linear);
    DrawScreenQuad(0xFFFFFFFF);
    EXPECT_TRUE(ColorNear(Presented(16, 16), 0xFFFF0000, 8));
    EXPECT_TRUE(ColorNear(Presented(48, 16), 0xFF00FF00, 8));
    EXPECT_TRUE(ColorNear(Presented(16, 48), 0xFF0000FF, 8));
    EXPECT_TRUE(ColorNear(Presented(48, 48), 0xFFFFFFFF, 8));

    // A lock of one texel changes only that texel; texture times vertex colour.
    ASSERT_NE(t->Lock(1, 1, 1, 1, nullptr, nullptr), nullptr);
    t->SetPixel(0, 0, 0, 0, 0, 255);
    t->Unlock();
    DrawScreenQuad(0xFF808080);
    EXPECT_TRUE(ColorNear(Presented(48, 48), 0xFF000000, 8));
    EXPECT_TRUE(ColorNear(Presented(16, 16), 0xFF800000, 8));

    t->Unload();
    EXPECT_EQ(gfx->GetStageTexture(0), nullptr);
    EXPECT_EQ(gfx->GetDevice()->GetTexture(0), nullptr);
    DrawScreenQuad(0xFF808080);
    EXPECT_TRUE(ColorNear(Presented(48, 48), 0xFF808080, 8));
    EXPECT_FALSE(TakeErrors());
}

TEST_F(D3D8TextureTest, FilesAreReadThroughTheFileServerFromArchivesToo) {
    kernel->ReplaceFileServer("nnpkfileserver");
    auto* npk = kernel->GetFileServer<nNpkFileServer>();
    ASSERT_TRUE(npk->SetAssign("pics", (Path("") + "/").c_str()));
    const std::vector<uint8_t> png = imagebytes::Png(2, 1, {0xFF00FF00, 0xFF0000FF}, false);
    NtxBytes ntx;
    ntx.Add(2, 2, 1, 1, 1, 0, 0x5A).Layout();
    const std::vector<uint8_t> ntxBytes = ntx.Build();
    nNpkWriter w;
    w.BeginDir("pics.npk");
    w.AddFile("a.png", png.data(), png.size());
    w.AddFile("a.ntx", ntxBytes.data(), ntxBytes.size());
    w.EndDir();
    ASSERT_TRUE(w.Save(Path("pics.npk"))) << w.GetError();
    ASSERT_EQ(npk->ParseDirectory("pics:"), 1);

    nD3D8Texture* image = Load("image", "pics:pics.npk/a.png", false, true);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(Texel(image, 1, 0), (Rgba{0, 0, 255, 255}));
    nD3D8Texture* packed = Load("packed.ntx", "pics:pics.npk/a.ntx", false, true);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(Texel(packed, 0, 0), (Rgba{0x5A, 0x5A, 0x5A, 0x5A}));
    EXPECT_FALSE(TakeErrors());
}

// Stages naming one file in any spelling that the file layer finds as that file (letter
// case, "./", a full path against an assign) share one texture, named after the first
// spelling; another file, or the same file with an alpha file, is another texture.
TEST_F(D3D8TextureTest, EverySpellingOfOneFileSharesOneTexture) {
    ASSERT_TRUE(kernel->GetFileServer()->SetAssign("pics", (Path("") + "/").c_str()));
    const std::string seabed = Write("Seabed.bmp", Bmp24(1, 1, {0x102030}));
    Write("rock.bmp", Bmp24(1, 1, {0x405060}));
    Write("mask.bmp", Alpha8(1, 1, {0x80}));
    const std::string shouted = Respelled(seabed);
    const char* spellings[] = {"pics:Seabed.bmp", "pics:SEABED.bmp", "pics:./SeaBed.bmp", shouted.c_str(),
                               seabed.c_str()};
    nTexArray stages[5];
    for (int i = 0; i < 5; i++) ASSERT_TRUE(stages[i].Load(0, gfx, spellings[i], nullptr, false, false)) << spellings[i];
    nTexture* t = stages[0].GetTexture(0);
    for (auto& s : stages) EXPECT_EQ(s.GetTexture(0), t);
    EXPECT_EQ(t->GetRefCount(), 5);
    EXPECT_EQ(kernel->Lookup("/sys/share/tex/pics_Seabed_bmp"), t);

    nTexArray rock, masked, maskedAgain;
    ASSERT_TRUE(rock.Load(0, gfx, "pics:rock.bmp", nullptr, false, false));
    EXPECT_NE(rock.GetTexture(0), t);
    ASSERT_TRUE(masked.Load(0, gfx, "pics:seabed.bmp", "pics:mask.bmp", false, false));
    ASSERT_TRUE(maskedAgain.Load(0, gfx, "pics:SEABED.bmp", "pics:MASK.bmp", false, false));
    EXPECT_NE(masked.GetTexture(0), t);
    EXPECT_EQ(masked.GetTexture(0), maskedAgain.GetTexture(0));
    EXPECT_FALSE(TakeErrors());

    // Entries of an archive are files too.
    kernel->ReplaceFileServer("nnpkfileserver");
    auto* npk = kernel->GetFileServer<nNpkFileServer>();
    ASSERT_TRUE(npk->SetAssign("pics", (Path("") + "/").c_str()));
    const std::vector<uint8_t> png = imagebytes::Png(1, 1, {0xFF00FF00}, false);
    nNpkWriter w;
    w.BeginDir("pack.npk");
    w.AddFile("Kelp.png", png.data(), png.size());
    w.AddFile("other.png", png.data(), png.size());
    w.EndDir();
    ASSERT_TRUE(w.Save(Path("pack.npk"))) << w.GetError();
    ASSERT_EQ(npk->ParseDirectory("pics:"), 1);
    nTexArray kelp, kelpAgain, other;
    ASSERT_TRUE(kelp.Load(0, gfx, "pics:pack.npk/Kelp.png", nullptr, false, false));
    ASSERT_TRUE(kelpAgain.Load(0, gfx, "pics:PACK.npk/./kelp.png", nullptr, false, false));
    ASSERT_TRUE(other.Load(0, gfx, "pics:pack.npk/other.png", nullptr, false, false));
    EXPECT_EQ(kelp.GetTexture(0), kelpAgain.GetTexture(0));
    EXPECT_NE(kelp.GetTexture(0), other.GetTexture(0));
    EXPECT_FALSE(TakeErrors());
}

TEST_F(D3D8TextureTest, CursorTableLoadsItsImagesAsTextures) {
    const std::string bmp = Write("cursor.bmp", Bmp24(2, 2, {0xFFFFFF, 0, 0, 0xFFFFFF}));
    gfx->BeginCursors(1);
    gfx->SetCursor(0, bmp.c_str(), 1, 1);
    gfx->EndCursors();
    nTexture* c = gfx->GetCursorEntry(0).texture.GetUnsafe();
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(c->IsA("nd3d8texture"));
    EXPECT_EQ(c->GetWidth(), 2);
    EXPECT_EQ(c->GetNumLevels(), 1);
    TakeErrors();  // drivers without pointer images say so and keep the arrow
    EXPECT_NE(gfx->IsSystemCursorShown(), gfx->IsDeviceCursorShown());
}

TEST_F(D3D8TextureTest, BrokenFilesAreRefusedAndLeaveTheTextureUnloaded) {
    struct Case {
        const char* what;
        std::string file;
        std::string alpha;
        const char* text;  // part of a logged error, or null
    };
    const std::string bmp = Write("ok.bmp", Bmp24(2, 2, {0, 0, 0, 0}));
    NtxBytes lying;
    lying.Add(1, 2, 4, 4, 1, 0).Layout();
    lying.blocks[0].size += 1;
    NtxBytes cube;
    cube.Add(1, 4, 4, 4, 6, 0).Layout();
    const std::vector<Case> cases = {
        {"missing image", Path("none.png"), "", nullptr},
        {"broken png", Write("bad.png", {0x89, 'P', 'N', 'G', 1, 2, 3}), "", nullptr},
        {"missing pixel image", Path("none.bmp"), Write("a.bmp", Alpha8(2, 2, {1, 2, 3, 4})),
         "nTexture: loading pixel channel failed"},
        {"missing alpha image", bmp, Path("none_a.bmp"), "nTexture: alpha channel defined, but loading failed"},
        {"alpha of another size", bmp, Write("b.bmp", Alpha8(4, 2, {1, 2, 3, 4, 5, 6, 7, 8})),
         "nTexture: alpha channel not 8bpp or wrong size"},
        {"alpha not 8 bits", bmp, bmp, "nTexture: alpha channel not 8bpp or wrong size"},
        {"lying ntx", Write("l.ntx", lying.Build()), "", nullptr},
        {"ntx without a 2D block", Write("c.ntx", cube.Build()), "", nullptr},
    };
    for (const Case& c : cases) {
        nD3D8Texture* t = Load(c.what, c.file, true, false, c.alpha.c_str());
        EXPECT_FALSE(loaded) << c.what;
        ASSERT_FALSE(log.errors.empty()) << c.what;
        bool named = c.text == nullptr;
        for (const std::string& e : log.errors) named = named || e.find(c.text) != std::string::npos;
        EXPECT_TRUE(named) << c.what << ": " << log.errors[0];
        TakeErrors();
        EXPECT_EQ(t->GetDeviceTexture(), nullptr) << c.what;
        EXPECT_EQ(t->GetNumLevels(), 0) << c.what;
        EXPECT_EQ(t->Lock(0, 0, 1, 1, nullptr, nullptr), nullptr) << c.what;
        TakeErrors();
    }

    // Without a display nothing loads; a texture that outlives the device is safe to free.
    nTexture* kept = static_cast<nTexture*>(kernel->New("nd3d8texture", "/usr/kept"));
    ASSERT_TRUE(kept->Create(4, 4, false));
    gfx->CloseDisplay();
    nD3D8Texture* late = Load("late", bmp);
    EXPECT_FALSE(loaded);
    EXPECT_TRUE(TakeErrors());
    EXPECT_EQ(late->GetDeviceTexture(), nullptr);
    kept->Release();
}

}  // namespace
