#pragma once
// A triangle mesh with a bounding-box tree over its triangles (script class
// "nxtriangleshape"): lines stab it through the tree, and it tests itself against boxes,
// spheres and other meshes of its kind. Only a script that makes it by class name gets
// one; the server's NewShape hands out the record mesh "nxtriangleshape2" instead.
#include "collide/nXShape.h"
#include "kernel/nString.h"
#include "platform/meshquery/TriMesh.h"

class nXCollideServer;

class nXTriangleShape : public nXShape {
public:
    static const nClassInfo classInfo;

    int GetType() const override { return MESH; }
    // Against a box: at most 8 reports, one a touched box corner in corner order; against
    // a sphere: one report of the means over the touched triangles; against another
    // "nxtriangleshape": one report a crossing edge, at most the buffer's 255. Any other
    // mesh kind and the cylinder: false.
    bool Collide(const matrix44& myMatrix, nCollideShape2* other, const matrix44& otherMatrix,
                 nCollideReportBuffer* buffer, const vector3& myMotion, const vector3& otherMotion) override;
    // Every face the line meets from its front side, in face order; "contact" writes nothing.
    bool LineCheck(const matrix44& myMatrix, const line3& line, nCollideReportBuffer* buffer,
                   const vector3& myMotion) override;
    void Visualize(nGfxServer* gfx) override;

    void BeginMesh(int numVertices, int numTriangles) override;
    void SetVertex(int index, const vector3& v) override;
    // Stores the corners reversed, (c, b, a); a corner outside the vertices is logged,
    // refused and makes EndMesh false.
    bool SetTriangle(int index, int a, int b, int c) override;
    // Builds the tree; its result.
    bool EndMesh() override;
    bool Load(const char* fileName) override;
    const char* GetMeshFile() override { return meshFile_.IsEmpty() ? nullptr : meshFile_.Get(); }

    const meshquery::TriMesh& GetMesh() const { return mesh_; }

private:
    // The server whose query settings and result lists the tests use; stops the program
    // without one.
    nXCollideServer* Server();
    bool MeshSphere(nXCollideServer* srv, const matrix44& myMatrix, float r, const matrix44& otherMatrix,
                    nCollideReportBuffer* buffer);
    bool MeshBox(nXCollideServer* srv, const matrix44& myMatrix, const vector3& sides, const matrix44& otherMatrix,
                 nCollideReportBuffer* buffer);
    bool MeshMesh(nXCollideServer* srv, const matrix44& myMatrix, const nXTriangleShape* other,
                  const matrix44& otherMatrix, nCollideReportBuffer* buffer);

    meshquery::TriMesh mesh_;
    nString meshFile_;
    bool badTriangle_ = false;
};
