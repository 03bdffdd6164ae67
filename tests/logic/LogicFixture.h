#pragma once
// The script fixture with the logic classes registered, and a stand-in owner for
// persistent stores that counts how often its hooks run.
#include <string>

#include "logic/nLogicNode.h"
#include "logic/nPersistLogic.h"
#include "logic/nPersistOwner.h"
#include "tests/script/script_fixture.h"

class nTestPersistOwner : public nLogicNode {
public:
    static const nClassInfo classInfo;

    // Writes "state" = value into the store.
    void StoreToPersist(nPersistLogic* store) override;
    void RestoreFromPersist(nPersistLogic* store) override;

    int value = 0;
    int stores = 0;
    int restores = 0;
};

class nLogicFixture : public nScriptFixture {
protected:
    void SetUp() override;
};
