#pragma once
// Names up to four textures, one per texture stage (script class "ntexarraynode"), each
// with an optional separate alpha file. The textures are made through the graphics
// server when the node is first computed or preloaded and shared by name; the scene
// graph hands the array to the pixel shader of the same scene node.
#include <cstdint>

#include "gfx/nTexArray.h"
#include "kernel/nString.h"
#include "scene/nVisNode.h"

class nTexArrayNode : public nVisNode {
public:
    static const nClassInfo classInfo;
    static constexpr int MaxStages = nTexArray::MaxStages;

    bool SaveCmds(nPersistServer* ps) override;
    // Attaches the children, then becomes the current scene node's texture array.
    bool Attach(nSceneGraph2* sceneGraph) override;
    // Computes the depend list, loads changed stages and hands over the array.
    void Compute(nSceneGraph2* sceneGraph) override;
    // Loads changed stages, then the base preload.
    void Preload() override;

    // "none" or an empty name stands for no file. The stage loads again on the next
    // Compute or Preload, reading the mip-map and high-quality bits then.
    void SetTexture(int stage, const char* file, const char* alphaFile);
    // The file and alpha file; "none" for a missing one.
    void GetTexture(int stage, const char*& file, const char*& alphaFile) const;
    void SetGenMipMaps(int stage, bool on);
    bool GetGenMipMaps(int stage) const;
    void SetHighQuality(int stage, bool on);
    bool GetHighQuality(int stage) const;

    nTexArray& GetTexArray() { return texArray_; }

private:
    static const nCmdDef<nTexArrayNode> cmds[];
    static bool validStage(int stage) { return stage >= 0 && stage < MaxStages; }
    void loadTextures();

    nTexArray texArray_;
    uint8_t hasTexture_ = 0;
    uint8_t changed_ = 0;
    uint8_t genMipMaps_ = 0xFF;
    uint8_t highQuality_ = 0;
    // Stages whose texture did not load: not tried again until the stage is set again,
    // so a missing file is logged once instead of every frame.
    uint8_t failed_ = 0;
    nString file_[MaxStages];
    nString alphaFile_[MaxStages];
};
