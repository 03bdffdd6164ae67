#pragma once
// One independent collision world of the collide server: the collide objects that the
// collision modules register each frame, checked pair by pair once a frame (by class
// type, a moving bounding-sphere sweep first, then the shapes' own test), with the
// frame's pair records and contact reports kept for the logic nodes' queries.
#include <cstdint>
#include <vector>

#include "collide/nCollType.h"
#include "collide/nCollideReport.h"
#include "collide/nCollideReportBuffer.h"
#include "kernel/line3.h"
#include "kernel/matrix44.h"
#include "kernel/nHashNode.h"
#include "kernel/nKeyArray.h"

class nCollideServer2;
class nCollideObject2;
class nCollideShape2;
class nGfxServer;
class nModuleState;

// The frame's results, keyed by pair key and kept in key order.
class nCollideReportTable {
public:
    static constexpr int MaxQueryResults = 255;

    // Room for a level's contacts from the start: a frame that meets more pairs than any
    // before it would otherwise allocate.
    nCollideReportTable() : pairs(256, 64), reports(256, 64) {}

    bool busy = false;
    nKeyArray<nCollidePair> pairs;
    nKeyArray<nCollideReport> reports;
    // Results of the last GetCollisions / GetContacts.
    nCollidePair* pairResult[MaxQueryResults] = {};
    nCollideReport* reportResult[MaxQueryResults] = {};
};

class nCollideContext2 : public nHashNode {
public:
    static constexpr int MaxStatic = 355;
    static constexpr int MaxDynamic = 255;
    static constexpr int MaxLineResults = 256;
    // Line-check modes: the nearest hit only, or every hit.
    static constexpr int LineNearest = 2;

    nCollideContext2(nCollideServer2* server, const char* name);
    virtual ~nCollideContext2();
    nCollideContext2(const nCollideContext2&) = delete;
    nCollideContext2& operator=(const nCollideContext2&) = delete;

    // Adds the object to this frame's dynamic or static table (by obj->dynamic), giving
    // it the server's next object id. False (logged once per frame) when the table or
    // the frame's ids are used up: the object then takes no part this frame.
    bool AddObject(nCollideObject2* obj);
    // Empties both tables (the server's BeginFrame).
    void BeginFrame();
    void SetActive(bool active) { active_ = active; }
    bool IsActive() const { return active_; }

    // Checks every pair; returns the number of pair records plus contact reports.
    int Collide();
    // The pair records (contact reports) in which object A's or B's state is `state`,
    // in key order, at most 255. The list lives until the next query of either kind.
    int GetCollisions(const nModuleState* state, nCollidePair**& list);
    int GetContacts(const nModuleState* state, nCollideReport**& list);
    // The contact reports of `obj`, one of this frame's objects moved again since Collide
    // (its previous matrix and motion say from where), against every other object of
    // another owner where they stand now: at most `max` into `out`, `obj` as object A.
    // The frame's results stay as they are.
    int ContactsOf(nCollideObject2* obj, nCollideReport* out, int max);
    // Hits of `line` (start and displacement) for a ray of class `classIndex`: mode 2
    // the nearest hit only, other modes every hit (at most 256).
    int LineCheck(const line3& line, int classIndex, int mode, nCollideLineHit**& list);

    virtual void Visualize(nGfxServer* gfx);

    // Moving-sphere sweep: true when the spheres touch at the start of the step, or
    // meet and part again within it; t0 <= t1 are the contact times.
    static bool SweepSpheres(const vector3& pa, float ra, const vector3& da, const vector3& pb, float rb,
                             const vector3& db, float& t0, float& t1);
    // Key of a pair of object ids, the same in both orders.
    static uint32_t PairKey(int32_t a, int32_t b);

    nCollideServer2* GetServer() const { return server_; }
    int GetNumStatic() const { return numStatic_; }
    int GetNumDynamic() const { return numDynamic_; }
    nCollideObject2* GetStatic(int i) const { return static_[i]; }
    nCollideObject2* GetDynamic(int i) const { return dynamic_[i]; }
    int GetNumPairs() const { return results_.pairs.Size(); }
    int GetNumReports() const { return results_.reports.Size(); }
    const nCollidePair& GetPair(int i) const { return results_.pairs.GetElementAt(i); }
    const nCollideReport& GetReport(int i) const { return results_.reports.GetElementAt(i); }
    nCollideReportBuffer& GetCheckBuffer() { return checkBuffer_; }

    // Drops `obj` from the tables and every result, so nothing points at it once it dies.
    void ForgetObject(const nCollideObject2* obj);

private:
    // What a pair check reads of an object, gathered once per Collide.
    struct Entry {
        nCollideObject2* obj;
        nCollideShape2* shape;
        vector3 pos;
        float radius;
    };
    void gather(Entry* out, nCollideObject2* const* objs, int n);
    void checkCollision(const Entry& a, const Entry& b);
    void checkLineObject(const line3& line, int classIndex, nCollideObject2* obj);
    void visualizeObject(nGfxServer* gfx, const matrix44& viewer, nCollideObject2* obj);

    nCollideServer2* server_;
    nCollideReportTable results_;
    bool lineCheckBusy_ = false;
    std::vector<nCollideLineHit> lineHits_;
    nCollideLineHit* lineResult_[MaxLineResults] = {};
    int numLineResults_ = 0;
    nCollideObject2* static_[MaxStatic] = {};
    nCollideObject2* dynamic_[MaxDynamic] = {};
    int numStatic_ = 0;
    int numDynamic_ = 0;
    Entry staticEntries_[MaxStatic];
    Entry dynamicEntries_[MaxDynamic];
    nCollideReportBuffer checkBuffer_;
    bool active_ = false;
    bool overflowLogged_ = false;
};
