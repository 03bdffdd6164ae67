#include <limits>

#include "physics/nOdePhysikJoint.h"
#include "tests/physics/PhysicsFixture.h"

namespace {

class PhysikJoint : public PhysicsFixture {
protected:
    static dJointID JointId(nPhysikJoint* j) { return static_cast<nOdePhysikJoint*>(j)->GetJointId(); }
};

TEST_F(PhysikJoint, AnchorsAxesAndParametersReadBackThroughOde) {
    nOdePhysikBody* a = BoxBody(vector3(0, 0, 0), vector3(1, 1, 1));
    nOdePhysikBody* b = BoxBody(vector3(2, 0, 0), vector3(1, 1, 1));

    nPhysikJoint* ball = NewJoint(nPhysikJoint::BALL);
    EXPECT_EQ(ball->GetType(), nPhysikJoint::BALL);
    ball->AttachBoddys(a, b);
    ball->SetAnchor(vector3(1, 0, 0));
    ExpectVec(ball->GetAnchor(), 1, 0, 0);
    EXPECT_TRUE(ball->AreConnected(a, b));

    nPhysikJoint* slider = NewJoint(nPhysikJoint::SLIDER);
    slider->AttachBoddys(a, b);
    slider->SetAxis1(vector3(0, 2, 0));
    ExpectVec(slider->GetAxis1(), 0, 1, 0);
    slider->SetParam(3, 7.0f);  // maximum force
    EXPECT_EQ(dJointGetSliderParam(JointId(slider), dParamFMax), 7.0);
    EXPECT_EQ(slider->GetParam(3), 7.0f);

    nPhysikJoint* hinge = NewJoint(nPhysikJoint::HINGE);
    hinge->AttachBoddys(a, b);
    hinge->SetAnchor(vector3(1, 1, 0));
    hinge->SetAxis1(vector3(0, 0, 1));
    ExpectVec(hinge->GetAnchor(), 1, 1, 0);
    ExpectVec(hinge->GetAxis1(), 0, 0, 1);
    hinge->SetParam(0, -0.5f);
    hinge->SetParam(1, 0.5f);
    hinge->SetParam(6, 0.02f);
    EXPECT_EQ(dJointGetHingeParam(JointId(hinge), dParamLoStop), -0.5);
    EXPECT_NEAR(dJointGetHingeParam(JointId(hinge), dParamCFM), 0.02, 1e-7);

    nPhysikJoint* wheel = NewJoint(nPhysikJoint::HINGE2);
    EXPECT_EQ(wheel->GetType(), 4);
    wheel->AttachBoddys(a, b);
    wheel->SetAnchor(vector3(2, 0, 0));
    wheel->SetAxis1(vector3(0, 1, 0));
    wheel->SetAxis2(vector3(0, 0, 1));
    ExpectVec(wheel->GetAnchor(), 2, 0, 0);
    ExpectVec(wheel->GetAxis1(), 0, 1, 0);
    ExpectVec(wheel->GetAxis2(), 0, 0, 1);
    wheel->SetParam(9, 0.4f);
    EXPECT_NEAR(dJointGetHinge2Param(JointId(wheel), dParamSuspensionERP), 0.4, 1e-7);
    EXPECT_NEAR(wheel->GetParam(9), 0.4f, 1e-7f);
    wheel->SetParam(5, 0.3f);
    EXPECT_NEAR(dJointGetHinge2Param(JointId(wheel), dParamBounce), 0.3, 1e-7);
    for (int i = 0; i < 10; i++) Step({a, b}, 0.02f);
}

TEST_F(PhysikJoint, OperationsAJointLacksStop) {
    nPhysikJoint* wheel = NewJoint(nPhysikJoint::HINGE2);
    EXPECT_EXIT(wheel->SetAngle(1.0f), testing::ExitedWithCode(3), "nPhysikJoint::SetAngle, pure function call!");
    EXPECT_EXIT(wheel->SetParam(11, 1.0f), testing::ExitedWithCode(3), "unknown jointparam !");
    EXPECT_EXIT(wheel->GetParam(-1), testing::ExitedWithCode(3), "unknown jointparam !");
    nPhysikJoint* ball = NewJoint(nPhysikJoint::BALL);
    EXPECT_EXIT(ball->SetAxis1(vector3(1, 0, 0)), testing::ExitedWithCode(3), "nPhysikJoint::SetAxis1, pure function call!");
    EXPECT_EXIT(ball->SetParam(0, 1.0f), testing::ExitedWithCode(3), "nPhysikJoint::SetParam, pure function call!");
}

TEST_F(PhysikJoint, HingeTwoAxesWaitForTwoBodiesAndMustNotBeParallel) {
    nOdePhysikBody* car = BoxBody(vector3(0, 1, 0), vector3(2, 1, 4));
    nOdePhysikBody* tyre = BoxBody(vector3(1.5f, 1, 1.5f), vector3(0.5f, 1, 1));
    nPhysikJoint* wheel = NewJoint(nPhysikJoint::HINGE2);
    // Before it joins two bodies ODE would assert on these: they are kept.
    wheel->SetAxis1(vector3(0, 1, 0));
    wheel->SetAxis2(vector3(1, 0, 0));
    wheel->SetAnchor(vector3(1.5f, 1, 1.5f));
    ExpectVec(wheel->GetAxis2(), 1, 0, 0);
    wheel->AttachBoddys(car, tyre);
    ExpectVec(wheel->GetAxis1(), 0, 1, 0);
    ExpectVec(wheel->GetAxis2(), 1, 0, 0);

    // An axis parallel to the other one waits for the other to turn away.
    wheel->SetAxis2(vector3(0, -3, 0));
    ExpectVec(wheel->GetAxis2(), 1, 0, 0);
    wheel->SetAxis1(vector3(0, 0, 1));
    ExpectVec(wheel->GetAxis1(), 0, 0, 1);
    ExpectVec(wheel->GetAxis2(), 0, -1, 0);
    wheel->SetAxis1(vector3(0, 0, 0));
    EXPECT_TRUE(LogHas("has no direction"));

    // A pair kept before attaching that turns out parallel is refused whole.
    nPhysikJoint* bad = NewJoint(nPhysikJoint::HINGE2);
    bad->SetAxis1(vector3(0, 0, 1));
    bad->SetAxis2(vector3(0, 0, 2));
    bad->AttachBoddys(car, tyre);
    EXPECT_TRUE(LogHas("are parallel; kept the joint's axes"));

    for (int i = 0; i < 10; i++) Step({car, tyre}, 0.02f);
}

TEST_F(PhysikJoint, AttachRefusesOneBodyTwiceOrAMissingOne) {
    nOdePhysikBody* a = BoxBody(vector3(), vector3(1, 1, 1));
    nOdePhysikBody* b = BoxBody(vector3(0, 2, 0), vector3(1, 1, 1));
    nPhysikJoint* wheel = NewJoint(nPhysikJoint::HINGE2);
    wheel->AttachBoddys(a, a);
    EXPECT_TRUE(LogHas("both ends on one body"));
    wheel->AttachBoddys(a, nullptr);
    EXPECT_TRUE(LogHas("needs two bodies"));
    EXPECT_FALSE(wheel->AreConnected(a, b));
    nPhysikJoint* hinge = NewJoint(nPhysikJoint::HINGE);
    hinge->AttachBoddys(a, b);
    hinge->SetAxis1(vector3(0, std::numeric_limits<float>::quiet_NaN(), 0));
    hinge->SetAnchor(vector3(std::numeric_limits<float>::infinity(), 0, 0));
    EXPECT_TRUE(hinge->AreConnected(b, a));
    // Deleting the joint takes its ODE joint away.
    joints.pop_back();
    EXPECT_FALSE(dAreConnected(Id(a), Id(b)));
    Step({a, b}, 0.02f);
}

}  // namespace
