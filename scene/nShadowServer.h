#pragma once
// Device-independent interface through which the scene graph hands lights and shadow
// casters to the shadow renderer each frame (script class "nshadowserver"); it also
// keeps the shared casters under "/sys/share/shadowcasters". The base draws nothing.
#include <cstdint>

#include "kernel/matrix44.h"
#include "kernel/nRef.h"
#include "kernel/nRoot.h"
#include "kernel/nString.h"

struct nLight;
class nShadowCaster;

class nShadowServer : public nRoot {
public:
    static const nClassInfo classInfo;

    nShadowServer();
    ~nShadowServer() override;

    // Called by the scene graph only while cast shadows is on.
    virtual void BeginScene() {}
    virtual void AttachLight(const matrix44& m, const nLight& light) { (void)m, (void)light; }
    virtual void AttachCaster(const matrix44& m, nShadowCaster* caster) { (void)m, (void)caster; }
    virtual void EndScene() {}
    // A new caster under the caster list, named as MakeCasterName says; null (logged)
    // when it cannot be made.
    virtual nShadowCaster* NewCaster(const char* name);
    // The caster of that name, or null; adds no reference (a caller that keeps it takes
    // its own).
    virtual nShadowCaster* FindCaster(const char* name);

    void SetCastShadows(bool on) { castShadows_ = on; }
    bool GetCastShadows() const { return castShadows_; }
    void SetShadowColor(float r, float g, float b, float a);
    void GetShadowColor(float& r, float& g, float& b, float& a) const;

    // "res%d" from the server's counter for no name; else the whole name with '.', '/',
    // '\' and ':' made '_'.
    nString MakeCasterName(const char* name);

private:
    nRef<nRoot> casterList_;
    bool castShadows_ = false;
    int resourceCounter_ = 0;
    float color_[4] = {0.0f, 0.0f, 0.0f, 0.5f};
};
