// What data's text keeps on objects that exist, or makes the engine keep for them, counts
// against what data may keep alive, from the moment it is set until it goes.
#include <string>

#include "anim/nAnimPackage.h"
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
