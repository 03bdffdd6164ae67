#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "gfx/nTexture.h"
#include "kernel/nPathRef.h"
#include "platform/render/RenderTypes.h"

class nD3D8Server;
class nKernelServer;
namespace render {
class Device;
class Texture;
}  // namespace render

// The device texture (script class "nd3d8texture", no commands): loads NTX files
// (names containing ".ntx"), a pixel image with a separate alpha image, or a PNG, JPEG
// or BMP picture known by its content (platform/image, with its limits); makes blank
// textures that code draws into; locks level 0 for per-pixel access. Loading needs an
// open display.
class nD3D8Texture : public nTexture {
public:
    static const nClassInfo classInfo;

    nD3D8Texture();
    ~nD3D8Texture() override;

    // False (logged) when the file is missing or broken or no display is open; the
    // texture is unloaded then.
    bool Load() override;
    // Clears the stages that hold the texture and frees the device texture.
    void Unload() override;
    bool Create(int width, int height, bool withAlpha) override;
    // Locks a rectangle of level 0; *format (when asked for) is a new pixel format the
    // caller deletes. Null (logged) when nothing is loaded, the texture is locked or
    // the rectangle does not lie inside.
    void* Lock(int x, int y, int width, int height, int* pitch, nPixelFormat** format) override;
    void Unlock() override;
    // Pixels relative to the locked rectangle, addressed through the lock's pitch;
    // outside the rectangle nothing is written and GetPixel reads 0.
    void SetPixel(int x, int y, int r, int g, int b, int a) override;
    void GetPixel(int x, int y, int& r, int& g, int& b, int& a) override;

    // A whole picture file through the file server, refused past image::MaxFileBytes;
    // false with the reason.
    static bool ReadPictureFile(nKernelServer* ks, const char* name, std::string& bytes, std::string& error);

    render::Texture* GetDeviceTexture() const { return texture.get(); }
    // The mask format a lock reports for a surface format (a new object).
    static nPixelFormat* NewLockFormat(render::Format format);
    // Brings a level of detail set since the last call to the device texture.
    void ApplyLOD();

private:
    bool loadNtx(render::Device* device, int maxSize);
    bool loadImage(render::Device* device);
    bool loadPixelAndAlpha(render::Device* device);
    // Stores the level count, size and bytes per pixel of the made texture.
    void takeTexture(std::unique_ptr<render::Texture> made);
    uint8_t* pixelAddress(int x, int y);

    nPathRef<nD3D8Server> refD3D8;
    uint8_t* lockBits;
    int lockPitch;
    int lockWidth;
    int lockHeight;
    render::Format lockFormat;
    int appliedLod;
    std::unique_ptr<render::Texture> texture;
};
