// The special-effects server: the summed screen tint and attaching the effect tree.
#include "anim/nSpecialFxServer.h"

#include "gfx/nGfxPackage.h"
#include "scene/nSceneGraph2.h"
#include "scene/nScenePackage.h"
#include "scene/nVisNode.h"
#include "tests/anim/AnimTestKernel.h"

namespace {

// A visual node that counts how often it is attached.
class nCountingVisNode : public nVisNode {
public:
    static const nClassInfo classInfo;
    bool Attach(nSceneGraph2* sg) override {
        attached++;
        return nVisNode::Attach(sg);
    }
    int attached = 0;
};
const nClassInfo nCountingVisNode::classInfo = nClassInfo::Make<nCountingVisNode>("ncountingvisnode", "nvisnode");

class SpecialFxTest : public AnimTestKernel {
protected:
    void SetUp() override {
        AnimTestKernel::SetUp();
        nGfxPackage(kernel);
        nScenePackage(kernel);
        kernel->AddClass(nCountingVisNode::classInfo);
        fx = static_cast<nSpecialFxServer*>(kernel->New("nspecialfxserver", "/sys/servers/specialfx"));
        sg = static_cast<nSceneGraph2*>(kernel->New("nscenegraph2", "/sys/servers/sgraph2"));
    }
    void ExpectColor(bool active, float r, float g, float b, float a) {
        float c[4] = {-1, -1, -1, -1};
        EXPECT_EQ(fx->GetColor(c[0], c[1], c[2], c[3]), active);
        EXPECT_FLOAT_EQ(c[0], r);
        EXPECT_FLOAT_EQ(c[1], g);
        EXPECT_FLOAT_EQ(c[2], b);
        EXPECT_FLOAT_EQ(c[3], a);
    }
    nSpecialFxServer* fx = nullptr;
    nSceneGraph2* sg = nullptr;
};

TEST_F(SpecialFxTest, ColorSumsAndClampsAfterEveryAddition) {
    ExpectColor(false, 0, 0, 0, 0);
    fx->AddColor(2, -1, 0.5f, 1);
    ExpectColor(true, 1, 0, 0.5f, 1);
    fx->Reset();
    ExpectColor(false, 0, 0, 0, 0);
    // Clamped each time: +0.8 +0.8 -0.5 gives 0.5, not 1.1.
    fx->AddColor(0.8f, 0, 0, 0);
    fx->AddColor(0.8f, 0, 0, 0);
    fx->AddColor(-0.5f, 0, 0, 0);
    ExpectColor(true, 0.5f, 0, 0, 0);
    // Adding nothing still marks the frame as tinted.
    fx->Reset();
    fx->AddColor(0, 0, 0, 0);
    ExpectColor(true, 0, 0, 0, 0);
}

TEST_F(SpecialFxTest, AttachNeedsTheEffectTree) {
    sg->SetRenderContext(7);
    EXPECT_FALSE(fx->Attach(sg));
    EXPECT_EQ(sg->GetRenderContext(), 7u);
    EXPECT_EQ(TakeErrors(), "");  // a missing tree is no error

    kernel->New("nvisnode", "/sys/servers/specialfx/root");
    auto* effect = static_cast<nCountingVisNode*>(kernel->New("ncountingvisnode", "/sys/servers/specialfx/root/glow"));
    EXPECT_TRUE(fx->Attach(sg));
    EXPECT_EQ(sg->GetRenderContext(), 0u);
    EXPECT_EQ(effect->attached, 1);

    // A tree released by a script is found missing again; a root that is no visual node
    // is refused with a log line.
    kernel->Lookup("/sys/servers/specialfx/root")->Release();
    sg->SetRenderContext(3);
    EXPECT_FALSE(fx->Attach(sg));
    EXPECT_EQ(sg->GetRenderContext(), 3u);
    kernel->New("nroot", "/sys/servers/specialfx/root");
    EXPECT_FALSE(fx->Attach(sg));
    EXPECT_EQ(sg->GetRenderContext(), 3u);
    EXPECT_NE(TakeErrors(), "");
}

}  // namespace
