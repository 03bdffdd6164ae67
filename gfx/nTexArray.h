#pragma once
// Up to four textures, one per texture stage: what a texture-array node or a sprite hands
// to a pixel shader, and one of the scene graph's sort keys. A value type; each slot
// holds one reference to its texture.
#include "kernel/nRef.h"

class nGfxServer;
class nTexture;

class nTexArray {
public:
    static constexpr int MaxStages = 4;

    nTexArray() = default;
    // Releases the textures.
    ~nTexArray();
    nTexArray(const nTexArray&) = delete;
    nTexArray& operator=(const nTexArray&) = delete;

    // Puts the texture of `file` (with an optional separate alpha file) into `stage`,
    // shared through the graphics server by name ("<file>_a" with an alpha file; another
    // alpha file on the same colour file gets a texture of its own); no file empties the
    // stage. False when
    // the stage is out of range or the texture does not load (the stage stays empty).
    bool Load(int stage, nGfxServer* gfx, const char* file, const char* alphaFile, bool genMipMaps,
              bool highQuality);
    // Holds `tex` in `stage`, taking one reference for the array (null empties it).
    void SetTexture(int stage, nTexture* tex);
    nTexture* GetTexture(int stage) const;
    // Orders arrays by their textures' identities, stage by stage: < 0, 0 or > 0.
    static int Compare(const nTexArray* a, const nTexArray* b);

private:
    void release(int stage);

    nRef<nTexture> slots_[MaxStages];
};
