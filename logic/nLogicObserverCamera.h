#pragma once
// The free viewing camera (script class "nlogicobservercamera"): while current, the
// mouse orbits it around a pivot ("orbit"), pans the pivot ("pan") and moves it nearer
// or farther ("dolly"); "reset" puts it 5 units in front of the origin; a followed node
// carries the pivot.
#include <string>

#include "kernel/matrix44.h"
#include "kernel/nPathRef.h"
#include "logic/nLogicCamera.h"

class nLogicObserverCamera : public nLogicCamera {
public:
    static const nClassInfo classInfo;

    nLogicObserverCamera();
    ~nLogicObserverCamera() override;
    bool SaveCmds(nPersistServer* ps) override;
    // Steers while current, then the camera's step.
    bool Trigger(nLogicGraph* graph) override;

    // "none" stops following; any other path is resolved when needed.
    void SetFollow(const char* path);
    // The followed node's full path, "none" when the path does not resolve.
    std::string GetFollow();
    const matrix44& GetOrbit() const { return orbit_; }

private:
    void Steer();
    // The followed visual node, null when there is none.
    nLogicVisual2* Followed();

    MouseDelta mouse_;
    matrix44 orbit_;
    nPathRef<nRoot> follow_;
};
