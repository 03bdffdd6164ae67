#pragma once
// One object of a context of the simple collide server. Its owner moves it with
// SetTransform; while attached its box, the union of the previous and current positions
// grown by its radius, keeps two markers in the context's x-sorted list.
#include <cstdint>

#include "kernel/matrix44.h"
#include "kernel/nNode.h"
#include "kernel/vector3.h"

class nCollideContext;
class nCollideShape;

class nCollideObject {
public:
    // A box end in the context's sorted list.
    struct Marker : nNode {
        float key = 0.0f;
        bool isMax = false;
        nCollideObject* object = nullptr;
    };

    nCollideObject(nCollideContext* ctx, int32_t id);
    ~nCollideObject();
    nCollideObject(const nCollideObject&) = delete;
    nCollideObject& operator=(const nCollideObject&) = delete;

    // A later time shifts the current matrix and time to the previous ones; the same or
    // an earlier time, or the first call, makes both matrices `m`.
    void SetTransform(double time, const matrix44& m);
    // The shape and, from it, the radius (0 without a shape).
    void SetShape(nCollideShape* shape);
    nCollideShape* GetShape() const { return shape; }
    void SetClass(int index) { classIndex = index; }
    int GetClass() const { return classIndex; }
    void SetOwnerId(int32_t id) { ownerId = id; }
    int32_t GetId() const { return id; }
    bool IsAttached() const { return attached; }
    int GetNumCollisions() const { return collisionCount; }
    nCollideContext* GetContext() const { return context; }
    const matrix44& GetPrevMatrix() const { return prevMatrix; }
    const matrix44& GetMatrix() const { return curMatrix; }
    double GetPrevTime() const { return prevTime; }
    double GetTime() const { return curTime; }
    float GetRadius() const { return radius; }
    const vector3& GetBoxMin() const { return boxMin; }
    const vector3& GetBoxMax() const { return boxMax; }

private:
    friend class nCollideContext;
    void updateBox();

    nNode objectNode;
    int32_t id;
    nCollideContext* context;
    nNode attachedNode;
    float radius = 0.0f;
    Marker minMarker;
    Marker maxMarker;
    int32_t classIndex = 0;
    vector3 boxMin;
    vector3 boxMax;
    matrix44 prevMatrix;
    matrix44 curMatrix;
    double prevTime = 0.0;
    double curTime = 0.0;
    bool attached = false;
    bool checked = false;
    int32_t collisionCount = 0;
    nCollideShape* shape = nullptr;
    int32_t ownerId = -1;
};
