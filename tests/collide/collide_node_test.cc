// The collide node: its object follows the node's world matrix frame by frame, its
// shape comes from a mesh file and is exchanged when the name changes.
#include "collide/nCollideContext.h"
#include "collide/nCollideNode.h"
#include "collide/nCollideObject.h"
#include "collide/nCollidePackage.h"
#include "collide/nCollideServer.h"
#include "collide/nCollideShape.h"
#include "scene/n3DNode.h"
#include "tests/scene/SceneFixture.h"

namespace {

class CollideNodeTest : public SceneFixture {
protected:
    void SetUp() override {
        SceneFixture::SetUp();
        nCollidePackage(kernel);
    }
    nCollideServer* Server() { return static_cast<nCollideServer*>(Lookup("/sys/servers/collide")); }
    nCollideNode* Node(const char* path) { return static_cast<nCollideNode*>(Lookup(path)); }
    // A server with the classes "a" and "b", quick between them.
    void Classes() {
        ASSERT_TRUE(Run("new('ncollideserver', '/sys/servers/collide'); sel('/sys/servers/collide');"
                        "begincollclasses(); addcollclass('a'); addcollclass('b'); endcollclasses();"
                        "begincolltypes(); addcolltype('a', 'b', 'quick'); endcolltypes(); sel('/')"));
    }
};

TEST_F(CollideNodeTest, ObjectFollowsTheMovedTransform) {
    Classes();
    std::string mesh = Write("rock.n3d", "v 0 0 0\nv 2 0 0\nv 0 1 0\nf 1 2 3\n");
    ASSERT_TRUE(Run("new('n3dnode', '/scene'); sel('/scene'); new('n3dnode', 't'); sel('t'); txyz(1, 2, 3);"
                    "new('ncollidenode', 'c'); sel('c'); setcollclass('b'); setfilename('" + mesh + "'); sel('/')"));
    EXPECT_EQ(Eval("obj('/scene/t/c').getfilename()"), mesh);
    EXPECT_EQ(Eval("obj('/scene/t/c').getcollclass()"), "b");
    auto* root = static_cast<nVisNode*>(Lookup("/scene"));
    nCollideNode* node = Node("/scene/t/c");
    Frame(root);
    nCollideObject* obj = node->GetCollideObject();
    ASSERT_NE(obj, nullptr);
    EXPECT_TRUE(obj->IsAttached());
    EXPECT_EQ(obj->GetClass(), 1);
    EXPECT_EQ(obj->GetContext(), Server()->GetDefaultContext());
    ASSERT_NE(node->GetShape(), nullptr);
    EXPECT_FLOAT_EQ(obj->GetRadius(), 2.0f);
    EXPECT_EQ(obj->GetMatrix().Translation(), vector3(1, 2, 3));
    // The script moves the transform; a camera away from the origin leaves world
    // positions as they are.
    ASSERT_TRUE(Run("sel('/scene/t'); txyz(-4, 0, 7); sel('/')"));
    matrix44 viewer;
    viewer.SetTranslation(vector3(0, 0, 10));
    gfx->SetMatrix(nGfxServer::VIEWER, viewer);
    matrix44 view;
    view.SetTranslation(vector3(0, 0, -10));
    Frame(root, true, view);
    EXPECT_EQ(obj->GetMatrix().Translation(), vector3(-4, 0, 7));
    EXPECT_EQ(obj->GetPrevMatrix().Translation(), vector3(-4, 0, 7));
    // Changing the class afterwards changes nothing.
    ASSERT_TRUE(Run("sel('/scene/t/c'); setcollclass('a'); sel('/')"));
    Frame(root, true, view);
    EXPECT_EQ(obj->GetClass(), 1);
    EXPECT_EQ(node->GetCollideObject(), obj);
    // Saving writes none of the node's commands.
    ASSERT_TRUE(node->SaveAs(Path("c").c_str()));
    std::string text = Slurp(Path("c.n"));
    EXPECT_EQ(text.find("setfilename"), std::string::npos) << text;
    EXPECT_EQ(text.find("setcollclass"), std::string::npos) << text;
    // Dying, the node gives its object and shape back.
    nCollideContext* ctx = Server()->GetDefaultContext();
    node->Release();
    EXPECT_EQ(ctx->GetAxisList().GetHead(), nullptr);
    char name[512];
    Server()->MakeResourceName(mesh.c_str(), name, sizeof(name));
    EXPECT_EQ(Server()->FindShape(name), nullptr);
}

TEST_F(CollideNodeTest, NewFileNameReleasesTheOldShapeFirst) {
    Classes();
    std::string path = Write("m.n3d", "v 1 0 0\nv 0 1 0\nv 0 0 1\nf 1 2 3\n");
    // One collide node for each transform: a scene node computes one of them.
    ASSERT_TRUE(Run("new('n3dnode', '/scene'); sel('/scene'); new('n3dnode', 't1'); new('n3dnode', 't2');"
                    "sel('t1'); new('ncollidenode', 'c1'); sel('c1'); setcollclass('a'); setfilename('" + path +
                    "'); sel('/scene/t2'); new('ncollidenode', 'c2'); sel('c2'); setcollclass('a');"
                    "setfilename('" + path + "'); sel('/')"));
    auto* root = static_cast<nVisNode*>(Lookup("/scene"));
    Frame(root);
    nCollideNode* c1 = Node("/scene/t1/c1");
    nCollideNode* c2 = Node("/scene/t2/c2");
    ASSERT_NE(c1->GetShape(), nullptr);
    EXPECT_EQ(c1->GetShape(), c2->GetShape());
    EXPECT_EQ(c1->GetShape()->GetRefCount(), 2);
    // The file changes on disk: a shape still used elsewhere is not read again...
    Write("m.n3d", "v 3 0 0\nv 0 1 0\nv 0 0 1\nf 1 2 3\n");
    c1->SetFileName(path.c_str());
    Frame(root);
    EXPECT_FLOAT_EQ(c1->GetShape()->GetRadius(), 1.0f);
    // ...one that only this node used is deleted and read again.
    c2->SetFileName("other.n3d");
    Frame(root);
    EXPECT_EQ(c2->GetShape(), nullptr);
    EXPECT_TRUE(LogHas("other.n3d"));
    EXPECT_EQ(c2->GetCollideObject()->GetRadius(), 0.0f);
    EXPECT_EQ(c1->GetShape()->GetRefCount(), 1);
    c1->SetFileName(path.c_str());
    Frame(root);
    EXPECT_FLOAT_EQ(c1->GetShape()->GetRadius(), 3.0f);
    EXPECT_FLOAT_EQ(c1->GetCollideObject()->GetRadius(), 3.0f);
}

TEST_F(CollideNodeTest, ClasslessNodesWaitAndMissingServersAreMade) {
    ASSERT_TRUE(Run("new('n3dnode', '/scene'); sel('/scene'); new('ncollidenode', 'c'); sel('/')"));
    auto* root = static_cast<nVisNode*>(Lookup("/scene"));
    nCollideNode* node = Node("/scene/c");
    EXPECT_EQ(Server(), nullptr);
    Frame(root);
    // The first node made the server; without a class nothing is registered yet.
    ASSERT_NE(Server(), nullptr);
    EXPECT_EQ(node->GetCollideObject(), nullptr);
    EXPECT_EQ(node->GetShape(), nullptr);
    // An unknown class is logged and collides with nothing.
    node->SetCollClass("nosuch");
    Frame(root);
    ASSERT_NE(node->GetCollideObject(), nullptr);
    EXPECT_EQ(node->GetCollideObject()->GetClass(), -1);
    EXPECT_TRUE(LogHas("unknown collision class 'nosuch'"));
    EXPECT_EQ(node->GetShape(), nullptr);
    // The server dies under the node: the next frame registers with a new one, and the
    // node dies without touching the dead one.
    Server()->Release();
    Frame(root);
    ASSERT_NE(Server(), nullptr);
    ASSERT_NE(node->GetCollideObject(), nullptr);
    EXPECT_TRUE(node->GetCollideObject()->IsAttached());
    EXPECT_EQ(node->GetCollideObject()->GetContext(), Server()->GetDefaultContext());
    Server()->Release();
    node->Release();
}

}  // namespace
