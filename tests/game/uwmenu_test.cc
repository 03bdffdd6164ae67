// The heads-up display: its commands and saved line, the inventory bar sliding in and
// out with the game-state bit, the selector taking a slot's item, the held item's bars,
// the figures and the diver switch by a click on a figure.
#include <gtest/gtest.h>

#include "game/nbwUwMenu.h"
#include "tests/game/UwMenuFixture.h"
#include "tests/logic/CommandTable.h"

namespace {

const CommandTable kMenuCmds = {
    {"v_openinventory_v", "UMOI"}, {"v_closeinventory_v", "UMCI"}, {"v_toggleinventory_v", "UMTI"},
    {"v_showmenu_b", "UMSM"},      {"v_mousemove_v", "UMMM"},      {"b_mousedown_v", "UMMD"},
    {"v_mouseup_v", "UMMU"},       {"v_registerlevel_s", "UMRL"},  {"v_settext_s", "UMST"},
};

class UwMenuTest : public UwMenuFixture {
protected:
    void SetUp() override {
        GameTestKernel::SetUp();
        Build("nbwuwmenu", {"taucher1", "taucher2", "taucher3", "geraet1", "geraet2", "geraet3", "geraet4"});
    }
};

TEST_F(UwMenuTest, CommandsAndTheRegisteredLevelSavedAndLoadedBack) {
    EXPECT_EQ(OwnCommands(kernel, "nbwuwmenu", kMenuCmds), kMenuCmds);
    EXPECT_EQ(kernel->FindClass("nbwuwmenu")->GetSuperClass(), kernel->FindClass("nlogicnode"));
    ASSERT_TRUE(menu->SaveAs(Path("hud").c_str()));
    const std::string text = Slurp(Path("hud.n"));
    EXPECT_NE(text.find("registerlevel( \"/usr/logic/level\" )"), std::string::npos) << text;
    ASSERT_TRUE(Run("delete('/usr/logic/uwmenu')"));
    kernel->SetCwd(Lookup("/usr/logic"));
    auto* loaded = static_cast<nbwUwMenuBase*>(kernel->Load(Path("hud.n").c_str()));
    ASSERT_NE(loaded, nullptr) << log.text;
    EXPECT_EQ(loaded->GetLevel(), level);
    // A path naming nothing clears the reference; one naming no level is refused.
    loaded->RegisterLevel("/usr/logic/level/ann");
    EXPECT_EQ(loaded->GetLevel(), nullptr);
    EXPECT_TRUE(LogHas("is no level"));
    loaded->RegisterLevel("/usr/logic/level");
    loaded->RegisterLevel("/nothing/here");
    EXPECT_EQ(loaded->GetLevel(), nullptr);
}

TEST_F(UwMenuTest, AStatusTextBeforeTheFirstFrameReachesTheStatusLine) {
    // A load from the main menu writes its message before the display ever ran a frame.
    ASSERT_TRUE(Run("obj('/usr/logic/uwmenu').settext('Spiel geladen.')"));
    EXPECT_EQ(Value("statusbar", "text"), "Spiel geladen.");
    EXPECT_FALSE(LogHas("no usable")) << log.text;
}

TEST_F(UwMenuTest, TheBarSlidesInWithTheGameStateBitAndOutAgain) {
    GameFrame(0.01f);
    // Not yet open: the bar's parts are off, the rest follows show.
    EXPECT_FALSE(Active("selection"));
    EXPECT_TRUE(Active("statusbar"));
    menu->ToggleInventory();
    EXPECT_EQ(ann->aborted, 1);
    EXPECT_TRUE(menu->IsOpen());
    EXPECT_TRUE(observer->GetGameState(nbwUwMenu::InventoryState));
    EXPECT_EQ(Value("selection", "invname_pivot"), "hand");
    EXPECT_EQ(Value("selection", "invtyp_list_string"), "hand,knife,lamp");
    EXPECT_EQ(Value("selection", "invname_list_string"), "hand,knife,lamp");
    // 0.001 + 4 × 0.12475 = 0.5: halfway, 150 units right of home.
    GameFrame(0.12475f);
    EXPECT_NEAR(menu->GetOpenness(), 0.5f, 1e-5f);
    EXPECT_NEAR(X(selection), 550.0f, 0.01f);
    EXPECT_NEAR(X(selector), 558.0f, 0.01f);
    EXPECT_NEAR(X(back), 540.0f, 0.01f);
    EXPECT_TRUE(Active("selection"));
    // While sliding a toggle does nothing.
    menu->ToggleInventory();
    EXPECT_TRUE(menu->IsOpen());
    EXPECT_EQ(ann->aborted, 1);
    GameFrame(0.2f);
    EXPECT_EQ(menu->GetOpenness(), 1.0f);
    EXPECT_NEAR(X(selection), 400.0f, 0.01f);

    menu->ToggleInventory();
    EXPECT_FALSE(menu->IsOpen());
    EXPECT_FALSE(observer->GetGameState(nbwUwMenu::InventoryState));
    EXPECT_EQ(Global("shown"), " ");
    GameFrame(0.3f);
    EXPECT_EQ(menu->GetOpenness(), 0.0f);
    EXPECT_FALSE(Active("selection"));
    EXPECT_NEAR(X(selection), 700.0f, 0.01f);

    // No opening for a basket or without a level; the toggle still aborts what is active.
    menu->RegisterLevel("");
    menu->ToggleInventory();
    EXPECT_FALSE(menu->IsOpen());
    EXPECT_FALSE(observer->GetGameState(nbwUwMenu::InventoryState));
}

TEST_F(UwMenuTest, AReleasedSelectorSkipsEmptySlotsAndPutsTheItemInTheHand) {
    menu->OpenInventory();
    Frame(0.3f);
    ASSERT_EQ(menu->GetOpenness(), 1.0f);
    Frame(0.01f);
    // hand, knife, lamp, empty from slot 4 to slot 1.
    ASSERT_EQ(Value("selection", "slot2_typ"), "lamp");
    ASSERT_EQ(Value("selection", "slot1_typ"), "empty");
    ASSERT_NEAR(X(selector), 408.0f, 0.01f);

    // Grabbed, dragged over slot 2 (its help text), let go: it eases to 535 and takes the lamp.
    MouseTo(420, 540);
    Frame(0.0f);
    EXPECT_FALSE(menu->MouseDown());
    EXPECT_TRUE(menu->IsDragging());
    MouseTo(540, 540);
    Frame(0.0f);
    EXPECT_NEAR(X(selector), 528.0f, 0.01f);
    EXPECT_EQ(Global("shown"), "Lampe");
    menu->MouseUp();
    Frame(0.01f);
    EXPECT_NEAR(X(selector), 535.0f, 0.01f);
    EXPECT_EQ(ann->GetPath(nHudDiver::HandPath), Lookup("/usr/logic/level/ann/inventory/lamp"));
    EXPECT_FALSE(menu->IsOpen());
    EXPECT_FALSE(observer->GetGameState(nbwUwMenu::InventoryState));

    // Without the lamp slots 2 and 1 are empty: the selector stops on slot 1 and takes nothing.
    ann->SetPath(nHudDiver::HandPath, "inventory/hand");
    Lookup("/usr/logic/level/ann/inventory/lamp")->Release();
    Frame(0.3f);
    menu->OpenInventory();
    Frame(0.3f);
    Frame(0.01f);
    ASSERT_EQ(Value("selection", "slot2_typ"), "empty");
    MouseTo(420, 540);
    Frame(0.0f);
    EXPECT_FALSE(menu->MouseDown());
    MouseTo(540, 540);
    Frame(0.0f);
    // An empty slot clears the status line.
    EXPECT_EQ(Value("statusbar", "text"), " ");
    menu->MouseUp();
    Frame(0.01f);
    EXPECT_NEAR(X(selector), 600.0f, 0.01f);
    EXPECT_TRUE(menu->IsOpen());
    EXPECT_EQ(ann->GetPath(nHudDiver::HandPath), hand);
    // A click in the bar's band places the selector on a slot without taking it.
    MouseTo(471, 540);
    Frame(0.0f);
    EXPECT_FALSE(menu->MouseDown());
    EXPECT_NEAR(X(selector), 407.9f, 0.01f);
}

TEST_F(UwMenuTest, HeldAtTheRightEndTheListScrollsAtOnceThenAfterTheTimerRanDown) {
    menu->OpenInventory();
    Frame(0.3f);
    MouseTo(420, 540);
    Frame(0.0f);
    ASSERT_FALSE(menu->MouseDown());
    // A slot type that is no name is not pasted into a statement.
    selection->SetValue("slot4_typ", "a) os.exit(");
    MouseTo(421, 540);
    Frame(0.0f);
    EXPECT_TRUE(LogHas("'a) os.exit(' is no name for a help text"));
    MouseTo(640, 540);
    Frame(0.0f);
    EXPECT_NEAR(X(selector), 605.0f, 0.01f);
    EXPECT_EQ(Value("selection", "move_command"), "left");
    selection->SetValue("move_command", "seen");
    Frame(0.25f);
    EXPECT_EQ(Value("selection", "move_command"), "seen");
    Frame(0.25f);
    EXPECT_EQ(Value("selection", "move_command"), "seen");
    Frame(0.01f);
    EXPECT_EQ(Value("selection", "move_command"), "left");
    // MouseUp sets the timer back: the next grab at the end scrolls at once.
    selection->SetValue("move_command", "seen");
    menu->MouseUp();
    MouseTo(620, 540);
    Frame(0.0f);
    ASSERT_FALSE(menu->MouseDown());
    Frame(0.0f);
    EXPECT_EQ(Value("selection", "move_command"), "left");
}

TEST_F(UwMenuTest, AClickOnAFigurePicksItsDiverUnlessTheActiveOneIsSingleplayer) {
    Frame(0.01f);
    MouseTo(120, 550);
    Frame(0.0f);
    EXPECT_FALSE(menu->MouseDown());
    Frame(0.01f);
    EXPECT_EQ(level->GetActiveDiver(), bob);
    // The first other diver's figure; x = 240 lies outside its range. Without keys of its
    // own (the basket's case) a click on it picks nothing.
    MouseTo(240, 550);
    Frame(0.0f);
    EXPECT_TRUE(menu->MouseDown());
    MouseTo(239, 550);
    Frame(0.0f);
    EXPECT_TRUE(menu->MouseDown());
    EXPECT_EQ(level->GetPendingDiver(), nullptr);
    Frame(0.01f);
    EXPECT_EQ(level->GetActiveDiver(), bob);
    kernel->New("nlogicinput", "/usr/logic/level/rob/input");
    bob->SetFlag(nHudDiver::Singleplayer, true);
    EXPECT_TRUE(menu->MouseDown());
    bob->SetFlag(nHudDiver::Singleplayer, false);
    EXPECT_FALSE(menu->MouseDown());
    Frame(0.01f);
    EXPECT_EQ(level->GetActiveDiver(), rob);

    // The help texts: an area, its edge, and leaving clears the line once.
    MouseTo(90, 566);
    Frame(0.0f);
    EXPECT_EQ(Global("shown"), "Luft");
    MouseTo(90, 569);
    Frame(0.0f);
    EXPECT_EQ(Global("shown"), " ");
    ASSERT_TRUE(Run("shown = 'kept'"));
    MouseTo(90, 590);
    Frame(0.0f);
    EXPECT_EQ(Global("shown"), "kept");
}

// The help to switch divers shows over each human figure's picture, where the click that
// switches lies (edges inside), and nowhere else: not on the empty seabed left of the
// figures, not over the third figure's unused place or the robot's figure.
TEST_F(UwMenuTest, TheSwitchHelpStandsOverEachDiversFigure) {
    Frame(0.01f);
    const struct {
        int x, y;
        bool help;
    } points[] = {{76, 525, true}, {104, 562, true}, {125, 540, true}, {30, 560, false},
                  {5, 580, false}, {160, 540, false}, {215, 540, false}};
    for (const auto& p : points) {
        ASSERT_TRUE(Run("shown = ''"));
        MouseTo(p.x, p.y);
        Frame(0.0f);
        EXPECT_EQ(Global("shown") == "Wechsel", p.help) << p.x << " " << p.y;
    }
}

TEST_F(UwMenuTest, HeldItemBarsAndFigures) {
    hand->SetFloat(nbwItem::MaxHitpoints, 200.0f);
    hand->SetFloat(nbwItem::Hitpoints, 1.0f);
    hand->SetFloat(nbwItem::MaxEnergie, 0.0f);
    hand->SetFloat(nbwItem::Energie, 5.0f);
    ann->SetStat(nHudDiver::Lifepoints, 1.0f);
    ann->SetStat(nHudDiver::Energie, 0.555f);
    bob->SetStat(nHudDiver::Lifepoints, 0.2f);
    bob->SetFlag(nHudDiver::Follow, true);
    rob->SetStat(nHudDiver::Lifepoints, 0.1f);
    GameFrame(0.01f);
    EXPECT_EQ(Value("hitpoints", "value"), "1");
    EXPECT_EQ(Value("energy", "value"), "100");
    EXPECT_EQ(Value("inventory", "_root.item_typ"), "hand");
    hand->SetFloat(nbwItem::Hitpoints, 0.0f);
    hand->SetFloat(nbwItem::MaxEnergie, 10.0f);
    hand->SetFloat(nbwItem::Energie, 20.0f);
    GameFrame(0.01f);
    EXPECT_EQ(Value("hitpoints", "value"), "100");
    EXPECT_EQ(Value("energy", "value"), "100");

    EXPECT_EQ(Value("taucher1", "bild"), "ann_1");
    EXPECT_EQ(Value("taucher1", "sauerstoff"), "55");
    EXPECT_EQ(Value("taucher1", "gesundheit"), "100");
    EXPECT_EQ(Value("taucher2", "bild"), "bob_G_0");
    EXPECT_EQ(Value("geraet1", "bild"), "rob_2");
    EXPECT_EQ(Value("geraet1", "zustand"), "10");
    for (const char* off : {"taucher3", "geraet2", "geraet3", "geraet4"}) EXPECT_FALSE(Active(off)) << off;
    EXPECT_TRUE(Active("taucher2"));
    // A script switching one back on is overruled the next frame.
    Flash("geraet2")->SetActive(true);
    GameFrame(0.01f);
    EXPECT_FALSE(Active("geraet2"));

    // The movie asks for an update.
    Flash("taucher1")->SetValue("doUpdate", "1");
    GameFrame(0.01f);
    EXPECT_EQ(Value("taucher1", "doUpdate"), "0");
    EXPECT_GE(Flash("taucher1")->GetUpdateRequests(), 1);

    // HideAll switches everything off; the next frame shows it again.
    menu->HideAll();
    EXPECT_FALSE(Active("taucher1"));
    EXPECT_FALSE(Active("statusbar"));
    EXPECT_EQ(Flash("taucher1")->GetModule(), nullptr);
    GameFrame(0.01f);
    EXPECT_TRUE(Active("taucher1"));
    EXPECT_TRUE(Active("statusbar"));
}

TEST_F(UwMenuTest, AHelpTextThatDeletesTheDisplayEndsItsFrame) {
    Frame(0.01f);
    ASSERT_TRUE(Run("function settext(t) delete('/usr/logic/uwmenu') end"));
    MouseTo(90, 566);
    Frame(0.01f);
    EXPECT_EQ(Lookup("/usr/logic/uwmenu"), nullptr);
    Frame(0.01f);
}

// Every bound of the mouse exactly on its edge: the selector's rectangle (inside), the
// slot band's y and x ranges, the dragging and let-go bands, and the figures' columns.
TEST_F(UwMenuTest, MouseBoundsOnTheirEdges) {
    ASSERT_TRUE(Run("FB_hand = 'Hand' FB_knife = 'Messer'"));
    auto clickAt = [this](int x, int y) {
        MouseTo(x, y);
        // A frame of no time: a let-go selector does not move.
        Frame(0.0f);
        return menu->MouseDown();
    };
    // The figures: humans 75 < x <= 105, others 190 < x < 240, both 524 < y < 576 (rob
    // given keys, so that a click may pick it).
    kernel->New("nlogicinput", "/usr/logic/level/rob/input");
    EXPECT_TRUE(clickAt(75, 550));
    EXPECT_TRUE(clickAt(105, 524));
    EXPECT_TRUE(clickAt(105, 576));
    EXPECT_TRUE(clickAt(190, 550));
    EXPECT_EQ(level->GetPendingDiver(), nullptr);
    EXPECT_FALSE(clickAt(191, 575));
    EXPECT_EQ(level->GetPendingDiver(), rob);
    EXPECT_FALSE(clickAt(105, 525));
    EXPECT_EQ(level->GetPendingDiver(), ann);
    Frame(0.01f);

    menu->OpenInventory();
    Frame(0.3f);
    Frame(0.0f);
    ASSERT_EQ(menu->GetOpenness(), 1.0f);
    // The selector (408, 521, 40 x 66) is grabbed on its edges and not beside them.
    EXPECT_FALSE(clickAt(408, 521));
    EXPECT_TRUE(menu->IsDragging());
    menu->MouseUp();
    EXPECT_FALSE(clickAt(448, 584));
    EXPECT_TRUE(menu->IsDragging());
    menu->MouseUp();
    EXPECT_TRUE(clickAt(448, 588));
    EXPECT_FALSE(menu->IsDragging());

    // The slot band: 521 < y < 585; each slot's x range takes its upper edge.
    EXPECT_TRUE(clickAt(500, 521));
    EXPECT_TRUE(clickAt(500, 585));
    EXPECT_NEAR(X(selector), 408.0f, 1e-4f);
    const struct {
        int x;
        float to;
    } clicks[] = {{471, 407.9f}, {472, 470.9f}, {534, 470.9f}, {535, 534.9f}, {599, 534.9f},
                  {600, 599.9f}, {669, 599.9f}, {670, 599.9f}, {400, 599.9f}, {401, 407.9f}};
    for (const auto& c : clicks) {
        // A click in the band is the display's even where it hits no slot.
        EXPECT_FALSE(clickAt(c.x, 584)) << c.x;
        EXPECT_NEAR(X(selector), c.to, 1e-4f) << c.x;
    }

    // Dragging: the slot under the selector by x <= 440, <= 504, <= 567, above.
    selector->SetPosition(408.0f, 521.0f);
    ASSERT_FALSE(clickAt(420, 540));
    const struct {
        int mouse;
        float x;
        const char* shown;
    } drags[] = {{452, 440.0f, "Hand"}, {453, 441.0f, "Messer"}, {516, 504.0f, "Messer"},
                 {517, 505.0f, "Lampe"}, {579, 567.0f, "Lampe"}, {580, 568.0f, " "}};
    for (const auto& d : drags) {
        MouseTo(d.mouse, 540);
        Frame(0.0f);
        EXPECT_NEAR(X(selector), d.x, 1e-4f) << d.mouse;
        EXPECT_EQ(Value("statusbar", "text"), d.shown) << d.mouse;
    }
    // Let go exactly on slot 4's limit, the selector belongs to slot 3: it eases right
    // and takes the knife.
    MouseTo(452, 540);
    Frame(0.0f);
    ASSERT_NEAR(X(selector), 440.0f, 1e-4f);
    menu->MouseUp();
    Frame(0.01f);
    EXPECT_NEAR(X(selector), 450.0f, 1e-3f);
    Frame(0.1f);
    EXPECT_NEAR(X(selector), 471.0f, 1e-4f);
    EXPECT_EQ(ann->GetPath(nHudDiver::HandPath), Lookup("/usr/logic/level/ann/inventory/knife"));
    EXPECT_FALSE(menu->IsOpen());
}

// The item a loose inventory-bar movie names is looked up only among the diver's own
// inventory: a path out of it (to a prototype, another store) leaves the hand as it was,
// logged.
TEST_F(UwMenuTest, TheBarsSlotNamesOnlyAnItemOfTheDiversOwnInventory) {
    ASSERT_NE(kernel->New("nbwitem", "/usr/prototypes/lamp"), nullptr);
    const char* const names[] = {"../../../../prototypes/lamp", "/usr/prototypes/lamp", "lamp/..", "..", "."};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        log.text.clear();
        ann->SetPath(nHudDiver::HandPath, "inventory/hand");
        menu->OpenInventory();
        Frame(0.3f);
        Frame(0.01f);
        ASSERT_EQ(Value("selection", "slot2_typ"), "lamp");
        MouseTo(420, 540);
        Frame(0.0f);
        menu->MouseDown();
        MouseTo(540, 540);
        Frame(0.0f);
        selection->SetValue("slot2_name", name);
        menu->MouseUp();
        Frame(0.01f);
        EXPECT_EQ(ann->GetPath(nHudDiver::HandPath), hand);
        EXPECT_TRUE(LogHas("names no item of the diver's inventory"));
        if (menu->IsOpen()) menu->CloseInventory();
        Frame(0.3f);
    }
}

}  // namespace
