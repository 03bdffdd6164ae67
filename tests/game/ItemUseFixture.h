#pragma once
// The game fixture on the exact collide server (ghosts meet solids by their spheres,
// solids exactly), with the collide context "damage", a diver-like test actor whose paths
// are "hand", "inventory" and "target", and a level whose objects keep stores.
#include <string>

#include "game/nbwItem.h"
#include "tests/game/GameTestKernel.h"
#include "tests/logic/PhysikFixture.h"

class nTestDiver : public nTestActor {
public:
    static const nClassInfo classInfo;
    enum DiverPath { DiverHand = 0, Inventory = 1, DiverTarget = 2 };
    const char* const* GetPathNames() const override;
};

class ItemUseFixture : public GameTestKernel {
protected:
    void SetUp() override;

    // An object of `cls` at `path` linked to its own store at `store`.
    nLogicNode* Stored(const char* cls, const std::string& path, const std::string& store);
    nbwItem* Item(const std::string& path) { return static_cast<nbwItem*>(Lookup(path.c_str())); }
    // The "frametime" channel, which the items read for wear and progress.
    void SetFrameTime(float dt);
};
