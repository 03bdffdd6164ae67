// Game items: the variable table listed, read and written by name and index with its
// types kept, the listing's number format, "ondeath" on each drop of the hit points,
// saving and loading, the persistent store, and the render variables the visual gets.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "game/nbwItem.h"
#include "kernel/nClass.h"
#include "kernel/nCmdProto.h"
#include "logic/nLogicEventRecord.h"
#include "logic/nLogicEventServer.h"
#include "logic/nModCollisionState.h"
#include "logic/nModVisualizerState.h"
#include "logic/nPersistLogic.h"
#include "tests/game/GameTestKernel.h"
#include "tests/logic/nRecordingVisualizer.h"

namespace {

// Written by hand from the item's table.
const char* const kFreshListing =
    "skill [float] = 0.\n"
    "docvalue [float] = 0.\n"
    "alteration [float] = 0.\n"
    "maxenergie [float] = 1.\n"
    "energie [float] = 1.\n"
    "energielose [float] = 0.\n"
    "maxhitpoints [float] = 1.\n"
    "hitpoints [float] = 1.\n"
    "colldamage [float] = 0.\n"
    "animlenght [float] = 0.\n"
    "animname [string] = none\n"
    "candrop [int] = 1\n"
    "usetime [float] = 0.\n"
    "useitem [float] = 0.\n"
    "type [string] = none\n"
    "damagetype [int] = 1\n"
    "owner [string] = none\n"
    "treasure [int] = 1\n"
    "damage [float] = 0.\n"
    "weight [float] = 0.\n"
    "volume [float] = 0.\n"
    "armor [float] = 0.\n"
    "user [string] = everybody\n"
    "group [string] = item\n"
    "alwaysvisible [int] = 0\n";

class ItemTest : public GameTestKernel {
protected:
    void SetUp() override {
        GameTestKernel::SetUp();
        kernel->AddClass(nRecordingVisualizer::classInfo);
        item = NewItem("/usr/logic/box");
    }
    nbwItem* NewItem(const char* path) {
        auto* i = static_cast<nbwItem*>(kernel->New("nbwitem", path));
        EXPECT_TRUE(Run(std::string("sel('") + path + "')"));
        return i;
    }
    std::string Float(float v) {
        std::string s;
        nbwItem::AppendFloat(s, v);
        return s;
    }
    nLogicEventRecord* Record() {
        return static_cast<nLogicEventServer*>(Lookup("/sys/servers/event"))->FindOrCreateEvent("logicgraph");
    }

    nbwItem* item = nullptr;
};

TEST_F(ItemTest, AFreshItemListsItsTableInOrder) {
    EXPECT_EQ(Eval("getvars()"), kFreshListing);
    EXPECT_EQ(item->GetNumVars(), nbwItem::NumVars);
    EXPECT_EQ(item->FindVar("alwaysvisible"), 24);
    EXPECT_EQ(item->FindVar("Hitpoints"), -1);
    // Each call lists its own item afresh.
    nbwItem* other = NewItem("/usr/logic/key");
    other->SetString(nbwItem::Owner, "/usr/logic/diver");
    other->SetInt(nbwItem::Treasure, -12);
    other->SetFloat(nbwItem::Weight, 2500000.0f);
    const std::string listing = other->GetVars();
    EXPECT_NE(listing.find("\nowner [string] = /usr/logic/diver\ntreasure [int] = -12\n"), std::string::npos);
    EXPECT_NE(listing.find("\nweight [float] = 2.5e+006\n"), std::string::npos);
    EXPECT_EQ(item->GetVars(), kFreshListing);
}

TEST_F(ItemTest, RegistersItsElevenCommandsWithTheirIds) {
    using Row = std::pair<std::string, std::string>;
    const std::vector<Row> expected = {
        {"s_getvars_v", "GVAR"},          {"v_setint_si", "ISIN"},    {"i_getint_s", "IGIN"},
        {"v_setfloat_sf", "ISFL"},        {"f_getfloat_s", "IGFL"},   {"v_setstring_ss", "ISST"},
        {"s_getstring_s", "IGST"},        {"v_usefor_f", "IUFO"},     {"v_playsound_v", "IPSN"},
        {"v_setultrasonictime_f", "ISUT"}, {"f_getultrasonictime_v", "IGUT"}};
    std::vector<Row> own;
    for (nCmdProto* p = kernel->FindClass("nbwitem")->GetFirstCmd(); p; p = p->GetNextCmd()) {
        std::string id = "?";
        for (const Row& row : expected) {
            if (nId(row.second.c_str()) == p->GetId()) id = row.second;
        }
        own.emplace_back(p->GetProtoText(), id);
    }
    EXPECT_EQ(own, expected);
}

TEST_F(ItemTest, ListingNumbersHaveSixDigitsAndAThreeDigitExponent) {
    EXPECT_EQ(Float(1.0f), "1.");
    EXPECT_EQ(Float(0.0f), "0.");
    EXPECT_EQ(Float(0.25f), "0.25");
    EXPECT_EQ(Float(123456.0f), "123456");
    EXPECT_EQ(Float(10.0f), "10.");
    EXPECT_EQ(Float(0.05f), "5.e-002");
    EXPECT_EQ(Float(2500000.0f), "2.5e+006");
    EXPECT_EQ(Float(1234567.0f), "1.23457e+006");
    // Rounded to six digits first: past the fixed range.
    EXPECT_EQ(Float(999999.7f), "1.e+006");
    EXPECT_EQ(Float(-0.25f), "-0.25");
    EXPECT_EQ(Float(0.1f), "0.1");
    EXPECT_EQ(Float(0.09999997f), "0.1");
    EXPECT_EQ(Float(0.0999999f), "9.99999e-002");
    EXPECT_EQ(Float(1.0f / 3.0f), "0.333333");
    EXPECT_EQ(Float(-1.5e-7f), "-1.5e-007");
    EXPECT_EQ(Float(1e20f), "1.e+020");
    std::string ints;
    nbwItem::AppendInt(ints, -2147483647 - 1);
    ints += ' ';
    nbwItem::AppendInt(ints, 42);
    EXPECT_EQ(ints, "-2147483648 42");
}

TEST_F(ItemTest, CommandsKeepEachEntrysTypeAndConvertNumbers) {
    ASSERT_TRUE(Run("setint('candrop', 0) setfloat('weight', 2.5) setstring('type', 'luftsack')"
                    " usefor(3.5) setultrasonictime(4)"));
    EXPECT_EQ(Eval("getint('candrop')"), "0");
    EXPECT_EQ(Eval("getfloat('weight')"), "2.5");
    EXPECT_EQ(Eval("getstring('type')"), "luftsack");
    EXPECT_EQ(item->GetFloat(nbwItem::UseTime), 3.5f);
    EXPECT_EQ(Eval("getultrasonictime()"), "4.0");

    // Numbers of the other kind are converted; float to int truncates toward zero.
    ASSERT_TRUE(Run("setint('weight', 7) setfloat('damagetype', -2.7) setfloat('treasure', 1e30)"));
    EXPECT_EQ(item->GetVarType(nbwItem::Weight), nVariable::Float);
    EXPECT_EQ(item->GetFloat(nbwItem::Weight), 7.0f);
    EXPECT_EQ(item->GetVarType(nbwItem::DamageType), nVariable::Int);
    EXPECT_EQ(Eval("getint('damagetype')"), "-2");
    EXPECT_EQ(Eval("getfloat('damagetype')"), "-2.0");
    EXPECT_EQ(item->GetInt(nbwItem::Treasure), 2147483647);
    item->SetFloat(nbwItem::Skill, 2.75f);
    EXPECT_EQ(Eval("getint('skill')"), "2");

    // Texts and numbers do not mix: refused, logged, nothing changes.
    ASSERT_TRUE(Run("setstring('hitpoints', 'dead')"));
    EXPECT_TRUE(LogHas("/usr/logic/box: variable 'hitpoints' holds a float: a text is refused"));
    item->SetInt(nbwItem::Owner, 3);
    item->SetFloat(nbwItem::Group, 3.0f);
    EXPECT_EQ(Eval("getstring('owner')"), "none");
    EXPECT_EQ(Eval("getstring('group')"), "item");
    EXPECT_EQ(Eval("getfloat('owner')"), "0.0");
    EXPECT_EQ(Eval("getstring('weight')"), "");
    EXPECT_EQ(item->GetVarType(nbwItem::Hitpoints), nVariable::Float);
    EXPECT_EQ(item->GetFloat(nbwItem::Hitpoints), 1.0f);

    // Unknown names and indices: logged, nothing changes, getters give nothing.
    log.text.clear();
    ASSERT_TRUE(Run("setfloat('HitPoints', 0) setint('nothing', 1) setstring('', 'x')"));
    EXPECT_TRUE(LogHas("/usr/logic/box: v_setfloat_sf: Error : No variable 'HitPoints' exsist in nbwitem ..."));
    EXPECT_TRUE(LogHas("v_setint_si: Error : No variable 'nothing' exsist in nbwitem ..."));
    EXPECT_TRUE(LogHas("v_setstring_ss: Error : No variable '' exsist in nbwitem ..."));
    EXPECT_EQ(Eval("getint('x')"), "0");
    EXPECT_EQ(Eval("getfloat('x')"), "0.0");
    EXPECT_EQ(Eval("getstring('x')"), "");
    item->SetFloat(25, 1.0f);
    item->SetString(-1, "x");
    EXPECT_EQ(item->GetFloat(nbwItem::NumVars), 0.0f);
    EXPECT_STREQ(item->GetString(99), "");
    EXPECT_EQ(item->GetVarName(25), nullptr);
    EXPECT_TRUE(LogHas("/usr/logic/box: SetFloat: variable 25 is outside 0 to 24"));
    EXPECT_TRUE(LogHas("SetString: variable -1 is outside 0 to 24"));
    EXPECT_EQ(item->GetNumVars(), nbwItem::NumVars);
}

TEST_F(ItemTest, DeathIsAnnouncedOnceForEachDropOfTheHitPoints) {
    // Unbound: a drop queues nothing.
    item->SetFloat(nbwItem::Hitpoints, 0.0f);
    EXPECT_EQ(Record()->GetNumQueued(), 0);
    item->SetFloat(nbwItem::Hitpoints, 1.0f);

    ASSERT_TRUE(Run("deaths = 0 seteventscript('ondeath', 'deaths = deaths + 1')"));
    ASSERT_TRUE(Run("setfloat('hitpoints', 0.5)"));
    EXPECT_EQ(Record()->GetNumQueued(), 0);
    item->SetFloat(nbwItem::Hitpoints, 0.0f);
    EXPECT_EQ(Record()->GetNumQueued(), 1);
    // Already dead: no second announcement.
    ASSERT_TRUE(Run("setfloat('hitpoints', -1)"));
    item->SetFloat(nbwItem::Hitpoints, 0.0f);
    EXPECT_EQ(Record()->GetNumQueued(), 1);
    GameFrame(0.1f);
    EXPECT_EQ(Eval("deaths"), "1");

    // Alive again and dropping again, by an int through the script: announced again.
    ASSERT_TRUE(Run("setfloat('hitpoints', 0.25) setint('hitpoints', 0)"));
    EXPECT_EQ(Record()->GetNumQueued(), 1);
    GameFrame(0.1f);
    EXPECT_EQ(Eval("deaths"), "2");
    // Other entries never announce it.
    ASSERT_TRUE(Run("setfloat('maxhitpoints', 0) setfloat('energie', 0)"));
    EXPECT_EQ(Record()->GetNumQueued(), 0);
}

TEST_F(ItemTest, SavesItsTableAfterTheItemLinesAndLoadsBackEqual) {
    ASSERT_TRUE(Run("setfloat('hitpoints', 0.75) setfloat('weight', 0.05) setstring('owner', '/usr/logic/diver')"
                    " setint('treasure', 0) setstring('user', 'it\\'s \"me\"') setultrasonictime(2.5)"));
    ASSERT_TRUE(item->SaveAs(Path("box").c_str()));
    const std::string golden = SourceDir() + "/tests/game/golden/item_box.n";
    EXPECT_EQ(Slurp(Path("box.n")), Slurp(golden));

    kernel->SetCwd(Lookup("/usr/logic"));
    auto* back = static_cast<nbwItem*>(kernel->Load(golden.c_str()));
    ASSERT_NE(back, nullptr) << log.text;
    ASSERT_NE(back, item);
    EXPECT_EQ(back->GetVars(), item->GetVars());
    EXPECT_EQ(back->GetUltrasonicTime(), 2.5f);
    EXPECT_STREQ(back->GetString(nbwItem::User), "it's \"me\"");
    EXPECT_FALSE(back->GetUltrasonicState()->GetEnabled());
    EXPECT_FALSE(LogHas("Error")) << log.text;
}

TEST_F(ItemTest, StoreKeepsStateAndAFreshItemReadsItAllBack) {
    auto* store = static_cast<nPersistLogic*>(kernel->New("npersistlogic", "/usr/persist/box"));
    ASSERT_TRUE(Run("sel('/usr/logic/box') setpersist('/usr/persist/box') txyz(1, 2, 3) qxyzw(0, 1, 0, 0)"
                    " setvisible(false) setcollision(false) sethandleractive('collision', 'damage', false)"
                    " sethandleractive('visualizer', 'ultrasonic', true) setfloat('hitpoints', 0.5)"
                    " setint('candrop', 0) setstring('owner', '/usr/logic/diver')"));
    item->SetActive(false);
    item->StoreToPersist(store);

    // The item's flags and place, one flag per module state, then the table.
    std::vector<std::string> names;
    for (int i = 0; i < store->GetNumVars(); i++) names.push_back(store->GetVarNameAt(i));
    ASSERT_EQ(names.size(), size_t(5 + item->GetNumModuleStates() + nbwItem::NumVars));
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 5),
              (std::vector<std::string>{"active", "visible", "collision", "txyz", "qxyzw"}));
    for (int i = 0; i < item->GetNumModuleStates(); i++) {
        const nModuleState* st = item->GetModuleStateAt(i);
        EXPECT_EQ(names[size_t(5 + i)],
                  std::string("handler_") + st->GetName() + "_" + nModuleState::TypeName(st->GetStateType()));
        EXPECT_STREQ(store->GetVarTypeAt(5 + i), "int");
    }
    const int table = 5 + item->GetNumModuleStates();
    for (int i = 0; i < nbwItem::NumVars; i++) {
        EXPECT_EQ(names[size_t(table + i)], item->GetVarName(i));
        EXPECT_STREQ(store->GetVarTypeAt(table + i), nPersist::TypeName(item->GetVarType(i)));
    }
    EXPECT_EQ(store->GetI("active"), 0);
    EXPECT_EQ(store->GetI("handler_damage_collision"), 0);
    EXPECT_EQ(store->GetI("handler_item_collision"), 1);
    EXPECT_EQ(store->GetI("handler_ultrasonic_visualizer"), 1);
    EXPECT_EQ(store->GetF("hitpoints"), 0.5f);

    // A fresh item takes all of it back.
    nbwItem* fresh = NewItem("/usr/logic/copy");
    ASSERT_TRUE(Run("setpersist('/usr/persist/box')"));
    EXPECT_EQ(fresh->GetVars(), item->GetVars());
    EXPECT_FALSE(fresh->GetActive());
    EXPECT_FALSE(fresh->GetVisible());
    EXPECT_FALSE(fresh->GetCollision());
    EXPECT_EQ(fresh->GetPosition().y, 2.0f);
    EXPECT_EQ(fresh->GetQuaternion().y, 1.0f);
    EXPECT_EQ(fresh->GetQuaternion().w, 0.0f);
    EXPECT_FALSE(fresh->GetDamageState()->GetEnabled());
    EXPECT_TRUE(fresh->GetUltrasonicState()->GetEnabled());
    EXPECT_STREQ(store->GetOwnerPath(), "/usr/logic/copy");
    EXPECT_FALSE(LogHas("Error")) << log.text;
}

TEST_F(ItemTest, StoredValuesOfAnotherTypeConvertOrAreSkippedAndNeverStop) {
    ASSERT_TRUE(Run("new('npersistlogic', '/usr/persist/s') sel('/usr/persist/s')"
                    " seti('hitpoints', 0) setf('candrop', 2.9) seti('owner', 5) sets('weight', 'heavy')"
                    " setf('active', 0) sets('handler_item_collision', 'off')"));
    auto* store = static_cast<nPersistLogic*>(Lookup("/usr/persist/s"));
    // Deadly hit points from a store raise nothing: a restore is no drop.
    ASSERT_TRUE(Run("sel('/usr/logic/box') seteventscript('ondeath', 'x = 1') setpersist('/usr/persist/s')"));
    EXPECT_EQ(item->GetFloat(nbwItem::Hitpoints), 0.0f);
    EXPECT_EQ(item->GetVarType(nbwItem::Hitpoints), nVariable::Float);
    EXPECT_EQ(item->GetInt(nbwItem::CanDrop), 2);
    EXPECT_STREQ(item->GetString(nbwItem::Owner), "none");
    EXPECT_EQ(item->GetFloat(nbwItem::Weight), 0.0f);
    EXPECT_FALSE(item->GetActive());
    EXPECT_TRUE(item->GetItemState()->GetEnabled());
    EXPECT_EQ(Record()->GetNumQueued(), 0);
    EXPECT_TRUE(LogHas("/usr/logic/box: store variable 'owner' holds an int, the item a text: skipped"));
    EXPECT_TRUE(LogHas("/usr/logic/box: store variable 'weight' holds a text, the item a float: skipped"));
    EXPECT_TRUE(LogHas("/usr/persist/s: store variable 'handler_item_collision' is no number"));

    // Storing writes over those with the item's own types, in place.
    item->StoreToPersist(store);
    EXPECT_STREQ(store->GetVarNameAt(0), "hitpoints");
    EXPECT_STREQ(store->GetVarTypeAt(0), "float");
    EXPECT_STREQ(store->GetVarTypeAt(2), "string");
    EXPECT_STREQ(store->GetS("owner"), "none");
    EXPECT_EQ(store->GetI("handler_item_collision"), 1);
    EXPECT_TRUE(LogHas("/usr/persist/s: store variable 'owner' held type int, takes string"));

    // No store: logged, nothing happens.
    log.text.clear();
    item->StoreToPersist(nullptr);
    item->RestoreFromPersist(nullptr);
    EXPECT_TRUE(LogHas("/usr/logic/box: StoreToPersist: no persistent store"));
    EXPECT_TRUE(LogHas("/usr/logic/box: RestoreFromPersist: no persistent store"));
}

TEST_F(ItemTest, TheVisualGetsConditionUseSoundAndTheUltrasonicTime) {
    auto* rec = static_cast<nRecordingVisualizer*>(kernel->New("nrecordingvisualizer", "/usr/modules/rec"));
    auto* sonar = static_cast<nRecordingVisualizer*>(kernel->New("nrecordingvisualizer", "/usr/modules/sonar"));
    // Not in use, the progress falls by the frame's 0.25 before the visual reads it.
    ASSERT_TRUE(Run("addvisualizer('default', '/usr/modules/rec') addvisualizer('ultrasonic', '/usr/modules/sonar')"
                    " setfloat('maxhitpoints', 4) setfloat('hitpoints', 1) setfloat('useitem', 0.55)"
                    " setultrasonictime(0.6)"));
    GameFrame(0.25f);
    EXPECT_EQ(rec->order, (std::vector<std::string>{"time", "lod", "dist", "useitem", "hitpoints", "soundtrigger"}));
    EXPECT_EQ(rec->floats["hitpoints"], 0.25f);
    EXPECT_EQ(rec->floats["useitem"], 0.3f);
    EXPECT_EQ(rec->floats["soundtrigger"], 0.0f);
    EXPECT_EQ(sonar->shown, 0);

    // The sound trigger for exactly one pass; no maximum gives no condition.
    ASSERT_TRUE(Run("playsound() setfloat('maxhitpoints', 0)"));
    GameFrame(0.25f);
    EXPECT_EQ(rec->floats["soundtrigger"], 1.0f);
    EXPECT_EQ(rec->floats["hitpoints"], 0.0f);
    GameFrame(0.25f);
    EXPECT_EQ(rec->floats["soundtrigger"], 0.0f);

    // Switched on, the highlight counts its time up and then switches itself off.
    ASSERT_TRUE(Run("sethandleractive('visualizer', 'ultrasonic', true)"));
    GameFrame(0.25f);
    EXPECT_EQ(sonar->floats["time"], 0.25f);
    GameFrame(0.25f);
    EXPECT_EQ(sonar->floats["time"], 0.5f);
    EXPECT_EQ(sonar->shown, 2);
    GameFrame(0.25f);
    EXPECT_FALSE(item->GetUltrasonicState()->GetEnabled());
    EXPECT_EQ(item->GetUltrasonicElapsed(), 0.0f);
    EXPECT_EQ(sonar->shown, 2);
    // On again: from the start.
    ASSERT_TRUE(Run("sethandleractive('visualizer', 'ultrasonic', true)"));
    GameFrame(0.25f);
    EXPECT_EQ(sonar->floats["time"], 0.25f);
    EXPECT_EQ(rec->shown, 7);
}

}  // namespace
