#pragma once
// Turns the visual tree into one frame's picture (script class "nscenegraph2", at
// "/sys/servers/sgraph2"). Between BeginScene and EndScene the tree attaches itself into
// a pool of scene-node records (one per transform node); EndScene collects lights,
// sounds and visuals from the pool, computes them, sorts the visuals by priority, opacity
// and render state or depth, and draws them, feeding shadow casters to the shadow server.
#include <cstdint>

#include "kernel/matrix44.h"
#include "kernel/nPathRef.h"
#include "kernel/nRoot.h"

class nChannelServer;
struct nChannelContext;
class nGfxServer;
class nIndexBuffer;
struct nLight;
class nPixelShader;
class nShadowCaster;
class nShadowServer;
class nTexArray;
class nVertexBuffer;
class nVisNode;

// One scene node of the frame. The node slots hold the contributing node after Attach;
// Compute replaces them by its product in the matching product field.
struct nSceneNodeRecord {
    enum Flags : uint8_t { Opaque = 1 << 0 };

    int16_t parent = -1;
    int16_t shaderPriority = 0;
    uint8_t flags = 0;
    uint32_t renderContext = 0;
    nChannelContext* channelContext = nullptr;
    // Local x parent: maps into view space. Zero until a transform node computes it.
    matrix44 matrix;

    nVisNode* meshNode = nullptr;
    nVertexBuffer* vertexBuffer = nullptr;
    nVisNode* shaderNode = nullptr;
    nPixelShader* pixelShader = nullptr;
    nVisNode* texArrayNode = nullptr;
    nTexArray* texArray = nullptr;
    nVisNode* lightNode = nullptr;
    const nLight* light = nullptr;
    nVisNode* soundNode = nullptr;
    // Drawn by itself in its Compute, after the record's mesh.
    nVisNode* otherVisual = nullptr;
    nIndexBuffer* indexBuffer = nullptr;
    nShadowCaster* shadowCaster = nullptr;
};

class nSceneGraph2 : public nRoot {
public:
    static const nClassInfo classInfo;

    static constexpr int MaxNodes = 2048;
    static constexpr int MaxDepth = 32;
    static constexpr int MaxLights = 8;
    static constexpr int MaxVisuals = 2048;
    static constexpr int MaxSounds = 128;

    nSceneGraph2();
    ~nSceneGraph2() override;

    // Opens the frame: the channel server's contexts start over, the pool empties and
    // the root record holds `view`. A missing channel server stops the program.
    bool BeginScene(const matrix44& view);
    // Pops the root; draws the frame when `render`; releases the frame's channel contexts.
    void EndScene(bool render);
    bool InScene() const { return sceneOpen_; }

    // A fresh record below the current one, made current; false at depth 32 or when
    // all 2048 records are taken (nothing changes then).
    bool PushNode();
    void PopNode();

    // The current record; null when there is none.
    nSceneNodeRecord* GetCurrentNode() { return currentNode_ >= 0 ? &pool_[currentNode_] : nullptr; }
    int GetCurrentIndex() const { return currentNode_; }
    void SetCurrentIndex(int index) { currentNode_ = int16_t(index); }
    nSceneNodeRecord* GetNode(int index) { return index >= 0 && index < nodeCount_ ? &pool_[index] : nullptr; }
    // The parent of the current record; null at the root.
    nSceneNodeRecord* GetParentNode();
    int GetNodeCount() const { return nodeCount_; }
    int GetStackDepth() const { return stackDepth_; }

    void SetRenderContext(uint32_t id) { renderContext_ = id; }
    uint32_t GetRenderContext() const { return renderContext_; }
    // Set by the fog and listener nodes while they attach.
    void SetFogNode(nVisNode* node) { fogNode_ = node, fogIndex_ = currentNode_; }
    nVisNode* GetFogNode() const { return fogNode_; }
    void SetListenerNode(nVisNode* node) { listenerNode_ = node, listenerIndex_ = currentNode_; }
    nVisNode* GetListenerNode() const { return listenerNode_; }

    // Distance-based mip levels: table entry i is the distance from which level i + 1
    // is used.
    void SetEnableMipLod(bool on) { mipLodEnabled_ = on; }
    bool GetEnableMipLod() const { return mipLodEnabled_; }
    // A zeroed table of n distances; a negative n is refused (logged).
    void BeginMipLod(int n);
    // False (logged) for an index outside the table.
    bool SetMipLod(int index, float distance);
    void EndMipLod() {}
    int GetNumMipLod() const { return mipLodCount_; }
    float GetMipLod(int index) const { return index >= 0 && index < mipLodCount_ ? mipLodTable_[index] : 0.0f; }
    // The level a visual at `distance` needs: how many table entries lie at or below it,
    // plus `bias`.
    int MipLodLevel(float distance, int bias) const;

    // The sort order of two records: < 0 when a draws first.
    static int Compare(const nSceneNodeRecord& a, const nSceneNodeRecord& b);

private:
    void renderScene();
    void collect();
    void computeLights(nShadowServer* shadow, bool shadows);
    void computeSounds();
    void computeTextures();
    void applyMipLod();
    void sortVisuals();
    void drawVisuals(nShadowServer* shadow, bool shadows);

    nPathRef<nChannelServer> refChannel_;
    nPathRef<nGfxServer> refGfx_;
    nPathRef<nRoot> refAudio_;
    nPathRef<nShadowServer> refShadow_;

    bool sceneOpen_ = false;
    uint32_t renderContext_ = 0;
    nVisNode* fogNode_ = nullptr;
    nVisNode* listenerNode_ = nullptr;
    int16_t fogIndex_ = -1;
    int16_t listenerIndex_ = -1;
    int16_t currentNode_ = -1;
    int16_t visualCount_ = 0;
    int16_t lightCount_ = 0;
    int16_t soundCount_ = 0;
    int16_t visualList_[MaxVisuals];
    int16_t sortScratch_[MaxVisuals];
    int16_t lightList_[MaxLights];
    int16_t soundList_[MaxSounds];
    bool mipLodEnabled_ = false;
    int mipLodCount_ = 0;
    float* mipLodTable_ = nullptr;
    int16_t stackDepth_ = 0;
    int16_t nodeStack_[MaxDepth];
    int16_t nodeCount_ = 0;
    nSceneNodeRecord pool_[MaxNodes];
};
