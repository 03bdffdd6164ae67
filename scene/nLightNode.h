#pragma once
// One light (script class "nlightnode"). Placed under a transform node it registers in
// the current scene node; the scene graph positions it with that node's matrix and hands
// its light record to the gfx server and, when it casts shadows, to the shadow server.
#include "gfx/nLight.h"
#include "scene/nVisNode.h"

class nLightNode : public nVisNode {
public:
    static const nClassInfo classInfo;

    bool SaveCmds(nPersistServer* ps) override;
    // Attaches the children, then becomes the light of the current scene node.
    bool Attach(nSceneGraph2* sceneGraph) override;
    // Computes the depend list, then hands the light record to the current scene node.
    void Compute(nSceneGraph2* sceneGraph) override;

    // "ambient", "point", "spot" or "directional"; any other text (logged) leaves the
    // type as it is.
    void SetType(const char* name);
    // The type's name; "<error>" for a type outside 0..3.
    const char* GetType() const;
    void SetColor(float r, float g, float b, float a);
    void SetR(float v) { light_.r = v; }
    void SetG(float v) { light_.g = v; }
    void SetB(float v) { light_.b = v; }
    void SetA(float v) { light_.a = v; }
    void SetAttenuation(float c, float l, float q);
    void SetSpot(float cone, float v);
    void SetCastShadows(bool on) { light_.castShadows = on; }
    bool GetCastShadows() const { return light_.castShadows; }

    const nLight& GetLight() const { return light_; }

private:
    static const nCmdDef<nLightNode> cmds[];
    nLight light_;
};
