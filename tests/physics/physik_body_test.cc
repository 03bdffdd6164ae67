#include <limits>
#include <numbers>

#include "kernel/quaternion.h"
#include "tests/physics/PhysicsFixture.h"

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

class PhysikBody : public PhysicsFixture {};

TEST_F(PhysikBody, ContactParametersFollowTheirFlagRules) {
    nOdePhysikBody* b = NewBody();
    EXPECT_EQ(b->GetContactParam(nPhysikBody::MU), -1.0f);
    EXPECT_EQ(b->GetContactParam(nPhysikBody::MU2), -1.0f);
    EXPECT_EQ(b->GetContact().mode, 0);

    b->SetContactParam(nPhysikBody::MU, 0.7f);
    EXPECT_EQ(b->GetContactParam(nPhysikBody::MU), 0.7f);
    b->SetContactParam(nPhysikBody::MU, -1.0f);
    EXPECT_TRUE(std::isinf(b->GetContact().mu));
    EXPECT_EQ(b->GetContactParam(nPhysikBody::MU), -1.0f);
    EXPECT_EQ(b->GetContact().mode, 0);

    b->SetContactParam(nPhysikBody::MU2, 0.3f);
    EXPECT_EQ(b->GetContact().mode, ode::Mu2);
    b->SetContactParam(nPhysikBody::MU2, -1.0f);
    EXPECT_EQ(b->GetContact().mode, 0);
    EXPECT_EQ(b->GetContactParam(nPhysikBody::MU2), -1.0f);

    // Bounce stays on while either bounce value is above 0.
    b->SetContactParam(nPhysikBody::BOUNCEVEL, 0.5f);
    b->SetContactParam(nPhysikBody::BOUNCE, 0.0f);
    EXPECT_EQ(b->GetContact().mode, ode::Bounce);
    b->SetContactParam(nPhysikBody::BOUNCEVEL, 0.0f);
    EXPECT_EQ(b->GetContact().mode, 0);

    b->SetContactParam(nPhysikBody::CONTACTDIR, 1.0f);
    EXPECT_EQ(b->GetContact().mode, ode::FDir1);
    EXPECT_EQ(b->GetContactParam(nPhysikBody::CONTACTDIR), 1.0f);
    b->SetContactParam(nPhysikBody::CONTACTDIR, 0.0f);

    b->SetContactParam(nPhysikBody::APPROX1, 1.0f);
    EXPECT_EQ(b->GetContact().mode, ode::Approx1_1 | ode::Approx1_2);
    EXPECT_EQ(b->GetContactParam(nPhysikBody::APPROX11), 1.0f);
    EXPECT_EQ(b->GetContactParam(nPhysikBody::APPROX12), 1.0f);
    b->SetContactParam(nPhysikBody::APPROX11, 0.0f);
    EXPECT_EQ(b->GetContact().mode, ode::Approx1_2);
    EXPECT_EQ(b->GetContactParam(nPhysikBody::APPROX1), 1.0f);
    b->SetContactParam(nPhysikBody::APPROX12, 0.0f);
    EXPECT_EQ(b->GetContactParam(nPhysikBody::APPROX1), 0.0f);

    // A negative value is infinity, which sets the flag of the value-carrying indices.
    b->SetContactParam(nPhysikBody::SOFTCFM, -1.0f);
    EXPECT_EQ(b->GetContact().mode, ode::SoftCFM);
    EXPECT_EQ(b->GetContactParam(nPhysikBody::SOFTCFM), -1.0f);
    b->SetContactParam(nPhysikBody::SLIP2, 0.25f);
    EXPECT_EQ(b->GetContact().mode, ode::SoftCFM | ode::Slip2);
    EXPECT_EQ(b->GetContactParam(nPhysikBody::SLIP2), 0.25f);

    b->SetContactParam(nPhysikBody::MOTION1, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(b->GetContactParam(nPhysikBody::MOTION1), 0.0f);
    EXPECT_TRUE(LogHas("SetContactParam: parameter 7 is not a number"));
}

TEST_F(PhysikBody, ParameterNamesAreExactAndUnknownOnesAreLogged) {
    EXPECT_EQ(nPhysikBody::_str2param("mu"), 0);
    EXPECT_EQ(nPhysikBody::_str2param("contactdir"), 4);
    EXPECT_EQ(nPhysikBody::_str2param("slip2"), 10);
    EXPECT_EQ(nPhysikBody::_str2param("approx1"), 11);
    EXPECT_EQ(nPhysikBody::_str2param("approx11"), 12);
    EXPECT_EQ(nPhysikBody::_str2param("approx12"), 13);
    EXPECT_EQ(nPhysikBody::_str2param("Mu"), -1);
    EXPECT_TRUE(LogHas("nPhysikBody::_str2param, unknown param name !\n"));
    EXPECT_EQ(nPhysikBody::_str2param(nullptr), -1);
}

TEST_F(PhysikBody, IndexOutsideTheTableStops) {
    nOdePhysikBody* b = NewBody();
    EXPECT_EXIT(b->SetContactParam(14, 1.0f), testing::ExitedWithCode(3),
                "nOdePhysikBody::SetContactParam, unknown contactparam!");
    EXPECT_EXIT(b->SetContactParam(-1, 1.0f), testing::ExitedWithCode(3), "unknown contactparam!");
    EXPECT_EXIT(b->GetContactParam(-3), testing::ExitedWithCode(3),
                "nOdePhysikBody::GetContactParam, unknown contactparam!");
    EXPECT_EXIT(b->Connected(b), testing::ExitedWithCode(3), "nPhysikBody::Connected, pure virtual function call!");
}

TEST_F(PhysikBody, MatrixReadsBackAsSet) {
    nOdePhysikBody* b = NewBody();
    quaternion q;
    q.FromAxisAngle(vector3(0.267261f, 0.534522f, 0.801784f), 1.1f);
    matrix44 m;
    m.SetQuaternion(q);
    m.SetTranslation(vector3(4, -5, 6));
    b->SetMatrix(m);
    matrix44 r = b->GetMatrix();
    for (int i = 0; i < 4; i++) {
        for (int j = 0; j < 4; j++) EXPECT_NEAR(r.m[i][j], m.m[i][j], 1e-5f) << i << "," << j;
    }

    // Matrices ODE cannot take are refused and logged; the body keeps its place.
    matrix44 zero;
    for (auto& row : zero.m)
        for (float& v : row) v = 0.0f;
    b->SetMatrix(zero);
    matrix44 nan = m;
    nan.m[1][1] = std::numeric_limits<float>::quiet_NaN();
    b->SetMatrix(nan);
    matrix44 far = m;
    far.m[3][0] = std::numeric_limits<float>::infinity();
    b->SetMatrix(far);
    EXPECT_TRUE(LogHas("SetMatrix"));
    ExpectVec(b->GetMatrix().Translation(), 4, -5, 6);
}

TEST_F(PhysikBody, ForcesTorquesAndVelocitiesGoToTheirAccumulators) {
    nOdePhysikBody* b = BoxBody(vector3(), vector3(1, 1, 1));
    b->AddTorque(vector3(1, 2, 3));
    ExpectVec(b->GetTorque(), 1, 2, 3);
    ExpectVec(b->GetForce(), 0, 0, 0);
    b->AddForce(vector3(0, 5, 0));
    ExpectVec(b->GetForce(), 0, 5, 0);
    b->SetForce(vector3());
    b->SetTorque(vector3());

    // Relative forces turn with the body: 90 degrees about y takes x to -z.
    matrix44 m;
    quaternion q;
    q.FromAxisAngle(vector3(0, 1, 0), kPi / 2);
    m.SetQuaternion(q);
    b->SetMatrix(m);
    b->AddRelForce(vector3(1, 0, 0));
    vector3 expected = m * vector3(1, 0, 0);
    ExpectVec(b->GetForce(), expected.x, expected.y, expected.z);
    b->SetForce(vector3());
    b->AddForceAtPos(vector3(0, 1, 0), vector3(1, 0, 0));
    ExpectVec(b->GetTorque(), 0, 0, 1);

    b->SetLinearVel(vector3(1, 2, 3));
    b->SetAngularVel(vector3(0, 0.5f, 0));
    ExpectVec(b->GetLinearVel(), 1, 2, 3);
    ExpectVec(b->GetAngularVel(), 0, 0.5f, 0);

    EXPECT_TRUE(b->GetGravity());
    b->SetGravity(false);
    EXPECT_FALSE(b->GetGravity());

    // Non-finite vectors would trip ODE's asserts at the next step.
    b->SetAngularVel(vector3(std::numeric_limits<float>::quiet_NaN(), 0, 0));
    b->AddTorque(vector3(0, std::numeric_limits<float>::infinity(), 0));
    EXPECT_TRUE(LogHas("SetAngularVel"));
    ExpectVec(b->GetAngularVel(), 0, 0.5f, 0);
    Step({b}, 0.02f);
}

TEST_F(PhysikBody, MassesSumIntoTheBodyAndBadOnesAreRefused) {
    nOdePhysikBody* b = NewBody();
    nPhysikMass* sphere = NewMass(nPhysikMass::SPHERE);
    EXPECT_EQ(sphere->GetDensity(), 5.0f);
    EXPECT_EQ(sphere->GetRadius(), 0.0f);
    // The default sphere has radius 0: ODE would assert on its zero mass.
    b->ResetMass();
    b->AddMass(sphere);
    b->SetMass();
    EXPECT_TRUE(LogHas("SetMass: mass 0"));
    dMass current;
    dBodyGetMass(Id(b), &current);
    EXPECT_GT(current.mass, 0.0);

    // A mass off the body's centre: the centre goes, the translated inertia stays.
    nPhysikMass* box = NewMass(nPhysikMass::BOX);
    box->SetBox(vector3(1, 2, 3));
    box->SetPosition(vector3(0, 2, 0));
    sphere->SetRadius(1.0f);
    b->ResetMass();
    b->AddMass(box);
    b->AddMass(sphere);
    EXPECT_NEAR(b->GetMassSum(), 22.0f + 4.0f * kPi, 1e-4f);
    EXPECT_EQ(b->GetNumMasses(), 2);
    b->SetMass();
    dBodyGetMass(Id(b), &current);
    const double boxMass = 5.0 * 6.0, sphereMass = 5.0 * 4.0 / 3.0 * std::numbers::pi;
    EXPECT_NEAR(current.mass, boxMass + sphereMass, 1e-6);
    EXPECT_NEAR(b->GetMass(), boxMass + sphereMass, 1e-4);
    EXPECT_EQ(current.c[1], 0.0);
    const double boxIxx = boxMass / 12.0 * (4.0 + 9.0) + boxMass * 4.0;
    EXPECT_NEAR(current.I[0], boxIxx + 0.4 * sphereMass, 1e-6);
    Step({b}, 0.02f);
    EXPECT_EQ(b->GetLinearVel().x, 0.0f);

    b->ResetMass();
    EXPECT_EQ(b->GetMassSum(), 0.0f);
    EXPECT_EQ(b->GetNumMasses(), 0);
    EXPECT_EQ(b->GetMass(), 0.0f);
}

TEST_F(PhysikBody, MassShapesAreasAndRebuilds) {
    auto* sphere = static_cast<nOdePhysikMass*>(NewMass(nPhysikMass::SPHERE));
    sphere->SetRadius(1.0f);
    EXPECT_NEAR(sphere->GetArea(), 4.0f * kPi, 1e-5f);
    auto* cyl = static_cast<nOdePhysikMass*>(NewMass(nPhysikMass::CYLINDER));
    EXPECT_EQ(cyl->GetCylinder()[0], 1.0f);
    EXPECT_EQ(cyl->GetCylinder()[1], 1.0f);
    EXPECT_EQ(cyl->GetArea(), 0.0f);
    const float rl[2] = {1.0f, 2.0f};
    cyl->SetCylinder(rl);
    EXPECT_NEAR(cyl->GetArea(), 6.0f * kPi, 1e-5f);
    auto* box = static_cast<nOdePhysikMass*>(NewMass(nPhysikMass::BOX));
    box->SetBox(vector3(1, 2, 3));
    EXPECT_EQ(box->GetArea(), 22.0f);
    EXPECT_EQ(box->GetType(), nPhysikMass::BOX);

    // A setter of another shape sets the area and nothing else.
    box->SetRadius(1.0f);
    EXPECT_NEAR(box->GetArea(), 4.0f * kPi, 1e-5f);
    EXPECT_EQ(box->GetBox().y, 2.0f);

    // The cylinder lies along z: it turns more easily about z than about x.
    const dMass& cm = cyl->Get();
    EXPECT_LT(cm.I[10], cm.I[0]);
    EXPECT_NEAR(cm.I[0], cm.I[5], 1e-9);

    // A density change rebuilds once, at the next Get.
    const int before = box->GetRebuildCount();
    const double m1 = box->Get().mass;
    EXPECT_EQ(box->GetRebuildCount(), before + 1);
    box->Get();
    EXPECT_EQ(box->GetRebuildCount(), before + 1);
    box->SetDensity(10.0f);
    EXPECT_NEAR(box->Get().mass, 2.0 * m1, 1e-9);
    box->Get();
    EXPECT_EQ(box->GetRebuildCount(), before + 2);

    // A rotation turns the inertia (and the offset): 90 degrees about z swaps x and y.
    quaternion q;
    q.FromAxisAngle(vector3(0, 0, 1), kPi / 2);
    box->SetRotation(q);
    const dMass& rm = box->Get();
    EXPECT_NEAR(rm.I[0], 10.0 * 6.0 / 12.0 * (1.0 + 9.0), 1e-4);
    EXPECT_NEAR(rm.I[5], 10.0 * 6.0 / 12.0 * (4.0 + 9.0), 1e-4);

    EXPECT_EXIT(box->GetRadius(), testing::ExitedWithCode(3), "nPhysikMass::GetRadius, pure virtual function call!");
    EXPECT_EXIT(sphere->GetBox(), testing::ExitedWithCode(3), "nPhysikMass::GetBox, pure virtual function call!");
}

}  // namespace
