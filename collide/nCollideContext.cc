#include "collide/nCollideContext.h"

#include <cmath>

#include "collide/nCollideContext2.h"
#include "collide/nCollideObject.h"
#include "collide/nCollideServer.h"
#include "collide/nCollideShape.h"
#include "gfx/nGfxServer.h"

namespace {

using Marker = nCollideObject::Marker;

// Sorted by key; at equal keys a box's start comes before any box's end, so touching
// boxes still meet in the sweep.
bool Before(const Marker* a, const Marker* b) {
    return a->key < b->key || (a->key == b->key && !a->isMax && b->isMax);
}

void Settle(Marker* m) {
    while (nNode* p = m->GetPred()) {
        if (!Before(m, static_cast<Marker*>(p->GetPtr()))) break;
        m->InsertBefore(p);
    }
    while (nNode* s = m->GetSucc()) {
        if (!Before(static_cast<Marker*>(s->GetPtr()), m)) break;
        m->InsertAfter(s);
    }
}

bool Overlap(const vector3& aMin, const vector3& aMax, const vector3& bMin, const vector3& bMax) {
    return aMin.x <= bMax.x && bMin.x <= aMax.x && aMin.y <= bMax.y && bMin.y <= aMax.y && aMin.z <= bMax.z &&
           bMin.z <= aMax.z;
}

// Unit vector from `from` towards `to`; (0, 1, 0) for centres closer than 1e-7.
vector3 Towards(const vector3& from, const vector3& to) {
    vector3 d = to - from;
    float l = d.Len();
    return l < 1e-7f ? vector3(0, 1, 0) : d * (1.0f / l);
}

vector3 Min3(const vector3& a, const vector3& b) {
    return vector3(std::fmin(a.x, b.x), std::fmin(a.y, b.y), std::fmin(a.z, b.z));
}
vector3 Max3(const vector3& a, const vector3& b) {
    return vector3(std::fmax(a.x, b.x), std::fmax(a.y, b.y), std::fmax(a.z, b.z));
}

nCollisionRecord scratch[nCollideShape::MaxRecords];

}  // namespace

nCollideContext::nCollideContext(nCollideServer* server) : serverNode_(this), server_(server) {}

nCollideContext::~nCollideContext() {
    while (nNode* n = objects_.GetHead()) ReleaseObject(static_cast<nCollideObject*>(n->GetPtr()));
}

nCollideObject* nCollideContext::NewObject() {
    auto* obj = new nCollideObject(this, idCounter_++);
    objects_.AddTail(&obj->objectNode);
    return obj;
}

void nCollideContext::ReleaseObject(nCollideObject* obj) {
    if (!obj) return;
    if (obj->attached) RemoveObject(obj);
    obj->objectNode.Remove();
    delete obj;
}

void nCollideContext::AddObject(nCollideObject* obj) {
    if (!obj || obj->attached) return;
    obj->attached = true;
    attached_.AddTail(&obj->attachedNode);
    axisList_.AddHead(&obj->minMarker);
    obj->maxMarker.InsertAfter(&obj->minMarker);
    UpdateMarkers(obj);
}

void nCollideContext::RemoveObject(nCollideObject* obj) {
    if (!obj) return;
    obj->attached = false;
    obj->attachedNode.Remove();
    obj->minMarker.Remove();
    obj->maxMarker.Remove();
}

void nCollideContext::UpdateMarkers(nCollideObject* obj) {
    // A box end never passes its own other end: the one leading the move goes first.
    Settle(&obj->maxMarker);
    Settle(&obj->minMarker);
    Settle(&obj->maxMarker);
}

void nCollideContext::ResetTransforms() {
    matrix44 ident;
    for (nNode* n = attached_.GetHead(); n; n = n->GetSucc()) {
        auto* obj = static_cast<nCollideObject*>(n->GetPtr());
        obj->SetTransform(0.0, ident);
        obj->SetTransform(0.0, ident);
    }
}

int nCollideContext::Collide() {
    // Objects stay attached across calls; the checked flag only keeps a pair from being
    // tested from both sides within this call.
    for (nNode* n = attached_.GetHead(); n; n = n->GetSucc()) {
        auto* obj = static_cast<nCollideObject*>(n->GetPtr());
        obj->collisionCount = 0;
        obj->checked = false;
    }
    records_.Clear();
    for (int i = 0; i < MaxResults; i++) results_[i] = nullptr;

    for (nNode* n = attached_.GetHead(); n; n = n->GetSucc()) {
        auto* a = static_cast<nCollideObject*>(n->GetPtr());
        // Of two boxes overlapping on x, exactly one start lies within the other box's
        // range in list order: only starts met in this walk are candidates, so each pair
        // is met once.
        for (nNode* m = a->minMarker.GetSucc(); m && m != &a->maxMarker; m = m->GetSucc()) {
            auto* marker = static_cast<Marker*>(m->GetPtr());
            if (marker->isMax) continue;
            nCollideObject* b = marker->object;
            nCollType type = server_->GetCollType(a->classIndex, b->classIndex);
            if (type == COLLTYPE_IGNORE) continue;
            if (a->ownerId == b->ownerId && a->ownerId != -1) continue;
            if (a->boxMin.y > b->boxMax.y || b->boxMin.y > a->boxMax.y || a->boxMin.z > b->boxMax.z ||
                b->boxMin.z > a->boxMax.z) {
                continue;
            }
            if (records_.Find(nCollideContext2::PairKey(a->id, b->id))) continue;
            checkPair(a, b, type);
        }
        a->checked = true;
    }
    return records_.Size();
}

void nCollideContext::checkPair(nCollideObject* a, nCollideObject* b, nCollType type) {
    const uint32_t key = nCollideContext2::PairKey(a->id, b->id);
    const vector3 pa = a->prevMatrix.Translation(), pb = b->prevMatrix.Translation();
    const vector3 da = a->curMatrix.Translation() - pa, db = b->curMatrix.Translation() - pb;
    if (type == COLLTYPE_QUICK) {
        float t0, t1;
        if (!nCollideContext2::SweepSpheres(pa, a->radius, da, pb, b->radius, db, t0, t1)) return;
        if (t0 < 0.0f || t0 >= 1.0f) return;
        const vector3 ca = pa + da * t0, cb = pb + db * t0;
        nCollisionRecord rec;
        rec.objA = a;
        rec.objB = b;
        rec.normal = Towards(ca, cb);
        rec.normal2 = rec.normal * -1.0f;
        rec.point = ca + rec.normal * a->radius;
        rec.time = a->prevTime + (a->curTime - a->prevTime) * double(t0);
        records_.Add(key, rec);
        a->collisionCount++;
        b->collisionCount++;
        return;
    }
    if (type != COLLTYPE_CONTACT && type != COLLTYPE_EXACT) return;
    if (!a->shape || !b->shape) return;
    // Sub-steps of an eighth of a radius; a radius of 0 asks for none.
    float n = 0.0f;
    if (a->radius > 0.0f) n = std::fmax(n, da.Len() / (a->radius * 0.125f));
    if (b->radius > 0.0f) n = std::fmax(n, db.Len() / (b->radius * 0.125f));
    int steps = n < float(MaxSubSteps) ? int(n) : MaxSubSteps;
    if (steps < 1) steps = 1;
    matrix44 ma = a->prevMatrix, mb = b->prevMatrix;
    for (int i = 0; i < steps; i++) {
        const float f = float(i) / float(steps);
        ma.SetTranslation(pa + da * f);
        mb.SetTranslation(pb + db * f);
        int k = a->shape->Collide(type, ma, b->shape, mb, scratch, nCollideShape::MaxRecords);
        if (k > nCollideShape::MaxRecords) k = nCollideShape::MaxRecords;
        const double time = a->prevTime + double(i) * (a->curTime - a->prevTime) / double(steps);
        for (int j = 0; j < k; j++) {
            nCollisionRecord rec = scratch[j];
            rec.objA = a;
            rec.objB = b;
            rec.time = time;
            records_.Add(key, rec);
            a->collisionCount++;
            b->collisionCount++;
        }
    }
}

int nCollideContext::GetCollisions(nCollideObject* obj, nCollisionRecord**& list) {
    list = results_;
    if (!obj || obj->collisionCount < 1) return 0;
    int count = 0;
    for (int i = 0; i < records_.Size() && count < MaxResults; i++) {
        nCollisionRecord& rec = records_.GetElementAt(i);
        if (rec.objA == obj || rec.objB == obj) results_[count++] = &rec;
    }
    return count;
}

int nCollideContext::finishQuery(const vector3& origin, int mode, nCollisionRecord**& list) {
    list = results_;
    const int count = queries_.Size();
    if (mode == Nearest) {
        if (count == 0) return 0;
        // Nearest by the record's point.
        int best = 0;
        float bestDist = 0.0f;
        for (int i = 0; i < count; i++) {
            vector3 d = queries_.GetElementAt(i).point - origin;
            float dist = d % d;
            if (i == 0 || dist < bestDist) best = i, bestDist = dist;
        }
        results_[0] = &queries_.GetElementAt(best);
        return 1;
    }
    const int n = count < MaxResults ? count : MaxResults;
    for (int i = 0; i < n; i++) results_[i] = &queries_.GetElementAt(i);
    return n;
}

int nCollideContext::MovingSphereCheck(const vector3& centre, float radius, const vector3& motion, int classIndex,
                                       int mode, nCollisionRecord**& list) {
    queries_.Clear();
    const vector3 rr(radius, radius, radius);
    const vector3 qMin = Min3(centre, centre + motion) - rr, qMax = Max3(centre, centre + motion) + rr;
    for (nNode* n = attached_.GetHead(); n; n = n->GetSucc()) {
        auto* obj = static_cast<nCollideObject*>(n->GetPtr());
        if (!Overlap(qMin, qMax, obj->boxMin, obj->boxMax)) continue;
        if (server_->GetCollType(classIndex, obj->classIndex) == COLLTYPE_IGNORE) continue;
        const vector3 oc = obj->curMatrix.Translation();
        float t0, t1;
        if (!nCollideContext2::SweepSpheres(centre, radius, motion, oc, obj->radius, vector3(), t0, t1)) continue;
        if (t0 < 0.0f || t0 >= 1.0f) continue;
        nCollisionRecord rec;
        rec.objA = rec.objB = obj;
        const vector3 c = centre + motion * t0;
        rec.normal = Towards(c, oc);
        rec.normal2 = rec.normal * -1.0f;
        rec.point = c + rec.normal * radius;
        rec.time = double(t0);
        queries_.Add(uint32_t(obj->id), rec);
    }
    return finishQuery(centre, mode, list);
}

int nCollideContext::SphereCheck(const vector3& centre, float radius, int mode, int classIndex,
                                 nCollisionRecord**& list) {
    queries_.Clear();
    const vector3 rr(radius, radius, radius);
    for (nNode* n = attached_.GetHead(); n; n = n->GetSucc()) {
        auto* obj = static_cast<nCollideObject*>(n->GetPtr());
        if (!Overlap(centre - rr, centre + rr, obj->boxMin, obj->boxMax)) continue;
        nCollType type = server_->GetCollType(classIndex, obj->classIndex);
        if (type == COLLTYPE_IGNORE) continue;
        nCollisionRecord rec;
        const vector3 oc = obj->curMatrix.Translation();
        if (type == COLLTYPE_QUICK) {
            vector3 d = oc - centre;
            float r = radius + obj->radius;
            if (d % d > r * r) continue;
            rec.normal = Towards(centre, oc);
            rec.normal2 = rec.normal * -1.0f;
            rec.point = centre + rec.normal * radius;
        } else if (!obj->shape || !obj->shape->SphereCheck(obj->curMatrix, centre, radius, rec)) {
            continue;
        }
        rec.objA = rec.objB = obj;
        queries_.Add(uint32_t(obj->id), rec);
    }
    return finishQuery(centre, mode, list);
}

int nCollideContext::LineCheck(const line3& line, int mode, int classIndex, nCollisionRecord**& list) {
    queries_.Clear();
    const vector3 lMin = Min3(line.b, line.end()), lMax = Max3(line.b, line.end());
    for (nNode* n = attached_.GetHead(); n; n = n->GetSucc()) {
        auto* obj = static_cast<nCollideObject*>(n->GetPtr());
        if (!Overlap(lMin, lMax, obj->boxMin, obj->boxMax)) continue;
        if (server_->GetCollType(classIndex, obj->classIndex) == COLLTYPE_IGNORE) continue;
        nCollisionRecord rec;
        if (!obj->shape || !obj->shape->LineCheck(obj->curMatrix, line, rec)) continue;
        rec.objA = rec.objB = obj;
        queries_.Add(uint32_t(obj->id), rec);
        if (mode == FirstOnly) break;
    }
    return finishQuery(line.b, mode, list);
}

void nCollideContext::Visualize(nGfxServer* gfx) {
    // Boxes in white, each record's normal in red from its point.
    gfx->Rgba(1.0f, 1.0f, 1.0f, 1.0f);
    gfx->Begin(3);
    for (nNode* n = attached_.GetHead(); n; n = n->GetSucc()) {
        auto* obj = static_cast<nCollideObject*>(n->GetPtr());
        const vector3 lo = obj->boxMin, hi = obj->boxMax;
        for (int e = 0; e < 12; e++) {
            // Edge e runs along axis e / 4; the other two coordinates pick a corner.
            const int axis = e / 4, c = e % 4;
            vector3 p0 = lo, p1 = lo;
            float* v0[3] = {&p0.x, &p0.y, &p0.z};
            float* v1[3] = {&p1.x, &p1.y, &p1.z};
            const float los[3] = {lo.x, lo.y, lo.z}, his[3] = {hi.x, hi.y, hi.z};
            const int u = (axis + 1) % 3, w = (axis + 2) % 3;
            *v0[u] = *v1[u] = (c & 1) ? his[u] : los[u];
            *v0[w] = *v1[w] = (c & 2) ? his[w] : los[w];
            *v0[axis] = los[axis];
            *v1[axis] = his[axis];
            gfx->Coord(p0.x, p0.y, p0.z);
            gfx->Coord(p1.x, p1.y, p1.z);
        }
    }
    gfx->End();
    gfx->Rgba(1.0f, 0.0f, 0.0f, 1.0f);
    gfx->Begin(3);
    for (int i = 0; i < records_.Size(); i++) {
        const nCollisionRecord& rec = records_.GetElementAt(i);
        const vector3 end = rec.point + rec.normal;
        gfx->Coord(rec.point.x, rec.point.y, rec.point.z);
        gfx->Coord(end.x, end.y, end.z);
    }
    gfx->End();
}
