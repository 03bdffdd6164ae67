// The lift basket: items used on it go into its inventory, the bare hand opens its
// screen, the selector slides to a slot and takes that item back out, scrolling, the
// frame locks and the focus, and refusals of what scripts and data set up badly.
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "game/nbwContainer.h"
#include "game/nbwElevator.h"
#include "game/nbwLevel.h"
#include "input/nInputServer.h"
#include "kernel/nPersistServer.h"
#include "logic/nLogicFlash.h"
#include "logic/nLogicInput.h"
#include "logic/nLogicSprite.h"
#include "tests/game/ItemUseFixture.h"
#include "tests/input/PostMouse.h"
#include "tests/logic/CommandTable.h"

namespace {

const CommandTable kBasketCmds = {
    {"v_move_sf", "EMOV"},         {"v_mousemove_v", "KMMM"},     {"v_mousedown_v", "KMMD"},
    {"v_mouseup_v", "KMMU"},       {"v_openinventory_v", "KMOI"}, {"v_closeinventory_v", "KMCI"},
    {"b_isopen_v", "KMIO"},        {"s_getitem_v", "KMGI"},
};

const char* kBasket = "/usr/logic/level/basket";

class ElevatorTest : public ItemUseFixture {
protected:
    void SetUp() override {
        ItemUseFixture::SetUp();
        UseRealCameraServer();
        input = static_cast<nInputServer*>(Lookup("/sys/servers/input"));
        kernel->New("nlogicinputserver", "/sys/servers/logicinput");
        // Our start-up script brings the global format.
        const char* src = std::getenv("BW_SOURCE_DIR");
        std::ifstream in(std::string(src ? src : ".") + "/data/bin/win32/init_scriptserver.bs");
        std::stringstream text;
        text << in.rdbuf();
        ASSERT_TRUE(Run(text.str()));
        ASSERT_TRUE(Run(R"lua(
            FB_BASKETITEMISERT = 'in:%s' FB_BASKETITEMREMOVED = 'out:%s' FB_OVERLOADED = 'full:%s'
            FB_knife = 'Messer' FB_lamp = 'Lampe' FB_basket = 'Korb'
            shown = ''
            function displaymessage(text, time, kind) shown = shown .. text .. '|' .. time .. '|' .. kind .. ';' end
        )lua"));

        diver = static_cast<nTestDiver*>(Stored("ntestdiver", "/usr/logic/level/d", "/usr/persist/level/d"));
        diverInv = Container("/usr/logic/level/d/inventory", "/usr/persist/level/d/inventory", 100.0f);
        hand = Thing("/usr/logic/level/d/inventory/hand", "/usr/persist/level/d/inventory/hand", "hand", 0.0f);
        diver->SetPath(nTestDiver::Inventory, "/usr/logic/level/d/inventory");
        diver->SetPath(nTestDiver::DiverHand, "/usr/logic/level/d/inventory/hand");
        diverInput = static_cast<nLogicInput*>(kernel->New("nlogicinput", "/usr/logic/level/d/input"));
        diverInput->SetGroup("game");
        diverInput->SetFocus(true);

        basket = static_cast<nbwElevator*>(Stored("nbwelevator", kBasket, "/usr/persist/level/basket"));
        basketInv = Container("/usr/logic/level/basket/inventory", "/usr/persist/level/basket/inventory", 10.0f);
        basket->SetPath(nbwDiver::Inventory, "/usr/logic/level/basket/inventory");
        kernel->New("nlogicnode", "/usr/logic/level/basket/static");
        for (int i = 1; i <= 4; i++) {
            kernel->New("nlogicsprite", ("/usr/logic/level/basket/static/slot" + std::to_string(i)).c_str());
        }
        selection = static_cast<nLogicFlash*>(kernel->New("nlogicflash", "/usr/logic/level/basket/selection"));
        selection->SetTexture("home:flash/inventorybar.movie");
        selection->SetPosition(100.0f, 500.0f);
        selection->SetDimension(250.0f, 64.0f);
        selector = static_cast<nLogicSprite*>(kernel->New("nlogicsprite", "/usr/logic/level/basket/selector"));
        selector->SetDimension(40.0f, 66.0f);
        selector->SetPosition(108.0f, 499.0f);
        menu = static_cast<nLogicInput*>(kernel->New("nlogicinput", "/usr/logic/level/basket/menuinput"));
        menu->SetGroup("game");
    }

    nbwContainer* Container(const std::string& path, const std::string& store, float capacity) {
        auto* c = static_cast<nbwContainer*>(Stored("nbwcontainer", path, store));
        c->SetFloat(nbwContainer::MaxCapacity, capacity);
        c->SetFloat(nbwItem::Volume, 100.0f);
        return c;
    }
    nbwItem* Thing(const std::string& path, const std::string& store, const char* type, float weight) {
        auto* item = static_cast<nbwItem*>(Stored("nbwitem", path, store));
        item->SetString(nbwItem::Type, type);
        item->SetFloat(nbwItem::Weight, weight);
        item->SetFloat(nbwItem::Volume, 1.0f);
        return item;
    }
    // An item in the diver's inventory, put in its hand.
    nbwItem* Held(const char* name, const char* type, float weight) {
        const std::string path = std::string("/usr/logic/level/d/inventory/") + name;
        nbwItem* item = Thing(path, std::string("/usr/persist/level/d/inventory/") + name, type, weight);
        diver->SetPath(nTestDiver::DiverHand, path.c_str());
        return item;
    }
    // An item already in the basket.
    nbwItem* Loaded(const char* name, const char* type, float weight) {
        return Thing(std::string(kBasket) + "/inventory/" + name,
                     std::string("/usr/persist/level/basket/inventory/") + name, type, weight);
    }
    void MouseTo(int x, int y) { PostMouse(input, N_INPUT_MOUSE_MOVE, x, y); }
    // One game frame with the input read.
    void Frame(float dt = 0.01f) {
        inputTime += dt;
        input->Trigger(inputTime);
        GameFrame(dt);
        input->FlushEvents();
    }
    // Opens the screen with the hand and waits out the lock.
    void OpenScreen() {
        diver->SetPath(nTestDiver::DiverHand, "/usr/logic/level/d/inventory/hand");
        basket->Use(hand);
        ASSERT_TRUE(basket->IsOpen());
        for (int i = 0; i < 5; i++) Frame();
    }
    float SelectorX() {
        float x, y;
        selector->GetPosition(x, y);
        return x;
    }
    std::string Children(nRoot* o) {
        std::string out;
        for (nRoot* c = o->GetHead(); c; c = c->GetSucc()) out += std::string(c->GetName()) + " ";
        return out;
    }

    nInputServer* input = nullptr;
    double inputTime = 0.0;
    nTestDiver* diver = nullptr;
    nbwContainer* diverInv = nullptr;
    nbwItem* hand = nullptr;
    nLogicInput* diverInput = nullptr;
    nbwElevator* basket = nullptr;
    nbwContainer* basketInv = nullptr;
    nLogicFlash* selection = nullptr;
    nLogicSprite* selector = nullptr;
    nLogicInput* menu = nullptr;
};

TEST_F(ElevatorTest, CommandsDoNothingWhereTheyShouldAndTheBasketSavesAndLoads) {
    EXPECT_EQ(OwnCommands(kernel, "nbwelevator", kBasketCmds), kBasketCmds);
    ASSERT_TRUE(Run("sel('/usr/logic/level/basket') move('up', 3.0) __item = getitem()"));
    EXPECT_EQ(Global("__item"), "");
    // The screen does not open without a diver to serve.
    ASSERT_TRUE(Run("sel('/usr/logic/level/basket') openinventory()"));
    EXPECT_FALSE(basket->IsOpen());
    EXPECT_TRUE(LogHas("opens only for a diver"));

    ASSERT_TRUE(Run("sel('/usr/logic/level/basket') setstat('speed', 2.5)"));
    nString text;
    ASSERT_TRUE(kernel->GetPersistServer()->CaptureCmds(basket, text)) << "the basket must save";
    const std::string lines = text.Get();
    EXPECT_NE(lines.find("setstat( \"speed\", 2.5"), std::string::npos) << lines;
    // Its lines run on a fresh basket give the same lines.
    ASSERT_TRUE(Run("new('nbwelevator', '/usr/logic/copy') sel('/usr/logic/copy') " + lines));
    nString again;
    ASSERT_TRUE(kernel->GetPersistServer()->CaptureCmds(Lookup("/usr/logic/copy"), again));
    EXPECT_EQ(std::string(again.Get()), lines);
}

TEST_F(ElevatorTest, ItemsGoIntoTheBasketWhenTheyFitAndTheHandOpensTheScreen) {
    nbwItem* knife = Held("k1", "knife", 4.0f);
    basket->Use(knife);
    EXPECT_EQ(knife->GetParent(), basketInv);
    EXPECT_NE(Lookup("/usr/persist/level/basket/inventory/k1"), nullptr);
    EXPECT_EQ(diver->GetPath(nTestDiver::DiverHand), hand);
    EXPECT_EQ(Global("shown"), "in:Messer|2.0|2;");

    // Too heavy for what is left: nothing moves, the basket's name is shown.
    nbwItem* lamp = Held("l1", "lamp", 7.0f);
    ASSERT_TRUE(Run("shown = ''"));
    basket->Use(lamp);
    EXPECT_EQ(lamp->GetParent(), diverInv);
    EXPECT_EQ(Global("shown"), "full:Korb|2.0|2;");

    // A type that is no name runs no statement.
    nbwItem* odd = Held("o1", "x) os.exit(", 0.5f);
    ASSERT_TRUE(Run("shown = ''"));
    basket->Use(odd);
    EXPECT_EQ(Global("shown"), "");
    EXPECT_TRUE(LogHas("is no name for a message"));

    // The bare hand opens the screen for the diver: focus, visibility, the lists.
    Loaded("n2", "lamp", 1.0f);
    basket->Use(hand);
    EXPECT_TRUE(basket->IsOpen());
    EXPECT_EQ(basket->GetUser(), diver);
    EXPECT_FALSE(diverInput->GetFocus());
    EXPECT_TRUE(menu->GetFocus());
    Frame();
    EXPECT_EQ(basket->GetNumSlots(), 4);
    EXPECT_TRUE(selector->GetActive());
    EXPECT_TRUE(selection->GetActive());
    EXPECT_TRUE(static_cast<nLogicNode*>(Lookup("/usr/logic/level/basket/static/slot3"))->GetActive());
    EXPECT_STREQ(selection->GetValue("invtyp_list_string"), "knife,x) os.exit(,lamp");
    EXPECT_STREQ(selection->GetValue("invname_list_string"), "k1,o1,n2");
    EXPECT_STREQ(selection->GetValue("slot4_name"), "k1");
}

TEST_F(ElevatorTest, ReleasedSelectorSlidesToItsZoneAndTakesThatSlot) {
    Loaded("a", "knife", 1.0f);
    Loaded("b", "lamp", 1.0f);
    OpenScreen();
    ASSERT_LT(basket->GetCountdown(), 1);
    // Released at S.x + 60 (zone 1, rest 71): 11 px at 1000 px/s.
    selector->SetPosition(160.0f, 499.0f);
    Frame(0.005f);
    EXPECT_FLOAT_EQ(SelectorX(), 165.0f);
    EXPECT_TRUE(basket->IsOpen());
    Frame(0.01f);
    EXPECT_FLOAT_EQ(SelectorX(), 171.0f);
    // Slot 3 holds the second entry, which moves to the diver.
    EXPECT_EQ(Lookup("/usr/logic/level/d/inventory/b")->GetParent(), diverInv);
    EXPECT_EQ(Global("shown"), "out:Lampe|2.0|2;");
    EXPECT_FALSE(basket->IsOpen());
    EXPECT_TRUE(diverInput->GetFocus());
    EXPECT_FALSE(menu->GetFocus());
    EXPECT_EQ(basket->GetUser(), nullptr);

    // An empty slot closes the screen with nothing moved.
    for (int i = 0; i < 3; i++) Frame();
    OpenScreen();
    ASSERT_TRUE(Run("shown = ''"));
    selector->SetPosition(270.0f, 499.0f);  // zone 2, rest 235: slot 2 is empty
    Frame(0.1f);
    EXPECT_FALSE(basket->IsOpen());
    EXPECT_EQ(Global("shown"), "");
    EXPECT_EQ(Children(basketInv), "a ");
}

TEST_F(ElevatorTest, AFullDiverGetsTheOverloadedMessageWithItsNameQuoted) {
    Loaded("a", "knife", 200.0f);
    basketInv->SetFloat(nbwContainer::MaxCapacity, 1000.0f);
    OpenScreen();
    selector->SetPosition(101.0f, 499.0f);  // zone 0: slot 4, the first entry
    Frame(0.1f);
    EXPECT_EQ(Children(basketInv), "a ");
    EXPECT_EQ(Global("shown"), "full:d|2.0|2;");
    EXPECT_FALSE(basket->IsOpen());

    // A user name is pasted as a quoted text, never as code.
    auto* odd = static_cast<nTestDiver*>(Stored("ntestdiver", "/usr/logic/level/o'x", "/usr/persist/level/o'x"));
    Container("/usr/logic/level/o'x/inventory", "/usr/persist/level/o'x/inventory", 1.0f);
    nbwItem* oddHand =
        Thing("/usr/logic/level/o'x/inventory/hand", "/usr/persist/level/o'x/inventory/hand", "hand", 0.0f);
    odd->SetPath(nTestDiver::Inventory, "/usr/logic/level/o'x/inventory");
    for (int i = 0; i < 3; i++) Frame();
    ASSERT_TRUE(Run("shown = ''"));
    basket->Use(oddHand);
    ASSERT_TRUE(basket->IsOpen());
    for (int i = 0; i < 5; i++) Frame();
    selector->SetPosition(101.0f, 499.0f);
    Frame(0.1f);
    EXPECT_EQ(Global("shown"), "full:o'x|2.0|2;");
}

TEST_F(ElevatorTest, ClicksNudgeTheSelectorOrCloseTheScreenAndTheLocksHold) {
    Loaded("a", "knife", 1.0f);
    Loaded("b", "lamp", 1.0f);
    basket->Use(hand);
    // Locked for four frames after opening: a click outside does nothing.
    MouseTo(700, 100);
    Frame();
    basket->MouseDown();
    EXPECT_TRUE(basket->IsOpen());
    for (int i = 0; i < 4; i++) Frame();
    ASSERT_LT(basket->GetCountdown(), 1);

    // A click on the selector resting on slot 3's rest x nudges it and it takes slot 3.
    selector->SetPosition(171.0f, 499.0f);
    Frame();
    MouseTo(180, 520);
    Frame();
    basket->MouseDown();
    EXPECT_TRUE(basket->IsDragging());
    basket->MouseUp();
    EXPECT_FALSE(basket->IsDragging());
    EXPECT_FLOAT_EQ(SelectorX(), 172.0f);
    Frame();
    EXPECT_FALSE(basket->IsOpen());
    EXPECT_EQ(Children(basketInv), "a ");

    // Locked for two frames after closing; then a click outside the selector closes.
    basket->Use(hand);
    EXPECT_FALSE(basket->IsOpen());
    Frame();
    Frame();
    basket->Use(hand);
    EXPECT_TRUE(basket->IsOpen());
    for (int i = 0; i < 5; i++) Frame();
    MouseTo(700, 100);
    Frame();
    basket->MouseDown();
    EXPECT_FALSE(basket->IsOpen());
    EXPECT_TRUE(diverInput->GetFocus());
}

TEST_F(ElevatorTest, HeldAtAnEndTheSelectorScrollsTheListEveryRepeat) {
    for (const char* n : {"a", "b", "c", "d", "e", "f"}) Loaded(n, "knife", 1.0f);
    OpenScreen();
    EXPECT_STREQ(selection->GetValue("slot4_name"), "a");
    MouseTo(120, 520);
    Frame();
    basket->MouseDown();
    ASSERT_TRUE(basket->IsDragging());
    // Dragged right past the end: the first frame asks at once.
    MouseTo(400, 520);
    Frame(0.1f);
    basket->MouseMove();
    Frame(0.1f);
    EXPECT_FLOAT_EQ(SelectorX(), 305.0f);
    EXPECT_STREQ(selection->GetValue("move_command"), "left");
    // The movie handles it at its next frame; the node's frames run while shown.
    selection->SetValue("move_command", "");
    int asked = 0;
    for (int i = 0; i < 8; i++) {
        Frame(0.1f);
        const char* c = selection->GetValue("move_command");
        if (c && std::string(c) == "left") {
            asked++;
            selection->SetValue("move_command", "");
        }
    }
    // Every 0.4 s: ticks of 0.1 s ask on every fifth frame.
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(basket->IsOpen());
}

TEST_F(ElevatorTest, ADeadUserClosesTheScreenAndTheLevelsDiverGetsTheFocus) {
    OpenScreen();
    diver->Release();
    diver = nullptr;
    Frame();
    EXPECT_FALSE(basket->IsOpen());
    EXPECT_FALSE(menu->GetFocus());

    // In a game level the focus goes to the level's current diver.
    ASSERT_TRUE(Run("new('nbwlevel', '/usr/logic/lv') new('nbwelevator', '/usr/logic/lv/b') "
                    "new('nlogicinput', '/usr/logic/lv/b/menuinput') new('ntestdiver', '/usr/logic/lv/d2') "
                    "new('ntestdiver', '/usr/logic/lv/d3') new('nlogicinput', '/usr/logic/lv/d2/input') "
                    "new('nbwcontainer', '/usr/logic/lv/d3/inventory') "
                    "new('nbwitem', '/usr/logic/lv/d3/inventory/hand') "
                    "sel('/usr/logic/lv/d3/inventory/hand') setstring('type', 'hand') "
                    "sel('/usr/logic/lv') setactivediver('/usr/logic/lv/d2')"));
    auto* other = static_cast<nbwElevator*>(Lookup("/usr/logic/lv/b"));
    other->SetPath(nbwDiver::Inventory, "/usr/logic/level/basket/inventory");
    other->Use(Lookup("/usr/logic/lv/d3/inventory/hand"));
    ASSERT_TRUE(other->IsOpen());
    for (int i = 0; i < 5; i++) Frame();
    Lookup("/usr/logic/lv/d3")->Release();
    Frame();
    EXPECT_FALSE(other->IsOpen());
    EXPECT_TRUE(static_cast<nLogicInput*>(Lookup("/usr/logic/lv/d2/input"))->GetFocus());
    // Closing unloads the movie; opening loads it afresh.
    EXPECT_EQ(selection->GetModule(), nullptr);
    EXPECT_FALSE(selection->GetActive());
}

TEST_F(ElevatorTest, TheScreenShowsTheGermanNamesItWasGivenAtEveryOpening) {
    Loaded("k1", "knife", 1.0f);
    selection->SetValue("typnamen", "knife=Messer;lamp=Lampe");
    auto names = [this] {
        const char* n = selection->GetValue("typnamen");
        return std::string(n ? n : "<null>");
    };
    for (int round = 0; round < 3; round++) {
        OpenScreen();
        EXPECT_EQ(names(), "knife=Messer;lamp=Lampe") << "opening " << round;
        basket->CloseInventory();
        for (int i = 0; i < 3; i++) Frame();
        ASSERT_EQ(selection->GetModule(), nullptr);
    }
    // Names handed in while the screen is shut (a level starting) win over the kept ones.
    selection->SetValue("typnamen", "knife=Klinge");
    OpenScreen();
    EXPECT_EQ(names(), "knife=Klinge");
}

TEST_F(ElevatorTest, MissingScreenNodesAreLoggedOnceAndTheStepsSkipped) {
    Lookup("/usr/logic/level/basket/selector")->Release();
    Lookup("/usr/logic/level/basket/menuinput")->Release();
    basket->Use(hand);
    EXPECT_TRUE(basket->IsOpen());
    for (int i = 0; i < 6; i++) Frame();
    basket->MouseDown();
    basket->MouseUp();
    basket->MouseMove();
    Frame();
    size_t count = 0;
    for (size_t at = log.text.find("no usable 'selector'"); at != std::string::npos;
         at = log.text.find("no usable 'selector'", at + 1)) {
        count++;
    }
    EXPECT_EQ(count, 1u);
    EXPECT_TRUE(LogHas("no usable 'menuinput'"));
    EXPECT_FALSE(diverInput->GetFocus());
}

}  // namespace
