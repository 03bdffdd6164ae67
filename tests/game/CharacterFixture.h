#pragma once
// The game test kernel with the exact collide server, so bodies touch a floor and a wall
// through contact joints and ghosts (zones) meet them as pairs only, and a land character "/usr/logic/hero" with the animations
// "idle", "walk", "turn", "jump_start" and "jump_landing" (indices 0 to 4) and a ball of
// radius 0.5 for its body, standing on the floor.
#include <string>

#include "collide/nCollideServer2.h"
#include "game/nbwCharacter.h"
#include "logic/nModPhysikState.h"
#include "physics/nPhysikBody.h"
#include "scene/nChannelServer.h"
#include "tests/game/GameTestKernel.h"
#include "tests/logic/nRecordingVisualizer.h"

class CharacterFixture : public GameTestKernel {
protected:
    void SetUp() override {
        GameTestKernel::SetUp();
        kernel->AddClass(nRecordingVisualizer::classInfo);
        collide->Release();
        collide = static_cast<nCollideServer2*>(kernel->New("nxcollideserver", "/sys/servers/collide2"));
        for (const char* name : {"picking", "physik", "trigger", "damage"}) collide->NewContext(name);
        collide->BeginCollClasses();
        for (const char* name : {"solid", "ghost"}) collide->AddCollClass(name);
        collide->EndCollClasses();
        collide->BeginCollTypes();
        collide->AddCollType("solid", "solid", COLLTYPE_EXACT);
        collide->AddCollType("ghost", "solid", COLLTYPE_QUICK);
        collide->EndCollTypes();
        // A floor of 40 x 1 x 40 with its top at y = 0, and a wall whose face is x = 3.
        Static("/usr/logic/floor", "0, -0.5, 0", "40, 1, 40");
        Static("/usr/logic/wall", "3.5, 2, 0", "1, 4, 40");
        hero = NewCharacter("/usr/logic/hero", 0.5f);
    }

    // A static solid box of the given centre and size.
    void Static(const char* path, const char* at, const char* size) {
        ASSERT_TRUE(Run(std::string("new('nlogiccollision2', '") + path + "') sel('" + path + "') txyz(" + at +
                        ") new('nmodexactcollision', 'shape') sel('shape') setcollclass('solid') setbox(" + size +
                        ") sel('..') addcollision('physik', 'shape') setcollcontext('physik', 'physik')"));
    }
    // A character with a ball body whose centre stands at height `y`, selected.
    nbwCharacter* NewCharacter(const char* path, float y) {
        auto* c = static_cast<nbwCharacter*>(kernel->New("nbwcharacter", path));
        EXPECT_TRUE(Run(std::string("sel('") + path + "') txyz(0, " + std::to_string(y) +
                        ", 0) beginanims(5) setanimchn(0, 'idle', 0, false) setanimchn(1, 'walk', 0, false)"
                        " setanimchn(2, 'turn', 0, false) setanimchn(3, 'jump_start', 0, false)"
                        " setanimchn(4, 'jump_landing', 0, false) endanims()"
                        " new('nmodexactcollision', 'shape') sel('shape') setcollclass('solid') setsphere(0.5)"
                        " setdynamic(true) sel('..') addcollision('physik', 'shape') setcollcontext('physik', 'physik')"
                        " new('nmodphysik', 'mass') sel('mass') setsphere(0.5) sel('..') addphysik('physik', 'mass')"));
        return c;
    }
    static nPhysikBody* Body(nbwCharacter* c) { return c->GetPhysikState()->GetBody(); }
    // The frame time the next moves see, as the observer sets it before the scripts run.
    void SetFrameTime(float dt) { channels->SetChannel1f(channels->GenChannel("frametime"), dt); }
    static bool Near(const vector3& got, const vector3& want, float tolerance) { return got.isequal(want, tolerance); }

    nbwCharacter* hero = nullptr;
};
