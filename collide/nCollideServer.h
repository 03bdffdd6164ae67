#pragma once
// The engine's simple collide server (script class "ncollideserver", at
// "/sys/servers/collide"): collision classes and pair types, persistent contexts and
// shapes shared by name with a reference count. The collide node uses it.
#include <cstdint>

#include "collide/nCollClassTable.h"
#include "collide/nCollType.h"
#include "kernel/nHashList.h"
#include "kernel/nList.h"
#include "kernel/nRoot.h"

class nCollideContext;
class nCollideShape;

class nCollideServer : public nRoot {
public:
    static const nClassInfo classInfo;

    nCollideServer();
    ~nCollideServer() override;

    virtual nCollideContext* NewContext();
    // The shape of that resource name with one more reference; a new one (not ready)
    // when there is none. A null name gets "res<n>".
    virtual nCollideShape* NewShape(int shapeType, const char* name);
    virtual void ReleaseContext(nCollideContext* ctx);
    // One reference less; deleted at 0.
    virtual void ReleaseShape(nCollideShape* shape);
    // Made on first use.
    virtual nCollideContext* GetDefaultContext();
    // -1 (logged) for an unknown name: collides with nothing.
    virtual int QueryCollClass(const char* name);
    virtual nCollType QueryCollType(const char* name1, const char* name2);

    void BeginCollClasses() { classes_.BeginCollClasses(); }
    void AddCollClass(const char* name) { classes_.AddCollClass(name); }
    void EndCollClasses() { classes_.EndCollClasses(); }
    void BeginCollTypes() { classes_.BeginCollTypes(); }
    void AddCollType(const char* name1, const char* name2, nCollType type) { classes_.AddCollType(name1, name2, type); }
    void EndCollTypes() { classes_.EndCollTypes(); }
    nCollType GetCollType(int index1, int index2) const { return classes_.GetCollType(index1, index2); }
    int GetNumCollClasses() const { return classes_.GetNumCollClasses(); }

    nCollideShape* FindShape(const char* resourceName) const;
    // The resource name of `name`: "res<n>" for null, else the last 511 characters with
    // '.', '/', '\' and ':' made '_'.
    void MakeResourceName(const char* name, char* buf, size_t size);

private:
    int32_t uniqueCounter_ = 0;
    nList contexts_;
    nHashList shapes_{16};
    nCollideContext* defaultContext_ = nullptr;
    nCollClassTable classes_{this};
};
