#include <string>

#include "scene/nShadowCaster.h"
#include "tests/scene/SceneFixture.h"

namespace {

using ShadowServerTest = SceneFixture;

TEST_F(ShadowServerTest, CastersAreNamedAndFoundWithoutAReference) {
    nShadowCaster* a = shadow->NewCaster(nullptr);
    nShadowCaster* b = shadow->NewCaster("");
    ASSERT_TRUE(a && b);
    EXPECT_STREQ(a->GetName(), "res0");
    EXPECT_STREQ(b->GetName(), "res1");
    nShadowCaster* mesh = shadow->NewCaster("meshes/a.n3d_ro");
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(Lookup("/sys/share/shadowcasters/meshes_a_n3d_ro"), mesh);
    EXPECT_EQ(shadow->FindCaster("meshes/a.n3d_ro"), mesh);
    EXPECT_EQ(shadow->FindCaster("meshes\\a:n3d.ro"), mesh);
    EXPECT_EQ(mesh->GetRefCount(), 1);
    EXPECT_EQ(shadow->FindCaster("meshes/b.n3d_ro"), nullptr);
    // Two long paths that share their last 31 characters stay two casters.
    std::string tail(40, 'x');
    nShadowCaster* p1 = shadow->NewCaster(("one/" + tail).c_str());
    nShadowCaster* p2 = shadow->NewCaster(("two/" + tail).c_str());
    EXPECT_NE(p1, p2);
    // Something else under the list is no caster.
    kernel->New("nroot", "/sys/share/shadowcasters/plain");
    EXPECT_EQ(shadow->FindCaster("plain"), nullptr);
}

TEST_F(ShadowServerTest, CasterSizesItsArrays) {
    nShadowCaster* c = shadow->NewCaster("c");
    ASSERT_TRUE(c->SetSize(4, 6));
    EXPECT_EQ(c->GetNumVertices(), 4);
    EXPECT_EQ(c->GetNumEdges(), 6);
    EXPECT_EQ(c->GetCoords()[11], 0.0f);
    c->GetEdges()[5] = {0, 1, 2, 3};
    EXPECT_FALSE(c->SetSize(-1, 2));
    EXPECT_EQ(c->GetNumVertices(), 0);
    EXPECT_EQ(c->GetEdges(), nullptr);
}

TEST_F(ShadowServerTest, ScriptCommandsAndDefaults) {
    ASSERT_TRUE(Run("sel('/sys/servers/shadow')\n"
                    "a = getcastshadows()\n"
                    "r, g, b, al = getshadowcolor()\n"
                    "setcastshadows(true)\n"
                    "setshadowcolor(0.1, 0.2, 0.3, 0.4)\n"
                    "c = getcastshadows()\n"
                    "r2, g2, b2, a2 = getshadowcolor()\n"));
    EXPECT_EQ(Global("a"), "nil");
    EXPECT_EQ(Eval("r .. ' ' .. g .. ' ' .. b .. ' ' .. al"), "0.0 0.0 0.0 0.5");
    EXPECT_EQ(Global("c"), "1");
    EXPECT_TRUE(shadow->GetCastShadows());
    float r, g, b, a;
    shadow->GetShadowColor(r, g, b, a);
    EXPECT_FLOAT_EQ(b, 0.3f);
    EXPECT_FLOAT_EQ(a, 0.4f);
}

}  // namespace
