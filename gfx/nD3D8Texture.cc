#include "gfx/nD3D8Texture.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "gfx/nD3D8Server.h"
#include "gfx/nNtxFile.h"
#include "gfx/nPixelFormat.h"
#include "kernel/nFile.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "platform/image/Picture.h"
#include "platform/render/Device.h"
#include "platform/render/Texture.h"
#include "platform/render/TextureLoading.h"

const nClassInfo nD3D8Texture::classInfo = nClassInfo::Make<nD3D8Texture>("nd3d8texture", "ntexture");

namespace {

using render::Format;

// Direct3D 8 results named in the texture's messages.
constexpr uint32_t InvalidCall = 0x8876086C;
constexpr int ManagedPool = 1;

Format ntxSourceFormat(uint32_t format) {
    switch (format) {
    case 1: return Format::R8G8B8;
    case 2: return Format::A8R8G8B8;
    case 3: return Format::R5G6B5;
    default: return Format::A4R4G4B4;
    }
}

// 24-bit NTX pixels get a 32-bit device texture.
Format ntxDeviceFormat(uint32_t format) { return format == 1 ? Format::X8R8G8B8 : ntxSourceFormat(format); }

}  // namespace

nD3D8Texture::nD3D8Texture()
    : refD3D8("/sys/servers/gfx"), lockBits(nullptr), lockPitch(0), lockWidth(0), lockHeight(0),
      lockFormat(Format::Unknown), appliedLod(0) {}

nD3D8Texture::~nD3D8Texture() { Unload(); }

void nD3D8Texture::takeTexture(std::unique_ptr<render::Texture> made) {
    texture = std::move(made);
    render::LevelDesc desc;
    texture->GetLevelDesc(0, desc);
    numLevels = uint16_t(texture->GetLevelCount());
    width = uint16_t(desc.width);
    height = uint16_t(desc.height);
    bytesPerPixel = uint16_t(render::Texture::BytesPerPixel(desc.format));
    appliedLod = 0;
}

// ---- loading

bool nD3D8Texture::Load() {
    Unload();
    render::Device* device = refD3D8.Get()->GetDevice();
    if (!device) {
        n_error("nD3D8Texture: '%s' cannot load '%s' without an open display\n", GetName(), fileName.Get());
        return false;
    }
    bool ok;
    if (!alphaFileName.IsEmpty()) ok = loadPixelAndAlpha(device);
    else if (std::strstr(fileName.Get(), ".ntx")) ok = loadNtx(device, refD3D8.Get()->GetMaxTextureSize());
    else ok = loadImage(device);
    if (!ok) Unload();
    return ok;
}

void nD3D8Texture::Unload() {
    if (lockBits) Unlock();
    // Only a texture with a device texture can be on a stage.
    if (texture)
        if (nD3D8Server* server = refD3D8.Resolve()) server->ClearTexture(this);
    texture.reset();
    numLevels = width = height = bytesPerPixel = 0;
    memSize = 0;
}

bool nD3D8Texture::loadNtx(render::Device* device, int maxSize) {
    nNtxFile ntx(nKernelServer::ks);
    if (!ntx.OpenRead(fileName.Get())) return false;
    const int top = ntx.FindTextureBlock(highQuality != 0);
    if (top < 0) {
        n_error("nD3D8Texture: '%s' holds no block a texture can load\n", fileName.Get());
        return false;
    }
    const nNtxFile::Block topBlock = *ntx.GetBlock(top);
    const uint32_t format = topBlock.format;
    uint32_t w = topBlock.width, h = topBlock.height;
    // Only square textures are held to the maximum size; larger levels are skipped.
    if (w == h && maxSize > 0 && w > uint32_t(maxSize)) w = h = uint32_t(maxSize);
    int usable = 0;
    for (int i = 0; i < ntx.GetNumBlocks(); ++i) {
        const nNtxFile::Block* b = ntx.GetBlock(i);
        if (b->format == format && b->type == nNtxFile::TYPE_2D && b->width <= w && b->height <= h) ++usable;
    }
    if (usable == 0) {
        n_error("nD3D8Texture: '%s' has no level of at most %u x %u\n", fileName.Get(), w, h);
        return false;
    }
    std::unique_ptr<render::Texture> made = device->CreateTexture(int(w), int(h), usable, ntxDeviceFormat(format));
    if (!made) {
        n_error("nD3D8Texture: no %u x %u texture for '%s'\n", w, h, fileName.Get());
        return false;
    }
    takeTexture(std::move(made));
    const Format source = ntxSourceFormat(format);
    std::vector<uint8_t> buffer;
    int level = 0;
    for (uint32_t mip = 0; level < numLevels && mip < 32; ++mip) {
        const int index = ntx.FindBlock(format, nNtxFile::TYPE_2D, mip);
        if (index < 0) {
            // A missing level stays unfilled; the next level takes the next block.
            ++level;
            continue;
        }
        const nNtxFile::Block b = *ntx.GetBlock(index);
        if (b.width > w || b.height > h) continue;
        ntx.SetCurrentBlock(index);
        render::LevelDesc desc;
        texture->GetLevelDesc(level, desc);
        const uint32_t pitch = ntx.GetBytesPerRow();
        bool ok;
        if (source == desc.format && b.width == uint32_t(desc.width) && b.height == uint32_t(desc.height) &&
            b.dataSize == desc.size) {
            // Same layout: the block goes straight into the level.
            render::LockedRect locked;
            ok = texture->LockRect(level, nullptr, locked);
            ok = ok && ntx.ReadBlock(locked.bits, desc.size) == b.dataSize;
            ok = texture->UnlockRect(level) && ok;
        } else {
            if (buffer.size() < b.dataSize) buffer.resize(std::max<size_t>(b.dataSize, topBlock.dataSize));
            ok = ntx.ReadBlock(buffer.data(), buffer.size()) == b.dataSize &&
                 render::LoadLevelFromMemory(*texture, level, buffer.data(), source, int(pitch),
                                             render::Rect{0, 0, int(b.width), int(b.height)}, render::LevelFilter::None);
        }
        if (!ok) {
            n_error("nD3D8Texture: level %d of '%s' cannot be loaded\n", level, fileName.Get());
            return false;
        }
        memSize += uint32_t(desc.width) * uint32_t(desc.height) * bytesPerPixel;
        ++level;
    }
    return true;
}

bool nD3D8Texture::ReadPictureFile(nKernelServer* ks, const char* name, std::string& bytes, std::string& error) {
    nFileServer2* fs = ks ? ks->GetFileServer() : nullptr;
    if (!fs || !name) {
        error = "cannot be read";
        return false;
    }
    std::unique_ptr<nFile> file(fs->NewFileObject());
    if (!file->Open(name, "rb")) {
        error = "cannot be read";
        return false;
    }
    const size_t size = file->GetSize();
    bool ok = size <= image::MaxFileBytes;
    if (!ok) error = "file of " + std::to_string(size) + " bytes is larger than " + std::to_string(image::MaxFileBytes);
    if (ok) {
        bytes.assign(size, '\0');
        ok = size == 0 || file->Read(bytes.data(), size) == size;
        if (!ok) error = "cannot be read";
    }
    file->Close();
    return ok;
}

namespace {

// The next mip-map level of straight-alpha words: each texel the mean of the (up to)
// four it covers.
void Halve(const std::vector<uint32_t>& in, int w, int h, std::vector<uint32_t>& out, int& ow, int& oh) {
    ow = std::max(1, w / 2);
    oh = std::max(1, h / 2);
    out.assign(size_t(ow) * size_t(oh), 0);
    for (int y = 0; y < oh; ++y) {
        for (int x = 0; x < ow; ++x) {
            const int x0 = std::min(2 * x, w - 1), x1 = std::min(2 * x + 1, w - 1);
            const int y0 = std::min(2 * y, h - 1), y1 = std::min(2 * y + 1, h - 1);
            const uint32_t p[4] = {in[size_t(y0) * w + x0], in[size_t(y0) * w + x1], in[size_t(y1) * w + x0],
                                   in[size_t(y1) * w + x1]};
            uint32_t word = 0;
            for (int c = 0; c < 32; c += 8) {
                const uint32_t sum = ((p[0] >> c) & 0xFF) + ((p[1] >> c) & 0xFF) + ((p[2] >> c) & 0xFF) + ((p[3] >> c) & 0xFF);
                word |= ((sum + 2) / 4) << c;
            }
            out[size_t(y) * ow + x] = word;
        }
    }
}

}  // namespace

bool nD3D8Texture::loadImage(render::Device* device) {
    std::string bytes, error;
    image::Picture picture;
    if (!ReadPictureFile(nKernelServer::ks, fileName.Get(), bytes, error) || !image::Decode(bytes.data(), bytes.size(), picture, error)) {
        n_error("nD3D8Texture: cannot load the image '%s': %s\n", fileName.Get(), error.c_str());
        return false;
    }
    bytes = std::string();
    const bool alpha = picture.alpha;
    const Format target = alpha ? (highQuality ? Format::A8R8G8B8 : Format::A4R4G4B4)
                                : (highQuality ? Format::R8G8B8 : Format::R5G6B5);
    std::unique_ptr<render::Texture> made =
        device->CreateTexture(picture.width, picture.height, genMipMaps ? 0 : 1, target);
    if (!made) {
        n_error("nD3D8Texture: no texture for the image '%s'\n", fileName.Get());
        return false;
    }
    takeTexture(std::move(made));
    std::vector<uint32_t> level = std::move(picture.pixels), next;
    int w = picture.width, h = picture.height;
    for (int i = 0; i < numLevels; ++i) {
        if (i > 0) {
            Halve(level, w, h, next, w, h);
            level.swap(next);
        }
        // The words are the bytes B, G, R, A in memory.
        if (!render::LoadLevelFromMemory(*texture, i, level.data(), Format::A8R8G8B8, w * 4,
                                         render::Rect{0, 0, w, h}, render::LevelFilter::None))
            return false;
        memSize += uint32_t(w) * uint32_t(h) * bytesPerPixel;
    }
    return true;
}

bool nD3D8Texture::loadPixelAndAlpha(render::Device* device) {
    if (!BeginLoad(alphaFileName.Get())) return false;
    const int w = GetImageWidth(), h = GetImageHeight();
    const bool bottomUp = IsImageBottomUp();
    std::vector<uint8_t> pixels(size_t(w) * size_t(h) * 4);
    int rows = 0;
    for (int row; (row = ReadLine()) >= 0; ++rows) {
        // Bottom-up files come bottom row first; the texture's first row is the top.
        uint8_t* out = &pixels[size_t(bottomUp ? h - 1 - row : row) * size_t(w) * 4];
        const uint8_t* in = GetLineBuffer();
        for (int x = 0; x < w; ++x) {
            // R, G, B, A becomes B, G, R, A.
            out[4 * x + 0] = in[4 * x + 2];
            out[4 * x + 1] = in[4 * x + 1];
            out[4 * x + 2] = in[4 * x + 0];
            out[4 * x + 3] = in[4 * x + 3];
        }
    }
    EndLoad();
    if (rows != h) {
        n_error("nD3D8Texture: '%s' gave %d of its %d lines\n", fileName.Get(), rows, h);
        return false;
    }
    std::unique_ptr<render::Texture> made =
        device->CreateTexture(w, h, genMipMaps ? 0 : 1, highQuality ? Format::A8R8G8B8 : Format::A4R4G4B4);
    if (!made) {
        n_error("nD3D8Texture: no texture for '%s'\n", fileName.Get());
        return false;
    }
    takeTexture(std::move(made));
    for (int level = 0; level < numLevels; ++level) {
        // Each level is scaled from the whole image.
        if (!render::LoadLevelFromMemory(*texture, level, pixels.data(), Format::A8R8G8B8, w * 4,
                                         render::Rect{0, 0, w, h}, render::LevelFilter::Point))
            return false;
        render::LevelDesc desc;
        texture->GetLevelDesc(level, desc);
        memSize += uint32_t(desc.width) * uint32_t(desc.height) * bytesPerPixel;
    }
    return true;
}

// ---- blank textures

bool nD3D8Texture::Create(int w, int h, bool withAlpha) {
    Unload();
    nD3D8Server* server = refD3D8.Get();
    const Format format = withAlpha ? (highQuality ? Format::A8R8G8B8 : Format::A4R4G4B4)
                                    : (highQuality ? Format::X8R8G8B8 : Format::R5G6B5);
    const int levels = genMipMaps ? 0 : 1;
    render::Device* device = server->GetDevice();
    std::unique_ptr<render::Texture> made = device ? device->CreateTexture(w, h, levels, format) : nullptr;
    if (!made) {
        const void* target = &texture;
        nKernelServer::FatalError(
            "Achtung ein schwerer Fehler ist aufgetreten.\nBitte stellen sie sicher das sie den neusten "
            "Grafikkartentreiber installiert haben!\n\nnD3D8Texture [%s]: CreateTexture(%i, %i, %i, 0, %i, %i, %p) "
            "failed with '%s'\n",
            GetName(), w, h, levels, int(format), ManagedPool, target, nD3D8Server::GetD3DErrorName(InvalidCall));
    }
    takeTexture(std::move(made));
    for (int level = 0; level < numLevels; ++level) {
        render::LockedRect locked;
        render::LevelDesc desc;
        texture->GetLevelDesc(level, desc);
        if (texture->LockRect(level, nullptr, locked)) {
            std::memset(locked.bits, 0xFF, desc.size);
            texture->UnlockRect(level);
        }
    }
    memSize = uint32_t(numLevels) * uint32_t(w) * uint32_t(h) * bytesPerPixel;
    return true;
}

// ---- per-pixel access

void* nD3D8Texture::Lock(int x, int y, int w, int h, int* pitch, nPixelFormat** format) {
    if (format) *format = nullptr;
    if (!texture || lockBits) {
        n_error("nD3D8Texture: '%s' cannot be locked (%s)\n", GetName(), texture ? "locked already" : "not loaded");
        return nullptr;
    }
    const render::Rect rect{x, y, x + w, y + h};
    render::LockedRect locked;
    if (w < 1 || h < 1 || !texture->LockRect(0, &rect, locked)) {
        n_error("nD3D8Texture: '%s' cannot lock %d,%d %d x %d\n", GetName(), x, y, w, h);
        return nullptr;
    }
    lockBits = static_cast<uint8_t*>(locked.bits);
    lockPitch = locked.pitch;
    lockWidth = w;
    lockHeight = h;
    lockFormat = locked.format;
    if (pitch) *pitch = locked.pitch;
    if (format) *format = NewLockFormat(lockFormat);
    return lockBits;
}

// Formats with an X channel report it as alpha, as the surfaces describe themselves.
nPixelFormat* nD3D8Texture::NewLockFormat(render::Format format) {
    switch (format) {
    case Format::R8G8B8: return new nPixelFormat(24, 0xFF0000, 0xFF00, 0xFF, 0);
    case Format::A8R8G8B8:
    case Format::X8R8G8B8: return new nPixelFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    case Format::R5G6B5: return new nPixelFormat(16, 0xF800, 0x07E0, 0x001F, 0);
    case Format::X1R5G5B5:
    case Format::A1R5G5B5: return new nPixelFormat(16, 0x7C00, 0x03E0, 0x001F, 0x8000);
    case Format::A4R4G4B4:
    case Format::X4R4G4B4: return new nPixelFormat(16, 0x0F00, 0x00F0, 0x000F, 0xF000);
    default: nKernelServer::FatalError("nD3D8Server::LockBackBuffer():Error on surface format!");
    }
}

void nD3D8Texture::Unlock() {
    if (!lockBits) return;
    texture->UnlockRect(0);
    lockBits = nullptr;
    lockFormat = Format::Unknown;
}

uint8_t* nD3D8Texture::pixelAddress(int x, int y) {
    if (!lockBits || x < 0 || y < 0 || x >= lockWidth || y >= lockHeight) {
        n_error("nD3D8Texture: pixel %d,%d of '%s' lies outside the locked rectangle\n", x, y, GetName());
        return nullptr;
    }
    return lockBits + size_t(y) * size_t(lockPitch) + size_t(x) * size_t(render::Texture::BytesPerPixel(lockFormat));
}

void nD3D8Texture::SetPixel(int x, int y, int r, int g, int b, int a) {
    uint8_t* p = pixelAddress(x, y);
    if (!p) return;
    const uint32_t R = uint32_t(r) & 0xFF, G = uint32_t(g) & 0xFF, B = uint32_t(b) & 0xFF, A = uint32_t(a) & 0xFF;
    uint32_t v = 0;
    switch (lockFormat) {
    case Format::A8R8G8B8:
    case Format::X8R8G8B8:
        v = A << 24 | R << 16 | G << 8 | B;
        std::memcpy(p, &v, 4);
        return;
    case Format::R8G8B8:
        p[0] = uint8_t(B);
        p[1] = uint8_t(G);
        p[2] = uint8_t(R);
        return;
    case Format::R5G6B5: v = (R & 0xF8) << 8 | (G & 0xFC) << 3 | B >> 3; break;
    case Format::A4R4G4B4:
    case Format::X4R4G4B4: v = (A & 0xF0) << 8 | (R & 0xF0) << 4 | (G & 0xF0) | B >> 4; break;
    case Format::X1R5G5B5:
    case Format::A1R5G5B5: v = (A & 0x80) << 8 | (R & 0xF8) << 7 | (G & 0xF8) << 2 | B >> 3; break;
    default: nKernelServer::FatalError("Error on texture format!");
    }
    const uint16_t v16 = uint16_t(v);
    std::memcpy(p, &v16, 2);
}

void nD3D8Texture::GetPixel(int x, int y, int& r, int& g, int& b, int& a) {
    r = g = b = a = 0;
    const uint8_t* p = pixelAddress(x, y);
    if (!p) return;
    uint32_t v = 0;
    switch (lockFormat) {
    case Format::A8R8G8B8:
    case Format::X8R8G8B8:
        std::memcpy(&v, p, 4);
        r = int(v >> 16 & 0xFF), g = int(v >> 8 & 0xFF), b = int(v & 0xFF);
        a = lockFormat == Format::A8R8G8B8 ? int(v >> 24) : 255;
        return;
    case Format::R8G8B8: r = p[2], g = p[1], b = p[0], a = 255; return;
    default: break;
    }
    uint16_t v16;
    std::memcpy(&v16, p, 2);
    v = v16;
    switch (lockFormat) {
    case Format::R5G6B5: r = int(v >> 8 & 0xF8), g = int(v >> 3 & 0xFC), b = int(v << 3 & 0xF8), a = 255; break;
    case Format::A4R4G4B4:
    case Format::X4R4G4B4:
        r = int(v >> 4 & 0xF0), g = int(v & 0xF0), b = int(v << 4 & 0xF0);
        a = lockFormat == Format::A4R4G4B4 ? int(v >> 8 & 0xF0) : 255;
        break;
    case Format::X1R5G5B5:
    case Format::A1R5G5B5:
        r = int(v >> 7 & 0xF8), g = int(v >> 2 & 0xF8), b = int(v << 3 & 0xF8);
        a = lockFormat == Format::A1R5G5B5 ? int(v >> 8 & 0x80) : 255;
        break;
    default: nKernelServer::FatalError("Error on texture format!");
    }
}

void nD3D8Texture::ApplyLOD() {
    if (texture && lod != appliedLod) {
        texture->SetLOD(lod);
        appliedLod = lod;
    }
}
