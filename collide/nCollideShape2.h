#pragma once
// The geometry a collide object carries (script class "ncollideshape2"). Shapes live
// under "/sys/share/collideshapes", shared by name through the collide server. This base
// is the radius-only "quick" shape; the exact shapes derive from it and supply Collide,
// LineCheck and their parameters.
#include "kernel/line3.h"
#include "kernel/matrix44.h"
#include "kernel/nRoot.h"
#include "kernel/vector3.h"

class nCollideReportBuffer;
class nGfxServer;

class nCollideShape2 : public nRoot {
public:
    static const nClassInfo classInfo;

    enum Type { QUICK = 1, BOX = 2, SPHERE = 3, CYLINDER = 4, MESH = 5 };

    virtual int GetType() const;
    // Exact pair test against `other`; appends reports to `buffer` for "exact".
    virtual bool Collide(const matrix44& myMatrix, nCollideShape2* other, const matrix44& otherMatrix,
                         nCollideReportBuffer* buffer, const vector3& myMotion, const vector3& otherMotion);
    // Line check; appends line hits to `buffer` for types other than "contact".
    virtual bool LineCheck(const matrix44& myMatrix, const line3& line, nCollideReportBuffer* buffer,
                           const vector3& myMotion);
    // Draws three circles of the bounding radius; the caller sets matrix and colour.
    virtual void Visualize(nGfxServer* gfx);

    // Mesh building: BeginMesh, SetVertex for every vertex, SetTriangle for every
    // triangle, EndMesh. SetTriangle answers false for indices outside the mesh.
    virtual void BeginMesh(int numVertices, int numTriangles);
    virtual void SetVertex(int index, const vector3& v);
    virtual bool SetTriangle(int index, int a, int b, int c);
    virtual bool EndMesh();
    // Reads a ".n3d" text or ".nvx" binary mesh (by "contains" on the name) and builds
    // the shape from it. False (logged) for a missing or malformed file or another kind
    // of name; the shape is then left as it was.
    virtual bool Load(const char* fileName);
    virtual const char* GetMeshFile();

    virtual void SetBoxSides(const vector3& sides);
    virtual vector3 GetBoxSides();
    // params: radius, length.
    virtual void SetCylinderParams(const float params[2]);
    virtual void GetCylinderParams(float params[2]);
    virtual void SetRadius(float r);
    virtual float GetRadius() const { return radius; }

    // A quick shape's radius: the inner radius is the radius itself.
    void SetQuickRadius(float r);
    float GetInnerRadius() const { return innerRadius; }
    // False while the shape is new and its parameters are still to be set.
    bool IsReady() const { return ready; }

protected:
    bool ready = false;
    float radius = 0.0f;
    float innerRadius = 0.0f;
};
