// The second heads-up display: its own commands, saved line and help-text flag, the bar
// opening without a diver, four figures for human divers only, and the click that picks
// by a figure's own rectangle and the diver's place in the level's list; and the network
// class, a plain object that saves as nroot's do.
#include <gtest/gtest.h>

#include "game/nbw2UwMenu.h"
#include "game/nbwUwMenu.h"
#include "tests/game/UwMenuFixture.h"
#include "tests/logic/CommandTable.h"

namespace {

const CommandTable kMenu2Cmds = {
    {"v_openinventory_v", "U2OI"}, {"v_closeinventory_v", "U2CI"}, {"v_toggleinventory_v", "U2TI"},
    {"v_showmenu_b", "U2SM"},      {"v_mousemove_v", "U2MM"},      {"b_mousedown_v", "U2MD"},
    {"v_mouseup_v", "U2MU"},       {"v_registerlevel_s", "U2RL"},  {"v_settext_s", "U2ST"},
};

// Five divers: ann and bob human, rob, cy and dan not; each figure 30 x 52 at y 524, the
// first at x 75 and the next 35 further right each.
class UwMenu2Test : public UwMenuFixture {
protected:
    void SetUp() override {
        GameTestKernel::SetUp();
        Build("nbw2uwmenu", {"maennel1", "maennel2", "maennel3", "maennel4"}, {"ann", "bob", "rob", "cy", "dan"});
        cy = Diver("cy");
        dan = Diver("dan");
        ASSERT_TRUE(cy && dan);
        for (int i = 0; i < 4; i++) {
            nLogicFlash* f = Flash(kFigures[i]);
            f->SetPosition(75.0f + 35.0f * float(i), 524.0f);
            f->SetDimension(30.0f, 52.0f);
        }
    }
    // Clicks at (x, y) after the display read the mouse there; true when the display
    // left the click alone.
    bool ClickAt(int x, int y) {
        MouseTo(x, y);
        Frame(0.0f);
        return menu->MouseDown();
    }

    static constexpr const char* kFigures[4] = {"maennel1", "maennel2", "maennel3", "maennel4"};
    nHudDiver *cy = nullptr, *dan = nullptr;
};

TEST_F(UwMenu2Test, CommandsSavedLevelAndAClassOfItsOwnUnderTheLogicNode) {
    EXPECT_EQ(OwnCommands(kernel, "nbw2uwmenu", kMenu2Cmds), kMenu2Cmds);
    EXPECT_EQ(kernel->FindClass("nbw2uwmenu")->GetSuperClass(), kernel->FindClass("nlogicnode"));
    // Neither display is the other's kind: the game observers drive only the first.
    EXPECT_FALSE(menu->IsA("nbwuwmenu"));
    ASSERT_TRUE(menu->SaveAs(Path("hud2").c_str()));
    const std::string text = Slurp(Path("hud2.n"));
    EXPECT_NE(text.find("registerlevel( \"/usr/logic/level\" )"), std::string::npos) << text;
    ASSERT_TRUE(Run("delete('/usr/logic/uwmenu')"));
    kernel->SetCwd(Lookup("/usr/logic"));
    nRoot* loaded = kernel->Load(Path("hud2.n").c_str());
    ASSERT_NE(loaded, nullptr) << log.text;
    ASSERT_TRUE(loaded->IsA("nbw2uwmenu"));
    EXPECT_EQ(static_cast<nbwUwMenuBase*>(loaded)->GetLevel(), level);
}

TEST_F(UwMenu2Test, ItsHelpTextFlagIsNotTheFirstDisplaysOne) {
    // A first display beside it that reads the same mouse.
    ASSERT_TRUE(Run("new('nbwuwmenu', '/usr/logic/hud1') new('nlogicinput', '/usr/logic/hud1/input') "
                    "sel('/usr/logic/hud1/input') setgroup('hud') setfocus(true)"));
    auto* first = static_cast<nbwUwMenu*>(Lookup("/usr/logic/hud1"));
    // The first display shows a help text (the held item's).
    ASSERT_TRUE(Run("FB_ZUSTAND_GERAET = 'Gerät'"));
    menu->SetActive(false);
    MouseTo(700, 470);
    Frame(0.0f);
    EXPECT_EQ(Global("shown"), "Gerät");
    // Away from every area, this display has shown nothing, so it clears nothing.
    menu->SetActive(true);
    first->SetActive(false);
    MouseTo(300, 300);
    Frame(0.0f);
    EXPECT_EQ(Global("shown"), "Gerät");
    // The first display clears its own text.
    first->SetActive(true);
    MouseTo(301, 300);
    Frame(0.0f);
    EXPECT_EQ(Global("shown"), " ");

    // And the other way round: this display's text, the first display's flag clear.
    first->SetActive(false);
    MouseTo(90, 566);
    Frame(0.0f);
    EXPECT_EQ(Global("shown"), "Luft");
    menu->SetActive(false);
    first->SetActive(true);
    MouseTo(300, 300);
    Frame(0.0f);
    EXPECT_EQ(Global("shown"), "Luft");
}

TEST_F(UwMenu2Test, TheBarOpensWithABasketActiveAndLeavesTheListsAlone) {
    ASSERT_TRUE(Run("new('nbwelevator', '/usr/logic/level/lift')"));
    level->SetActiveDiver("/usr/logic/level/lift");
    ASSERT_NE(level->GetActiveDiver(), nullptr);
    menu->OpenInventory();
    EXPECT_TRUE(menu->IsOpen());
    EXPECT_TRUE(observer->GetGameState(nbwUwMenuBase::InventoryState));
    EXPECT_EQ(Value("selection", "invname_list_string"), "<null>");
    menu->CloseInventory();
    EXPECT_FALSE(observer->GetGameState(nbwUwMenuBase::InventoryState));

    // With a diver the lists are filled; without a level nothing opens.
    Frame(0.3f);
    level->SetActiveDiver("/usr/logic/level/ann");
    menu->OpenInventory();
    EXPECT_EQ(Value("selection", "invname_list_string"), "hand,knife,lamp");
    menu->CloseInventory();
    Frame(0.3f);
    menu->RegisterLevel("");
    menu->OpenInventory();
    EXPECT_FALSE(menu->IsOpen());
}

TEST_F(UwMenu2Test, OnlyHumanDiversGetFiguresAndAClickPicksByPlaceInTheList) {
    // ann human, bob not, rob human: rob shows on the second figure.
    bob->SetFlag(nHudDiver::Human, false);
    rob->SetFlag(nHudDiver::Human, true);
    ann->SetStat(nHudDiver::Lifepoints, 0.5f);
    ann->SetStat(nHudDiver::Energie, 0.25f);
    rob->SetStat(nHudDiver::Lifepoints, 0.1f);
    Frame(0.01f);
    EXPECT_EQ(Value("maennel1", "bild"), "ann_1");
    EXPECT_EQ(Value("maennel1", "gesundheit"), "50");
    EXPECT_EQ(Value("maennel1", "sauerstoff"), "25");
    EXPECT_EQ(Value("maennel1", "zustand"), "<null>");
    EXPECT_EQ(Value("maennel2", "bild"), "rob_2");
    for (const char* off : {"maennel3", "maennel4"}) {
        EXPECT_FALSE(Active(off)) << off;
        EXPECT_EQ(Value(off, "bild"), "<null>") << off;
    }
    // A script switching an unused one on is overruled; a used one asking for an update
    // gets it.
    Flash("maennel3")->SetActive(true);
    Flash("maennel2")->SetValue("doUpdate", "1");
    Frame(0.01f);
    EXPECT_FALSE(Active("maennel3"));
    EXPECT_EQ(Value("maennel2", "doUpdate"), "0");
    EXPECT_GE(Flash("maennel2")->GetUpdateRequests(), 1);
    // The second figure picks the second diver of the list: bob, not rob.
    EXPECT_FALSE(ClickAt(111, 550));
    Frame(0.01f);
    EXPECT_EQ(level->GetActiveDiver(), bob);
    // The rectangle's edges: left, top and bottom outside, right inside.
    EXPECT_TRUE(ClickAt(75, 550));
    EXPECT_TRUE(ClickAt(90, 524));
    EXPECT_TRUE(ClickAt(90, 576));
    EXPECT_FALSE(ClickAt(105, 575));
    Frame(0.01f);
    EXPECT_EQ(level->GetActiveDiver(), ann);
    // No "singleplayer" refusal here.
    ann->SetFlag(nHudDiver::Singleplayer, true);
    EXPECT_FALSE(ClickAt(181, 525));
    Frame(0.01f);
    EXPECT_EQ(level->GetActiveDiver(), cy);
}

TEST_F(UwMenu2Test, DiversBeyondTheFourthGetNoFigureAndCannotBePicked) {
    for (nHudDiver* d : {rob, cy, dan}) d->SetFlag(nHudDiver::Human, true);
    Frame(0.01f);
    EXPECT_EQ(Value("maennel4", "bild"), "cy_2");
    EXPECT_TRUE(Active("maennel4"));
    for (const char* f : kFigures) EXPECT_EQ(Value(f, "bild").rfind("dan", 0), std::string::npos) << f;
    // Wherever the figures' band is clicked, dan is never picked.
    for (int x = 0; x < 800; x += 3) {
        ClickAt(x, 550);
        ASSERT_NE(level->GetPendingDiver(), dan) << x;
    }
    // The fourth column has the diver help texts while its figure is in use.
    MouseTo(195, 573);
    Frame(0.0f);
    EXPECT_EQ(Global("shown"), "Zustand");
    MouseTo(195, 540);
    Frame(0.0f);
    EXPECT_EQ(Global("shown"), "Wechsel");
    for (nHudDiver* d : {cy, dan}) d->SetFlag(nHudDiver::Human, false);
    Frame(0.0f);
    EXPECT_FALSE(Active("maennel4"));
    Frame(0.0f);
    EXPECT_EQ(Global("shown"), " ");
}

// The network class: made by a script, it answers nroot's commands only and its saved
// file is the one an nroot writes.
using NetworkTest = GameTestKernel;

TEST_F(NetworkTest, AScriptMadeNetworkObjectIsAPlainObjectSavedAsOne) {
    ASSERT_TRUE(Run("new('nnetwork', '/usr/a/net') sel('/usr/a/net') new('nroot', 'child') "
                    "new('nroot', '/usr/b/net') sel('/usr/b/net') new('nroot', 'child')"));
    nRoot* net = Lookup("/usr/a/net");
    ASSERT_NE(net, nullptr);
    nClass* cls = kernel->FindClass("nnetwork");
    EXPECT_EQ(cls->GetSuperClass(), kernel->FindClass("nroot"));
    EXPECT_EQ(cls->GetFirstCmd(), nullptr);
    EXPECT_EQ(cls->GetInstanceSize(), kernel->FindClass("nroot")->GetInstanceSize());
    // A command of nroot works; one of another class is unknown to it.
    EXPECT_TRUE(Run("sel('/usr/a/net') setname('network')"));
    EXPECT_EQ(Lookup("/usr/a/network"), net);
    EXPECT_FALSE(Run("sel('/usr/a/network') settexture('x')"));
    EXPECT_TRUE(Run("sel('/usr/a/network') setname('net')"));

    ASSERT_TRUE(net->SaveAs(Path("net").c_str()));
    const std::string golden = SourceDir() + "/tests/game/golden/network.n";
    EXPECT_EQ(Slurp(Path("net.n")), Slurp(golden));
    ASSERT_TRUE(Lookup("/usr/b/net")->SaveAs(Path("plain").c_str()));
    std::string plain = Slurp(Path("plain.n"));
    // The saved files differ only in the class named at the top.
    const size_t at = plain.find("nroot");
    ASSERT_NE(at, std::string::npos);
    plain.replace(at, 5, "nnetwork");
    EXPECT_EQ(Slurp(Path("net.n")), plain);

    ASSERT_TRUE(Run("delete('/usr/a/net')"));
    kernel->SetCwd(Lookup("/usr/a"));
    nRoot* back = kernel->Load(golden.c_str());
    ASSERT_NE(back, nullptr) << log.text;
    EXPECT_EQ(back->GetClass(), cls);
    EXPECT_NE(back->FindChild("child"), nullptr);
}

}  // namespace
