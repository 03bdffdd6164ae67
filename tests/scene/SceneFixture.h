#pragma once
// A kernel with the script, gfx and scene classes and the servers a frame needs: a
// graphics server and a shadow server that record what the scene graph asks of them,
// the channel and variable servers and the scene graph. Frame() drives one frame as the
// observer does; test visual nodes play the transform, mesh, shader, texture, light,
// sound and self-drawing roles.
#include <string>
#include <vector>

#include "gfx/nGfxServer.h"
#include "gfx/nLight.h"
#include "gfx/nTexArray.h"
#include "gfx/nTexture.h"
#include "gfx/nVertexPool.h"
#include "kernel/matrix44.h"
#include "scene/nChannelServer.h"
#include "scene/nSceneGraph2.h"
#include "scene/nShadowServer.h"
#include "scene/nVariableServer.h"
#include "scene/nVisNode.h"
#include "tests/script/script_fixture.h"

class nVertexBuffer;
class nIndexBuffer;
class nPixelShader;
class nShadowCaster;

// Every call the scene graph makes on the recording servers and every Compute of a test
// node, in order.
extern std::vector<std::string> sceneEvents;

class nRecordingGfx : public nGfxServer {
public:
    static const nClassInfo classInfo;
    bool BeginScene() override;
    void EndScene() override;
    void SetMatrix(int type, const matrix44& m) override;
    bool SetLight(const nLight& light) override;
    // "state <code> <value>"; the fog colour (23) prints its four floats.
    void SetRenderState(const nRenderState& rs) override;
    // Test textures and base pixel shaders (which draw nothing) under the shared lists.
    nTexture* NewTexture(const char* name) override;
    nPixelShader* NewPixelShader(const char* name) override;
};

class nRecordingShadow : public nShadowServer {
public:
    static const nClassInfo classInfo;
    void BeginScene() override;
    void AttachLight(const matrix44& m, const nLight& light) override;
    void AttachCaster(const matrix44& m, nShadowCaster* caster) override;
    void EndScene() override;
};

// A pool in ordinary memory that records each draw as "draw <first vertex> <index
// buffer> <pixel shader> <texture array?>".
class nRecordingPool : public nVertexPool {
public:
    explicit nRecordingPool(nGfxServer* gfx) : nVertexPool(gfx, nullptr, STATIC, N_VT_COORD, 1000) {}
    void Render(nVertexRange* range, nIndexBuffer* indexBuffer, nPixelShader* pixelShader,
                nTexArray* textureArray) override;
};

// A texture whose level count a test sets. Load succeeds unless the file name contains
// "missing"; every load is recorded as "load <file> <alpha file> <mip> <hq>".
class nTestTexture : public nTexture {
public:
    static const nClassInfo classInfo;
    void SetNumLevels(int n) { numLevels = uint16_t(n); }
    bool Load() override;
};

class nTestVisNode : public nVisNode {
public:
    static const nClassInfo classInfo;
    enum Role { Group, Transform, Mesh, Shader, TexArray, Light, Sound, Other, Fog, Listener };

    bool Attach(nSceneGraph2* sg) override;
    void Compute(nSceneGraph2* sg) override;
    void CollectChannels(nChannelSet* set) override;
    void Preload() override;
    void AddRenderContext(uint32_t id) override;
    nVertexBuffer* GetVertexBuffer() override { return vb; }
    nPixelShader* GetPixelShader() override { return ps; }
    int GetMipLodBias() override { return mipBias; }
    // The name the events use.
    std::string Label() const { return GetName() ? GetName() : "?"; }

    Role role = Group;
    // Transform: local matrix; binds a context of its own channel set when `ownContext`.
    matrix44 local;
    bool ownContext = false;
    int attachRefused = 0;
    // Shader.
    int16_t priority = 0;
    bool opaque = true;
    nPixelShader* ps = nullptr;
    int mipBias = 0;
    // Mesh.
    nVertexBuffer* vb = nullptr;
    nIndexBuffer* ib = nullptr;
    nShadowCaster* caster = nullptr;
    // Texture array.
    nTexArray textures;
    // Light: handed back by Compute unless `noLight`.
    nLight light;
    bool noLight = false;
    // Channels read at attach time: names, global indices and the first values read.
    std::vector<std::string> channels;
    std::vector<int> channelIndex;
    std::vector<float> read;
    int collects = 0;
    int preloads = 0;
    int contextsAdded = 0;
};

class SceneFixture : public nScriptFixture {
protected:
    void SetUp() override;
    void TearDown() override;

    // A vertex buffer at `path` holding `count` vertices of the recording pool.
    nVertexBuffer* Buffer(const char* path, int count);
    // A test node at `path` in `role`.
    nTestVisNode* Node(const char* path, nTestVisNode::Role role);
    // A transform at `path` translated to (x, y, z).
    nTestVisNode* Transform(const char* path, float x, float y, float z);
    // One frame as the observer will run it: graphics BeginScene, scene graph
    // BeginScene(view) with render context 0, Attach(root), EndScene(render), graphics
    // EndScene.
    void Frame(nVisNode* root, bool render = true, const matrix44& view = matrix44());
    // The events that name a test node's Compute, in order ("compute m1" ...).
    std::vector<std::string> Computes() const;
    // Saves the object at `path`, releases it and loads it back under its parent; the
    // loaded object, null when any step failed.
    nRoot* Reload(const char* path);

    nRecordingGfx* gfx = nullptr;
    nRecordingShadow* shadow = nullptr;
    nChannelServer* channels = nullptr;
    nVariableServer* variables = nullptr;
    nSceneGraph2* sg = nullptr;
    // Outlives the kernel: dying buffers give their ranges back to it.
    nRecordingPool* pool = nullptr;
};
