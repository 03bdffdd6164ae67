#include "logic/nLogicCSprite.h"

#include <algorithm>
#include <cstring>

#include "gfx/nD3D8Texture.h"
#include "gfx/nGfxServer.h"
#include "gfx/nNtxFile.h"
#include "gfx/nTexture.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nScriptServer.h"
#include "platform/flash/Canvas.h"
#include "platform/flash/ImageCache.h"

static const nCmdDef<nLogicCSprite> cmds[] = {
    Bind<&nLogicCSprite::Preload>("v_preload_v", "CSPR"),
    Bind<&nLogicCSprite::ReleaseQuad>("v_unload_v", "CSUL"),
};
const nClassInfo nLogicCSprite::classInfo = nClassInfo::Make<nLogicCSprite>("nlogiccsprite", "nlogicsprite", cmds);

namespace {

// The sprite's size in whole pixels; 0 for sizes outside 1 .. MaxSide (and NaN).
int PictureSide(float v) {
    if (!(v >= 1.0f) || v >= float(nLogicCSprite::MaxSide + 1)) return 0;
    return int(v);
}

// One NTX pixel of a block format as a straight-alpha word 0xAARRGGBB.
uint32_t NtxWord(const uint8_t* p, uint32_t format) {
    switch (format) {
    case 1: return 0xFF000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    case 2: return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    case 3: {
        const uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8;
        const uint32_t r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
        return 0xFF000000u | (r * 255 / 31) << 16 | (g * 255 / 63) << 8 | (b * 255 / 31);
    }
    default: {
        const uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8;
        return ((v >> 12) & 15) * 17 << 24 | ((v >> 8) & 15) * 17 << 16 | ((v >> 4) & 15) * 17 << 8 | (v & 15) * 17;
    }
    }
}

bool ReadNtx(nKernelServer* ks, const char* file, std::vector<uint32_t>& words, int w, int h, bool bits32,
             std::string& error) {
    nNtxFile ntx(ks);
    if (!ntx.OpenRead(file)) {
        error = "not a readable NTX file";
        return false;
    }
    const int index = ntx.FindTextureBlock(bits32);
    bool ok = index >= 0;
    if (!ok) error = "no flat texture block";
    if (ok) {
        ntx.SetCurrentBlock(index);
        // A block of another size would run past the picture's buffer.
        ok = ntx.GetWidth() == uint32_t(w) && ntx.GetHeight() == uint32_t(h);
        if (!ok) error = "texture block of " + std::to_string(ntx.GetWidth()) + " x " + std::to_string(ntx.GetHeight()) +
                         ", the sprite is " + std::to_string(w) + " x " + std::to_string(h);
    }
    std::vector<uint8_t> data;
    if (ok) {
        data.resize(ntx.GetDataSize());
        ok = !data.empty() && ntx.ReadBlock(data.data(), data.size()) == data.size();
        if (!ok) error = "texture block does not read";
    }
    if (ok) {
        const uint32_t format = ntx.GetFormat();
        const size_t pixelBytes = size_t(nNtxFile::FormatBytes(format));
        const size_t rowBytes = ntx.GetBytesPerRow();
        ok = pixelBytes > 0 && rowBytes >= pixelBytes * size_t(w) && rowBytes * size_t(h) <= data.size();
        if (!ok) error = "texture block smaller than its size";
        for (int y = 0; ok && y < h; y++) {
            const uint8_t* row = data.data() + size_t(y) * rowBytes;
            for (int x = 0; x < w; x++) words[size_t(y) * size_t(w) + size_t(x)] = NtxWord(row + size_t(x) * pixelBytes, format);
        }
    }
    ntx.CloseRead();
    return ok;
}

}  // namespace

nLogicCSprite::nLogicCSprite() = default;

nLogicCSprite::~nLogicCSprite() { DropTiles(); }

bool nLogicCSprite::SaveCmds(nPersistServer* ps) { return nLogicNode::SaveCmds(ps); }

int nLogicCSprite::DisplayBytesPerPixel() {
    nGfxServer* gfx = gfxRef_.Resolve();
    return gfx && gfx->GetBpp() == 16 ? 2 : 4;
}

void nLogicCSprite::DropTiles() {
    tiles_.clear();
    image_.clear();
    image_.shrink_to_fit();
    spare_.clear();
    spare_.shrink_to_fit();
    spareFresh_ = false;
    imageDirty_ = false;
}

void nLogicCSprite::Render() {
    if (!spare_.empty()) {
        if (!spareFresh_) {
            spare_.clear();
            spare_.shrink_to_fit();
        }
        spareFresh_ = false;
    }
    nLogicSprite::Render();
}

void nLogicCSprite::ReleaseQuad() {
    nLogicSprite::ReleaseQuad();
    DropTiles();
}

void nLogicCSprite::Preload() {
    // For data's text the frame's draw builds the tiles, once a frame however often it asks.
    if (!nScriptServer::DataRunning()) CreateQuad();
}

void nLogicCSprite::SetDimension(float w, float h) {
    // The buffer, the one dropped beside it and the tiles' textures, at 4 bytes a pixel.
    const uint64_t pixels = uint64_t((PictureSide(w) + 15) / 16 * 16) * uint64_t((PictureSide(h) + 15) / 16 * 16);
    if (!pictureCharge_.Hold(3 * 4 * pixels, this, "v_setdimension_ii")) return;
    nLogicSprite::SetDimension(w, h);
}

void nLogicCSprite::Setup() {
    CreateQuad();
    for (auto& tile : tiles_) tile->RequestTexture(this);
    nLogicSprite::Setup();
}

void nLogicCSprite::Tile(int w, int h, std::vector<TileRect>& out) {
    out.clear();
    if (w <= 0 || h <= 0) return;
    std::vector<TileRect> work;
    work.reserve(32);
    work.push_back({0, 0, w, h});
    for (int s = LargestTile; !work.empty(); s /= 2) {
        if (s < SmallestTile) {
            // Sides that are no multiples of 16 leave rests no tile fits; they stay uncovered.
            break;
        }
        // The list grows while it is walked: what a cut appends is looked at in this pass.
        std::vector<TileRect> rest;
        for (size_t i = 0; i < work.size(); i++) {
            const TileRect r = work[i];
            if (r.w == s && r.h == s) {
                out.push_back(r);
            } else if (s <= r.w && s <= r.h) {
                work.push_back({r.x, r.y, s, s});
                if (s < r.w) work.push_back({r.x + s, r.y, r.w - s, r.h});
                if (s < r.h) work.push_back({r.x, r.y + s, s, r.h - s});
            } else {
                rest.push_back(r);
            }
        }
        work.swap(rest);
    }
}

void nLogicCSprite::CreateQuad() {
    nGfxServer* gfx = gfxRef_.Get();
    const int bpp = DisplayBytesPerPixel();
    if (bpp != bytesPerPixel_) {
        bytesPerPixel_ = bpp;
        ReleaseQuad();
    }
    if (quadBuilt_) {
        bool lost = false;
        for (auto& tile : tiles_) lost = lost || tile->textureRequested;
        if (!lost) return;
    }
    DropTiles();
    // Textures are made on the display; without one the tiles wait for it.
    if (!gfx->IsDisplayOpen()) return;
    imageW_ = PictureSide(w_);
    imageH_ = PictureSide(h_);
    if ((w_ >= 1.0f && imageW_ == 0) || (h_ >= 1.0f && imageH_ == 0)) {
        n_error("%s: a picture of %g x %g is larger than %d x %d; nothing is drawn\n", GetFullName().c_str(), double(w_),
                double(h_), MaxSide, MaxSide);
    }
    if (imageW_ == 0 || imageH_ == 0) {
        imageW_ = imageH_ = 0;
        quadBuilt_ = true;
        return;
    }
    const int w16 = (imageW_ + 15) / 16 * 16;
    const int h16 = (imageH_ + 15) / 16 * 16;
    std::vector<TileRect> rects;
    Tile(w16, h16, rects);
    // Named by the full path: equally named nodes under other parents keep their own.
    const std::string base = "logic_sprite_" + GetFullName() + "-";
    tiles_.reserve(rects.size());
    for (size_t i = 0; i < rects.size(); i++) {
        const TileRect& r = rects[i];
        auto tile = std::make_unique<nLogicSpriteQuad>((base + std::to_string(i)).c_str());
        tile->textureMode = 1;
        tile->x = x_ + float(r.x);
        tile->y = y_ + float(r.y);
        tile->textureW = float(r.w);
        tile->textureH = float(r.h);
        tile->sourceRect[0] = float(r.x);
        tile->sourceRect[1] = float(r.y);
        tile->sourceRect[2] = float(r.w);
        tile->sourceRect[3] = float(r.h);
        tile->bits32 = bytesPerPixel_ == 4;
        tile->flag = quadFlag_;
        tile->RequestTexture(this);
        if (nTexture* tex = tile->GetTexture()) {
            int pitch = 0;
            if (auto* bits = static_cast<uint8_t*>(tex->Lock(0, 0, r.w, r.h, &pitch, nullptr))) {
                for (int y = 0; y < r.h; y++) std::memset(bits + size_t(y) * size_t(pitch), 0, size_t(r.w) * size_t(bytesPerPixel_));
                tex->Unlock();
            }
        }
        // The part of a tile past the picture's edge is not drawn.
        const float fu = r.x + r.w > imageW_ ? float(r.w - (r.x + r.w - imageW_)) / float(r.w) : 1.0f;
        const float fv = r.y + r.h > imageH_ ? float(r.h - (r.y + r.h - imageH_)) / float(r.h) : 1.0f;
        tile->SetDimension(float(r.w) * fu, float(r.h) * fv);
        const float uv[4][2] = {{fu, 0.0f}, {0.0f, 0.0f}, {fu, fv}, {0.0f, fv}};
        std::memcpy(tile->uvs, uv, sizeof(uv));
        tile->textureRequested = false;
        tiles_.push_back(std::move(tile));
    }
    // A Flash node's movie, loaded here, sees the tiles as not built yet.
    LoadImage();
    quadBuilt_ = true;
}

void nLogicCSprite::DrawQuad(nLogicSpriteQuad* /*quad*/) {
    for (auto& tile : tiles_) nLogicSprite::DrawQuad(tile.get());
}

void nLogicCSprite::SetPosition(float x, float y) {
    const float dx = x - x_, dy = y - y_;
    nLogicSprite::SetPosition(x, y);
    for (auto& tile : tiles_) tile->SetPosition(tile->x + dx, tile->y + dy);
}

uint8_t* nLogicCSprite::GetImageBuffer() {
    if (imageW_ <= 0 || imageH_ <= 0) return nullptr;
    imageDirty_ = true;
    if (image_.empty()) {
        const size_t bytes = size_t(imageW_) * size_t(imageH_) * size_t(bytesPerPixel_);
        if (spare_.size() == bytes) {
            image_.swap(spare_);
            std::memset(image_.data(), 0, bytes);
        } else {
            image_.assign(bytes, 0);
        }
    }
    return image_.data();
}

void nLogicCSprite::CommitImage(bool free) {
    imageDirty_ = false;
    if (image_.empty()) return;
    const size_t bpp = size_t(bytesPerPixel_);
    const size_t pitchIn = size_t(imageW_) * bpp;
    for (auto& tile : tiles_) {
        nTexture* tex = tile->GetTexture();
        if (!tex || size_t(tex->GetBytesPerPixel()) != bpp) continue;
        const int sx = int(tile->sourceRect[0]), sy = int(tile->sourceRect[1]);
        const int sw = int(tile->sourceRect[2]), sh = int(tile->sourceRect[3]);
        // Tiles cover the size raised to 16: only the picture's own pixels are copied.
        const int cols = std::min(sw, imageW_ - sx), rows = std::min(sh, imageH_ - sy);
        if (cols <= 0 || rows <= 0) continue;
        int pitch = 0;
        auto* bits = static_cast<uint8_t*>(tex->Lock(0, 0, cols, rows, &pitch, nullptr));
        if (!bits) continue;
        const uint8_t* in = image_.data() + size_t(sy) * pitchIn + size_t(sx) * bpp;
        for (int y = 0; y < rows; y++) std::memcpy(bits + size_t(y) * size_t(pitch), in + size_t(y) * pitchIn, size_t(cols) * bpp);
        tex->Unlock();
    }
    if (free) {
        image_.swap(spare_);
        image_.clear();
        image_.shrink_to_fit();
        spareFresh_ = true;
    }
}

void nLogicCSprite::LoadImage() {
    uint8_t* buffer = GetImageBuffer();
    if (!buffer) return;
    std::string error;
    const char* file = GetTexture();
    if (!*file) {
        failedImage_.clear();
    } else if (ReadImage(nKernelServer::ks, file, buffer, imageW_, imageH_, bytesPerPixel_, error)) {
        failedImage_.clear();
    } else if (failedImage_ != file) {
        failedImage_ = file;
        n_error("%s: picture '%s' does not load (%s); the sprite stays transparent\n", GetFullName().c_str(), file,
                error.c_str());
    }
    CommitImage(true);
}

bool nLogicCSprite::ReadImage(nKernelServer* ks, const char* file, uint8_t* buffer, int w, int h, int bytesPerPixel,
                              std::string& error) {
    if (!ks || !file || !buffer || w <= 0 || h <= 0 || w > MaxSide || h > MaxSide ||
        (bytesPerPixel != 2 && bytesPerPixel != 4)) {
        error = "no picture of that size";
        return false;
    }
    std::vector<uint32_t> words(size_t(w) * size_t(h));
    if (std::strstr(file, ".ntx")) {
        if (!ReadNtx(ks, file, words, w, h, bytesPerPixel == 4, error)) return false;
    } else {
        std::string bytes;
        if (!nD3D8Texture::ReadPictureFile(ks, file, bytes, error)) return false;
        flash::ImageCache::Image image;
        if (!flash::ImageCache::Decode(bytes, image, error, MaxSide)) return false;
        bytes = std::string();
        if (image.width == w && image.height == h) {
            words.swap(image.pixels);
        } else {
            flash::ImageCache::Image scaled;
            flash::ImageCache::Scale(image, w, h, scaled);
            if (scaled.pixels.size() != words.size()) {
                error = "cannot be scaled";
                return false;
            }
            words.swap(scaled.pixels);
        }
    }
    // Words 0xAARRGGBB are the bytes B, G, R, A in memory.
    if (bytesPerPixel == 4) {
        std::memcpy(buffer, words.data(), words.size() * 4);
    } else {
        flash::Canvas::PackA4R4G4B4(reinterpret_cast<const uint8_t*>(words.data()), buffer, words.size());
    }
    return true;
}
