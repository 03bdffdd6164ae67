#pragma once
// The geometry of an object of the simple collide server: a bounding radius, shared by
// name through the server with a reference count. This class answers no exact test;
// quick pairs and quick sphere queries use the radius alone.
#include <cstdint>

#include "collide/nCollType.h"
#include "kernel/line3.h"
#include "kernel/matrix44.h"
#include "kernel/nHashNode.h"
#include "kernel/nString.h"
#include "kernel/vector3.h"

class nFileServer2;
class nGfxServer;
struct nCollisionRecord;

class nCollideShape : public nHashNode {
public:
    // Scratch records an exact pair test may fill.
    static constexpr int MaxRecords = 255;

    explicit nCollideShape(const char* name) : nHashNode(name) {}
    ~nCollideShape() override = default;

    // Exact test against `other`: fills at most `maxRecords` records (point, normals) and
    // answers how many; none in this class.
    virtual int Collide(nCollType type, const matrix44& myMatrix, nCollideShape* other, const matrix44& otherMatrix,
                        nCollisionRecord* records, int maxRecords);
    // Exact line and sphere tests: false in this class.
    virtual bool LineCheck(const matrix44& myMatrix, const line3& line, nCollisionRecord& record);
    virtual bool SphereCheck(const matrix44& myMatrix, const vector3& centre, float radius, nCollisionRecord& record);
    virtual void Visualize(nGfxServer* gfx);

    // Mesh building: the radius grows to the largest vertex length; triangles are
    // ignored; EndMesh makes the shape ready.
    virtual void BeginMesh(int numVertices, int numTriangles);
    virtual void SetVertex(int index, const vector3& v);
    virtual void SetTriangle(int index, int a, int b, int c);
    virtual void EndMesh();
    // Keeps the file name and reads the ".n3d" or ".nvx" mesh through `fs`. False
    // (logged) for a missing or malformed file or another kind of name; the shape is
    // then not ready.
    virtual bool Load(nFileServer2* fs, const char* fileName);
    virtual void SetBoxSides(const vector3& sides);
    virtual vector3 GetBoxSides();
    virtual void SetRadius(float r);
    // params: radius, length.
    virtual void SetCylinderParams(const float params[2]);
    virtual void GetCylinderParams(float params[2]);

    float GetRadius() const { return radius_; }
    bool IsReady() const { return ready_; }
    const char* GetFileName() const { return fileName_.Get(); }
    int GetRefCount() const { return refCount_; }

private:
    friend class nCollideServer;
    nString fileName_;
    bool ready_ = false;
    int32_t refCount_ = 0;
    float radius_ = 0.0f;
};
