// Typed variable stores: the script commands, their refusals, the saved file, and the
// store of a logic node that pulls its owner's state in before it saves.
#include <string>

#include "kernel/nPersistServer.h"
#include "logic/nPersist.h"
#include "tests/logic/LogicFixture.h"

namespace {

class PersistStoreTest : public nLogicFixture {
protected:
    nPersist* Store(const char* path, const char* cls = "npersist") {
        return static_cast<nPersist*>(kernel->New(cls, path));
    }
    // name:type=value for every variable in order, the way a test compares stores.
    static std::string Dump(nPersist* p) {
        std::string out;
        for (int i = 0; i < p->GetNumVars(); i++) {
            nPersistVar* pv = p->GetVarAt(i);
            const nVariable& v = pv->Get();
            out += std::string(p->GetVarNameAt(i)) + ":" + p->GetVarTypeAt(i) + "=";
            switch (v.GetType()) {
                case nVariable::Int: out += std::to_string(v.GetI()); break;
                case nVariable::Float: out += std::to_string(v.GetF()); break;
                case nVariable::String: out += v.GetS(); break;
                default:
                    for (int k = 0; k < 4; k++) out += std::to_string(v.GetV4()[k]) + " ";
            }
            out += ";";
        }
        return out;
    }
};

// The values of the golden file, set from a script.
const char* kGoldenStore = R"(
new('npersist', '/usr/persist/a')
sel('/usr/persist/a')
seti('a', 1)
setf('b', 2.5)
seti('a', 7)
setv('pos', 1, -2.5, 0, 0.25)
sets('say', 'er sagt "hi" C:\\dir\r\nnext')
sets('', '')
seti('A', -3)
sel('/')
)";

TEST_F(PersistStoreTest, ScriptCommandsKeepCreationOrderAndListByPosition) {
    ASSERT_TRUE(Run(kGoldenStore));
    auto* p = static_cast<nPersist*>(Lookup("/usr/persist/a"));
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(Run("sel('/usr/persist/a')"
                    " n = getvarcount()"
                    " n0, n1, n4, n5, n6 = getvarname(0), getvarname(1), getvarname(4), getvarname(5), getvarname(6)"
                    " t0, t1, t2, t3 = getvartype(0), getvartype(1), getvartype(2), getvartype(3)"
                    " a, b, say, A = geti('a'), getf('b'), gets('say'), geti('A')"
                    " x, y, z, w = getv('pos')"));
    EXPECT_EQ(Global("n"), "6");
    // Setting "a" again kept its place; "A" is another variable.
    EXPECT_EQ(Global("n0"), "a");
    EXPECT_EQ(Global("n1"), "b");
    EXPECT_EQ(Global("n4"), "");
    EXPECT_EQ(Global("n5"), "A");
    EXPECT_EQ(Global("n6"), "");
    EXPECT_EQ(Global("t0") + Global("t1") + Global("t2") + Global("t3"), "intfloatvectorstring");
    EXPECT_EQ(Global("a"), "7");
    EXPECT_EQ(Eval("tostring(b == 2.5)"), "true");
    EXPECT_EQ(Global("say"), "er sagt \"hi\" C:\\dir\r\nnext");
    EXPECT_EQ(Global("A"), "-3");
    EXPECT_EQ(Eval("tostring(x == 1 and y == -2.5 and z == 0 and w == 0.25)"), "true");

    p->RemoveVar("a");
    p->RemoveVar("nothere");
    EXPECT_EQ(p->GetNumVars(), 5);
    EXPECT_STREQ(p->GetVarNameAt(0), "b");
    EXPECT_EQ(p->GetVar("a"), nullptr);
    // Re-created, it goes to the end.
    ASSERT_TRUE(Run("obj('/usr/persist/a').seti('a', 9)"));
    EXPECT_STREQ(p->GetVarNameAt(5), "a");

    ASSERT_TRUE(Run("new('npersist', '/usr/persist/empty'); e = obj('/usr/persist/empty')"
                    " n, name = e.getvarcount(), e.getvarname(0)"));
    EXPECT_EQ(Global("n"), "0");
    EXPECT_EQ(Global("name"), "");
}

TEST_F(PersistStoreTest, BadScriptInputIsLoggedAndChangesNothing) {
    ASSERT_TRUE(Run(kGoldenStore));
    auto* p = static_cast<nPersist*>(Lookup("/usr/persist/a"));
    std::string before = Dump(p);
    // Each set with another type than the variable's.
    ASSERT_TRUE(Run("s = obj('/usr/persist/a')"
                    " s.setf('a', 1.5) s.sets('b', 'x') s.seti('pos', 1) s.setv('say', 1, 2, 3, 4)"));
    EXPECT_EQ(Dump(p), before);
    EXPECT_TRUE(LogHas("/usr/persist/a: v_setf_sf: variable 'a' holds a int, not a float"));
    EXPECT_TRUE(LogHas("v_setv_sffff: variable 'say' holds a string"));

    log.text.clear();
    ASSERT_TRUE(Run("i1, i2 = s.geti('nothere'), s.geti('b')"
                    " f1, f2 = s.getf('nothere'), s.getf('a')"
                    " s1, s2 = s.gets('nothere'), s.gets('a')"
                    " x, y, z, w = s.getv('a')"
                    " t1, t2, t3 = s.getvartype(6), s.getvartype(-1), s.getvartype(100000)"
                    " n1, n2 = s.getvarname(-1), s.getvarname(6)"));
    EXPECT_EQ(Global("i1") + Global("i2"), "00");
    EXPECT_EQ(Eval("tostring(f1 == 0 and f2 == 0)"), "true");
    EXPECT_EQ(Global("s1") + Global("s2"), "");
    EXPECT_EQ(Eval("tostring(x == 0 and y == 0 and z == 0 and w == 0)"), "true");
    EXPECT_EQ(Global("t1") + Global("t2") + Global("t3") + Global("n1") + Global("n2"), "");
    EXPECT_TRUE(LogHas("i_geti_s: no variable 'nothere'"));
    EXPECT_TRUE(LogHas("f_getf_s: variable 'a' holds a int, not a float"));
    EXPECT_TRUE(LogHas("s_getvartype_i: no variable at position 6"));
    EXPECT_EQ(Dump(p), before);
}

TEST_F(PersistStoreTest, SavesOneSetterPerVariableAsTheGoldenFileAndLoadsBackAlike) {
    ASSERT_TRUE(Run(kGoldenStore));
    auto* p = static_cast<nPersist*>(Lookup("/usr/persist/a"));
    ASSERT_TRUE(p->SaveAs(Path("a").c_str()));
    std::string golden = Slurp(SourceDir() + "/tests/logic/golden/store_a.n");
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(Slurp(Path("a.n")), golden);

    // The golden file, not our own output, into a fresh object.
    kernel->SetCwd(kernel->New("nroot", "/loaded"));
    auto* back = static_cast<nPersist*>(kernel->Load((SourceDir() + "/tests/logic/golden/store_a.n").c_str()));
    kernel->SetCwd(nullptr);
    ASSERT_NE(back, nullptr) << log.text;
    EXPECT_STREQ(back->GetClass()->GetName(), "npersist");
    EXPECT_EQ(Dump(back), Dump(p));
    EXPECT_STREQ(back->GetVar("say")->GetS(), "er sagt \"hi\" C:\\dir\r\nnext");
}

TEST_F(PersistStoreTest, AStoreTreeSavedAndLoadedBackIsEqualStoreForStore) {
    ASSERT_TRUE(Run(kGoldenStore));
    ASSERT_TRUE(Run("new('npersist', '/usr/persist/gamestatus')"
                    " g = obj('/usr/persist/gamestatus') g.seti('gamestate', 16384) g.sets('currlevel', 'none')"
                    " new('npersistlogic', '/usr/persist/camp/door1')"
                    " d = obj('/usr/persist/camp/door1') d.setf('angle', 0.75) d.setowner('/usr/logic/door1')"
                    " new('npersist', '/usr/persist/camp/empty')"));
    ASSERT_TRUE(Lookup("/usr/persist")->SaveAs(Path("persist").c_str()));
    kernel->SetCwd(kernel->New("nroot", "/loaded"));
    nRoot* back = kernel->Load(Path("persist.n").c_str());
    kernel->SetCwd(nullptr);
    ASSERT_NE(back, nullptr) << log.text;
    int compared = 0;
    for (const char* sub : {"a", "gamestatus", "camp/door1", "camp/empty"}) {
        SCOPED_TRACE(sub);
        auto* orig = static_cast<nPersist*>(Lookup(("/usr/persist/" + std::string(sub)).c_str()));
        auto* copy = static_cast<nPersist*>(Lookup(("/loaded/persist/" + std::string(sub)).c_str()));
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(copy->GetClass(), orig->GetClass());
        EXPECT_EQ(Dump(copy), Dump(orig));
        compared++;
    }
    EXPECT_EQ(compared, 4);
    // The owner path is the owner's to set again when it links.
    EXPECT_STREQ(static_cast<nPersistLogic*>(Lookup("/loaded/persist/camp/door1"))->GetOwnerPath(), "");
}

TEST_F(PersistStoreTest, ACutOffOrBrokenStoreFileLoadsNothing) {
    ASSERT_TRUE(Run(kGoldenStore));
    ASSERT_TRUE(Lookup("/usr/persist/a")->SaveAs(Path("a").c_str()));
    std::string whole = Slurp(Path("a.n"));
    kernel->SetCwd(kernel->New("nroot", "/loaded"));
    // Cut inside a setter, and cut before the end mark.
    Write("cut.n", whole.substr(0, whole.find("setv") + 10));
    Write("noend.n", whole.substr(0, whole.find("-- ----- EOF")));
    Write("broken.n", "-- ----- $parser:nluaserver2$ $class:npersist$-- ---\nseti( \"a\", )\n\n-- ----- EOF\n");
    for (const char* f : {"cut.n", "noend.n", "broken.n"}) {
        SCOPED_TRACE(f);
        EXPECT_EQ(kernel->Load(Path(f).c_str()), nullptr);
    }
    EXPECT_EQ(Lookup("/loaded")->GetHead(), nullptr);
    kernel->SetCwd(nullptr);
}

TEST_F(PersistStoreTest, LogicStoreHasItsOwnerWriteItsStateBeforeSaving) {
    auto* owner = static_cast<nTestPersistOwner*>(kernel->New("ntestpersistowner", "/usr/logic/door1"));
    ASSERT_TRUE(Run("new('npersistlogic', '/usr/persist/door1')"
                    " d = obj('/usr/persist/door1') d.seti('before', 1) d.setowner('../../logic/door1')"
                    " path = d.getowner()"));
    EXPECT_EQ(Global("path"), "../../logic/door1");
    auto* store = static_cast<nPersistLogic*>(Lookup("/usr/persist/door1"));
    EXPECT_EQ(store->GetOwner(), static_cast<nPersistOwner*>(owner));

    // The owner's current value is saved, not one written earlier.
    owner->value = 5;
    owner->StoreToPersist(store);
    owner->value = 42;
    owner->stores = 0;
    ASSERT_TRUE(store->SaveAs(Path("door1").c_str()));
    EXPECT_EQ(owner->stores, 1);
    EXPECT_EQ(Slurp(Path("door1.n")),
              "-- ----- $parser:nluaserver2$ $class:npersistlogic$-- ---\n"
              "seti( \"before\", 1 )\n"
              "seti( \"state\", 42 )\n"
              "\n-- ----- EOF\n");

    // Rebuilt from the store, the owner finds its state again.
    owner->Release();
    auto* again = static_cast<nTestPersistOwner*>(kernel->New("ntestpersistowner", "/usr/logic/door2"));
    again->RestoreFromPersist(store);
    EXPECT_EQ(again->value, 42);
    EXPECT_EQ(again->restores, 1);
    EXPECT_STREQ(store->GetOwnerPath(), "/usr/logic/door2");

    // No owner at the path: the variables are written as they stand.
    store->SetOwner("/usr/logic/gone");
    EXPECT_EQ(store->GetOwner(), nullptr);
    ASSERT_TRUE(store->SaveAs(Path("door1b").c_str()));
    EXPECT_NE(Slurp(Path("door1b.n")).find("seti( \"state\", 42 )"), std::string::npos);
    EXPECT_EQ(again->stores, 0);

    // An object without the hooks is no owner; said once.
    kernel->New("nroot", "/usr/logic/plain");
    log.text.clear();
    store->SetOwner("/usr/logic/plain");
    ASSERT_TRUE(store->SaveAs(Path("door1c").c_str()));
    ASSERT_TRUE(store->SaveAs(Path("door1c").c_str()));
    size_t first = log.text.find("owner '/usr/logic/plain' is no logic node");
    ASSERT_NE(first, std::string::npos) << log.text;
    EXPECT_EQ(log.text.find("owner '/usr/logic/plain' is no logic node", first + 1), std::string::npos);
    EXPECT_EQ(Slurp(Path("door1c.n")), Slurp(Path("door1b.n")));
}

using PersistStoreDeathTest = PersistStoreTest;

TEST_F(PersistStoreDeathTest, EngineCodeChangingAVariablesTypeStops) {
    auto* p = Store("/usr/persist/s");
    nVariable i;
    i.SetI(1);
    p->SetVar("a", i);
    nVariable f;
    f.SetF(1.0f);
    EXPECT_EXIT(p->SetVar("a", f), ::testing::ExitedWithCode(3), "Aborting!");
}

}  // namespace
