// The lift basket's open screen on the OpenGL device: the selector and the inventory bar
// with its slots, read back at 800 x 600.
#include <gtest/gtest.h>

#include "collide/nCollideServer2.h"
#include "game/nGamePackage.h"
#include "input/nInputPackage.h"
#include "game/nbwContainer.h"
#include "game/nbwElevator.h"
#include "logic/nLogicFlash.h"
#include "tests/game/GameTestKernel.h"
#include "tests/logic/SpriteFixture.h"

namespace {

class ElevatorDrawTest : public SpriteFixture {
protected:
    void SetUp() override {
        SpriteFixture::SetUp();
        // Actors and items collide and swim: their servers, as the game test kernel has them.
        auto* collide = static_cast<nCollideServer2*>(kernel->New("ncollideserver2", "/sys/servers/collide2"));
        for (const char* c : {"picking", "physik", "damage"}) collide->NewContext(c);
        kernel->New("nodephysikserver", "/sys/servers/physik");
        kernel->New("nlogiceventserver", "/sys/servers/event");
        nInputPackage(kernel);
        kernel->New("ninputserver", "/sys/servers/input");
        nGamePackage(kernel);
        kernel->AddClass(nTestActor::classInfo);
        if (!kernel->Lookup("/sys/servers/time")) kernel->New("ntimeserver", "/sys/servers/time");
    }
};

TEST_F(ElevatorDrawTest, TheOpenScreenShowsTheSelectorOverTheBar) {
    Open(800, 600);
    ASSERT_TRUE(Run(R"lua(
        new('ntestactor', '/usr/logic/d') new('nbwcontainer', '/usr/logic/d/inv')
        new('nbwitem', '/usr/logic/d/inv/hand') sel('/usr/logic/d/inv/hand') setstring('type', 'hand')
        new('nbwelevator', '/usr/logic/b') new('nbwcontainer', '/usr/logic/b/inventory')
        sel('/usr/logic/b') setpath('inventory', '/usr/logic/b/inventory')
        new('nlogicnode', '/usr/logic/b/static') new('nlogicinput', '/usr/logic/b/menuinput')
        new('nlogicflash', '/usr/logic/b/selection') sel('/usr/logic/b/selection')
        settexture('home:flash/inventorybar.movie')
    )lua"));
    auto* selection = static_cast<nLogicFlash*>(kernel->Lookup("/usr/logic/b/selection"));
    selection->SetPosition(100.0f, 500.0f);
    selection->SetDimension(250.0f, 64.0f);
    selection->SetActive(false);
    auto* selector = static_cast<nLogicSprite*>(kernel->New("nlogicsprite", "/usr/logic/b/selector"));
    selector->SetPosition(108.0f, 499.0f);
    selector->SetDimension(40.0f, 66.0f);
    selector->SetColor(0.0f, 1.0f, 0.0f, 1.0f);
    selector->SetActive(false);
    Frame();
    EXPECT_TRUE(bwtest::ColorNear(At(128, 530), Black));

    auto* basket = static_cast<nbwElevator*>(kernel->Lookup("/usr/logic/b"));
    basket->Use(kernel->Lookup("/usr/logic/d/inv/hand"));
    ASSERT_TRUE(basket->IsOpen());
    Frame();
    Frame();
    EXPECT_TRUE(bwtest::ColorNear(At(128, 530), 0xFF00FF00u));
    // The bar's own background shows right of the selector.
    EXPECT_FALSE(bwtest::ColorNear(At(330, 540), Black));
}

}  // namespace
