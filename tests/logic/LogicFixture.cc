#include "tests/logic/LogicFixture.h"

#include "logic/nLogicPackage.h"

const nClassInfo nTestPersistOwner::classInfo = nClassInfo::Make<nTestPersistOwner>("ntestpersistowner", "nlogicnode");

void nTestPersistOwner::StoreToPersist(nPersistLogic* store) {
    stores++;
    nVariable v;
    v.SetI(value);
    store->SetVar("state", v);
}

void nTestPersistOwner::RestoreFromPersist(nPersistLogic* store) {
    restores++;
    nLogicNode::RestoreFromPersist(store);
    if (const nVariable* v = store->GetVar("state")) value = v->GetI();
}

void nLogicFixture::SetUp() {
    nScriptFixture::SetUp();
    nLogicPackage(kernel);
    kernel->AddClass(nTestPersistOwner::classInfo);
}
