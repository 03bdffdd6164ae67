// The logic car: its four wheel joints and states, hinge positions, wheels that keep their
// body, shape and anchor together while the car settles on a floor, wheel contacts, and
// a destruction that leaves nothing in the ODE world.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "collide/nCollideObject2.h"
#include "collide/nCollideReport.h"
#include "logic/nLogicCar.h"
#include "logic/nLogicCarHinge.h"
#include "logic/nModPhysikState.h"
#include "logic/nModSimpleCollision.h"
#include "physics/nOdePhysikBody.h"
#include "physics/nOdePhysikJoint.h"
#include "physics/nOdePhysikServer.h"
#include "tests/logic/PhysikFixture.h"

namespace {

const char* const kHinges[] = {"frontlefthinge", "frontrighthinge", "backlefthinge", "backrighthinge"};

class CarTest : public PhysikFixture {
protected:
    ode::World& World() { return static_cast<nOdePhysikServer*>(physik)->GetWorld(); }
    static dBodyID BodyId(nPhysikBody* b) { return static_cast<nOdePhysikBody*>(b)->GetBodyId(); }
    static dJointID JointId(nPhysikJoint* j) { return static_cast<nOdePhysikJoint*>(j)->GetJointId(); }

    nLogicCar* NewCar(const char* path) {
        EXPECT_TRUE(Run(std::string("new('nlogiccar', '") + path + "')"));
        return static_cast<nLogicCar*>(Lookup(path));
    }
    // A floor box of 20 x 1 x 20 with its top at y = 0.
    void Floor() {
        ASSERT_TRUE(
            Run("new('nlogiccollision2', '/usr/logic/floor') sel('/usr/logic/floor') txyz(0, -0.5, 0)"
                " new('nmodexactcollision', 'shape') sel('shape') setcollclass('solid') setbox(20, 1, 20)"
                " sel('..') addcollision('physik', 'shape') setcollcontext('physik', 'physik') sel('/')"));
    }
    // A car at height y with a box body and four sphere wheels of radius 0.3 hinged 0.2
    // below it, 0.8 to the front and back and 0.6 to the sides, turned by `yaw` about the
    // vertical. Only the wheels collide.
    nLogicCar* WheeledCar(const char* path, float y, float yaw = 0.0f) {
        nLogicCar* car = NewCar(path);
        std::string s = std::string("sel('") + path + "') txyz(0, " + std::to_string(y) + ", 0) rxyz(0, " +
                        std::to_string(yaw) +
                        ", 0) new('nmodphysik', 'body') sel('body') setbox(2, 0.4, 1.2) sel('..')"
                        " addphysik('physik', 'body')";
        const float xs[] = {0.8f, 0.8f, -0.8f, -0.8f};
        const float zs[] = {-0.6f, 0.6f, -0.6f, 0.6f};
        for (int i = 0; i < 4; i++) {
            const std::string h = kHinges[i];
            s += " sethingepos('" + h + "', " + std::to_string(xs[i]) + ", -0.2, " + std::to_string(zs[i]) + ")" +
                 " new('nmodexactcollision', 'shape_" + h + "') sel('shape_" + h +
                 "') setcollclass('solid') setsphere(0.3) setdynamic(true) sel('..') addcollision('" + h +
                 "', 'shape_" + h + "') new('nmodphysik', 'mass_" + h + "') sel('mass_" + h +
                 "') setsphere(0.3) sel('..') addphysik('" + h + "', 'mass_" + h + "')";
        }
        EXPECT_TRUE(Run(s + " sel('/')"));
        return car;
    }
};

TEST_F(CarTest, ANewCarHasFourLockedSprungWheelJointsAndTheirStates) {
    const int bodies = World().GetNumBodies();
    const int joints = World().GetNumJoints();
    nLogicCar* car = NewCar("/usr/logic/car");
    // Even without a module: a joint per wheel, a body for the car and each wheel.
    EXPECT_EQ(World().GetNumJoints(), joints + 4);
    EXPECT_EQ(World().GetNumBodies(), bodies + 5);
    for (int i = 0; i < nLogicCar::NumHinges; i++) {
        SCOPED_TRACE(kHinges[i]);
        nLogicCarHinge* h = car->GetHinge(i);
        EXPECT_EQ(car->FindHinge(kHinges[i]), h);
        nPhysikJoint* j = h->GetJoint();
        ASSERT_EQ(j->GetType(), nPhysikJoint::HINGE2);
        EXPECT_EQ(j->GetAxis1(), vector3(0, 0, 1));
        EXPECT_EQ(j->GetAxis2(), vector3(0, 1, 0));
        // Read back from ODE, which numbers the parameters its own way.
        EXPECT_NEAR(dJointGetHinge2Param(JointId(j), dParamSuspensionERP), 0.4, 1e-6);
        EXPECT_NEAR(dJointGetHinge2Param(JointId(j), dParamSuspensionCFM), 0.8, 1e-6);
        EXPECT_EQ(dJointGetHinge2Param(JointId(j), dParamLoStop), 0.0);
        EXPECT_EQ(dJointGetHinge2Param(JointId(j), dParamHiStop), 0.0);
        EXPECT_EQ(car->FindModuleState(nModuleState::Physik, kHinges[i]), h->GetPhysikState());
        EXPECT_EQ(car->FindModuleState(nModuleState::Collision, kHinges[i]), h->GetCollisionState());
        EXPECT_EQ(h->GetCollisionState()->GetContext(), Context("physik"));
    }
}

TEST_F(CarTest, HingePositionsMoveOnlyTheirHingeAndAreNotSaved) {
    nLogicCar* car = NewCar("/usr/logic/car");
    ASSERT_TRUE(Run("sel('/usr/logic/car') sethingepos('backrighthinge', 1, 0, -1)"));
    for (int i = 0; i < nLogicCar::NumHinges; i++) {
        matrix44 expect;
        if (i == 3) expect.SetTranslation(vector3(1, 0, -1));
        EXPECT_EQ(car->GetHinge(i)->GetLocalMatrix(), expect) << kHinges[i];
    }
    // An unknown name (names are exact) and a position that is not finite are logged
    // and change nothing.
    log.text.clear();
    ASSERT_TRUE(Run("sethingepos('nohinge', 5, 5, 5) sethingepos('BackRightHinge', 5, 5, 5)"));
    car->SetHingePos("backrighthinge", 0, std::numeric_limits<float>::quiet_NaN(), 0);
    EXPECT_TRUE(LogHas("/usr/logic/car: v_sethingepos_sfff: the car has no hinge 'nohinge'"));
    EXPECT_TRUE(LogHas("no hinge 'BackRightHinge'"));
    EXPECT_TRUE(LogHas("of 'backrighthinge' is not finite"));
    EXPECT_EQ(car->GetHinge(3)->GetPosition(), vector3(1, 0, -1));

    ASSERT_TRUE(car->SaveAs(Path("car").c_str()));
    const std::string saved = Slurp(Path("car.n"));
    EXPECT_EQ(saved.find("sethingepos"), std::string::npos) << saved;
}

TEST_F(CarTest, WheelsKeepBodyShapeAndAnchorTogetherWhileTheCarSettlesOnThem) {
    Floor();
    // Wheels 0.1 above the floor: the car drops onto them and settles with its body
    // 0.3 + 0.2 above the floor; only the wheels touch it. Turned, so that products in
    // the wrong order show.
    nLogicCar* car = WheeledCar("/usr/logic/car", 0.6f, 0.7f);
    ASSERT_TRUE(car->HasPhysik());
    const float dt = 1.0f / 30.0f;
    float low = 1e9f, high = -1e9f;
    for (int frame = 0; frame < 100; frame++) {
        Frame(dt);
        SCOPED_TRACE("frame " + std::to_string(frame));
        const matrix44 carWorld = car->GetMatrix();
        if (frame >= 70) {
            low = std::min(low, carWorld.m[3][1]);
            high = std::max(high, carWorld.m[3][1]);
        }
        for (int i = 0; i < nLogicCar::NumHinges; i++) {
            SCOPED_TRACE(kHinges[i]);
            nLogicCarHinge* h = car->GetHinge(i);
            ASSERT_TRUE(h->IsCoupled());
            const vector3 body = h->GetPhysikState()->GetBody()->GetMatrix().Translation();
            // Where the car places the wheel next frame is where its body is now
            // (a product in the wrong order would place it at twice its offset).
            const vector3 placed = (h->GetLocalMatrix() * carWorld).Translation();
            EXPECT_LT((placed - body).Len(), 1e-4f);
            // The shape registered this frame where the wheel was placed.
            auto* shape =
                static_cast<nModSimpleCollision*>(Lookup(("/usr/logic/car/shape_" + std::string(kHinges[i])).c_str()));
            EXPECT_LT((shape->GetCollObject().curMatrix.Translation() - h->GetWorldMatrix().Translation()).Len(),
                      1e-4f);
            // The joint holds: its anchor on the car's side stays at the wheel's centre,
            // and the wheel's side agrees.
            const vector3 anchor = h->GetJoint()->GetAnchor();
            dVector3 a2;
            dJointGetHinge2Anchor2(JointId(h->GetJoint()), a2);
            EXPECT_LT((anchor - body).Len(), 0.05f);
            EXPECT_LT((anchor - vector3(float(a2[0]), float(a2[1]), float(a2[2]))).Len(), 0.05f);
        }
    }
    // At rest on its wheels, level, on the floor: over the last 30 frames it stays
    // within the few millimetres that any body resting on a floor shows here.
    EXPECT_NEAR(car->GetPosition().y, 0.5f, 0.05f);
    EXPECT_LT(high - low, 0.01f);
    EXPECT_LT(std::fabs(car->GetPosition().x) + std::fabs(car->GetPosition().z), 0.01f);
    EXPECT_NEAR(car->GetMatrix().m[1][1], 1.0f, 0.01f);
    for (int i = 0; i < nLogicCar::NumHinges; i++) {
        nLogicCarHinge* h = car->GetHinge(i);
        EXPECT_NEAR(h->GetPhysikState()->GetBody()->GetMatrix().m[3][1], 0.3f, 0.05f) << kHinges[i];
        // The wheel is still where its hinge holds it on the car: the joint did not
        // creep (as it would were each step's error taken as the new rest).
        EXPECT_LT((h->GetLocalMatrix().Translation() - h->GetPosition()).Len(), 0.001f) << kHinges[i];
    }
}

TEST_F(CarTest, WheelContactsJoinTheStaticWorldOrTheOtherBody) {
    Floor();
    nLogicCar* car = WheeledCar("/usr/logic/car", 0.6f);
    nLogicCar* other = WheeledCar("/usr/logic/other", 5.0f);
    Frame(1.0f / 30.0f);  // every body has taken part in a step; no contact joint is left

    nModCollisionState* cs = car->GetHinge(0)->GetCollisionState();
    nPhysikBody* wheelBody = car->GetHinge(0)->GetPhysikState()->GetBody();
    const dBodyID id = BodyId(wheelBody);
    ASSERT_EQ(dBodyGetNumJoints(id), 1);  // its hinge
    nCollideObject2 mine, floor, otherWheel, otherBody;
    mine.owner = car;
    mine.state = cs;
    floor.owner = static_cast<nLogicNode*>(Lookup("/usr/logic/floor"));
    otherWheel.owner = otherBody.owner = other;
    otherWheel.state = other->GetHinge(2)->GetCollisionState();
    otherBody.state = other->GetPhysikCollisionState();
    nCollideReport r;
    r.objA = &mine;
    r.normal2 = vector3(0.0f, 1.0f, 0.0f);
    nCollideReport* one[] = {&r};
    auto join = [&](nCollideObject2* a, nCollideObject2* b) {
        r.objA = a;
        r.objB = b;
        car->JoinContacts(one, 1, cs, wheelBody);
    };
    // The floor is the static world: a joint on the wheel alone.
    join(&mine, &floor);
    EXPECT_EQ(dBodyGetNumJoints(id), 2);
    // Another car's wheel: that wheel's body, not its car's; its body: the car's.
    join(&mine, &otherWheel);
    EXPECT_TRUE(dAreConnected(id, BodyId(other->GetHinge(2)->GetPhysikState()->GetBody())));
    EXPECT_FALSE(dAreConnected(id, BodyId(other->GetPhysikState()->GetBody())));
    join(&mine, &otherBody);
    EXPECT_TRUE(dAreConnected(id, BodyId(other->GetPhysikState()->GetBody())));
    // A disabled partner state counts as the static world; a report that starts with
    // another object is that object's to join.
    other->GetPhysikState()->SetEnabled(false);
    join(&mine, &otherBody);
    join(&floor, &mine);
    EXPECT_EQ(dBodyGetNumJoints(id), 5);
}

TEST_F(CarTest, DestroyingTheCarLeavesNoOdeObjectAndWheelsUncoupleWithoutBodies) {
    Floor();
    const int bodies = World().GetNumBodies();
    const int joints = World().GetNumJoints();
    nLogicCar* car = WheeledCar("/usr/logic/car", 0.6f);
    for (int i = 0; i < 5; i++) Frame(1.0f / 30.0f);

    // A wheel whose body loses its module leaves the car's body: a fresh joint that ties
    // nothing, and the wheel's body stays where it was.
    nLogicCarHinge* h = car->GetHinge(1);
    ASSERT_TRUE(h->IsCoupled());
    ASSERT_TRUE(Run("sel('/usr/logic/car') removephysik('frontrighthinge', 'mass_frontrighthinge')"));
    Frame(1.0f / 30.0f);
    EXPECT_FALSE(h->IsCoupled());
    EXPECT_EQ(World().GetNumJoints(), joints + 4);
    EXPECT_EQ(dJointGetBody(JointId(h->GetJoint()), 0), nullptr);
    const vector3 still = h->GetPhysikState()->GetBody()->GetMatrix().Translation();
    for (int i = 0; i < 5; i++) Frame(1.0f / 30.0f);
    EXPECT_EQ(h->GetPhysikState()->GetBody()->GetMatrix().Translation(), still);
    // ... and joins again with a module.
    ASSERT_TRUE(Run("addphysik('frontrighthinge', 'mass_frontrighthinge')"));
    Frame(1.0f / 30.0f);
    EXPECT_TRUE(dAreConnected(BodyId(car->GetPhysikState()->GetBody()), BodyId(h->GetPhysikState()->GetBody())));

    car->Release();
    Frame(1.0f / 30.0f);
    EXPECT_EQ(World().GetNumBodies(), bodies);
    EXPECT_EQ(World().GetNumJoints(), joints);
}

TEST_F(CarTest, WithoutAPhysikContextTheWheelsCollideWithNothing) {
    collide->ReleaseContext(Context("physik"));
    log.text.clear();
    Floor();
    nLogicCar* car = WheeledCar("/usr/logic/car", 0.6f);
    EXPECT_TRUE(LogHas("collision state 'backrighthinge': no collide context 'physik'"));
    for (int i = 0; i < nLogicCar::NumHinges; i++)
        EXPECT_EQ(car->GetHinge(i)->GetCollisionState()->GetContext(), nullptr);
    // The car falls through the floor it cannot touch, wheels and all.
    for (int i = 0; i < 10; i++) Frame(1.0f / 30.0f);
    EXPECT_LT(car->GetPosition().y, 0.5f);
}

}  // namespace
