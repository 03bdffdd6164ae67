// Force fields on the logic graph's passes: what an overlapping body gets in the frame's
// step under each force type, which partners are skipped, saving and bad names.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "logic/nLogicForce.h"
#include "logic/nLogicPhysik2.h"
#include "logic/nModPhysikState.h"
#include "physics/nPhysikBody.h"
#include "tests/logic/PhysikFixture.h"

namespace {

constexpr float kDt = 0.05f;

class ForceTest : public PhysikFixture {
protected:
    void SetUp() override {
        PhysikFixture::SetUp();
        // Fields are "ghost", so no contact joint stops what they push.
        GhostsMeetSolids();
    }
    // A field at the origin with a quick sphere of radius 2 in its force state, checked
    // every frame also against bodies that did not move.
    nLogicForce* Field(const std::string& extra = "") {
        EXPECT_TRUE(Run("new('nlogicforce', '/usr/logic/field') sel('/usr/logic/field')"
                        " new('nmodsimplecollision', 'shape') sel('shape') setcollclass('ghost') setradius(2) setdynamic(true)"
                        " sel('..') addcollision('force', 'shape') " +
                        extra));
        return static_cast<nLogicForce*>(Lookup("/usr/logic/field"));
    }
    // A weightless-by-gravity body: a sphere of radius 0.5 at (x, y, z), turned by `rot`
    // (radians about x, y, z).
    nPhysikBody* Body(const char* name, float x, float y, float z, const std::string& rot = "0, 0, 0") {
        const std::string path = std::string("/usr/logic/") + name;
        EXPECT_TRUE(Run("new('nlogicphysik2', '" + path + "') sel('" + path + "') txyz(" + std::to_string(x) + ", " +
                        std::to_string(y) + ", " + std::to_string(z) + ") rxyz(" + rot +
                        ") setgravity(false)"
                        " new('nmodexactcollision', 'shape') sel('shape') setcollclass('solid') setsphere(0.5)"
                        " setdynamic(true) sel('..') addcollision('physik', 'shape')"
                        " new('nmodphysik', 'mass') sel('mass') setsphere(0.5) sel('..') addphysik('physik', 'mass')"));
        return static_cast<nLogicPhysik2*>(Lookup(path.c_str()))->GetPhysikState()->GetBody();
    }
    // The force a body at rest got in one frame of kDt, from its velocity.
    static vector3 Pushed(nPhysikBody* body) { return body->GetLinearVel() * (body->GetMass() / kDt); }
    static void ExpectNear(const vector3& got, const vector3& want, const char* what) {
        EXPECT_TRUE(got.isequal(want, 1e-3f)) << what << ": " << got.x << " " << got.y << " " << got.z;
    }
};

TEST_F(ForceTest, ANewFieldPushesWithGravityOnlyInFramesThatStep) {
    nLogicForce* field = Field();
    EXPECT_EQ(Eval("getforcetyp()"), "linear");
    EXPECT_EQ(Eval("string.format('%g %g %g', getforce())"), "0 -9.81 0");
    EXPECT_EQ(Eval("getcollcontext('force')"), "physik");
    nPhysikBody* body = Body("b", 1, 0, 0);

    Frame(kDt);
    ExpectNear(Pushed(body), vector3(0, -9.81f, 0), "linear");

    // A frame that does not advance time applies nothing.
    body->SetLinearVel(vector3());
    Frame(0.0f);
    ExpectNear(body->GetForce(), vector3(), "time 0");

    // "modify" pushes nothing.
    field->SetForceType("modify");
    body->SetLinearVel(vector3());
    Frame(kDt);
    ExpectNear(Pushed(body), vector3(), "modify");

    // The force state follows the node: moved away, the field no longer reaches the body
    // (after the frame of the move, in which its sphere sweeps from where it was).
    ASSERT_TRUE(Run("sel('/usr/logic/field') setforcetyp('linear') txyz(20, 0, 0)"));
    Frame(kDt);
    body->SetLinearVel(vector3());
    Frame(kDt);
    ExpectNear(Pushed(body), vector3(), "moved away");
}

TEST_F(ForceTest, PointPullsTowardTheCentreFadingToTheRim) {
    // Radii 2 + 0.5: a body 1.5 away gets 1 - 1.5 / 2.5 = 0.4 of the strength 5, toward
    // the centre, whatever way the force vector points and however the body is turned.
    Field("setforcetyp('point') setforce(0, 5, 0)");
    nPhysikBody* plain = Body("plain", 1.5f, 0, 0);
    nPhysikBody* turned = Body("turned", 0, 0, -1.5f, "0, 1.5707964, 0");
    nPhysikBody* centred = Body("centred", 0, 0, 0);
    Frame(kDt);
    // The turned body's own x axis lies along world z: a force in body coordinates
    // would have pushed it sideways.
    EXPECT_LT(std::fabs(turned->GetMatrix().m[0][0]), 0.01f);
    ExpectNear(Pushed(plain), vector3(-2, 0, 0), "plain");
    ExpectNear(Pushed(turned), vector3(0, 0, 2), "turned");
    ExpectNear(Pushed(centred), vector3(), "at the centre");

    // The fade at the rim, beyond it and without radii.
    const vector3 c(1, 1, 1);
    ExpectNear(nLogicForce::PointForce(c, vector3(1, 3, 1), 2.0f, 4.0f), vector3(), "rim");
    ExpectNear(nLogicForce::PointForce(c, vector3(1, 5, 1), 2.0f, 4.0f), vector3(), "beyond");
    ExpectNear(nLogicForce::PointForce(c, vector3(1, 1, 2), 0.0f, 4.0f), vector3(), "no radii");
}

TEST_F(ForceTest, PartnersWithoutABodyInTheStepAreSkipped) {
    Field("setforce(0, 0, 4)");
    // A collision node with no body, and a physics node at rest: neither takes a force.
    // The resting body would otherwise keep it until it wakes and get it all at once.
    ASSERT_TRUE(Run("new('nlogiccollision2', '/usr/logic/rock') sel('/usr/logic/rock') txyz(0, 1.2, 0)"
                    " new('nmodexactcollision', 'shape') sel('shape') setcollclass('solid') setsphere(0.5)"
                    " setdynamic(true) sel('..') addcollision('physik', 'shape') setcollcontext('physik', 'physik')"));
    nPhysikBody* resting = Body("resting", 1.2f, 0, 0);
    nPhysikBody* awake = Body("awake", -1.2f, 0, 0);
    ASSERT_TRUE(Run("sel('/usr/logic/resting') setphysik(false)"));
    Frame(kDt);
    ExpectNear(resting->GetForce(), vector3(), "resting");
    ExpectNear(Pushed(awake), vector3(0, 0, 4), "awake");
    nCollidePair** list = nullptr;  // the field did meet all three
    EXPECT_EQ(Context()->GetCollisions(static_cast<nLogicForce*>(Lookup("/usr/logic/field"))->GetForceState(), list), 3);
}

TEST_F(ForceTest, SavesCollisionLinesThenTypeThenForceAndRefusesUnknownTypes) {
    nLogicForce* field = Field("setforcetyp('point') setforce(1.5, -2, 0.25)");
    log.text.clear();
    ASSERT_TRUE(Run("setforcetyp('Point') setforcetyp('spiral')"));
    EXPECT_EQ(field->GetType(), nLogicForce::Point);
    EXPECT_TRUE(LogHas("/usr/logic/field: setforcetyp: unknown force type 'Point'"));
    EXPECT_TRUE(LogHas("unknown force type 'spiral'"));

    ASSERT_TRUE(field->SaveAs(Path("field").c_str()));
    const std::string saved = Slurp(Path("field.n"));
    const size_t coll = saved.find("setcollcontext( \"force\", \"physik\" )\n");
    const size_t tail = saved.find("setforcetyp( \"point\" )\nsetforce( 1.50000000, -2.00000000, 0.25000000 )\n");
    ASSERT_NE(coll, std::string::npos) << saved;
    ASSERT_NE(tail, std::string::npos) << saved;
    EXPECT_LT(coll, tail);

    kernel->SetCwd(kernel->New("nroot", "/loaded"));
    auto* back = static_cast<nLogicForce*>(kernel->Load(Path("field.n").c_str()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetType(), nLogicForce::Point);
    ASSERT_TRUE(back->SaveAs(Path("field2").c_str()));
    EXPECT_EQ(Slurp(Path("field2.n")), saved);
}

}  // namespace
