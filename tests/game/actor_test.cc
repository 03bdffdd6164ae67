// Actors: the command table, values by name through a subclass's tables, the queue and
// its abort, saved lines, the persistent store with the stored action and its text form,
// and what a plain actor and bad input do.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "game/nbwAction.h"
#include "game/nbwActor.h"
#include "game/nbwItem.h"
#include "kernel/nPersistServer.h"
#include "kernel/nString.h"
#include "logic/nPersistLogic.h"
#include "script/nLuaWriter.h"
#include "tests/game/GameTestKernel.h"
#include "tests/logic/CommandTable.h"

namespace {

const CommandTable kActorCmds = {
    {"v_setpath_ss", "DSPA"},   {"s_getpath_s", "DGPA"},          {"v_setflag_sb", "DSFL"},
    {"b_getflag_s", "DGFL"},    {"v_setstat_sf", "DSST"},         {"f_getstat_s", "DGST"},
    {"v_playmove_ssf", "DPLM"}, {"v_use_s", "DUIT"},              {"v_abort_v", "DABR"},
    {"s_getnearitem_v", "DGNI"}, {"s_getcurrentaction_v", "DCRA"},
};

class ActorTest : public GameTestKernel {
protected:
    void SetUp() override {
        GameTestKernel::SetUp();
        actor = NewActor("/usr/logic/a");
        box = static_cast<nbwItem*>(kernel->New("nbwitem", "/usr/logic/box"));
    }
    // Runs `text` with the actor selected.
    bool OnActor(const std::string& text) { return Run("sel('/usr/logic/a') " + text); }
    std::string ActorEval(const std::string& expr) { return OnActor("__eval = " + expr) ? Global("__eval") : "<error>"; }
    nbwAction* Queue(const char* name, const std::string& setup) {
        nbwAction* a = NewAction(actor, name);
        EXPECT_TRUE(Run(std::string("sel('/usr/logic/a/actions/") + name + "') " + setup)) << log.text;
        return a;
    }
    nPersistLogic* NewStore(const char* path) { return static_cast<nPersistLogic*>(kernel->New("npersistlogic", path)); }
    std::string Captured(nRoot* obj) {
        nString text;
        EXPECT_TRUE(kernel->GetPersistServer()->CaptureCmds(obj, text));
        return text.Get();
    }

    nTestActor* actor = nullptr;
    nbwItem* box = nullptr;
};

TEST_F(ActorTest, APlainActorHasItsQueueAndCommandsButNoNamesAndNeverStops) {
    EXPECT_EQ(OwnCommands(kernel, "nbwactor", kActorCmds), kActorCmds);
    ASSERT_TRUE(Run("new('nbwactor', '/usr/logic/plain')"));
    auto* plain = static_cast<nbwActor*>(Lookup("/usr/logic/plain"));
    ASSERT_NE(plain->GetActions(), nullptr);
    EXPECT_STREQ(plain->GetActions()->GetClass()->GetName(), "nroot");
    EXPECT_EQ(plain->GetActions(), Lookup("/usr/logic/plain/actions"));

    ASSERT_TRUE(Run("sel('/usr/logic/plain') setstat('energie', 1) setflag('headlight', true)"
                    " setpath('hand', '/usr/logic/box') playmove('forward', 'x', 1) use('/usr/logic/box') abort()"));
    EXPECT_TRUE(LogHas("/usr/logic/plain: v_setstat_sf: no name 'energie'"));
    EXPECT_TRUE(LogHas("v_setflag_sb: no name 'headlight'"));
    EXPECT_TRUE(LogHas("v_setpath_ss: no name 'hand'"));
    EXPECT_TRUE(LogHas("v_playmove_ssf: no name 'forward'"));
    EXPECT_TRUE(LogHas("/usr/logic/plain: v_use: a plain actor uses nothing ('/usr/logic/box' not used)"));
    EXPECT_EQ(Eval("getpath('hand')"), "nil");
    EXPECT_EQ(Eval("getflag('headlight')"), "nil");
    EXPECT_EQ(Eval("getnearitem()"), "none");
    EXPECT_EQ(Eval("getcurrentaction()"), "none");

    // No values are saved or stored; the store gets only the empty action.
    auto* store = NewStore("/usr/persist/plain");
    plain->StoreToPersist(store);
    ASSERT_EQ(store->GetNumVars(), 1);
    EXPECT_STREQ(store->GetS("action"), "print(\xA7no action while loading\xA7)");
    const std::string lines = Captured(plain);
    for (const char* cmd : {"setstat", "setflag", "setpath"}) EXPECT_EQ(lines.find(cmd), std::string::npos) << cmd;
}

TEST_F(ActorTest, ValuesByNameAreCaseSensitiveAndUnknownNamesChangeNothing) {
    ASSERT_TRUE(OnActor("setstat('speed', 2.5) setflag('headlight', true) setpath('hand', '/usr/logic/box')"
                        " setpath('target', 'actions') playmove('look right', 'turn', 0.5)"));
    EXPECT_EQ(actor->GetStat(1), 2.5f);
    EXPECT_EQ(ActorEval("getstat('speed')"), "2.5");
    EXPECT_EQ(ActorEval("getflag('headlight')"), "1");
    EXPECT_EQ(ActorEval("getpath('hand')"), "/usr/logic/box");
    // A relative path is looked up from the actor.
    EXPECT_EQ(ActorEval("getpath('target')"), "/usr/logic/a/actions");
    ASSERT_EQ(actor->moves.size(), 1u);
    EXPECT_EQ(actor->moves[0].index, 1);
    EXPECT_EQ(actor->moves[0].text, "turn");
    EXPECT_EQ(actor->moves[0].power, 0.5f);

    log.text.clear();
    ASSERT_TRUE(OnActor("setstat('Speed', 9) setflag('Headlight', false) setpath('Hand', 'none')"
                        " playmove('Look Right', 'x', 1) playmove('look', 'x', 1)"));
    EXPECT_EQ(actor->GetStat(1), 2.5f);
    EXPECT_TRUE(actor->GetFlag(0));
    EXPECT_EQ(ActorEval("getpath('hand')"), "/usr/logic/box");
    EXPECT_EQ(actor->moves.size(), 1u);
    EXPECT_TRUE(LogHas("/usr/logic/a: v_setstat_sf: no name 'Speed'"));
    EXPECT_TRUE(LogHas("v_playmove_ssf: no name 'Look Right'"));
    EXPECT_EQ(ActorEval("getpath('Hand')"), "nil");
    EXPECT_EQ(ActorEval("getflag('Headlight')"), "nil");

    // "none" empties a path; a path that names nothing reads as "none".
    ASSERT_TRUE(OnActor("setpath('hand', 'none') setpath('target', 'no/such/object')"));
    EXPECT_EQ(ActorEval("getpath('hand')"), "none");
    EXPECT_EQ(ActorEval("getpath('target')"), "none");
    EXPECT_EQ(actor->GetPath(nTestActor::Hand), nullptr);
}

TEST_F(ActorTest, AbortAnnouncesFadesOutEmptiesTheQueueTargetAndHandUseTime) {
    ASSERT_TRUE(Run("function onabort(p) aborted = p end"));
    ASSERT_TRUE(OnActor("addeventfunction('onabortaction', 'onabort')"
                        " setpath('hand', '/usr/logic/box') setpath('target', '/usr/logic/box')"));
    ASSERT_TRUE(Run("sel('/usr/logic/box') setfloat('usetime', 3)"));
    nbwAction* w = Queue("w", "setanimation('walk') setduration(2) setfade(0, 0)");
    Queue("next", "setanimation('swim') setduration(1)");
    GameFrame(0.5f);
    EXPECT_EQ(ActorEval("getcurrentaction()"), "/usr/logic/a/actions/w");

    ASSERT_TRUE(OnActor("abort()"));
    EXPECT_TRUE(w->IsAborting());
    EXPECT_EQ(Lookup("/usr/logic/a/actions/next"), nullptr);
    EXPECT_EQ(ActorEval("getpath('target')"), "none");
    EXPECT_EQ(box->GetFloat(nbwItem::UseTime), 0.0f);
    // Announced at the start of the next frame.
    EXPECT_EQ(Eval("aborted"), "nil");
    GameFrame(0.1f);
    EXPECT_EQ(Eval("aborted"), "/usr/logic/a/actions/w");
    EXPECT_NEAR(actor->weights[2], 0.5f, 1e-4f);
    GameFrame(0.11f);
    EXPECT_EQ(actor->released, 1);
    EXPECT_EQ(ActorEval("getcurrentaction()"), "none");

    // Without an action the target and the use time are still cleared, and nothing is
    // announced.
    ASSERT_TRUE(Run("aborted = nil sel('/usr/logic/box') setfloat('usetime', 3)"));
    ASSERT_TRUE(OnActor("setpath('target', '/usr/logic/box') abort()"));
    EXPECT_EQ(ActorEval("getpath('target')"), "none");
    EXPECT_EQ(box->GetFloat(nbwItem::UseTime), 0.0f);
    GameFrame(0.1f);
    EXPECT_EQ(Eval("aborted"), "nil");

    // A hand that is no item is skipped; without a hand nothing more happens.
    log.text.clear();
    ASSERT_TRUE(OnActor("setpath('hand', 'actions') abort() setpath('hand', 'none') abort()"));
    EXPECT_TRUE(LogHas("/usr/logic/a: v_abort: the hand '/usr/logic/a/actions' is no nbwitem: skipped"));
    EXPECT_EQ(Count(log.text, "v_abort"), 1);
}

TEST_F(ActorTest, ADeletedQueueCountsAsEmptyLoggedOnce) {
    Queue("w", "setanimation('walk') setduration(2)");
    ASSERT_TRUE(Run("delete('/usr/logic/a/actions')"));
    EXPECT_EQ(ActorEval("getcurrentaction()"), "none");
    ASSERT_TRUE(OnActor("setpath('target', '/usr/logic/box') abort()"));
    EXPECT_EQ(ActorEval("getcurrentaction()"), "none");
    EXPECT_EQ(ActorEval("getpath('target')"), "none");
    GameFrame(0.1f);
    EXPECT_EQ(Count(log.text, "its 'actions' node is gone"), 1);

    // Nothing to restore the action into: the values still come back.
    auto* store = NewStore("/usr/persist/a");
    store->SetS("action", "x = 1");
    store->SetF("speed", 4.0f);
    actor->RestoreFromPersist(store);
    EXPECT_EQ(actor->GetStat(1), 4.0f);
    EXPECT_EQ(Eval("x"), "nil");
}

TEST_F(ActorTest, SavesItsValuesAfterTheCharactersLinesAndLoadsBackEqual) {
    ASSERT_TRUE(OnActor("setstat('energie', 0.75) setflag('headlight', true) setpath('hand', '/usr/logic/box')"));
    ASSERT_TRUE(actor->SaveAs(Path("actor").c_str()));
    const std::string saved = Slurp(Path("actor.n"));
    // Character lines first, then the values in table order, "none" for the empty
    // path, then the children.
    const std::string values =
        "setstat( \"energie\", 0.75000000 )\n"
        "setstat( \"speed\", 0.00000000 )\n"
        "setflag( \"headlight\", true )\n"
        "setpath( \"hand\", \"/usr/logic/box\" )\n"
        "setpath( \"target\", \"none\" )\n";
    const size_t at = saved.find(values);
    ASSERT_NE(at, std::string::npos) << saved;
    const std::string character = Captured(actor).substr(0, Captured(actor).size() - values.size());
    EXPECT_EQ(saved.substr(at - character.size(), character.size()), character);
    EXPECT_LT(at, saved.find("-- actions"));

    kernel->SetCwd(Lookup("/usr/logic"));
    auto* back = static_cast<nTestActor*>(kernel->Load(Path("actor.n").c_str()));
    kernel->SetCwd(nullptr);
    ASSERT_NE(back, nullptr) << log.text;
    EXPECT_EQ(back->GetStat(0), 0.75f);
    EXPECT_EQ(back->GetStat(1), 0.0f);
    EXPECT_TRUE(back->GetFlag(0));
    EXPECT_EQ(back->GetPath(nTestActor::Hand), box);
    EXPECT_EQ(back->GetPath(nTestActor::Target), nullptr);
    EXPECT_EQ(back->GetActions(), back->Find("actions"));
    EXPECT_EQ(Count(Captured(back), "\n"), Count(Captured(actor), "\n"));
}

TEST_F(ActorTest, StoreWritesValuesAndTheActionAsTextAndAFreshActorGetsThemBack) {
    // An empty store gets no place; values in table order, the action last.
    auto* store = NewStore("/usr/persist/a");
    ASSERT_TRUE(OnActor("txyz(1, 2, 3) setstat('energie', 0.5) setflag('headlight', true)"
                        " setpath('hand', '/usr/logic/box')"));
    actor->StoreToPersist(store);
    std::vector<std::string> names;
    for (int i = 0; i < store->GetNumVars(); i++) names.push_back(store->GetVarNameAt(i));
    EXPECT_EQ(names, (std::vector<std::string>{"energie", "speed", "hand", "target", "headlight", "action"}));
    EXPECT_STREQ(store->GetVarTypeAt(4), "int");
    EXPECT_STREQ(store->GetS("target"), "none");
    EXPECT_STREQ(store->GetS("action"), "print(\xA7no action while loading\xA7)");

    // An action named "idle action" counts as none.
    Queue("idle action", "setanimation('idle') setduration(5)");
    actor->StoreToPersist(store);
    EXPECT_STREQ(store->GetS("action"), "print(\xA7no action while loading\xA7)");
    actor->GetActions()->GetHead()->Release();

    // An action in progress goes in as values, never as text to run: its name, animation,
    // play direction, duration, runtime and fades.
    store->SetV("txyz", 0, 0, 0, 0);
    store->SetV("qxyzw", 0, 0, 0, 1);
    Queue("walk", "setanimation('walk') setduration(2) setruntime(0.5) setplaydir('backward') beginscripts(1)"
                  " setscript(0, 1.5, \"say('hi')\") endscripts()");
    actor->StoreToPersist(store);
    EXPECT_STREQ(store->GetS("action"), "print(\xA7no action while loading\xA7)");
    EXPECT_STREQ(store->GetS("actionname"), "walk");
    EXPECT_STREQ(store->GetS("actionanim"), "walk");
    EXPECT_STREQ(store->GetS("actionplaydir"), "backward");
    EXPECT_EQ(store->GetF("actionduration"), 2.0f);
    EXPECT_EQ(store->GetF("actionruntime"), 0.5f);
    float x, y, z, w;
    store->GetV("txyz", x, y, z, w);
    EXPECT_EQ(x, 1.0f);
    EXPECT_EQ(z, 3.0f);
    store->GetV("qxyzw", x, y, z, w);
    EXPECT_EQ(w, 1.0f);

    // A fresh actor linked to the store: values, place and the action its values name.
    // The current object stays what it was.
    nTestActor* fresh = NewActor("/usr/logic/b");
    nRoot* cwd = Lookup("/usr");
    kernel->SetCwd(cwd);
    fresh->SetPersist("/usr/persist/a");
    EXPECT_EQ(kernel->GetCwd(), cwd);
    kernel->SetCwd(nullptr);
    EXPECT_EQ(fresh->GetStat(0), 0.5f);
    EXPECT_TRUE(fresh->GetFlag(0));
    EXPECT_EQ(fresh->GetPath(nTestActor::Hand), box);
    EXPECT_EQ(fresh->GetPosition().z, 3.0f);
    auto* back = static_cast<nbwAction*>(Lookup("/usr/logic/b/actions/walk"));
    ASSERT_NE(back, nullptr) << log.text;
    EXPECT_STREQ(back->GetAnimation(), "walk");
    EXPECT_EQ(back->GetDuration(), 2.0f);
    EXPECT_EQ(back->GetRuntime(), 0.5f);
    EXPECT_EQ(back->GetPlayDir(), int(nbwAction::Backward));
    EXPECT_EQ(back->GetNumScripts(), 0);
    // Idle again: the action's values go.
    actor->GetActions()->GetHead()->Release();
    actor->StoreToPersist(store);
    EXPECT_EQ(store->GetVar("actionname"), nullptr);
    EXPECT_FALSE(LogHas("Error")) << log.text;
}

TEST_F(ActorTest, NoStoreAndAStoredActionThatFailsAreLoggedAndLeaveNoAction) {
    actor->StoreToPersist(nullptr);
    actor->RestoreFromPersist(nullptr);
    EXPECT_TRUE(LogHas("/usr/logic/a: StoreToPersist: no persistent store"));
    EXPECT_TRUE(LogHas("/usr/logic/a: RestoreFromPersist: no persistent store"));

    // Fails half way: the action it made goes again; an action queued before stays.
    Queue("first", "setanimation('walk') setduration(2)");
    auto* store = NewStore("/usr/persist/a");
    store->SetS("action", "new($nbwaction$,$bad$);sel($bad$);setduration( 1.0 );error($broken$);");
    store->SetF("energie", 2.0f);
    nRoot* cwd = Lookup("/usr");
    kernel->SetCwd(cwd);
    actor->RestoreFromPersist(store);
    EXPECT_EQ(kernel->GetCwd(), cwd);
    kernel->SetCwd(nullptr);
    EXPECT_TRUE(LogHas("/usr/logic/a: the stored action did not run"));
    EXPECT_EQ(Lookup("/usr/logic/a/actions/bad"), nullptr);
    EXPECT_NE(Lookup("/usr/logic/a/actions/first"), nullptr);
    EXPECT_EQ(actor->GetStat(0), 2.0f);

    // A text that is no script at all, and a value of the wrong type.
    log.text.clear();
    store->SetS("action", "new($nbwaction$");
    store->SetS("speed", "fast");
    actor->RestoreFromPersist(store);
    EXPECT_TRUE(LogHas("the stored action did not run"));
    EXPECT_TRUE(LogHas("store variable 'speed' holds another type: skipped"));
    EXPECT_EQ(actor->GetActions()->GetHead(), Lookup("/usr/logic/a/actions/first"));
    EXPECT_EQ(actor->GetActions()->GetHead()->GetSucc(), nullptr);
}

TEST_F(ActorTest, TheTextFormIsReversibleForEveryByte) {
    std::string all;
    for (int c = 1; c < 256; c++) all += char(c);
    // As the writer leaves it: inside a quoted string, quotes and line feeds escaped.
    std::string quoted;
    nLuaWriter::AppendQuoted(quoted, all.c_str(), '"');
    const std::string stored = nbwActor::EncodeActionText("x = " + quoted + "\n");
    EXPECT_EQ(stored.find('\n'), std::string::npos);
    EXPECT_EQ(stored.find('\''), std::string::npos);
    EXPECT_EQ(stored.find('"'), std::string::npos);
    ASSERT_TRUE(Run(nbwActor::DecodeActionText(stored))) << log.text;
    EXPECT_EQ(Global("x"), all);
}

}  // namespace
