#pragma once
// The exact collide server's fixture with the game's classes: zones ("ghost") see
// bodies ("solid") by their spheres, and items keep their damage zones in the context
// "damage".
#include "game/nGamePackage.h"
#include "tests/logic/PhysikFixture.h"

class GameZoneFixture : public PhysikFixture {
protected:
    void SetUp() override {
        PhysikFixture::SetUp();
        GhostsMeetSolids();
        collide->NewContext("damage");
        nGamePackage(kernel);
    }
};
