// Containers: the three extra variables and the weight with contents, what fits, items
// and their stores moved in, out and between containers (nested ones carrying weight to
// every enclosing container), items used up, totals kept through clones and loads, and
// bad paths, objects and stores refused without a change.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "game/nbwContainer.h"
#include "logic/nPersistLogic.h"
#include "tests/game/GameTestKernel.h"

namespace {

class ContainerTest : public GameTestKernel {
protected:
    void SetUp() override {
        GameTestKernel::SetUp();
        // The level and its store, as a level builds them.
        ASSERT_TRUE(Run("new('npersistlogic', '/usr/persist/level') new('nlogicnode', '/usr/logic/level')"
                        " sel('/usr/logic/level') setpersist('/usr/persist/level')"));
    }

    // An object of `cls` at "/usr/logic/level/<name>" linked to its own store
    // "/usr/persist/level/<name>".
    nbwItem* Make(const char* cls, const std::string& name, float volume, float weight) {
        const std::string store = "/usr/persist/level/" + name, path = "/usr/logic/level/" + name;
        EXPECT_TRUE(Run("new('npersistlogic', '" + store + "') new('" + cls + "', '" + path + "') sel('" + path +
                        "') setpersist('" + store + "')"));
        auto* item = static_cast<nbwItem*>(Lookup(path.c_str()));
        item->SetFloat(nbwItem::Volume, volume);
        item->SetFloat(nbwItem::Weight, weight);
        return item;
    }
    nbwItem* Item(const std::string& name, float volume, float weight) {
        return Make("nbwitem", name, volume, weight);
    }
    nbwContainer* Container(const std::string& name, float volume, float maxCapacity, float weight = 0.0f) {
        auto* c = static_cast<nbwContainer*>(Make("nbwcontainer", name, volume, weight));
        c->SetFloat(nbwContainer::MaxCapacity, maxCapacity);
        return c;
    }
    static float Used(nbwContainer* c) { return c->GetFloat(nbwContainer::UsedWeight); }
    static float UsedVolume(nbwContainer* c) { return c->GetFloat(nbwContainer::UsedVolume); }

    // Both trees below the level, with every container's totals: what must stay as it
    // was after a refusal.
    std::string Snapshot() {
        std::string out;
        Walk(Lookup("/usr/logic/level"), out);
        Walk(Lookup("/usr/persist/level"), out);
        return out;
    }
    static void Walk(nRoot* o, std::string& out) {
        out += o->GetFullName();
        if (auto* c = nbwContainer::AsContainer(o)) {
            out += " v=" + std::to_string(UsedVolume(c)) + " w=" + std::to_string(Used(c));
        }
        out += '\n';
        for (nRoot* k = o->GetHead(); k; k = k->GetSucc()) Walk(k, out);
    }

    std::string CanHold(const std::string& container, const std::string& path) {
        return Eval("obj('" + container + "').canhold('" + path + "') and 'yes' or 'no'");
    }
};

TEST_F(ContainerTest, WeighsItsContentsAndFitsByVolumeFirstWithEqualityPassing) {
    nbwContainer* bag = Container("bag", 10.0f, 5.0f, 1.5f);
    const std::string listing = bag->GetVars();
    EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), 28);
    EXPECT_NE(listing.find("\nalwaysvisible [int] = 0\nmaxcapacity [float] = 5.\nusedweight [float] = 0.\n"
                           "usedvolume [float] = 0.\n"),
              std::string::npos);
    Item("brick", 10.0f, 5.0f);
    Item("feather", 0.0f, 0.1f);
    Item("big", 11.0f, 0.0f);
    EXPECT_EQ(CanHold("/usr/logic/level/bag", "../big"), "no");
    // Relative to the container, and the current object stays where it was.
    kernel->SetCwd(Lookup("/usr/persist"));
    EXPECT_EQ(CanHold("/usr/logic/level/bag", "../brick"), "yes");
    EXPECT_EQ(kernel->GetCwd(), Lookup("/usr/persist"));
    ASSERT_TRUE(Run("sel('/usr/logic/level/bag') packin('../brick')"));
    EXPECT_EQ(Eval("getfloat('weight')"), "6.5");
    EXPECT_NE(bag->GetVars().find("\nweight [float] = 1.5\n"), std::string::npos);
    EXPECT_EQ(UsedVolume(bag), 10.0f);

    // Full in both: with room, the feather still passes the weight limit.
    EXPECT_EQ(CanHold("/usr/logic/level/bag", "../feather"), "no");
    bag->SetFloat(nbwItem::Volume, 20.0f);
    EXPECT_EQ(CanHold("/usr/logic/level/bag", "../feather"), "no");
    bag->SetFloat(nbwContainer::MaxCapacity, 5.1f);
    EXPECT_EQ(CanHold("/usr/logic/level/bag", "../feather"), "yes");
}

TEST_F(ContainerTest, ItemsMoveInAndOutWithTheirStoresAndRefusalsChangeNothing) {
    nbwContainer* inv = Container("inv", 10.0f, 5.0f);
    nbwContainer* chest = Container("chest", 2.0f, 10.0f);
    nbwItem* coin = Item("coin", 1.0f, 1.0f);
    nbwItem* key = Item("key", 3.0f, 3.0f);
    ASSERT_TRUE(Run("setfloat('hitpoints', 0.25) txyz(1, 2, 3)"));
    ASSERT_TRUE(Run("sel('/usr/logic/level/inv') packin('../coin') packin('/usr/logic/level/key')"));
    // Last child in both trees; stored before the move and restored after, so the
    // values come along and the store knows its item's new place.
    EXPECT_EQ(inv->GetTail(), key);
    EXPECT_EQ(key->GetPred(), coin);
    auto* keyStore = static_cast<nPersistLogic*>(Lookup("/usr/persist/level/inv/key"));
    ASSERT_NE(keyStore, nullptr);
    EXPECT_EQ(Lookup("/usr/persist/level/inv")->GetTail(), keyStore);
    EXPECT_EQ(keyStore->GetF("hitpoints"), 0.25f);
    EXPECT_STREQ(keyStore->GetOwnerPath(), "/usr/logic/level/inv/key");
    EXPECT_EQ(key->GetFloat(nbwItem::Hitpoints), 0.25f);
    EXPECT_EQ(key->GetPosition().z, 3.0f);
    EXPECT_EQ(UsedVolume(inv), 4.0f);
    EXPECT_EQ(Used(inv), 4.0f);

    // Too heavy, packed again (it would count twice), or out to a container without
    // room: nothing moves anywhere.
    Item("anvil", 1.0f, 1.5f);
    std::string before = Snapshot();
    ASSERT_TRUE(Run("sel('/usr/logic/level/inv') packin('../anvil') packin('key')"
                    " packout('/usr/logic/level/inv/key', '/usr/logic/level/chest')"));
    EXPECT_EQ(Snapshot(), before);
    EXPECT_TRUE(LogHas("/usr/logic/level/inv: PackIn: '/usr/logic/level/inv/key' is inside already"));

    // To a plain node: the item and its store go there, the totals fall.
    ASSERT_TRUE(Run("packout('/usr/logic/level/inv/key', '/usr/logic/level')"));
    EXPECT_EQ(Lookup("/usr/logic/level")->GetTail(), key);
    EXPECT_EQ(Lookup("/usr/persist/level")->GetTail(), Lookup("/usr/persist/level/key"));
    EXPECT_EQ(UsedVolume(inv), 1.0f);
    EXPECT_EQ(Used(inv), 1.0f);
    // To a container that takes it: both totals follow.
    ASSERT_TRUE(Run("packout('/usr/logic/level/inv/coin', '/usr/logic/level/chest')"));
    EXPECT_EQ(coin->GetParent(), chest);
    EXPECT_NE(Lookup("/usr/persist/level/chest/coin"), nullptr);
    EXPECT_EQ(UsedVolume(inv) + Used(inv), 0.0f);
    EXPECT_EQ(UsedVolume(chest) + Used(chest), 2.0f);
    // Packed straight from one container into another, the first one lets go of it.
    ASSERT_TRUE(Run("packin('/usr/logic/level/chest/coin')"));
    EXPECT_EQ(UsedVolume(chest) + Used(chest), 0.0f);
    EXPECT_EQ(Used(inv), 1.0f);
    EXPECT_FALSE(LogHas("Error")) << log.text;
}

// A move never leaves a store deeper than a save holds, so that the next save loads: the
// store goes with all that lies below it.
TEST_F(ContainerTest, AMoveThatWouldLeaveAStoreDeeperThanASaveHoldsChangesNothing) {
    nbwContainer* inv = Container("inv", 10.0f, 10.0f);
    nbwItem* coin = Item("coin", 1.0f, 1.0f);
    // Below the coin's store (two deep), down to as deep as a save holds.
    std::string chain = "/usr/persist/level/coin";
    for (int d = 3; d <= nPersist::MaxSaveDepth; d++) {
        chain += "/c";
        ASSERT_TRUE(Run("new('nroot', '" + chain + "')"));
    }
    const std::string before = Snapshot();
    ASSERT_TRUE(Run("sel('/usr/logic/level/inv') packin('../coin')"));
    EXPECT_EQ(Snapshot(), before);
    EXPECT_TRUE(LogHas("/usr/logic/level/inv: PackIn: the store '/usr/persist/level/coin' would lie more than 16 "
                       "levels deep in a save"))
        << log.text;
    // One level less, and it moves.
    Lookup(chain.c_str())->Release();
    ASSERT_TRUE(Run("packin('../coin')"));
    EXPECT_EQ(coin->GetParent(), inv);
    EXPECT_NE(Lookup("/usr/persist/level/inv/coin/c/c"), nullptr);
    // Outside the persist tree no save is at stake.
    EXPECT_TRUE(nPersist::FitsBelow(Lookup("/usr/persist/level/inv/coin"), Lookup("/usr/logic")));
}

TEST_F(ContainerTest, NestedContainersCarryWeightToEveryEnclosingOne) {
    nbwContainer* inv = Container("inv", 20.0f, 10.0f, 0.5f);
    nbwContainer* bag = Container("bag", 5.0f, 6.0f, 1.0f);
    ASSERT_TRUE(inv->PackIn(bag));
    EXPECT_EQ(Used(inv), 1.0f);
    nbwItem* gold = Item("gold", 1.0f, 4.0f);
    nbwItem* lead = Item("lead", 1.0f, 5.5f);
    nbwItem* tin = Item("tin", 1.0f, 1.0f);

    // Into the bag: both carry it (the inner container counted once).
    ASSERT_TRUE(bag->PackIn(gold));
    EXPECT_EQ(Used(bag), 4.0f);
    EXPECT_EQ(Used(inv), 5.0f);
    EXPECT_EQ(inv->GetFloat(nbwItem::Weight), 5.5f);
    EXPECT_EQ(UsedVolume(inv), 5.0f);
    EXPECT_EQ(UsedVolume(bag), 1.0f);
    // The bag has room for 2 more, the inventory for 5: lead passes neither bag nor...
    EXPECT_FALSE(bag->PackIn(lead));
    // ...and with a larger bag, the inventory's limit still holds it back.
    bag->SetFloat(nbwContainer::MaxCapacity, 20.0f);
    const std::string before = Snapshot();
    EXPECT_FALSE(bag->PackIn(lead));
    EXPECT_EQ(Snapshot(), before);
    EXPECT_TRUE(bag->PackIn(tin));
    EXPECT_EQ(Used(inv), 6.0f);

    // Moving between the inventory and the bag inside it changes the inventory's total
    // by nothing: a full inventory still lets its own items into its bag.
    inv->SetFloat(nbwContainer::MaxCapacity, 6.0f);
    ASSERT_TRUE(bag->PackOut(tin, inv));
    EXPECT_EQ(tin->GetParent(), inv);
    EXPECT_EQ(Used(inv), 6.0f);
    EXPECT_EQ(Used(bag), 4.0f);
    ASSERT_TRUE(bag->PackIn(tin));
    EXPECT_EQ(Used(inv), 6.0f);

    // Out of the bag to the level: both lose it; then the bag leaves with its contents.
    ASSERT_TRUE(bag->PackOut(gold, Lookup("/usr/logic/level")));
    EXPECT_EQ(Used(bag), 1.0f);
    EXPECT_EQ(Used(inv), 2.0f);
    ASSERT_TRUE(inv->PackOut(bag, Lookup("/usr/logic/level")));
    EXPECT_EQ(Used(inv), 0.0f);
    EXPECT_EQ(Lookup("/usr/persist/level/bag/tin")->GetParent(), Lookup("/usr/persist/level/bag"));
    EXPECT_FALSE(LogHas("Error")) << log.text;
}

TEST_F(ContainerTest, ConsumeUsesTheItemUpAndItsStoreAtOnceAndTheItemNextFrame) {
    nbwContainer* inv = Container("inv", 10.0f, 10.0f);
    nbwContainer* bag = Container("bag", 10.0f, 10.0f);
    nbwItem* air = Item("air", 2.0f, 3.0f);
    ASSERT_TRUE(inv->PackIn(bag));
    ASSERT_TRUE(bag->PackIn(air));
    // A hand in a container that is not held by an actor: the hand step is skipped.
    Item("hand", 0.0f, 0.0f);
    ASSERT_TRUE(bag->PackIn(static_cast<nbwItem*>(Lookup("/usr/logic/level/hand"))));

    EXPECT_TRUE(nbwContainer::Consume(bag, air));
    EXPECT_FALSE(air->GetActive());
    EXPECT_EQ(UsedVolume(bag), 0.0f);
    EXPECT_EQ(Used(bag), 0.0f);
    EXPECT_EQ(Used(inv), 0.0f);
    EXPECT_EQ(Lookup("/usr/persist/level/inv/bag/air"), nullptr);
    EXPECT_EQ(Lookup("/usr/logic/level/inv/bag/air"), air);
    // Used up once: a second call finds no store and changes nothing.
    EXPECT_FALSE(nbwContainer::Consume(bag, air));
    GameFrame(0.1f);
    EXPECT_EQ(Lookup("/usr/logic/level/inv/bag/air"), nullptr);
    EXPECT_NE(Lookup("/usr/logic/level/inv/bag/hand"), nullptr);
    EXPECT_FALSE(LogHas("Error")) << log.text;
}

TEST_F(ContainerTest, ConsumeInAnActorsContainerPointsTheActorsHandAtItsHand) {
    nTestActor* diver = NewActor("/usr/logic/level/diver");
    nbwContainer* inv = Container("diver/inv", 10.0f, 10.0f);
    nbwItem* hand = Item("diver/inv/hand", 0.0f, 0.0f);
    nbwItem* air = Item("air", 1.0f, 1.0f);
    ASSERT_TRUE(inv->PackIn(air));
    diver->SetPath(nTestActor::Hand, "/usr/logic/level/diver/inv/air");
    EXPECT_TRUE(nbwContainer::Consume(inv, air));
    EXPECT_EQ(diver->GetPath(nTestActor::Hand), hand);
    EXPECT_EQ(Used(inv), 0.0f);
    EXPECT_FALSE(LogHas("Error")) << log.text;
}

TEST_F(ContainerTest, ClonesAndTheUsedWeightCheckKeepTotalsTrue) {
    nbwContainer* inv = Container("inv", 10.0f, 10.0f, 1.0f);
    ASSERT_TRUE(inv->PackIn(Item("coin", 1.0f, 1.25f)));
    ASSERT_TRUE(inv->PackIn(Item("key", 2.0f, 2.5f)));

    // A clone, as a load, replays "usedweight" before its items exist.
    ASSERT_TRUE(Run("sel('/usr/logic/level') obj('/usr/logic/level/inv').clone('copy')"));
    auto* copy = nbwContainer::AsContainer(Lookup("/usr/logic/level/copy"));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetNumChildren(), 2);
    EXPECT_EQ(Used(copy), 3.75f);
    EXPECT_EQ(UsedVolume(copy), 3.0f);
    EXPECT_EQ(copy->GetFloat(nbwItem::Weight), 4.75f);

    // The true total passes and changes nothing; a wrong one is logged and the total
    // stays true; without items the value is taken.
    ASSERT_TRUE(Run("sel('/usr/logic/level/inv') setfloat('usedweight', 3.75)"));
    EXPECT_FALSE(LogHas("Error")) << log.text;
    ASSERT_TRUE(Run("setfloat('usedweight', 9) setint('usedweight', 0)"));
    EXPECT_TRUE(LogHas("/usr/logic/level/inv: Error usedweight is : 9 but the total weight of all items is : 3.75"));
    EXPECT_TRUE(LogHas("Error usedweight is : 0 but the total weight of all items is : 3.75"));
    EXPECT_EQ(Used(inv), 3.75f);
    nbwContainer* empty = Container("empty", 1.0f, 1.0f);
    // A plain node inside holds no weight of its own.
    ASSERT_TRUE(Run("new('nroot', '/usr/logic/level/empty/note') sel('/usr/logic/level/empty')"
                    " setfloat('usedweight', 7)"));
    EXPECT_EQ(Used(empty), 7.0f);
    EXPECT_EQ(empty->GetChildrenWeight(), 0.0f);
}

TEST_F(ContainerTest, BadPathsObjectsAndStoresAreLoggedAndChangeNothing) {
    nbwContainer* inv = Container("inv", 10.0f, 10.0f);
    nbwContainer* bag = Container("bag", 5.0f, 10.0f);
    Item("key", 1.0f, 1.0f);
    ASSERT_TRUE(inv->PackIn(bag));
    ASSERT_TRUE(Run("new('nroot', '/usr/logic/level/stone') new('nbwitem', '/usr/logic/level/loose')"
                    " sel('/usr/logic/level/loose') setfloat('weight', 1)"));
    const std::string before = Snapshot();
    ASSERT_TRUE(Run("sel('/usr/logic/level/inv') packin('/nothing') packin('/usr/logic/level/stone')"
                    " packin('') packout('/usr/logic/level/key', '/usr/logic/level')"
                    " packout('/usr/logic/level/inv/bag', '/nowhere') packout('/usr/logic/level/stone', '..')"
                    " packout('/usr/logic/level/inv/bag', '/usr/persist')"));
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(Eval("canhold('/usr/logic/level/stone') or canhold('nothing') and 'yes' or 'no'"), "no");
    EXPECT_TRUE(LogHas("/usr/logic/level/inv: v_packin_s: '/nothing' names nothing"));
    EXPECT_TRUE(LogHas("v_packin_s: '/usr/logic/level/stone' names no item"));
    EXPECT_TRUE(LogHas("PackOut: '/usr/logic/level/key' is not inside"));
    EXPECT_TRUE(LogHas("PackOut: '/usr/persist' is no logic node and keeps no store"));

    // No store on the item, on the container, or on a node an item goes out to.
    EXPECT_FALSE(inv->PackIn(static_cast<nbwItem*>(Lookup("/usr/logic/level/loose"))));
    EXPECT_TRUE(LogHas("PackIn: '/usr/logic/level/loose' has no persistent store"));
    ASSERT_TRUE(Run("new('nlogicnode', '/usr/logic/level/shelf') new('nbwcontainer', '/usr/logic/level/tray')"
                    " sel('/usr/logic/level/tray') setfloat('volume', 5) setfloat('maxcapacity', 5)"));
    auto* tray = nbwContainer::AsContainer(Lookup("/usr/logic/level/tray"));
    EXPECT_FALSE(tray->PackIn(static_cast<nbwItem*>(Lookup("/usr/logic/level/key"))));
    EXPECT_FALSE(inv->PackOut(bag, Lookup("/usr/logic/level/shelf")));

    // Into itself or what it holds, in either tree.
    EXPECT_FALSE(bag->PackIn(inv));
    EXPECT_TRUE(LogHas("/usr/logic/level/inv/bag: PackIn: '/usr/logic/level/inv' cannot go below itself"));
    EXPECT_FALSE(bag->PackIn(bag));
    EXPECT_FALSE(inv->PackOut(bag, bag));
    nbwItem* crate = Item("crate", 1.0f, 1.0f);
    ASSERT_TRUE(inv->PackIn(crate));
    ASSERT_TRUE(Run("new('npersistlogic', '/usr/persist/level/inv/crate/deep')"
                    " new('nlogicnode', '/usr/logic/level/far') sel('/usr/logic/level/far') setpersist('/usr/persist/level/inv/crate/deep')"));
    const std::string mid = Snapshot();
    EXPECT_FALSE(inv->PackOut(crate, Lookup("/usr/logic/level/far")));
    EXPECT_EQ(Snapshot(), mid);

    // Used up from a holder it is not in, or from a holder that is no container.
    nbwItem* key = static_cast<nbwItem*>(Lookup("/usr/logic/level/key"));
    EXPECT_FALSE(nbwContainer::Consume(inv, key));
    EXPECT_FALSE(nbwContainer::Consume(inv, nullptr));
    EXPECT_TRUE(key->GetActive());
    EXPECT_TRUE(nbwContainer::Consume(Lookup("/usr/logic/level"), key));
    EXPECT_TRUE(LogHas("/usr/logic/level: Consume: no container: '/usr/logic/level/key' is used up without totals"));
    EXPECT_EQ(Lookup("/usr/persist/level/key"), nullptr);
}

}  // namespace
