#pragma once
// The logic graph's fixture with the exact collide server in place of the plain one, so
// collision modules get box, sphere, cylinder and mesh shapes, and a collision state on a
// test node to run modules in.
#include "collide/nCollideContext2.h"
#include "collide/nCollideServer2.h"
#include "logic/nModCollisionState.h"
#include "scene/nChannelServer.h"
#include "tests/logic/GraphFixture.h"

// Puts the exact collide server in place of `plain` (released) with the contexts
// "picking", "physik" and "trigger" and the classes "solid" (meeting exactly) and "ghost".
inline nCollideServer2* ExactCollideServer(nKernelServer* kernel, nCollideServer2* plain) {
    plain->Release();
    auto* collide = static_cast<nCollideServer2*>(kernel->New("nxcollideserver", "/sys/servers/collide2"));
    for (const char* name : {"picking", "physik", "trigger"}) collide->NewContext(name);
    collide->BeginCollClasses();
    for (const char* name : {"solid", "ghost"}) collide->AddCollClass(name);
    collide->EndCollClasses();
    collide->BeginCollTypes();
    collide->AddCollType("solid", "solid", COLLTYPE_EXACT);
    collide->EndCollTypes();
    return collide;
}

// Ghosts (zones, fields) then meet solids (bodies) by their bounding spheres alone: a
// pair record, no contact joint.
inline void LetGhostsMeetSolids(nCollideServer2* collide) {
    collide->BeginCollTypes();
    collide->AddCollType("solid", "solid", COLLTYPE_EXACT);
    collide->AddCollType("ghost", "solid", COLLTYPE_QUICK);
    collide->EndCollTypes();
}

class PhysikFixture : public GraphFixture {
protected:
    void SetUp() override {
        GraphFixture::SetUp();
        collide = ExactCollideServer(kernel, collide);
        holder = NewNode("/usr/logic/holder", "");
        state = static_cast<nModCollisionState*>(holder->AddModuleState(new nModCollisionState("physik", holder)));
        state->SetContext("physik");
    }

    // A logic frame with the frame time in the "frametime" channel, as the observer sets it.
    void Frame(float dt) {
        auto* channels = static_cast<nChannelServer*>(Lookup("/sys/servers/channel"));
        channels->SetChannel1f(channels->GenChannel("frametime"), dt);
        LogicFrame(dt);
    }
    void GhostsMeetSolids() { LetGhostsMeetSolids(collide); }
    nCollideContext2* Context(const char* name = "physik") { return collide->FindContext(name); }
    // One registration frame of the holder's state at `world` and state time `time`.
    void CollideAt(const matrix44& world, float time) {
        collide->BeginFrame();
        state->SetTime(time);
        state->Collide(world);
        collide->EndFrame();
    }
    static matrix44 At(float x, float y, float z) {
        matrix44 m;
        m.SetTranslation(vector3(x, y, z));
        return m;
    }

    nTestLogicNode* holder = nullptr;
    nModCollisionState* state = nullptr;
};
