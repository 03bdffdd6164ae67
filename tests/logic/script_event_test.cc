// Script events: the calls they compose and where they run them.
#include "logic/nScriptEvent.h"

#include <functional>
#include <string>
#include <vector>

#include "tests/script/script_fixture.h"

namespace {

// Keeps the texts it is asked to run; runs nothing.
class RecordingScriptServer : public nScriptServer {
public:
    bool Run(const char* text, const char*& result) override {
        texts.push_back(text);
        result = "";
        if (onRun) onRun();
        return !failAll;
    }
    std::vector<std::string> texts;
    bool failAll = false;
    std::function<void()> onRun;
};

using ScriptEventTest = nScriptFixture;

TEST_F(ScriptEventTest, FireCallsEveryBoundFunctionWithTheArguments) {
    auto* recorder = new RecordingScriptServer;
    nScriptEvent ev("onenter", "fisbv");
    ASSERT_EQ(ev.GetNumArgs(), 4);
    ev.GetArg(0).SetF(0.5f);
    ev.GetArg(1).SetI(3);
    ev.GetArg(2).SetS("P");
    ev.GetArg(3).SetB(true);
    // Nothing bound: nothing runs.
    EXPECT_TRUE(ev.Fire(recorder));
    EXPECT_TRUE(recorder->texts.empty());

    ev.AddFunction("f");
    ev.AddFunction("g");
    ev.AddFunction("f");  // bound once only
    EXPECT_EQ(ev.GetNumFunctions(), 2);
    EXPECT_EQ(ev.GetFunction(2), nullptr);
    EXPECT_TRUE(ev.Fire(recorder));
    EXPECT_EQ(recorder->texts, (std::vector<std::string>{"f(0.500000,3,'P',1)", "g(0.500000,3,'P',1)"}));
    ev.RemoveFunction("f");
    ev.RemoveFunction("nothere");
    EXPECT_EQ(ev.GetNumFunctions(), 1);
    EXPECT_STREQ(ev.GetFunction(0), "g");

    // A failing call is reported, and later ones still run.
    ev.AddFunction("h");
    recorder->failAll = true;
    recorder->texts.clear();
    EXPECT_FALSE(ev.Fire(recorder));
    EXPECT_EQ(recorder->texts.size(), 2u);
    recorder->texts.clear();
    recorder->failAll = false;

    // A call may destroy the event (with the object that owns it); the rest still run.
    auto* owned = new nScriptEvent("ondone", "i");
    owned->GetArg(0).SetI(7);
    owned->AddFunction("first");
    owned->AddFunction("second");
    recorder->onRun = [&owned] { delete owned; owned = nullptr; };
    EXPECT_TRUE(owned->Fire(recorder));
    EXPECT_EQ(recorder->texts, (std::vector<std::string>{"first(7)", "second(7)"}));
    recorder->Release();
    EXPECT_EQ(nScriptEvent("onloadingfile", "v").ComposeCall("tick"), "tick()");
}

TEST_F(ScriptEventTest, TextArgumentsCannotBreakOutOfTheirString) {
    nScriptEvent ev("onenter", "s");
    ev.AddFunction("got");
    const std::string nasty = "a'); string = nil; x = ('\\\"\n\r\t\x01" "9 end";
    ev.GetArg(0).SetS(nasty.c_str());
    EXPECT_EQ(std::string(ev.ComposeCall("got").Get()).find('\n'), std::string::npos);
    ASSERT_TRUE(Run("received = nil; function got(s) received = s end"));
    ASSERT_TRUE(ev.Fire(server));
    EXPECT_EQ(TypeOf("received"), "string");
    EXPECT_EQ(Global("received"), nasty);
    EXPECT_EQ(TypeOf("string"), "table");
}

TEST(ScriptEventDeathTest, UnknownArgumentLetterStops) {
    EXPECT_EXIT(nScriptEvent("bad", "ix"), ::testing::ExitedWithCode(3), "Aborting!");
}

}  // namespace
