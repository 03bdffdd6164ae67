// Shader and texture-array nodes through scripts and the scene graph's recording servers.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "gfx/nPixelShader.h"
#include "gfx/nTexture.h"
#include "kernel/nKernelServer.h"
#include "scene/nShaderNode.h"
#include "scene/nTexArrayNode.h"
#include "tests/scene/SceneFixture.h"

namespace {

using Desc = nPixelShaderDesc;

class ShaderNodeTest : public SceneFixture {
protected:
    nShaderNode* Shader(const char* path) { return static_cast<nShaderNode*>(kernel->New("nshadernode", path)); }
    nTexArrayNode* Textures(const char* path) {
        return static_cast<nTexArrayNode*>(kernel->New("ntexarraynode", path));
    }
    // A transform at depth z holding a test mesh "mesh" drawing from buffer `vb`.
    void Visual(const std::string& path, float z, nVertexBuffer* vb) {
        Transform(path.c_str(), 0, 0, z);
        Node((path + "/mesh").c_str(), nTestVisNode::Mesh)->vb = vb;
    }
    // The events of one frame that start with `prefix`.
    std::vector<std::string> FrameEvents(nVisNode* root, const std::string& prefix) {
        sceneEvents.clear();
        Frame(root);
        std::vector<std::string> out;
        for (const std::string& e : sceneEvents) {
            if (e.rfind(prefix, 0) == 0) out.push_back(e);
        }
        return out;
    }
    // The lines of a saved object file that call commands, in order, without their
    // object prefix.
    static std::vector<std::string> Commands(const std::string& text) {
        std::vector<std::string> out;
        size_t at = 0;
        while (at < text.size()) {
            size_t eol = text.find('\n', at);
            if (eol == std::string::npos) eol = text.size();
            std::string line = text.substr(at, eol - at);
            at = eol + 1;
            size_t paren = line.find("( ");
            if (paren == std::string::npos) continue;
            size_t start = line.find_last_of(".: \t", paren);
            out.push_back(line.substr(start == std::string::npos ? 0 : start + 1));
        }
        return out;
    }
};

TEST_F(ShaderNodeTest, StateNamesAreExactAndPrintBackFromTheirCode) {
    const char* names[] = {"nearest", "linear", "nearest_mipmap_nearest", "linear_mipmap_nearest",
                           "nearest_mipmap_linear", "linear_mipmap_linear", "zero", "one", "srccolor", "invsrccolor",
                           "srcalpha", "invsrcalpha", "destalpha", "invdestalpha", "destcolor", "invdestcolor",
                           "wrap", "clamp", "never", "less", "equal", "lessequal", "greater", "notequal",
                           "greaterequal", "always", "none", "cw", "ccw", "material", "diffuse", "emissive",
                           "ambient", "uv0", "uv1", "uv2", "uv3", "objectspace", "eyespace", "spheremap"};
    Shader("/s");
    // Any command takes any name of the table.
    for (const char* n : names) {
        ASSERT_TRUE(Run(std::string("sel('/s'); setzfunc('") + n + "'); r = getzfunc()"));
        EXPECT_EQ(Global("r"), n);
    }
    EXPECT_EQ(nShaderNode::StateCode("linear_mipmap_linear"), 7);
    EXPECT_EQ(nShaderNode::StateCode("spheremap"), 49);
    EXPECT_EQ(nShaderNode::StateName(36), std::string("none"));
    EXPECT_EQ(nShaderNode::StateName(10), nullptr);

    // Wrong case, a trailing blank or half a pair: logged, nothing changes.
    ASSERT_TRUE(Run("sel('/s'); setzfunc('less'); setzfunc('Less'); setzfunc('less '); a = getzfunc(); "
                    "setaddress('wrap', 'Clamp'); u, v = getaddress(0); setcullmode('CW'); c = getcullmode()"));
    EXPECT_EQ(Global("a"), "less");
    EXPECT_EQ(Global("u"), "clamp");
    EXPECT_EQ(Global("v"), "clamp");
    EXPECT_EQ(Global("c"), "ccw");
    EXPECT_TRUE(LogHas("unknown state name 'Less'"));
    EXPECT_TRUE(LogHas("unknown state name 'Clamp'"));
}

TEST_F(ShaderNodeTest, OperationTextsParseAndPrintBack) {
    struct Case {
        const char* text;
        bool alpha;
        bool ok;
        Desc::StageOp op;
        const char* printed;
    } cases[] = {
        {"mul tex prev", false, true, {Desc::MUL, 1, 2, 0, Desc::ONE}, "mul tex prev"},
        {"add.4 -tex.a prim", false, true, {Desc::ADD, 1 + 16 + 64, 4, 0, Desc::FOUR}, "add.4 -tex.a prim"},
        {"ipol.2 tex prev const.a", false, true, {Desc::IPOL, 1, 2, 3 + 64, Desc::TWO}, "ipol.2 tex prev const.a"},
        {"adds prim.c const", false, true, {Desc::ADDS, 4 + 32, 3, 0, Desc::ONE}, "adds prim.c const"},
        {"replace.1 tex", false, true, {Desc::REPLACE, 1, 0, 0, Desc::ONE}, "replace tex"},
        {"mul.2  tex   prim", true, true, {Desc::MUL, 1, 4, 0, Desc::TWO}, "mul.2 tex prim"},
        {"nop", true, true, {Desc::NOP, 0, 0, 0, Desc::ONE}, "nop"},
        {"frobnicate", true, true, {Desc::NOP, 0, 0, 0, Desc::ONE}, "nop"},
        {"nop", false, false, {}, nullptr},
        {"frobnicate tex", false, false, {}, nullptr},
        {"mul tex", false, false, {}, nullptr},
        {"mul tex bogus", true, false, {}, nullptr},
        {"", false, false, {}, nullptr},
    };
    for (const Case& c : cases) {
        Desc::StageOp op{7, 7, 7, 7, 7};
        EXPECT_EQ(nShaderNode::ParseOp(c.text, c.alpha, op), c.ok) << c.text;
        if (!c.ok) {
            EXPECT_EQ(op.op, 7u) << c.text;  // untouched
            continue;
        }
        EXPECT_EQ(op.op, c.op.op) << c.text;
        EXPECT_EQ(op.arg0, c.op.arg0) << c.text;
        EXPECT_EQ(op.arg1, c.op.arg1) << c.text;
        EXPECT_EQ(op.arg2, c.op.arg2) << c.text;
        EXPECT_EQ(op.scale, c.op.scale) << c.text;
        EXPECT_EQ(nShaderNode::PrintOp(op), c.printed) << c.text;
    }

    // Through the commands: a refused text returns false and leaves the stage as it was;
    // a stage outside 0..3 is refused too.
    Shader("/s");
    ASSERT_TRUE(Run("sel('/s'); a = setcolorop(1, 'mul tex prev'); b = setcolorop(1, 'nop'); "
                    "c = setalphaop(1, 'nop'); d = setcolorop(4, 'mul tex prev'); e = setalphaop(1, 'mul tex'); "
                    "co = getcolorop(1); ao = getalphaop(1)"));
    EXPECT_EQ(Global("a"), "1");
    EXPECT_EQ(Global("b"), "nil");
    EXPECT_EQ(Global("c"), "1");
    EXPECT_EQ(Global("d"), "nil");
    EXPECT_EQ(Global("e"), "nil");
    EXPECT_EQ(Global("co"), "mul tex prev");
    EXPECT_EQ(Global("ao"), "nop");
    EXPECT_TRUE(LogHas("bad colour operation 'nop'"));
}

TEST_F(ShaderNodeTest, ConstantsAndTextureTransformsKeepTheirUnits) {
    auto* s = Shader("/s");
    ASSERT_TRUE(Run("sel('/s'); setconst2(0.1, 0.2, 0.3, 0.4); r, g, b, a = getconst(0); "
                    "begintunit(1); rxyz(90, 0, 0); txyz(0.5, 0, 0); endtunit(); rx, ry, rz = getr(1); "
                    "begintunit(7); sxyz(2, 2, 2); sx = gets(1); rxyz3(0, 180, 0); _, y3 = getr(3)"));
    EXPECT_FLOAT_EQ(std::stof(Global("b")), 0.3f);
    EXPECT_FLOAT_EQ(std::stof(Global("a")), 0.4f);
    EXPECT_FLOAT_EQ(std::stof(Global("rx")), 1.5707964f);
    EXPECT_FLOAT_EQ(std::stof(Global("y3")), 3.1415927f);
    // The bad unit was refused: scale went to unit 1, the current one.
    EXPECT_FLOAT_EQ(std::stof(Global("sx")), 2.0f);
    const Desc& d = s->GetShaderDesc();
    EXPECT_TRUE(d.stages[1].matrixChanged);
    EXPECT_FALSE(d.stages[0].matrixChanged);
    EXPECT_FLOAT_EQ(d.stages[1].translate.x, 0.5f);
    EXPECT_TRUE(LogHas("stage 7 is not 0..3"));
}

TEST_F(ShaderNodeTest, SaveWritesTheCommandsInOrderAndReloadsTheSameDescription) {
    auto* s = Shader("/s");
    ASSERT_TRUE(Run("sel('/s'); setrenderpri(3); setnumstages(2); setcolorop(0, 'mul tex prim'); "
                    "setalphaop(0, 'replace tex.a'); setcolorop(1, 'add.2 -prev const.c'); setconst1(1, 0.5, 0, 1); "
                    "begintunit(1); setaddress('wrap', 'clamp'); setminmagfilter('linear_mipmap_linear', 'nearest'); "
                    "settexcoordsrc('spheremap'); setenabletransform(true); rxyz(90, 45, 0); sxyz(2, 1, 1); "
                    "endtunit(); setdiffuse(1, 1, 1, 1); setemissiveg(0.25); setambient(0.2, 0.2, 0.2, 1); "
                    "setlightenable(false); setalphaenable(true); setzwriteenable(false); setfogenable(false); "
                    "setalphablend('one', 'one'); setzfunc('always'); setcullmode('none'); "
                    "setcolormaterial('diffuse'); setalphatestenable(true); setalpharef(0.5); "
                    "setalphafunc('less'); setmiplodbias(1); setwireframe(true)"));
    ASSERT_FALSE(LogHas("unknown"));
    ASSERT_TRUE(s->SaveAs(Path("s").c_str()));
    const std::string text = Slurp(Path("s.n"));
    std::vector<std::string> got = Commands(text);
    std::vector<std::string> names;
    for (const std::string& c : got) names.push_back(c.substr(0, c.find('(')));
    const std::vector<std::string> unit = {"begintunit",   "setaddress", "setminmagfilter", "settexcoordsrc",
                                           "setenabletransform", "txyz", "rxyz", "sxyz", "endtunit"};
    std::vector<std::string> want = {"setrenderpri", "setnumstages", "setcolorop", "setalphaop", "setcolorop",
                                     "setalphaop", "setconst", "setconst"};
    for (int i = 0; i < 2; i++) want.insert(want.end(), unit.begin(), unit.end());
    for (const char* n : {"setdiffuse", "setemissive", "setambient", "setlightenable", "setalphaenable",
                          "setzwriteenable", "setfogenable", "setalphablend", "setzfunc", "setcullmode",
                          "setcolormaterial", "setalphatestenable", "setalpharef", "setalphafunc", "setmiplodbias"}) {
        want.push_back(n);
    }
    EXPECT_EQ(names, want) << text;
    EXPECT_NE(text.find("rxyz( 90"), std::string::npos) << text;
    EXPECT_NE(text.find("setcolorop( 1, \"add.2 -prev const.c\" )"), std::string::npos) << text;

    kernel->SetCwd(nullptr);
    s->SetName("old");
    auto* back = static_cast<nShaderNode*>(kernel->Load(Path("s.n").c_str()));
    ASSERT_NE(back, nullptr);
    EXPECT_FALSE(LogHas("bad"));
    const Desc &a = s->GetShaderDesc(), &b = back->GetShaderDesc();
    EXPECT_EQ(back->GetRenderPri(), 3);
    EXPECT_EQ(back->GetMipLodBias(), 1);
    EXPECT_EQ(b.numStages, 2);
    for (int i = 0; i < 2; i++) {
        EXPECT_EQ(nShaderNode::PrintOp(b.colorOp[i]), nShaderNode::PrintOp(a.colorOp[i]));
        EXPECT_EQ(nShaderNode::PrintOp(b.alphaOp[i]), nShaderNode::PrintOp(a.alphaOp[i]));
        const Desc::Stage &x = a.stages[i], &y = b.stages[i];
        EXPECT_EQ(std::vector<int>({y.addressU, y.addressV, y.minFilter, y.magFilter, y.texCoordSrc}),
                  std::vector<int>({x.addressU, x.addressV, x.minFilter, x.magFilter, x.texCoordSrc}));
        EXPECT_EQ(y.enableTransform, x.enableTransform);
        for (int k = 0; k < 3; k++) {
            EXPECT_NEAR((&y.rotate.x)[k], (&x.rotate.x)[k], 1e-6f);
            EXPECT_FLOAT_EQ((&y.scale.x)[k], (&x.scale.x)[k]);
        }
    }
    EXPECT_EQ(0, std::memcmp(a.constColor, b.constColor, sizeof(a.constColor)));
    EXPECT_EQ(0, std::memcmp(a.emissive, b.emissive, sizeof(a.emissive)));
    EXPECT_EQ(0, std::memcmp(a.ambient, b.ambient, sizeof(a.ambient)));
    EXPECT_EQ(std::vector<int>({b.lightEnable, b.alphaEnable, b.zwriteEnable, b.fogEnable, b.alphaTestEnable}),
              std::vector<int>({a.lightEnable, a.alphaEnable, a.zwriteEnable, a.fogEnable, a.alphaTestEnable}));
    EXPECT_EQ(std::vector<int>({b.srcBlend, b.destBlend, b.zFunc, b.cullMode, b.colorMaterial, b.alphaFunc}),
              std::vector<int>({a.srcBlend, a.destBlend, a.zFunc, a.cullMode, a.colorMaterial, a.alphaFunc}));
    EXPECT_FLOAT_EQ(b.alphaRef, 0.5f);
}

TEST_F(ShaderNodeTest, AlphaBlendedNodesSortAmongTheTransparentVisuals) {
    nVertexBuffer* vb = Buffer("/res/vb", 4);
    nTestVisNode* root = Node("/root", nTestVisNode::Group);
    // Pool order: a near blended visual, an opaque one, a far blended one, and a
    // blended one whose priority draws it before everything.
    Visual("/root/near", -2, vb);
    Shader("/root/near/shader")->SetAlphaEnable(true);
    Visual("/root/solid", -5, vb);
    Shader("/root/solid/shader");
    Visual("/root/far", -8, vb);
    Shader("/root/far/shader")->SetAlphaEnable(true);
    Visual("/root/first", -1, vb);
    nShaderNode* first = Shader("/root/first/shader");
    first->SetAlphaEnable(true);
    first->SetRenderPri(-1);

    std::vector<std::string> draws = FrameEvents(root, "matrix");
    EXPECT_EQ(draws, (std::vector<std::string>{"matrix 0 0 -1", "matrix 0 0 -5", "matrix 0 0 -8", "matrix 0 0 -2"}));
    // Each node hands its own pixel shader, made on first use, to the draw.
    std::vector<std::string> used = FrameEvents(root, "draw");
    ASSERT_EQ(used.size(), 4u);
    nPixelShader* ps = static_cast<nShaderNode*>(Lookup("/root/first/shader"))->GetPixelShader();
    ASSERT_NE(ps, nullptr);
    EXPECT_EQ(used[0], std::string("draw 0 - ") + ps->GetName());
    EXPECT_EQ(ps->GetShaderDesc(), &first->GetShaderDesc());

    // Blending off again: the node's visual is opaque from the next frame on, drawn
    // with the other opaque one (in shader order) before the far transparent one.
    static_cast<nShaderNode*>(Lookup("/root/near/shader"))->SetAlphaEnable(false);
    draws = FrameEvents(root, "matrix");
    ASSERT_EQ(draws.size(), 4u);
    EXPECT_EQ(draws[3], "matrix 0 0 -8");
    EXPECT_NE(std::find(draws.begin(), draws.begin() + 3, "matrix 0 0 -2"), draws.begin() + 3);
}

TEST_F(ShaderNodeTest, TextureArraysShareTexturesByNameAndAlphaFile) {
    nVertexBuffer* vb = Buffer("/res/vb", 4);
    nTestVisNode* root = Node("/root", nTestVisNode::Group);
    Visual("/root/a", -1, vb);
    nTexArrayNode* a = Textures("/root/a/tex");
    Visual("/root/b", -2, vb);
    nTexArrayNode* b = Textures("/root/b/tex");
    ASSERT_TRUE(Run("sel('/root/a/tex'); settexture(0, 'glow.bmp', 'none'); settexture(1, 'glow.bmp', 'glow_a.bmp'); "
                    "sel('/root/b/tex'); settexture(0, 'glow.bmp', 'none'); settexture(1, 'glow.bmp', 'other_a.bmp'); "
                    "settexture(2, 'glow.bmp', 'glow_a.bmp'); f, al = gettexture(0); f3, al3 = gettexture(3)"));
    EXPECT_EQ(Global("f"), "glow.bmp");
    EXPECT_EQ(Global("al"), "none");
    EXPECT_EQ(Global("f3"), "none");
    Frame(root);
    nTexArray& ta = a->GetTexArray();
    nTexArray& tb = b->GetTexArray();
    ASSERT_NE(ta.GetTexture(0), nullptr);
    EXPECT_EQ(ta.GetTexture(0), tb.GetTexture(0));
    EXPECT_STREQ(ta.GetTexture(1)->GetName(), "glow_bmp_a");
    EXPECT_NE(ta.GetTexture(1), ta.GetTexture(0));
    // Another alpha file on the same colour file is a texture of its own.
    ASSERT_NE(tb.GetTexture(1), nullptr);
    EXPECT_NE(tb.GetTexture(1), ta.GetTexture(1));
    EXPECT_EQ(tb.GetTexture(2), ta.GetTexture(1));
    nTexture* shared = ta.GetTexture(0);
    EXPECT_EQ(shared->GetRefCount(), 2);

    // "none" empties the stage; the next Compute gives its texture back.
    ASSERT_TRUE(Run("sel('/root/a/tex'); settexture(0, 'none', 'none')"));
    EXPECT_EQ(ta.GetTexture(0), shared);
    Frame(root);
    EXPECT_EQ(ta.GetTexture(0), nullptr);
    EXPECT_EQ(shared->GetRefCount(), 1);
    // A stage index outside 0..3 changes nothing.
    ASSERT_TRUE(Run("sel('/root/a/tex'); settexture(4, 'x.bmp', 'none'); setgenmipmaps(-1, false)"));
    EXPECT_TRUE(LogHas("stage 4 is not 0..3"));
}

TEST_F(ShaderNodeTest, TextureFlagsAreReadWhenTheTextureIsMadeAndFailuresAreNotRetried) {
    nVertexBuffer* vb = Buffer("/res/vb", 4);
    nTestVisNode* root = Node("/root", nTestVisNode::Group);
    Visual("/root/a", -1, vb);
    nTexArrayNode* t = Textures("/root/a/tex");
    t->SetHighQuality(0, true);
    t->SetTexture(0, "one.bmp", nullptr);
    t->SetTexture(1, "missing.bmp", nullptr);
    EXPECT_EQ(FrameEvents(root, "load"), (std::vector<std::string>{"load one.bmp - 1 1", "load missing.bmp - 1 0"}));
    EXPECT_TRUE(LogHas("texture 'missing.bmp' of stage 1 does not load"));
    EXPECT_EQ(t->GetTexArray().GetTexture(1), nullptr);
    // Changing the bits alone loads nothing; the failed stage is not tried every frame.
    t->SetGenMipMaps(0, false);
    EXPECT_TRUE(FrameEvents(root, "load").empty());
    // Set again, both stages load once more with the bits of now (a fresh name).
    t->SetTexture(0, "two.bmp", nullptr);
    t->SetTexture(1, "missing.bmp", nullptr);
    EXPECT_EQ(FrameEvents(root, "load"), (std::vector<std::string>{"load two.bmp - 0 1", "load missing.bmp - 1 0"}));
    // A preload loads changed stages too.
    t->SetTexture(2, "three.bmp", "three_a.bmp");
    sceneEvents.clear();
    t->Preload();
    EXPECT_EQ(sceneEvents, (std::vector<std::string>{"load three.bmp three_a.bmp 1 0"}));
}

TEST_F(ShaderNodeTest, TextureArraySavesOnlyWhatDiffersFromANewNode) {
    nTexArrayNode* fresh = Textures("/fresh");
    fresh->SetTexture(0, "a.bmp", nullptr);
    fresh->SetTexture(2, "b.bmp", "b_a.bmp");
    ASSERT_TRUE(fresh->SaveAs(Path("fresh").c_str()));
    EXPECT_EQ(Commands(Slurp(Path("fresh.n"))),
              (std::vector<std::string>{"settexture( 0, \"a.bmp\", \"none\" )",
                                        "settexture( 2, \"b.bmp\", \"b_a.bmp\" )"}));
    fresh->SetGenMipMaps(1, false);
    fresh->SetHighQuality(3, true);
    ASSERT_TRUE(fresh->SaveAs(Path("fresh").c_str()));
    std::vector<std::string> cmds = Commands(Slurp(Path("fresh.n")));
    ASSERT_EQ(cmds.size(), 4u);
    EXPECT_EQ(cmds[2], "setgenmipmaps( 1, false )");
    EXPECT_EQ(cmds[3], "sethighquality( 3, true )");

    kernel->SetCwd(nullptr);
    fresh->SetName("old");
    auto* back = static_cast<nTexArrayNode*>(kernel->Load(Path("fresh.n").c_str()));
    ASSERT_NE(back, nullptr);
    const char *file, *alpha;
    back->GetTexture(2, file, alpha);
    EXPECT_STREQ(file, "b.bmp");
    EXPECT_STREQ(alpha, "b_a.bmp");
    EXPECT_FALSE(back->GetGenMipMaps(1));
    EXPECT_TRUE(back->GetGenMipMaps(0));
    EXPECT_TRUE(back->GetHighQuality(3));
}

}  // namespace
