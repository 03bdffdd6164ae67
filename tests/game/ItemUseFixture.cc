#include "tests/game/ItemUseFixture.h"

const nClassInfo nTestDiver::classInfo = nClassInfo::Make<nTestDiver>("ntestdiver", "ntestactor");

const char* const* nTestDiver::GetPathNames() const {
    static const char* const names[] = {"hand", "inventory", "target", nullptr};
    return names;
}

void ItemUseFixture::SetUp() {
    GameTestKernel::SetUp();
    collide = ExactCollideServer(kernel, collide);
    collide->NewContext("damage");
    LetGhostsMeetSolids(collide);
    kernel->AddClass(nTestDiver::classInfo);
    ASSERT_TRUE(Run("new('npersistlogic', '/usr/persist/level') new('nlogicnode', '/usr/logic/level')"
                    " sel('/usr/logic/level') setpersist('/usr/persist/level')"));
}

nLogicNode* ItemUseFixture::Stored(const char* cls, const std::string& path, const std::string& store) {
    kernel->New("npersistlogic", store.c_str());
    auto* obj = static_cast<nLogicNode*>(kernel->New(cls, path.c_str()));
    obj->SetPersist(store.c_str());
    return obj;
}

void ItemUseFixture::SetFrameTime(float dt) {
    channels->SetChannel1f(channels->GenChannel("frametime"), dt);
}
