// What data's text keeps on objects that exist, or makes the engine keep for them, counts
// against what data may keep alive, from the moment it is set until it goes.
#include <string>

#include "anim/nAnimPackage.h"
#include "anim/nCurveArrayNode.h"
#include "anim/nIpol.h"
#include "anim/nPEmitter.h"
#include "kernel/nEnv.h"
#include "kernel/nFileServer2.h"
#include "kernel/nMemoryGuard.h"
#include "kernel/nObjectCount.h"
#include "logic/nLogicCSprite.h"
#include "logic/nModVisualizer.h"
#include "logic/nPersist.h"
#include "scene/nScenePackage.h"
#include "tests/logic/LogicFixture.h"
#include "video/nVideoPackage.h"

namespace {

class DataKeepsTest : public nLogicFixture {
protected:
    void SetUp() override {
        nLogicFixture::SetUp();
        nAnimPackage(kernel);
        // Four megabytes above what lives now: passing it costs little.
        nObjectCount::SetLiveBytesBound(nObjectCount::DataLiveBytes() + (4 << 20));
    }
    void TearDown() override {
        nObjectCount::SetLiveBytesBound(nObjectCount::LiveBytes);
        nMemoryGuard::SetCeiling(0);
        nLogicFixture::TearDown();
    }
    bool RunLine(const std::string& text) {
        const char* result = nullptr;
        return server->RunLine(text.c_str(), result);
    }
};

TEST_F(DataKeepsTest, ValuesTimersTextsTexturesAndRingsCountUntilTheyGo) {
    const uint64_t before = nObjectCount::DataLiveBytes();
    auto* store = static_cast<nPersist*>(kernel->New("npersist", "/usr/s"));
    auto* node = static_cast<nLogicNode*>(kernel->New("nlogicnode", "/usr/n"));
    auto* env = static_cast<nEnv*>(kernel->New("nenv", "/usr/e"));
    auto* sprite = static_cast<nLogicCSprite*>(kernel->New("nlogiccsprite", "/usr/c"));
    auto* emitter = static_cast<nPEmitter*>(kernel->New("npointemitter", "/usr/p"));
    ASSERT_TRUE(store && node && env && sprite && emitter);

    ASSERT_TRUE(RunLine("obj('/usr/s').sets('a', string.rep('x', 3e6))")) << log.text;
    EXPECT_GT(nObjectCount::DataLiveBytes(), before + 3'000'000);
    // Each of these would pass the bound: refused with a line, the old value kept.
    const std::pair<std::string, std::string> refused[] = {
        {"obj('/usr/s').sets('b', string.rep('x', 2e6))", "/usr/s: v_sets_ss refused"},
        {"obj('/usr/n').addtimer('t', 'oneshot', 0, 1e9, string.rep('-', 2e6))", "/usr/n: v_addtimer_ssffs refused"},
        {"obj('/usr/e').sets(string.rep('x', 2e6))", "/usr/e: v_sets_s refused"},
        {"obj('/usr/c').setdimension(4096, 4096)", "/usr/c: v_setdimension_ii refused"},
        {"obj('/usr/p').setlifetime(60) obj('/usr/p').setfreq(1e6)", "/usr/p: v_setfreq_f refused"},
        // A text a node keeps, which no setter of its own charges.
        {"obj('/usr/c').settexture(string.rep('x', 2e6))", "/usr/c: v_settexture_s refused"},
    };
    for (const auto& [line, why] : refused) {
        RunLine(line);
        EXPECT_TRUE(LogHas(why + ": data would keep more than")) << line << "\n" << log.text;
    }
    EXPECT_EQ(store->GetNumVars(), 1);
    EXPECT_EQ(node->GetNumTimers(), 0);
    EXPECT_EQ(env->GetS(), nullptr);
    float w = 0, h = 0;
    sprite->GetDimension(w, h);
    EXPECT_LT(w, 4096.0f);
    EXPECT_EQ(emitter->GetFreq(), 1.0f);
    EXPECT_STREQ(sprite->GetTexture(), "");

    // Data's own smaller value, or a person's, gives the room back.
    ASSERT_TRUE(RunLine("obj('/usr/s').sets('a', 'short') obj('/usr/e').sets(string.rep('x', 2e6))")) << log.text;
    EXPECT_EQ(std::string(env->GetS()).size(), 2'000'000u);
    ASSERT_TRUE(Run("obj('/usr/e').sets('mine')"));
    ASSERT_TRUE(RunLine("obj('/usr/n').addtimer('t', 'oneshot', 0, 1e9, string.rep('-', 3e6))")) << log.text;
    EXPECT_EQ(node->GetNumTimers(), 1);
    // What goes with its object, or its timer, no longer counts.
    ASSERT_TRUE(Run("obj('/usr/n').deletetimer('t') delete('/usr/s') delete('/usr/e') delete('/usr/p')"));
    EXPECT_EQ(nObjectCount::DataLiveBytes(), before);
}

// Tables that data's counts size are charged as their texts are: a few calls cannot make
// one object keep hundreds of megabytes.
TEST_F(DataKeepsTest, TablesSizedByDataCountUntilTheyGo) {
    const uint64_t before = nObjectCount::DataLiveBytes();
    auto* ipol = static_cast<nIpol*>(kernel->New("nipol", "/usr/i"));
    auto* curves = static_cast<nCurveArrayNode*>(kernel->New("ncurvearraynode", "/usr/a"));
    ASSERT_TRUE(ipol && curves);
    for (const char* cls : {"nmeshipol", "ncharacternode", "nboneanim", "nchnsplitter", "nlogicinput"})
        ASSERT_NE(kernel->New(cls, (std::string("/usr/") + cls).c_str()), nullptr);
    // A call the object ignores leaves the text it keeps charged.
    RunLine("obj('/usr/nlogicinput').addinput('a', string.rep('x', 2e6)) obj('/usr/nlogicinput').addinput('a', 'x') "
            "obj('/usr/nlogicinput').addinput('b', string.rep('x', 2.5e6))");
    EXPECT_TRUE(LogHas("/usr/nlogicinput: v_addinput_ss refused")) << log.text;
    ASSERT_TRUE(Run("delete('/usr/nlogicinput')"));
    const std::pair<std::string, std::string> refused[] = {
        {"obj('/usr/i').beginkeys(1048576, 4)", "/usr/i: v_beginkeys_ii refused"},
        {"obj('/usr/i').setkey1f(1048575, 0, 0)", "/usr/i: v_setkey1f_iff refused"},
        {"obj('/usr/a').begincurvebundles(1) obj('/usr/a').beginbundle(0, 'b', 65536)",
         "/usr/a: v_beginbundle_isi refused"},
        {"obj('/usr/nmeshipol').beginkeys(65535)", "/usr/nmeshipol: v_beginkeys_i refused"},
        {"obj('/usr/ncharacternode').beginjoints(32768)", "/usr/ncharacternode: v_beginjoints_i refused"},
        {"obj('/usr/nboneanim').beginbones(65536)", "/usr/nboneanim: v_beginbones_i refused"},
        {"for i = 1, 16 do obj('/usr/nchnsplitter').addkey(i, string.rep('x', 5e5)) end",
         "/usr/nchnsplitter: v_addkey_fs refused"},
        // Each entry keeps its own text.
        {"obj('/usr/a').beginbundle(0, 'b', 16) "
         "for i = 0, 15 do obj('/usr/a').setbundlecurve(i, string.rep('x', 5e5), 'c') end",
         "/usr/a: v_setbundlecurve_iss refused"},
    };
    for (const auto& [line, why] : refused) {
        RunLine(line);
        EXPECT_TRUE(LogHas(why + ": data would keep more than")) << line << "\n" << log.text;
    }
    EXPECT_EQ(ipol->GetNumKeys(), 0);
    // Keys without text, at ever new indices, keep no entry of their own.
    const uint64_t keysBefore = nObjectCount::DataLiveBytes();
    ASSERT_TRUE(RunLine("obj('/usr/i').setipoltype('step') for i = 0, 9999 do obj('/usr/i').setkey1f(i, i, 0) end"));
    EXPECT_LT(nObjectCount::DataLiveBytes(), keysBefore + 10000 * sizeof(nIpolKey) + 4096);
    ASSERT_TRUE(RunLine("obj('/usr/i').beginkeys(65536, 4) obj('/usr/a').beginconnects(4096)")) << log.text;
    EXPECT_GT(nObjectCount::DataLiveBytes(), before + 65536 * sizeof(nIpolKey));
    // A person's table, or the object's end, gives the room back.
    ASSERT_TRUE(Run("obj('/usr/i').beginkeys(2, 1) obj('/usr/i').setipoltype('linear') delete('/usr/a') "
                    "delete('/usr/nchnsplitter')"));
    EXPECT_EQ(nObjectCount::DataLiveBytes(), before);
}

// Data's own globals keep what it puts there across its runs: the interpreter's heap grows
// only to data's share of it, and a person's script still gets memory.
TEST_F(DataKeepsTest, DataGlobalsGrowTheInterpreterOnlyToTheirShare) {
    int ran = 0;
    for (int i = 0; i < 24; i++) ran += RunLine("keep = keep or {} keep[#keep + 1] = string.rep('x', 8e6)");
    EXPECT_LT(ran, 17);
    EXPECT_TRUE(LogHas("not enough memory")) << log.text;
    EXPECT_TRUE(Run("mine = #string.rep('y', 8e6)"));
    EXPECT_EQ(Global("mine"), "8000000");
}

// Past the process's memory ceiling no text of data's starts or goes on, whichever path
// grew it; a person's text still runs, and data's again once the memory is back below.
TEST_F(DataKeepsTest, PastTheMemoryCeilingDataStopsAndAPersonGoesOn) {
    kernel->New("nroot", "/usr/persist");
    nMemoryGuard::SetCeiling(1);
    EXPECT_FALSE(RunLine("new('nroot', '/usr/ran1')"));
    EXPECT_FALSE(RunLine("new('nroot', '/usr/ran2')"));
    EXPECT_TRUE(Run("new('nroot', '/usr/mine')"));
    EXPECT_NE(Lookup("/usr/mine"), nullptr);
    EXPECT_EQ(Lookup("/usr/ran1"), nullptr);
    size_t lines = 0;
    for (size_t at = 0; (at = log.text.find("past its ceiling", at)) != std::string::npos; at++) lines++;
    EXPECT_EQ(lines, 1u) << log.text;
    nMemoryGuard::SetCeiling(0);
    EXPECT_TRUE(RunLine("new('nroot', '/usr/persist/ran3')")) << log.text;
    EXPECT_NE(Lookup("/usr/persist/ran3"), nullptr);
}

// A file that an object reads later (at draw time, in the person's flow) is read under no
// data origin: data's text may set only a file it could read now, inside the installation.
TEST_F(DataKeepsTest, FilesThatDataSetsForLaterStayInsideTheInstallation) {
    nScenePackage(kernel);
    nVideoPackage(kernel);
    if (!kernel->GetFileServer()->GetAssign("home")) kernel->GetFileServer()->SetAssign("home", "/opt/bw/");
    kernel->New("nmeshnode", "/usr/m");
    kernel->New("naviplayer", "/usr/v");
    auto* sprite = static_cast<nLogicCSprite*>(kernel->New("nlogiccsprite", "/usr/c"));
    for (const std::string f : {"('/etc/hostname')", "('home:../../etc/hostname')", "('meshes/x.n3d')"}) {
        RunLine("obj('/usr/m').setfilename" + f + " obj('/usr/v').setfilename" + f + " obj('/usr/c').settexture" + f);
        EXPECT_EQ(Eval("obj('/usr/m').getfilename() .. obj('/usr/v').getfilename()"), "") << f;
        EXPECT_STREQ(sprite->GetTexture(), "") << f;
    }
    ASSERT_TRUE(RunLine("obj('/usr/c').settexture('home:textures/a.png')")) << log.text;
    EXPECT_STREQ(sprite->GetTexture(), "home:textures/a.png");
}

// A visualizer that data points at a template copies it when it is drawn: the copy is
// data's, counted and bounded as what data makes itself.
TEST_F(DataKeepsTest, TheCopyOfATemplateThatDataChoseCountsAsDatas) {
    nScenePackage(kernel);
    kernel->New("nroot", "/usr/persist");
    ASSERT_TRUE(Run("new('n3dnode', '/usr/big') for i = 1, 200 do new('n3dnode', '/usr/big/n' .. i) end"));
    ASSERT_TRUE(RunLine("new('nmodvisualizer', '/usr/persist/v') obj('/usr/persist/v').setvisual('/usr/big')"));
    nObjectCount::SetLiveBytesBound(nObjectCount::DataLiveBytes() + 1000);
    auto* vis = static_cast<nModVisualizer*>(Lookup("/usr/persist/v"));
    vis->Attach();
    EXPECT_EQ(vis->GetClone(), nullptr);
    EXPECT_LE(nObjectCount::DataLiveBytes(), nObjectCount::LiveBytesBound());
}

}  // namespace
