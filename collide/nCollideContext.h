#pragma once
// A persistent world of the simple collide server: objects stay attached until their
// owner removes them. Collide finds candidate pairs by sweeping the x-sorted box ends,
// then checks each by the pair type of the two classes; the sphere and line queries
// look at the attached objects.
#include <cstdint>

#include "collide/nCollType.h"
#include "kernel/line3.h"
#include "kernel/nKeyArray.h"
#include "kernel/nList.h"
#include "kernel/vector3.h"

class nCollideObject;
class nCollideServer;
class nGfxServer;

// A pair collision or a query hit. A query fills both objects with the object found.
struct nCollisionRecord {
    nCollideObject* objA = nullptr;
    nCollideObject* objB = nullptr;
    double time = 0.0;
    vector3 point;
    vector3 normal;
    vector3 normal2;
    float value = 0.0f;
    vector3 extra;
};

class nCollideContext {
public:
    static constexpr int MaxResults = 256;
    // Sub-steps of a "contact" or "exact" pair: a teleport of a tiny object must not
    // stall the frame.
    static constexpr int MaxSubSteps = 1000;
    // Query modes.
    static constexpr int FirstOnly = 1;
    static constexpr int Nearest = 2;

    explicit nCollideContext(nCollideServer* server);
    virtual ~nCollideContext();
    nCollideContext(const nCollideContext&) = delete;
    nCollideContext& operator=(const nCollideContext&) = delete;

    virtual nCollideObject* NewObject();
    // Removes it when attached, then deletes it.
    virtual void ReleaseObject(nCollideObject* obj);
    virtual void AddObject(nCollideObject* obj);
    virtual void RemoveObject(nCollideObject* obj);
    // Checks every candidate pair; the number of records.
    virtual int Collide();
    virtual void Visualize(nGfxServer* gfx);
    // The records `obj` takes part in (at most 256); 0 when it had no collision.
    virtual int GetCollisions(nCollideObject* obj, nCollisionRecord**& list);
    // Mode 2: the hit nearest to the query's start only; mode 1 (line): stops at the
    // first hit; otherwise every hit, at most 256.
    virtual int MovingSphereCheck(const vector3& centre, float radius, const vector3& motion, int classIndex, int mode,
                                  nCollisionRecord**& list);
    virtual int LineCheck(const line3& line, int mode, int classIndex, nCollisionRecord**& list);
    virtual int SphereCheck(const vector3& centre, float radius, int mode, int classIndex, nCollisionRecord**& list);

    // Both matrices of every attached object become the identity.
    void ResetTransforms();
    // Moves the object's markers to their sorted places (the object's box changed).
    void UpdateMarkers(nCollideObject* obj);

    nCollideServer* GetServer() const { return server_; }
    int GetNumRecords() const { return records_.Size(); }
    const nCollisionRecord& GetRecord(int i) const { return records_.GetElementAt(i); }
    // The x-sorted box ends, for checks of the order.
    nList& GetAxisList() { return axisList_; }

private:
    friend class nCollideServer;
    void checkPair(nCollideObject* a, nCollideObject* b, nCollType type);
    int finishQuery(const vector3& origin, int mode, nCollisionRecord**& list);

    nNode serverNode_;
    nKeyArray<nCollisionRecord> records_{128, 128};
    nKeyArray<nCollisionRecord> queries_{128, 128};
    nCollisionRecord* results_[MaxResults] = {};
    nCollideServer* server_;
    nList objects_;
    nList axisList_;
    nList attached_;
    int32_t idCounter_ = 0;
};
