#pragma once
// A school (script class "nlogicflock"): keeps its boids in a block list, confines them
// to a box whose half extent is the boids' boundary radius, and once a frame works out
// which boid sees which, so that the boids' steering reads a table instead of testing
// every pair itself.
#include "kernel/nArray.h"
#include "kernel/vector3.h"
#include "logic/nBlockList.h"
#include "logic/nLogicVisual2.h"

class nLogicBoid;

class nLogicFlock : public nLogicVisual2 {
public:
    static const nClassInfo classInfo;
    using BoidList = nBlockList<nLogicBoid*>;

    nLogicFlock();
    // Releases each boid once, after taking the list from them, so that a boid a script
    // still holds neither keeps the loop waiting nor touches the flock later.
    ~nLogicFlock() override;
    bool SaveCmds(nPersistServer* ps) override;

    // Rebuilds the table when boids came or went, fills it, then serves the boids.
    bool Trigger(nLogicGraph* graph) override;
    // The visualizer state, and the box in debug mode.
    void Visualize(nSceneGraph2* sceneGraph, const matrix44& world) override;

    // Whether boid a sees boid b by the last table; false for a boid the table does not
    // number yet (one that joined since the last rebuild) and for a boid itself.
    virtual bool Sees(const nLogicBoid* a, const nLogicBoid* b) const;
    virtual BoidList& GetBoids() { return boids_; }
    // Handed out to whoever needs a second list; the flock neither fills nor reads it.
    virtual BoidList& GetSecondList() { return second_; }

    // Membership, for the boids: each join or leave has the table rebuilt.
    void Join(nLogicBoid* boid);
    void Leave(nLogicBoid* boid);
    bool IsTableDirty() const { return dirty_; }
    int GetTableSize() const { return tableSize_; }
    // While the table is clean: the boids by table index, and a boid's row of the table
    // (what it sees), read in the frame's loops without going through the list.
    nLogicBoid* const* GetMembers() const { return members_.begin(); }
    const int* GetRow(int index) const { return &table_[index * tableSize_]; }

    // Stored as given; the extent is the largest side.
    void SetBox(const vector3& min, const vector3& max);
    const vector3& GetBoxMin() const { return boxMin_; }
    const vector3& GetBoxMax() const { return boxMax_; }
    float GetExtent() const { return extent_; }
    // The boids' boundary radius: half the extent.
    float GetRadius() const { return extent_ * 0.5f; }
    void SetDebugMode(bool on) { debug_ = on; }
    bool GetDebugMode() const { return debug_; }

private:
    void rebuildTable();

    BoidList boids_{64};
    BoidList second_{64};
    int tableSize_ = 0;
    bool dirty_ = true;
    // tableSize_ x tableSize_ entries: 1 when the row's boid sees the column's, -1 when not.
    nArray<int> table_{0, 64};
    nArray<nLogicBoid*> members_{0, 64};
    float extent_ = 20.0f;
    bool debug_ = false;
    vector3 boxMax_{10.0f, 6.0f, 10.0f};
    vector3 boxMin_{-10.0f, 1.0f, -10.0f};
};
