#include "platform/ode/World.h"

#include <cmath>

#include "platform/ode/Runtime.h"

namespace ode {

World::World() {
    Start();
    world_ = dWorldCreate();
    contacts_ = dJointGroupCreate(0);
}

World::~World() {
    for (dBodyID* slot : bodies_) *slot = nullptr;
    for (dJointID* slot : joints_) *slot = nullptr;
    dJointGroupDestroy(contacts_);
    dWorldDestroy(world_);
}

// A body's index in bodies_ rides in its ODE user data.
int World::indexOf(dBodyID b) const {
    auto i = intptr_t(dBodyGetData(b));
    if (i < 0 || i >= intptr_t(bodies_.size()) || *bodies_[size_t(i)] != b) return -1;
    return int(i);
}

dBodyID World::NewBody(dBodyID* slot) {
    dBodyID b = dBodyCreate(world_);
    dBodySetData(b, reinterpret_cast<void*>(intptr_t(bodies_.size())));
    dBodyDisable(b);
    *slot = b;
    bodies_.push_back(slot);
    wasEnabled_.push_back(0);
    listed_.push_back(0);
    return b;
}

void World::DeleteBody(dBodyID* slot) {
    dBodyID b = *slot;
    if (!b) return;
    int i = indexOf(b);
    if (i >= 0) {
        dBodyID* last = bodies_.back();
        bodies_[size_t(i)] = last;
        dBodySetData(*last, reinterpret_cast<void*>(intptr_t(i)));
        bodies_.pop_back();
        wasEnabled_.pop_back();
        listed_.pop_back();
    }
    dBodyDestroy(b);
    *slot = nullptr;
}

dJointID World::NewJoint(int type, dJointID* slot) {
    dJointID j = nullptr;
    switch (type) {
        case dJointTypeBall: j = dJointCreateBall(world_, nullptr); break;
        case dJointTypeSlider: j = dJointCreateSlider(world_, nullptr); break;
        case dJointTypeHinge: j = dJointCreateHinge(world_, nullptr); break;
        case dJointTypeHinge2: j = dJointCreateHinge2(world_, nullptr); break;
        default: return nullptr;
    }
    dJointSetData(j, reinterpret_cast<void*>(intptr_t(joints_.size())));
    *slot = j;
    joints_.push_back(slot);
    return j;
}

void World::DeleteJoint(dJointID* slot) {
    dJointID j = *slot;
    if (!j) return;
    auto i = intptr_t(dJointGetData(j));
    if (i >= 0 && i < intptr_t(joints_.size()) && *joints_[size_t(i)] == j) {
        dJointID* last = joints_.back();
        joints_[size_t(i)] = last;
        dJointSetData(*last, reinterpret_cast<void*>(i));
        joints_.pop_back();
    }
    // Feedback records are allocated with new by whoever sets one.
    delete dJointGetFeedback(j);
    dJointDestroy(j);
    *slot = nullptr;
}

dJointID World::AddContact(const dContact& contact, dBodyID a, dBodyID b) {
    if (a && a == b) return nullptr;
    dJointID j = dJointCreateContact(world_, contacts_, &contact);
    dJointAttach(j, a, b);
    return j;
}

bool World::Step(const dBodyID* listed, int count, double dt) {
    if (!std::isfinite(dt) || !(dt > 0)) return false;
    const size_t n = bodies_.size();
    for (size_t i = 0; i < n; i++) {
        dBodyID b = *bodies_[i];
        wasEnabled_[i] = uint8_t(dBodyIsEnabled(b) != 0);
        listed_[i] = 0;
        if (wasEnabled_[i]) dBodyDisable(b);
    }
    for (int k = 0; k < count; k++) {
        int i = listed[k] ? indexOf(listed[k]) : -1;
        if (i < 0) continue;
        listed_[size_t(i)] = 1;
        dBodyEnable(listed[k]);
    }
    dWorldStep(world_, dt);
    // A body ODE woke through a joint was stepped and stays enabled; the others get
    // their flag back.
    for (size_t i = 0; i < n; i++) {
        if (listed_[i] || !wasEnabled_[i]) continue;
        dBodyID b = *bodies_[i];
        if (!dBodyIsEnabled(b)) dBodyEnable(b);
    }
    return true;
}

}  // namespace ode
