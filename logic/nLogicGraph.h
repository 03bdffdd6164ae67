#pragma once
// Turns the logic tree into flat per-frame work (script class "nlogicgraph", one object at
// "/sys/servers/lgraph"): a traversal from the current camera enters one record per visual
// logic node with its world matrix and visual parent, sorts the records into the visible,
// collision, physics and 2D lists, and then analyses collisions, steps physics and renders
// over those lists. It also releases the nodes whose release was deferred to the next frame.
// The tables are fixed: what does not fit is left out of the frame and logged once a frame.
#include <cstdint>

#include "kernel/matrix44.h"
#include "kernel/nArray.h"
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "kernel/nRoot.h"

class nCollideServer2;
class nGfxServer;
class nLogicEventRecord;
class nLogicEventServer;
class nLogicNode;
class nPhysikServer;
class nSceneGraph2;
class nSpecialFxServer;

struct nLogicGraphRecord {
    // Record of the nearest visual ancestor entered this frame; null at the top.
    nLogicGraphRecord* parent = nullptr;
    nLogicNode* node = nullptr;
    // Set when the node's StepPhysik moved it this frame.
    bool moved = false;
    matrix44 world;
};

class nLogicGraph : public nRoot {
public:
    static const nClassInfo classInfo;

    static constexpr int MaxRecords = 2048;
    static constexpr int MaxDepth = 64;
    static constexpr int MaxPhysik = 256;
    static constexpr int Max2D = 256;
    // What can overflow in a frame; each is logged once a frame.
    enum Overflow { RecordsFull = 1, TooDeep = 2, PhysikListFull = 4, List2DFull = 8, BodyTableFull = 16 };

    // Makes "/sys/servers/logicinput" (or holds the one there) for its lifetime.
    nLogicGraph();
    ~nLogicGraph() override;

    void SetDebug(bool on) { debug_ = on; }
    bool GetDebug() const { return debug_; }

    // The passes are virtual so that the frame loop's order can be watched; each runs
    // once a frame (the per-node work inside them is not virtual).
    // Start of a frame: releases every node queued since the last call, once each;
    // nodes destroyed meanwhile are skipped.
    virtual void ReleaseQueued();
    void QueueRelease(nLogicNode* node);
    int GetNumQueued() const { return releaseCount_; }

    // Traverses `logicRoot` from the current camera (nothing without one, or without a
    // root) and builds the four lists.
    virtual void TraversePass(nLogicNode* logicRoot);
    // Every collide context checks its pairs, then every collision node analyses them.
    virtual void AnalyseCollisions();
    // The physics world steps, then every physics node takes its body's matrix. When every
    // physics node steps finely the frame's time is cut into equal steps of at most
    // MaxSubStep, so that what a body meets does not depend on the frame's length.
    virtual void Step(float frameTime);
    static constexpr float MaxSubStep = 1.0f / 60.0f;
    // How many steps a frame of `frameTime` takes when its bodies step finely.
    static int SubSteps(float frameTime);
    // The visible records into the scene graph, the scene drawn, then the 2D records.
    virtual void VisualPass();

    // From a visual node's Traverse: false (logged once a frame) when the record table
    // or the nesting is full; the node then leaves itself and its subtree out.
    bool PushRecord(nLogicNode* node, const matrix44& world) {
        if (recordCount_ >= MaxRecords || depth_ >= MaxDepth) return RefuseRecord();
        nLogicGraphRecord& r = records_[recordCount_++];
        r.node = node;
        r.moved = false;
        r.world = world;
        r.parent = depth_ > 0 ? parentStack_[depth_ - 1] : nullptr;
        parentStack_[depth_++] = &r;
        return true;
    }
    void PopRecord() { depth_--; }

    // Logs an overflow of that kind unless it was logged this frame already.
    void NoteOverflow(Overflow kind);

    int GetNumRecords() const { return recordCount_; }
    nLogicGraphRecord& GetRecord(int i) { return records_[i]; }
    int GetVisibleCount() const { return visibleCount_; }
    int GetCollisionCount() const { return collisionCount_; }
    int GetPhysikCount() const { return physikCount_; }
    int Get2DCount() const { return count2D_; }
    int GetVisible(int i) const { return visibleList_[i]; }
    int GetCollision(int i) const { return collisionList_[i]; }
    int GetPhysik(int i) const { return physikList_[i]; }
    int Get2D(int i) const { return list2D_[i]; }
    const matrix44& GetRootMatrix() const { return rootMatrix_; }
    // The event server's record "logicgraph" (it owns it); null without an event server.
    nLogicEventRecord* GetEventRecord();

    // The parts of TraversePass, public for tests and benchmarks.
    void BeginTraversal();
    void EndTraversal();
    void BuildLists();
    void DebugVisualize();

private:
    // Logs why a record was refused; false.
    bool RefuseRecord();

    bool debug_ = false;
    int recordCount_ = 0;
    // Apart from the record count: the two change in the same call, and one load of both
    // after two separate stores stalls.
    nLogicGraphRecord* parentStack_[MaxDepth] = {};
    int depth_ = 0;
    int visibleCount_ = 0;
    int collisionCount_ = 0;
    int physikCount_ = 0;
    int count2D_ = 0;
    uint32_t overflowLogged_ = 0;
    matrix44 rootMatrix_;
    nLogicGraphRecord records_[MaxRecords];
    uint16_t visibleList_[MaxRecords] = {};
    uint16_t collisionList_[MaxRecords] = {};
    uint16_t physikList_[MaxPhysik] = {};
    uint16_t list2D_[Max2D] = {};

    nPathRef<nGfxServer> refGfx_{"/sys/servers/gfx"};
    nPathRef<nCollideServer2> refCollide_{"/sys/servers/collide2"};
    nPathRef<nLogicEventServer> refEvent_{"/sys/servers/event"};
    nPathRef<nSceneGraph2> refSceneGraph_{"/sys/servers/sgraph2"};
    nPathRef<nSpecialFxServer> refSpecialFx_{"/sys/servers/specialfx"};
    nPathRef<nRoot> refCamera_{"/sys/servers/camera"};
    nPathRef<nPhysikServer> refPhysik_{"/sys/servers/physik"};

    // Entries are kept between frames and reused, so queueing allocates only when the
    // list grows past its largest size so far.
    nArray<nRef<nLogicNode>*> releaseList_{32, 32};
    int releaseCount_ = 0;
    nRef<nRoot> logicInputServer_;
};
