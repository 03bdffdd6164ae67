#pragma once
// The collide server the game runs on (script class "ncollideserver2"): named collision
// classes with a symmetric table of pair types, the named collide contexts, and the
// collide shapes shared by name under "/sys/share/collideshapes". The logic graph opens
// and closes each frame's collision phase here.
#include <cstdint>
#include <set>
#include <utility>

#include "collide/nCollClassTable.h"
#include "collide/nCollType.h"
#include "kernel/nHashList.h"
#include "kernel/nList.h"
#include "kernel/nRef.h"
#include "kernel/nRoot.h"

class nCollideContext2;
class nCollideShape2;
class nGfxServer;

class nCollideServer2 : public nRoot {
public:
    static const nClassInfo classInfo;
    // Pair keys keep 16 bits of each id.
    static constexpr int32_t MaxObjectIds = 65536;

    nCollideServer2();
    ~nCollideServer2() override;

    virtual nCollideContext2* NewContext(const char* name);
    virtual void ReleaseContext(nCollideContext2* ctx);
    // The shared shape of that name (the object name made by MakeShapeName), with one
    // more reference; a new one (reference count 1, not ready) when there is none.
    virtual nCollideShape2* NewShape(int shapeType, const char* name);
    // Index of the class; -1 (logged) for an unknown name, which collides with nothing.
    virtual int QueryCollClass(const char* name);
    virtual nCollType QueryCollType(const char* name1, const char* name2);

    // Classes and pair types: see nCollClassTable.
    void BeginCollClasses() { classes_.BeginCollClasses(); }
    void AddCollClass(const char* name) { classes_.AddCollClass(name); }
    void EndCollClasses() { classes_.EndCollClasses(); }
    void BeginCollTypes() { classes_.BeginCollTypes(); }
    void AddCollType(const char* name1, const char* name2, nCollType type) { classes_.AddCollType(name1, name2, type); }
    void EndCollTypes() { classes_.EndCollTypes(); }
    nCollType GetCollType(int index1, int index2) const { return classes_.GetCollType(index1, index2); }
    int GetNumCollClasses() const { return classes_.GetNumCollClasses(); }

    nCollideContext2* FindContext(const char* name) const;
    nCollideContext2* GetFirstContext() const;
    nCollideContext2* GetNextContext(nCollideContext2* ctx) const;

    void BeginFrame();
    void EndFrame();
    bool InFrame() const { return inFrame_; }
    // Every context's Collide, in list order (the newest context first).
    void Collide();
    void Visualize(nGfxServer* gfx);

    // The id for the next object registered this frame; -1 once the frame's ids are
    // used up.
    int32_t TakeObjectId() { return objectIdCounter_ < MaxObjectIds ? objectIdCounter_++ : -1; }

    // A shape's object name: the last 511 characters with '.', '/', '\' and ':' made '_'.
    static void MakeShapeName(const char* name, char* buf, size_t size);

    // True the first time a class pair is reported as asking for an exact test of a
    // radius-only shape.
    bool FirstSimpleShapeReport(int class1, int class2);
    // Drops the object from every context's tables and results (its destructor).
    void ForgetObject(const class nCollideObject2* obj);

protected:
    nRoot* GetShapesRoot() const { return shapesRoot_.GetUnsafe(); }

private:
    bool inFrame_ = false;
    int32_t objectIdCounter_ = 0;
    nHashList contexts_;
    nRef<nRoot> shapesRoot_;
    nCollClassTable classes_{this};
    std::set<std::pair<int, int>> simpleShapeReports_;
};
