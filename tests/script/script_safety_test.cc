// Scripts that try to free or move what is running, and commands of dead objects.
#include "tests/script/script_fixture.h"

#include "kernel/nRef.h"

namespace {

class ScriptSafetyTest : public nScriptFixture {};

TEST_F(ScriptSafetyTest, NoScriptFreesOrMovesTheRunningServer) {
    // The review's case: the server moved where greset releases everything.
    ASSERT_TRUE(Run("new('nroot','/sys/share/gen_fcts'); move('/sys/servers/script','/sys/share/gen_fcts'); greset()"));
    EXPECT_EQ(Lookup("/sys/servers/script"), server);
    EXPECT_TRUE(LogHas("'move': refusing to move a running script server"));

    // Placed there while nothing ran, greset still leaves it and frees the rest.
    kernel->New("nroot", "/sys/share/gen_fcts/other");
    kernel->Lookup("/sys/share/gen_fcts")->AddTail(server);
    ASSERT_TRUE(Run("greset(); after = 1"));
    EXPECT_EQ(Global("after"), "1");
    EXPECT_EQ(server->GetParent(), Lookup("/sys/share/gen_fcts"));
    EXPECT_EQ(Lookup("/sys/share/gen_fcts/other"), nullptr);
    EXPECT_TRUE(LogHas("'greset': refusing to delete"));

    // delete refuses the server and everything above it, from any depth of nesting.
    Lookup("/sys/servers")->AddTail(server);
    log.text.clear();
    kernel->New("nluascriptlet", "/s");
    ASSERT_TRUE(Run("obj('/s').setscript(\"delete('/sys')\"); obj('/s').run(); delete('/sys/servers'); alive = 1"));
    EXPECT_EQ(Global("alive"), "1");
    EXPECT_EQ(Lookup("/sys/servers/script"), server);
    EXPECT_TRUE(LogHas("refusing to delete '/sys'"));
    EXPECT_TRUE(LogHas("refusing to delete '/sys/servers'"));
}

TEST_F(ScriptSafetyTest, ACloneWhoseReplayDeletesItsSourceStops) {
    ASSERT_TRUE(Run("new('nroot','/h'); new('nluascriptlet','/h/s'); obj('/h/s').setscript(\"delete('/h')\"); "
                    "obj('/h/s').setautorun(1); c = obj('/h').clone('/hc'); after = 1"));
    EXPECT_EQ(Global("after"), "1");
    EXPECT_EQ(Global("c"), "");  // a null object result
    EXPECT_EQ(Lookup("/h"), nullptr);   // the delete took effect once the walk let go
    EXPECT_EQ(Lookup("/hc"), nullptr);  // the half-made copy is gone
    EXPECT_TRUE(LogHas("was deleted while it was being saved or cloned as '/hc'"));

    // The deleting scriptlet one level down: the walk of its parent stops all the same.
    ASSERT_TRUE(Run("new('nroot','/a/b'); new('nluascriptlet','/a/b/s'); obj('/a/b/s').setscript(\"delete('/a')\"); "
                    "obj('/a/b/s').setautorun(1); c = obj('/a').clone('/ac')"));
    EXPECT_EQ(Lookup("/a"), nullptr);
    EXPECT_EQ(Lookup("/ac"), nullptr);
}

TEST_F(ScriptSafetyTest, CommandsOfADeadObjectAreSilentInEveryForm) {
    NewValue("/x");
    log.text.clear();
    ASSERT_TRUE(Run("o = obj('/x'); delete('/x'); o.seti(4); f = o.seti; f(4); n = select('#', o.nosuchcommand()); "
                    "rest = 1"));
    EXPECT_EQ(Global("rest"), "1");
    EXPECT_EQ(Global("n"), "0");
    EXPECT_EQ(log.text, "");
    // A live object's unknown command stays nil.
    EXPECT_EQ(Eval("obj('/').nosuchcommand"), "nil");
}

TEST_F(ScriptSafetyTest, OnlyTheServerThatMadeTheMemoryVariablesReleasesThem) {
    nRoot* kb = Lookup("/sys/var/lua_kbyte_count");
    nRoot* gc = Lookup("/sys/var/lua_gc_threshold");
    ASSERT_NE(kb, nullptr);
    ASSERT_NE(gc, nullptr);
    nRef<nRoot> kbRef(kb), gcRef(gc);
    ASSERT_TRUE(Run("new('nluaserver2', '/second'); delete('/second')"));
    EXPECT_EQ(Lookup("/second"), nullptr);
    EXPECT_TRUE(kbRef.IsValid());
    EXPECT_TRUE(gcRef.IsValid());
    EXPECT_EQ(Lookup("/sys/var/lua_kbyte_count"), kb);
    server->Trigger();
    EXPECT_GT(kb->GetRefCount(), 0);
}

}  // namespace
