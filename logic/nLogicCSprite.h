#pragma once
// A sprite whose picture is composed in memory (script class "nlogiccsprite"): read from
// a picture file (PNG, JPEG or BMP by content, scaled to the sprite's size) or an NTX file, or
// drawn by a subclass (the Flash node), then copied into textures of its own. Textures
// hold at most 256 x 256 texels, so the picture is cut into square tiles of 256, 128, 64,
// 32 and 16 units, each drawn as a quad of its own.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kernel/nDataCharge.h"
#include "logic/nLogicSprite.h"

class nKernelServer;

class nLogicCSprite : public nLogicSprite {
public:
    static const nClassInfo classInfo;
    // Largest picture side: a buffer of 4096 x 4096 at 4 bytes is 64 MB.
    static constexpr int MaxSide = 4096;
    static constexpr int LargestTile = 256;
    static constexpr int SmallestTile = 16;

    // One square of the tiling, in picture pixels.
    struct TileRect {
        int x = 0, y = 0, w = 0, h = 0;
    };

    nLogicCSprite();
    ~nLogicCSprite() override;
    // The logic node's lines only: the picture's settings are the script's.
    bool SaveCmds(nPersistServer* ps) override;

    // Builds the tiles (and loads the picture), then the sprite's setup.
    void Setup() override;
    // Cuts the sprite's size (raised to multiples of 16) into tiles, gives each a cleared
    // texture and loads the picture. Nothing while the tiles stand, unless one of them
    // lost its texture or the display's colour depth changed; nothing without a display.
    void CreateQuad() override;
    // Draws every tile.
    void DrawQuad(nLogicSpriteQuad* quad) override;
    // Tiles keep their offsets from the position.
    void SetPosition(float x, float y) override;
    // The picture's buffer and textures that the size makes are charged to data while data
    // set it; refused (logged) when data would keep more than it may.
    void SetDimension(float w, float h) override;
    // Drops the tiles and the picture buffer; the next Render builds them again.
    void ReleaseQuad() override;
    // Builds the tiles and loads the picture now.
    virtual void Preload();
    // Reads the picture into the buffer and commits it (the buffer stays zero, and the
    // tiles transparent, for a picture that cannot be read; logged once a name).
    virtual void LoadImage();

    // The picture buffer, width x height x bytes per pixel, allocated zeroed on demand
    // and marked dirty; null when the sprite has no size.
    uint8_t* GetImageBuffer();
    // Copies each tile's part of the buffer into its texture; `free` drops the buffer.
    // Its memory is kept until a Render finds no commit since the last one, so that a
    // picture redrawn every frame (the heads-up display's figures) allocates nothing.
    void CommitImage(bool free);
    // Releases the memory of a buffer dropped before the last Render, then draws.
    void Render() override;

    // Squares of 256 down to 16 covering w x h (multiples of 16) without gap or overlap.
    static void Tile(int w, int h, std::vector<TileRect>& out);
    // Reads `file` into `buffer` of w x h pixels at 4 bytes (B, G, R, A) or 2 bytes
    // (A4R4G4B4): an NTX file (a name containing ".ntx") whose texture block has exactly
    // that size, or a PNG, JPEG or BMP picture, scaled to it. False, with the reason in
    // `error`, when the file cannot be used; the buffer is then unchanged.
    static bool ReadImage(nKernelServer* ks, const char* file, uint8_t* buffer, int w, int h, int bytesPerPixel,
                          std::string& error);

    int GetNumTiles() const { return int(tiles_.size()); }
    nLogicSpriteQuad* GetTile(int i) const { return tiles_[size_t(i)].get(); }
    int GetBytesPerPixel() const { return bytesPerPixel_; }
    bool HasImageBuffer() const { return !image_.empty(); }
    bool IsImageDirty() const { return imageDirty_; }
    // The picture's size in pixels: the sprite's truncated, 0 when out of range.
    int GetImageWidth() const { return imageW_; }
    int GetImageHeight() const { return imageH_; }

protected:
    // The display's bytes per pixel: 2 at 16 bits, else 4.
    int DisplayBytesPerPixel();
    void DropTiles();

    bool imageDirty_ = false;
    std::vector<uint8_t> image_;
    // The memory of a dropped buffer, and whether a commit dropped it since the last Render.
    std::vector<uint8_t> spare_;
    bool spareFresh_ = false;
    int bytesPerPixel_ = 4;
    int imageW_ = 0, imageH_ = 0;
    std::vector<std::unique_ptr<nLogicSpriteQuad>> tiles_;
    // The picture that last failed to load, logged once.
    std::string failedImage_;
    nDataCharge pictureCharge_;
};
