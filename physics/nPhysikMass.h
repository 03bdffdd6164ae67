#pragma once
// How part of a physics body's mass is distributed: a sphere, box or cylinder of a
// density, placed in the body's frame by an offset and a rotation. Made by the physics
// server's CreateMass and owned by whoever asked for it; a body sums the masses handed
// to it.
#include "kernel/matrix44.h"
#include "kernel/quaternion.h"
#include "kernel/vector3.h"

class nGfxServer;

class nPhysikMass {
public:
    enum Type { BASE = 0, SPHERE = 1, BOX = 2, CYLINDER = 3 };

    virtual ~nPhysikMass() = default;
    virtual int GetType() const { return BASE; }
    // Surface area of the last shape set (4πr², 2πr(r+l), 2(xy+yz+zx)).
    virtual float GetArea() const { return area; }
    virtual void SetDensity(float d);
    virtual float GetDensity() const { return density; }
    virtual void SetPosition(const vector3& p);
    virtual const vector3& GetPosition() const { return position; }
    // The all-zero default stands for no rotation.
    virtual void SetRotation(const quaternion& q);
    virtual const quaternion& GetRotation() const { return rotation; }
    // Each shape setter sets the area whatever the shape; only its own shape stores the
    // sizes.
    virtual void SetRadius(float r);
    virtual float GetRadius() const;
    // rl: radius, length (along z).
    virtual void SetCylinder(const float rl[2]);
    virtual const float* GetCylinder() const;
    // Full side lengths.
    virtual void SetBox(const vector3& sides);
    virtual const vector3& GetBox() const;
    // Draws the shape's outline at 0.9 of its size, placed by bodyMatrix.
    virtual void Visualize(nGfxServer* gfx, const matrix44& bodyMatrix);

    bool IsDirty() const { return dirty; }

protected:
    // The mass's own frame (rotation, then offset) times the body's.
    matrix44 DrawFrame(const matrix44& bodyMatrix) const;
    // Sets the model-view matrix for the mass and opens a line list in the outline
    // colour; EndDraw closes it and restores the matrix.
    void BeginDraw(nGfxServer* gfx, const matrix44& bodyMatrix) const;
    static void EndDraw(nGfxServer* gfx);

    float density = 5.0f;
    vector3 position;
    quaternion rotation{0.0f, 0.0f, 0.0f, 0.0f};
    bool dirty = true;
    float area = 0.0f;
};
