#pragma once
// A joint of a bone hierarchy (script class "nbone"): a bone set finds it by name, and
// a visible bone draws itself (a line from its parent joint and three short axes) for
// debugging.
#include "anim/nJoint2.h"

class nBone : public nJoint2 {
public:
    static const nClassInfo classInfo;

    nBone();

    // The joint's commands, then "setvisible".
    bool SaveCmds(nPersistServer* ps) override;
    // Attaches as a transform node; a visible bone then registers itself in the scene
    // node current afterwards (its parent's), to be drawn there.
    bool Attach(nSceneGraph2* sceneGraph) override;
    // The joint's Compute while attaching; otherwise draws the bone in the current
    // scene node's frame.
    void Compute(nSceneGraph2* sceneGraph) override;

    void SetVisible(bool on) { visible_ = on; }
    bool GetVisible() const { return visible_; }
    // This bone and, depth first, every descendant bone reached through bones (a child
    // of another class ends the walk there).
    void SetVisibleRec(bool on);
    // This bone by its own name or "."; the parent for ".." (when it is a bone); a bone
    // child of that name; else the first bone of that name depth first. Null when none.
    nBone* FindBone(const char* name);

private:
    nBone* findBelow(const char* name);

    bool visible_ = false;
    bool computing_ = false;
};
