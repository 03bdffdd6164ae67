// The script commands of the 2D and media nodes and of the behaviour modules: each class
// has exactly the prototypes and ids its scripts and saved files use, in their order;
// each setter and its getter agree through Lua; what a class saves is the hand-written
// file it loads back from; and bad indices and names are logged and change nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logic/nLogicButton.h"
#include "logic/nLogicFlash.h"
#include "logic/nModAnimator.h"
#include "logic/nModExactCollision.h"
#include "logic/nModScriptAnimator.h"
#include "platform/flash/MovieModule.h"
#include "tests/logic/CommandTable.h"
#include "tests/logic/PhysikFixture.h"

namespace {

struct ClassTable {
    const char* className;
    CommandTable commands;
};

const std::vector<ClassTable> Tables = {
    {"nlogicsprite",
     {{"v_setdimension_ii", "LSSD"}, {"ii_getdimension_v", "LSGD"}, {"v_setposition_ii", "LSSP"},
      {"ii_getposition_v", "LSGP"}, {"v_setuvcoord_ffff", "LSST"}, {"ffff_getuvcoord_v", "LSGT"},
      {"v_setcolor_ffff", "LSSC"}, {"ffff_getcolor_v", "LSGC"}, {"v_settexture_s", "LSTX"},
      {"v_setrotatewgt_f", "LSRW"}}},
    {"nlogicbutton",
     {{"v_beginstates_i", "LBBS"}, {"v_setstate_iffffffff", "LBSS"}, {"v_endstates_v", "LBES"},
      {"v_setnormalstate_i", "LBSN"}, {"i_getnormalstate_v", "LBGN"}, {"v_setoverstate_i", "LBSO"},
      {"i_getoverstate_v", "LBGO"}, {"v_setpressedstate_i", "LBSP"}, {"i_getpressedstate_v", "LBGP"},
      {"v_switchstate_i", "LBSW"}, {"v_setsuppressevent_b", "LBSU"}, {"b_getsuppressevent_v", "LBGU"},
      {"v_setalpharef_f", "LBSA"}, {"f_getalpharef_v", "LBGA"}, {"v_setignoreinput_b", "LBSI"},
      {"i_getcurrentstate_v", "LBGC"}, {"v_setpriority_i", "LBPR"}}},
    {"nlogiccsprite", {{"v_preload_v", "CSPR"}, {"v_unload_v", "CSUL"}}},
    {"nlogicflash",
     {{"v_setmovierect_iiii", "LFSR"}, {"iiii_getmovierect_v", "LFGR"}, {"v_setfps_f", "LFSF"},
      {"f_getfps_v", "LFGF"}, {"v_setmessaging_b", "LFSM"}, {"b_getmessaging_v", "LFGM"},
      {"v_setinputevents_b", "LFSI"}, {"b_getinputevents_v", "LFGI"}, {"v_setvalue_ss", "LFSV"},
      {"v_concatvalue_ss", "LFCV"}, {"s_getvalue_s", "LFGV"}, {"v_update_v", "LFUP"},
      {"v_setunloadthreshold_f", "LFSU"}, {"f_getunloadthreshold_v", "LFGU"}, {"v_loadflash_v", "LFMO"},
      {"f_unloadflash_v", "UFMO"}, {"v_setfrozen_b", "FSFR"}, {"v_setfrozenrec_b", "SFRR"},
      {"b_getfrozen_v", "FGFR"}, {"v_setcheckupdateflag_b", "FSCU"}, {"v_setnetworking_b", "FSNW"},
      {"v_setcursortest_b", "FSCT"}}},
    {"nlogicvideo", {{"v_videostart_v", "VSTP"}, {"v_videoend_v", "VENP"}, {"v_setvidolength_f", "VSPL"}}},
    {"nmodule", {}},
    {"nmodtransformer",
     {{"v_txyz_fff", "TSPO"}, {"fff_gett_v", "TGPO"}, {"v_sxyz_fff", "TSSZ"}, {"fff_gets_v", "TGSZ"},
      {"v_setrot_fff", "TSRO"}, {"v_qxyzw_ffff", "TSQU"}, {"ffff_getq_v", "TGQU"}}},
    {"nmodsimplecollision",
     {{"v_setradius_f", "SCSR"}, {"f_getradius_v", "SCGR"}, {"v_setcollclass_s", "SCSC"},
      {"s_getcollclass_v", "SCGC"}, {"v_setdynamic_b", "SCSD"}, {"b_getdynamic_v", "SCGD"},
      {"v_setsizeable_b", "SCSS"}, {"b_getsizeable_v", "SCGS"}, {"v_setcolor_ffff", "SCDC"},
      {"v_setdebugmove_fff", "SCDB"}}},
    {"nmodexactcollision",
     {{"v_setbox_fff", "ECSB"}, {"v_setsphere_f", "ECSS"}, {"v_setmesh_s", "ECSM"}, {"v_setcylinder_ff", "ECSC"}}},
    {"nmodphysik",
     {{"v_setweight_f", "PSWG"}, {"v_setdensity_f", "PSDE"}, {"s_gettype_v", "PGTY"}, {"v_setsphere_f", "PSSP"},
      {"f_getsphere_v", "PGSP"}, {"v_setbox_fff", "PSBX"}, {"fff_getbox_v", "PGBX"}, {"v_setcylinder_ff", "PSCY"},
      {"ff_getcylinder_v", "PGCY"}}},
    {"nmodvisualizer",
     {{"v_setvisual_s", "VSVI"}, {"s_getvisual_v", "VGVI"}, {"v_setviewextents_fff", "VSEX"},
      {"fff_getviewextents_v", "VGEX"}, {"v_addchannel_s", "VADC"}}},
    {"nmodanimator", {{"v_setreptype_s", "ASRT"}, {"s_getreptype_v", "AGRT"}}},
    {"nmodscriptanimator", {{"v_beginanims_i", "BGAS"}, {"v_setanim_ifs", "STAN"}, {"v_endanims_v", "ENAS"}}},
    {"nmodvectoranimator",
     {{"v_beginanims_i", "BGAS"}, {"v_beginanim_s", "BGAN"}, {"v_setkeyfile_s", "SKFI"}, {"v_endanim_v", "ENAN"},
      {"v_endanims_v", "ENAS"}}},
};

class MediaModuleTablesTest : public PhysikFixture {
protected:
    // A new object of `cls` at `path`, configured by `script` run with it selected.
    nRoot* Make(const char* cls, const std::string& path, const std::string& script) {
        nRoot* obj = kernel->New(cls, path.c_str());
        EXPECT_TRUE(Run("sel('" + path + "') " + script + " sel('/')")) << script;
        return obj;
    }
    // All results of a getter, space-separated.
    std::string Get(const std::string& path, const std::string& call) {
        return Run("function __join(...) local s = '' for i = 1, select('#', ...) do"
                   " s = s .. (i > 1 and ' ' or '') .. tostring((select(i, ...))) end return s end")
                   ? Eval("__join(obj('" + path + "')." + call + ")")
                   : "<error>";
    }
    static std::string Golden(const char* name) { return SourceDir() + "/tests/logic/golden/" + name; }
};

TEST_F(MediaModuleTablesTest, EachClassHasItsCommandsInOrder) {
    for (const ClassTable& t : Tables) {
        SCOPED_TRACE(t.className);
        ASSERT_NE(kernel->FindClass(t.className), nullptr);
        EXPECT_EQ(OwnCommands(kernel, t.className, t.commands), t.commands);
    }
}

TEST_F(MediaModuleTablesTest, SettersAndGettersAgree) {
    struct RoundTrip {
        const char* cls;
        const char* set;
        const char* get;
        const char* want;
    };
    const std::vector<RoundTrip> trips = {
        {"nlogicsprite", "setdimension(200, 100)", "getdimension()", "200 100"},
        {"nlogicsprite", "setposition(-10, 20)", "getposition()", "-10 20"},
        {"nlogicsprite", "setuvcoord(0.75, 0.5, 0.25, 0)", "getuvcoord()", "0.75 0.5 0.25 0.0"},
        {"nlogicsprite", "setcolor(1, 0.5, 0.25, 0)", "getcolor()", "1.0 0.5 0.25 0.0"},
        {"nlogicbutton", "beginstates(3) endstates() setnormalstate(2)", "getnormalstate()", "2"},
        {"nlogicbutton", "beginstates(3) endstates() setoverstate(1)", "getoverstate()", "1"},
        {"nlogicbutton", "beginstates(3) endstates() setpressedstate(0)", "getpressedstate()", "0"},
        {"nlogicbutton", "setsuppressevent(true)", "getsuppressevent()", "1"},
        {"nlogicbutton", "setalpharef(0.5)", "getalpharef()", "0.5"},
        {"nlogicbutton", "beginstates(2) setstate(1, 1, 2, 3, 4, 0, 0, 1, 1) endstates() switchstate(1)",
         "getcurrentstate()", "1"},
        {"nlogicflash", "setmovierect(4, 3, 2, 1)", "getmovierect()", "4 3 2 1"},
        {"nlogicflash", "setfps(12.5)", "getfps()", "12.5"},
        {"nlogicflash", "setmessaging(true)", "getmessaging()", "1"},
        {"nlogicflash", "setinputevents(true)", "getinputevents()", "1"},
        {"nlogicflash", "setunloadthreshold(0.25)", "getunloadthreshold()", "0.25"},
        {"nlogicflash", "setfrozen(true)", "getfrozen()", "1"},
        {"nmodtransformer", "txyz(1, 2, 3)", "gett()", "1.0 2.0 3.0"},
        {"nmodtransformer", "sxyz(2, 1, 0.5)", "gets()", "2.0 1.0 0.5"},
        {"nmodtransformer", "qxyzw(0, 0, 2, 0)", "getq()", "0.0 0.0 2.0 0.0"},
        {"nmodsimplecollision", "setradius(0.5)", "getradius()", "0.5"},
        {"nmodsimplecollision", "setcollclass('ghost')", "getcollclass()", "ghost"},
        {"nmodsimplecollision", "setdynamic(true)", "getdynamic()", "1"},
        {"nmodsimplecollision", "setsizeable(true)", "getsizeable()", "1"},
        {"nmodphysik", "setsphere(0.5)", "getsphere()", "0.5"},
        {"nmodphysik", "setbox(1, 2, 4)", "getbox()", "1.0 2.0 4.0"},
        {"nmodphysik", "setcylinder(0.5, 2)", "getcylinder()", "0.5 2.0"},
        {"nmodvisualizer", "setviewextents(1, 2, 3)", "getviewextents()", "1.0 2.0 3.0"},
        {"nmodanimator", "setreptype('loop')", "getreptype()", "loop"},
        {"nmodanimator", "setreptype('loop') setreptype('oneshot')", "getreptype()", "oneshot"},
    };
    int n = 0;
    for (const RoundTrip& t : trips) {
        SCOPED_TRACE(std::string(t.cls) + " " + t.set);
        const std::string path = "/usr/rt/" + std::to_string(n++);
        Make(t.cls, path, t.set);
        EXPECT_EQ(Get(path, t.get), t.want);
    }
    // What the physics module's mass is, by name.
    EXPECT_EQ(Get("/usr/rt/24", "gettype()"), "box");
    // The collision class name comes with its index from the collide server.
    EXPECT_EQ(static_cast<nModSimpleCollision*>(Lookup("/usr/rt/20"))->GetCollObject().classIndex,
              collide->QueryCollClass("ghost"));
    // "loop" is stored as 2.
    EXPECT_EQ(static_cast<nModAnimator*>(Lookup("/usr/rt/27"))->GetRepTypeCode(), 2);
}

TEST_F(MediaModuleTablesTest, EachClassSavesTheFileItLoadsFrom) {
    struct Saved {
        const char* cls;
        const char* script;
        const char* golden;
    };
    const std::vector<Saved> files = {
        {"nlogicflash",
         "settexture('menu.movie') setposition(100, 50) setdimension(200, 100) setmovierect(1, 2, 3, 4)"
         " setmessaging(true) setinputevents(true) setfps(25) setunloadthreshold(0.5) setfrozen(true)"
         " setcheckupdateflag(true) setnetworking(true) setcursortest(true)",
         "tables_flash.n"},
        // States saved as "none" when negative; no texture, no texture line.
        {"nlogicbutton", "beginstates(0) endstates() setpriority(3) setalpharef(0.5) setignoreinput(true)",
         "tables_button.n"},
        {"nmodule", "", "tables_module.n"},
        // No radius was set: no radius line.
        {"nmodsimplecollision", "setcollclass('solid') setsizeable(true) setdebugmove(0, 1, 0)", "tables_simple.n"},
        // The radius set earlier stays; the box comes after the lines of the simple module.
        {"nmodexactcollision", "setradius(0.5) txyz(0, 1, 0) setcollclass('ghost') setbox(1, 2, 3)", "tables_exact.n"},
        // Without entries only the repeat type is saved.
        {"nmodscriptanimator", "setreptype('loop') beginanims(0) endanims()", "tables_script_empty.n"},
    };
    kernel->SetCwd(kernel->New("nroot", "/loaded"));
    for (const Saved& f : files) {
        SCOPED_TRACE(f.golden);
        nRoot* made = Make(f.cls, std::string("/usr/made/") + f.cls, f.script);
        ASSERT_TRUE(made->SaveAs(Path(std::string("made_") + f.cls).c_str()));
        EXPECT_EQ(Slurp(Path(std::string("made_") + f.cls + ".n")), Slurp(Golden(f.golden)));
        nRoot* back = kernel->Load(Golden(f.golden).c_str());
        ASSERT_NE(back, nullptr);
        EXPECT_STREQ(back->GetClass()->GetName(), f.cls);
        ASSERT_TRUE(back->SaveAs(Path(std::string("back_") + f.cls).c_str()));
        EXPECT_EQ(Slurp(Path(std::string("back_") + f.cls + ".n")), Slurp(Golden(f.golden)));
    }
}

TEST_F(MediaModuleTablesTest, MovieVariablesJoinAndReadNilThroughTheMoviePlayer) {
    // A movie of our own format whose variables are its globals.
    const std::string movie = Write("menu.lua", std::string(flash::MovieModule::Marker) +
                                                    "\nstage(100, 100)\nfunction draw() end\nold = 'a'\nempty = ''\n");
    Make("nlogicflash", "/usr/f", "settexture('" + movie + "')");
    ASSERT_TRUE(Run("sel('/usr/f') concatvalue('old', 'b') concatvalue('empty', 'b') concatvalue('fresh', 'c')"
                    " concatvalue('old', '') a = getvalue('old') e = getvalue('empty') f = getvalue('fresh')"
                    " n = getvalue('unknown') sel('/')"));
    EXPECT_EQ(Global("a"), "a;b;");
    EXPECT_EQ(Global("e"), "b");
    EXPECT_EQ(Global("f"), "c");
    EXPECT_EQ(Global("n"), "nil");
    // A nil, not the text "nil".
    EXPECT_EQ(Eval("obj('/usr/f').getvalue('unknown') == nil and 'no value' or 'text'"), "no value");
}

TEST_F(MediaModuleTablesTest, BadIndicesAndNamesAreLoggedAndChangeNothing) {
    auto* b = static_cast<nLogicButton*>(
        Make("nlogicbutton", "/usr/b", "beginstates(2) setstate(0, 1, 2, 3, 4, 0, 0, 1, 1) endstates() setnormalstate(0)"));
    log.text.clear();
    ASSERT_TRUE(Run("sel('/usr/b') setstate(2, 9, 9, 9, 9, 0, 0, 1, 1) setstate(-1, 9, 9, 9, 9, 0, 0, 1, 1)"
                    " switchstate(2) setnormalstate(2) setoverstate(5) setpressedstate(2) sel('/')"));
    for (const char* part : {"v_setstate: state 2 is outside the 2 states", "v_setstate: state -1",
                             "v_switchstate: state 2", "v_setnormalstate: state 2", "v_setoverstate: state 5",
                             "v_setpressedstate: state 2"}) {
        EXPECT_TRUE(LogHas(part)) << part << "\n" << log.text;
    }
    EXPECT_EQ(Get("/usr/b", "getnormalstate()") + " " + Get("/usr/b", "getoverstate()") + " " +
                  Get("/usr/b", "getpressedstate()") + " " + Get("/usr/b", "getcurrentstate()"),
              "0 -2 -2 -1");
    EXPECT_EQ(Get("/usr/b", "getposition()"), "0 0");
    ASSERT_EQ(b->GetNumStates(), 2);

    auto* s = static_cast<nModScriptAnimator*>(
        Make("nmodscriptanimator", "/usr/s", "beginanims(1) setanim(0, 1, 'a = 1') endanims()"));
    auto* a = static_cast<nModAnimator*>(Make("nmodanimator", "/usr/a", "setreptype('loop')"));
    log.text.clear();
    ASSERT_TRUE(Run("sel('/usr/s') setanim(1, 2, 'a = 2') setanim(-1, 2, 'a = 2')"
                    " sel('/usr/a') setreptype('Loop') setreptype('oneshot ') setreptype('') sel('/')"));
    EXPECT_TRUE(LogHas("setanim: entry 1 outside 0 to 0")) << log.text;
    EXPECT_TRUE(LogHas("setanim: entry -1 outside 0 to 0")) << log.text;
    EXPECT_TRUE(LogHas("unknown repeat type 'Loop'")) << log.text;
    EXPECT_TRUE(LogHas("unknown repeat type 'oneshot '")) << log.text;
    EXPECT_EQ(a->GetRepTypeCode(), nModAnimator::Loop);
    ASSERT_TRUE(s->SaveAs(Path("s").c_str()));
    EXPECT_EQ(Count(Slurp(Path("s.n")), "setanim("), 1);

    // Without a movie the messaging flag is only stored, and unloading answers 0.
    auto* f = static_cast<nLogicFlash*>(Make("nlogicflash", "/usr/f", "setmessaging(true)"));
    EXPECT_TRUE(f->GetMessaging());
    EXPECT_EQ(f->GetModule(), nullptr);
    EXPECT_EQ(Eval("obj('/usr/f').unloadflash()"), "0.0");
}

}  // namespace
