#pragma once
// How the geometry below a scene node is drawn (script class "nshadernode"): its
// priority in the scene sort, up to four texture stages with a colour and an alpha
// operation each, per-unit addressing, filtering, coordinate source and texture
// transform, the constant and material colours and the pipeline switches. The node
// fills a render-state description; a pixel shader made by the graphics server turns it
// into device state when the scene graph draws the node's visuals.
#include <string>

#include "gfx/nPixelShader.h"
#include "gfx/nPixelShaderDesc.h"
#include "kernel/nRef.h"
#include "scene/nVisNode.h"

class nShaderNode : public nVisNode {
public:
    static const nClassInfo classInfo;
    static constexpr int MaxStages = nPixelShaderDesc::MaxStages;

    nShaderNode();
    // Releases the pixel shader.
    ~nShaderNode() override;

    bool SaveCmds(nPersistServer* ps) override;
    // Attaches the children, then becomes the current scene node's shader with its
    // priority; the node is opaque unless alpha blending is on.
    bool Attach(nSceneGraph2* sceneGraph) override;
    // Computes the depend list and hands the pixel shader to the current scene node.
    void Compute(nSceneGraph2* sceneGraph) override;
    // Makes the pixel shader, then the base preload.
    void Preload() override;
    // Made on first use; null (logged once) when the graphics server makes none.
    nPixelShader* GetPixelShader() override;
    int GetMipLodBias() override { return mipLodBias_; }

    // The state-name table: exact, case-sensitive names; -1 for an unknown name, null
    // for a code without a name.
    static int StateCode(const char* name);
    static const char* StateName(int code);
    // Operation texts ("mul tex prev", "add.4 -tex.a prim"). False for a text that names
    // no operation or lacks an argument; "nop" is accepted for alpha only.
    static bool ParseOp(const char* text, bool alpha, nPixelShaderDesc::StageOp& op);
    static std::string PrintOp(const nPixelShaderDesc::StageOp& op);

    void SetRenderPri(int pri) { renderPri_ = pri; }
    int GetRenderPri() const { return renderPri_; }
    // 0..4; other counts are logged and ignored.
    void SetNumStages(int n);
    int GetNumStages() const { return desc_.numStages; }
    // False (logged) for bad text or a stage outside 0..3; the stage then stays as it was.
    bool SetColorOp(int stage, const char* text);
    bool SetAlphaOp(int stage, const char* text);
    std::string GetColorOp(int stage) const;
    std::string GetAlphaOp(int stage) const;
    // One constant colour is shared by all stages.
    void SetConst(float r, float g, float b, float a);

    // The unit the per-unit setters address.
    void BeginTUnit(int unit);
    int GetCurrentUnit() const { return curUnit_; }
    // Names of the state table; an unknown name (logged) changes nothing.
    void SetAddress(const char* u, const char* v);
    void SetMinMagFilter(const char* min, const char* mag);
    void SetTexCoordSrc(const char* src);
    void SetEnableTransform(bool on);
    // Texture transform of `unit`: translation, rotation in degrees (kept in radians),
    // scale. A unit outside 0..3 is ignored.
    void SetTranslate(int unit, float x, float y, float z);
    void SetRotate(int unit, float x, float y, float z);
    void SetScale(int unit, float x, float y, float z);
    void SetMipLodBias(int bias) { mipLodBias_ = bias; }

    void SetDiffuse(float r, float g, float b, float a);
    void SetEmissive(float r, float g, float b, float a);
    void SetAmbient(float r, float g, float b, float a);
    void SetEmissiveComponent(int i, float v);
    void SetLightEnable(bool on) { setSwitch(desc_.lightEnable, on); }
    void SetAlphaEnable(bool on) { setSwitch(desc_.alphaEnable, on); }
    void SetZWriteEnable(bool on) { setSwitch(desc_.zwriteEnable, on); }
    void SetFogEnable(bool on) { setSwitch(desc_.fogEnable, on); }
    void SetAlphaTestEnable(bool on) { setSwitch(desc_.alphaTestEnable, on); }
    void SetAlphaBlend(const char* src, const char* dest);
    void SetZFunc(const char* name) { setCode(desc_.zFunc, name); }
    void SetCullMode(const char* name) { setCode(desc_.cullMode, name); }
    void SetColorMaterial(const char* name) { setCode(desc_.colorMaterial, name); }
    void SetAlphaFunc(const char* name) { setCode(desc_.alphaFunc, name); }
    void SetAlphaRef(float ref);

    const nPixelShaderDesc& GetShaderDesc() const { return desc_; }

private:
    static const nCmdDef<nShaderNode> cmds[];

    // The name of `code`, logged as an error (and "<error>") when it has none.
    const char* name(int code) const;
    // Looks `text` up; logs and returns false for an unknown name.
    bool lookup(const char* text, int& code) const;
    void setCode(int& field, const char* text);
    void setSwitch(bool& field, bool on);
    bool setOp(int stage, const char* text, bool alpha);
    bool validUnit(int unit, const char* what) const;
    nPixelShaderDesc::Stage* unit(int index, const char* what);
    void makePixelShader();

    int curUnit_ = 0;
    int renderPri_ = 0;
    int mipLodBias_ = 0;
    nRef<nPixelShader> refPixelShader_;
    bool shaderFailed_ = false;
    nPixelShaderDesc desc_;
};
