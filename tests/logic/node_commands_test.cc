// The script vocabulary of the visual and physics logic nodes as saved levels and the
// game's scripts use it: each class's own commands with their ids in registration order,
// each command through Lua, and each class's saved lines against hand-written files.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "logic/nLogicPhysik2.h"
#include "logic/nLogicVisual2.h"
#include "tests/logic/CommandTable.h"
#include "tests/logic/GraphFixture.h"

namespace {

using Table = CommandTable;

const Table kVisualCmds = {
    {"v_setvisible_b", "VSVI"},   {"b_getvisible_v", "VGVI"},     {"v_txyz_fff", "VSTR"},
    {"fff_gett_v", "VGTR"},       {"v_qxyzw_ffff", "VSQA"},       {"v_rxyz_fff", "VSRO"},
    {"ffff_getq_v", "VGQA"},      {"v_sxyz_fff", "VSSI"},         {"fff_gets_v", "VGSI"},
    {"v_lookat_s", "VSLA"},       {"s_getlookat_v", "VGLA"},      {"v_setclipdist_f", "VSCD"},
    {"f_getclipdist_v", "VGCD"},  {"fff_getaxis_s", "VGAX"},      {"v_addvisualizer_ss", "VADV"},
    {"v_removevisualizer_ss", "VRDV"},
};

const Table kPhysikCmds = {
    {"v_setphysik_b", "PSPH"},        {"b_getphysik_v", "PGPH"},      {"v_addphysik_ss", "PAPH"},
    {"v_removephysik_ss", "PRPH"},    {"v_setcontactparam_sf", "PSCP"}, {"f_getcontactparam_s", "PGCP"},
    {"v_setgravity_b", "PSGV"},       {"b_getgravity_v", "PGGV"},     {"v_setmaxvelocity_sf", "PSMV"},
    {"f_getmaxvelocity_s", "PGMV"},
};

// A script line, then a Lua expression and the text it must give.
struct Step {
    std::string run, eval, want;
};

class NodeCommandsTest : public GraphFixture {
protected:
    void SetUp() override {
        GraphFixture::SetUp();
        ASSERT_TRUE(Run("function join(...) local s, t = nil, {...}"
                        " for i = 1, #t do s = (s and s .. ' ' or '') .. tostring(t[i]) end return s end"));
    }
    void RunSteps(const std::vector<Step>& steps) {
        for (const Step& s : steps) {
            ASSERT_TRUE(Run(s.run)) << s.run;
            EXPECT_EQ(Eval(s.eval), s.want) << s.run << " / " << s.eval;
        }
    }
    std::string Golden(const char* name) { return SourceDir() + "/tests/logic/golden/" + name; }
};

TEST_F(NodeCommandsTest, EachClassRegistersItsCommandsWithTheirIdsInOrder) {
    EXPECT_EQ(OwnCommands(kernel, "nlogicvisual2", kVisualCmds), kVisualCmds);
    EXPECT_EQ(OwnCommands(kernel, "nlogicphysik2", kPhysikCmds), kPhysikCmds);
}

TEST_F(NodeCommandsTest, VisualCommandsRoundTripThroughLua) {
    kernel->New("nlogicvisual2", "/usr/logic/target");
    kernel->New("nmodvisualizer", "/usr/modules/m");
    ASSERT_TRUE(Run("new('nlogicvisual2', '/usr/logic/v') sel('/usr/logic/v')"));
    auto* v = static_cast<nLogicVisual2*>(Lookup("/usr/logic/v"));
    RunSteps({
        {"setvisible(false)", "getvisible()", "nil"},
        {"setvisible(true)", "getvisible()", "1"},
        {"txyz(1.5, -2, 0.25)", "join(gett())", "1.5 -2.0 0.25"},
        // Kept as given, not normalised.
        {"qxyzw(0, 0, 3, 4)", "join(getq())", "0.0 0.0 3.0 4.0"},
        {"rxyz(0, 0, 0)", "join(getq())", "0.0 0.0 0.0 1.0"},
        {"sxyz(2, 3, 4)", "join(gets())", "2.0 3.0 4.0"},
        {"lookat('../target')", "getlookat()", "/usr/logic/target"},
        {"lookat('none')", "getlookat()", "none"},
        {"setclipdist(12.5)", "getclipdist()", "12.5"},
    });
    ASSERT_TRUE(Run("addvisualizer('default', '/usr/modules/m')"));
    EXPECT_EQ(v->GetVisualizerCount(), 1);
    EXPECT_TRUE(v->IsVisible());
    ASSERT_TRUE(Run("removevisualizer('default', '/usr/modules/m')"));
    EXPECT_EQ(v->GetVisualizerCount(), 0);

    // The identity from three zero angles saves no rotation.
    ASSERT_TRUE(Run("sxyz(1, 1, 1) txyz(0, 0, 0) setclipdist(0)"));
    ASSERT_TRUE(v->SaveAs(Path("v").c_str()));
    const std::string saved = Slurp(Path("v.n"));
    EXPECT_EQ(saved.find("qxyzw"), std::string::npos) << saved;
    EXPECT_NE(saved.find("setvisible( true )"), std::string::npos) << saved;
}

TEST_F(NodeCommandsTest, PhysikCommandsRoundTripThroughLua) {
    kernel->New("nmodphysik", "/usr/modules/mass");
    ASSERT_TRUE(Run("new('nlogicphysik2', '/usr/logic/p') sel('/usr/logic/p')"));
    auto* p = static_cast<nLogicPhysik2*>(Lookup("/usr/logic/p"));
    std::vector<Step> steps = {
        {"", "join(getmaxvelocity('linear'), getmaxvelocity('angular'))", "3.0 2.0"},
        {"setphysik(false)", "getphysik()", "nil"},
        {"setgravity(false)", "getgravity()", "nil"},
        {"setgravity(true)", "getgravity()", "1"},
        {"setmaxvelocity('linear', 6.5)", "getmaxvelocity('linear')", "6.5"},
        {"setmaxvelocity('angular', 0.75)", "getmaxvelocity('angular')", "0.75"},
    };
    // Values stored as given; the flag-only parameters read back as 1.
    const char* const values[][2] = {{"mu", "0.5"},       {"mu2", "0.25"},      {"bounce", "0.125"},
                                     {"bouncevel", "2.0"}, {"contactdir", "1.0"}, {"softerp", "0.5"},
                                     {"softcfm", "0.25"},  {"motion1", "1.5"},   {"motion2", "2.5"},
                                     {"slip1", "0.375"},   {"slip2", "0.625"},   {"approx11", "1.0"},
                                     {"approx12", "1.0"},  {"approx1", "1.0"}};
    for (const auto& [name, value] : values) {
        steps.push_back({std::string("setcontactparam('") + name + "', " + value + ")",
                         std::string("getcontactparam('") + name + "')", value});
    }
    RunSteps(steps);
    ASSERT_TRUE(Run("addphysik('physik', '/usr/modules/mass')"));
    EXPECT_EQ(p->GetPhysikCount(), 1);
    ASSERT_TRUE(Run("removephysik('physik', '/usr/modules/mass')"));
    EXPECT_EQ(p->GetPhysikCount(), 0);
    // A name of no parameter says which node and command met it.
    ASSERT_TRUE(Run("setcontactparam('approx2', 0)"));
    EXPECT_TRUE(LogHas("/usr/logic/p: v_setcontactparam_sf: unknown contact parameter 'approx2'"));
    EXPECT_EQ(Eval("getcontactparam('approx1')"), "1.0");
}

TEST_F(NodeCommandsTest, SavedLinesMatchTheHandWrittenFiles) {
    ASSERT_TRUE(Run("new('nlogicvisual2', '/usr/logic/target')"
                    " new('nlogicvisual2', '/usr/logic/v') sel('/usr/logic/v') setvisible(false)"
                    " lookat('/usr/logic/target') setclipdist(40) sxyz(2, 1, 1) qxyzw(0, 0, 0.5, 0.5)"
                    " txyz(1, -2, 0.5)"));
    ASSERT_TRUE(Run("new('nlogicphysik2', '/usr/logic/p') sel('/usr/logic/p') setphysik(false) setgravity(false)"
                    " setmaxvelocity('angular', 2.5) setmaxvelocity('linear', 5)"
                    " setcontactparam('mu', 0.5) setcontactparam('mu2', 0.25) setcontactparam('bounce', 0.125)"
                    " setcontactparam('bouncevel', 0.75) setcontactparam('contactdir', 0.5)"
                    " setcontactparam('softerp', 0.5) setcontactparam('softcfm', 0.0625)"
                    " setcontactparam('motion1', 1.5) setcontactparam('motion2', 2.5)"
                    " setcontactparam('slip1', 0.375) setcontactparam('slip2', 0.625)"
                    " setcontactparam('approx11', 1)"));
    for (const auto& [path, file] : {std::pair{"/usr/logic/v", "visual2_all.n"}, {"/usr/logic/p", "physik2_all.n"}}) {
        SCOPED_TRACE(file);
        ASSERT_TRUE(Lookup(path)->SaveAs(Path("out").c_str()));
        EXPECT_EQ(Slurp(Path("out.n")), Slurp(Golden(file)));
        // The file loads into a fresh node that saves it again unchanged.
        kernel->SetCwd(kernel->New("nroot", (std::string("/loaded_") + (path + 11)).c_str()));
        nRoot* back = kernel->Load(Golden(file).c_str());
        ASSERT_NE(back, nullptr);
        ASSERT_TRUE(back->SaveAs(Path("again").c_str()));
        EXPECT_EQ(Slurp(Path("again.n")), Slurp(Golden(file)));
    }
}

}  // namespace
