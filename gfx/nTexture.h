#pragma once

#include <cstddef>
#include <cstdint>

#include "gfx/nBmpFile.h"
#include "kernel/nPathRef.h"
#include "kernel/nRoot.h"
#include "kernel/nString.h"

class nPixelFormat;

// A shared texture under /sys/share/tex (script class "ntexture"): file names, loading
// flags and size. The device texture classes derive from it and do the loading.
class nTexture : public nRoot {
public:
    static const nClassInfo classInfo;

    nTexture();
    ~nTexture() override;

    virtual bool Load();
    virtual void Unload();
    virtual bool Create(int width, int height, bool withAlpha);
    // *format receives a new pixel format describing the locked pixels; the caller deletes it.
    virtual void* Lock(int x, int y, int width, int height, int* pitch, nPixelFormat** format);
    virtual void Unlock();
    virtual void SetPixel(int x, int y, int r, int g, int b, int a);
    virtual void GetPixel(int x, int y, int& r, int& g, int& b, int& a);

    // An empty name reads back as null.
    void SetFileNames(const char* file, const char* alphaFile);
    void GetFileNames(const char*& file, const char*& alphaFile) const;

    // Line-by-line reading of the pixel image (the file name) with an optional separate
    // 8-bit alpha image; lines arrive in the image's own format, or as 32-bit R, G, B, A
    // bytes when an alpha image is given. False (logged) when an image cannot be used.
    bool BeginLoad(const char* alphaFile);
    // Index of the line now in GetLineBuffer(), or -1 at the end.
    int ReadLine();
    void EndLoad();
    const uint8_t* GetLineBuffer() const { return lineBuffer; }
    const nPixelFormat* GetLoadFormat() const { return loadFormat; }
    int GetImageWidth() const { return pixelImage.GetWidth(); }
    int GetImageHeight() const { return pixelImage.GetHeight(); }

    void SetGenMipMaps(bool on) { genMipMaps = on; }
    bool GetGenMipMaps() const { return genMipMaps; }
    void SetHighQuality(bool on) { highQuality = on; }
    bool GetHighQuality() const { return highQuality; }
    uint32_t GetMemSize() const { return memSize; }
    void SetMemSize(uint32_t size) { memSize = size; }
    int GetWidth() const { return width; }
    int GetHeight() const { return height; }
    int GetNumLevels() const { return numLevels; }
    int GetBytesPerPixel() const { return bytesPerPixel; }
    // The first mip level the device uses, chosen each frame by the scene graph's
    // distance pass; setting it restarts the bind count.
    void SetLodLevel(int level) {
        lod = uint16_t(level < 0 ? 0 : level);
        bindCount = 0;
    }
    int GetLodLevel() const { return lod; }
    // Raised each time a pixel shader binds the texture.
    void CountBind() { ++bindCount; }
    int GetBindCount() const { return bindCount; }
    // True when the image is line-read from a bottom-up file.
    bool IsImageBottomUp() const { return pixelImage.IsBottomUp(); }

protected:
    nPathRef<nRoot> refGfx;
    nString fileName;
    nString alphaFileName;
    uint16_t numLevels;
    uint16_t width;
    uint16_t height;
    uint16_t bytesPerPixel;
    uint16_t lod;
    uint16_t bindCount;
    uint32_t memSize;
    bool genMipMaps;
    bool highQuality;
    nBmpFile pixelImage;
    nBmpFile alphaImage;
    nPixelFormat* loadFormat;
    size_t lineLength;
    uint8_t* lineBuffer;
};

