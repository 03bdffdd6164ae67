#pragma once
// The persistent store of one logic node (script class "npersistlogic"): a typed
// variable store that also knows the path of its owner, so that the node can be
// destroyed and rebuilt while its state survives here and is saved with the store.
#include <string>

#include "kernel/nPathRef.h"
#include "logic/nPersist.h"

class nPersistOwner;

class nPersistLogic : public nPersist {
public:
    static const nClassInfo classInfo;

    nPersistLogic();
    ~nPersistLogic() override;

    // Has the owner write its current state into the store first, then writes the
    // variables as nPersist does. The owner path itself is never written: the owner
    // sets it again when it links to the store.
    bool SaveCmds(nPersistServer* ps) override;

    // Relative paths resolve from this store; null or "" clears the owner.
    void SetOwner(const char* path);
    // The stored path text, "" when none.
    const char* GetOwnerPath() const;
    // The owner when the path resolves to an object with the persist hooks; an object
    // without them counts as no owner (logged once per path).
    nPersistOwner* GetOwner();

private:
    nPathRef<nRoot> ownerRef_;
    bool warnedOwner_ = false;
};
