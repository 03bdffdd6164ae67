// The plugin base's events and commands, and the plugin server's walk in the frame loop.
#include <string>

#include "logic/nLogicGraph.h"
#include "tests/tools/ToolsFixture.h"

namespace {

class PluginTest : public ToolsFixture {
protected:
    nTestPlugin* NewPlugin(const char* name) {
        return static_cast<nTestPlugin*>(kernel->New("ntestplugin", (std::string("/sys/servers/plugin/") + name).c_str()));
    }
};

TEST_F(PluginTest, EventsAreFoundCreatedAndRemovedInArrayOrder) {
    auto* p = static_cast<nPlugin*>(kernel->New("nplugin", "/p"));
    EXPECT_EQ(Eval("obj('/p').getevents()"), "");
    nScriptEvent* a = p->FindOrCreateEvent("nm_click", "s");
    p->FindOrCreateEvent("wm_close", "v");
    p->FindOrCreateEvent("mixed", "bifs");
    EXPECT_EQ(p->FindOrCreateEvent("nm_click", "v"), a);
    EXPECT_EQ(p->GetNumEvents(), 3);
    EXPECT_EQ(p->FindEvent("NM_CLICK"), nullptr);
    EXPECT_EQ(Eval("obj('/p').getevents()"), "nm_click_s\nwm_close_\nmixed_ddfs\n");

    p->RemoveEvent("wm_close");
    p->RemoveEvent("none");
    EXPECT_EQ(p->FindEventIndex("mixed"), 1);
    EXPECT_EQ(p->GetEvents(), "nm_click_s\nmixed_ddfs\n");

    // A long listing comes back whole.
    std::string expected = "nm_click_s\nmixed_ddfs\n";
    for (int i = 0; i < 100; i++) {
        const std::string name = "context_entry_with_a_long_name_" + std::to_string(i);
        p->FindOrCreateEvent(name.c_str(), "s");
        expected += name + "_s\n";
    }
    EXPECT_GT(expected.size(), 1024u);
    EXPECT_EQ(Eval("obj('/p').getevents()"), expected);
}

TEST_F(PluginTest, BoundFunctionsRunOnceEachInBindingOrderOnlyWhenBound) {
    auto* p = static_cast<nPlugin*>(kernel->New("nplugin", "/p"));
    nScriptEvent* e = p->FindOrCreateEvent("nm_click", "s");
    ASSERT_TRUE(Run("calls = '' "
                    "function first(path) calls = calls .. 'first:' .. path .. ';' end "
                    "function second(path) calls = calls .. 'second:' .. path .. ';' end"));
    // Nothing bound: nothing runs.
    e->GetArg(0).SetS("/usr/a");
    EXPECT_TRUE(p->FireEvent(e));
    EXPECT_EQ(Global("calls"), "");

    ASSERT_TRUE(Run("p = obj('/p') p.addeventfunction('nm_click', 'second') "
                    "p.addeventfunction('nm_click', 'first') p.addeventfunction('nm_click', 'second')"));
    EXPECT_EQ(e->GetNumFunctions(), 2);
    EXPECT_TRUE(p->FireEvent(e));
    EXPECT_EQ(Global("calls"), "second:/usr/a;first:/usr/a;");

    // Unbinding a name that is not bound changes nothing; unbinding the first closes the gap.
    ASSERT_TRUE(Run("calls = '' p.removeeventfunction('nm_click', 'third') p.removeeventfunction('nm_click', 'second')"));
    EXPECT_TRUE(p->FireEvent(e));
    EXPECT_EQ(Global("calls"), "first:/usr/a;");
}

TEST_F(PluginTest, BindingOnAMissingEventIsLoggedAndChangesNothing) {
    auto* p = static_cast<nPlugin*>(kernel->New("nplugin", "/usr/tools/p"));
    p->FindOrCreateEvent("nm_click", "s");
    ASSERT_TRUE(Run("obj('/usr/tools/p').addeventfunction('nm_dbclick', 'f')"));
    EXPECT_TRUE(LogHas("/usr/tools/p")) << log.text;
    EXPECT_TRUE(LogHas("nm_dbclick"));
    ASSERT_TRUE(Run("obj('/usr/tools/p').removeeventfunction('gone', 'f')"));
    EXPECT_TRUE(LogHas("gone"));
    EXPECT_EQ(p->GetEvents(), "nm_click_s\n");
    EXPECT_EQ(p->FindEvent("nm_click")->GetNumFunctions(), 0);
}

TEST_F(PluginTest, TheActiveFlagAndTheBaseTrigger) {
    auto* p = static_cast<nPlugin*>(kernel->New("nplugin", "/p"));
    EXPECT_EQ(Eval("obj('/p').getactive()"), "nil");
    ASSERT_TRUE(Run("obj('/p').setactive(true)"));
    EXPECT_TRUE(p->GetActive());
    EXPECT_FALSE(p->Trigger());
}

TEST_F(PluginTest, TheFrameLoopTriggersActivePluginsAfterInputAndBeforeTheRelease) {
    MakePluginServer();
    nTestPlugin* a = NewPlugin("a");
    NewPlugin("idle");
    nTestPlugin* c = NewPlugin("c");
    kernel->New("nroot", "/sys/servers/plugin/notaplugin");
    a->SetActive(true);
    c->SetActive(true);
    StartClock();
    ASSERT_TRUE(FrameAt(0.03));
    std::vector<std::string> log = FrameLog();
    auto at = [&log](const std::string& entry) {
        return std::find(log.begin(), log.end(), entry) - log.begin();
    };
    ASSERT_LT(at("trigger a"), ptrdiff_t(log.size()));
    EXPECT_EQ(at("trigger c"), at("trigger a") + 1);
    EXPECT_EQ(at("trigger idle"), ptrdiff_t(log.size()));
    EXPECT_LT(at("input trigger"), at("trigger a"));
    EXPECT_GT(at("lgraph release"), at("trigger c"));
}

TEST_F(PluginTest, PluginsDeletedDuringTheWalkAreSkippedAndADeletedServerEndsIt) {
    MakePluginServer();
    nTestPlugin* a = NewPlugin("a");
    nTestPlugin* b = NewPlugin("b");
    nTestPlugin* c = NewPlugin("c");
    for (nTestPlugin* p : {a, b, c}) p->SetActive(true);
    a->onTrigger = [this] { Run("delete('/sys/servers/plugin/b')"); };
    StartClock();
    ASSERT_TRUE(FrameAt(0.03));
    std::vector<std::string> log = FrameLog();
    EXPECT_EQ(std::count(log.begin(), log.end(), "trigger b"), 0);
    EXPECT_EQ(std::count(log.begin(), log.end(), "trigger c"), 1);

    // The server goes with the walk: the rest of the walk and the windows' frame end.
    a->onTrigger = [this] { Run("delete('/sys/servers/plugin')"); };
    logicEvents.clear();
    ASSERT_TRUE(FrameAt(0.06));
    log = FrameLog();
    EXPECT_EQ(std::count(log.begin(), log.end(), "trigger c"), 0);
    EXPECT_EQ(Lookup("/sys/servers/plugin"), nullptr);
    EXPECT_EQ(gfxServer->GetUiHost(), nullptr);
    ASSERT_TRUE(FrameAt(0.09));

    // A second plugin server that took the pump and went leaves it to the tools' own.
    nPluginServer* tools = MakePluginServer();
    kernel->New("npluginserver", "/usr/second")->Release();
    ASSERT_TRUE(FrameAt(0.12));
    EXPECT_EQ(gfxServer->GetUiHost(), tools->GetUiHost());
}

}  // namespace
