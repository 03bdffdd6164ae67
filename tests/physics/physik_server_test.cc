#include <cmath>
#include <limits>

#include "tests/physics/PhysicsFixture.h"

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

class PhysikServer : public PhysicsFixture {};

TEST_F(PhysikServer, ScriptCommandsReadTheWorldsDefaultsAndSetThem) {
    ASSERT_TRUE(Run("p = obj('/sys/servers/physik'); gx, gy, gz = p.getgravity()"));
    EXPECT_EQ(Global("gx"), "0.0");
    EXPECT_NEAR(std::stof(Global("gy")), -9.81f, 1e-6f);
    EXPECT_EQ(Global("gz"), "0.0");
    EXPECT_NEAR(std::stof(Eval("p.getworlderp()")), 0.2f, 1e-7f);
    EXPECT_NEAR(std::stof(Eval("p.getworldcfm()")), 0.0001f, 1e-9f);

    ASSERT_TRUE(Run("p.setgravity(0, -4, 0); p.setworlderp(0.5); p.setworldcfm(0.01); gx, gy, gz = p.getgravity()"));
    EXPECT_EQ(Global("gy"), "-4.0");
    EXPECT_EQ(Eval("p.getworlderp()"), "0.5");
    EXPECT_NEAR(dWorldGetCFM(physik->GetWorldId()), 0.01, 1e-7);

    // A value that would poison the world is refused and leaves the old one.
    ASSERT_TRUE(Run("p.setgravity(0, 0/0, 0); p.setworlderp(1/0)"));
    EXPECT_TRUE(LogHas("SetGravity"));
    EXPECT_TRUE(LogHas("SetWorldERP"));
    EXPECT_EQ(physik->GetGravity().y, -4.0f);
    EXPECT_EQ(physik->GetWorldERP(), 0.5f);
}

TEST_F(PhysikServer, BareServerCommandsAreScriptErrors) {
    ASSERT_TRUE(Run("new('nphysikserver', '/bare'); b = obj('/bare'); b.setgravity(1, 2, 3); gx, gy, gz = b.getgravity();"
                    "e = b.getworlderp(); b.setworldcfm(1)"));
    EXPECT_EQ(Global("gy"), "0.0");
    EXPECT_EQ(Global("e"), "0.0");
    EXPECT_TRUE(LogHas("/bare: setgravity: nPhysikServer::SetGravity is not implemented"));
    EXPECT_TRUE(LogHas("/bare: setworldcfm"));
}

TEST_F(PhysikServer, StepIntegratesAtMost80MillisecondsAndEachBodyOnce) {
    const struct {
        float dt, integrated;
        int listed;  // times the body is in the list
    } cases[] = {{0.5f, 0.08f, 1}, {0.05f, 0.05f, 1}, {0.08f, 0.08f, 1}, {0.04f, 0.04f, 3}};
    float x = 0;
    for (const auto& c : cases) {
        nOdePhysikBody* b = BoxBody(vector3(x += 4, 10, 0), vector3(1, 1, 1));
        physik->ClearBodies();
        for (int i = 0; i < c.listed; i++) physik->AddBody(b);
        physik->WorldStep(c.dt);
        EXPECT_NEAR(b->GetLinearVel().y, -9.81f * c.integrated, 1e-5f) << c.dt << " x" << c.listed;
    }
}

TEST_F(PhysikServer, OnlyListedBodiesAndTheirJointPartnersMove) {
    nOdePhysikBody* listed = BoxBody(vector3(0, 10, 0), vector3(1, 1, 1));
    nOdePhysikBody* alone = BoxBody(vector3(3, 10, 0), vector3(1, 1, 1));
    nOdePhysikBody* partner = BoxBody(vector3(0, 12, 0), vector3(1, 1, 1));
    nPhysikJoint* ball = NewJoint(nPhysikJoint::BALL);
    ball->AttachBoddys(listed, partner);
    ball->SetAnchor(vector3(0, 11, 0));

    // `alone` has been stepped before, so it is enabled: a step that does not list it
    // must still leave it where it is, and enabled.
    Step({alone}, 0.02f);
    vector3 alonePos = alone->GetMatrix().Translation();
    ASSERT_TRUE(dBodyIsEnabled(Id(alone)));

    for (int i = 0; i < 5; i++) Step({listed}, 0.02f);
    EXPECT_EQ(alone->GetMatrix().Translation().y, alonePos.y);
    EXPECT_TRUE(dBodyIsEnabled(Id(alone)));
    EXPECT_LT(partner->GetMatrix().Translation().y, 12.0f);
    EXPECT_LT(listed->GetMatrix().Translation().y, 10.0f);
    // The partner was woken by the step and stays enabled, as an island body does.
    EXPECT_TRUE(dBodyIsEnabled(Id(partner)));

    // An empty table moves nothing at all.
    vector3 before = listed->GetMatrix().Translation();
    Step({}, 0.02f);
    EXPECT_EQ(listed->GetMatrix().Translation().y, before.y);
}

TEST_F(PhysikServer, ImpulseBecomesTheForceOfOneStep) {
    ExpectVec(physik->ImpulseToForce(0.05f, vector3(1, -2, 0.5f)), 20, -40, 10, 1e-4f);
    ExpectVec(physik->ImpulseToForce(0.0f, vector3(1, 0, 0)), 0, 0, 0);
}

TEST_F(PhysikServer, ContactJointsLastOneStepEvenWithAnEmptyTable) {
    nOdePhysikBody* a = BoxBody(vector3(0, 0.4f, 0), vector3(1, 1, 1));
    nCollideReport r;
    r.point2 = vector3(0, 0, 0);
    r.normal2 = vector3(0, 1, 0);
    r.depth = 0.1f;
    // A new body is disabled: its first contact joint attaches nothing on its side.
    ASSERT_FALSE(dBodyIsEnabled(Id(a)));
    physik->AddCollisionJoint(a, r);
    ASSERT_EQ(physik->joints.size(), 1u);
    EXPECT_EQ(physik->joints[0].a, nullptr);
    EXPECT_EQ(dBodyGetNumJoints(Id(a)), 0);

    Step({a}, 0.02f);
    EXPECT_TRUE(dBodyIsEnabled(Id(a)));
    physik->AddCollisionJoint(a, r);
    EXPECT_EQ(physik->joints[1].a, Id(a));
    EXPECT_EQ(physik->joints[1].b, nullptr);
    EXPECT_EQ(dBodyGetNumJoints(Id(a)), 1);
    Step({}, 0.02f);
    EXPECT_EQ(dBodyGetNumJoints(Id(a)), 0);
}

TEST_F(PhysikServer, ContactNormalsGoToOdeAsUnitVectorsAndANormalOfNoLengthMakesNoJoint) {
    // The sphere-mesh test reports the mean of the touched triangles' normals: shorter
    // than a unit, or nothing where a thin wall's two faces cancel out. ODE pushes along
    // what it is given and stops fatally on a normal of no length.
    nOdePhysikBody* a = BoxBody(vector3(0, 0.4f, 0), vector3(1, 1, 1));
    Step({a}, 0.02f);
    nCollideReport r;
    r.normal2 = vector3(0, 0.3f, 0.4f);
    r.depth = 0.1f;
    ASSERT_TRUE(physik->AddCollisionJoint(a, r));
    ASSERT_EQ(physik->joints.size(), 1u);
    EXPECT_NEAR(physik->joints[0].contact.geom.normal[1], 0.6, 1e-6);
    EXPECT_NEAR(physik->joints[0].contact.geom.normal[2], 0.8, 1e-6);
    r.normal2 = vector3(0, 0, 0);
    EXPECT_TRUE(physik->AddCollisionJoint(a, r));
    EXPECT_EQ(physik->joints.size(), 1u);
    Step({a}, 0.02f);
    const vector3 p = a->GetMatrix().Translation();
    EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
}

TEST_F(PhysikServer, ContactHandedToOdeCarriesTheReportAndTheMergedSurface) {
    nOdePhysikBody* a = NewBody();
    nOdePhysikBody* b = NewBody(vector3(0, 2, 0));
    Step({a, b}, 0.01f);
    nCollideReport r;
    r.point1 = vector3(9, 9, 9);
    r.point2 = vector3(1, 2, 3);
    r.normal1 = vector3(1, 0, 0);
    r.normal2 = vector3(0, 1, 0);
    r.depth = 0.25f;
    r.frictionDir = vector3(0, 0, 1);

    // mu 0.4 against infinity gives infinity; bounce 0.2 against no bounce gives the
    // flag with the mean 0.1; slip1 is passed on at ODE's bit.
    a->SetContactParam(nPhysikBody::MU, 0.4f);
    a->SetContactParam(nPhysikBody::BOUNCE, 0.2f);
    a->SetContactParam(nPhysikBody::SLIP1, 0.3f);
    b->SetContactParam(nPhysikBody::SLIP2, 0.5f);
    ASSERT_TRUE(physik->AddCollisionJoint(a, b, r));
    const dContact& c = physik->joints.back().contact;
    EXPECT_EQ(c.surface.mu, dInfinity);
    EXPECT_EQ(c.surface.mode, dContactBounce | dContactSlip1 | dContactSlip2);
    EXPECT_NEAR(c.surface.bounce, 0.1, 1e-7);
    EXPECT_NEAR(c.surface.slip1, 0.15, 1e-7);
    EXPECT_NEAR(c.surface.slip2, 0.25, 1e-7);
    EXPECT_EQ(c.geom.pos[0], 1.0);
    EXPECT_EQ(c.geom.pos[2], 3.0);
    EXPECT_EQ(c.geom.normal[1], 1.0);
    EXPECT_NEAR(c.geom.depth, 0.25, 1e-7);
    EXPECT_EQ(c.fdir1[2], 1.0);
    EXPECT_EQ(physik->joints.back().a, Id(a));
    EXPECT_EQ(physik->joints.back().b, Id(b));

    b->SetContactParam(nPhysikBody::MU, 0.6f);
    physik->AddCollisionJoint(a, b, r);
    EXPECT_NEAR(physik->joints.back().contact.surface.mu, 0.5, 1e-7);

    // Against the static world the body's own surface goes over whole.
    a->SetContactParam(nPhysikBody::APPROX1, 1.0f);
    a->SetContactParam(nPhysikBody::CONTACTDIR, 1.0f);
    physik->AddCollisionJoint(a, r);
    const dContact& s = physik->joints.back().contact;
    EXPECT_EQ(s.surface.mode, dContactBounce | dContactSlip1 | dContactApprox1_1 | dContactApprox1_2 | dContactFDir1);
    EXPECT_NEAR(s.surface.mu, 0.4, 1e-7);
    EXPECT_EQ(s.surface.mu2, dInfinity);
    EXPECT_NEAR(s.surface.bounce, 0.2, 1e-7);
    EXPECT_NEAR(s.surface.slip1, 0.3, 1e-7);
}

TEST_F(PhysikServer, MergeRuleAveragesOnlyFlaggedValues) {
    nContactParams a, b;
    a.mu = 0.4f;
    b.mu = kInf;
    a.softerp = 0.8f;  // flag clear: not merged
    b.mode = ode::SoftCFM | ode::FDir1;
    b.softcfm = 0.2f;
    nContactParams m = nOdePhysikServer::MergeSurfaces(a, b);
    EXPECT_TRUE(std::isinf(m.mu));
    EXPECT_EQ(m.mode, ode::SoftCFM | ode::FDir1);
    EXPECT_EQ(m.softcfm, 0.1f);
    EXPECT_EQ(m.softerp, 0.0f);
    m = nOdePhysikServer::MergeSurfaces(b, a);
    EXPECT_TRUE(std::isinf(m.mu));
}

TEST_F(PhysikServer, RefusedStepsAndReportsRunToTheEnd) {
    nOdePhysikBody* a = BoxBody(vector3(0, 5, 0), vector3(1, 1, 1));
    Step({a}, 0.0f);
    Step({a}, -1.0f);
    Step({a}, std::numeric_limits<float>::quiet_NaN());
    EXPECT_TRUE(LogHas("WorldStep: step"));
    EXPECT_EQ(a->GetMatrix().Translation().y, 5.0f);
    nCollideReport r;
    r.depth = std::numeric_limits<float>::quiet_NaN();
    physik->AddCollisionJoint(a, r);
    EXPECT_TRUE(physik->joints.empty());
    EXPECT_TRUE(LogHas("non-finite"));
    Step({a}, 0.01f);
    EXPECT_LT(a->GetMatrix().Translation().y, 5.0f);
}

TEST_F(PhysikServer, TableHolds255BodiesAndForgetsDeadOnes) {
    nOdePhysikBody* a = NewBody();
    for (int i = 0; i < nPhysikServer::MaxBodies; i++) ASSERT_TRUE(physik->AddBody(a));
    EXPECT_FALSE(physik->AddBody(a));
    physik->ClearBodies();
    nOdePhysikBody* b = NewBody();
    physik->AddBody(a);
    physik->AddBody(b);
    physik->AddBody(a);
    bodies.erase(bodies.begin());  // deletes a
    ASSERT_EQ(physik->GetNumBodies(), 1);
    EXPECT_EQ(physik->GetBody(0), b);
    physik->WorldStep(0.01f);
}

TEST_F(PhysikServer, ObjectsOutlivingTheServerAreLeftInert) {
    nOdePhysikBody* a = BoxBody(vector3(0, 1, 0), vector3(1, 1, 1));
    nOdePhysikBody* b = NewBody();
    nPhysikJoint* j = NewJoint(nPhysikJoint::HINGE);
    j->AttachBoddys(a, b);
    physik->Release();
    EXPECT_EQ(a->GetBodyId(), nullptr);
    a->AddForce(vector3(1, 0, 0));
    EXPECT_EQ(a->GetMatrix().Translation().y, 0.0f);
    j->SetAnchor(vector3(1, 1, 1));
    // The fixture's teardown deletes them now, after the server.
}

TEST_F(PhysikServer, UnknownJointOrMassTypeStops) {
    EXPECT_EXIT(physik->CreateJoint(5), testing::ExitedWithCode(3), "nOdePhysikServer::CreateJoint, unknown physik joint!");
    EXPECT_EXIT(physik->CreateMass(0), testing::ExitedWithCode(3), "nOdePhysikServer::CreateMass, unknown physik mass!");
    nPhysikServer* bare = static_cast<nPhysikServer*>(kernel->New("nphysikserver", "/bare"));
    EXPECT_EXIT(bare->WorldStep(0.1f), testing::ExitedWithCode(3), "nPhysikServer::WorldStep, pure virtual function call!");
}

TEST_F(PhysikServer, VisualizeDrawsEveryListedBody) {
    nOdePhysikBody* a = NewBody(vector3(1, 2, 3));
    nPhysikMass* m = NewMass(nPhysikMass::BOX);
    m->SetBox(vector3(1, 1, 1));
    a->ResetMass();
    a->AddMass(m);
    physik->AddBody(a);
    nRecordGfx* gfx = Gfx();
    physik->Visualize(gfx);
    ASSERT_EQ(gfx->prims.size(), 2u);
    ASSERT_EQ(gfx->prims[0].coords.size(), 6u);
    ExpectVec(gfx->prims[0].coords[0], 0.5f, 2, 3);
    EXPECT_EQ(gfx->prims[0].endColor[1], 0.5f);
    EXPECT_EQ(gfx->prims[1].coords.size(), 24u);
    // The box outline is drawn in the body's frame, at 0.9 of its size.
    EXPECT_NEAR(gfx->prims[1].model.m[3][1], 2.0f, 1e-6f);
    for (const vector3& v : gfx->prims[1].coords) EXPECT_NEAR(std::fabs(v.x), 0.45f, 1e-6f);
}

}  // namespace
