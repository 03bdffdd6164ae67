// Collision modules registering their shared shapes in a collide context each frame, and
// the physics module's masses.
#include <gtest/gtest.h>

#include "collide/nCollideShape2.h"
#include "logic/nModExactCollision.h"
#include "logic/nModPhysik.h"
#include "logic/nModPhysikState.h"
#include "logic/nModSimpleCollision.h"
#include "physics/nPhysikBody.h"
#include "physics/nPhysikMass.h"
#include "tests/logic/PhysikFixture.h"

namespace {

class CollisionModuleTest : public PhysikFixture {
protected:
    template <class T>
    T* Module(const char* name, const char* cls, const char* script) {
        std::string path = std::string("/usr/logic/holder/") + name;
        kernel->New(cls, path.c_str());
        EXPECT_TRUE(Run("sel('" + path + "') " + script));
        state->AddModule(name);
        return static_cast<T*>(Lookup(path.c_str()));
    }
    nModSimpleCollision* Simple(const char* name, const char* script) {
        return Module<nModSimpleCollision>(name, "nmodsimplecollision", script);
    }
    nModExactCollision* Exact(const char* name, const char* script) {
        return Module<nModExactCollision>(name, "nmodexactcollision", script);
    }
    static std::string ShapeName(const nModSimpleCollision* m) {
        return m->GetShape() ? m->GetShape()->GetName() : "<none>";
    }
};

TEST_F(CollisionModuleTest, ShapesAreSharedByFormattedName) {
    nModSimpleCollision* a = Simple("a", "setradius(0.5)");
    nModSimpleCollision* b = Simple("b", "setradius(0.5)");
    nModSimpleCollision* c = Simple("c", "setradius(1)");
    nModExactCollision* box = Exact("box", "setbox(1, 2, 3)");
    nModExactCollision* cyl = Exact("cyl", "setcylinder(0.25, 2)");
    nModExactCollision* ball = Exact("ball", "setsphere(1.5)");
    CollideAt(matrix44(), 0.1f);
    // Object names turn the format's dots into underscores.
    EXPECT_EQ(ShapeName(a), "quick_0_5");
    EXPECT_EQ(a->GetShape(), b->GetShape());
    EXPECT_EQ(a->GetShape()->GetRefCount(), 2);
    EXPECT_EQ(ShapeName(c), "quick_1");
    EXPECT_EQ(ShapeName(box), "box_1_2_3");
    EXPECT_EQ(ShapeName(cyl), "cylinder_0_25_2");
    EXPECT_EQ(ShapeName(ball), "sphere_1_5");
    EXPECT_FLOAT_EQ(a->GetShape()->GetInnerRadius(), 0.5f);
    EXPECT_EQ(Context()->GetNumStatic(), 6);

    // The first module to ask fills a shape; a later one with the same name takes it as
    // it is.
    box->GetShape()->SetBoxSides(vector3(4.0f, 4.0f, 4.0f));
    nModExactCollision* box2 = Exact("box2", "setbox(1, 2, 3)");
    CollideAt(matrix44(), 0.2f);
    EXPECT_EQ(box2->GetShape(), box->GetShape());
    EXPECT_EQ(box->GetShape()->GetBoxSides(), vector3(4.0f, 4.0f, 4.0f));

    // A new setter lets the old shape go; the shape dies with its last module.
    ASSERT_TRUE(Run("sel('/usr/logic/holder/a') setradius(2)"));
    EXPECT_EQ(b->GetShape()->GetRefCount(), 1);
    EXPECT_EQ(a->GetShape(), nullptr);
    b->Release();
    EXPECT_EQ(Lookup("/sys/share/collideshapes/quick_0_5"), nullptr);
}

TEST_F(CollisionModuleTest, MotionOverTheFrame) {
    nModSimpleCollision* still = Simple("still", "setradius(0.5)");
    nModSimpleCollision* quick = Simple("quick", "setradius(0.5) setdynamic(true)");
    nModExactCollision* exact = Exact("exact", "setsphere(0.5) setdynamic(true)");
    // First frame: nothing has a previous frame, so the exact module does not move; the
    // simple dynamic one moves by nothing.
    CollideAt(At(0, 0, 0), 0.1f);
    EXPECT_FALSE(still->GetMoved());
    EXPECT_TRUE(quick->GetMoved());
    EXPECT_FALSE(exact->GetMoved());
    EXPECT_EQ(quick->GetCollObject().motion, vector3());

    // The node moves by 1 on x: the dynamic ones move from last frame's place, the
    // resting one stays resting with no motion.
    CollideAt(At(1, 0, 0), 0.2f);
    EXPECT_FALSE(still->GetMoved());
    EXPECT_EQ(still->GetCollObject().motion, vector3());
    EXPECT_FALSE(still->GetCollObject().dynamic);
    EXPECT_TRUE(exact->GetMoved());
    EXPECT_EQ(exact->GetCollObject().motion, vector3(1, 0, 0));
    EXPECT_FLOAT_EQ(quick->GetMotionRatio(), 2.0f);
    EXPECT_EQ(Context()->GetNumDynamic(), 2);
    EXPECT_EQ(Context()->GetNumStatic(), 1);

    // A frame whose time does not advance starts at rest; a pure turn does not move an
    // exact module.
    CollideAt(At(2, 0, 0), 0.2f);
    EXPECT_EQ(quick->GetCollObject().motion, vector3());
    EXPECT_FALSE(exact->GetMoved());
    matrix44 turned = At(2, 0, 0);
    turned.RotateY(0.5f);
    turned.SetTranslation(vector3(2, 0, 0));
    CollideAt(turned, 0.3f);
    EXPECT_FALSE(exact->GetMoved());

    // Debug move pushes the object up by 0.1 from where its node is, dynamic or not.
    ASSERT_TRUE(Run("sel('/usr/logic/holder/still') setdebugmove(0, 0.1, 0)"));
    for (float t : {0.4f, 0.5f}) {
        CollideAt(At(3, 0, 0), t);
        EXPECT_TRUE(still->GetMoved());
        EXPECT_EQ(still->GetCollObject().motion, vector3(0, 0.1f, 0));
        EXPECT_EQ(still->GetCollObject().curMatrix.Translation(), vector3(3, 0.1f, 0));
    }

    // After a physics step only dynamic modules take the node's matrix.
    state->SetMatrix(At(7, 0, 0));
    EXPECT_EQ(exact->GetCollObject().curMatrix.Translation(), vector3(7, 0, 0));
    EXPECT_EQ(still->GetCollObject().curMatrix.Translation(), vector3(3, 0.1f, 0));
    // Handed its place, the exact module is still looked at in the next frame, with no
    // motion, so that what it touches is found again; in the frame after, it rests.
    CollideAt(At(7, 0, 0), 0.6f);
    EXPECT_TRUE(exact->GetMoved() && exact->GetCollObject().motion == vector3());
    CollideAt(At(7, 0, 0), 0.7f);
    EXPECT_FALSE(exact->GetMoved());
}

TEST_F(CollisionModuleTest, BadInputIsLoggedAndCollidesWithNothing) {
    // An undeclared class gives -1; a scale is refused; a mesh that does not load is
    // logged once and registers nothing until the next shape.
    nModSimpleCollision* s = Simple("s", "setcollclass('nosuch') sxyz(2, 2, 2) setradius(1)");
    EXPECT_EQ(s->GetCollObject().classIndex, -1);
    EXPECT_EQ(s->GetScale(), vector3(1, 1, 1));
    nModSimpleCollision* none = Simple("none", "setdynamic(true)");
    nModExactCollision* mesh = Exact("mesh", "setmesh('missing.n3d')");
    log.text.clear();
    CollideAt(matrix44(), 0.1f);
    CollideAt(matrix44(), 0.2f);
    EXPECT_EQ(Count(log.text, "missing.n3d' not loaded"), 1) << log.text;
    EXPECT_EQ(Context()->GetNumStatic() + Context()->GetNumDynamic(), 1);
    EXPECT_EQ(none->GetShape(), nullptr);
    ASSERT_TRUE(Run("sel('/usr/logic/holder/mesh') setsphere(1)"));
    CollideAt(matrix44(), 0.3f);
    EXPECT_EQ(ShapeName(mesh), "sphere_1");
    // An exact module given only a radius has no kind to build: logged once, nothing
    // registered, and the next shape setter makes it collide.
    nModExactCollision* kindless = Exact("kindless", "setradius(0.5)");
    log.text.clear();
    CollideAt(matrix44(), 0.31f);
    CollideAt(matrix44(), 0.32f);
    EXPECT_EQ(Count(log.text, "kindless: no shape kind set"), 1) << log.text;
    EXPECT_EQ(kindless->GetShape(), nullptr);
    EXPECT_EQ(Context()->GetNumStatic() + Context()->GetNumDynamic(), 2);
    ASSERT_TRUE(Run("sel('/usr/logic/holder/kindless') setbox(1, 1, 1)"));
    CollideAt(matrix44(), 0.33f);
    EXPECT_EQ(ShapeName(kindless), "box_1_1_1");
    // A state without context registers nothing and stops nothing.
    state->SetContext("nowhere");
    CollideAt(matrix44(), 0.4f);
    EXPECT_EQ(Context()->GetNumStatic(), 0);
}

TEST_F(CollisionModuleTest, SavingFollowsTheSetters) {
    Simple("s", "setcollclass('solid') setdynamic(true) setcolor(1, 0, 0, 1) setdebugmove(0, 1, 0)");
    Exact("e", "txyz(0, 1, 0) setbox(1, 2, 3) setsizeable(true)");
    ASSERT_TRUE(Lookup("/usr/logic/holder/s")->SaveAs(Path("s").c_str()));
    ASSERT_TRUE(Lookup("/usr/logic/holder/e")->SaveAs(Path("e").c_str()));
    std::string s = Slurp(Path("s.n"));
    std::string e = Slurp(Path("e.n"));
    EXPECT_NE(s.find("setcollclass( \"solid\" )\nsetdynamic( true )\nsetsizeable( false )\n"
                     "setcolor( 1.00000000, 0.00000000, 0.00000000, 1.00000000 )\n"),
              std::string::npos)
        << s;
    for (const char* absent : {"setradius", "setdebugmove"}) EXPECT_EQ(s.find(absent), std::string::npos) << s;
    EXPECT_NE(e.find("txyz( 0.00000000, 1.00000000, 0.00000000 )\nsetdynamic( false )\nsetsizeable( true )\n"
                     "setcolor( 0.00000000, 0.00000000, 1.00000000, 1.00000000 )\n"
                     "setbox( 1.00000000, 2.00000000, 3.00000000 )\n"),
              std::string::npos)
        << e;
    kernel->SetCwd(kernel->New("nroot", "/loaded"));
    auto* back = static_cast<nModExactCollision*>(kernel->Load(Path("e.n").c_str()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetKind(), nModExactCollision::Box);
    ASSERT_TRUE(back->SaveAs(Path("e2").c_str()));
    EXPECT_EQ(Slurp(Path("e2.n")), e);
}

TEST_F(CollisionModuleTest, PhysikModuleMasses) {
    ASSERT_TRUE(Run("new('nmodphysik', '/usr/logic/holder/m') sel('/usr/logic/holder/m')"));
    // Before any mass: logged, nothing done, zeros and "".
    ASSERT_TRUE(Run("setdensity(3) t = gettype() r = getsphere() x, y, z = getbox() cr, cl = getcylinder()"));
    EXPECT_EQ(Eval("t .. r .. x .. y .. z .. cr .. cl"), "0.00.00.00.00.00.0");
    EXPECT_TRUE(LogHas("has no mass yet"));

    ASSERT_TRUE(Run("setsphere(0.5) setdensity(2) setsphere(1) setweight(9)"));
    auto* m = static_cast<nModPhysik*>(Lookup("/usr/logic/holder/m"));
    nPhysikMass* sphere = m->GetPhysikMass();
    EXPECT_EQ(Eval("gettype() .. ' ' .. getsphere()"), "sphere 1.0");
    EXPECT_FLOAT_EQ(sphere->GetDensity(), 2.0f);
    ASSERT_TRUE(Run("setbox(1, 1, 1)"));
    EXPECT_EQ(Eval("gettype()"), "box");
    EXPECT_FLOAT_EQ(m->GetPhysikMass()->GetDensity(), 5.0f);
    ASSERT_TRUE(Run("setcylinder(0.5, 2)"));
    EXPECT_EQ(Eval("gettype()"), "cylinder");
    ASSERT_TRUE(Run("r, l = getcylinder()"));
    EXPECT_EQ(Eval("r .. ' ' .. l"), "0.5 2.0");

    // Saved after the transformer's lines; the weight is never written.
    ASSERT_TRUE(Run("setsphere(0.5) setdensity(2) txyz(0, 1, 0)"));
    ASSERT_TRUE(m->SaveAs(Path("m").c_str()));
    std::string saved = Slurp(Path("m.n"));
    EXPECT_NE(saved.find("txyz( 0.00000000, 1.00000000, 0.00000000 )\nsetsphere( 0.50000000 )\n"
                         "setdensity( 2.00000000 )\n"),
              std::string::npos)
        << saved;
    EXPECT_EQ(saved.find("setweight"), std::string::npos);

    // The physics state adds the mass to the body at the module's place each frame.
    auto* ps = static_cast<nModPhysikState*>(holder->AddModuleState(new nModPhysikState("physik", holder)));
    ps->AddModule("m");
    graph->BeginTraversal();
    ps->Update(matrix44());
    graph->EndTraversal();
    EXPECT_EQ(ps->GetBody()->GetNumMasses(), 1);
    EXPECT_EQ(m->GetPhysikMass()->GetPosition(), vector3(0, 1, 0));
    EXPECT_GT(ps->GetBody()->GetMass(), 0.0f);
}

}  // namespace
