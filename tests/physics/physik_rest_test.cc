// A box dropped onto a static box and onto a static triangle-mesh floor, with this test
// playing the collision and physics modules' parts each 1/34-s frame: both objects
// registered in the context "physik" (the box moving by what the last step moved it),
// Collide, the box's contacts (at most 12, the deepest kept) turned into contact joints,
// the world step, the matrix read back.
#include <algorithm>
#include <cmath>
#include <string>

#include "collide/nCollideContext2.h"
#include "kernel/quaternion.h"
#include "tests/physics/PhysicsFixture.h"

namespace {

constexpr float kFrame = 1.0f / 34.0f;
constexpr int kFrames = 340;  // 10 s
constexpr int kMaxContacts = 12;

class PhysikRest : public PhysicsFixture {
protected:
    const char* ServerClass() const override { return "nxcollideserver"; }

    void SetUp() override {
        PhysicsFixture::SetUp();
        TwoClasses(COLLTYPE_EXACT);
        ctx = collide->NewContext("physik");
    }

    struct Track {
        bool touched = false;
        float lowest = 1e9f;         // lowest centre height from the first contact on
        float lastMin = 1e9f, lastMax = -1e9f;  // over the last second
        vector3 lastStart, end;
        float upright = 0.0f;        // the box's up axis against the world's at the end
    };

    // Drops a unit box of density 5 from `start`, tilted by 0.3 rad about a horizontal
    // axis, onto `ground` at the identity.
    Track Drop(nCollideShape2* ground, const vector3& start) {
        nCollideShape2* boxShape = collide->NewShape(nCollideShape2::BOX, "dropbox");
        boxShape->SetBoxSides(vector3(1, 1, 1));
        nOdePhysikBody* body = BoxBody(start, vector3(1, 1, 1));
        quaternion q;
        q.FromAxisAngle(vector3(0.7071068f, 0, 0.7071068f), 0.3f);
        matrix44 m;
        m.SetQuaternion(q);
        m.SetTranslation(start);
        body->SetMatrix(m);

        // Reports are found by the module state; the objects stand in for theirs.
        auto* boxState = reinterpret_cast<nModuleState*>(&boxObj);
        Place(boxObj, boxShape, 0, true);
        boxObj.state = boxState;
        Place(groundObj, ground, 1, false);
        groundObj.state = reinterpret_cast<nModuleState*>(&groundObj);

        Track t;
        matrix44 prev = body->GetMatrix();
        for (int frame = 0; frame < kFrames; frame++) {
            collide->BeginFrame();
            matrix44 cur = body->GetMatrix();
            boxObj.prevMatrix = prev;
            boxObj.curMatrix = cur;
            boxObj.motion = cur.Translation() - prev.Translation();
            boxObj.ClearCounts();
            groundObj.ClearCounts();
            ctx->AddObject(&boxObj);
            ctx->AddObject(&groundObj);
            physik->ClearBodies();
            physik->AddBody(body);
            collide->EndFrame();
            ctx->Collide();

            nCollideReport** list = nullptr;
            const int n = ctx->GetContacts(boxState, list);
            nCollideReport* kept[kMaxContacts];
            int numKept = 0;
            for (int i = 0; i < n; i++) {
                if (list[i]->objA != &boxObj) continue;
                if (numKept < kMaxContacts) {
                    kept[numKept++] = list[i];
                    continue;
                }
                // A further contact replaces the shallowest kept one when deeper.
                int shallow = 0;
                for (int k = 1; k < kMaxContacts; k++)
                    if (kept[k]->depth < kept[shallow]->depth) shallow = k;
                if (list[i]->depth > kept[shallow]->depth) kept[shallow] = list[i];
            }
            for (int k = 0; k < numKept; k++) EXPECT_TRUE(physik->AddCollisionJoint(body, *kept[k]));
            t.touched = t.touched || numKept > 0;
            prev = cur;
            physik->WorldStep(kFrame);

            const vector3 p = body->GetMatrix().Translation();
            if (t.touched) t.lowest = std::min(t.lowest, p.y);
            if (frame == kFrames - 34) t.lastStart = p;
            if (frame >= kFrames - 34) {
                t.lastMin = std::min(t.lastMin, p.y);
                t.lastMax = std::max(t.lastMax, p.y);
            }
        }
        matrix44 end = body->GetMatrix();
        t.end = end.Translation();
        t.upright = std::fabs(end.m[1][1]);
        return t;
    }

    static void Place(nCollideObject2& obj, nCollideShape2* shape, int cls, bool dynamic) {
        obj.shape = shape;
        obj.classIndex = cls;
        obj.dynamic = dynamic;
        obj.owner = reinterpret_cast<nLogicNode*>(&obj);
    }

    // Resting: above the ground's surface from the first contact on (a little sinking in
    // is what the contact's softness allows), still over the last second, upright.
    static void ExpectRestingAt(const Track& t, float centre) {
        EXPECT_TRUE(t.touched);
        EXPECT_GT(t.lowest, centre - 0.05f);
        EXPECT_NEAR(t.end.y, centre, 0.05f);
        EXPECT_LT(t.lastMax - t.lastMin, 0.01f);
        EXPECT_LT(std::fabs(t.end.x - t.lastStart.x) + std::fabs(t.end.z - t.lastStart.z), 0.01f);
        EXPECT_GT(t.upright, 0.999f);
    }

    nCollideContext2* ctx = nullptr;
    nCollideObject2 boxObj;
    nCollideObject2 groundObj;
};

TEST_F(PhysikRest, BoxComesToRestOnAStaticBox) {
    nCollideShape2* ground = collide->NewShape(nCollideShape2::BOX, "groundbox");
    ground->SetBoxSides(vector3(6, 1, 6));  // top face at y 0.5
    ExpectRestingAt(Drop(ground, vector3(0.2f, 3.0f, -0.1f)), 1.0f);
}

TEST_F(PhysikRest, BoxComesToRestOnATriangleFloor) {
    std::string path = Write("floor.n3d",
                             "v -5 0 -5\nv -5 0 5\nv 5 0 5\nv 5 0 -5\n"
                             "f 1 2 3\nf 1 3 4\n");
    nCollideShape2* floor = collide->NewShape(nCollideShape2::MESH, path.c_str());
    ASSERT_TRUE(floor->Load(path.c_str()));
    ExpectRestingAt(Drop(floor, vector3(-0.3f, 2.5f, 0.4f)), 0.5f);
}

}  // namespace
