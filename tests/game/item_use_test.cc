// Using items: picking up with the hand into the owner's inventory, lifting away with an
// air bag, scripts taking the use, the wear of the tool, the use progress and contact
// damage, with bad owners, tools and inventories refused without a change.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "game/nbwContainer.h"
#include "kernel/nRandom.h"
#include "logic/nLogicEventRecord.h"
#include "logic/nLogicEventServer.h"
#include "logic/nPersistLogic.h"
#include "script/nLuaServer2.h"
#include "tests/game/ItemUseFixture.h"

namespace {

const char* const kHand = "/usr/logic/diver/inventory/hand";

class ItemUseTest : public ItemUseFixture {
protected:
    void SetUp() override {
        ItemUseFixture::SetUp();
        diver = static_cast<nTestDiver*>(Stored("ntestdiver", "/usr/logic/diver", "/usr/persist/diver"));
        inventory = static_cast<nbwContainer*>(
            Stored("nbwcontainer", "/usr/logic/diver/inventory", "/usr/persist/diver/inventory"));
        inventory->SetFloat(nbwItem::Volume, 10.0f);
        inventory->SetFloat(nbwContainer::MaxCapacity, 10.0f);
        hand = static_cast<nbwItem*>(Stored("nbwitem", kHand, "/usr/persist/diver/inventory/hand"));
        hand->SetFloat(nbwItem::Alteration, 0.25f);
        hand->SetFloat(nbwItem::EnergieLose, 0.1f);
        diver->SetPath(nTestDiver::Inventory, "/usr/logic/diver/inventory");
        shell = Level("nbwitem", "shell");
        shell->SetFloat(nbwItem::Volume, 1.0f);
        shell->SetFloat(nbwItem::Weight, 1.0f);
        shell->SetString(nbwItem::Owner, "/usr/logic/diver");
    }
    // An object of `cls` in the level with its store in the level's store.
    nbwItem* Level(const char* cls, const std::string& name) {
        return static_cast<nbwItem*>(Stored(cls, "/usr/logic/level/" + name, "/usr/persist/level/" + name));
    }
    bool Worn(nbwItem* tool) { return tool->GetFloat(nbwItem::Energie) != 1.0f; }
    nLogicEventRecord* Record() {
        return static_cast<nLogicEventServer*>(Lookup("/sys/servers/event"))->FindOrCreateEvent("logicgraph");
    }

    nTestDiver* diver = nullptr;
    nbwContainer* inventory = nullptr;
    nbwItem* hand = nullptr;
    nbwItem* shell = nullptr;
};

TEST_F(ItemUseTest, TheHandPacksTheItemIntoItsOwnersInventory) {
    // Nobody's item, an owner naming nothing and an owner that is no actor: no use, and
    // the hand is not worn.
    for (const char* owner : {"none", "/usr/logic/nobody", "/usr/logic/level"}) {
        shell->SetString(nbwItem::Owner, owner);
        EXPECT_FALSE(shell->UseByPath(kHand)) << owner;
        EXPECT_EQ(shell->GetParent(), Lookup("/usr/logic/level")) << owner;
        EXPECT_FALSE(Worn(hand)) << owner;
    }
    EXPECT_TRUE(LogHas("/usr/logic/level/shell: use: the owner '/usr/logic/level' is no actor")) << log.text;

    shell->SetString(nbwItem::Owner, "/usr/logic/diver");
    ASSERT_TRUE(Run("packed = 0 sel('/usr/logic/level/shell') seteventscript('onpackin', 'packed = packed + 1')"));
    EXPECT_EQ(Eval("obj('/usr/logic/level/shell').use('/usr/logic/diver/inventory/hand')"), "nil");
    EXPECT_EQ(shell->GetParent(), inventory);
    EXPECT_EQ(Lookup("/usr/persist/level/shell"), nullptr);
    EXPECT_NE(Lookup("/usr/persist/diver/inventory/shell"), nullptr);
    EXPECT_STREQ(shell->GetString(nbwItem::Owner), "none");
    EXPECT_FLOAT_EQ(inventory->GetFloat(nbwContainer::UsedWeight), 1.0f);
    // Worn first: full condition is never below the draw, so it falls by 1 x 0.25.
    EXPECT_FLOAT_EQ(hand->GetFloat(nbwItem::Hitpoints), 0.75f);
    EXPECT_FLOAT_EQ(hand->GetFloat(nbwItem::Energie), 0.9f);
    GameFrame(0.1f);
    EXPECT_EQ(Eval("packed"), "1");
    // Now nobody's: a second use does nothing.
    EXPECT_FALSE(shell->UseByPath(kHand));
    EXPECT_FLOAT_EQ(hand->GetFloat(nbwItem::Energie), 0.9f);
}

TEST_F(ItemUseTest, AnInventoryThatRefusesOrIsMissingChangesNothing) {
    // Too small: logged with the item's path, and the item stays its owner's in the level.
    inventory->SetFloat(nbwItem::Volume, 0.5f);
    EXPECT_FALSE(shell->UseByPath(kHand));
    EXPECT_TRUE(LogHas("Can't packin object /usr/logic/level/shell")) << log.text;
    EXPECT_EQ(shell->GetParent(), Lookup("/usr/logic/level"));
    EXPECT_NE(Lookup("/usr/persist/level/shell"), nullptr);
    EXPECT_STREQ(shell->GetString(nbwItem::Owner), "/usr/logic/diver");
    EXPECT_FLOAT_EQ(inventory->GetFloat(nbwContainer::UsedVolume), 0.0f);

    // An "inventory" path naming nothing or no container, and an actor without such a
    // path: no pick-up.
    inventory->SetFloat(nbwItem::Volume, 10.0f);
    for (const char* path : {"none", "/usr/logic/level"}) {
        diver->SetPath(nTestDiver::Inventory, path);
        EXPECT_FALSE(shell->UseByPath(kHand)) << path;
        EXPECT_EQ(shell->GetParent(), Lookup("/usr/logic/level")) << path;
    }
    EXPECT_TRUE(LogHas("use: the owner '/usr/logic/diver' has no inventory container")) << log.text;
    NewActor("/usr/logic/plain");
    shell->SetString(nbwItem::Owner, "/usr/logic/plain");
    EXPECT_FALSE(shell->UseByPath(kHand));
    EXPECT_EQ(shell->GetParent(), Lookup("/usr/logic/level"));
}

TEST_F(ItemUseTest, AScriptTakesTheUseAndOtherToolsAnswerTrue) {
    nbwItem* knife = Level("nbwitem", "knife");
    knife->SetFloat(nbwItem::EnergieLose, 0.5f);
    // Any other tool: true, worn. A path naming nothing or no item wears nothing.
    EXPECT_EQ(Eval("obj('/usr/logic/level/shell').use('/usr/logic/level/knife')"), "1");
    EXPECT_FLOAT_EQ(knife->GetFloat(nbwItem::Energie), 0.5f);
    EXPECT_TRUE(shell->UseByPath("/usr/logic/level/nothing"));
    EXPECT_TRUE(shell->UseByPath("/usr/persist/level"));
    EXPECT_TRUE(shell->UseByPath(""));

    // A bound "onuse" takes every use, the hand's too: queued, false, nothing moved, the
    // tool worn all the same.
    ASSERT_TRUE(Run("used = 0 sel('/usr/logic/level/shell') seteventscript('onuse', 'used = used + 1')"));
    EXPECT_FALSE(shell->UseByPath("/usr/logic/level/knife"));
    EXPECT_FALSE(shell->UseByPath(kHand));
    EXPECT_FLOAT_EQ(knife->GetFloat(nbwItem::Energie), 0.0f);
    EXPECT_TRUE(Worn(hand));
    EXPECT_EQ(shell->GetParent(), Lookup("/usr/logic/level"));
    EXPECT_STREQ(shell->GetString(nbwItem::Owner), "/usr/logic/diver");
    GameFrame(0.1f);
    EXPECT_NE(Eval("used"), "0");
}

TEST_F(ItemUseTest, AnAirBagLiftsTheItemAwayWithItsStoreAndIsUsedUp) {
    nbwItem* bag = Level("nbwitem", "bag");
    bag->SetString(nbwItem::Type, "luftsack");
    bag->SetFloat(nbwItem::Weight, 2.0f);
    ASSERT_TRUE(inventory->PackIn(bag));
    ASSERT_FLOAT_EQ(inventory->GetFloat(nbwContainer::UsedWeight), 2.0f);
    // A name with both quotes and a backslash: the queued delete must still name it.
    const std::string name = "it's \"a\\chest\"";
    nbwItem* chest = Level("nbwitem", name);
    chest->SetString(nbwItem::Owner, "/usr/logic/diver");
    chest->SetFloat(nbwItem::Hitpoints, 0.5f);
    ASSERT_EQ(Lookup("/usr/persist/camp"), nullptr);

    // An air bag used on itself lifts nothing.
    bag->SetString(nbwItem::Owner, "/usr/logic/diver");
    EXPECT_FALSE(bag->UseByPath("/usr/logic/diver/inventory/bag"));
    EXPECT_TRUE(LogHas("/usr/logic/diver/inventory/bag: use: an air bag cannot lift itself")) << log.text;
    EXPECT_TRUE(bag->GetActive());
    EXPECT_EQ(Lookup("/usr/persist/camp"), nullptr);
    log.text.clear();

    EXPECT_FALSE(chest->UseByPath("/usr/logic/diver/inventory/bag"));
    EXPECT_FALSE(chest->GetActive());
    EXPECT_STREQ(chest->GetString(nbwItem::Owner), "none");
    // The store, with the item's values, now lies under the camp, made for it.
    nRoot* camp = Lookup("/usr/persist/camp");
    ASSERT_NE(camp, nullptr);
    EXPECT_STREQ(camp->GetClass()->GetName(), "nroot");
    auto* store = static_cast<nPersistLogic*>(camp->GetTail());
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(store->GetName(), name);
    ASSERT_NE(store->GetVar("owner"), nullptr);
    EXPECT_STREQ(store->GetVar("owner")->GetS(), "none");
    EXPECT_EQ(store->GetVar("active")->GetI(), 0);
    EXPECT_FLOAT_EQ(store->GetVar("hitpoints")->GetF(), 0.5f);
    // The air bag is used up: out of the totals, the diver's hand back at its own.
    EXPECT_FALSE(bag->GetActive());
    EXPECT_FLOAT_EQ(inventory->GetFloat(nbwContainer::UsedWeight), 0.0f);
    EXPECT_EQ(diver->GetPath(nTestDiver::DiverHand), hand);

    // The item goes with the queued delete; the store stays at the camp.
    server->Trigger();
    EXPECT_EQ(Lookup(("/usr/logic/level/" + name).c_str()), nullptr);
    EXPECT_EQ(camp->GetTail(), store);
    GameFrame(0.1f);
    EXPECT_EQ(Lookup("/usr/logic/diver/inventory/bag"), nullptr);
    EXPECT_FALSE(LogHas("rror")) << log.text;

    // An air bag outside any container lifts the item but is not used up; an existing
    // camp takes the store.
    nbwItem* loose = Level("nbwitem", "loose");
    loose->SetString(nbwItem::Type, "luftsack");
    nbwItem* crate = Level("nbwitem", "crate");
    crate->SetString(nbwItem::Owner, "/usr/logic/diver");
    EXPECT_FALSE(crate->UseByPath("/usr/logic/level/loose"));
    EXPECT_TRUE(LogHas("the air bag '/usr/logic/level/loose' lies in no container")) << log.text;
    EXPECT_EQ(Lookup("/usr/persist/camp"), camp);
    EXPECT_EQ(Lookup("/usr/persist/camp/crate"), camp->GetTail());
    server->Trigger();
    GameFrame(0.1f);
    EXPECT_EQ(Lookup("/usr/logic/level/crate"), nullptr);
    EXPECT_EQ(Lookup("/usr/logic/level/loose"), loose);
    EXPECT_TRUE(loose->GetActive());
}

TEST_F(ItemUseTest, WearFollowsTheDrawAndNeverAnnouncesDeath) {
    SetFrameTime(0.5f);
    // A seed whose first draw lies above 0.5.
    uint32_t seed = 1;
    float r = 0.0f;
    for (;; seed++) {
        nRandom::Seed(seed);
        r = float(nRandom::Next() % 1000) / 1000.0f;
        if (r > 0.5f) break;
    }
    hand->SetFloat(nbwItem::Hitpoints, 0.25f);
    nRandom::Seed(seed);
    hand->Wear();
    EXPECT_FLOAT_EQ(hand->GetFloat(nbwItem::Hitpoints), 0.25f - (r - 0.25f) * 0.5f * 0.005f);
    // Below the draw the condition is kept within 0 and 1.
    hand->SetFloat(nbwItem::Hitpoints, 0.0f);
    nRandom::Seed(seed);
    hand->Wear();
    EXPECT_FLOAT_EQ(hand->GetFloat(nbwItem::Hitpoints), 0.0f);

    // At or above the draw it falls by maxhitpoints x alteration, and stops at 0: a save
    // holds no condition below it.
    hand->SetFloat(nbwItem::MaxHitpoints, 2.0f);
    hand->SetFloat(nbwItem::Hitpoints, 1.5f);
    hand->Wear();
    EXPECT_FLOAT_EQ(hand->GetFloat(nbwItem::Hitpoints), 1.0f);
    ASSERT_TRUE(Run("sel('" + std::string(kHand) + "') seteventscript('ondeath', 'dead = 1')"));
    hand->SetFloat(nbwItem::Alteration, 1.0f);
    hand->Wear();
    EXPECT_FLOAT_EQ(hand->GetFloat(nbwItem::Hitpoints), 0.0f);
    EXPECT_EQ(Record()->GetNumQueued(), 0);
    EXPECT_FLOAT_EQ(hand->GetFloat(nbwItem::Energie), 0.6f);
}

TEST_F(ItemUseTest, UseProgressClimbsOverTheUseTimeAndFallsBack) {
    ASSERT_TRUE(Run("sel('/usr/logic/level/shell') usefor(1.0)"));
    const float climb[] = {0.25f, 0.5f, 0.75f, 1.0f, 0.75f, 0.5f, 0.25f, 0.0f, 0.0f};
    const float left[] = {0.75f, 0.5f, 0.25f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    for (int i = 0; i < 9; i++) {
        GameFrame(0.25f);
        EXPECT_FLOAT_EQ(shell->GetFloat(nbwItem::UseItem), climb[i]) << i;
        EXPECT_FLOAT_EQ(shell->GetFloat(nbwItem::UseTime), left[i]) << i;
    }
    // Without energy, or without condition, it falls at once and the time stays.
    for (int var : {int(nbwItem::Energie), int(nbwItem::Hitpoints)}) {
        shell->SetFloat(nbwItem::Energie, 1.0f);
        shell->SetFloat(nbwItem::Hitpoints, 1.0f);
        shell->SetFloat(var, 0.0f);
        shell->SetFloat(nbwItem::UseItem, 0.5f);
        shell->UseFor(1.0f);
        GameFrame(0.25f);
        EXPECT_FLOAT_EQ(shell->GetFloat(nbwItem::UseItem), 0.25f) << var;
        EXPECT_FLOAT_EQ(shell->GetFloat(nbwItem::UseTime), 1.0f) << var;
    }
}

TEST_F(ItemUseTest, AContactCostsTheLastFramesMotionTimesTheDamageOnce) {
    ASSERT_TRUE(Run("new('nlogiccollision2', '/usr/logic/floor') sel('/usr/logic/floor') txyz(0, -0.5, 0)"
                    " new('nmodexactcollision', 's') sel('s') setcollclass('solid') setbox(10, 1, 10)"
                    " sel('..') addcollision('physik', 's') setcollcontext('physik', 'physik')"));
    ASSERT_TRUE(Run("deaths = 0 sel('/usr/logic/level/shell') txyz(0, 0.9, 0)"
                    " seteventscript('ondeath', 'deaths = deaths + 1')"
                    " new('nmodexactcollision', 's') sel('s') setcollclass('solid') setsphere(0.5) setdynamic(true)"
                    " sel('..') addcollision('physik', 's')"));
    shell->SetFloat(nbwItem::CollDamage, 2.0f);
    // The first frame has no motion yet. Then the shell sinks by 0.25 a frame: above the
    // floor it costs nothing, each frame touching it costs 0.5 down to 0, announced once.
    GameFrame(0.1f);
    EXPECT_FLOAT_EQ(shell->GetFloat(nbwItem::Hitpoints), 1.0f);
    const float heights[] = {0.65f, 0.4f, 0.15f, -0.1f};
    const float expected[] = {1.0f, 0.5f, 0.0f, 0.0f};
    for (int i = 0; i < 4; i++) {
        shell->SetPosition(vector3(0.0f, heights[i], 0.0f));
        GameFrame(0.1f);
        EXPECT_NEAR(shell->GetVelocity().y, 0.25f, 1e-6f) << i;
        EXPECT_NEAR(shell->GetFloat(nbwItem::Hitpoints), expected[i], 1e-6f) << i;
    }
    GameFrame(0.1f);
    EXPECT_EQ(Eval("deaths"), "1");
}

}  // namespace
