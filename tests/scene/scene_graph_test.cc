#include <algorithm>
#include <string>
#include <vector>

#include "gfx/nIndexBuffer.h"
#include "gfx/nPixelShader.h"
#include "gfx/nTexture.h"
#include "gfx/nVertexBuffer.h"
#include "scene/nChannelSet.h"
#include "scene/nShadowCaster.h"
#include "tests/scene/SceneFixture.h"

namespace {

using Events = std::vector<std::string>;

class SceneGraphTest : public SceneFixture {
protected:
    // A transform at z holding a shader (priority, opacity) and a mesh named `mesh`.
    nTestVisNode* Visual(const std::string& path, float z, int priority, bool opaque, const char* mesh) {
        nTestVisNode* t = Transform(path.c_str(), 0, 0, z);
        nTestVisNode* s = Node((path + "/s").c_str(), nTestVisNode::Shader);
        s->priority = int16_t(priority);
        s->opaque = opaque;
        Node((path + "/" + mesh).c_str(), nTestVisNode::Mesh);
        return t;
    }
    nTestVisNode* Child(const std::string& path, const char* name) {
        return static_cast<nTestVisNode*>(Lookup((path + "/" + name).c_str()));
    }
    // Mesh names in drawing order.
    Events Meshes() {
        Events out;
        for (const std::string& c : Computes()) {
            if (c.rfind("m", 0) == 0) out.push_back(c);
        }
        return out;
    }
};

TEST_F(SceneGraphTest, OneFrameSetsLightsAndDrawsInComparatorOrder) {
    nTestVisNode* root = Node("/root", nTestVisNode::Group);
    Visual("/root/t1", 5, 0, false, "m1");
    nTestVisNode* light = Node("/root/t1/l1", nTestVisNode::Light);
    light->light.r = 1, light->light.g = 0, light->light.b = 0;
    Visual("/root/t2", 2, 0, false, "m2");
    Visual("/root/t3", -3, 3, true, "m3");
    Visual("/root/t4", 9, 1, false, "m4");
    Transform("/root/t5", 0, 0, 1);
    Node("/root/t5/m5", nTestVisNode::Mesh);  // no shader: priority 0, transparent
    Transform("/root/t6", 0, 0, 0);
    Node("/root/t6/o6", nTestVisNode::Other);

    Frame(root);
    Events expected = {"gfx begin",
                       "compute l1", "matrix 0 0 5", "light 1 0 0",
                       "matrix 0 0 0", "compute o6",
                       "compute m5", "matrix 0 0 1",
                       "compute s", "compute m2", "matrix 0 0 2",
                       "compute s", "compute m1", "matrix 0 0 5",
                       // priority 1, transparent, before the opaque priority 3
                       "compute s", "compute m4", "matrix 0 0 9",
                       "compute s", "compute m3", "matrix 0 0 -3",
                       "gfx end"};
    EXPECT_EQ(sceneEvents, expected);
    EXPECT_EQ(gfx->GetNumLights(), 1);

    // The next frame is the same frame.
    sceneEvents.clear();
    Frame(root);
    EXPECT_EQ(sceneEvents, expected);
}

TEST_F(SceneGraphTest, MeshesDrawTheirBufferWithTheRecordsState) {
    nTestVisNode* root = Node("/root", nTestVisNode::Group);
    Visual("/root/a", 2, 0, false, "ma");
    Visual("/root/b", 1, 0, false, "mb");
    nTestVisNode* ma = Child("/root/a", "ma");
    ma->vb = Buffer("/res/vba", 20);
    ma->ib = static_cast<nIndexBuffer*>(kernel->New("nindexbuffer", "/res/iba"));
    Child("/root/a", "s")->ps = static_cast<nPixelShader*>(kernel->New("npixelshader", "/res/psa"));
    Node("/root/a/tex", nTestVisNode::TexArray);
    Child("/root/b", "mb")->vb = Buffer("/res/vbb", 30);
    // A mesh whose buffer has no range draws nothing.
    Transform("/root/c", 0, 0, 0);
    Node("/root/c/mc", nTestVisNode::Mesh)->vb = static_cast<nVertexBuffer*>(kernel->New("nvertexbuffer", "/res/empty"));
    Frame(root);
    // Texture arrays compute before the sort, the rest in drawing order.
    EXPECT_EQ(sceneEvents, (Events{"gfx begin", "compute tex",
                                   "compute mc", "matrix 0 0 0",
                                   "compute s", "compute mb", "matrix 0 0 1", "draw 20 - -",
                                   "compute s", "compute ma", "matrix 0 0 2", "draw 0 iba psa tex",
                                   "gfx end"}));
}

TEST_F(SceneGraphTest, TransformsAccumulateIntoViewSpace) {
    nTestVisNode* root = Transform("/root", 1, 0, 0);
    Transform("/root/inner", 0, 2, 0);
    Node("/root/inner/m", nTestVisNode::Mesh);
    matrix44 view;
    view.m[3][2] = -10;
    Frame(root, true, view);
    EXPECT_EQ(sceneEvents[2], "matrix 1 2 -10");
}

TEST_F(SceneGraphTest, OpaqueVisualsAreGroupedByTextureThenShaderThenBuffer) {
    auto* vbA = kernel->New("nvertexbuffer", "/res/vbA");
    auto* vbB = kernel->New("nvertexbuffer", "/res/vbB");
    auto* texA = static_cast<nTexture*>(kernel->New("ntesttexture", "/res/texA"));
    auto* texB = static_cast<nTexture*>(kernel->New("ntesttexture", "/res/texB"));
    nTestVisNode* root = Node("/root", nTestVisNode::Group);
    // Pool order alternates textures and buffers; every record is opaque at priority 0.
    struct Resources { nTexture* tex; nRoot* vb; };
    Resources used[] = {{texA, vbA}, {texB, vbA}, {texA, vbB}, {texB, vbB}, {texA, vbA}, {texB, vbB}};
    for (int i = 0; i < 6; i++) {
        std::string t = "/root/t" + std::to_string(i);
        Visual(t, float(i), 0, true, ("m" + std::to_string(i)).c_str());
        Child(t, ("m" + std::to_string(i)).c_str())->vb = static_cast<nVertexBuffer*>(used[i].vb);
        Node((t + "/tex").c_str(), nTestVisNode::TexArray)->textures.SetTexture(0, used[i].tex);
    }
    Frame(root);
    Events order = Meshes();
    ASSERT_EQ(order.size(), 6u);
    auto resourcesOf = [&](const std::string& m) { return used[std::stoi(m.substr(1))]; };
    int texChanges = 0, vbChanges = 0;
    for (size_t k = 1; k < order.size(); k++) {
        Resources p = resourcesOf(order[k - 1]), c = resourcesOf(order[k]);
        if (p.tex != c.tex) texChanges++;
        else if (p.vb != c.vb) vbChanges++;
    }
    EXPECT_EQ(texChanges, 1);
    // Within each texture's run the buffers come together too.
    EXPECT_EQ(vbChanges, 2);
    // Equal records keep their pool order (m0 and m4 share texture and buffer).
    auto pos = [&](const char* m) { return std::find(order.begin(), order.end(), m) - order.begin(); };
    EXPECT_LT(pos("m0"), pos("m4"));
}

TEST_F(SceneGraphTest, RecordsWithoutStateSortBeforeThoseWithIt) {
    auto* tex = static_cast<nTexture*>(kernel->New("ntesttexture", "/res/tex"));
    nTestVisNode* root = Node("/root", nTestVisNode::Group);
    Visual("/root/a", 0, 0, true, "ma");
    Node("/root/a/tex", nTestVisNode::TexArray)->textures.SetTexture(0, tex);
    Visual("/root/b", 0, 0, true, "mb");
    Frame(root);
    EXPECT_EQ(Meshes(), (Events{"mb", "ma"}));
}

TEST_F(SceneGraphTest, EndSceneWithoutRenderDrawsNothing) {
    nTestVisNode* root = Node("/root", nTestVisNode::Group);
    Visual("/root/t", 1, 0, true, "m");
    nTestVisNode* t = Child("/root", "t");
    t->ownContext = true;
    t->channels = {"time"};
    Frame(root, false);
    EXPECT_EQ(sceneEvents, (Events{"gfx begin", "gfx end"}));
    EXPECT_FALSE(sg->InScene());
    EXPECT_FALSE(channels->InScene());
    EXPECT_EQ(t->GetChannelSet()->GetRefCount(), 0);
}

TEST_F(SceneGraphTest, PushNodeRefusesAtDepth32AndAt2048Records) {
    sg->BeginScene(matrix44());
    int pushed = 0;
    while (sg->PushNode()) pushed++;
    EXPECT_EQ(pushed, nSceneGraph2::MaxDepth - 1);  // the root holds the first level
    EXPECT_EQ(sg->GetStackDepth(), nSceneGraph2::MaxDepth);
    int current = sg->GetCurrentIndex();
    EXPECT_FALSE(sg->PushNode());
    EXPECT_EQ(sg->GetCurrentIndex(), current);
    EXPECT_EQ(sg->GetNodeCount(), nSceneGraph2::MaxDepth);
    for (int i = 0; i < pushed; i++) sg->PopNode();
    EXPECT_EQ(sg->GetCurrentIndex(), 0);
    while (sg->PushNode()) sg->PopNode();
    EXPECT_EQ(sg->GetNodeCount(), nSceneGraph2::MaxNodes);
    EXPECT_EQ(sg->GetCurrentIndex(), 0);
    EXPECT_EQ(sg->GetStackDepth(), 1);
    sg->EndScene(false);

    // Through the tree: the 32nd nested transform is refused and its subtree not drawn.
    nTestVisNode* root = Node("/root", nTestVisNode::Group);
    std::string path = "/root";
    std::vector<nTestVisNode*> chain;
    for (int i = 0; i < 32; i++) {
        path += "/t";
        chain.push_back(Transform(path.c_str(), 0, 0, 0));
        Node((path + "/m" + std::to_string(i)).c_str(), nTestVisNode::Mesh);
    }
    Frame(root);
    EXPECT_EQ(chain[30]->attachRefused, 0);
    EXPECT_EQ(chain[31]->attachRefused, 1);
    Events order = Meshes();
    EXPECT_EQ(order.size(), 31u);
    EXPECT_EQ(std::find(order.begin(), order.end(), "m31"), order.end());
}

TEST_F(SceneGraphTest, NinthLightHasNoEffect) {
    nTestVisNode* root = Node("/root", nTestVisNode::Group);
    for (int i = 0; i < 9; i++) {
        std::string t = "/root/t" + std::to_string(i);
        Transform(t.c_str(), 0, 0, float(i));
        Node((t + "/l" + std::to_string(i)).c_str(), nTestVisNode::Light);
    }
    // A light node that hands back no light sets nothing.
    Transform("/root/dark", 0, 0, 0);
    Node("/root/dark/ld", nTestVisNode::Light)->noLight = true;
    Frame(root);
    int lights = 0;
    for (const std::string& e : sceneEvents) lights += e.rfind("light", 0) == 0;
    EXPECT_EQ(lights, 8);
    Events c = Computes();
    EXPECT_EQ(std::find(c.begin(), c.end(), "l8"), c.end());
    EXPECT_EQ(gfx->GetNumLights(), 8);
}

TEST_F(SceneGraphTest, MipLodPicksLevelsByDistance) {
    auto* tex3 = static_cast<nTestTexture*>(kernel->New("ntesttexture", "/res/tex3"));
    auto* tex5 = static_cast<nTestTexture*>(kernel->New("ntesttexture", "/res/tex5"));
    auto* shared = static_cast<nTestTexture*>(kernel->New("ntesttexture", "/res/shared"));
    tex3->SetNumLevels(3);
    tex5->SetNumLevels(5);
    shared->SetNumLevels(6);
    ASSERT_TRUE(Run("sel('/sys/servers/sgraph2')\n"
                    "setenablemiplod(true)\nbeginmiplod(3)\n"
                    "setmiplod(0, 10)\nsetmiplod(1, 20)\nsetmiplod(2, 40)\nendmiplod()\n"));
    EXPECT_EQ(sg->MipLodLevel(25, 1), 3);
    EXPECT_EQ(sg->MipLodLevel(50, 0), 3);
    EXPECT_EQ(sg->MipLodLevel(5, 0), 0);

    nTestVisNode* root = Node("/root", nTestVisNode::Group);
    // At distance 25 (3, 4, 24 from the eye... length of (0, 7, 24)) with bias 1.
    Visual("/root/far", 0, 0, true, "mf");
    Child("/root", "far")->local.m[3][1] = 7;
    Child("/root", "far")->local.m[3][2] = 24;
    Child("/root/far", "s")->mipBias = 1;
    nTestVisNode* farTex = Node("/root/far/tex", nTestVisNode::TexArray);
    farTex->textures.SetTexture(0, tex3);
    farTex->textures.SetTexture(1, tex5);
    farTex->textures.SetTexture(2, shared);
    // A near visual shares one texture: it ends at the finer level.
    Visual("/root/near", 15, 0, true, "mn");
    Node("/root/near/tex", nTestVisNode::TexArray)->textures.SetTexture(0, shared);
    Frame(root);
    EXPECT_EQ(tex3->GetLodLevel(), 2);  // level 3, clamped to its last level
    EXPECT_EQ(tex5->GetLodLevel(), 3);
    EXPECT_EQ(shared->GetLodLevel(), 1);

    // Off: every level goes back to 0.
    sg->SetEnableMipLod(false);
    Frame(root);
    EXPECT_EQ(tex5->GetLodLevel(), 0);
    EXPECT_EQ(shared->GetLodLevel(), 0);
}

TEST_F(SceneGraphTest, BadMipLodInputIsLoggedAndChangesNothing) {
    ASSERT_TRUE(Run("sel('/sys/servers/sgraph2')\nbeginmiplod(2)\nsetmiplod(0, 10)\n"));
    log.text.clear();
    Run("setmiplod(2, 5)\nsetmiplod(-1, 5)\nbeginmiplod(-3)\nsetmiplod(0, 'x')\nbeginmiplod('y')\n");
    EXPECT_TRUE(LogHas("setmiplod 2"));
    EXPECT_TRUE(LogHas("setmiplod -1"));
    EXPECT_TRUE(LogHas("beginmiplod -3"));
    EXPECT_EQ(sg->GetNumMipLod(), 2);
    EXPECT_EQ(sg->GetMipLod(0), 10.0f);
    EXPECT_EQ(sg->GetMipLod(1), 0.0f);  // a new table reads zeros
}

TEST_F(SceneGraphTest, ShadowServerIsCalledOnlyWithItsSwitchOn) {
    auto* caster = shadow->NewCaster("c");
    nTestVisNode* root = Node("/root", nTestVisNode::Group);
    Visual("/root/t", 1, 0, true, "m");
    Child("/root/t", "m")->caster = caster;
    Node("/root/t/on", nTestVisNode::Light);
    Transform("/root/u", 0, 0, 0);
    Node("/root/u/off", nTestVisNode::Light)->light.castShadows = false;
    auto shadowEvents = [] {
        Events out;
        for (const std::string& e : sceneEvents) {
            if (e.rfind("shadow", 0) == 0) out.push_back(e);
        }
        return out;
    };
    Frame(root);
    EXPECT_EQ(shadowEvents(), Events{});
    shadow->SetCastShadows(true);
    sceneEvents.clear();
    Frame(root);
    EXPECT_EQ(shadowEvents(), (Events{"shadow begin", "shadow light", "shadow caster", "shadow end"}));
}

TEST_F(SceneGraphTest, NodesReadChannelsThroughTheRecordsContext) {
    int time = channels->GenChannel("time");
    channels->SetChannel1f(time, 1.5f);
    nTestVisNode* root = Transform("/root", 0, 0, 0);
    root->ownContext = true;
    nTestVisNode* reader = Node("/root/reader", nTestVisNode::Mesh);
    reader->channels = {"time"};
    nTestVisNode* outside = Node("/outside", nTestVisNode::Mesh);
    outside->channels = {"time"};
    outside->GetChannelSet();
    Frame(root);
    ASSERT_EQ(reader->read.size(), 1u);
    EXPECT_FLOAT_EQ(reader->read[0], 1.5f);
    channels->SetChannel1f(time, 2.0f);
    Frame(root);
    EXPECT_FLOAT_EQ(reader->read[0], 2.0f);
    // The root record has no context: a reader there reads 0.
    Frame(outside);
    ASSERT_EQ(outside->read.size(), 1u);
    EXPECT_EQ(outside->read[0], 0.0f);
}

TEST_F(SceneGraphTest, SoundsAreComputedOnlyWithAnAudioServer) {
    nTestVisNode* root = Node("/root", nTestVisNode::Group);
    Transform("/root/t", 0, 0, 0);
    Node("/root/t/snd", nTestVisNode::Sound);
    Node("/root/t/ear", nTestVisNode::Listener);
    Frame(root);
    EXPECT_EQ(Computes(), Events{});
    kernel->New("nroot", "/sys/servers/audio");
    Frame(root);
    EXPECT_EQ(Computes(), (Events{"snd", "ear"}));
}

TEST_F(SceneGraphTest, FogIsComputedAfterLightsAndBeforeTheVisuals) {
    nTestVisNode* root = Node("/root", nTestVisNode::Group);
    Visual("/root/t", 1, 0, true, "m");
    Node("/root/t/l", nTestVisNode::Light);
    Transform("/root/f", 0, 0, 0);
    Node("/root/f/fog", nTestVisNode::Fog);
    Frame(root);
    EXPECT_EQ(Computes(), (Events{"l", "fog", "s", "m"}));
    // The fog node attaches anew every frame.
    root->GetHead()->GetSucc()->Release();
    sceneEvents.clear();
    Frame(root);
    EXPECT_EQ(Computes(), (Events{"l", "s", "m"}));
}

TEST_F(SceneGraphTest, ManyTransparentVisualsSortStablyByDepth) {
    nTestVisNode* root = Node("/root", nTestVisNode::Group);
    std::vector<std::pair<float, std::string>> expected;
    for (int i = 0; i < 300; i++) {
        float z = float((i * 37) % 50) - 25.0f;
        std::string name = "m" + std::to_string(i);
        std::string t = "/root/t" + std::to_string(i);
        Transform(t.c_str(), 0, 0, z);
        Node((t + "/" + name).c_str(), nTestVisNode::Mesh);
        expected.emplace_back(z, name);
    }
    std::stable_sort(expected.begin(), expected.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    Events want;
    for (const auto& e : expected) want.push_back(e.second);
    Frame(root);
    EXPECT_EQ(Meshes(), want);
}

TEST_F(SceneGraphTest, MissingServersStopTheProgram) {
    nTestVisNode* root = Node("/root", nTestVisNode::Group);
    EXPECT_EXIT(
        {
            shadow->Release();
            Frame(root);
        },
        ::testing::ExitedWithCode(3), "Aborting.");
    EXPECT_EXIT(
        {
            gfx->Release();
            sg->BeginScene(matrix44());
            sg->EndScene(true);
        },
        ::testing::ExitedWithCode(3), "Aborting.");
    EXPECT_EXIT(
        {
            channels->Release();
            sg->BeginScene(matrix44());
        },
        ::testing::ExitedWithCode(3), "Aborting.");
}

}  // namespace

namespace {

TEST_F(SceneGraphTest, ANodeDyingInsideAFrameLeavesNoContextBehind) {
    int time = channels->GenChannel("time");
    channels->SetChannel1f(time, 1.0f);
    nTestVisNode* t = Transform("/t", 0, 0, 0);
    t->ownContext = true;
    t->channels = {"time"};
    sg->BeginScene(matrix44());
    t->Attach(sg);
    nChannelContext* ctx = sg->GetNode(1)->channelContext;
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(nChannelContext::Read(ctx, time).f[0], 1.0f);
    t->Release();
    EXPECT_EQ(nChannelContext::Read(ctx, time).f[0], 0.0f);
    sg->EndScene(false);  // touches no freed set
    EXPECT_EQ(channels->GetNumContexts(), 0);
}

}  // namespace
