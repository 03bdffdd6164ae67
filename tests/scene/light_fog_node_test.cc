#include <string>
#include <vector>

#include "kernel/nKernelServer.h"
#include "scene/nFogNode.h"
#include "scene/nLightNode.h"
#include "tests/scene/SceneFixture.h"

namespace {

class LightFogNodeTest : public SceneFixture {
protected:
    // The events of one frame over `root` that start with `prefix`.
    std::vector<std::string> FrameEvents(nVisNode* root, const std::string& prefix) {
        sceneEvents.clear();
        Frame(root);
        std::vector<std::string> out;
        for (const std::string& e : sceneEvents) {
            if (e.rfind(prefix, 0) == 0) out.push_back(e);
        }
        return out;
    }
};

TEST_F(LightFogNodeTest, LightCommandsKeepTheTypeOnUnknownNames) {
    kernel->New("nlightnode", "/l");
    ASSERT_TRUE(Run("sel('/l'); settype('spot'); a = gettype(); settype('Spot'); b = gettype(); "
                    "settype('directional '); c = gettype(); setcolor(0.1, 0.2, 0.3, 0.4); setg(0.5); "
                    "r, g, bl, al = getcolor(); setattenuation(1, 2, 3); x, y, z = getattenuation(); "
                    "setspot(30, 2); s1, s2 = getspot(); setcastshadows(false); sh = tostring(getcastshadows())"));
    EXPECT_EQ(Global("a"), "spot");
    EXPECT_EQ(Global("b"), "spot");
    EXPECT_EQ(Global("c"), "spot");
    EXPECT_TRUE(LogHas("unknown light type 'Spot'"));
    EXPECT_FLOAT_EQ(std::stof(Global("g")), 0.5f);
    EXPECT_FLOAT_EQ(std::stof(Global("al")), 0.4f);
    EXPECT_EQ(Global("z"), "3.0");
    EXPECT_EQ(Global("s1"), "30.0");
    EXPECT_FALSE(static_cast<nLightNode*>(kernel->Lookup("/l"))->GetCastShadows());
}

TEST_F(LightFogNodeTest, LightSavesItsFiveCommandsAndLoadsBack) {
    auto* fresh = static_cast<nLightNode*>(kernel->New("nlightnode", "/fresh"));
    ASSERT_TRUE(fresh->SaveAs(Path("fresh").c_str()));
    const std::string text = Slurp(Path("fresh.n"));
    const char* lines[] = {"settype( \"ambient\" )", "setcolor( 1", "setattenuation( 0", "setspot( 45",
                           "setcastshadows( true )"};
    size_t at = 0;
    for (const char* line : lines) {
        size_t found = text.find(line, at);
        ASSERT_NE(found, std::string::npos) << line << " in order in\n" << text;
        at = found;
    }

    auto* l = static_cast<nLightNode*>(kernel->New("nlightnode", "/l"));
    l->SetType("point");
    l->SetColor(0.25f, 0.5f, 0.75f, 1);
    l->SetAttenuation(1, 0.5f, 0.25f);
    l->SetCastShadows(false);
    ASSERT_TRUE(l->SaveAs(Path("l").c_str()));
    l->Release();
    kernel->SetCwd(nullptr);
    auto* back = static_cast<nLightNode*>(kernel->Load(Path("l.n").c_str()));
    ASSERT_NE(back, nullptr);
    EXPECT_STREQ(back->GetType(), "point");
    EXPECT_EQ(back->GetLight().b, 0.75f);
    EXPECT_EQ(back->GetLight().attQuadratic, 0.25f);
    EXPECT_FALSE(back->GetCastShadows());
}

TEST_F(LightFogNodeTest, LightReachesTheGfxServerAtItsTransform) {
    nTestVisNode* root = Node("/root", nTestVisNode::Group);
    Transform("/root/t", 1, 2, 3);
    auto* l = static_cast<nLightNode*>(kernel->New("nlightnode", "/root/t/l"));
    l->SetType("directional");
    l->SetColor(0.5f, 0.25f, 1, 1);
    EXPECT_EQ(FrameEvents(root, "light"), std::vector<std::string>{"light 0.5 0.25 1"});
    ASSERT_EQ(gfx->GetNumLights(), 1);
    const nLight& got = gfx->GetLight(0);
    EXPECT_EQ(got.type, nLight::DIRECTIONAL);
    EXPECT_EQ(got.modelview.m[3][0], 1.0f);
    EXPECT_EQ(got.modelview.m[3][2], 3.0f);
    // Shadows: a casting light reaches the shadow server, a non-casting one does not.
    shadow->SetCastShadows(true);
    EXPECT_EQ(FrameEvents(root, "shadow light").size(), 1u);
    l->SetCastShadows(false);
    EXPECT_EQ(FrameEvents(root, "shadow light").size(), 0u);
}

TEST_F(LightFogNodeTest, FogModesDefaultsAndBadNames) {
    auto* f = static_cast<nFogNode*>(kernel->New("nfognode", "/f"));
    ASSERT_TRUE(Run("sel('/f'); m0 = getmode(); a, b = getrange(); d = getdensity(); r, g, bl, al = getcolor(); "
                    "setmode('exp2'); m1 = getmode(); setmode('EXP'); m2 = getmode(); setmode('exp '); m3 = getmode(); "
                    "setmode('exp'); m4 = getmode()"));
    EXPECT_EQ(Global("m0"), "linear");
    EXPECT_EQ(Global("a"), "0.0");
    EXPECT_EQ(Global("b"), "1.0");
    EXPECT_EQ(Global("d"), "1.0");
    EXPECT_EQ(Global("r") + Global("g") + Global("bl") + Global("al"), "1.01.01.01.0");
    EXPECT_EQ(Global("m1"), "exp2");
    EXPECT_EQ(Global("m2"), "exp2");
    EXPECT_EQ(Global("m3"), "exp2");
    EXPECT_EQ(Global("m4"), "exp");
    EXPECT_TRUE(LogHas("unknown fog mode 'EXP'"));
    EXPECT_TRUE(LogHas("unknown fog mode 'exp '"));

    f->SetRange(2, 30);
    f->SetDensity(0.5f);
    f->SetColor(0, 0.5f, 1, 1);
    ASSERT_TRUE(f->SaveAs(Path("f").c_str()));
    f->Release();
    kernel->SetCwd(nullptr);
    auto* back = static_cast<nFogNode*>(kernel->Load(Path("f.n").c_str()));
    ASSERT_NE(back, nullptr);
    EXPECT_STREQ(back->GetModeName(), "exp");
    float s, e;
    back->GetRange(s, e);
    EXPECT_EQ(s, 2.0f);
    EXPECT_EQ(e, 30.0f);
    EXPECT_EQ(back->GetDensity(), 0.5f);
    EXPECT_EQ(back->GetColor()[1], 0.5f);
}

TEST_F(LightFogNodeTest, LastFogAttachedSetsTheFrameFogStates) {
    nTestVisNode* root = Node("/root", nTestVisNode::Group);
    Transform("/root/t", 0, 0, 0);
    Node("/root/t/m", nTestVisNode::Mesh);
    kernel->New("nfognode", "/root/a");
    auto* b = static_cast<nFogNode*>(kernel->New("nfognode", "/root/b"));
    b->SetMode(nFogNode::EXP);
    b->SetRange(5, 50);
    b->SetDensity(0.25f);
    b->SetColor(0.5f, 0.25f, 0, 1);
    const std::vector<std::string> want = {"state 19 2", "state 20 5", "state 21 50", "state 22 0.25",
                                           "state 23 0.5 0.25 0 1"};
    EXPECT_EQ(FrameEvents(root, "state"), want);
    // A fresh fog node alone: linear from 0 to 1 in white.
    b->Release();
    const std::vector<std::string> fresh = {"state 19 1", "state 20 0", "state 21 1", "state 22 1",
                                            "state 23 1 1 1 1"};
    EXPECT_EQ(FrameEvents(root, "state"), fresh);
}

}  // namespace
