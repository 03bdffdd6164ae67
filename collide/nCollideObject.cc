#include "collide/nCollideObject.h"

#include "collide/nCollideContext.h"
#include "collide/nCollideShape.h"

nCollideObject::nCollideObject(nCollideContext* ctx, int32_t id) : objectNode(this), id(id), context(ctx), attachedNode(this) {
    minMarker.object = maxMarker.object = this;
    minMarker.SetPtr(&minMarker);
    maxMarker.SetPtr(&maxMarker);
    maxMarker.isMax = true;
}

nCollideObject::~nCollideObject() = default;

void nCollideObject::SetShape(nCollideShape* s) {
    shape = s;
    radius = s ? s->GetRadius() : 0.0f;
    updateBox();
    if (attached) context->UpdateMarkers(this);
}

void nCollideObject::SetTransform(double time, const matrix44& m) {
    if (curTime == 0.0) {
        prevMatrix = m;
    } else if (time > curTime) {
        prevMatrix = curMatrix;
        prevTime = curTime;
    } else {
        prevMatrix = m;
    }
    curMatrix = m;
    curTime = time;
    updateBox();
    if (attached) context->UpdateMarkers(this);
}

void nCollideObject::updateBox() {
    vector3 a = prevMatrix.Translation(), b = curMatrix.Translation();
    boxMin = vector3(a.x < b.x ? a.x : b.x, a.y < b.y ? a.y : b.y, a.z < b.z ? a.z : b.z) - vector3(radius, radius, radius);
    boxMax = vector3(a.x > b.x ? a.x : b.x, a.y > b.y ? a.y : b.y, a.z > b.z ? a.z : b.z) + vector3(radius, radius, radius);
    minMarker.key = boxMin.x;
    maxMarker.key = boxMax.x;
}
