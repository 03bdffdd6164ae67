#pragma once
// The collide fixture plus the physics classes and an ODE physics server at
// "/sys/servers/physik" of a class that records every contact joint it hands to ODE.
#include <ode/ode.h>

#include <cmath>
#include <memory>
#include <vector>

#include "physics/nOdePhysikBody.h"
#include "physics/nOdePhysikMass.h"
#include "physics/nOdePhysikServer.h"
#include "physics/nPhysikJoint.h"
#include "physics/nPhysikMass.h"
#include "physics/nPhysikPackage.h"
#include "tests/collide/CollideFixture.h"

class nRecordPhysikServer : public nOdePhysikServer {
public:
    static const nClassInfo classInfo;
    struct Joint {
        dContact contact;
        dBodyID a;
        dBodyID b;
    };
    std::vector<Joint> joints;

protected:
    dJointID NewContactJoint(const dContact& c, dBodyID a, dBodyID b) override {
        joints.push_back({c, a, b});
        return nOdePhysikServer::NewContactJoint(c, a, b);
    }
};
inline const nClassInfo nRecordPhysikServer::classInfo =
    nClassInfo::Make<nRecordPhysikServer>("nrecordphysikserver", "nodephysikserver");

class PhysicsFixture : public CollideFixture {
protected:
    void SetUp() override {
        CollideFixture::SetUp();
        nPhysikPackage(kernel);
        kernel->AddClass(nRecordPhysikServer::classInfo);
        physik = static_cast<nRecordPhysikServer*>(kernel->New("nrecordphysikserver", "/sys/servers/physik"));
    }
    void TearDown() override {
        // Bodies, joints and masses go before the server, as their owners do.
        joints.clear();
        masses.clear();
        bodies.clear();
        CollideFixture::TearDown();
    }

    nOdePhysikBody* NewBody(const vector3& pos = vector3()) {
        bodies.emplace_back(static_cast<nOdePhysikBody*>(physik->CreateBody()));
        matrix44 m;
        m.SetTranslation(pos);
        auto* b = static_cast<nOdePhysikBody*>(bodies.back().get());
        b->SetMatrix(m);
        return b;
    }
    nPhysikMass* NewMass(int type) {
        masses.emplace_back(physik->CreateMass(type));
        return masses.back().get();
    }
    nPhysikJoint* NewJoint(int type) {
        joints.emplace_back(physik->CreateJoint(type));
        return joints.back().get();
    }
    // A body with a box mass of the given sides (density 5).
    nOdePhysikBody* BoxBody(const vector3& pos, const vector3& sides) {
        nOdePhysikBody* b = NewBody(pos);
        nPhysikMass* m = NewMass(nPhysikMass::BOX);
        m->SetBox(sides);
        b->ResetMass();
        b->AddMass(m);
        b->SetMass();
        return b;
    }
    // One step of `dt` with exactly these bodies listed.
    void Step(std::initializer_list<nPhysikBody*> listed, float dt) {
        physik->ClearBodies();
        for (nPhysikBody* b : listed) physik->AddBody(b);
        physik->WorldStep(dt);
    }

    static dBodyID Id(nPhysikBody* b) { return static_cast<nOdePhysikBody*>(b)->GetBodyId(); }
    static void ExpectVec(const vector3& v, float x, float y, float z, float tol = 1e-5f) {
        EXPECT_NEAR(v.x, x, tol);
        EXPECT_NEAR(v.y, y, tol);
        EXPECT_NEAR(v.z, z, tol);
    }

    nRecordPhysikServer* physik = nullptr;
    std::vector<std::unique_ptr<nPhysikJoint>> joints;
    std::vector<std::unique_ptr<nPhysikMass>> masses;
    std::vector<std::unique_ptr<nPhysikBody>> bodies;
};
