#include "collide/nCollideContext2.h"

#include <cstring>

#include "collide/nCollideObject2.h"
#include "collide/nCollideServer2.h"
#include "collide/nCollideShape2.h"
#include "gfx/nGfxServer.h"
#include "kernel/nKernelServer.h"

nCollideContext2::nCollideContext2(nCollideServer2* server, const char* name) : nHashNode(name), server_(server) {
    checkBuffer_.owner = this;
    lineHits_.reserve(32);
}

nCollideContext2::~nCollideContext2() = default;

uint32_t nCollideContext2::PairKey(int32_t a, int32_t b) {
    int32_t lo = a < b ? a : b;
    int32_t hi = a < b ? b : a;
    return (uint32_t(lo) << 16) | (uint32_t(hi) & 0xFFFFu);
}

// ---- registration

void nCollideContext2::BeginFrame() {
    numStatic_ = 0;
    numDynamic_ = 0;
    overflowLogged_ = false;
}

bool nCollideContext2::AddObject(nCollideObject2* obj) {
    const int limit = obj->dynamic ? MaxDynamic : MaxStatic;
    int& count = obj->dynamic ? numDynamic_ : numStatic_;
    int32_t id = count < limit ? server_->TakeObjectId() : -1;
    if (id < 0) {
        if (!overflowLogged_) {
            n_error("collide context '%s': %s, further objects are left out this frame\n", GetName(),
                    count >= limit ? (obj->dynamic ? "more than 255 dynamic objects" : "more than 355 static objects")
                                   : "more than 65536 objects in all contexts");
            overflowLogged_ = true;
        }
        return false;
    }
    obj->id = id;
    obj->server_.Set(server_);
    (obj->dynamic ? dynamic_ : static_)[count++] = obj;
    return true;
}

// ---- pair checks

bool nCollideContext2::SweepSpheres(const vector3& pa, float ra, const vector3& da, const vector3& pb, float rb,
                                    const vector3& db, float& t0, float& t1) {
    vector3 d = pa - pb;
    float r = ra + rb;
    float dd = d % d;
    if (dd <= r * r) {
        t0 = t1 = 0.0f;
        return true;
    }
    vector3 v = da - db;
    float a = v % v;
    if (a >= -1e-7f && a <= 1e-7f) return false;
    float b = 2.0f * (d % v);
    float c = dd - r * r;
    float disc = b * b - 4.0f * a * c;
    if (disc < 0.0f) return false;
    float root = std::sqrt(disc);
    float u0 = (-b + root) / (2.0f * a);
    float u1 = (-b - root) / (2.0f * a);
    t0 = u0 < u1 ? u0 : u1;
    t1 = u0 < u1 ? u1 : u0;
    // Only spheres that meet and part again within the step; one that still overlaps at
    // the end is caught by the next step's start test.
    return t0 > 0.0f && t0 <= 1.0f && t1 > 0.0f && t1 <= 1.0f;
}

void nCollideContext2::gather(Entry* out, nCollideObject2* const* objs, int n) {
    for (int i = 0; i < n; i++) {
        out[i].obj = objs[i];
        out[i].shape = objs[i]->shape.GetUnsafe();
        out[i].pos = objs[i]->prevMatrix.Translation();
        out[i].radius = out[i].shape ? out[i].shape->GetRadius() : 0.0f;
    }
}

int nCollideContext2::Collide() {
    results_.pairs.Clear();
    results_.reports.Clear();
    std::memset(results_.pairResult, 0, sizeof(results_.pairResult));
    std::memset(results_.reportResult, 0, sizeof(results_.reportResult));
    results_.busy = true;
    gather(dynamicEntries_, dynamic_, numDynamic_);
    gather(staticEntries_, static_, numStatic_);
    for (int i = 0; i < numDynamic_; i++) {
        const Entry& a = dynamicEntries_[i];
        for (int j = 0; j < numDynamic_; j++) {
            if (i != j && a.obj->owner != dynamicEntries_[j].obj->owner) checkCollision(a, dynamicEntries_[j]);
        }
    }
    for (int i = 0; i < numDynamic_; i++) {
        const Entry& a = dynamicEntries_[i];
        for (int j = 0; j < numStatic_; j++) {
            if (a.obj->owner != staticEntries_[j].obj->owner) checkCollision(a, staticEntries_[j]);
        }
    }
    results_.busy = false;
    return results_.pairs.Size() + results_.reports.Size();
}

void nCollideContext2::checkCollision(const Entry& ea, const Entry& eb) {
    nCollideObject2* a = ea.obj;
    nCollideObject2* b = eb.obj;
    const nCollType type = server_->GetCollType(a->classIndex, b->classIndex);
    checkBuffer_.collType = type;
    if (type == COLLTYPE_IGNORE) return;
    nCollideShape2* shapeA = ea.shape;
    nCollideShape2* shapeB = eb.shape;
    if (!shapeA || !shapeB) nKernelServer::FatalError("Aborting.");
    // The sweep first: it is cheaper than looking the pair up among the records, and a
    // pair that does not touch is not filed either way.
    float t0, t1;
    if (!SweepSpheres(ea.pos, ea.radius, a->motion, eb.pos, eb.radius, b->motion, t0, t1)) return;
    const uint32_t key = PairKey(a->id, b->id);
    if ((results_.reports.Size() && results_.reports.Find(key)) || (results_.pairs.Size() && results_.pairs.Find(key))) {
        return;
    }
    if (type == COLLTYPE_QUICK) {
        a->pairCount++;
        b->pairCount++;
        nCollidePair pair;
        pair.objA = a;
        pair.objB = b;
        results_.pairs.Add(key, pair);
        return;
    }
    if (shapeA->GetType() == nCollideShape2::QUICK || shapeB->GetType() == nCollideShape2::QUICK) {
        // Level scripts choose the classes: reported, not fatal, and only once.
        if (server_->FirstSimpleShapeReport(a->classIndex, b->classIndex)) {
            n_error("nCollideContext2::_checkCollision, no exact collision function aviable for simple collision!\n"
                    "(context '%s', classes %d and %d)\n",
                    GetName(), a->classIndex, b->classIndex);
        }
        return;
    }
    checkBuffer_.Begin(type);
    if (shapeA->Collide(a->prevMatrix, shapeB, b->prevMatrix, &checkBuffer_, a->motion, b->motion)) {
        if (type == COLLTYPE_CONTACT) {
            a->pairCount++;
            b->pairCount++;
            nCollidePair pair;
            pair.objA = a;
            pair.objB = b;
            results_.pairs.Add(key, pair);
        } else {
            int n = checkBuffer_.numReports;
            if (n > nCollideReportBuffer::MaxReports) n = nCollideReportBuffer::MaxReports;
            a->contactCount += n;
            b->contactCount += n;
            for (int i = 0; i < n; i++) {
                nCollideReport& r = checkBuffer_.reports[i];
                r.objA = a;
                r.objB = b;
                results_.reports.Add(key, r);
            }
        }
    }
    checkBuffer_.busy = false;
}

// ---- queries

int nCollideContext2::GetCollisions(const nModuleState* state, nCollidePair**& list) {
    int n = 0;
    for (int i = 0; i < results_.pairs.Size() && n < nCollideReportTable::MaxQueryResults; i++) {
        nCollidePair& p = results_.pairs.GetElementAt(i);
        if (p.objA->state == state || p.objB->state == state) results_.pairResult[n++] = &p;
    }
    list = results_.pairResult;
    return n;
}

int nCollideContext2::GetContacts(const nModuleState* state, nCollideReport**& list) {
    int n = 0;
    for (int i = 0; i < results_.reports.Size() && n < nCollideReportTable::MaxQueryResults; i++) {
        nCollideReport& r = results_.reports.GetElementAt(i);
        if (r.objA->state == state || r.objB->state == state) results_.reportResult[n++] = &r;
    }
    list = results_.reportResult;
    return n;
}

int nCollideContext2::ContactsOf(nCollideObject2* obj, nCollideReport* out, int max) {
    nCollideShape2* shape = obj->shape.GetUnsafe();
    if (!shape || shape->GetType() == nCollideShape2::QUICK) return 0;
    int n = 0;
    for (nCollideObject2* const* table : {dynamic_, static_}) {
        const int count = table == dynamic_ ? numDynamic_ : numStatic_;
        for (int i = 0; i < count && n < max; i++) {
            nCollideObject2* other = table[i];
            nCollideShape2* otherShape = other->shape.GetUnsafe();
            if (other == obj || other->owner == obj->owner || !otherShape ||
                otherShape->GetType() == nCollideShape2::QUICK ||
                server_->GetCollType(obj->classIndex, other->classIndex) != COLLTYPE_EXACT) {
                continue;
            }
            float t0, t1;
            const vector3 still;
            if (!SweepSpheres(obj->prevMatrix.Translation(), shape->GetRadius(), obj->motion,
                              other->curMatrix.Translation(), otherShape->GetRadius(), still, t0, t1)) {
                continue;
            }
            checkBuffer_.Begin(COLLTYPE_EXACT);
            if (shape->Collide(obj->prevMatrix, otherShape, other->curMatrix, &checkBuffer_, obj->motion, still)) {
                for (int r = 0; r < checkBuffer_.numReports && r < nCollideReportBuffer::MaxReports && n < max; r++) {
                    out[n] = checkBuffer_.reports[r];
                    out[n].objA = obj;
                    out[n++].objB = other;
                }
            }
            checkBuffer_.busy = false;
        }
    }
    return n;
}

// ---- line checks

int nCollideContext2::LineCheck(const line3& line, int classIndex, int mode, nCollideLineHit**& list) {
    lineCheckBusy_ = true;
    lineHits_.clear();
    std::memset(lineResult_, 0, sizeof(lineResult_));
    numLineResults_ = 0;
    for (int i = 0; i < numDynamic_; i++) checkLineObject(line, classIndex, dynamic_[i]);
    for (int i = 0; i < numStatic_; i++) checkLineObject(line, classIndex, static_[i]);
    lineCheckBusy_ = false;
    list = lineResult_;
    if (lineHits_.empty()) return 0;
    if (mode == LineNearest) {
        size_t best = 0;
        float bestDist = 0.0f;
        for (size_t i = 0; i < lineHits_.size(); i++) {
            vector3 d = lineHits_[i].position - line.b;
            float dist = d % d;
            if (i == 0 || dist < bestDist) {
                best = i;
                bestDist = dist;
            }
        }
        lineResult_[0] = &lineHits_[best];
        numLineResults_ = 1;
    } else {
        size_t n = lineHits_.size() < size_t(MaxLineResults) ? lineHits_.size() : size_t(MaxLineResults);
        for (size_t i = 0; i < n; i++) lineResult_[i] = &lineHits_[i];
        numLineResults_ = int(n);
    }
    return numLineResults_;
}

void nCollideContext2::checkLineObject(const line3& line, int classIndex, nCollideObject2* obj) {
    const nCollType type = server_->GetCollType(classIndex, obj->classIndex);
    if (type == COLLTYPE_IGNORE) return;
    nCollideShape2* shape = obj->shape.GetUnsafe();
    if (!shape) nKernelServer::FatalError("Aborting.");
    float t0, t1;
    if (!SweepSpheres(line.b, 0.01f, line.m, obj->curMatrix.Translation(), shape->GetRadius(), obj->motion, t0, t1)) {
        return;
    }
    if (shape->GetType() == nCollideShape2::QUICK) {
        // A radius-only shape has no line test of its own.
        if (server_->FirstSimpleShapeReport(classIndex, obj->classIndex)) {
            n_error("nCollideContext2::CheckLineObject, no line check aviable for simple collision! "
                    "(context '%s', classes %d and %d)\n",
                    GetName(), classIndex, obj->classIndex);
        }
        return;
    }
    // A "contact" line still asks the shape for its hits: the one it keeps must say
    // where the line met the object.
    checkBuffer_.Begin(type == COLLTYPE_CONTACT ? COLLTYPE_EXACT : type);
    if (shape->LineCheck(obj->curMatrix, line, &checkBuffer_, obj->motion)) {
        int n = checkBuffer_.numLineHits;
        if (n > nCollideReportBuffer::MaxLineHits) n = nCollideReportBuffer::MaxLineHits;
        if (type == COLLTYPE_CONTACT && n > 1) n = 1;
        for (int i = 0; i < n; i++) {
            nCollideLineHit hit = checkBuffer_.lineHits[i];
            hit.object = obj;
            lineHits_.push_back(hit);
        }
    }
    checkBuffer_.busy = false;
}

// ---- objects that die

void nCollideContext2::ForgetObject(const nCollideObject2* obj) {
    for (auto [table, count] : {std::pair{dynamic_, &numDynamic_}, std::pair{static_, &numStatic_}}) {
        int w = 0;
        for (int r = 0; r < *count; r++) {
            if (table[r] != obj) table[w++] = table[r];
        }
        *count = w;
    }
    bool removed = false;
    for (int i = 0; i < results_.pairs.Size();) {
        const nCollidePair& p = results_.pairs.GetElementAt(i);
        if (p.objA == obj || p.objB == obj) {
            results_.pairs.Remove(results_.pairs.GetKeyAt(i));
            removed = true;
        } else {
            i++;
        }
    }
    for (int i = 0; i < results_.reports.Size();) {
        const nCollideReport& r = results_.reports.GetElementAt(i);
        if (r.objA == obj || r.objB == obj) {
            results_.reports.Remove(results_.reports.GetKeyAt(i));
            removed = true;
        } else {
            i++;
        }
    }
    if (removed) {
        // The records moved: earlier query lists would point at other records.
        std::memset(results_.pairResult, 0, sizeof(results_.pairResult));
        std::memset(results_.reportResult, 0, sizeof(results_.reportResult));
    }
    int w = 0;
    for (int r = 0; r < numLineResults_; r++) {
        if (lineResult_[r]->object != obj) lineResult_[w++] = lineResult_[r];
    }
    for (int r = w; r < numLineResults_; r++) lineResult_[r] = nullptr;
    numLineResults_ = w;
    for (nCollideLineHit& h : lineHits_) {
        if (h.object == obj) h.object = nullptr;
    }
}

// ---- drawing

void nCollideContext2::visualizeObject(nGfxServer* gfx, const matrix44& viewer, nCollideObject2* obj) {
    gfx->SetMatrix(nGfxServer::MODELVIEW, viewer);
    vector3 p = obj->prevMatrix.Translation();
    vector3 q = p + obj->motion;
    gfx->Begin(3);
    gfx->Rgba(1.0f, 1.0f, 1.0f, 1.0f);
    gfx->Coord(p.x, p.y, p.z);
    gfx->Rgba(1.0f, 0.0f, 0.0f, 1.0f);
    gfx->Coord(q.x, q.y, q.z);
    if (obj->pairCount > 0 || obj->hitCount > 0 || obj->contactCount > 0) {
        gfx->Rgba(0.0f, 0.7f, 0.0f, 1.0f);
    } else {
        gfx->Rgba(obj->debugColor[0], obj->debugColor[1], obj->debugColor[2], obj->debugColor[3]);
    }
    gfx->End();
    if (nCollideShape2* shape = obj->shape.GetUnsafe()) {
        gfx->SetMatrix(nGfxServer::MODELVIEW, obj->curMatrix * viewer);
        shape->Visualize(gfx);
    }
}

namespace {

void Cross(nGfxServer* gfx, const vector3& p) {
    gfx->Rgba(1.0f, 1.0f, 0.0f, 1.0f);
    gfx->Coord(p.x - 0.5f, p.y, p.z);
    gfx->Coord(p.x + 0.5f, p.y, p.z);
    gfx->Coord(p.x, p.y - 0.5f, p.z);
    gfx->Coord(p.x, p.y + 0.5f, p.z);
    gfx->Coord(p.x, p.y, p.z - 0.5f);
    gfx->Coord(p.x, p.y, p.z + 0.5f);
}

void Needle(nGfxServer* gfx, const vector3& p, const vector3& d) {
    gfx->Rgba(1.0f, 0.0f, 0.0f, 1.0f);
    gfx->Coord(p.x, p.y, p.z);
    gfx->Coord(p.x + d.x, p.y + d.y, p.z + d.z);
}

}  // namespace

void nCollideContext2::Visualize(nGfxServer* gfx) {
    const matrix44 viewer = gfx->GetMatrix(nGfxServer::INVVIEWER);
    for (int i = 0; i < numDynamic_; i++) visualizeObject(gfx, viewer, dynamic_[i]);
    for (int i = 0; i < numStatic_; i++) visualizeObject(gfx, viewer, static_[i]);

    gfx->SetMatrix(nGfxServer::MODELVIEW, viewer);
    gfx->Begin(3);
    int n = results_.reports.Size() < 255 ? results_.reports.Size() : 255;
    for (int i = 0; i < n; i++) {
        const nCollideReport& r = results_.reports.GetElementAt(i);
        Cross(gfx, r.point1);
        Needle(gfx, r.point1, r.normal1 * r.depth);
        Cross(gfx, r.point2);
        Needle(gfx, r.point2, r.normal2 * r.depth);
    }
    gfx->End();
    if (numLineResults_ > 0) {
        gfx->Begin(3);
        for (int i = 0; i < numLineResults_; i++) {
            Cross(gfx, lineResult_[i]->position);
            Needle(gfx, lineResult_[i]->position, lineResult_[i]->normal);
        }
        gfx->End();
    }
}
