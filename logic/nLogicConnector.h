#pragma once
// A logic node that places one visual logic node, the target, rigidly relative to
// another, the source (script class "nlogicconnector"): each traversal the target's
// matrix becomes the offset (position and x, y, z rotation, in the source's frame)
// applied to the source's local matrix. Level scripts tie lights, effects and
// followers to moving nodes with it.
#include <string>

#include "kernel/matrix44.h"
#include "kernel/nPathRef.h"
#include "kernel/nScriptServer.h"
#include "kernel/vector3.h"
#include "logic/nLogicNode.h"

class nLogicVisual2;

class nLogicConnector : public nLogicNode {
public:
    static const nClassInfo classInfo;

    nLogicConnector();
    ~nLogicConnector() override;
    // The offsets when not 0, then the target and the source when they resolve.
    bool SaveCmds(nPersistServer* ps) override;
    // Places the target when both ends resolve, then traverses the children.
    void Traverse(nLogicGraph* graph, const matrix44& parentMatrix) override;

    // Identity rotated about x, y, z in turn, then moved by the offset position.
    virtual const matrix44& GetOffsetMatrix();
    // "none" clears the reference; any other path is resolved from the connector when
    // needed and must name an "nlogicvisual2" (else it is logged once and nothing is
    // placed until the path changes). A path that data's text set reaches nothing in the
    // engine ("/sys"), as data's own calls do not.
    virtual void SetSource(const char* path);
    // The source's full path, "none" when it does not resolve to a visual logic node.
    virtual std::string GetSource();
    virtual void SetTarget(const char* path);
    virtual std::string GetTarget();
    virtual void SetOffsetPos(const vector3& p);
    virtual vector3 GetOffsetPos() const { return offsetPos_; }
    // Radians.
    virtual void SetOffsetRot(const vector3& r);
    virtual vector3 GetOffsetRot() const { return offsetRot_; }

protected:
    // The source and the target, null while either does not resolve to a visual logic
    // node.
    bool ResolveEnds(nLogicVisual2*& source, nLogicVisual2*& target);

private:
    // One end of the connection: its path, and whether a wrong object there was logged.
    struct End {
        nPathRef<nRoot> ref;
        bool logged = false;
        nScriptServer::Origin origin = nScriptServer::Origin::Person;
    };
    void SetEnd(End& end, const char* path);
    nLogicVisual2* Resolve(End& end, const char* what);

    matrix44 offset_;
    vector3 offsetPos_;
    vector3 offsetRot_;
    bool offsetDirty_ = false;
    End source_;
    End target_;
};
