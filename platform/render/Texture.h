#pragma once
// A 2D texture of the render device: one level, a given count or a full mip
// chain in one of the device's colour formats. Every level has a CPU copy in
// the device's byte layout (top row first, rows width × bytes per pixel apart);
// a lock hands out that copy and the unlock uploads the changed rectangle, top
// row first and never flipped, so texture coordinate v = 0 is the top row.
//
// Made by Device::CreateTexture. It belongs to its device: destroy it while the
// device lives. A device that ends with textures still alive logs it and
// detaches them, so that their later destruction touches no OpenGL.

#include "platform/render/RenderTypes.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace render {

class Device;

struct LevelDesc {
    Format format = Format::Unknown;
    int width = 0;
    int height = 0;
    int pitch = 0;    // bytes from one row to the next
    size_t size = 0;  // bytes of the whole level
};

class Texture {
public:
    ~Texture();
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;

    Format GetFormat() const { return this->format; }
    int GetLevelCount() const { return static_cast<int>(this->levels.size()); }
    bool GetLevelDesc(int level, LevelDesc& desc) const;

    // Locks a rectangle of a level (null: the whole level) for CPU access; the
    // bits point at its first pixel, rows `pitch` bytes apart. Fails (logged) for
    // a level that does not exist or is locked, and for a rectangle that does not
    // lie inside the level.
    bool LockRect(int level, const Rect* rect, LockedRect& locked);
    // Uploads what the lock covered.
    bool UnlockRect(int level);
    bool IsLocked(int level) const;

    // The largest level that is sampled (0 = the top level); clamped to the
    // levels there are. Returns the previous value.
    int SetLOD(int lod);
    int GetLOD() const { return this->lod; }

    // Bytes per pixel of the formats textures can have; 0 for others.
    static int BytesPerPixel(Format format);
    static bool IsTextureFormat(Format format);

private:
    friend class Device;

    struct Level {
        int width = 0;
        int height = 0;
        std::vector<uint8_t> bits;
        bool uploaded = false;
        bool locked = false;
        Rect lockRect;
    };
    // Sampling parameters as OpenGL last got them for this texture (OpenGL keeps
    // them per texture, not per stage); -1 for not yet set.
    struct Sampler {
        int minFilter = -1;
        int magFilter = -1;
        int wrapS = -1;
        int wrapT = -1;
        int baseLevel = -1;
    };

    Texture(Device* device, int width, int height, int levelCount, Format format);
    // Uploads the levels that were never uploaded (bound by the device first).
    void UploadPending();
    void Upload(int level, const Rect& rect);

    Device* device;
    unsigned glName = 0;
    Format format;
    std::vector<Level> levels;
    int pendingLevels = 0;
    int lod = 0;
    Sampler sampler;
};

}  // namespace render
