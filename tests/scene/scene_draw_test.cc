#include "gfx/nIndexBuffer.h"
#include "gfx/nVertexBuffer.h"
#include "scene/nScenePackage.h"
#include "tests/gfx/VertexTestServer.h"
#include "tests/scene/SceneFixture.h"

namespace {

using bwtest::ColorNear;

constexpr uint32_t Red = 0xFFFF0000u;

// The scene graph on the OpenGL device: what a frame draws lands in the picture.
class SceneDrawTest : public VertexTestServer {
protected:
    void SetUp() override {
        VertexTestServer::SetUp();
        nScenePackage(kernel);
        kernel->AddClass(nTestVisNode::classInfo);
        kernel->New("nchannelserver", "/sys/servers/channel");
        kernel->New("nshadowserver", "/sys/servers/shadow");
        sg = static_cast<nSceneGraph2*>(kernel->New("nscenegraph2", "/sys/servers/sgraph2"));
    }
    void Frame(nVisNode* root) {
        ASSERT_TRUE(BeginFrame());
        sg->BeginScene(matrix44());
        sg->SetRenderContext(0);
        root->Attach(sg);
        sg->EndScene(true);
        gfx->EndScene();
    }
    nTestVisNode* Node(const char* path, nTestVisNode::Role role) {
        auto* n = static_cast<nTestVisNode*>(kernel->New("ntestvisnode", path));
        n->role = role;
        return n;
    }
    nSceneGraph2* sg = nullptr;
};

TEST_F(SceneDrawTest, AMeshIsDrawnWhereItsTransformPutsIt) {
    nVertexBuffer* vb = gfx->NewVertexBuffer("tri", 0, N_VT_COORD | N_VT_RGBA, 3);
    ASSERT_NE(vb, nullptr);
    ASSERT_TRUE(vb->Lock());
    const float corners[3][2] = {{-0.25f, -0.25f}, {0.25f, -0.25f}, {0.0f, 0.25f}};
    for (int i = 0; i < 3; i++) {
        float* c = vb->GetCoordPtr() + i * vb->GetStride();
        c[0] = corners[i][0];
        c[1] = corners[i][1];
        c[2] = -0.5f;
        vb->GetColorPtr()[i * vb->GetStride()] = Red;
    }
    vb->Unlock();
    nIndexBuffer* ib = gfx->NewIndexBuffer("tri");
    ib->Begin(0, nIndexBuffer::TRIANGLELIST, 3);
    for (int i = 0; i < 3; i++) ib->GetLockPtr()[i] = uint16_t(i);
    ib->End();

    nTestVisNode* t = Node("/root", nTestVisNode::Transform);
    t->local.m[3][0] = 0.5f;
    nTestVisNode* mesh = Node("/root/mesh", nTestVisNode::Mesh);
    mesh->vb = vb;
    mesh->ib = ib;
    Frame(t);
    EXPECT_TRUE(ColorNear(Presented(47, 34), Red));
    EXPECT_TRUE(ColorNear(Presented(24, 34), Clear));

    // Moved to the left: the picture follows.
    t->local.m[3][0] = -0.5f;
    Frame(t);
    EXPECT_TRUE(ColorNear(Presented(47, 34), Clear));
    EXPECT_TRUE(ColorNear(Presented(16, 34), Red));
    // A frame that is not rendered leaves the clear colour.
    ASSERT_TRUE(BeginFrame());
    sg->BeginScene(matrix44());
    t->Attach(sg);
    sg->EndScene(false);
    gfx->EndScene();
    EXPECT_TRUE(ColorNear(Presented(16, 34), Clear));
    EXPECT_FALSE(TakeErrors());
}

}  // namespace
