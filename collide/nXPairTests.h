#pragma once
// The exact pair tests of the box and sphere shapes: sphere-sphere, sphere-box,
// sphere-mesh, box-box and box-mesh. Each looks at the shapes at the start of the step
// and where their motions take them. For "contact" a test answers at its first finding
// without writing; otherwise it appends reports (never past the buffer's 255).
#include "kernel/matrix44.h"
#include "kernel/vector3.h"

class nCollideReportBuffer;
class nXTriangleShape2;

class nXPairTests {
public:
    static bool SphereSphere(float r1, const matrix44& m1, const vector3& motion1, float r2, const matrix44& m2,
                             const vector3& motion2, nCollideReportBuffer* buffer);
    static bool SphereBox(float r, const matrix44& sphereMatrix, const vector3& sphereMotion, const vector3& sides,
                          const matrix44& boxMatrix, const vector3& boxMotion, nCollideReportBuffer* buffer);
    static bool SphereMesh(float r, const matrix44& sphereMatrix, const vector3& sphereMotion,
                           const nXTriangleShape2* mesh, const matrix44& meshMatrix, nCollideReportBuffer* buffer);
    static bool BoxBox(const vector3& sidesA, const matrix44& matrixA, const vector3& motionA, const vector3& sidesB,
                       const matrix44& matrixB, nCollideReportBuffer* buffer);
    static bool BoxMesh(const vector3& sides, const matrix44& boxMatrix, const vector3& boxMotion,
                        const nXTriangleShape2* mesh, const matrix44& meshMatrix, nCollideReportBuffer* buffer);
};
