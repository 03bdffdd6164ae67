#pragma once
// One ODE world with its contact-joint group, the bodies and joints made in it, and a
// world step that moves only the bodies asked for. ODE 0.16 keeps its island stepper
// and object lists private, so the step stages the bodies' enabled flags around one
// dWorldStep: the listed bodies enabled, every other one disabled. ODE's own island
// builder then wakes and steps whatever a joint ties to a listed body, and everything
// else keeps its flag.
#include <ode/ode.h>

#include <cstdint>
#include <vector>

namespace ode {

class World {
public:
    World();
    // Clears every slot still registered (their owners then hold null), then destroys
    // the contact group and the world with everything in it.
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    dWorldID Id() const { return world_; }

    // A new body, disabled until a step lists it. `slot` holds the body for its
    // owner and is set to null should the world go first.
    dBodyID NewBody(dBodyID* slot);
    // Destroys the body in `slot` (if any) and clears the slot.
    void DeleteBody(dBodyID* slot);
    // A joint of dJointTypeBall, Slider, Hinge or Hinge2, outside any group; null for
    // other types. The slot works as for bodies.
    dJointID NewJoint(int type, dJointID* slot);
    void DeleteJoint(dJointID* slot);

    // A contact joint in the contact group between a and b (either may be null for the
    // static world). Null without a joint when both are the same body.
    dJointID AddContact(const dContact& contact, dBodyID a, dBodyID b);
    // Steps the listed bodies and all bodies jointed to them by `dt`; the listed ones
    // stay enabled, and so do those a joint woke. False, stepping nothing, unless dt is
    // a positive finite number. A body not made here is passed over.
    bool Step(const dBodyID* listed, int count, double dt);
    void EmptyContacts() { dJointGroupEmpty(contacts_); }

    int GetNumBodies() const { return int(bodies_.size()); }
    int GetNumJoints() const { return int(joints_.size()); }

private:
    int indexOf(dBodyID b) const;

    dWorldID world_ = nullptr;
    dJointGroupID contacts_ = nullptr;
    std::vector<dBodyID*> bodies_;
    std::vector<dJointID*> joints_;
    // Step scratch, one entry per body; grown when bodies are made, not per step.
    std::vector<uint8_t> wasEnabled_;
    std::vector<uint8_t> listed_;
};

}  // namespace ode
