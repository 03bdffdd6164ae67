// The collide server: classes and pair types, the default declarations, shared shapes.
#include <cstdio>

#include "collide/nCollideSetup.h"
#include "tests/collide/CollideFixture.h"
#include "tests/kernel/Respelled.h"

namespace {

using CollideServerTest = CollideFixture;

TEST_F(CollideServerTest, DefaultSetupDeclaresTheGameWorld) {
    nCollideDefaultSetup(collide);
    EXPECT_EQ(collide->GetNumCollClasses(), 17);
    EXPECT_EQ(collide->QueryCollClass("triggerzone"), 0);
    EXPECT_EQ(collide->QueryCollClass("bwitems"), 16);
    ASSERT_TRUE(Run("c = obj('/sys/servers/collide2')"));
    EXPECT_EQ(Eval("c.querycolltype('static', 'dynamic')"), "exact");
    EXPECT_EQ(Eval("c.querycolltype('dynamic', 'static')"), "exact");
    EXPECT_EQ(Eval("c.querycolltype('view', 'diver')"), "contact");
    EXPECT_EQ(Eval("c.querycolltype('divertrigger', 'triggerzone')"), "quick");
    EXPECT_EQ(Eval("c.querycolltype('fish', 'static')"), "ignore");
    EXPECT_EQ(collide->GetCollType(-1, -4), COLLTYPE_IGNORE);
    // Count the pairs that are not "ignore": 24 declarations, 22 of them between two
    // different classes and so in both halves.
    int set = 0;
    for (int i = 0; i < 17; i++) {
        for (int j = 0; j < 17; j++) {
            EXPECT_EQ(collide->GetCollType(i, j), collide->GetCollType(j, i));
            set += collide->GetCollType(i, j) != COLLTYPE_IGNORE;
        }
    }
    EXPECT_EQ(set, 22 * 2 + 2);
    // Contexts: newest first in the list, each found by name.
    std::vector<std::string> names;
    for (nCollideContext2* c = collide->GetFirstContext(); c; c = collide->GetNextContext(c)) names.push_back(c->GetName());
    EXPECT_EQ(names, (std::vector<std::string>{"picking", "damage", "trigger", "physik"}));
    EXPECT_NE(collide->FindContext("trigger"), nullptr);
    EXPECT_EQ(collide->FindContext("nothere"), nullptr);
}

TEST_F(CollideServerTest, ClassesAndTypesFromScripts) {
    ASSERT_TRUE(Run("c = obj('/sys/servers/collide2'); c.begincollclasses(); c.addcollclass('a');"
                    "c.addcollclass('b'); c.addcollclass('a'); c.endcollclasses()"));
    EXPECT_EQ(collide->GetNumCollClasses(), 2);
    EXPECT_EQ(collide->QueryCollClass("a"), 0);
    EXPECT_EQ(collide->QueryCollClass("b"), 1);
    // No matrix yet: every pair is "ignore", and setting one does nothing.
    EXPECT_EQ(Eval("c.querycolltype('a', 'b')"), "ignore");
    ASSERT_TRUE(Run("c.addcolltype('a', 'b', 'exact')"));
    EXPECT_EQ(Eval("c.querycolltype('a', 'b')"), "ignore");

    ASSERT_TRUE(Run("c.begincolltypes(); c.addcolltype('a', 'b', 'contact')"));
    EXPECT_EQ(Eval("c.querycolltype('a', 'b')"), "contact");
    EXPECT_EQ(Eval("c.querycolltype('b', 'a')"), "contact");
    EXPECT_EQ(Eval("c.querycolltype('a', 'a')"), "ignore");
    ASSERT_TRUE(Run("c.addcolltype('b', 'a', 'exact'); c.endcolltypes()"));
    EXPECT_EQ(Eval("c.querycolltype('a', 'b')"), "exact");
    EXPECT_EQ(Eval("c.querycolltype('b', 'a')"), "exact");

    // Script mistakes are logged and change nothing.
    log.text.clear();
    ASSERT_TRUE(Run("c.addcolltype('a', 'b', 'sometimes')"));
    EXPECT_TRUE(LogHas("unknown collision type 'sometimes'"));
    EXPECT_EQ(Eval("c.querycolltype('a', 'b')"), "exact");
    log.text.clear();
    EXPECT_EQ(Eval("c.querycolltype('a', 'nosuch')"), "ignore");
    EXPECT_TRUE(LogHas("unknown collision class 'nosuch'"));
    EXPECT_EQ(collide->QueryCollClass("nosuch"), -1);

    // A class added after the matrix was made stays outside it until the next one.
    ASSERT_TRUE(Run("c.addcollclass('late')"));
    EXPECT_EQ(collide->QueryCollClass("late"), 2);
    ASSERT_TRUE(Run("c.addcolltype('late', 'a', 'exact')"));
    EXPECT_EQ(Eval("c.querycolltype('late', 'a')"), "ignore");
    EXPECT_EQ(Eval("c.querycolltype('late', 'late')"), "ignore");
    EXPECT_EQ(collide->GetCollType(2, 0), COLLTYPE_IGNORE);
    EXPECT_EQ(collide->GetCollType(1000, 0), COLLTYPE_IGNORE);
    ASSERT_TRUE(Run("c.begincolltypes(); c.addcolltype('late', 'a', 'quick'); c.endcolltypes()"));
    EXPECT_EQ(Eval("c.querycolltype('a', 'late')"), "quick");
    EXPECT_EQ(Eval("c.querycolltype('a', 'b')"), "ignore");  // a new matrix starts empty
}

TEST_F(CollideServerTest, ReservedIndicesTestIgnoreFirst) {
    TwoClasses(COLLTYPE_IGNORE);
    EXPECT_EQ(collide->GetCollType(-1, -3), COLLTYPE_IGNORE);
    EXPECT_EQ(collide->GetCollType(-3, -1), COLLTYPE_IGNORE);
    EXPECT_EQ(collide->GetCollType(0, -2), COLLTYPE_QUICK);
    EXPECT_EQ(collide->GetCollType(-4, -2), COLLTYPE_QUICK);
    EXPECT_EQ(collide->GetCollType(-3, -4), COLLTYPE_CONTACT);
    EXPECT_EQ(collide->GetCollType(1, -4), COLLTYPE_EXACT);
    EXPECT_EQ(collide->GetCollType(1, -5), COLLTYPE_IGNORE);
}

TEST_F(CollideServerTest, ShapesAreSharedByName) {
    char name[64];
    std::snprintf(name, sizeof(name), "quick_%g", 0.5);
    nCollideShape2* s1 = collide->NewShape(1, name);
    ASSERT_NE(s1, nullptr);
    EXPECT_FALSE(s1->IsReady());
    s1->SetQuickRadius(0.5f);
    nCollideShape2* s2 = collide->NewShape(1, name);
    EXPECT_EQ(s1, s2);
    EXPECT_EQ(s1->GetRefCount(), 2);
    EXPECT_TRUE(s2->IsReady());
    EXPECT_EQ(Lookup("/sys/share/collideshapes/quick_0_5"), s1);
    EXPECT_STREQ(s1->GetClass()->GetName(), "ncollideshape2");
    s1->Release();
    EXPECT_NE(Lookup("/sys/share/collideshapes/quick_0_5"), nullptr);
    s2->Release();
    EXPECT_EQ(Lookup("/sys/share/collideshapes/quick_0_5"), nullptr);
    // Made again from nothing.
    nCollideShape2* s3 = collide->NewShape(1, name);
    EXPECT_FALSE(s3->IsReady());
    s3->Release();

    char buf[600];
    nCollideServer2::MakeShapeName("data:meshes\\floor/a.n3d", buf, sizeof(buf));
    EXPECT_STREQ(buf, "data_meshes_floor_a_n3d");
    std::string longName = "x" + std::string(600, 'y') + ".n3d";
    nCollideServer2::MakeShapeName(longName.c_str(), buf, sizeof(buf));
    EXPECT_EQ(std::string(buf), std::string(507, 'y') + "_n3d");
}

TEST_F(CollideServerTest, ServerDiesWithItsContextsAndShapes) {
    nCollideDefaultSetup(collide);
    nCollideShape2* s = collide->NewShape(1, "q");
    nCollideContext2* ctx = collide->FindContext("physik");
    collide->ReleaseContext(ctx);
    EXPECT_EQ(collide->FindContext("physik"), nullptr);
    {
        nCollideObject2 obj;
        Place(collide->FindContext("trigger"), obj, s, -2, vector3());
        collide->Release();
        collide = nullptr;
        // The object outlives the server: its destructor must not reach the dead one.
    }
    EXPECT_EQ(Lookup("/sys/servers/collide2"), nullptr);
    EXPECT_EQ(Lookup("/sys/share/collideshapes"), nullptr);
}

// Modules naming one mesh file in any spelling share its shape, named after the first
// spelling; another file is another shape.
TEST_F(CollideServerTest, EverySpellingOfOneMeshFileSharesOneShape) {
    const std::string file = Write("Reef.n3d", "v 0 0 0\n");
    const std::string other = Write("wall.n3d", "v 0 0 0\n");
    nCollideShape2* a = collide->NewShape(nCollideShape2::MESH, file.c_str());
    nCollideShape2* b = collide->NewShape(nCollideShape2::MESH, Respelled(file).c_str());
    nCollideShape2* c = collide->NewShape(nCollideShape2::MESH, other.c_str());
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->GetRefCount(), 2);
    EXPECT_NE(a, c);
    char name[600];
    nCollideServer2::MakeShapeName(file.c_str(), name, sizeof(name));
    EXPECT_STREQ(a->GetName(), name);
    for (nCollideShape2* s : {a, b, c}) s->Release();
}

}  // namespace
