#pragma once
// A triangle mesh kept as triangle records (script class "nxtriangleshape2"): the static
// geometry boxes and spheres collide with, and lines hit (the lowest triangle index wins).
#include <vector>

#include "collide/nXShape.h"
#include "kernel/nString.h"
#include "kernel/triangle.h"

class nXTriangleShape2 : public nXShape {
public:
    static const nClassInfo classInfo;

    int GetType() const override { return MESH; }
    // Meshes do not start tests themselves: boxes and spheres test against them.
    bool Collide(const matrix44& myMatrix, nCollideShape2* other, const matrix44& otherMatrix,
                 nCollideReportBuffer* buffer, const vector3& myMotion, const vector3& otherMotion) override;
    bool LineCheck(const matrix44& myMatrix, const line3& line, nCollideReportBuffer* buffer,
                   const vector3& myMotion) override;
    // Every triangle's three edges; the caller sets matrix and colour.
    void Visualize(nGfxServer* gfx) override;

    // The vertices must all be set before the triangles; EndMesh frees them. A triangle
    // with a corner outside the vertices is logged and keeps the shape not ready.
    void BeginMesh(int numVertices, int numTriangles) override;
    void SetVertex(int index, const vector3& v) override;
    bool SetTriangle(int index, int a, int b, int c) override;
    bool EndMesh() override;
    bool Load(const char* fileName) override;
    const char* GetMeshFile() override { return meshFile_.IsEmpty() ? nullptr : meshFile_.Get(); }

    int GetNumTriangles() const { return int(triangles_.size()); }
    const triangle& GetTriangle(int i) const { return triangles_[size_t(i)]; }

private:
    std::vector<vector3> vertices_;
    std::vector<triangle> triangles_;
    nString meshFile_;
    bool badTriangle_ = false;
};
